// Pack and stamp on every kind of stub; then the quenrid command as a build or an
// author runs it: verbs, exit codes, stdout and stderr, and the files it touches.
#include <sys/wait.h>

#include <algorithm>
#include <sstream>

#include "block_file.h"
#include "data/data_offset.h"

using namespace quenrid;

namespace {

constexpr uint16_t kPe32 = 0x10B, kPe32Plus = 0x20B;
constexpr size_t kFieldAt = 0x410;  // the data offset field, behind its marker in .data
const std::string kMarker = {DATA_OFFSET_MARKER_BYTES};

// A stand-in for uninst.exe or uninst64.exe: a PE32 or PE32+ image of .text,
// .data (the marker and `field`) and a .bss without raw data, 0x600 bytes.
std::string Image(uint16_t magic, uint32_t field) {
  std::string image(0x600, '\0');
  const auto put = [&](size_t at, const std::string &bytes) {
    image.replace(at, bytes.size(), bytes);
  };
  const size_t coff = 0x44, optionalSize = magic == kPe32 ? 224 : 240;
  image.replace(0, 2, "MZ");
  put(0x3C, U32(coff - 4));
  image.replace(coff - 4, 2, "PE");
  put(coff, U16(magic == kPe32 ? 0x14C : 0x8664));  // machine
  put(coff + 2, U16(3));                            // sections
  put(coff + 16, U16(optionalSize));
  put(coff + 20, U16(magic));
  const struct {
    const char *name;
    uint32_t rawSize, rawAt;
  } sections[] = {{".text", 0x200, 0x200}, {".data", 0x200, 0x400}, {".bss", 0, 0x7FFF0000}};
  for (size_t i = 0, header = coff + 20 + optionalSize; i < 3; ++i, header += 40) {
    image.replace(header, std::string(sections[i].name).size(), sections[i].name);
    put(header + 16, U32(sections[i].rawSize));
    put(header + 20, U32(sections[i].rawAt));
  }
  image.replace(kFieldAt - kMarker.size(), kMarker.size(), kMarker);
  put(kFieldAt, U32(field));
  return image;
}

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

struct Result {
  int exitCode;
  std::string out, err;
};

// Runs `before` quenrid `args` in the shell; `args` may send stdout elsewhere.
Result Quenrid(const std::string &args, const std::string &before = "") {
  const int status =
      std::system((before + " " + QUENRID_TOOL_PATH + " >stdout 2>stderr " + args).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile("stdout"), ReadFile("stderr")};
}

// Each test works in a directory of its own, with a stamped stub and the sample packed.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(mkdtemp(&dir_[0]), nullptr);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    WriteFile("uninst.exe", Image(kPe32, 0));
    ASSERT_EQ(Quenrid("stamp uninst.exe").exitCode, 0);
    // The sample asks both file questions: lint's one word on it says so.
    const std::string err = Quenrid(Pack("uninst.exe", kSample, "packed.exe")).err;
    ASSERT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
    ASSERT_NE(err.find("warning: messages[9]: is set, so a /S or /Q run may stop"), err.npos);
    ASSERT_NE(err.find("warning: messages[10]: is set, so a /S or /Q run may stop"), err.npos);
  }
  void TearDown() override {
    ASSERT_EQ(chdir("/"), 0);
    std::system(("rm -rf " + dir_).c_str());
  }
  std::string dir_ = "/tmp/quenrid-cli-XXXXXX";
};

// Stamping again and the plain round trip of the sample: check-pack-roundtrip.sh,
// on the real stubs.
TEST_F(CliTest, DumpPackRoundTripInACodePageAndOfAnOpenList) {
  const std::string stamped = ReadFile("uninst.exe");
  // The code page of the command line; without it, dump reads 1252 and says so.
  WriteFile("m.json", R"({"messages": ["\u30a2\u30f3\u30a4\u30f3\u30b9\u30c8"],
                          "files": [{"folder": ".", "fileName": "\u8aac\u660e.txt"}]})");
  ASSERT_EQ(Quenrid(Pack("uninst.exe", "m.json", "jp.exe") + " --code-page 932").exitCode, 0);
  EXPECT_NE(ReadFile("jp.exe").find("\x90\xE0\x96\xBE.txt"), std::string::npos);
  // Its dump, which names the code page, packed onto it gives the same bytes.
  const Result jp = Quenrid("dump --code-page 932 jp.exe");
  WriteFile("dumped.json", jp.out);
  EXPECT_EQ(Quenrid(Pack("jp.exe", "dumped.json", "again.exe")).exitCode, 0);
  EXPECT_EQ(ReadFile("again.exe"), ReadFile("jp.exe"));
  EXPECT_NE(jp.out.find("\"codePage\": 932"), std::string::npos) << jp.out;
  EXPECT_NE(jp.out.find("\u8aac\u660e.txt"), std::string::npos) << jp.out;
  const std::string note = "quenrid dump: jp.exe: note: strings were read as code page 1252";
  EXPECT_EQ(Quenrid("dump jp.exe").err.rfind(note + "; if they were packed in another", 0), 0u);

  // A directory list without its end: dump shows what is there, reads nothing past it.
  WriteFile("odd.exe", PackBlock(stamped, EncodeChunk(0x1239, "ab") + EncodeChunk(0x7F7F, "")));
  const Result dump = Quenrid("dump odd.exe");
  EXPECT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_NE(dump.out.find("\"directories\": [\n    \"ab\"\n  ]"), std::string::npos) << dump.out;
}

// Each command line: its exit code and its lines on stderr, starting with the verb
// and the file; nothing on stdout, no output file on failure, every input unchanged.
TEST_F(CliTest, EachCommandLineGivesItsExitCodeAndLines) {
  const std::string packed = ReadFile("packed.exe");
  WriteFile("unstamped.exe", Image(kPe32, 0));
  WriteFile("cut.exe", packed.substr(0, packed.size() - 8));  // without its end chunk
  // The sample without its two file questions, of which lint would speak first.
  std::string sample = ReadFile(kSample);
  for (const char *question : {"    \"The file %s", "    \"The shared file %s"}) {
    const size_t at = sample.find(question), end = sample.find("\n", at);
    sample.replace(at, end - at, "    \"\",");
  }
  WriteFile("m.json", sample);
  WriteFile("bad.json", "{\"messages\": [\"\xff\x1b\"]}");  // not UTF-8
  WriteFile("out.exe", "previous uninstaller");
  WriteFile("macro.json", R"({"messages": ["Cap"], "shortcuts": [{"levels": 1,
                               "folder": "#Programs#\\Vendor", "fileName": "a.lnk"}]})");
  // Two lint warnings, but nothing the uninstaller could not use.
  WriteFile("warns.json", R"({"messages": ["Cap", "Remove?", "", "", "", "", "", "", "", "", "",
                                           "F", "S", "E", "R"], "directories": ["#UserDir#\\*.*"],
                              "registry": [{"root": "HKLM", "keyPath": "Software\\Microsoft"}]})");
  ASSERT_EQ(Quenrid(Pack("uninst.exe", "warns.json", "warned.exe")).exitCode, 0);
  const std::string inputs = ReadFile("uninst.exe") + packed + ReadFile("warned.exe");
  const std::string warning = ": warning: registry[0].keyPath: HKLM\\Software\\Microsoft is";
  const struct {  // `err` is the start of stderr; `before` runs ahead of quenrid
    std::string args;
    int exitCode;
    std::string err;
    long lines = 1;
    std::string before = "";
  } rows[] = {
      {Pack("missing.exe", "m.json", "o.exe"), 1, "quenrid pack: missing.exe: cannot read: "},
      // What the layers below say, behind the verb and the file.
      {Pack("unstamped.exe", "m.json", "o.exe"), 1, "quenrid pack: unstamped.exe: not stamped"},
      {"dump uninst.exe", 1, "quenrid dump: uninst.exe: carries no uninstall data"},
      {"dump cut.exe", 1,
       "quenrid dump: cut.exe: the data ends before its end chunk (reader code "
       "8)\n"},
      // A packed uninstaller is no stub to stamp: its block would stay, unseen.
      {"stamp packed.exe", 1, "quenrid stamp: packed.exe: carries uninstall data"},
      // The reader opens the file by name again, which a pipe does not allow.
      {"dump /dev/stdin", 1, "quenrid dump: /dev/stdin: not a regular file", 1, "cat packed.exe |"},
      {Pack("uninst.exe", "bad.json", "o.exe"), 1, "quenrid pack: bad.json: parse error"},
      // Only quenrid.exe, on the machine the product is installed on, expands folders.
      {Pack("uninst.exe", "macro.json", "o.exe"), 1,
       "quenrid pack: macro.json: shortcuts[0].folder: \"#Programs#\" is expanded only by "
       "quenrid.exe pack, on the machine the product is installed on"},
      {Pack("uninst.exe", "m.json", "uninst.exe"), 2, "quenrid pack: uninst.exe: is the stub"},
      {Pack("uninst.exe", "m.json", "m.json"), 2, "quenrid pack: m.json: is the manifest itself"},
      // A write that fails half-way, at a file size limit of two KiB.
      {Pack("uninst.exe", "m.json", "out.exe"), 1, "quenrid pack: out.exe: cannot write: ", 1,
       "trap '' XFSZ; ulimit -f 2;"},
      {"dump packed.exe >/dev/full", 1, "quenrid dump: standard output: cannot write: "},
      {"pack --stub x.exe -o y.exe", 2, "quenrid pack: --manifest is required\n"},
      {"unpack x.exe", 2, "quenrid: unknown command \"unpack\" (known: pack, dump, lint, stamp, plan"},
      // A plan is made of what the Windows machine holds: this build refuses.
      {"plan --json x.exe", 2, "quenrid plan: plans only on Windows, where the uninstaller runs"},
      {"capture --save x.json", 2, "quenrid capture: captures only on Windows, on the machine"},
      {"dump --code-page 65001 x.exe", 2, "quenrid dump: --code-page: code page 65001"},
      // Lint reads a manifest or, with the uninstaller's reader, a packed file; pack
      // warns alike; --strict makes the warnings errors.
      {"lint warns.json", 0, "quenrid lint: warns.json" + warning, 2},
      {"lint warned.exe", 0, "quenrid lint: warned.exe" + warning, 2},
      {"lint --strict warned.exe", 1, "quenrid lint: warned.exe" + warning, 3},
      {Pack("uninst.exe", "warns.json", "o.exe") + " --strict", 1,
       "quenrid pack: warns.json" + warning, 3},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.args);
    const Result run = Quenrid(row.args, row.before);
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(run.err.substr(0, row.err.size()), row.err);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), row.lines) << run.err;
    EXPECT_EQ(run.out, "");
    // Bytes that are not UTF-8 are shown escaped, never raw.
    EXPECT_EQ(run.err.find_first_of("\xff\x1b"), std::string::npos) << run.err;
  }
  EXPECT_NE(Quenrid(Pack("uninst.exe", "bad.json", "o.exe")).err.find("\\xFF"), std::string::npos);
  EXPECT_FALSE(std::ifstream("o.exe").good());
  EXPECT_EQ(ReadFile("uninst.exe") + ReadFile("packed.exe") + ReadFile("warned.exe"), inputs);
  EXPECT_EQ(ReadFile("m.json"), sample);
  EXPECT_EQ(ReadFile("out.exe"), "previous uninstaller");
  EXPECT_NE(std::system("ls | grep -q quenrid-"), 0) << "a temporary file was left behind";
  EXPECT_EQ(Quenrid("--help").exitCode, 0);
}

// Every kind of stub, in both image formats: what pack makes of it, or the error
// that refuses it. Only a whole block behind the image is ever cut off.
TEST(Writer, PackAndStampCutOnlyAWholeBlockBehindTheImage) {
  const std::string block = EncodeBlock(Manifest());
  const std::string newBlock = EncodeBlock(Manifest{{kMarker}, {}, {}, {}, {}, {}});
  const std::string notBlock = " bytes from offset 1536 to the end of the file are not an uninst";
  for (const uint16_t magic : {kPe32, kPe32Plus}) {
    const std::string stamped = Image(magic, 1536), packed = stamped + block;
    const auto field = [&](uint32_t value) { return Image(magic, value); };
    const auto changed = [&](size_t at, const std::string &bytes) {
      return std::string(stamped).replace(at, bytes.size(), bytes);
    };
    const std::pair<std::string, std::string> cases[] = {
        // the stub, and the start of the error
        {stamped, ""},
        {packed, ""},
        {stamped + newBlock, ""},  // the marker in its data
        {field(0), "not stamped: the data offset field is 0"},
        {field(5000), "not stamped for this file: the data offset field holds 5000, beyond the"},
        {field(kFieldAt + 4) + block, "the data offset field holds 1044, inside the image"},
        {stamped + "SIGNATURE", "the 9" + notBlock},
        {packed + "X", "the 41" + notBlock},
        {field(0).substr(0, 0x300) + std::string(0x300, 'c') + kMarker + U32(1536),
         "no data offset marker in the image"},
        {changed(0x300, kMarker + U32(0)), "the data offset marker occurs more than once"},
        {changed(0x40, "X"), "not a Windows executable: no PE signature"},
        {"MZ no marker", "not a Windows executable: shorter than an MZ header"},
        {changed(0x58, U16(0x107)), "not a PE32 or PE32+ image: optional header magic 0x107"},
        {stamped.substr(0, 0x500), "the image's sections end at 1536, beyond the end of the file"},
    };
    for (const auto &c : cases) {
      SCOPED_TRACE(c.second + (magic == kPe32 ? " (PE32)" : " (PE32+)"));
      std::string result;
      const std::string error = ErrorOf([&] { result = PackBlock(c.first, newBlock); });
      EXPECT_EQ(error.substr(0, c.second.size()), c.second);
      if (c.second.empty()) EXPECT_EQ(result, stamped + newBlock);
    }
    EXPECT_EQ(StampStub(field(0)), stamped);
    EXPECT_EQ(ReadDataOffset(stamped), 1536u);
    EXPECT_EQ(ErrorOf([&] { StampStub(packed); }),
              "carries uninstall data at offset 1536; stamp "
              "the bare stub, not a packed uninstaller");
  }
}

}  // namespace
