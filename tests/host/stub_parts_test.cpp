// The parts of the stub that need no Windows: what its reader builds of blocks
// of every shape, its code, its one message, what release leaves, and the
// messages it loads; the switch grammar; and the font phase's TrueType name
// reader, which no damage makes read or write outside its buffers.
#include <cstring>

#include "app/switches.h"
#include "block_file.h"
#include "data/memory_posix.h"
#include "data/messages.h"
#include "removal/font_name.h"
#include "truetype_file.h"

namespace quenrid::test {
namespace {

enum : uint16_t { kMsg = CHUNK_MESSAGES, kFiles = CHUNK_FILES, kLinks = CHUNK_SHORTCUTS };
enum : uint16_t { kReg = CHUNK_REGISTRY, kDirs = CHUNK_DIRECTORIES, kSet = CHUNK_SETTINGS };
enum { OK = READ_OK, BODY = READ_ERR_BODY, DAMAGE = READ_ERR_HEADER };

std::string C(uint16_t kind, const std::string &body, uint8_t flags = 0) {
  return EncodeChunk(kind, body, flags);
}
std::string M(const std::vector<std::string> &texts) { return C(kMsg, EncodeMessagesBody(texts)); }
std::string F(const std::vector<FileRecord> &files) { return C(kFiles, EncodeFilesBody(files)); }
std::string Zero(const std::string &text) { return text + std::string(2, '\0'); }
std::string S(size_t n, char c = 's') { return std::string(n, c); }
std::string N(size_t n, char c) { return Counted(S(n, c)); }

// Failure messages (1 rejected, 5 and 7 no memory, 8 damaged) naming the file.
const std::string kErrors = M({"Cap", "1 %s", "", "", "", "5 %s", "", "7 %s", "8 %s"});
const std::string kErrorLists = "m:Cap m:1 %s m: m: m: m:5 %s m: m:7 %s m:8 %s ";

// After a failure, the one message shown: the code's, when a table was read.
std::string Shown(const std::string &path, int code) {
  return MessageTable[0] ? std::to_string(code) + " " + path : "";
}

struct Row {
  std::string block;
  int code;
  std::string lists;
};

using ReaderTest = BlockFileTest;

TEST_F(ReaderTest, EachBlockGivesItsListsCodeAndMessage) {
  // Every field the writer writes, each string at the edge of its limit.
  Manifest m;
  m.messages = {"Caption", "", S(65535)};
  m.files = {{".\\bin", "tool.dll", 5}, {"C:\\F", "", 0xFF}, {S(300), S(218)}};
  m.shortcuts = {{255, "C:\\Menu", "C:\\Alt", "Run.lnk"}, {0, S(259), S(259), S(259)}};
  m.registry = {{0x80000002u, "Software\\P"}, {0x12345678u, S(519)}};
  m.directories = {"data\\*.*", "logs\\*.log"};
  m.settings = {0xFFFFFFFFu, "setup.exe /x", ""};
  const std::string set = C(kSet, EncodeSettingsBody(m.settings));
  // Messages {"A"}, an all-zero settings block and the end, byte by byte.
  const std::string smallest = U16(kMsg) + U16(0) + U32(7) + U16(1) + U16(1) + Counted("A") +
                               U16(kSet) + U16(0) + U32(12) + S(12, 0) + End();
  EXPECT_EQ(EncodeBlock(Manifest{{"A"}, {}, {}, {}, {}, {}}), smallest);
  std::vector<Row> rows = {
      {smallest + "a signature", OK, "m:A "},  // what follows the end is never read
      {EncodeBlock(m), OK,
       "m:Caption m: m:#65535 f:.\\bin|tool.dll|5 f:C:\\F||255 f:#300|#218|0 s:255|C:\\Menu|"
       "C:\\Alt|Run.lnk s:0|#259|#259|#259 r:2147483650|Software\\P r:305419896|#519 "
       "d:data\\*.*/logs\\*.log// set:26/4294967295|setup.exe /x|"},
      {EncodeBlock(Manifest{{}, {}, {}, {}, {}, {1, {}, {}}}), OK, "set:12/1|-|-"},  // offsets 0
      {M({"T"}) + End(), OK, "m:T "},  // no settings: an all-zero block
      // Offsets past the block and at a string without its NUL; a short block.
      {C(kSet, U32(1) + U32(40) + U32(12) + "no NUL") + End(), OK, "set:18/1|-|-"},
      {C(kSet, U16(2)) + End(), OK, "set:2/0|-|-"},
      // Empty chunks change nothing; zero counts give empty lists.
      {set + C(kSet, "") + C(kFiles, "") + C(kReg, "") + End(), OK,
       "set:26/4294967295|setup.exe /x|"},
      {C(kFiles, U32(0)) + C(kLinks, U32(0)) + C(kReg, U32(0)) + End(), OK, ""},
      // Empty strings read as empty, not as the end of their table.
      {M({"", "x", ""}) + F({{"", "", 0}}) + End(), OK, "m: m:x m: f:||0 "},
      // An end chunk with a body ends the reading.
      {M({"first"}) + C(CHUNK_END, "tail") + M({"never"}) + "garbage", OK, "m:first "},
      // Only the first message table loads; a later chunk replaces it unless empty.
      {C(kMsg, U16(3) + U16(2) + Counted("one") + Counted("two") + U16(1) + Counted("2") + U16(1) +
                   Counted("3")) +
           F({{"C:\\x", "y", 0}}) + End(),
       OK, "m:one m:two f:C:\\x|y|0 "},
      {M({"old", "kept"}) + C(kMsg, U16(1) + U16(0)) + End(), OK, "m:old m:kept "},
      {M({"old", "gone"}) + M({"new"}) + End(), OK, "m:new "},
      // List chunks append; a directory list without its end drops the rest.
      {F({{".", "1", 2}, {".\\b", "2", 0}}) + F({{"C:\\b", "", 5}}) + End(), OK,
       "f:.|1|2 f:.\\b|2|0 f:C:\\b||5 "},
      {C(kDirs, Zero("a")) + C(kDirs, Zero("b")) + End(), OK, "d:a/b// "},
      {C(kDirs, "ab") + C(kDirs, Zero("c")) + End(), OK, "d:ab "},
      // Trailing bytes in a list chunk and chunks of unknown kind are skipped.
      {C(kFiles, EncodeFilesBody({{"C:\\d", "f", 0}}) + "trailing") + C(0x1238, "?") +
           M({"after"}) + End(),
       OK, "m:after f:C:\\d|f|0 "},
      // Records over the staging areas (518, 777, 519 bytes) are skipped whole.
      {C(kFiles, U32(4) + N(500, 'f') + N(18, 'n') + "\1" + N(500, 'f') + N(19, 'n') + "\2" +
                     Counted("g") + N(600, 'g') + "\4" + Counted("h") + Counted("i") + "\x08") +
           C(kLinks, U32(1) + "\1" + N(700, 'a') + N(70, 'b') + N(8, 'c')) +
           C(kReg, U32(1) + U32(0x80000001) + N(520, 'k')) + M({"still read"}) + End(),
       OK, "m:still read f:#500|#18|1 f:h|i|8 "},
      // The reject flag (bit 0) counts for the raw chunks only.
      {C(kFiles, EncodeFilesBody({{".", "x", 0}}), 1) + C(kDirs, Zero("d"), 0xFE) + End(), OK,
       "f:.|x|0 d:d// "},
      {kErrors + C(kSet, EncodeSettingsBody({}), 1) + End(), BODY, kErrorLists},
      {C(kDirs, Zero("d"), 0xFF) + End(), BODY, ""},
      {kErrors + set.substr(0, 13), BODY, kErrorLists},  // a body cut by the end of the file
      // Damage: code 8; what was read before stays, nothing of the damaged chunk.
      {kErrors + F({{".", "a", 0}}), DAMAGE, kErrorLists + "f:.|a|0 "},
      {kErrors + End().substr(0, 5), DAMAGE, kErrorLists},
      {F({{".", "a", 0}}), DAMAGE, "f:.|a|0 "},  // no table to word it
      // A huge count at the end of the file (under ASan a huge allocation would
      // end the test), and a length that wraps past 4 GB.
      {U32(kReg) + U32(0xFFFFFF00u) + U32(0x30000000) + U32(0x80000001), DAMAGE, ""},
      {U32(0x4444) + U32(0xFFFFFFF8u) + End(), DAMAGE, ""},
  };
  // Whatever a count or length inside a chunk claims, nothing is read past
  // the chunk, and the chunk behind it is never read as part of it.
  std::string manyLongStrings = U16(1) + U16(20000);  // 20000 strings of 0xFFFF bytes in 40 KB
  for (int i = 0; i < 20000; ++i) manyLongStrings += U16(0xFFFF);
  for (const std::string &chunk :
       {C(kFiles, U32(2) + U32(0) + '\0'), C(kFiles, U32(1) + Counted("d") + U16(40) + "ab"),
        C(kLinks, U32(1) + "\1" + Counted("a") + U16(0)), C(kReg, U32(0x40000000) + U32(1)),
        C(kFiles, U16(0)), C(kMsg, U16(1) + U16(0xFFFF) + Counted("A")), C(kMsg, manyLongStrings),
        C(kMsg, U16(1) + U16(2) + U16(30) + "xy"), C(kMsg, U16(1))}) {
    rows.push_back({kErrors + chunk + M({"a chunk, never a string"}) + End(), DAMAGE, kErrorLists});
  }
  for (const Row &row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows.data()) + ": " + row.lists);
    ResetShownMessages();
    EXPECT_EQ(Read(row.block), row.code);
    EXPECT_EQ(Lists(), row.lists);
    EXPECT_EQ(UninstallSettings != nullptr, row.code == READ_OK);  // all-zero when none is read
    EXPECT_EQ(ShownMessageCount, row.code > 0 ? 1u : 0u);
    if (row.code > 0) EXPECT_EQ(LastShownMessage.text, Shown(path_, row.code));
    ReleaseUninstallData();  // leaves nothing: the next row would read into what it left
    EXPECT_EQ(Lists(), "");
    EXPECT_TRUE(!FileList && !ShortcutList && !RegistryList);
  }
  ResetShownMessages();  // no block, or no file: nothing read and nothing said
  EXPECT_EQ(ReadUninstallDataFile(path_.c_str(), 0), READ_ERR_NO_FILE);
  EXPECT_EQ(ReadUninstallDataFile("/nonexistent/quenrid/uninst.exe", 16), READ_ERR_NO_FILE);
  EXPECT_EQ(ShownMessageCount, 0u);
}

// Each allocation of a block of every chunk kind fails in turn: code 5 for a raw
// body, 7 for the rest, one message, and (under LeakSanitizer) no leak.
TEST_F(ReaderTest, EveryAllocationFailureIsReportedOnce) {
  const std::string block = kErrors + F({{".", "a", 0}, {".\\b", "c", 1}}) + F({{"C:\\d", "", 0}}) +
                            C(kLinks, EncodeShortcutsBody({{1, "s", "", "s.lnk"}})) +
                            C(kReg, EncodeRegistryBody({{0x80000001, "k"}, {0x80000002, "l"}})) +
                            C(kDirs, Zero("x")) + C(kDirs, Zero("y")) +
                            C(kSet, EncodeSettingsBody({})) + End();
  FailNthAllocation(0);
  ASSERT_EQ(Read(block), READ_OK);
  const uint32_t needed = AllocationsSinceReset(), forMessages = 2 + 9;  // body, table, strings
  ASSERT_GT(needed, forMessages);
  ReleaseUninstallData();
  int bodyFailures = 0;
  for (uint32_t n = 1; n <= needed; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n));
    ResetShownMessages();
    FailNthAllocation(n);
    const int code = Read(block);
    FailNthAllocation(0);
    ASSERT_TRUE(code == READ_ERR_MEMORY || code == READ_ERR_BODY_MEMORY) << code;
    bodyFailures += code == READ_ERR_BODY_MEMORY;
    EXPECT_EQ(ShownMessageCount, 1u);
    if (n > forMessages) EXPECT_EQ(LastShownMessage.text, Shown(path_, code));
    ReleaseUninstallData();
  }
  EXPECT_EQ(bodyFailures, 3);  // two directory bodies and the settings body
}

// Formats into a buffer with guard bytes behind its 1024: none may change.
std::string Format(int number, const char *argument) {
  char out[MESSAGE_BUFFER_SIZE + 8];
  std::memset(out, 'Z', sizeof out);
  FormatMessageArg(out, number, argument);
  EXPECT_EQ(std::string(out + MESSAGE_BUFFER_SIZE, 8), std::string(8, 'Z'));
  return out;
}

TEST_F(ReaderTest, MessagesStayInsideTheirTableAndBuffer) {
  EXPECT_EQ(Format(1, "C:\\x.exe"), "");  // no table read yet
  const std::string longText(2000, 'x'), longPath(3000, 'p');
  ASSERT_EQ(READ_OK, Read(M({"Cap", "Remove %s now?", "100% sure", "50%% of %s", "%s and %s",
                             "%d%s%x", "%", "<%s>", longText}) +
                          End()));
  EXPECT_STREQ(LookupMessage(1, 0), "");  // no such tables
  EXPECT_STREQ(LookupMessage(-1, 0), "");
  const struct {
    int number;
    const char *argument;
    std::string expected;
  } cases[] = {
      {1, "C:\\App", "Remove C:\\App now?"},
      {1, nullptr, "Remove  now?"},
      {2, "ignored", "100% sure"},
      {3, "it", "50% of it"},
      // Only the one argument there is: further conversions stay text.
      {4, "A", "A and %s"},
      {5, "A", "%dA%x"},
      {6, "A", "%"},
      {7, longPath.c_str(), "<" + longPath.substr(0, 1022)},
      {8, "x", longText.substr(0, 1023)},
      {9, "x", ""},
      {-1, "x", ""},
  };
  for (const auto &c : cases) EXPECT_EQ(Format(c.number, c.argument), c.expected) << c.number;
}

// The name read from a file of `bytes` (or from `path`) into a heap buffer of
// exactly `size` bytes, filled beforehand, so that ASan sees any access past it.
std::string ReadName(const std::string &file, const std::string &bytes, uint32_t size = 64,
                     const char *path = nullptr) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  std::vector<char> name(size, 'x');
  ReadFontFullName(path ? path : file.c_str(), name.data(), size);
  return memchr(name.data(), 0, size) ? name.data() : "<no terminating zero>";
}

using FontNameTest = BlockFileTest;  // for its temporary file

TEST_F(FontNameTest, FindsTheLastMacintoshFullNameOfTheFirstFortyTables) {
  const auto mac = [](const std::string &text) { return FontName{kMacintosh, kFullName, text}; };
  const FontName sans = mac("Quenrid Sans");
  const struct {
    FontLayout layout;
    uint32_t size;
    std::string expected;
  } cases[] = {
      {{{sans}}, 64, "Quenrid Sans"},
      {{{{kWindows, kFullName, "Win"}}}, 64, ""},
      {{{{kMacintosh, kFamilyName, "Quenrid"}}}, 64, ""},
      {{{mac("1st"), {kWindows, kFullName, "W"}, mac("2nd")}}, 64, "2nd"},
      {{{sans}, 40, 39}, 64, "Quenrid Sans"},  // 'name' as table record 40, then 41
      {{{sans}, 41, 40}, 64, ""},
      {{{sans}, 1, 0, 0}, 64, ""},  // numTables 0, then short of 'name'
      {{{sans}, 3, 2, 2}, 64, ""},
      {{{sans}, 1, 0, -1, 0}, 64, ""},  // name count 0, then past the records
      {{{sans}, 1, 0, -1, 500}, 64, "Quenrid Sans"},
      {{{mac("1234567")}}, 8, "1234567"},  // fits, then one byte too long
      {{{mac("12345678")}}, 8, ""},
      {{{mac(std::string("Arial\0x", 7))}}, 64, ""},
      {{{mac("Short"), mac("Much longer")}}, 8, "Short"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(ReadName(path_, BuildFont(c.layout), c.size), c.expected) << "row " << &c - cases;
  }
  EXPECT_EQ(ReadName(path_, "", 64, "/nonexistent/quenrid/font.ttf"), "");

  // Cut anywhere, or a field pointing outside the file: no name.
  const std::string font = BuildFont({{sans}});
  for (size_t length = 0; length < font.size(); ++length) {
    EXPECT_EQ(ReadName(path_, font.substr(0, length)), "") << "cut to " << length;
  }
  const std::pair<size_t, std::string> damage[] = {
      {20, Be32(0xFFFFFFF0)},                              // table offset
      {20, Be32(static_cast<uint32_t>(font.size() - 1))},  // naming header cut by the end
      {32, Be16(0xFFFF)},                                  // string storage
      {44, Be16(0xFFFF)},                                  // string offset
      {42, Be16(13)},                                      // string length, one past the end
  };
  for (const auto &[at, bytes] : damage) {
    EXPECT_EQ(ReadName(path_, std::string(font).replace(at, bytes.size(), bytes), 1 << 16), "");
  }
  // A string that cannot be read whole ends the search; earlier names stand.
  const std::string three = BuildFont({{mac("First"), mac("Second"), mac("Third")}});
  EXPECT_EQ(ReadName(path_, three.substr(0, three.size() - 1)), "Second");
  const size_t secondOffset = 12 + 16 + 6 + 12 + 10;
  EXPECT_EQ(ReadName(path_, std::string(three).replace(secondOffset, 2, Be16(0xFFFF))), "First");
}

TEST(Switches, EachLineSetsExactlyItsSwitches) {
  const struct {
    const char *line;
    bool quiet, s, x, n;
  } lines[] = {
      {nullptr, 0, 0, 0, 0},   {"   ", 0, 0, 0, 0},    {"/q", 1, 0, 0, 0},     {"-Q", 1, 0, 0, 0},
      {"/Silent", 1, 1, 0, 0}, {"/Q/X", 1, 0, 1, 0},   {"  -x -s", 1, 1, 1, 0}, {"/S    /x", 1, 1, 1, 0},
      {"/?", 0, 0, 0, 0},      {"/", 0, 0, 0, 0},      {"/Q -", 1, 0, 0, 0},   {"/Q /", 1, 0, 0, 0},
      {"/QS", 1, 0, 0, 0},                                   // the rest of a word is skipped
      {"foo /S", 0, 0, 0, 0},  {"/Q file /S", 1, 0, 0, 0},  // a word that is no switch ends them
      {"/A /B /s", 1, 1, 0, 0},                              // unknown letters are ignored
      {"/ q", 0, 0, 0, 0},     // the blank is the letter; "q" is its word
      {"--s", 0, 0, 0, 0},     {"-/s", 0, 0, 0, 0},  // "-" is the letter; "s" is its word
      {"\t/S", 0, 0, 0, 0},    // only the blank counts as white space
      {"/\xe9 /x", 1, 0, 1, 0},  // a letter outside a to z is no switch
      {"/n", 0, 0, 0, 1},      {"/S /NoQuestions", 1, 1, 0, 1}, {"-q-N", 1, 0, 0, 1},
  };
  for (const auto &l : lines) {
    const SwitchSet found = ParseSwitches(l.line);
    EXPECT_TRUE(found.quiet == l.quiet && found.s == l.s && found.x == l.x && found.n == l.n)
        << (l.line ? l.line : "(null)") << ": " << found.quiet << found.s << found.x << found.n;
  }
}

}  // namespace
}  // namespace quenrid::test
