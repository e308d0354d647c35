// The UI driver against plain message boxes of another process: what it
// reports, what it presses, and that its waits end.
#include <windows.h>

#include <wincodec.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"
#include "ui_driver.h"

namespace quenrid::test {
namespace {

const std::string kProbe = HostPathToWindows(QUENRID_PROBE_PATH);

std::string ProbeArguments(const std::string &caption, const std::string &text, UINT style) {
  return "\"" + caption + "\" \"" + text + "\" " + std::to_string(style);
}

std::vector<int> Ids(const std::vector<ui::Button> &buttons) {
  std::vector<int> ids;
  for (const ui::Button &button : buttons) ids.push_back(button.id);
  return ids;
}

struct BoxCase {
  const char *name;  // names the case in the test list
  UINT style;
  std::vector<int> buttons;  // left to right
  int press;
};

// Keeps the listed test names stable: by default the parameter prints as bytes.
void PrintTo(const BoxCase &c, std::ostream *os) { *os << c.name; }

class MessageBoxDriving : public ::testing::TestWithParam<BoxCase> {};

// Exactly the buttons the style asks for, in their order on the screen.
TEST_P(MessageBoxDriving, ReportsTheShownButtonsAndPressesOne) {
  const BoxCase &c = GetParam();
  Process probe(kProbe, ProbeArguments("Probe caption", "Probe text", c.style));
  HWND box = ui::WaitForDialog(probe.id(), kDialogTimeoutMs);
  ASSERT_NE(box, nullptr);

  const ui::DialogInfo info = ui::Describe(box);
  EXPECT_EQ(info.caption, "Probe caption");
  EXPECT_EQ(info.text, "Probe text");
  EXPECT_EQ(Ids(info.buttons), c.buttons);
  for (const ui::Button &button : info.buttons) {
    EXPECT_FALSE(button.caption.empty()) << "button " << button.id;
    EXPECT_TRUE(button.enabled) << "button " << button.id;
  }

  ASSERT_TRUE(ui::PressButton(box, c.press));
  EXPECT_TRUE(ui::WaitForClose(box, kDialogTimeoutMs));
  EXPECT_TRUE(ExitsWith(probe, c.press));
}

INSTANTIATE_TEST_SUITE_P(Styles, MessageBoxDriving,
                         ::testing::Values(
                             BoxCase{"Ok", MB_OK, {IDOK}, IDOK},
                             BoxCase{"OkCancel", MB_OKCANCEL, {IDOK, IDCANCEL}, IDCANCEL},
                             BoxCase{"YesNoCancel", MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}, IDNO},
                             BoxCase{"RetryCancel", MB_RETRYCANCEL, {IDRETRY, IDCANCEL}, IDRETRY}),
                         [](const ::testing::TestParamInfo<BoxCase> &info) {
                           return std::string(info.param.name);
                         });

TEST(UiDriver, RefusesToPressWhatIsNotAButtonOfTheBox) {
  Process probe(kProbe, ProbeArguments("Only OK", "text", MB_OK));
  HWND box = ui::WaitForDialog(probe.id(), kDialogTimeoutMs);
  ASSERT_NE(box, nullptr);
  EXPECT_FALSE(ui::PressButton(box, IDCANCEL));
  EXPECT_FALSE(ui::PressButton(box, ui::kMessageBoxTextId));
  EXPECT_FALSE(ui::WaitForClose(box, 200));
  ASSERT_TRUE(ui::PressButton(box, IDOK));
  EXPECT_TRUE(ExitsWith(probe, IDOK));
}

TEST(UiDriver, WaitEndsAsSoonAsTheProcessHasEnded) {
  Process probe(kProbe, "--exit 5");
  const DWORD start = GetTickCount();
  EXPECT_EQ(ui::WaitForDialog(probe.id(), kDialogTimeoutMs), nullptr);
  EXPECT_LT(GetTickCount() - start, kDialogTimeoutMs / 2);
  EXPECT_TRUE(ExitsWith(probe, 5));
}

// The file read back by the system's image codec, so that a reader other than
// the writer checks the signature, chunk CRCs and zlib checksum.
struct Decoded {
  bool ok = false;
  UINT width = 0, height = 0;
  std::vector<BYTE> pixels;  // B, G, R; top row first; rows not padded
};

struct ComRelease {
  void operator()(IUnknown *object) const { object->Release(); }
};
template <class T> using ComPtr = std::unique_ptr<T, ComRelease>;

Decoded DecodeWithSystemCodec(const std::string &path) {
  Decoded out;
  CoInitialize(nullptr);
  IWICImagingFactory *rawFactory = nullptr;
  IWICBitmapDecoder *rawDecoder = nullptr;
  IWICBitmapFrameDecode *rawFrame = nullptr;
  const std::wstring widePath(path.begin(), path.end());
  GUID container{};
  WICPixelFormatGUID format{};
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void **>(&rawFactory)))) {
    return out;
  }
  ComPtr<IWICImagingFactory> factory(rawFactory);
  if (FAILED(factory->CreateDecoderFromFilename(widePath.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, &rawDecoder))) {
    return out;
  }
  ComPtr<IWICBitmapDecoder> decoder(rawDecoder);
  if (FAILED(decoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatPng ||
      FAILED(decoder->GetFrame(0, &rawFrame))) {
    return out;
  }
  ComPtr<IWICBitmapFrameDecode> frame(rawFrame);
  if (FAILED(frame->GetSize(&out.width, &out.height)) || FAILED(frame->GetPixelFormat(&format)) ||
      format != GUID_WICPixelFormat24bppBGR) {
    return out;
  }
  out.pixels.resize(static_cast<size_t>(out.width) * out.height * 3);
  out.ok = SUCCEEDED(frame->CopyPixels(nullptr, out.width * 3, static_cast<UINT>(out.pixels.size()),
                                       out.pixels.data()));
  return out;
}

// The screen under `rect` in the decoder's layout.
std::vector<BYTE> ScreenPixels(const RECT &rect) {
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, previous);
  BITMAPINFOHEADER header{sizeof header, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<BYTE> bgrx(static_cast<size_t>(width) * height * 4);
  GetDIBits(memory, bitmap, 0, height, bgrx.data(), reinterpret_cast<BITMAPINFO *>(&header),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  std::vector<BYTE> bgr;
  for (size_t i = 0; i < bgrx.size(); i += 4) bgr.insert(bgr.end(), &bgrx[i], &bgrx[i] + 3);
  return bgr;
}

TEST(UiDriver, ScreenshotIsAPngOfWhatTheScreenShows) {
  TestFolder folder;
  Process probe(kProbe, ProbeArguments("Screenshot", "Some text to draw", MB_OK));
  HWND box = ui::WaitForDialog(probe.id(), kDialogTimeoutMs);
  ASSERT_NE(box, nullptr);
  const std::string png = folder / "box.png";
  ASSERT_TRUE(ui::SaveScreenshot(box, png));
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(box, &rect));
  const std::vector<BYTE> screen = ScreenPixels(rect);
  ASSERT_TRUE(ui::PressButton(box, IDOK));
  EXPECT_TRUE(ExitsWith(probe, IDOK));

  const Decoded image = DecodeWithSystemCodec(png);
  ASSERT_TRUE(image.ok);
  EXPECT_EQ(image.width, static_cast<UINT>(rect.right - rect.left));
  EXPECT_EQ(image.height, static_cast<UINT>(rect.bottom - rect.top));
  EXPECT_NE(std::adjacent_find(screen.begin(), screen.end(), std::not_equal_to<BYTE>()), screen.end())
      << "a blank image";
  EXPECT_TRUE(image.pixels == screen) << "the file differs from the screen";
}

}  // namespace
}  // namespace quenrid::test
