#include "ui_driver.h"

#include <gdiplus.h>

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

// The screen under the window, once its thread has handled what it had
// queued (a window found as it appears may not have painted yet); by GDI+.
bool SaveScreenshot(HWND window, const std::string &pngPath) {
  RECT r{};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kQueryTimeoutMs, &ignored);
  Sleep(200);
  if (!GetWindowRect(window, &r) || r.right <= r.left || r.bottom <= r.top) return false;
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  static const CLSID kPng = {
      0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0, 0, 0xF8, 0x1E, 0xF3, 0x2E}};
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  bool saved = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  if (saved) {
    const std::wstring path(pngPath.begin(), pngPath.end());
    saved = Gdiplus::Bitmap(bitmap, nullptr).Save(path.c_str(), &kPng, nullptr) == Gdiplus::Ok;
    Gdiplus::GdiplusShutdown(token);
  }
  DeleteObject(bitmap);
  return saved;
}

}  // namespace quenrid::ui
