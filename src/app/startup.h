// Preparing and releasing the process.
#pragma once

#include <windows.h>

#include "../data/state.h"  // DetectOperatingSystem

// Before anything is loaded: libraries are searched for in the system folder
// only, never in the executable's folder or the current one, which others may
// be able to write. Where the platform has no such setting (95/98/Me, early
// NT) nothing changes; what the loader brings in before this runs is out of
// its reach.
void RestrictDllSearch();

// OLE, the common controls, the optional theme library and the three path
// buffers; InstallFolder gets the executable's folder. Always returns true.
bool StartUp(HINSTANCE instance);

// Limits visual styles to window frames, so that dialogs and controls keep
// the classic look; does nothing without the theme library.
void RestrictThemeToFrames();

// Undoes StartUp: OLE, the path buffers, the dialog font and the theme library.
void ShutDown();
