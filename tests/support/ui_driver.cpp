#include "ui_driver.h"

#include <algorithm>
#include <array>
#include <cstdint>
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

// A window found the moment it became visible may not have painted yet: have
// it paint again, wait until it has, and let it return to its message loop,
// where its drawing goes out to the display, before the screen is read.
void WaitUntilPainted(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  const DWORD start = GetTickCount();
  while (GetUpdateRect(window, nullptr, FALSE) && GetTickCount() - start < kQueryTimeoutMs) {
    Sleep(kPollMs);
  }
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kQueryTimeoutMs, &ignored);
  Sleep(kSettleMs);
}

// The screen under `rect` as PNG scanlines: each row a filter byte of 0 (none)
// followed by its pixels in R, G, B order, top row first.
bool CaptureScreenRows(const RECT &rect, std::string *rows) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, previous);

  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = -height;  // top-down, as PNG stores it
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::vector<unsigned char> bgr(stride * height);
  const bool ok = GetDIBits(memory, bitmap, 0, height, bgr.data(),
                            reinterpret_cast<BITMAPINFO *>(&header), DIB_RGB_COLORS) == height;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!ok) return false;

  rows->clear();
  rows->reserve((static_cast<size_t>(width) * 3 + 1) * height);
  for (int y = 0; y < height; ++y) {
    rows->push_back('\0');
    const unsigned char *pixel = bgr.data() + stride * y;
    for (int x = 0; x < width; ++x, pixel += 3) {
      rows->push_back(static_cast<char>(pixel[2]));
      rows->push_back(static_cast<char>(pixel[1]));
      rows->push_back(static_cast<char>(pixel[0]));
    }
  }
  return true;
}

void PutBigEndian(std::string *out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(value >> shift));
}

uint32_t Crc32(const std::string &bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

uint32_t Adler32(const std::string &bytes) {
  uint32_t a = 1, b = 0;
  for (unsigned char byte : bytes) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

// Length, type, data and the CRC of type and data.
void PutChunk(std::string *png, const char *type, const std::string &data) {
  std::string typed = std::string(type, 4) + data;
  PutBigEndian(png, static_cast<uint32_t>(data.size()));
  *png += typed;
  PutBigEndian(png, Crc32(typed));
}

// A zlib stream of uncompressed ("stored") deflate blocks: screenshots are
// small, and this needs no compressor.
std::string StoredZlib(const std::string &raw) {
  constexpr size_t kMaxStored = 65535;
  std::string out = "\x78\x01";  // deflate, 32 KB window, no dictionary
  size_t at = 0;
  do {
    const size_t length = std::min(kMaxStored, raw.size() - at);
    const bool last = at + length == raw.size();
    out.push_back(last ? 1 : 0);  // BFINAL, BTYPE 00
    const uint16_t len = static_cast<uint16_t>(length);
    for (uint16_t v : {len, static_cast<uint16_t>(~len)}) {
      out.push_back(static_cast<char>(v & 0xFF));
      out.push_back(static_cast<char>(v >> 8));
    }
    out.append(raw, at, length);
    at += length;
  } while (at < raw.size());
  PutBigEndian(&out, Adler32(raw));
  return out;
}

// An 8-bit RGB image, not interlaced, from its filtered scanlines.
std::string EncodePng(int width, int height, const std::string &rows) {
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  PutBigEndian(&header, static_cast<uint32_t>(width));
  PutBigEndian(&header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // depth 8, RGB, deflate, no filter, no interlace
  PutChunk(&png, "IHDR", header);
  PutChunk(&png, "IDAT", StoredZlib(rows));
  PutChunk(&png, "IEND", "");
  return png;
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

bool SaveScreenshot(HWND window, const std::string &pngPath) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  WaitUntilPainted(window);
  std::string rows;
  if (!CaptureScreenRows(rect, &rows)) return false;
  const std::string png = EncodePng(width, height, rows);
  FILE *out = std::fopen(pngPath.c_str(), "wb");
  if (!out) return false;
  const bool ok = std::fwrite(png.data(), png.size(), 1, out) == 1;
  return std::fclose(out) == 0 && ok;
}

std::vector<int> ButtonIds(const std::vector<Button> &buttons) {
  std::vector<int> ids;
  for (const Button &button : buttons) ids.push_back(button.id);
  return ids;
}

}  // namespace quenrid::ui
