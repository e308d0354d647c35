// The run as a user sees it, through the real packed stub on each Windows
// family: the prompts, the in-use loop, the closing message and the switches.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/uninstall_data.h"
#include "file_lock.h"
#include "harness.h"
#include "resources/resource.h"
#include "test_messages.h"
#include "ui_driver.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

// Two files, and what the run meets: `checked` is flagged for the in-use
// test, `unchecked` is not; either may be held open or read-only.
const char *const kFiles[] = {"checked.dll", "unchecked.dll"};
enum Setup { kLockChecked = 1, kLockUnchecked = 2, kReadOnlyChecked = 4, kReadOnlyUnchecked = 8,
             kNoClosingMessage = 16 };
enum Kept { kNone = 0, kChecked = 1, kUnchecked = 2, kBoth = 3 };

constexpr int kQuestion = -1;  // the read-only question, with the progress dialog behind it
constexpr int kEnter = -1, kCloseBox = -2;
struct Step {
  int message;  // the box that must come next
  int answer;   // a button, or kEnter or kCloseBox
  bool unlockFirst = false;
};
const Step kConfirm{1, IDOK}, kCancel{1, IDCANCEL}, kClosing{2, IDOK};
const std::map<int, std::vector<int>> kButtons = {
    {1, {IDOK, IDCANCEL}}, {2, {IDOK}}, {15, {IDRETRY, IDCANCEL}}};

struct Flow {
  const char *name;
  const char *version;  // wine's Windows version; null: the default (NT 6)
  const char *switches;
  int setup;
  std::vector<Step> steps;  // then the run ends with 0 and no other box
  int kept;                 // the files still there afterwards
};

const Flow kFlows[] = {
    {"ConfirmedOnNt6", nullptr, "", 0, {kConfirm, kClosing}, kNone},
    {"ConfirmedOnWindowsXp", "winxp", "", 0, {kConfirm, kClosing}, kNone},
    {"ConfirmedOnWindows98", "win98", "", 0, {kConfirm, kClosing}, kNone},
    {"Cancelled", nullptr, "", 0, {kCancel}, kBoth},
    {"EmptyClosingMessageNotShown", nullptr, "", kNoClosingMessage, {kConfirm}, kNone},
    // The read-only question: Enter answers Yes, the close box No.
    {"QuestionAnsweredWithEnter", nullptr, "", kReadOnlyUnchecked,
     {kConfirm, {kQuestion, kEnter}, kClosing}, kNone},
    {"QuestionClosed", nullptr, "", kReadOnlyUnchecked,
     {kConfirm, {kQuestion, kCloseBox}, kClosing}, kUnchecked},
    {"RetryUntilFree", nullptr, "", kLockChecked,
     {kConfirm, {15, IDRETRY}, {15, IDRETRY, true}, kClosing}, kNone},
    {"CancelWhileInUseKeepsEverything", nullptr, "", kLockChecked | kReadOnlyChecked,
     {kConfirm, {15, IDCANCEL}}, kBoth},
    {"UnflaggedFileInUseNotWaitedFor", nullptr, "", kLockUnchecked, {kConfirm, kClosing},
     kUnchecked},
    // Quiet runs neither confirm nor test for files in use nor say goodbye;
    // how switches are read is host work (switches_test.cpp).
    {"QuietQ", nullptr, "/Q", kLockChecked, {}, kChecked},
    {"QuietS", nullptr, "/S", kLockChecked, {}, kChecked},
    {"QuietX", nullptr, "/X", kLockChecked, {}, kChecked},
    {"QuietOnWindows98", "win98", "/Q", 0, {}, kNone},
};

void PrintTo(const Flow &flow, std::ostream *os) { *os << flow.name; }

class MainFlow : public ::testing::TestWithParam<Flow> {};

TEST_P(MainFlow, ShowsItsBoxesAndRemovesAsAnswered) {
  const Flow &flow = GetParam();
  TestFolder folder;
  std::vector<std::string> messages = TestMessages();
  if (flow.setup & kNoClosingMessage) messages[2] = "";
  Manifest manifest;
  manifest.messages = messages;
  manifest.files = {{folder.path(), kFiles[0], FILE_FLAG_CHECK_IN_USE},
                    {folder.path(), kFiles[1], 0},
                    {folder.path(), "", FILE_FLAG_CHECK_IN_USE}};
  const std::string exeName = std::string("uninst-") + flow.name + ".exe", exe = folder / exeName;
  WritePackedStub(exe, EncodeBlock(manifest));
  std::unique_ptr<FileLock> lock;
  for (int i : {0, 1}) {
    WriteBinaryFile(folder / kFiles[i], kFiles[i]);
    if (flow.setup & (kReadOnlyChecked << i)) {
      ASSERT_TRUE(SetFileAttributesA((folder / kFiles[i]).c_str(), FILE_ATTRIBUTE_READONLY));
    }
    if (flow.setup & (kLockChecked << i)) lock = std::make_unique<FileLock>(folder / kFiles[i]);
  }
  WindowsVersionFor version(exeName, flow.version);

  Process run(exe, flow.switches);
  for (const Step &step : flow.steps) {
    SCOPED_TRACE("message " + std::to_string(step.message));
    HWND box = ui::WaitForDialog(run.id(), kDialogTimeoutMs, [&](HWND w) {
      return step.message == kQuestion ? ui::HasControl(w, IDC_NO_TO_ALL) : ui::IsMessageBox(w);
    });
    ASSERT_NE(box, nullptr);
    if (step.message == kQuestion) {
      EXPECT_EQ(ui::WindowText(box), messages[0]);
      EXPECT_EQ(ui::ControlText(box, IDC_MESSAGE_TEXT),
                WithArgument(messages[9], folder / kFiles[1]));
      SaveScreenshotArtifact(box, "question");
      // The removal cannot be stopped half-way: Enter, Esc and the close box
      // leave the progress dialog standing.
      HWND progress = ui::WaitForDialog(run.id(), kDialogTimeoutMs,
                                        [](HWND w) { return ui::HasControl(w, IDC_PROGRESS_BAR); });
      ASSERT_NE(progress, nullptr);
      SaveScreenshotArtifact(progress, "progress");
      EXPECT_EQ(ui::WindowText(progress), messages[0]);
      EXPECT_EQ(ui::ControlText(progress, IDC_MESSAGE_TEXT), messages[11]);
      PostMessageA(progress, WM_KEYDOWN, VK_RETURN, 0);
      PostMessageA(progress, WM_KEYDOWN, VK_ESCAPE, 0);
      ui::PressCloseBox(progress);
      EXPECT_FALSE(ui::WaitForClose(progress, 300));
    } else {
      const ui::DialogInfo info = ui::Describe(box);
      EXPECT_EQ(info.caption, messages[0]);
      EXPECT_EQ(info.text, messages[step.message]);
      EXPECT_EQ(ui::ButtonIds(info.buttons), kButtons.at(step.message));
      if (step.answer == IDCANCEL) SaveScreenshotArtifact(box, "prompt");
    }
    if (step.unlockFirst) lock->Release();
    if (step.answer > 0) {
      Answer(box, step.answer);
    } else {
      PostMessageA(box, step.answer == kEnter ? WM_KEYDOWN : WM_SYSCOMMAND,
                   step.answer == kEnter ? VK_RETURN : SC_CLOSE, 0);
      EXPECT_TRUE(ui::WaitForClose(box, kDialogTimeoutMs));
    }
  }
  // Without a closing message the progress dialog is the last window seen.
  if (!(flow.setup & kNoClosingMessage)) {
    EXPECT_TRUE(ExitsSilentlyWith(run, 0));
  } else if (HWND box = ui::WaitForDialog(run.id(), kExitTimeoutMs, ui::IsMessageBox)) {
    ADD_FAILURE() << "another message box: " << ui::Describe(box).text;
  } else {
    EXPECT_TRUE(ExitsWith(run, 0));
  }
  if (lock) lock->Release();
  for (int i : {0, 1}) {
    const DWORD attributes = GetFileAttributesA((folder / kFiles[i]).c_str());
    EXPECT_EQ(attributes != INVALID_FILE_ATTRIBUTES, (flow.kept & (1 << i)) != 0) << kFiles[i];
    // The in-use test makes a read-only file writable for a moment only.
    EXPECT_TRUE(attributes == INVALID_FILE_ATTRIBUTES || !(flow.setup & (kReadOnlyChecked << i)) ||
                (attributes & FILE_ATTRIBUTE_READONLY))
        << kFiles[i];
  }
}

INSTANTIATE_TEST_SUITE_P(Stub, MainFlow, ::testing::ValuesIn(kFlows),
                         [](const ::testing::TestParamInfo<Flow> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quenrid::test
