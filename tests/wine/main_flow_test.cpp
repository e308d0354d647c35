// The run as a user sees it, through the real packed stub: the prompts, the
// in-use loop, the closing message and the quiet switches.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/uninstall_data.h"
#include "file_lock.h"
#include "resources/resource.h"
#include "harness.h"
#include "test_messages.h"
#include "ui_driver.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

class MainFlow : public ::testing::Test {
 protected:
  // A product of two files in the test folder; `checked` is flagged for the
  // in-use test, `unchecked` is not.
  void SetUp() override {
    messages_ = TestMessages();
    WriteBinaryFile(checked_, "checked");
    WriteBinaryFile(unchecked_, "unchecked");
  }

  std::string Pack(const std::string &exeName = "uninst.exe") {
    Manifest manifest;
    manifest.messages = messages_;
    manifest.files = {{folder_.path(), "checked.dll", FILE_FLAG_CHECK_IN_USE},
                      {folder_.path(), "unchecked.dll", 0},
                      {folder_.path(), "", FILE_FLAG_CHECK_IN_USE}};
    const std::string exe = folder_ / exeName;
    WritePackedStub(exe, EncodeBlock(manifest));
    return exe;
  }

  // Waits for the run's next message box and checks it shows `message` with
  // exactly `buttons`. The progress dialog, which comes and goes in between,
  // is not taken for one.
  HWND ExpectBox(Process &run, int message, const std::vector<int> &buttons) {
    HWND box = ui::WaitForDialog(run.id(), kDialogTimeoutMs, ui::IsMessageBox);
    if (!box) {
      ADD_FAILURE() << "no box with message " << message;
      return nullptr;
    }
    const ui::DialogInfo info = ui::Describe(box);
    EXPECT_EQ(info.caption, messages_[0]);
    EXPECT_EQ(info.text, messages_[message]);
    EXPECT_EQ(ui::ButtonIds(info.buttons), buttons);
    return box;
  }

  // The run ends with `code` without another message box; the progress
  // dialog may still come and go.
  static ::testing::AssertionResult EndsWithoutABox(Process &run, DWORD code) {
    if (HWND box = ui::WaitForDialog(run.id(), kExitTimeoutMs, ui::IsMessageBox)) {
      return ::testing::AssertionFailure() << "a message box: " << ui::Describe(box).text;
    }
    return ExitsWith(run, code);
  }

  TestFolder folder_;
  std::vector<std::string> messages_;
  const std::string checked_ = folder_ / "checked.dll";
  const std::string unchecked_ = folder_ / "unchecked.dll";
};

TEST_F(MainFlow, CancelAtTheConfirmationEndsWithNothingMore) {
  Process run(Pack(), "");
  HWND box = ExpectBox(run, 1, {IDOK, IDCANCEL});
  SaveScreenshotArtifact(box, "confirmation");
  Answer(box, IDCANCEL);
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
  EXPECT_NE(GetFileAttributesA(checked_.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MainFlow, ConfirmedRunEndsWithTheClosingMessage) {
  Process run(Pack(), "");
  Answer(ExpectBox(run, 1, {IDOK, IDCANCEL}), IDOK);
  Answer(ExpectBox(run, 2, {IDOK}), IDOK);
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
}

// A read-only file holds the run in its question while the progress dialog
// is up: the dialog shows the first phase's caption and shrugs off Esc and
// its close box.
TEST_F(MainFlow, TheProgressDialogStandsThroughTheRemoval) {
  ASSERT_TRUE(SetFileAttributesA(unchecked_.c_str(), FILE_ATTRIBUTE_READONLY));
  Process run(Pack(), "");
  Answer(ExpectBox(run, 1, {IDOK, IDCANCEL}), IDOK);
  HWND question = ui::WaitForDialog(run.id(), kDialogTimeoutMs, [](HWND w) {
    return ui::HasControl(w, IDC_NO_TO_ALL);
  });
  ASSERT_NE(question, nullptr);
  HWND progress = ui::WaitForDialog(run.id(), kDialogTimeoutMs, [](HWND w) {
    return ui::HasControl(w, IDC_PROGRESS_BAR);
  });
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(ui::WindowText(progress), messages_[0]);
  EXPECT_EQ(ui::ControlText(progress, IDC_MESSAGE_TEXT), messages_[11]);
  ASSERT_TRUE(ui::PostCommand(progress, IDCANCEL));
  ASSERT_TRUE(ui::PressCloseBox(progress));
  EXPECT_FALSE(ui::WaitForClose(progress, 300));
  Answer(question, IDYES);
  Answer(ExpectBox(run, 2, {IDOK}), IDOK);
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
  EXPECT_EQ(GetFileAttributesA(unchecked_.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MainFlow, AnEmptyClosingMessageIsNotShown) {
  messages_[2] = "";
  Process run(Pack(), "");
  Answer(ExpectBox(run, 1, {IDOK, IDCANCEL}), IDOK);
  EXPECT_TRUE(EndsWithoutABox(run, 0));
}

// A word in front of the switches makes them no switches at all.
TEST_F(MainFlow, ALineThatStartsWithAWordIsInteractive) {
  Process run(Pack(), "file /Q");
  Answer(ExpectBox(run, 1, {IDOK, IDCANCEL}), IDCANCEL);
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
}

// Quiet runs neither confirm nor test for files in use nor say goodbye. Each
// has an executable of its own, as a /Q run deletes its own once it has
// ended.
TEST_F(MainFlow, QuietSwitchesAskNothing) {
  FileLock lock(checked_);
  int serial = 0;
  for (const char *line : {"/Q", "/S", "/X", "/q /s", "-x -s", "/Q/X", "/Silent"}) {
    SCOPED_TRACE(line);
    Process run(Pack("uninst" + std::to_string(++serial) + ".exe"), line);
    EXPECT_TRUE(ExitsSilentlyWith(run, 0));
  }
}

TEST_F(MainFlow, RetryAsksAgainUntilTheFileIsFree) {
  const std::string exe = Pack();
  FileLock lock(checked_);
  Process run(exe, "");
  Answer(ExpectBox(run, 1, {IDOK, IDCANCEL}), IDOK);
  Answer(ExpectBox(run, 15, {IDRETRY, IDCANCEL}), IDRETRY);
  HWND again = ExpectBox(run, 15, {IDRETRY, IDCANCEL});
  lock.Release();
  Answer(again, IDRETRY);
  Answer(ExpectBox(run, 2, {IDOK}), IDOK);
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
}

TEST_F(MainFlow, CancelAtTheInUsePromptKeepsEverything) {
  ASSERT_TRUE(SetFileAttributesA(checked_.c_str(), FILE_ATTRIBUTE_READONLY));
  const std::string exe = Pack();
  FileLock lock(checked_);
  Process run(exe, "");
  Answer(ExpectBox(run, 1, {IDOK, IDCANCEL}), IDOK);
  Answer(ExpectBox(run, 15, {IDRETRY, IDCANCEL}), IDCANCEL);
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
  // The in-use test made the file writable for a moment and put it back.
  EXPECT_TRUE(GetFileAttributesA(checked_.c_str()) & FILE_ATTRIBUTE_READONLY);
}

// Only files flagged for it count; a busy unflagged file is no reason to wait.
TEST_F(MainFlow, UnflaggedFilesInUseAreNotWaitedFor) {
  const std::string exe = Pack();
  FileLock lock(unchecked_);
  Process run(exe, "");
  Answer(ExpectBox(run, 1, {IDOK, IDCANCEL}), IDOK);
  Answer(ExpectBox(run, 2, {IDOK}), IDOK);
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
}

}  // namespace
}  // namespace quenrid::test
