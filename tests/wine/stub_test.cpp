// The real stub, packed with blocks good and bad, run as a user would run it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "data/uninstall_data.h"
#include "harness.h"
#include "test_messages.h"
#include "ui_driver.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

const std::string kMarker("\x77\x77\x67\x54\x29\x48", 6);
constexpr DWORD kExitUnreadable = 0xFFFFFFFF;  // -1

std::vector<size_t> MarkerPositions(const std::string &bytes) {
  std::vector<size_t> positions;
  for (size_t at = bytes.find(kMarker); at != std::string::npos; at = bytes.find(kMarker, at + 1)) {
    positions.push_back(at);
  }
  return positions;
}

uint32_t ReadU32(const std::string &bytes, size_t at) {
  const auto *p = reinterpret_cast<const unsigned char *>(bytes.data() + at);
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

Manifest MessagesOnly() {
  Manifest manifest;
  manifest.messages = TestMessages();
  return manifest;
}

TEST(StubFile, OffsetFieldFollowsTheOnlyMarkerAndHoldsTheFileLength) {
  for (const std::string &path : InspectedStubPaths()) {
    const std::string stub = ReadBinaryFile(path);
    const std::vector<size_t> markers = MarkerPositions(stub);
    ASSERT_EQ(markers.size(), 1u) << "the marker must occur exactly once in " << path;
    EXPECT_EQ(ReadU32(stub, markers[0] + kMarker.size()), stub.size()) << path;
  }
}

TEST(StubRun, ValidBlockWithQuietPartialSwitchExitsZeroWithoutAWindow) {
  TestFolder folder;
  const std::string exe = folder / "uninst.exe";
  WritePackedStub(exe, EncodeBlock(MessagesOnly()));
  Process run(exe, "/X");
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
}

TEST(StubRun, ZeroOffsetFieldExitsMinusOneWithoutAMessage) {
  TestFolder folder;
  const std::string exe = folder / "uninst.exe";
  std::string packed = PackBlock(ReadBinaryFile(StubPath()), EncodeBlock(MessagesOnly()));
  const std::vector<size_t> markers = MarkerPositions(packed);
  ASSERT_EQ(markers.size(), 1u);
  std::memset(&packed[markers[0] + kMarker.size()], 0, 4);
  WriteBinaryFile(exe, packed);
  Process run(exe, "");
  EXPECT_TRUE(ExitsSilentlyWith(run, kExitUnreadable));
}

// A damaged block: the reader shows one message, formatted with the
// executable's own path, and the run ends with -1 once it is answered.
struct DamagedCase {
  const char *name;
  std::string (*block)();
  const char *arguments;
  int message;  // the number shown; -1 when no message table was read yet
};

std::string Truncated() {
  std::string block = EncodeBlock(MessagesOnly());
  return block.substr(0, block.size() - sizeof(ChunkHeader));
}

std::string Empty() { return {}; }

std::string WithRejected(uint16_t kind, const std::string &body) {
  return EncodeChunk(CHUNK_MESSAGES, EncodeMessagesBody(TestMessages())) +
         EncodeChunk(kind, body, CHUNK_FLAG_REJECT) + EncodeChunk(CHUNK_END, "");
}

std::string RejectedSettings() { return WithRejected(CHUNK_SETTINGS, EncodeSettingsBody({})); }

std::string RejectedDirectories() {
  return WithRejected(CHUNK_DIRECTORIES, EncodeDirectoriesBody({"Data"}));
}

// The settings header promises more than the file holds.
std::string SettingsCutShort() {
  std::string chunk = EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody({}) + std::string(64, 'x'));
  return EncodeChunk(CHUNK_MESSAGES, EncodeMessagesBody(TestMessages())) +
         chunk.substr(0, chunk.size() - 32);
}

const DamagedCase kDamagedCases[] = {
    {"Truncated", Truncated, "", 8},
    {"TruncatedUnderSilentSwitch", Truncated, "/S", 8},
    {"RejectedSettings", RejectedSettings, "", 1},
    {"RejectedDirectories", RejectedDirectories, "/X", 1},
    {"SettingsBodyCutShort", SettingsCutShort, "", 1},
    {"EmptyBeforeAnyMessages", Empty, "", -1},
};

void PrintTo(const DamagedCase &c, std::ostream *os) { *os << c.name; }

class DamagedBlock : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedBlock, ShowsItsMessageWithTheExePathAndExitsMinusOne) {
  const DamagedCase &c = GetParam();
  TestFolder folder;
  const std::string exe = folder / "uninst.exe";
  WritePackedStub(exe, c.block());
  Process run(exe, c.arguments);

  HWND box = ui::WaitForDialog(run.id(), kDialogTimeoutMs);
  ASSERT_NE(box, nullptr) << "no message box appeared";
  SaveScreenshotArtifact(box, "message");
  const ui::DialogInfo info = ui::Describe(box);
  ASSERT_TRUE(ui::IsMessageBox(box));
  const std::vector<std::string> messages = TestMessages();
  EXPECT_EQ(info.caption, c.message < 0 ? "" : messages[0]);
  EXPECT_EQ(info.text, c.message < 0 ? "" : WithArgument(messages[c.message], exe));
  ASSERT_EQ(info.buttons.size(), 1u);
  EXPECT_EQ(info.buttons[0].id, IDOK);

  ASSERT_TRUE(ui::PressButton(box, IDOK));
  EXPECT_TRUE(ui::WaitForClose(box, kDialogTimeoutMs));
  EXPECT_TRUE(ExitsWith(run, kExitUnreadable));
}

INSTANTIATE_TEST_SUITE_P(Reader, DamagedBlock, ::testing::ValuesIn(kDamagedCases),
                         [](const ::testing::TestParamInfo<DamagedCase> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quenrid::test
