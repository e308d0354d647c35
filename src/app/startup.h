// Preparing and releasing the process.
#pragma once

#include <windows.h>

#include "../data/state.h"  // DetectOperatingSystem

// OLE, the common controls, the optional theme library and the three path
// buffers; InstallFolder gets the executable's folder. Always returns true.
bool StartUp(HINSTANCE instance);

// Limits visual styles to window frames, so that dialogs and controls keep
// the classic look; does nothing without the theme library.
void RestrictThemeToFrames();

// Undoes StartUp: OLE, the path buffers, the dialog font and the theme library.
void ShutDown();
