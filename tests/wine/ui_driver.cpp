#include "ui_driver.h"

#include <algorithm>

namespace quenrid::ui {
namespace {

constexpr DWORD kPollMs = 20;

bool HasClass(HWND window, const char *className) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return lstrcmpiA(name, className) == 0;
}

BOOL CALLBACK Collect(HWND window, LPARAM windows) {
  reinterpret_cast<std::vector<HWND> *>(windows)->push_back(window);
  return TRUE;
}

std::vector<HWND> VisibleWindows(DWORD processId, bool dialogsOnly) {
  std::vector<HWND> all, found;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
  for (HWND window : all) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && IsWindowVisible(window) &&
        (!dialogsOnly || HasClass(window, "#32770"))) {
      found.push_back(window);
    }
  }
  return found;
}

// Template ids are 16-bit: a control written as -1 is control 65535.
HWND FindControl(HWND dialog, int id) {
  HWND child = GetWindow(dialog, GW_CHILD);
  while (child && (GetDlgCtrlID(child) & 0xFFFF) != (id & 0xFFFF)) {
    child = GetWindow(child, GW_HWNDNEXT);
  }
  return child;
}

bool IsPushButton(HWND window) {
  const LONG type = GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK;
  return HasClass(window, "Button") && IsWindowVisible(window) &&
         (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}

}  // namespace

bool HasVisibleWindow(DWORD processId) { return !VisibleWindows(processId, false).empty(); }
bool IsMessageBox(HWND dialog) { return FindControl(dialog, kMessageBoxTextId) != nullptr; }
std::string ControlText(HWND dialog, int id) { return WindowText(FindControl(dialog, id)); }
bool HasControl(HWND dialog, int id) { return FindControl(dialog, id) != nullptr; }
bool PostCommand(HWND dialog, int id) { return PostMessageA(dialog, WM_COMMAND, id, 0) != 0; }
bool PressCloseBox(HWND dialog) { return PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0) != 0; }

HWND WaitForDialog(DWORD processId, DWORD timeoutMs, const std::function<bool(HWND)> &accept) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  HWND found = nullptr;
  // A process that has ended shows nothing any more.
  for (DWORD start = GetTickCount(); !found && process && GetTickCount() - start < timeoutMs &&
                                     WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
       Sleep(kPollMs)) {
    for (HWND dialog : VisibleWindows(processId, true)) {
      if (!found && (!accept || accept(dialog))) found = dialog;
    }
  }
  if (process) CloseHandle(process);
  return found;
}

bool WaitForClose(HWND window, DWORD timeoutMs) {
  for (DWORD start = GetTickCount(); IsWindow(window) && IsWindowVisible(window); Sleep(kPollMs)) {
    if (GetTickCount() - start >= timeoutMs) return false;
  }
  return true;
}

std::string WindowText(HWND window) {
  char text[4096] = "";
  DWORD_PTR copied = 0;
  if (!window ||
      !SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, kQueryTimeoutMs, &copied)) {
    return {};
  }
  return std::string(text, std::min<size_t>(copied, sizeof text - 1));
}

// Children come in creation order, which is left to right in every box and
// template here.
DialogInfo Describe(HWND dialog) {
  DialogInfo info{WindowText(dialog), ControlText(dialog, kMessageBoxTextId), {}};
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (IsPushButton(child)) info.buttons.push_back(GetDlgCtrlID(child));
  }
  return info;
}

bool PressButton(HWND dialog, int id) {
  HWND button = FindControl(dialog, id);
  return button && IsPushButton(button) && IsWindowEnabled(button) &&
         PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button));
}

}  // namespace quenrid::ui
