// Windows, dialogs and message boxes.
#pragma once

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>

extern HINSTANCE AppInstance;  // the module instance given to WinMain
extern HWND MainWindow;        // hidden owner of every box and dialog; null until made
extern HFONT DialogFont;       // normal-weight dialog font, made once; null until then
#endif

// Shows `text` in a message box of `style` (MessageBoxA styles) under the
// caption message 0, owned by the main window once it exists. Returns the
// button id, 0 on failure.
int ShowMessage(const char *text, uint32_t style);
