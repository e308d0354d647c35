// The quenrid command, run as a separate process the way a build or an author
// runs it: what only the command line adds to the layers below, its verbs,
// exit codes, stdout and stderr, and the files it writes or leaves alone.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "pe_stub.h"
#include "writer/uninstall_writer.h"

namespace {

const std::string kSample = QUENRID_SAMPLE_MANIFEST;

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Result {
  int exitCode;
  std::string out, err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/quenrid-cli-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
    WriteFile(stub_, pe_stub::Image(pe_stub::kPe32, 0));
    ASSERT_EQ(Quenrid("stamp " + stub_).exitCode, 0);
    ASSERT_EQ(Quenrid("pack --stub " + stub_ + " --manifest " + kSample + " -o " + packed_).err, "");
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

  std::string Path(const std::string &name) const { return dir_ + "/" + name; }

  // Runs `before` quenrid `args` in the shell; the redirections come first,
  // so that `args` may send stdout elsewhere.
  Result Quenrid(const std::string &args, const std::string &before = "") const {
    const int status = std::system((before + " " + QUENRID_TOOL_PATH + " >" + Path("stdout") +
                                    " 2>" + Path("stderr") + " " + args)
                                       .c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(Path("stdout")),
            ReadFile(Path("stderr"))};
  }
  std::string Pack(const std::string &stub, const std::string &manifest, const std::string &out) {
    return "pack --stub " + stub + " --manifest " + manifest + " -o " + out;
  }
  // Dumps `packed`, packs the dump onto the stub and onto `packed`, and
  // expects the same bytes both times; returns the dump.
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

  std::string dir_;
  const std::string stub_ = Path("uninst.exe"), packed_ = Path("packed.exe");
};

TEST_F(CliTest, StampAndPackDumpPackRoundTrips) {
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
  EXPECT_EQ(Quenrid("dump " + Path("c1.exe")).err,
            "quenrid dump: " + Path("c1.exe") + ": note: strings were read as code page 1252; if "
            "they were packed in another, give its --code-page\n");

  // A block made by another tool may end its directory list without the
  // empty string; dump shows what is there and reads nothing past it.
  const std::string odd =
      quenrid::EncodeChunk(0x1239, "ab") + quenrid::EncodeChunk(0x7F7F, "");
  WriteFile(Path("odd.exe"), quenrid::PackBlock(ReadFile(stub_), odd));
  const Result dump = Quenrid("dump " + Path("odd.exe"));
  EXPECT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_NE(dump.out.find("\"directories\": [\n    \"ab\"\n  ]"), std::string::npos) << dump.out;
}

// Bad input, a bad command line or a failed write: one line on stderr that
// starts with the verb and the file, nothing on stdout, no output file, and
// every input as it was.
TEST_F(CliTest, EachFailureIsOneLineAndLeavesTheFilesAlone) {
  WriteFile(Path("plain.exe"), "MZ no marker");
  WriteFile(Path("unstamped.exe"), pe_stub::Image(pe_stub::kPe32, 0));
  WriteFile(Path("lowered.exe"), pe_stub::Image(pe_stub::kPe32, pe_stub::kFieldAt + 4) + "tail");
  const std::string packed = ReadFile(packed_);
  WriteFile(Path("cut.exe"), packed.substr(0, packed.size() - 8));  // without its end chunk
  WriteFile(Path("m.json"), ReadFile(kSample));
  WriteFile(Path("bad.json"), "{\"messages\": [\"\xff\x1b\"]}");  // not UTF-8
  WriteFile(Path("cp.json"), R"({"files": [{"folder": ".", "fileName": "\u4e2d"}]})");
  WriteFile(Path("out.exe"), "previous uninstaller");
  const std::string stubs = ReadFile(stub_) + packed, o = Path("o.exe");
  const struct {
    std::string args;
    int exitCode;
    std::string err;  // the start of the line
    std::string before = "";
  } rows[] = {
      {Pack(Path("missing.exe"), kSample, o), 1,
       "quenrid pack: " + Path("missing.exe") + ": cannot read: "},
      {Pack(Path("plain.exe"), kSample, o), 1,
       "quenrid pack: " + Path("plain.exe") + ": not a Windows executable"},
      {Pack(Path("unstamped.exe"), kSample, o), 1,
       "quenrid pack: " + Path("unstamped.exe") + ": not stamped"},
      {"dump " + Path("unstamped.exe"), 1, "quenrid dump: " + Path("unstamped.exe") + ": not stamped"},
      {"dump " + stub_, 1, "quenrid dump: " + stub_ + ": carries no uninstall data"},
      {"lint " + stub_, 1, "quenrid lint: " + stub_ + ": carries no uninstall data"},
      {"dump " + Path("lowered.exe"), 1,
       "quenrid dump: " + Path("lowered.exe") + ": the data offset field holds 1044, inside the image"},
      {"dump " + Path("cut.exe"), 1,
       "quenrid dump: " + Path("cut.exe") + ": the data ends before its end chunk (reader code 8)\n"},
      // A packed uninstaller is not a stub to stamp: its block would stay, unseen.
      {"stamp " + packed_, 1, "quenrid stamp: " + packed_ + ": carries uninstall data"},
      // The reader opens the file by name again, which a pipe does not allow.
      {"dump /dev/stdin", 1, "quenrid dump: /dev/stdin: not a regular file", "cat " + packed_ + " |"},
      {Pack(stub_, Path("bad.json"), o), 1, "quenrid pack: " + Path("bad.json") + ": parse error"},
      {Pack(stub_, Path("cp.json"), o), 1,
       "quenrid pack: " + Path("cp.json") +
           ": files[0].fileName: character U+4E2D has no encoding in code page 1252\n"},
      {Pack(stub_, Path("m.json"), stub_), 2, "quenrid pack: " + stub_ + ": is the stub itself"},
      {Pack(stub_, Path("m.json"), Path("m.json")), 2,
       "quenrid pack: " + Path("m.json") + ": is the manifest itself"},
      // A write that fails half-way, at a file size limit of two KiB.
      {Pack(stub_, Path("m.json"), Path("out.exe")), 1,
       "quenrid pack: " + Path("out.exe") + ": cannot write: ", "trap '' XFSZ; ulimit -f 2;"},
      {"dump " + packed_ + " >/dev/full", 1, "quenrid dump: standard output: cannot write: "},
      {"pack --stub x.exe -o y.exe", 2, "quenrid pack: --manifest is required\n"},
      {"unpack x.exe", 2, "quenrid: unknown command \"unpack\" (known: pack, dump, lint, stamp "
                          "or plan; see --help)\n"},
      // A plan is made of what the Windows machine holds: this build refuses.
      {"plan --json x.exe", 2, "quenrid plan: plans only on Windows, where the uninstaller "
                               "runs: use quenrid.exe on that machine\n"},
      {"dump --code-page 437 x.exe", 2, "quenrid dump: --code-page: code page 437"},
      {"dump --code-page 65001 x.exe", 2, "quenrid dump: --code-page: code page 65001"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.args);
    const Result run = Quenrid(row.args, row.before);
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(run.err.substr(0, row.err.size()), row.err);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "");
    // Bytes that are not UTF-8 are shown escaped, never raw.
    EXPECT_EQ(run.err.find_first_of("\xff\x1b"), std::string::npos) << run.err;
  }
  EXPECT_NE(Quenrid(Pack(stub_, Path("bad.json"), o)).err.find("\\xFF"), std::string::npos);
  EXPECT_FALSE(std::ifstream(o).good());
  EXPECT_EQ(ReadFile(stub_) + ReadFile(packed_), stubs);
  EXPECT_EQ(ReadFile(Path("m.json")), ReadFile(kSample));
  EXPECT_EQ(ReadFile(Path("out.exe")), "previous uninstaller");
  EXPECT_NE(std::system(("ls " + dir_ + " | grep -q quenrid-").c_str()), 0)
      << "a temporary file was left behind";
  EXPECT_EQ(Quenrid("--help").exitCode, 0);
}

// Lint reads a manifest, or a packed uninstaller with the uninstaller's own
// reader, and finds the same; pack warns alike, and --strict refuses.
TEST_F(CliTest, LintAndPackWarnAlikeAndStrictRefuses) {
  const std::string m = Path("m.json"), warned = Path("warned.exe");
  WriteFile(m, R"({"messages": ["Cap", "Remove?", "", "", "", "", "", "", "", "", "", "F", "S",
                                "E", "R"],
                   "registry": [{"root": "HKLM", "keyPath": "Software\\Microsoft"}],
                   "directories": ["#UserDir#\\*.*"]})");
  const Result lint = Quenrid("lint " + m);
  EXPECT_EQ(lint.exitCode, 0);
  EXPECT_EQ(lint.err.rfind("quenrid lint: " + m + ": warning: registry[0].keyPath: ", 0), 0u);
  const auto as = [&](const std::string &verb, const std::string &file) {
    std::string text = lint.err;
    for (size_t at = 0; (at = text.find("quenrid lint: " + m, at)) != std::string::npos;)
      text.replace(at, 14 + m.size(), "quenrid " + verb + ": " + file);
    return text;
  };
  EXPECT_EQ(std::count(lint.err.begin(), lint.err.end(), '\n'), 2) << lint.err;
  const Result pack = Quenrid(Pack(stub_, m, warned));
  EXPECT_EQ(pack.exitCode, 0);
  EXPECT_EQ(pack.err, as("pack", m));
  const Result packed = Quenrid("lint " + warned);
  EXPECT_EQ(packed.exitCode, 0);
  EXPECT_EQ(packed.err, as("lint", warned));

  const Result strict = Quenrid("lint --strict " + warned);
  EXPECT_EQ(strict.exitCode, 1);
  EXPECT_EQ(strict.err, as("lint", warned) + "quenrid lint: " + warned +
                            ": 2 warnings, which --strict makes errors\n");
  EXPECT_EQ(Quenrid(Pack(stub_, m, Path("strict.exe")) + " --strict").exitCode, 1);
  EXPECT_FALSE(std::ifstream(Path("strict.exe")).good());
  EXPECT_EQ(Quenrid("lint --strict " + kSample).exitCode, 0);
}

}  // namespace
