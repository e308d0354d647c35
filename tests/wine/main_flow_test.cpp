// The run as a user sees it, through the real packed stub on each Windows
// family: the prompts, the in-use loop, the closing message and the switches.
// A product of two files: `checked` flagged for the in-use test, `unchecked`
// not.
#include <windows.h>

#include <gtest/gtest.h>

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

constexpr int kQuestion = -1;  // the read-only question, with the progress dialog behind it

struct Step {
  int message;  // the box that must come next
  int answer;
  bool unlockFirst = false;
};

enum Kept { kNone = 0, kChecked = 1, kUnchecked = 2, kBoth = 3 };

struct Flow {
  const char *name;
  const char *version;  // wine's Windows version; null: the default (NT 6)
  const char *switches;
  const char *locked;   // the file held open during the run, if any
  const char *readOnly;
  bool noClosingMessage;
  std::vector<Step> steps;  // then the run ends with 0 and no other box
  int kept;                 // the files that must still be there afterwards
};

const Step kConfirm{1, IDOK}, kCancel{1, IDCANCEL}, kClosing{2, IDOK};
const char kCheckedDll[] = "checked.dll", kUncheckedDll[] = "unchecked.dll";

const Flow kFlows[] = {
    {"ConfirmedOnNt6", nullptr, "", nullptr, nullptr, false, {kConfirm, kClosing}, kNone},
    {"ConfirmedOnWindowsXp", "winxp", "", nullptr, nullptr, false, {kConfirm, kClosing}, kNone},
    {"ConfirmedOnWindows98", "win98", "", nullptr, nullptr, false, {kConfirm, kClosing}, kNone},
    {"Cancelled", nullptr, "", nullptr, nullptr, false, {kCancel}, kBoth},
    {"ProgressStandsThroughTheQuestion", nullptr, "", nullptr, kUncheckedDll, false,
     {kConfirm, {kQuestion, IDYES}, kClosing}, kNone},
    {"EmptyClosingMessageNotShown", nullptr, "", nullptr, nullptr, true, {kConfirm}, kNone},
    {"AWordFirstMakesNoSwitches", nullptr, "file /Q", nullptr, nullptr, false, {kCancel}, kBoth},
    {"RetryUntilFree", nullptr, "", kCheckedDll, nullptr, false,
     {kConfirm, {15, IDRETRY}, {15, IDRETRY, true}, kClosing}, kNone},
    {"CancelWhileInUseKeepsEverything", nullptr, "", kCheckedDll, kCheckedDll, false, {kConfirm, {15, IDCANCEL}},
     kBoth},
    {"UnflaggedFileInUseNotWaitedFor", nullptr, "", kUncheckedDll, nullptr, false, {kConfirm, kClosing}, kUnchecked},
    // Quiet runs neither confirm nor test for files in use nor say goodbye.
    {"QuietQ", nullptr, "/Q", kCheckedDll, nullptr, false, {}, kChecked},
    {"QuietS", nullptr, "/S", kCheckedDll, nullptr, false, {}, kChecked},
    {"QuietX", nullptr, "/X", kCheckedDll, nullptr, false, {}, kChecked},
    {"QuietLowerCaseTwo", nullptr, "/q /s", kCheckedDll, nullptr, false, {}, kChecked},
    {"QuietDashes", nullptr, "-x -s", kCheckedDll, nullptr, false, {}, kChecked},
    {"QuietJoined", nullptr, "/Q/X", kCheckedDll, nullptr, false, {}, kChecked},
    {"QuietWord", nullptr, "/Silent", kCheckedDll, nullptr, false, {}, kChecked},
    {"QuietOnWindows98", "win98", "/Q", nullptr, nullptr, false, {}, kNone},
};

void PrintTo(const Flow &flow, std::ostream *os) { *os << flow.name; }

bool Exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class MainFlow : public ::testing::TestWithParam<Flow> {};

TEST_P(MainFlow, ShowsItsBoxesAndRemovesAsAnswered) {
  const Flow &flow = GetParam();
  TestFolder folder;
  std::vector<std::string> messages = TestMessages();
  if (flow.noClosingMessage) messages[2] = "";
  Manifest manifest;
  manifest.messages = messages;
  manifest.files = {{folder.path(), "checked.dll", FILE_FLAG_CHECK_IN_USE},
                    {folder.path(), "unchecked.dll", 0},
                    {folder.path(), "", FILE_FLAG_CHECK_IN_USE}};
  const std::string exeName = std::string("uninst-") + flow.name + ".exe", exe = folder / exeName;
  WritePackedStub(exe, EncodeBlock(manifest));
  for (const char *name : {kCheckedDll, kUncheckedDll}) WriteBinaryFile(folder / name, name);
  if (flow.readOnly) {
    ASSERT_TRUE(SetFileAttributesA((folder / flow.readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
  }
  std::unique_ptr<FileLock> lock;
  if (flow.locked) lock = std::make_unique<FileLock>(folder / flow.locked);
  WindowsVersionFor version(exeName, flow.version);

  Process run(exe, flow.switches);
  for (const Step &step : flow.steps) {
    SCOPED_TRACE("message " + std::to_string(step.message));
    HWND box = ui::WaitForDialog(run.id(), kDialogTimeoutMs, [&](HWND w) {
      return step.message == kQuestion ? ui::HasControl(w, IDC_NO_TO_ALL) : ui::IsMessageBox(w);
    });
    ASSERT_NE(box, nullptr);
    if (step.message == kQuestion) {
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
      EXPECT_EQ(ui::ButtonIds(info.buttons),
                step.message == 1    ? std::vector<int>({IDOK, IDCANCEL})
                : step.message == 15 ? std::vector<int>({IDRETRY, IDCANCEL})
                                     : std::vector<int>({IDOK}));
      if (step.message == 1 && step.answer == IDCANCEL) SaveScreenshotArtifact(box, "confirmation");
    }
    if (step.unlockFirst) lock->Release();
    Answer(box, step.answer);
  }
  // Without a closing message the progress dialog is the last window seen.
  if (!flow.noClosingMessage) {
    EXPECT_TRUE(ExitsSilentlyWith(run, 0));
  } else if (HWND box = ui::WaitForDialog(run.id(), kExitTimeoutMs, ui::IsMessageBox)) {
    ADD_FAILURE() << "another message box: " << ui::Describe(box).text;
  } else {
    EXPECT_TRUE(ExitsWith(run, 0));
  }
  if (lock) lock->Release();
  EXPECT_EQ(Exists(folder / kCheckedDll), (flow.kept & kChecked) != 0);
  EXPECT_EQ(Exists(folder / kUncheckedDll), (flow.kept & kUnchecked) != 0);
  // The in-use test makes a read-only file writable for a moment only.
  if (flow.readOnly && Exists(folder / flow.readOnly)) {
    EXPECT_TRUE(GetFileAttributesA((folder / flow.readOnly).c_str()) & FILE_ATTRIBUTE_READONLY);
  }
}

INSTANTIATE_TEST_SUITE_P(Stub, MainFlow, ::testing::ValuesIn(kFlows),
                         [](const ::testing::TestParamInfo<Flow> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quenrid::test
