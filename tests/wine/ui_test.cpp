// The stub's dialogs and progress in-process, with its own templates. How
// each answer to the question acts goes through the real stub, in
// main_flow_test.cpp and file_phase_test.cpp.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_flow.h"
#include "app/ui.h"
#include "data/uninstall_data.h"
#include "harness.h"
#include "process_state.h"
#include "resources/resource.h"
#include "test_messages.h"
#include "ui_driver.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

// Each test starts as the stub does once it has read its data: messages
// loaded, the hidden main window made, no dialog, no font.
class Ui : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    AppInstance = GetModuleHandleA(nullptr);
    InitCommonControls();
    ASSERT_TRUE(RegisterMainWindowClass());
  }

  void SetUp() override {
    Manifest manifest;
    manifest.messages = messages_;
    manifest.files = {{".", "a", 0}, {".", "b", 0}, {".", "", 0}};
    manifest.shortcuts = {{0, "C:\\s", "", "s.lnk"}};
    manifest.registry = {{0x80000001, "Software\\A"}, {0x80000001, "Software\\B"}};
    // Behind a few bytes, as behind a stub: offset 0 stands for "no block".
    WriteBinaryFile(folder_ / "data", std::string(16, '\0') + EncodeBlock(manifest));
    ASSERT_EQ(ReadUninstallDataFile((folder_ / "data").c_str(), 16), READ_OK);
    ASSERT_TRUE(CreateMainWindow());
  }

  void TearDown() override {
    DestroyWindow(MainWindow);  // and the dialogs it owns
    PumpMessages();
    MainWindow = ProgressDialog = ProgressBar = nullptr;
    if (DialogFont) DeleteObject(DialogFont);
    DialogFont = nullptr;
    AppInstance = GetModuleHandleA(nullptr);
    ReleaseUninstallData();
  }

  ProcessState state_;
  const std::vector<std::string> messages_ = TestMessages();
  TestFolder folder_;
};

// Both dialogs show the data's texts, all in one regular-weight copy of the
// template's font. A question that cannot be shown keeps the file.
TEST_F(Ui, DialogsShowTheDataInOneRegularFont) {
  const char question[] = "Remove readme.txt?";
  OpenProgressDialog();
  const struct {
    HWND dialog;
    std::vector<std::pair<int, std::string>> texts;
  } dialogs[] = {
      {ProgressDialog, {{IDC_MESSAGE_TEXT, messages_[11]}}},
      {CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_QUESTION), MainWindow,
                          QuestionDialogProc, reinterpret_cast<LPARAM>(question)),
       {{IDC_MESSAGE_TEXT, question}, {IDYES, messages_[3]}, {IDC_YES_TO_ALL, messages_[4]},
        {IDNO, messages_[5]}, {IDC_NO_TO_ALL, messages_[6]}}},
  };
  for (const auto &d : dialogs) {
    ASSERT_NE(d.dialog, nullptr);
    EXPECT_EQ(ui::WindowText(d.dialog), messages_[0]);
    for (const auto &[id, text] : d.texts) EXPECT_EQ(ui::ControlText(d.dialog, id), text) << id;
    for (HWND c = GetWindow(d.dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      EXPECT_EQ(SendMessageA(c, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(DialogFont));
    }
  }
  LOGFONTA font{};
  ASSERT_EQ(GetObjectA(DialogFont, sizeof font, &font), static_cast<int>(sizeof font));
  EXPECT_EQ(font.lfWeight, FW_NORMAL);
  EXPECT_STREQ(font.lfFaceName, "Arial");

  AppInstance = GetModuleHandleA("kernel32.dll");  // holds no question template
  EXPECT_EQ(AskQuestion("C:\\readme.txt"), IDNO);
}

// The bar moves up to 100 and no further, and the windows are kept alive
// only when it moves, which bounds what the phases pay for it.
TEST_F(Ui, ProgressMovesToAtMostAHundredAndPumpsOnlyOnAChange) {
  OpenProgressDialog();
  ASSERT_NE(ProgressBar, nullptr);
  // The phases spend two units a file and one a shortcut or entry: the bar
  // ends full only if the total is their sum.
  EXPECT_EQ(ProgressTotal, 2u * 3 + 1 + 2);
  constexpr UINT kProbe = WM_APP + 7;
  const struct {
    uint32_t set;
    int bar;
    bool pumped;
  } steps[] = {{0, 0, false}, {37, 37, true}, {37, 37, false}, {250, 100, true}, {300, 100, false}};
  for (const auto &step : steps) {
    PostMessageA(MainWindow, kProbe, 0, 0);
    SetProgress(step.set);
    MSG probe;
    EXPECT_EQ(PeekMessageA(&probe, MainWindow, kProbe, kProbe, PM_REMOVE) == 0, step.pumped);
    EXPECT_EQ(SendMessageA(ProgressBar, PBM_GETPOS, 0, 0), step.bar) << step.set;
    EXPECT_EQ(ProgressPosition, static_cast<uint32_t>(step.bar)) << step.set;
  }
  ProgressBar = nullptr;  // a quiet run has no bar and still keeps the position
  SetProgress(50);
  EXPECT_EQ(ProgressPosition, 50u);
}

// The one home of the percentage, worked out without a 64-bit division: the
// totals and counts reach the edges of that long division, and a count past
// 4 GB must not wrap.
TEST(Progress, IsTheShareOfTheTotalRoundedDown) {
  ProcessState state;
  const struct {
    uint32_t total;
    uint64_t done;
    uint32_t expected;
  } cases[] = {
      {8, 3, 37}, {3, 1, 33}, {3, 2, 66}, {7, 7, 100}, {0xFFFFFFFFu, 0xFFFFFFFEu, 99},
      {0xFFFFFFFFu, 0x7FFFFFFFu, 49}, {0x80000000u, 0x7FFFFFFFu, 99},
      {0xFFFFFFFFu, 42949673u, 1}, {0xFFFFFFFFu, 42949672u, 0},
      {7, 0x700000000ull, 100}, {7, 0x100000003ull, 100},  // past the total: full
      {0, 3, 1000},                                         // no total: no move
  };
  for (const auto &c : cases) {
    ProgressTotal = c.total;
    ProgressPosition = 1000;  // a value no call sets
    ReportProgress(c.done);
    EXPECT_EQ(ProgressPosition, c.expected) << c.done << " of " << c.total;
  }
}

}  // namespace
}  // namespace quenrid::test
