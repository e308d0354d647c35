#include "ui.h"

#include "../data/messages.h"

HINSTANCE AppInstance;
HWND MainWindow;
HFONT DialogFont;

int ShowMessage(const char *text, uint32_t style) {
  return MessageBoxA(MainWindow, text, LookupMessage(0, MSG_CAPTION), style);
}
