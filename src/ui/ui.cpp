#include "ui.h"

#include <commctrl.h>

#include "../data/messages.h"
#include "../data/state.h"

HINSTANCE AppInstance;
HWND ProgressDialog;
HWND ProgressBar;
uint32_t ProgressPosition;
HFONT DialogFont;

// The bar keeps its default range, so positions are percentages.
enum : uint32_t { PROGRESS_FULL = 100 };

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

// Long division over the seven bits that a quotient below 100 has, rather
// than a 64-bit division, for which the i686 compiler would link a helper of
// its runtime several times this size.
void ReportProgress(uint64_t done) {
  if (!ProgressTotal) return;
  if (done >= ProgressTotal) {
    SetProgress(PROGRESS_FULL);
    return;
  }
  uint64_t rest = PROGRESS_FULL * done;
  uint32_t percentage = 0;
  for (int bit = 6; bit >= 0; --bit) {
    const uint64_t part = static_cast<uint64_t>(ProgressTotal) << bit;
    if (rest >= part) {
      rest -= part;
      percentage |= 1u << bit;
    }
  }
  SetProgress(percentage);
}
