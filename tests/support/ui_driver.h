// Drives the dialogs and message boxes of a process under test. Windows are
// found by the process that owns them, never by title; texts are read through
// SendMessageTimeout and every wait is bounded, so a hung process fails a test
// instead of stalling it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace quenrid::ui {

constexpr int kMessageBoxTextId = 65535;  // the static that holds a message box's text
constexpr DWORD kQueryTimeoutMs = 2000;   // how long one text query may block

struct Button {
  int id;
  std::string caption;
};

struct DialogInfo {
  std::string caption, text;    // text: a message box's, empty for other dialogs
  std::vector<Button> buttons;  // visible push buttons, left to right
};

bool HasVisibleWindow(DWORD processId);
// The first visible dialog of the process that `accept` approves (any when
// empty); null on time-out or as soon as the process has ended.
HWND WaitForDialog(DWORD processId, DWORD timeoutMs, const std::function<bool(HWND)> &accept = {});
bool WaitForClose(HWND window, DWORD timeoutMs);  // gone or hidden; false on time-out

bool IsMessageBox(HWND dialog);
std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);  // empty when there is no such control
bool HasControl(HWND dialog, int id);
DialogInfo Describe(HWND dialog);
std::vector<int> ButtonIds(const std::vector<Button> &buttons);

// A click on the visible, enabled push button `id`; false when there is none.
bool PressButton(HWND dialog, int id);
bool PostCommand(HWND dialog, int id);  // as Esc sends IDCANCEL
bool PressCloseBox(HWND dialog);

// The window as the screen shows it, as a PNG file.
bool SaveScreenshot(HWND window, const std::string &pngPath);

}  // namespace quenrid::ui
