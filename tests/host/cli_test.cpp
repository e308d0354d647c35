// The quenrid command, run as a separate process the way a build or an author
// runs it: what the command line adds to the layers below, its verbs, exit
// codes, stdout and stderr, and the files it writes or leaves alone.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "pe_stub.h"
#include "writer/uninstall_writer.h"

namespace {

const std::string kSample = QUENRID_SAMPLE_MANIFEST;

std::string ReadFile(const std::string &path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}
void WriteFile(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
std::string Pack(const std::string &stub, const std::string &manifest, const std::string &out) {
  return "pack --stub " + stub + " --manifest " + manifest + " -o " + out;
}

struct Result { int exitCode; std::string out, err; };

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(mkdtemp(&dir_[0]), nullptr);
    stub_ = Path("uninst.exe");
    packed_ = Path("packed.exe");
    WriteFile(stub_, pe_stub::Image(pe_stub::kPe32, 0));
    ASSERT_EQ(Quenrid("stamp " + stub_).exitCode, 0);
    ASSERT_EQ(Quenrid(Pack(stub_, kSample, packed_)).err, "");  // the sample packs without a word
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

  std::string Path(const std::string &name) const { return dir_ + "/" + name; }

  // Runs `before` quenrid `args` in the shell; the redirections come first,
  // so that `args` may send stdout elsewhere.
  Result Quenrid(const std::string &args, const std::string &before = "") const {
    const std::string out = Path("stdout"), err = Path("stderr");
    const int status = std::system(
        (before + " " + QUENRID_TOOL_PATH + " >" + out + " 2>" + err + " " + args).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
  }

  // Dumps `packed`, packs the dump onto the stub and onto `packed` itself,
  // and expects the same bytes both times; returns the dump.
  Result DumpAndPackAgain(const std::string &packed, const std::string &options = "") {
    const Result dump = Quenrid("dump " + options + " " + packed);
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    WriteFile(Path("dumped.json"), dump.out);
    for (const std::string &stub : {stub_, packed}) {
      EXPECT_EQ(Quenrid(Pack(stub, Path("dumped.json"), Path("again.exe"))).exitCode, 0);
      EXPECT_EQ(ReadFile(Path("again.exe")), ReadFile(packed)) << stub;
    }
    return dump;
  }

  std::string dir_ = "/tmp/quenrid-cli-XXXXXX", stub_, packed_;
};

TEST_F(CliTest, StampAndPackDumpPackRoundTrip) {
  const std::string stamped = ReadFile(stub_);
  EXPECT_EQ(quenrid::ReadDataOffset(stamped), stamped.size());
  EXPECT_EQ(Quenrid("stamp " + stub_).exitCode, 0);
  EXPECT_EQ(ReadFile(stub_), stamped);
  EXPECT_EQ(ReadFile(packed_).substr(0, stamped.size()), stamped);
  EXPECT_EQ(DumpAndPackAgain(packed_).err, "");

  // The code page of the command line, for the strings packed and dumped.
  WriteFile(Path("m.json"), R"({"messages": ["\u30a2\u30f3\u30a4\u30f3\u30b9\u30c8"],
                                 "files": [{"folder": ".", "fileName": "\u8aac\u660e.txt"}]})");
  ASSERT_EQ(Quenrid(Pack(stub_, Path("m.json"), Path("jp.exe")) + " --code-page 932").exitCode, 0);
  EXPECT_NE(ReadFile(Path("jp.exe")).find("\x90\xE0\x96\xBE.txt"), std::string::npos);
  const Result jp = DumpAndPackAgain(Path("jp.exe"), "--code-page 932");
  EXPECT_NE(jp.out.find("\"codePage\": 932"), std::string::npos) << jp.out;
  EXPECT_NE(jp.out.find("\u8aac\u660e.txt"), std::string::npos) << jp.out;

  // Code page 1252's unassigned bytes and C1 controls come out escaped; text
  // read as 1252 without --code-page gets a hint.
  WriteFile(Path("m.json"), R"({"messages": ["a\u0090\u009d\u007f"]})");
  ASSERT_EQ(Quenrid(Pack(stub_, Path("m.json"), Path("c1.exe"))).exitCode, 0);
  const Result c1 = DumpAndPackAgain(Path("c1.exe"), "--code-page 1252");
  EXPECT_NE(c1.out.find(R"("a\u0090\u009d\u007f")"), std::string::npos) << c1.out;
  EXPECT_EQ(c1.err, "");
  EXPECT_EQ(Quenrid("dump " + Path("c1.exe")).err.find(": note: strings were read as code page "
                                                        "1252; if they were packed in another"),
            14 + Path("c1.exe").size());

  // Another tool's block may end its directory list without the empty
  // string; dump shows what is there and reads nothing past it.
  const std::string odd = quenrid::EncodeChunk(0x1239, "ab") + quenrid::EncodeChunk(0x7F7F, "");
  WriteFile(Path("odd.exe"), quenrid::PackBlock(ReadFile(stub_), odd));
  const Result dump = Quenrid("dump " + Path("odd.exe"));
  EXPECT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_NE(dump.out.find("\"directories\": [\n    \"ab\"\n  ]"), std::string::npos) << dump.out;
}

// Each command line: its exit code, and the lines on stderr, each starting
// with the verb and the file; never a line on stdout, never an output file
// when it fails, and every input left as it was.
TEST_F(CliTest, EachCommandLineGivesItsExitCodeAndLines) {
  const std::string packed = ReadFile(packed_), o = Path("o.exe"), m = Path("m.json");
  const std::string warns = Path("warns.json"), warned = Path("warned.exe");
  WriteFile(Path("unstamped.exe"), pe_stub::Image(pe_stub::kPe32, 0));
  WriteFile(Path("cut.exe"), packed.substr(0, packed.size() - 8));  // without its end chunk
  WriteFile(m, ReadFile(kSample));
  WriteFile(Path("bad.json"), "{\"messages\": [\"\xff\x1b\"]}");  // not UTF-8
  WriteFile(Path("cp.json"), R"({"files": [{"folder": ".", "fileName": "\u4e2d"}]})");
  WriteFile(Path("out.exe"), "previous uninstaller");
  // Two lint warnings, but nothing the uninstaller could not use.
  WriteFile(warns, R"({"messages": ["Cap", "Remove?", "", "", "", "", "", "", "", "", "", "F",
                                    "S", "E", "R"], "directories": ["#UserDir#\\*.*"],
                       "registry": [{"root": "HKLM", "keyPath": "Software\\Microsoft"}]})");
  ASSERT_EQ(Quenrid(Pack(stub_, warns, warned)).exitCode, 0);
  const std::string before = ReadFile(stub_) + packed + ReadFile(warned);
  const std::string lintWarning = ": warning: registry[0].keyPath: HKLM\\Software\\Microsoft is";
  const struct {  // `err` is the start of stderr; `before` runs ahead of quenrid
    std::string args; int exitCode; std::string err; long lines = 1; std::string before = "";
  } rows[] = {
      {Pack(Path("missing.exe"), m, o), 1, "quenrid pack: " + Path("missing.exe") + ": cannot read"},
      // What the layers below say, behind the verb and the file.
      {Pack(Path("unstamped.exe"), m, o), 1, "quenrid pack: " + Path("unstamped.exe") + ": not st"},
      {"dump " + stub_, 1, "quenrid dump: " + stub_ + ": carries no uninstall data"},
      {"lint " + stub_, 1, "quenrid lint: " + stub_ + ": carries no uninstall data"},
      {"dump " + Path("cut.exe"), 1,
       "quenrid dump: " + Path("cut.exe") + ": the data ends before its end chunk (reader code 8)\n"},
      // A packed uninstaller is no stub to stamp: its block would stay, unseen.
      {"stamp " + packed_, 1, "quenrid stamp: " + packed_ + ": carries uninstall data"},
      // The reader opens the file by name again, which a pipe does not allow.
      {"dump /dev/stdin", 1, "quenrid dump: /dev/stdin: not a regular file", 1, "cat " + packed_ + "|"},
      {Pack(stub_, Path("bad.json"), o), 1, "quenrid pack: " + Path("bad.json") + ": parse error"},
      {Pack(stub_, Path("cp.json"), o), 1,
       "quenrid pack: " + Path("cp.json") + ": files[0].fileName: character U+4E2D has no"},
      {Pack(stub_, m, stub_), 2, "quenrid pack: " + stub_ + ": is the stub itself"},
      {Pack(stub_, m, m), 2, "quenrid pack: " + m + ": is the manifest itself"},
      // A write that fails half-way, at a file size limit of two KiB.
      {Pack(stub_, m, Path("out.exe")), 1, "quenrid pack: " + Path("out.exe") + ": cannot write",
       1, "trap '' XFSZ; ulimit -f 2;"},
      {"dump " + packed_ + " >/dev/full", 1, "quenrid dump: standard output: cannot write: "},
      {"pack --stub x.exe -o y.exe", 2, "quenrid pack: --manifest is required\n"},
      {"unpack x.exe", 2, "quenrid: unknown command \"unpack\" (known: pack, dump, lint, stamp"},
      // A plan is made of what the Windows machine holds: this build refuses.
      {"plan --json x.exe", 2, "quenrid plan: plans only on Windows, where the uninstaller runs"},
      {"dump --code-page 65001 x.exe", 2, "quenrid dump: --code-page: code page 65001"},
      // Lint finds the same in a manifest and in a packed uninstaller, which
      // it reads with the uninstaller's own reader; pack warns alike.
      {"lint " + warns, 0, "quenrid lint: " + warns + lintWarning, 2},
      {"lint " + warned, 0, "quenrid lint: " + warned + lintWarning, 2},
      {Pack(stub_, warns, Path("again.exe")), 0, "quenrid pack: " + warns + lintWarning, 2},
      {"lint --strict " + warned, 1, "quenrid lint: " + warned + lintWarning, 3},
      {Pack(stub_, warns, o) + " --strict", 1, "quenrid pack: " + warns + lintWarning, 3},
      {"lint --strict " + kSample, 0, "", 0},
      {"--help", 0, "", 0},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.args);
    const Result run = Quenrid(row.args, row.before);
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(run.err.substr(0, row.err.size()), row.err);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), row.lines) << run.err;
    EXPECT_EQ(run.out.empty(), row.args != "--help");
    // Bytes that are not UTF-8 are shown escaped, never raw.
    EXPECT_EQ(run.err.find_first_of("\xff\x1b"), std::string::npos) << run.err;
  }
  EXPECT_NE(Quenrid(Pack(stub_, Path("bad.json"), o)).err.find("\\xFF"), std::string::npos);
  EXPECT_FALSE(std::ifstream(o).good());
  EXPECT_EQ(ReadFile(stub_) + ReadFile(packed_) + ReadFile(warned), before);
  EXPECT_EQ(ReadFile(Path("again.exe")), ReadFile(warned));
  EXPECT_EQ(ReadFile(m), ReadFile(kSample));
  EXPECT_EQ(ReadFile(Path("out.exe")), "previous uninstaller");
  EXPECT_NE(std::system(("ls " + dir_ + " | grep -q quenrid-").c_str()), 0)
      << "a temporary file was left behind";
}

}  // namespace
