// Drives the dialogs and message boxes of another process under test.
//
// Windows are found by the process that owns them, never by title, so the
// same calls serve every prompt the uninstaller can show. Texts are read with
// WM_GETTEXT through SendMessageTimeout, and every wait is bounded: a process
// that hangs or never shows its window fails a test instead of stalling it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace quenrid::ui {

// The static control that holds a message box's text.
constexpr int kMessageBoxTextId = 65535;

// How long a single cross-process text query may block.
constexpr DWORD kQueryTimeoutMs = 2000;

struct Button {
  int id;
  std::string caption;
  bool enabled;
};

// What a test usually checks about a dialog, read in one go.
struct DialogInfo {
  HWND window = nullptr;
  std::string caption;
  std::string text;              // the message box text, empty for other dialogs
  std::vector<Button> buttons;   // visible push buttons, left to right
};

using DialogFilter = std::function<bool(HWND)>;

// Visible top-level dialogs (class #32770) of the process, in z-order.
std::vector<HWND> FindDialogs(DWORD processId);

// True when the process owns any visible top-level window of any class.
bool HasVisibleWindow(DWORD processId);

// Waits for a visible top-level dialog of the process that `accept` approves
// (any dialog when it is empty). Returns null on time-out, or as soon as the
// process has ended.
HWND WaitForDialog(DWORD processId, DWORD timeoutMs, const DialogFilter &accept = {});

// Waits until the window no longer exists or is hidden; false on time-out.
bool WaitForClose(HWND window, DWORD timeoutMs);

// A dialog that shows a message box's text control.
bool IsMessageBox(HWND dialog);

// The window's text: a dialog's caption or a control's text.
std::string WindowText(HWND window);
// The text of the dialog's child with `id`; empty when there is none.
std::string ControlText(HWND dialog, int id);
bool HasControl(HWND dialog, int id);
std::vector<Button> Buttons(HWND dialog);
DialogInfo Describe(HWND dialog);
// The buttons' ids, in the order Describe lists them.
std::vector<int> ButtonIds(const std::vector<Button> &buttons);

// Presses the visible, enabled push button `id` as a click would: posts
// WM_COMMAND with BN_CLICKED. False when there is no such button.
bool PressButton(HWND dialog, int id);
// Posts WM_COMMAND with `id` and no control, as a keyboard shortcut or Esc
// (IDCANCEL) does.
bool PostCommand(HWND dialog, int id);
// Posts what the close box of the caption sends.
bool PressCloseBox(HWND dialog);

// Writes the window's current image, as the screen shows it, to a 24-bit RGB
// PNG file.
bool SaveScreenshot(HWND window, const std::string &pngPath);

}  // namespace quenrid::ui
