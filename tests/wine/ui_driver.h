// Drives the dialogs and message boxes of a process under test, found by
// their process, never by title; every wait and text query is bounded, so a
// hung process fails a test instead of stalling it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace quenrid::ui {

constexpr int kMessageBoxTextId = 65535;  // the static that holds a message box's text
constexpr DWORD kQueryTimeoutMs = 2000;   // how long one text query may block

struct DialogInfo {
  std::string caption, text;  // text: a message box's, empty for other dialogs
  std::vector<int> buttons;   // the ids of the visible push buttons, left to right
};

bool HasVisibleWindow(DWORD processId);
// The first visible dialog of the process that `accept` approves (any when
// empty); null on time-out or once the process has ended.
HWND WaitForDialog(DWORD processId, DWORD timeoutMs, const std::function<bool(HWND)> &accept = {});
bool WaitForClose(HWND window, DWORD timeoutMs);  // gone or hidden; false on time-out

bool IsMessageBox(HWND dialog);
std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);  // empty when there is no such control
bool HasControl(HWND dialog, int id);
DialogInfo Describe(HWND dialog);

bool PressButton(HWND dialog, int id);  // a click; false without such a push button
bool PostCommand(HWND dialog, int id);  // as Esc sends IDCANCEL
bool PressCloseBox(HWND dialog);

}  // namespace quenrid::ui
