#include "ui.h"

#include <commctrl.h>

#include "../data/messages.h"

HINSTANCE AppInstance;
HWND MainWindow;
HWND ProgressDialog;
HWND ProgressBar;
uint32_t ProgressPosition;
HFONT DialogFont;

// The bar keeps its default range, so positions are percentages.
enum : uint32_t { PROGRESS_FULL = 100 };

int ShowMessage(const char *text, uint32_t style) {
  return MessageBoxA(MainWindow, text, LookupMessage(0, MSG_CAPTION), style);
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    // The final message loop is the only place that ends on the quit message.
    if (!GetMessageA(&message, nullptr, 0, 0)) continue;
    if (ProgressDialog && IsDialogMessageA(ProgressDialog, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Messages are handled only when the bar moves, which bounds how often the
// phases pay for it.
void SetProgress(uint32_t percentage) {
  if (percentage > PROGRESS_FULL) percentage = PROGRESS_FULL;
  if (percentage == ProgressPosition) return;
  ProgressPosition = percentage;
  if (ProgressBar) SendMessageA(ProgressBar, PBM_SETPOS, percentage, 0);
  PumpMessages();
}
