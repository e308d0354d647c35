// The UI driver against plain message boxes of another process: what it
// reports, what it presses, and that its waits end.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
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

TEST(UiDriver, ScreenshotHasTheWindowsSizeAndShowsSomething) {
  TestFolder folder;
  Process probe(kProbe, ProbeArguments("Screenshot", "Some text to draw", MB_OK));
  HWND box = ui::WaitForDialog(probe.id(), kDialogTimeoutMs);
  ASSERT_NE(box, nullptr);
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(box, &rect));
  const std::string bmp = folder / "box.bmp";
  ASSERT_TRUE(ui::SaveScreenshot(box, bmp));
  ASSERT_TRUE(ui::PressButton(box, IDOK));
  EXPECT_TRUE(ExitsWith(probe, IDOK));

  const std::string image = ReadBinaryFile(bmp);
  ASSERT_GT(image.size(), sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER));
  EXPECT_EQ(image.substr(0, 2), "BM");
  BITMAPINFOHEADER header;
  std::memcpy(&header, image.data() + sizeof(BITMAPFILEHEADER), sizeof header);
  EXPECT_EQ(header.biWidth, rect.right - rect.left);
  EXPECT_EQ(header.biHeight, rect.bottom - rect.top);
  const std::string pixels = image.substr(sizeof(BITMAPFILEHEADER) + sizeof header);
  EXPECT_NE(pixels.find_first_not_of(pixels[0]), std::string::npos) << "a blank image";
}

}  // namespace
}  // namespace quenrid::test
