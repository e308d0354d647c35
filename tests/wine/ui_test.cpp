// The stub's windows, dialogs and progress, in-process with the stub's own
// templates. A modal question blocks the thread that asks, so a second thread
// finds it by this process's id and answers it.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <uxtheme.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_flow.h"
#include "app/startup.h"
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

const char kFileName[] = "C:\\Program Files\\Quenrid Test\\readme.txt";

// Whether every control of the dialog has the one regular-weight copy of the
// template's font.
::testing::AssertionResult HasTheDialogFont(HWND dialog) {
  LOGFONTA font{};
  if (GetObjectA(DialogFont, sizeof font, &font) != sizeof font || font.lfWeight != FW_NORMAL ||
      lstrcmpA(font.lfFaceName, "Arial") != 0) {
    return ::testing::AssertionFailure() << "no regular-weight Arial font";
  }
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (SendMessageA(child, WM_GETFONT, 0, 0) != reinterpret_cast<LRESULT>(DialogFont)) {
      return ::testing::AssertionFailure() << "control " << GetDlgCtrlID(child) << " has another font";
    }
  }
  return ::testing::AssertionSuccess();
}

// What the answering thread saw of the question.
struct Seen {
  bool appeared = false;
  ui::DialogInfo info;
  std::string text;
  bool font = false;
};

// Asks about kFileName while a second thread waits for the question, reads it
// and runs `answer` on it. A question that `answer` did not end is closed, so
// that a fault fails the test rather than hanging it in the modal loop.
int AskAndAnswer(const std::function<void(HWND)> &answer, Seen *seen) {
  std::atomic<bool> returned{false};
  std::thread driver([&] {
    HWND dialog = nullptr;
    for (DWORD start = GetTickCount();
         !dialog && !returned && GetTickCount() - start < kDialogTimeoutMs; Sleep(10)) {
      for (HWND found : ui::FindDialogs(GetCurrentProcessId())) dialog = found;
    }
    if (!dialog) return;
    *seen = {true, ui::Describe(dialog), ui::ControlText(dialog, IDC_MESSAGE_TEXT),
             HasTheDialogFont(dialog)};
    answer(dialog);
    if (!ui::WaitForClose(dialog, kDialogTimeoutMs)) ui::PressCloseBox(dialog);
  });
  const int result = AskQuestion(kFileName);
  returned = true;
  driver.join();
  return result;
}

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
    Load(messages_);
    ASSERT_TRUE(CreateMainWindow());
  }

  void TearDown() override {
    DestroyWindow(MainWindow);  // and the dialogs it owns
    PumpMessages();
    MainWindow = ProgressDialog = ProgressBar = nullptr;
    if (DialogFont) DeleteObject(DialogFont);
    DialogFont = nullptr;
    ReleaseUninstallData();
  }

  void Load(const std::vector<std::string> &messages, Manifest manifest = {}) {
    ReleaseUninstallData();
    manifest.messages = messages;
    // Behind a few bytes, as behind a stub: offset 0 stands for "no block".
    WriteBinaryFile(folder_ / "data", std::string(16, '\0') + EncodeBlock(manifest));
    ASSERT_EQ(ReadUninstallDataFile((folder_ / "data").c_str(), 16), READ_OK);
  }

  int Bar() { return static_cast<int>(SendMessageA(ProgressBar, PBM_GETPOS, 0, 0)); }

  ProcessState state_;
  const std::vector<std::string> messages_ = TestMessages();
  TestFolder folder_;
};

// The question shows its texts from the data in the dialog font, and every
// way out of it answers: a button with its id, Enter with Yes, Esc and the
// close box with Cancel.
TEST_F(Ui, EveryWayOutOfTheQuestionAnswers) {
  const struct {
    const char *way;
    std::function<bool(HWND)> act;
    int expected;
  } ways[] = {
      {"Yes", [](HWND d) { return ui::PressButton(d, IDYES); }, IDYES},
      {"Yes to all", [](HWND d) { return ui::PressButton(d, IDC_YES_TO_ALL); }, IDC_YES_TO_ALL},
      {"No", [](HWND d) { return ui::PressButton(d, IDNO); }, IDNO},
      {"No to all", [](HWND d) { return ui::PressButton(d, IDC_NO_TO_ALL); }, IDC_NO_TO_ALL},
      {"Enter", [](HWND d) { return PostMessageA(d, WM_KEYDOWN, VK_RETURN, 0) != 0; }, IDYES},
      {"Esc", [](HWND d) { return ui::PostCommand(d, IDCANCEL); }, IDCANCEL},
      {"close box", ui::PressCloseBox, IDCANCEL},
  };
  const std::vector<std::string> captions = {messages_[3], messages_[4], messages_[5],
                                             messages_[6]};
  for (const auto &w : ways) {
    SCOPED_TRACE(w.way);
    Seen seen;
    bool acted = false;
    const int answer = AskAndAnswer(
        [&](HWND d) {
          if (w.expected == IDNO) SaveScreenshotArtifact(d, "question");
          acted = w.act(d);
        },
        &seen);
    ASSERT_TRUE(seen.appeared);
    EXPECT_TRUE(acted);
    EXPECT_EQ(answer, w.expected);
    EXPECT_EQ(seen.info.caption, messages_[0]);
    EXPECT_EQ(seen.text, WithArgument(messages_[9], kFileName));
    std::vector<std::string> shown;
    for (const ui::Button &button : seen.info.buttons) shown.push_back(button.caption);
    EXPECT_EQ(shown, captions);
    EXPECT_TRUE(seen.font);
  }
}

// An empty question is the product's "yes to all"; a question that cannot be
// shown keeps the file.
TEST_F(Ui, AQuestionWithoutADialogIsYesToAllWhenEmptyAndNoWhenItCannotShow) {
  std::vector<std::string> noQuestion = messages_;
  noQuestion[9] = "";
  Load(noQuestion);
  Seen seen;
  EXPECT_EQ(AskAndAnswer(ui::PressCloseBox, &seen), IDC_YES_TO_ALL);
  Load(messages_);
  AppInstance = GetModuleHandleA("kernel32.dll");  // holds no question template
  EXPECT_EQ(AskAndAnswer(ui::PressCloseBox, &seen), IDNO);
  AppInstance = GetModuleHandleA(nullptr);
  EXPECT_FALSE(seen.appeared);
}

// The bar moves up to 100 and no further, and the windows are kept alive
// only when it moves, which bounds what the phases pay for it.
TEST_F(Ui, ProgressMovesToAtMostAHundredAndPumpsOnlyOnAChange) {
  Manifest lists;
  lists.files = {{".", "a", 0}, {".", "b", 0}, {".", "", 0}};
  lists.shortcuts = {{0, "C:\\s", "", "s.lnk"}};
  lists.registry = {{0x80000001, "Software\\A"}, {0x80000001, "Software\\B"}};
  Load(messages_, lists);
  OpenProgressDialog();
  ASSERT_NE(ProgressBar, nullptr);
  EXPECT_TRUE(HasTheDialogFont(ProgressDialog));
  EXPECT_EQ(ui::ControlText(ProgressDialog, IDC_MESSAGE_TEXT), messages_[11]);
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
    EXPECT_EQ(Bar(), step.bar) << step.set;
    EXPECT_EQ(ProgressPosition, static_cast<uint32_t>(step.bar)) << step.set;
  }
  ProgressBar = nullptr;  // a quiet run has no bar and still keeps the position
  SetProgress(50);
  EXPECT_EQ(ProgressPosition, 50u);
}

// The one home of the percentage, worked out without a 64-bit division: the
// totals and counts reach the edges of that long division, and a count past
// 4 GB must not wrap.
TEST_F(Ui, ProgressIsTheShareOfTheTotalRoundedDown) {
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

// Every path the stub resolves starts from its own folder, with one trailing
// backslash; the theme is left to the window frames.
TEST(StartUp, FindsTheFolderAndRestrictsTheThemeToFrames) {
  ProcessState state;
  char module[MAX_PATH] = "";
  const std::string path(module, GetModuleFileNameA(nullptr, module, sizeof module));
  const DWORD themeBefore = GetThemeAppProperties();
  ASSERT_TRUE(StartUp(GetModuleHandleA(nullptr)));
  ASSERT_NE(InstallFolder, nullptr);
  EXPECT_EQ(std::string(InstallFolder), path.substr(0, path.rfind('\\') + 1));
  RestrictThemeToFrames();
  EXPECT_EQ(GetThemeAppProperties(), static_cast<DWORD>(STAP_ALLOW_NONCLIENT));
  ShutDown();
  SetThemeAppProperties(themeBefore);
}

}  // namespace
}  // namespace quenrid::test
