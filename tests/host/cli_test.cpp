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

#include "pe_stub.h"
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

// A stand-in for uninst.exe with `field` in its data offset field.
std::string FakeStub(uint32_t field) { return pe_stub::Image(pe_stub::kPe32, field); }

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/quenrid-cli-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }

  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Path(const std::string &name) const { return dir_ + "/" + name; }

  // Runs quenrid with `args` (already quoted where needed), after the shell
  // commands in `before`, with stdout to `out` unless that is empty.
  RunResult Quenrid(const std::string &args, const std::string &before = "",
                    std::string out = "") const {
    if (out.empty()) out = Path("stdout");
    const std::string command = before + std::string(" '") + QUENRID_TOOL_PATH + "' " + args +
                                " >'" + out + "' 2>'" + Path("stderr") + "'";
    const int status = std::system(command.c_str());
    return RunResult{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                     out.rfind(dir_, 0) == 0 ? ReadFile(out) : "", ReadFile(Path("stderr"))};
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
  const RunResult pack = Pack(stub, QUENRID_SAMPLE_MANIFEST, Path("packed.exe"));
  ASSERT_EQ(pack.exitCode, 0);
  EXPECT_EQ(pack.err, "");  // a whole product's manifest packs without a warning
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
                     "quenrid pack: " + Path("plain.exe") + ": not a Windows executable");
  WriteFile(Path("unstamped.exe"), FakeStub(0));
  ExpectOneLineError(Pack(Path("unstamped.exe"), manifest, Path("o.exe")),
                     "quenrid pack: " + Path("unstamped.exe") + ": not stamped");
  ExpectOneLineError(Quenrid("dump '" + Path("unstamped.exe") + "'"),
                     "quenrid dump: " + Path("unstamped.exe") + ": not stamped");
  ExpectOneLineError(Quenrid("dump '" + StampedStub("empty.exe") + "'"),
                     "quenrid dump: " + Path("empty.exe") + ": carries no uninstall data");
  WriteFile(Path("lowered.exe"), FakeStub(pe_stub::kFieldAt + 4) + "tail");
  ExpectOneLineError(Quenrid("dump '" + Path("lowered.exe") + "'"),
                     "quenrid dump: " + Path("lowered.exe") +
                         ": the data offset field holds 1044, inside the image");
  EXPECT_FALSE(std::ifstream(Path("o.exe")).good());

  // A packed uninstaller is not a stub to stamp: its block would stay, unseen.
  ASSERT_EQ(Pack(Path("empty.exe"), manifest, Path("packed.exe")).exitCode, 0);
  const std::string packed = ReadFile(Path("packed.exe"));
  ExpectOneLineError(Quenrid("stamp '" + Path("packed.exe") + "'"),
                     "quenrid stamp: " + Path("packed.exe") + ": carries uninstall data");
  EXPECT_EQ(ReadFile(Path("packed.exe")), packed);
  // The reader opens the file by name again, which a pipe does not allow.
  ExpectOneLineError(Quenrid("dump /dev/stdin", "cat '" + Path("packed.exe") + "' |"),
                     "quenrid dump: /dev/stdin: not a regular file");
}

// The output is replaced whole or not at all, never by one of the inputs.
TEST_F(CliTest, OutputIsWrittenWholeOrNotAtAll) {
  const std::string stub = StampedStub("uninst.exe");
  const std::string manifest = Path("m.json");
  WriteFile(manifest, ReadFile(QUENRID_SAMPLE_MANIFEST));
  for (const std::string &input : {stub, manifest}) {
    const RunResult run = Pack(stub, manifest, input);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find(": is the "), std::string::npos) << run.err;
  }
  EXPECT_EQ(ReadFile(stub), FakeStub(pe_stub::kImageSize));
  EXPECT_EQ(ReadFile(manifest), ReadFile(QUENRID_SAMPLE_MANIFEST));

  // A write that fails half-way, at a file size limit of one or two KiB.
  WriteFile(Path("out.exe"), "previous uninstaller");
  const RunResult run = Quenrid(
      "pack --stub '" + stub + "' --manifest '" + manifest + "' -o '" + Path("out.exe") + "'",
      "trap '' XFSZ; ulimit -f 2;");
  ExpectOneLineError(run, "quenrid pack: " + Path("out.exe") + ": cannot write: ");
  EXPECT_EQ(ReadFile(Path("out.exe")), "previous uninstaller");
  EXPECT_NE(std::system(("ls '" + dir_ + "' | grep -q quenrid-").c_str()), 0)
      << "a temporary file was left behind";

  ASSERT_EQ(Pack(stub, manifest, Path("out.exe")).exitCode, 0);
  const RunResult full = Quenrid("dump '" + Path("out.exe") + "'", "", "/dev/full");
  EXPECT_EQ(full.exitCode, 1);
  EXPECT_EQ(full.err.rfind("quenrid dump: standard output: cannot write: ", 0), 0u) << full.err;
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
  WriteFile(m, "{\"messages\": [\"a\"\n");
  ExpectOneLineError(Pack(stub, m, Path("o.exe")),
                     "quenrid pack: " + m + ": parse error at line 2");
  // Bytes that are not UTF-8 are shown escaped, never raw.
  WriteFile(m, "{\"messages\": [\"\xff\x1b\"]}");
  const RunResult notUtf8 = Pack(stub, m, Path("o.exe"));
  ExpectOneLineError(notUtf8, "quenrid pack: " + m + ": parse error");
  EXPECT_NE(notUtf8.err.find("\\xFF"), std::string::npos) << notUtf8.err;
  EXPECT_EQ(notUtf8.err.find_first_of("\xff\x1b"), std::string::npos) << notUtf8.err;
  EXPECT_FALSE(std::ifstream(Path("o.exe")).good());

  // What only makes the uninstaller less useful packs, with a warning.
  WriteFile(m,
            R"({"files": [{"folder": ".\\)" + std::string(210, 'd') + R"(", "fileName": "a"}]})");
  const RunResult warned = Pack(stub, m, Path("o.exe"));
  EXPECT_EQ(warned.exitCode, 0);
  EXPECT_EQ(warned.err, "quenrid pack: " + m +
                            ": warning: messages: none given; every dialog of the uninstaller "
                            "would be blank\nquenrid pack: " +
                            m +
                            ": warning: files[0]: the path is 212 bytes below the install "
                            "folder; the uninstaller skips it when the install folder is longer "
                            "than 47 bytes\n");
}

// Text that is code page 1252's unassigned bytes, C1 controls, is escaped in
// the output; text in another code page read as 1252 gets a hint.
TEST_F(CliTest, DumpShowsNoControlCharactersRaw) {
  const std::string stub = StampedStub("uninst.exe");
  WriteFile(Path("m.json"), R"({"messages": ["a\u0090\u009d\u007f"]})");
  ASSERT_EQ(Pack(stub, Path("m.json"), Path("c1.exe")).exitCode, 0);
  const RunResult dump = Quenrid("dump --code-page 1252 '" + Path("c1.exe") + "'");
  ASSERT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_NE(dump.out.find(R"("a\u0090\u009d\u007f")"), std::string::npos) << dump.out;
  EXPECT_EQ(dump.err, "");
  WriteFile(Path("dumped.json"), dump.out);
  ASSERT_EQ(Pack(stub, Path("dumped.json"), Path("again.exe")).exitCode, 0);
  EXPECT_EQ(ReadFile(Path("again.exe")), ReadFile(Path("c1.exe")));

  const RunResult hinted = Quenrid("dump '" + Path("c1.exe") + "'");
  EXPECT_EQ(hinted.exitCode, 0);
  EXPECT_EQ(hinted.err, "quenrid dump: " + Path("c1.exe") +
                            ": note: strings were read as code page 1252; if they were packed "
                            "in another, give its --code-page\n");
}

TEST_F(CliTest, UsageErrorsAreOneLineToo) {
  const RunResult missing = Quenrid("pack --stub x.exe -o y.exe");
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_EQ(missing.err, "quenrid pack: --manifest is required\n");
  const RunResult unknown = Quenrid("unpack x.exe");
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_EQ(unknown.err,
            "quenrid: unknown command \"unpack\" (known: pack, dump, lint, stamp or plan; see --help)\n");
  // A plan is made of what the Windows machine holds: this build refuses.
  const RunResult plan = Quenrid("plan --json x.exe");
  EXPECT_EQ(plan.exitCode, 2);
  EXPECT_EQ(plan.err,
            "quenrid plan: plans only on Windows, where the uninstaller runs: use quenrid.exe on "
            "that machine\n");
  for (const char *codePage : {"437", "65001"}) {
    const RunResult run = Quenrid(std::string("dump --code-page ") + codePage + " x.exe");
    EXPECT_EQ(run.exitCode, 2) << codePage;
    EXPECT_EQ(run.err.rfind(std::string("quenrid dump: --code-page: code page ") + codePage, 0), 0u)
        << run.err;
  }
  EXPECT_EQ(Quenrid("--help").exitCode, 0);
}

// Lint reads a manifest, or a packed uninstaller with the uninstaller's own
// reader, and finds the same; pack warns alike, and --strict refuses.
TEST_F(CliTest, LintWarnsAboutTheManifestAndThePackedUninstallerAlike) {
  const std::string stub = StampedStub("uninst.exe");
  const std::string m = Path("m.json");
  WriteFile(m, R"({"messages": ["Cap", "Remove?", "", "", "", "", "", "", "", "", "", "F", "S",
                                "E", "R"],
                   "registry": [{"root": "HKLM", "keyPath": "Software\\Microsoft"}],
                   "directories": ["#UserDir#\\*.*"]})");
  const auto expected = [](const std::string &verb, const std::string &file) {
    return verb + ": " + file +
           ": warning: registry[0].keyPath: HKLM\\Software\\Microsoft is a key the system or "
           "many products share; the uninstaller's registry guard refuses to delete it, so the "
           "entry does nothing\n" +
           verb + ": " + file +
           ": warning: directories[0]: cleans the whole folder that #UserDir# names and every "
           "folder below it, not a folder of the product\n";
  };

  const RunResult lint = Quenrid("lint '" + m + "'");
  EXPECT_EQ(lint.exitCode, 0);
  EXPECT_EQ(lint.err, expected("quenrid lint", m));
  const RunResult pack = Pack(stub, m, Path("packed.exe"));
  EXPECT_EQ(pack.exitCode, 0);
  EXPECT_EQ(pack.err, expected("quenrid pack", m));
  const RunResult packed = Quenrid("lint '" + Path("packed.exe") + "'");
  EXPECT_EQ(packed.exitCode, 0);
  EXPECT_EQ(packed.err, expected("quenrid lint", Path("packed.exe")));

  const RunResult strict = Quenrid("lint --strict '" + Path("packed.exe") + "'");
  EXPECT_EQ(strict.exitCode, 1);
  EXPECT_EQ(strict.err, expected("quenrid lint", Path("packed.exe")) + "quenrid lint: " +
                            Path("packed.exe") + ": 2 warnings, which --strict makes errors\n");
  const RunResult refused = Pack(stub, m, Path("strict.exe"), "--strict");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_FALSE(std::ifstream(Path("strict.exe")).good());

  EXPECT_EQ(Quenrid("lint --strict '" + std::string(QUENRID_SAMPLE_MANIFEST) + "'").exitCode, 0);
  ExpectOneLineError(Quenrid("lint '" + stub + "'"),
                     "quenrid lint: " + stub + ": carries no uninstall data");
}
