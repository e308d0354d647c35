// The real stub, packed with blocks good and bad, run as a user would run it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "data/uninstall_data.h"
#include "harness.h"
#include "test_messages.h"
#include "ui_driver.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

const std::string kMarker("\x77\x77\x67\x54\x29\x48", 6);
constexpr DWORD kExitUnreadable = 0xFFFFFFFF;  // -1

// Where the offset field follows the marker; npos unless the marker occurs
// exactly once.
size_t OffsetField(const std::string &bytes) {
  const size_t at = bytes.find(kMarker);
  return at == std::string::npos || bytes.find(kMarker, at + 1) != std::string::npos
             ? std::string::npos
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

// Good runs through the real stub: main_flow_test.cpp.
std::string Valid() {
  Manifest manifest;
  manifest.messages = TestMessages();
  return EncodeBlock(manifest);
}
std::string Truncated() { return Valid().substr(0, Valid().size() - sizeof(ChunkHeader)); }
std::string Messages() { return EncodeChunk(CHUNK_MESSAGES, EncodeMessagesBody(TestMessages())); }
std::string Rejected(uint16_t kind, const std::string &body) {
  return Messages() + EncodeChunk(kind, body, CHUNK_FLAG_REJECT) + EncodeChunk(CHUNK_END, "");
}

// A block the stub cannot use, how the run is started, and the one message
// box it shows, formatted with the executable's path (-1: a box before any
// message table was read; none: no window at all) before it exits with -1.
struct StubCase {
  const char *name;
  std::string (*block)();
  const char *switches;
  const char *version;  // wine's Windows version for the run; null: the default
  int message;
};
constexpr int kNoBox = -2;

const StubCase kRuns[] = {
    {"ZeroOffsetField", Valid, "", nullptr, kNoBox},  // the offset field says "no block"
    {"Truncated", Truncated, "", nullptr, 8},
    {"TruncatedUnderSilentSwitchOnWindowsXp", Truncated, "/S", "winxp", 8},
    {"RejectedSettingsOnWindows98",
     [] { return Rejected(CHUNK_SETTINGS, EncodeSettingsBody({})); }, "", "win98", 1},
    {"RejectedDirectories",
     [] { return Rejected(CHUNK_DIRECTORIES, EncodeDirectoriesBody({"Data"})); }, "/X", nullptr, 1},
    {"SettingsBodyCutShort",  // the settings header promises more than the file holds
     [] {
       const std::string body = EncodeSettingsBody({}) + std::string(64, 'x');
       const std::string chunk = EncodeChunk(CHUNK_SETTINGS, body);
       return Messages() + chunk.substr(0, chunk.size() - 32);
     },
     "", nullptr, 1},
    {"EmptyBeforeAnyMessages", [] { return std::string(); }, "", nullptr, -1},
};

void PrintTo(const StubCase &run, std::ostream *os) { *os << run.name; }

class StubRun : public ::testing::TestWithParam<StubCase> {};

TEST_P(StubRun, ShowsItsOneMessageAndExitsMinusOne) {
  const StubCase &c = GetParam();
  TestFolder folder;
  const std::string exeName = std::string("uninst-") + c.name + ".exe", exe = folder / exeName;
  std::string packed = PackBlock(ReadBinaryFile(StubPath()), c.block());
  if (c.message == kNoBox) {
    const size_t field = OffsetField(packed);
    ASSERT_NE(field, std::string::npos);
    std::memset(&packed[field], 0, 4);
  }
  WriteBinaryFile(exe, packed);
  WindowsVersionFor version(exeName, c.version);
  Process run(exe, c.switches);
  if (c.message == kNoBox) {
    EXPECT_TRUE(ExitsSilentlyWith(run, kExitUnreadable));
    return;
  }
  HWND box = ui::WaitForDialog(run.id(), kDialogTimeoutMs);
  ASSERT_NE(box, nullptr) << "no message box appeared";
  SaveScreenshotArtifact(box, "message");
  const ui::DialogInfo info = ui::Describe(box);
  const std::vector<std::string> messages = TestMessages();
  EXPECT_EQ(info.caption, c.message < 0 ? "" : messages[0]);
  EXPECT_EQ(info.text, c.message < 0 ? "" : WithArgument(messages[c.message], exe));
  EXPECT_EQ(ui::ButtonIds(info.buttons), std::vector<int>{IDOK});
  Answer(box, IDOK);
  EXPECT_TRUE(ExitsWith(run, kExitUnreadable));
}

INSTANTIATE_TEST_SUITE_P(Reader, StubRun, ::testing::ValuesIn(kRuns),
                         [](const ::testing::TestParamInfo<StubCase> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quenrid::test
