// The quenrid command, run as a separate process the way a build or an author
// runs it: round trips, stamping, and the one-line errors of bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "writer/uninstall_writer.h"

namespace {

struct RunResult {
  int exitCode;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string U32(uint32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  return out;
}

// A stand-in for uninst.exe: some bytes, the marker and a field, more bytes.
std::string FakeStub(uint32_t field) {
  return "MZ\x90" + std::string(61, '\0') + "wwgT)H" + U32(field) + std::string(200, 'c');
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/quenrid-cli-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }

  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Path(const std::string &name) const { return dir_ + "/" + name; }

  // Runs quenrid with `args` (already quoted where needed).
  RunResult Quenrid(const std::string &args) const {
    const std::string command = std::string("'") + QUENRID_TOOL_PATH + "' " + args + " >'" +
                                Path("stdout") + "' 2>'" + Path("stderr") + "'";
    const int status = std::system(command.c_str());
    return RunResult{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(Path("stdout")),
                     ReadFile(Path("stderr"))};
  }

  // A stamped fake stub at `name`.
  std::string StampedStub(const std::string &name) {
    WriteFile(Path(name), FakeStub(0));
    EXPECT_EQ(Quenrid("stamp '" + Path(name) + "'").exitCode, 0);
    return Path(name);
  }

  RunResult Pack(const std::string &stub, const std::string &manifest, const std::string &out,
                 const std::string &extra = "") const {
    return Quenrid("pack --stub '" + stub + "' --manifest '" + manifest + "' -o '" + out + "' " +
                   extra);
  }

  std::string dir_;
};

// Bad input gives exactly one line that starts with the verb and the file.
void ExpectOneLineError(const RunResult &run, const std::string &start) {
  EXPECT_NE(run.exitCode, 0);
  EXPECT_EQ(run.err.rfind(start, 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(run.out, "");
}

}  // namespace

TEST_F(CliTest, StampWritesTheFileLengthInPlace) {
  const std::string stub = StampedStub("uninst.exe");
  const std::string stamped = ReadFile(stub);
  EXPECT_EQ(stamped.size(), FakeStub(0).size());
  EXPECT_EQ(quenrid::ReadDataOffset(stamped), stamped.size());
  EXPECT_EQ(Quenrid("stamp '" + stub + "'").exitCode, 0);
  EXPECT_EQ(ReadFile(stub), stamped);
}

TEST_F(CliTest, PackDumpPackGivesTheSameBytes) {
  const std::string stub = StampedStub("uninst.exe");
  ASSERT_EQ(Pack(stub, QUENRID_SAMPLE_MANIFEST, Path("packed.exe")).exitCode, 0);
  const std::string packed = ReadFile(Path("packed.exe"));
  EXPECT_EQ(packed.substr(0, ReadFile(stub).size()), ReadFile(stub));

  const RunResult dump = Quenrid("dump '" + Path("packed.exe") + "'");
  ASSERT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_EQ(dump.err, "");
  WriteFile(Path("dumped.json"), dump.out);

  // Onto the original stub, and onto the packed file, whose block it replaces.
  ASSERT_EQ(Pack(stub, Path("dumped.json"), Path("again.exe")).exitCode, 0);
  EXPECT_EQ(ReadFile(Path("again.exe")), packed);
  ASSERT_EQ(Pack(Path("packed.exe"), Path("dumped.json"), Path("repacked.exe")).exitCode, 0);
  EXPECT_EQ(ReadFile(Path("repacked.exe")), packed);
  EXPECT_EQ(Quenrid("dump '" + Path("repacked.exe") + "'").out, dump.out);
}

TEST_F(CliTest, CodePageOfTheCommandLineRoundTrips) {
  const std::string stub = StampedStub("uninst.exe");
  WriteFile(Path("m.json"), R"({"messages": ["\u30a2\u30f3\u30a4\u30f3\u30b9\u30c8\u30fc\u30eb"],
                                 "files": [{"folder": ".", "fileName": "\u8aac\u660e.txt"}]})");
  ASSERT_EQ(Pack(stub, Path("m.json"), Path("jp.exe"), "--code-page 932").exitCode, 0);
  const std::string packed = ReadFile(Path("jp.exe"));
  EXPECT_NE(packed.find("\x90\xE0\x96\xBE.txt"), std::string::npos);  // the file name in Shift-JIS

  const RunResult dump = Quenrid("dump --code-page 932 '" + Path("jp.exe") + "'");
  ASSERT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_NE(dump.out.find("\"codePage\": 932"), std::string::npos) << dump.out;
  EXPECT_NE(dump.out.find("\u8aac\u660e.txt"), std::string::npos) << dump.out;
  WriteFile(Path("dumped.json"), dump.out);
  ASSERT_EQ(Pack(stub, Path("dumped.json"), Path("again.exe")).exitCode, 0);
  EXPECT_EQ(ReadFile(Path("again.exe")), packed);
}

TEST_F(CliTest, BadStubsAreOneLineErrors) {
  const std::string manifest = QUENRID_SAMPLE_MANIFEST;
  ExpectOneLineError(Pack(Path("missing.exe"), manifest, Path("o.exe")),
                     "quenrid pack: " + Path("missing.exe") + ": cannot read: ");
  WriteFile(Path("plain.exe"), "MZ no marker");
  ExpectOneLineError(Pack(Path("plain.exe"), manifest, Path("o.exe")),
                     "quenrid pack: " + Path("plain.exe") + ": no data offset marker");
  WriteFile(Path("twice.exe"), FakeStub(0) + FakeStub(0));
  ExpectOneLineError(
      Quenrid("stamp '" + Path("twice.exe") + "'"),
      "quenrid stamp: " + Path("twice.exe") + ": the data offset marker occurs more than once");
  WriteFile(Path("unstamped.exe"), FakeStub(0));
  ExpectOneLineError(Pack(Path("unstamped.exe"), manifest, Path("o.exe")),
                     "quenrid pack: " + Path("unstamped.exe") + ": not stamped");
  ExpectOneLineError(Quenrid("dump '" + Path("unstamped.exe") + "'"),
                     "quenrid dump: " + Path("unstamped.exe") + ": not stamped");
  WriteFile(Path("beyond.exe"), FakeStub(100000));
  ExpectOneLineError(Pack(Path("beyond.exe"), manifest, Path("o.exe")),
                     "quenrid pack: " + Path("beyond.exe") + ": not stamped for this file");
  ExpectOneLineError(Quenrid("dump '" + StampedStub("empty.exe") + "'"),
                     "quenrid dump: " + Path("empty.exe") + ": carries no uninstall data");
  EXPECT_FALSE(std::ifstream(Path("o.exe")).good());
}

TEST_F(CliTest, TruncatedBlockReportsTheReaderCode) {
  const std::string stub = StampedStub("uninst.exe");
  ASSERT_EQ(Pack(stub, QUENRID_SAMPLE_MANIFEST, Path("packed.exe")).exitCode, 0);
  const std::string packed = ReadFile(Path("packed.exe"));
  WriteFile(Path("cut.exe"), packed.substr(0, packed.size() - 8));  // without its end chunk
  const RunResult run = Quenrid("dump '" + Path("cut.exe") + "'");
  ExpectOneLineError(run, "quenrid dump: " + Path("cut.exe") + ": ");
  EXPECT_EQ(run.err, "quenrid dump: " + Path("cut.exe") +
                         ": the data ends before its end chunk (reader code 8)\n");
}

// A block made by another tool may end its directory list without the empty
// string; dump shows what is there and reads nothing past it.
TEST_F(CliTest, DumpsAnUnterminatedDirectoryList) {
  const std::string block = quenrid::EncodeChunk(0x1239, "ab") + quenrid::EncodeChunk(0x7F7F, "");
  WriteFile(Path("odd.exe"), quenrid::PackBlock(quenrid::StampStub(FakeStub(0)), block));
  const RunResult run = Quenrid("dump '" + Path("odd.exe") + "'");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("\"directories\": [\n    \"ab\"\n  ]"), std::string::npos) << run.out;
}

TEST_F(CliTest, BadManifestsAreOneLineErrorsNamingThePlace) {
  const std::string stub = StampedStub("uninst.exe");
  const std::string m = Path("m.json");
  WriteFile(
      m, R"({"files": [{"folder": ".", "fileName": "a"}, {"folder": ".", "fileName": "\u4e2d"}]})");
  ExpectOneLineError(Pack(stub, m, Path("o.exe")),
                     "quenrid pack: " + m +
                         ": files[1].fileName: character U+4E2D has no encoding in code page 1252");
  WriteFile(m,
            R"({"registry": [{"root": "HKLM", "keyPath": ")" + std::string(520, 'k') + R"("}]})");
  ExpectOneLineError(Pack(stub, m, Path("o.exe")),
                     "quenrid pack: " + m + ": registry[0].keyPath: 520 bytes exceed 519");
  WriteFile(m, "{\"messages\": [\"a\"\n");
  ExpectOneLineError(Pack(stub, m, Path("o.exe")),
                     "quenrid pack: " + m + ": parse error at line 2");
  WriteFile(m, "{\"messages\": [\"\xff\"]}");
  ExpectOneLineError(Pack(stub, m, Path("o.exe")), "quenrid pack: " + m + ": parse error");
  WriteFile(m, "{}");
  ExpectOneLineError(Pack(stub, m, Path("o.exe"), "--code-page 437"),
                     "quenrid pack: --code-page: code page 437");
  EXPECT_FALSE(std::ifstream(Path("o.exe")).good());
}

TEST_F(CliTest, UsageErrorsAreOneLineToo) {
  const RunResult missing = Quenrid("pack --stub x.exe -o y.exe");
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_EQ(missing.err, "quenrid pack: --manifest is required\n");
  const RunResult unknown = Quenrid("unpack x.exe");
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_EQ(std::count(unknown.err.begin(), unknown.err.end(), '\n'), 1) << unknown.err;
  EXPECT_EQ(Quenrid("--help").exitCode, 0);
}
