#include <windows.h>

#include "messages.h"
#include "state.h"

int ShowMessage(const char *text, uint32_t style) {
  return MessageBoxA(MainWindow, text, LookupMessage(0, MSG_CAPTION), style);
}
