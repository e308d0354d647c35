// The real packed stub run as a user runs it, on each Windows family: the
// reader's refusals, the prompts, the in-use loop, the closing message and
// the quiet switches.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "data/data_offset.h"
#include "data/uninstall_data.h"
#include "file_lock.h"
#include "harness.h"
#include "resources/resource.h"
#include "test_messages.h"
#include "ui_driver.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

const std::string kMarker = {DATA_OFFSET_MARKER_BYTES};

// Where the offset field follows the marker; npos unless it occurs once.
size_t OffsetField(const std::string &bytes) {
  const size_t at = bytes.find(kMarker);
  return at == std::string::npos || bytes.rfind(kMarker) != at ? std::string::npos
                                                               : at + kMarker.size();
}

TEST(StubFile, OffsetFieldFollowsTheOnlyMarkerAndHoldsTheFileLength) {
  for (const std::string &path : InspectedStubPaths()) {
    const std::string stub = ReadBinaryFile(path);
    const size_t field = OffsetField(stub);
    ASSERT_NE(field, std::string::npos) << "the marker must occur exactly once in " << path;
    uint32_t offset = 0;
    std::memcpy(&offset, stub.data() + field, 4);
    EXPECT_EQ(offset, stub.size()) << path;
  }
}

// Blocks the reader refuses, each with the one message it then shows.
std::string Messages() { return EncodeChunk(CHUNK_MESSAGES, EncodeMessagesBody(TestMessages())); }
std::string Truncated() {  // no end chunk
  return Messages() + EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody({}));
}
std::string Rejected(uint16_t kind, const std::string &body) {
  return Messages() + EncodeChunk(kind, body, CHUNK_FLAG_REJECT) + EncodeChunk(CHUNK_END, "");
}

// Two files: `checked` is flagged for the in-use test, `unchecked` is not;
// either may be held open or read-only.
const char *const kFiles[] = {"checked.dll", "unchecked.dll"};
enum Setup {
  kLockChecked = 1,
  kLockUnchecked = 2,
  kReadOnlyChecked = 4,
  kReadOnlyUnchecked = 8,
  kNoClosingMessage = 16,
  kZeroOffset = 32,
  kHiddenStation = 64,  // run in a window station nobody sees
  kSigned = 128,        // signed after packing, as an author signs it
};
enum Kept { kNone = 0, kChecked = 1, kUnchecked = 2, kBoth = 3 };

// A message number, or the read-only question with the progress dialog
// behind it, or a box shown before any message was read.
constexpr int kQuestion = -1, kNoMessages = -2, kEnter = -1, kCloseBox = -2;
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
  std::vector<Step> steps;  // then the run ends without another box
  int kept;                 // the files still there afterwards
  // A block the reader refuses (or, behind a zeroed offset, never finds):
  // its message names the executable, and the run ends with -1.
  std::string (*refused)() = nullptr;
};

// Signs `name` in `folder` in place as an author would, with osslsigncode and
// a certificate made for the purpose, on the host.
void SignOnHost(const TestFolder &folder, const std::string &name) {
  const std::string unix = UnixPath(folder.path()), signedPath = folder / "signed.exe";
  WriteBinaryFile(folder / "sign.sh",
                  "cd '" + unix + "' && openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Quenrid "
                  "-days 2 -keyout key.pem -out cert.pem 2>/dev/null && osslsigncode sign "
                  "-certs cert.pem -key key.pem -in '" + name + "' -out signing.exe >/dev/null && "
                  "mv signing.exe signed.exe\n");
  OnHost("/bin/sh", "\"" + unix + "/sign.sh\"",
         [&] { return GetFileAttributesA(signedPath.c_str()) != INVALID_FILE_ATTRIBUTES; });
  ASSERT_NE(ReadBinaryFile(signedPath), ReadBinaryFile(folder / name));
  ASSERT_TRUE(MoveFileExA(signedPath.c_str(), (folder / name).c_str(), MOVEFILE_REPLACE_EXISTING));
}

// One row a line where it fits.
// clang-format off
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
    // /N answers the read-only question unasked (Yes to all) and asks nothing
    // else away; where nobody sees the window station, no box comes at all.
    {"NoQuestionsStillConfirms", nullptr, "/N", kReadOnlyUnchecked, {kConfirm, kClosing}, kNone},
    {"HiddenStationAsksNothing", nullptr, "", kReadOnlyUnchecked | kLockChecked | kHiddenStation,
     {}, kChecked},
    {"HiddenStationOnWindowsXp", "winxp", "", kReadOnlyChecked | kHiddenStation, {}, kNone},
    {"HiddenStationRefusalShowsNothing", nullptr, "", kHiddenStation, {}, kBoth, Truncated},
    {"SignedUninstaller", nullptr, "", kSigned, {kConfirm, kClosing}, kNone},
    // Refusals, silent ones included, touch nothing.
    {"ZeroOffsetFieldIsNoBlock", nullptr, "", kZeroOffset, {}, kBoth, Messages},
    {"Truncated", nullptr, "", 0, {{8, IDOK}}, kBoth, Truncated},
    {"TruncatedUnderSilentSwitchOnWindowsXp", "winxp", "/S", 0, {{8, IDOK}}, kBoth, Truncated},
    {"RejectedSettingsOnWindows98", "win98", "", 0, {{1, IDOK}}, kBoth,
     [] { return Rejected(CHUNK_SETTINGS, EncodeSettingsBody({})); }},
    {"RejectedDirectories", nullptr, "/X", 0, {{1, IDOK}}, kBoth,
     [] { return Rejected(CHUNK_DIRECTORIES, EncodeDirectoriesBody({"Data"})); }},
    {"SettingsBodyCutShort", nullptr, "", 0, {{1, IDOK}}, kBoth,
     [] {  // the settings header promises more than the file holds
       const std::string chunk =
           EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody({}) + std::string(64, 'x'));
       return Messages() + chunk.substr(0, chunk.size() - 32);
     }},
    {"EmptyBeforeAnyMessages", nullptr, "", 0, {{kNoMessages, IDOK}}, kBoth,
     [] { return std::string(); }},
};
// clang-format on

void PrintTo(const Flow &flow, std::ostream *os) { *os << flow.name; }

class StubRun : public ::testing::TestWithParam<Flow> {};

TEST_P(StubRun, ShowsItsBoxesAndRemovesAsAnswered) {
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
  std::string packed =
      PackBlock(ReadBinaryFile(StubPath()), flow.refused ? flow.refused() : EncodeBlock(manifest));
  if (flow.setup & kZeroOffset) {
    ASSERT_NE(OffsetField(packed), std::string::npos);
    std::memset(&packed[OffsetField(packed)], 0, 4);
  }
  WriteBinaryFile(exe, packed);
  if (flow.setup & kSigned) SignOnHost(folder, exeName);
  std::unique_ptr<FileLock> lock;
  for (int i : {0, 1}) {
    WriteBinaryFile(folder / kFiles[i], kFiles[i]);
    if (flow.setup & (kReadOnlyChecked << i)) {
      ASSERT_TRUE(SetFileAttributesA((folder / kFiles[i]).c_str(), FILE_ATTRIBUTE_READONLY));
    }
    if (flow.setup & (kLockChecked << i)) lock = std::make_unique<FileLock>(folder / kFiles[i]);
  }
  WindowsVersionFor version(exeName, flow.version);
  // The plan of a run whose boxes are answered as the plan answers them: OK,
  // Yes once, no Retry; where nobody sees the station, as /Q /N.
  bool planned = !flow.refused;
  for (const Step &step : flow.steps) planned = planned && step.answer != IDCANCEL && !step.unlockFirst;
  PlannedRun plan;
  if (planned) {
    WindowsVersionFor planVersion("quenrid.exe", flow.version);
    plan = PlanRun(exe, std::string(flow.switches) + (flow.setup & kHiddenStation ? " /Q /N" : ""));
  } else if (flow.refused) {
    DWORD code = 0;  // a block the run refuses, the plan refuses too
    const std::string said = RunQuenrid("plan \"" + exe + "\"", &code);
    EXPECT_EQ(code, 1u) << "the plan of a refused block: " << said;
  }

  Process run(exe, flow.switches, "", flow.setup & kHiddenStation);
  for (const Step &step : flow.steps) {
    SCOPED_TRACE("message " + std::to_string(step.message));
    HWND box = ui::WaitForDialog(run.id(), kDialogTimeoutMs, [&](HWND w) {
      return step.message == kQuestion ? ui::HasControl(w, IDC_NO_TO_ALL) : ui::IsMessageBox(w);
    });
    ASSERT_NE(box, nullptr);
    if (step.message == kQuestion) {
      SaveScreenshotArtifact(box, "question");  // its texts: ui_test, file_phase_test
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
      const bool none = step.message == kNoMessages;
      EXPECT_EQ(info.caption, none ? "" : messages[0]);
      EXPECT_EQ(info.text, none           ? ""
                           : flow.refused ? WithArgument(messages[step.message], exe)
                                          : messages[step.message]);
      EXPECT_EQ(info.buttons, flow.refused ? std::vector<int>{IDOK} : kButtons.at(step.message));
      if (step.answer == IDCANCEL || flow.refused) SaveScreenshotArtifact(box, "message");
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
  // Without a closing message the progress dialog is the last window seen; a
  // box would keep the run from ending.
  const DWORD exit = flow.refused ? 0xFFFFFFFF : 0;
  EXPECT_TRUE(flow.setup & kNoClosingMessage ? ExitsWith(run, exit) : ExitsSilentlyWith(run, exit));
  if (lock) lock->Release();
  if (planned) {
    std::vector<int> asked, shown;
    for (const std::string &text : plan.asked) {
      const auto at = std::find(messages.begin(), messages.end(), text);
      asked.push_back(at != messages.end() ? int(at - messages.begin()) : 9);
      EXPECT_TRUE(at != messages.end() || text == WithArgument(messages[9], folder / kFiles[0]) ||
                  text == WithArgument(messages[9], folder / kFiles[1]))
          << text;
    }
    for (const Step &step : flow.steps) shown.push_back(step.message == kQuestion ? 9 : step.message);
    EXPECT_EQ(asked, shown) << "the plan's boxes";
  }
  for (int i : {0, 1}) {
    const DWORD attributes = GetFileAttributesA((folder / kFiles[i]).c_str());
    EXPECT_EQ(attributes != INVALID_FILE_ATTRIBUTES, (flow.kept & (1 << i)) != 0) << kFiles[i];
    if (planned && !Lists(plan.removedOnYes, folder / kFiles[i])) {
      EXPECT_EQ(Lists(plan.removed, folder / kFiles[i]), !(flow.kept & (1 << i))) << "planned: " << kFiles[i];
    }
    // The in-use test makes a read-only file writable for a moment only.
    EXPECT_TRUE(attributes == INVALID_FILE_ATTRIBUTES || !(flow.setup & (kReadOnlyChecked << i)) ||
                (attributes & FILE_ATTRIBUTE_READONLY))
        << kFiles[i];
  }
}

INSTANTIATE_TEST_SUITE_P(Stub, StubRun, ::testing::ValuesIn(kFlows),
                         [](const ::testing::TestParamInfo<Flow> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quenrid::test
