#include "ui_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace quenrid::ui {
namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kSettleMs = 50;

bool HasClass(HWND window, const char *className) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return lstrcmpiA(name, className) == 0;
}

struct ProcessWindows {
  DWORD processId;
  bool dialogsOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  auto *search = reinterpret_cast<ProcessWindows *>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window) &&
      (!search->dialogsOnly || HasClass(window, "#32770"))) {
    search->found.push_back(window);
  }
  return TRUE;
}

std::vector<HWND> VisibleWindows(DWORD processId, bool dialogsOnly) {
  ProcessWindows search{processId, dialogsOnly, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Dialog ids are 16-bit in a template; a control written as -1 and one
// written as 65535 are the same control.
HWND FindControl(HWND dialog, int id) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetDlgCtrlID(child) & 0xFFFF) == (id & 0xFFFF)) return child;
  }
  return nullptr;
}

bool IsPushButton(HWND window) {
  if (!HasClass(window, "Button") || !IsWindowVisible(window)) return false;
  LONG type = GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

struct HandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

HWND FirstAccepted(DWORD processId, const DialogFilter &accept) {
  for (HWND dialog : VisibleWindows(processId, true)) {
    if (!accept || accept(dialog)) return dialog;
  }
  return nullptr;
}

}  // namespace

std::vector<HWND> FindDialogs(DWORD processId) { return VisibleWindows(processId, true); }

bool HasVisibleWindow(DWORD processId) { return !VisibleWindows(processId, false).empty(); }

HWND WaitForDialog(DWORD processId, DWORD timeoutMs, const DialogFilter &accept) {
  UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  DWORD start = GetTickCount();
  for (;;) {
    if (HWND dialog = FirstAccepted(processId, accept)) return dialog;
    // A process that has gone will not show anything any more.
    if (!process || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return nullptr;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(kPollMs);
  }
}

bool WaitForClose(HWND window, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
  return true;
}

bool IsMessageBox(HWND dialog) { return FindControl(dialog, kMessageBoxTextId) != nullptr; }

std::string WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!window || !SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                                      kQueryTimeoutMs, &length)) {
    return {};
  }
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                           SMTO_ABORTIFHUNG, kQueryTimeoutMs, &copied)) {
    return {};
  }
  text.resize(std::min<size_t>(copied, length));
  return text;
}

std::string ControlText(HWND dialog, int id) { return WindowText(FindControl(dialog, id)); }

bool HasControl(HWND dialog, int id) { return FindControl(dialog, id) != nullptr; }

std::vector<Button> Buttons(HWND dialog) {
  struct Placed {
    RECT rect;
    Button button;
  };
  std::vector<Placed> placed;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsPushButton(child)) continue;
    RECT rect{};
    GetWindowRect(child, &rect);
    placed.push_back({rect, {GetDlgCtrlID(child), WindowText(child), IsWindowEnabled(child) != 0}});
  }
  std::stable_sort(placed.begin(), placed.end(), [](const Placed &a, const Placed &b) {
    return a.rect.left != b.rect.left ? a.rect.left < b.rect.left : a.rect.top < b.rect.top;
  });
  std::vector<Button> buttons;
  for (const Placed &p : placed) buttons.push_back(p.button);
  return buttons;
}

DialogInfo Describe(HWND dialog) {
  DialogInfo info;
  info.window = dialog;
  info.caption = WindowText(dialog);
  if (IsMessageBox(dialog)) info.text = ControlText(dialog, kMessageBoxTextId);
  info.buttons = Buttons(dialog);
  return info;
}

bool PressButton(HWND dialog, int id) {
  HWND button = FindControl(dialog, id);
  if (!button || !IsPushButton(button) || !IsWindowEnabled(button)) return false;
  return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button)) != 0;
}

bool PostCommand(HWND dialog, int id) {
  return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0) != 0;
}

bool PressCloseBox(HWND dialog) { return PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0) != 0; }

bool SaveScreenshot(HWND window, const std::string &bmpPath) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;

  // A window found the moment it became visible may not have painted yet:
  // have it paint again, wait until it has, and let it return to its message
  // loop, where its drawing goes out to the display, before reading the screen.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  const DWORD start = GetTickCount();
  while (GetUpdateRect(window, nullptr, FALSE) && GetTickCount() - start < kQueryTimeoutMs) {
    Sleep(kPollMs);
  }
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kQueryTimeoutMs, &ignored);
  Sleep(kSettleMs);

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, previous);

  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;  // bottom-up, as BMP files store it
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const DWORD stride = (width * 3 + 3) & ~3u;
  std::vector<char> pixels(stride * height);
  bool ok = GetDIBits(memory, bitmap, 0, height, pixels.data(),
                      reinterpret_cast<BITMAPINFO *>(&header), DIB_RGB_COLORS) == height;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!ok) return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE *out = std::fopen(bmpPath.c_str(), "wb");
  if (!out) return false;
  ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&header, sizeof header, 1, out) == 1 &&
       std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
  return std::fclose(out) == 0 && ok;
}

}  // namespace quenrid::ui
