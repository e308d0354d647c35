// The stub's windows, dialogs and progress, driven in-process with the stub's
// own templates. A modal question blocks the thread that asks, so it is
// answered from a second thread that finds it by this process's id.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <uxtheme.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_flow.h"
#include "app/startup.h"
#include "data/state.h"
#include "ui/ui.h"
#include "data/messages.h"
#include "data/uninstall_data.h"
#include "harness.h"
#include "resources/resource.h"
#include "test_messages.h"
#include "ui_driver.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

constexpr UINT kProbeMessage = WM_APP + 7;
const char kFileName[] = "C:\\Program Files\\Quenrid Test\\readme.txt";

std::vector<HFONT> ControlFonts(HWND dialog) {
  std::vector<HFONT> fonts;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    DWORD_PTR font = 0;
    SendMessageTimeoutA(child, WM_GETFONT, 0, 0, SMTO_ABORTIFHUNG, ui::kQueryTimeoutMs, &font);
    fonts.push_back(reinterpret_cast<HFONT>(font));
  }
  return fonts;
}

// What the answering thread saw of the question; the test thread checks it
// once the question has returned.
struct SeenQuestion {
  bool appeared = false;
  ui::DialogInfo info;
  std::string text;
  int defaultId = 0;
  std::vector<HFONT> controlFonts;
};

// Asks about `fileName` on this thread while a second one waits for a dialog
// other than the progress dialog, reads it and runs `answer` on it. A dialog
// that `answer` did not end is closed, so a fault fails the test instead of
// leaving it in the modal loop.
int AskAndAnswer(const char *fileName, const std::function<void(HWND)> &answer,
                 SeenQuestion *seen) {
  std::atomic<bool> returned{false};
  std::thread driver([&] {
    HWND dialog = nullptr;
    for (DWORD start = GetTickCount(); !dialog && !returned && GetTickCount() - start < kDialogTimeoutMs;
         Sleep(10)) {
      for (HWND found : ui::FindDialogs(GetCurrentProcessId())) {
        if (found != ProgressDialog) dialog = found;
      }
    }
    if (!dialog) return;
    seen->appeared = true;
    seen->info = ui::Describe(dialog);
    seen->text = ui::ControlText(dialog, IDC_MESSAGE_TEXT);
    DWORD_PTR defId = 0;
    SendMessageTimeoutA(dialog, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, ui::kQueryTimeoutMs, &defId);
    if (HIWORD(defId) == DC_HASDEFID) seen->defaultId = LOWORD(defId);
    seen->controlFonts = ControlFonts(dialog);
    answer(dialog);
    if (!ui::WaitForClose(dialog, kDialogTimeoutMs)) ui::PressCloseBox(dialog);
  });
  const int result = AskQuestion(fileName);
  returned = true;
  driver.join();
  return result;
}

// Runs `work` on a second thread while this one keeps the windows alive, as
// the removal phases do through SetProgress.
void PumpWhile(const std::function<void()> &work) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  while (!done) {
    PumpMessages();
    Sleep(10);
  }
  worker.join();
}

bool ProbeIsQueued() {
  MSG message;
  return PeekMessageA(&message, MainWindow, kProbeMessage, kProbeMessage, PM_NOREMOVE) != 0;
}

int BarPosition() { return static_cast<int>(SendMessageA(ProgressBar, PBM_GETPOS, 0, 0)); }

bool gaveUp;  // the final loop did not end by itself

void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD) {
  gaveUp = true;
  PostQuitMessage(0);
}

// Each test starts from the stub's state after it has read its data: the
// messages loaded, the main window made, no dialog, no font, position 0.
class Ui : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    AppInstance = GetModuleHandleA(nullptr);
    InitCommonControls();
    ASSERT_TRUE(RegisterMainWindowClass());
  }

  void SetUp() override {
    LoadMessages(messages_);
    ASSERT_TRUE(CreateMainWindow());
  }

  void TearDown() override {
    if (IsWindow(MainWindow)) DestroyWindow(MainWindow);  // takes the owned dialogs with it
    PumpMessages();
    MainWindow = ProgressDialog = ProgressBar = nullptr;
    ProgressPosition = 0;
    ProgressTotal = 0;
    if (DialogFont) DeleteObject(DialogFont);
    DialogFont = nullptr;
    ReleaseUninstallData();
  }

  void LoadMessages(const std::vector<std::string> &messages, Manifest manifest = {}) {
    ReleaseUninstallData();
    manifest.messages = messages;
    // Behind a few bytes, as behind a stub: offset 0 stands for "no block".
    const std::string lead(16, '\0');
    const std::string path = folder_ / "messages.dat";
    WriteBinaryFile(path, lead + EncodeBlock(manifest));
    ASSERT_EQ(ReadUninstallDataFile(path.c_str(), static_cast<uint32_t>(lead.size())), READ_OK);
  }

  // The main flow's own step before the first phase.
  HWND CreateProgressDialog() {
    OpenProgressDialog();
    return ProgressDialog;
  }

  const std::vector<std::string> messages_ = TestMessages();
  TestFolder folder_;
};

TEST_F(Ui, MainWindowIsHiddenCentredAndGoesWithTheFinalLoop) {
  const HWND window = MainWindow;
  char className[32] = {};
  GetClassNameA(window, className, sizeof className);
  EXPECT_STREQ(className, "QuenridClass");
  EXPECT_EQ(ui::WindowText(window), messages_[0]);
  EXPECT_FALSE(IsWindowVisible(window));
  // Top-level windows always get WS_CLIPSIBLINGS from the system.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) & ~WS_CLIPSIBLINGS,
            static_cast<DWORD>(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN));
  WNDCLASSA windowClass{};
  ASSERT_TRUE(GetClassInfoA(AppInstance, "QuenridClass", &windowClass));
  EXPECT_NE(windowClass.hIcon, nullptr);
  EXPECT_EQ(windowClass.hbrBackground, GetStockObject(NULL_BRUSH));

  RECT rect{};
  ASSERT_TRUE(GetWindowRect(window, &rect));
  EXPECT_EQ(rect.left, std::max(0, (GetSystemMetrics(SM_CXSCREEN) - 320) / 2));
  EXPECT_EQ(rect.top, std::max(0, (GetSystemMetrics(SM_CYSCREEN) - 200) / 2));
  EXPECT_EQ(rect.right - rect.left, 320);
  EXPECT_EQ(rect.bottom - rect.top, 200);

  gaveUp = false;
  const UINT_PTR guard = SetTimer(nullptr, 0, kDialogTimeoutMs, GiveUp);
  RunFinalMessageLoop();
  KillTimer(nullptr, guard);
  EXPECT_FALSE(gaveUp) << "the final loop never saw its quit message";
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(Ui, QuestionShowsTheFileUnderFourButtonsInOrder) {
  SeenQuestion seen;
  const int answer = AskAndAnswer(
      kFileName,
      [](HWND dialog) {
        SaveScreenshotArtifact(dialog, "question");
        ui::PressButton(dialog, IDNO);
      },
      &seen);
  ASSERT_TRUE(seen.appeared);
  EXPECT_EQ(seen.info.caption, messages_[0]);
  EXPECT_EQ(seen.text, WithArgument(messages_[9], kFileName));
  // Describe lists the buttons by their left edge on the screen.
  EXPECT_EQ(ui::ButtonIds(seen.info.buttons),
            (std::vector<int>{IDYES, IDC_YES_TO_ALL, IDNO, IDC_NO_TO_ALL}));
  std::vector<std::string> captions;
  for (const ui::Button &button : seen.info.buttons) captions.push_back(button.caption);
  EXPECT_EQ(captions,
            (std::vector<std::string>{messages_[3], messages_[4], messages_[5], messages_[6]}));
  EXPECT_EQ(seen.defaultId, IDYES);
  EXPECT_EQ(answer, IDNO);
}

TEST_F(Ui, EveryWayOutOfTheQuestionAnswersWithItsId) {
  struct Way {
    const char *name;
    std::function<bool(HWND)> act;
    int expected;
  };
  std::vector<Way> ways;
  for (int id : {IDYES, IDC_YES_TO_ALL, IDNO, IDC_NO_TO_ALL}) {
    ways.push_back({"button", [id](HWND d) { return ui::PressButton(d, id); }, id});
  }
  ways.push_back({"Esc", [](HWND d) { return ui::PostCommand(d, IDCANCEL); }, IDCANCEL});
  ways.push_back({"close box", ui::PressCloseBox, IDCANCEL});
  for (const Way &way : ways) {
    SCOPED_TRACE(std::string(way.name) + " " + std::to_string(way.expected));
    SeenQuestion seen;
    bool acted = false;
    const int answer = AskAndAnswer(kFileName, [&](HWND d) { acted = way.act(d); }, &seen);
    EXPECT_TRUE(acted);
    EXPECT_EQ(answer, way.expected);
  }
}

TEST_F(Ui, QuestionWithoutADialogIsYesToAllWhenEmptyAndNoWhenItCannotShow) {
  std::vector<std::string> messages = messages_;
  messages[9] = "";
  LoadMessages(messages);
  SeenQuestion seen;
  EXPECT_EQ(AskAndAnswer(kFileName, ui::PressCloseBox, &seen), IDC_YES_TO_ALL);
  EXPECT_FALSE(seen.appeared);

  LoadMessages(messages_);
  AppInstance = GetModuleHandleA("kernel32.dll");  // holds no question template
  const int answer = AskAndAnswer(kFileName, ui::PressCloseBox, &seen);
  AppInstance = GetModuleHandleA(nullptr);
  EXPECT_EQ(answer, IDNO);
  EXPECT_FALSE(seen.appeared);
}

TEST_F(Ui, ProgressDialogStaysAsItIsThroughEnterEscAndTheCloseBox) {
  Manifest lists;
  lists.files = {{".", "a", 0}, {".", "b", 0}, {".", "", 0}};
  lists.shortcuts = {{0, "C:\\s", "", "s.lnk"}};
  lists.registry = {{0x80000001, "Software\\A"}, {0x80000001, "Software\\B"}};
  LoadMessages(messages_, lists);
  ASSERT_NE(CreateProgressDialog(), nullptr);
  EXPECT_EQ(ProgressTotal, 2u * 3 + 1 + 2);  // two units a file, one a shortcut or entry
  EXPECT_TRUE(IsWindowVisible(ProgressDialog));
  EXPECT_EQ(ui::WindowText(ProgressDialog), messages_[0]);
  EXPECT_EQ(ui::ControlText(ProgressDialog, IDC_MESSAGE_TEXT), messages_[11]);
  SetProgress(40);
  PumpWhile([] { SaveScreenshotArtifact(ProgressDialog, "progress"); });

  const std::vector<std::pair<const char *, std::function<void()>>> attempts = {
      {"Enter key", [] { PostMessageA(ProgressDialog, WM_KEYDOWN, VK_RETURN, 0); }},
      {"Esc key", [] { PostMessageA(ProgressDialog, WM_KEYDOWN, VK_ESCAPE, 0); }},
      {"close box", [] { ui::PressCloseBox(ProgressDialog); }},
  };
  for (const auto &attempt : attempts) {
    SCOPED_TRACE(attempt.first);
    attempt.second();
    PumpMessages();
    ASSERT_TRUE(IsWindow(ProgressDialog));
    EXPECT_TRUE(IsWindowVisible(ProgressDialog));
    EXPECT_EQ(ui::WindowText(ProgressDialog), messages_[0]);
    EXPECT_EQ(ui::ControlText(ProgressDialog, IDC_MESSAGE_TEXT), messages_[11]);
    EXPECT_EQ(BarPosition(), 40);
  }
}

TEST_F(Ui, ProgressMovesAndHandlesMessagesOnlyWhenThePercentageChanges) {
  ASSERT_NE(CreateProgressDialog(), nullptr);
  SendMessageA(ProgressBar, PBM_SETPOS, 30, 0);
  PostMessageA(MainWindow, kProbeMessage, 0, 0);
  SetProgress(0);  // the first call, equal to where the position starts
  EXPECT_TRUE(ProbeIsQueued());
  EXPECT_EQ(BarPosition(), 30);

  SetProgress(250);
  EXPECT_EQ(BarPosition(), 100);
  EXPECT_EQ(ProgressPosition, 100u);
  EXPECT_FALSE(ProbeIsQueued());

  PostMessageA(MainWindow, kProbeMessage, 0, 0);
  SetProgress(100);
  SetProgress(300);
  EXPECT_TRUE(ProbeIsQueued());

  // Without a bar the position is still kept and the queue still handled.
  const HWND bar = ProgressBar;
  ProgressBar = nullptr;
  SetProgress(50);
  EXPECT_EQ(ProgressPosition, 50u);
  EXPECT_FALSE(ProbeIsQueued());
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 100);
}

// The percentage is worked out without a 64-bit division; these totals and
// counts reach the edges of that long division.
TEST_F(Ui, ProgressIsTheShareOfTheTotalRoundedDown) {
  const struct {
    uint32_t total;
    uint64_t done;
    uint32_t expected;
  } cases[] = {
      {8, 3, 37},
      {3, 1, 33},
      {3, 2, 66},
      {0xFFFFFFFFu, 0xFFFFFFFEu, 99},
      {0xFFFFFFFFu, 0x7FFFFFFFu, 49},
      {0x80000000u, 0x7FFFFFFFu, 99},
      {0xFFFFFFFFu, 42949673u, 1},
      {0xFFFFFFFFu, 42949672u, 0},
      {7, 7, 100},
      {7, 0x700000000ull, 100},  // a count past the total fills the bar
  };
  for (const auto &c : cases) {
    ProgressTotal = c.total;
    ProgressPosition = 1000;  // a value no call sets, so that every case moves it
    ReportProgress(c.done);
    EXPECT_EQ(ProgressPosition, c.expected) << c.done << " of " << c.total;
  }
  ProgressTotal = 0;
  ProgressPosition = 5;
  ReportProgress(3);
  EXPECT_EQ(ProgressPosition, 5u) << "without a total nothing moves";
}

TEST_F(Ui, BothDialogsShareOneNormalWeightFont) {
  ASSERT_NE(CreateProgressDialog(), nullptr);
  const HFONT font = DialogFont;
  ASSERT_NE(font, nullptr);
  LOGFONTA description{};
  ASSERT_EQ(GetObjectA(font, sizeof description, &description), static_cast<int>(sizeof description));
  EXPECT_EQ(description.lfWeight, FW_NORMAL);
  EXPECT_STREQ(description.lfFaceName, "Arial");  // copied from the template's font
  EXPECT_EQ(ControlFonts(ProgressDialog), std::vector<HFONT>(2, font));

  SeenQuestion seen;
  AskAndAnswer(kFileName, [](HWND d) { ui::PressButton(d, IDYES); }, &seen);
  ASSERT_TRUE(seen.appeared);
  EXPECT_EQ(seen.controlFonts, std::vector<HFONT>(5, font));
  EXPECT_EQ(DialogFont, font);
}

// Start-up finds the executable's folder with one trailing backslash, and the
// theme restriction leaves visual styles to the window frames.
TEST(StartUp, FindsTheFolderAndRestrictsTheThemeToFrames) {
  char module[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, module, sizeof module);
  const std::string path = module;
  const std::string folder = path.substr(0, path.rfind('\\') + 1);
  const DWORD themeBefore = GetThemeAppProperties();

  ASSERT_TRUE(StartUp(GetModuleHandleA(nullptr)));
  ASSERT_NE(InstallFolder, nullptr);
  EXPECT_EQ(std::string(InstallFolder), folder);
  ASSERT_NE(WorkPath, nullptr);
  ASSERT_NE(ModulePath, nullptr);
  RestrictThemeToFrames();
  EXPECT_EQ(GetThemeAppProperties(), static_cast<DWORD>(STAP_ALLOW_NONCLIENT));
  ShutDown();
  EXPECT_EQ(InstallFolder, nullptr);
  EXPECT_EQ(WorkPath, nullptr);
  SetThemeAppProperties(themeBefore);
}

}  // namespace
}  // namespace quenrid::test
