// The stub's reader on blocks of every shape: what it builds, the code it
// returns, the one message it shows, and that release leaves nothing behind;
// then the messages it loads, bounded by their table and buffer.
#include <cstring>
#include <string>
#include <vector>

#include "block_file.h"
#include "data/memory_posix.h"
#include "data/messages.h"

using namespace quenrid;

namespace {

std::string C(uint16_t kind, const std::string &body, uint8_t flags = 0) {
  return EncodeChunk(kind, body, flags);
}
std::string M(const std::vector<std::string> &texts) {
  return C(CHUNK_MESSAGES, EncodeMessagesBody(texts));
}
std::string F(const std::vector<FileRecord> &files) { return C(CHUNK_FILES, EncodeFilesBody(files)); }
std::string D(const std::string &body, uint8_t flags = 0) {
  return C(CHUNK_DIRECTORIES, body, flags);
}
std::string Zero(const std::string &text) { return text + std::string(2, '\0'); }

// A table whose failure messages name the file: 1 rejected, 5 and 7 no
// memory, 8 damaged; and what Lists() shows of it.
const std::string kErrors = M({"Cap", "R %s", "", "", "", "M %s", "", "N %s", "D %s"});
const std::string kErrorLists = "m:Cap m:R %s m: m: m: m:M %s m: m:N %s m:D %s ";

struct Row {
  const char *what;
  std::string block;
  int code;
  std::string lists, shown = "";  // the one message shown on failure, %s the file
};

using ReaderTest = BlockFileTest;

TEST_F(ReaderTest, EachBlockGivesItsListsCodeAndMessage) {
  Settings settings;
  settings.flags = SETTINGS_WAIT_FOR_PROGRAM | 0x80;
  settings.program = "p.exe /x";
  settings.document = "bye.htm";
  const std::string set = C(CHUNK_SETTINGS, EncodeSettingsBody(settings));
  const std::string zeroSet = C(CHUNK_SETTINGS, EncodeSettingsBody({}));
  const std::string f500 = Counted(std::string(500, 'f'));
  std::vector<Row> rows = {
      {"settings alone", zeroSet + End(), READ_OK, ""},
      {"no settings: an all-zero block", M({"T"}) + End(), READ_OK, "m:T "},
      {"settings fields", set + End(), READ_OK, "set:29/129|p.exe /x|bye.htm"},
      {"settings offsets past the block and at a string without NUL",
       C(CHUNK_SETTINGS, U32(1) + U32(40) + U32(12) + "no NUL") + End(), READ_OK, "set:18/1|-|-"},
      {"a settings block too short for its fields", C(CHUNK_SETTINGS, U16(2)) + End(), READ_OK,
       "set:2/0|-|-"},
      {"empty chunks change nothing",
       set + C(CHUNK_SETTINGS, "") + C(CHUNK_FILES, "") + C(CHUNK_REGISTRY, "") + End(), READ_OK,
       "set:29/129|p.exe /x|bye.htm"},
      {"zero counts",
       C(CHUNK_FILES, U32(0)) + C(CHUNK_SHORTCUTS, U32(0)) + C(CHUNK_REGISTRY, U32(0)) + End(),
       READ_OK, ""},
      {"empty strings are empty, not the end", M({"", "x", ""}) + F({{"", "", 0}}) + End(),
       READ_OK, "m: m:x m: f:||0 "},
      {"an end chunk with a body ends the reading",
       M({"first"}) + C(CHUNK_END, "tail") + M({"never"}) + "garbage", READ_OK, "m:first "},
      {"only the first message table",
       C(CHUNK_MESSAGES, U16(3) + U16(2) + Counted("one") + Counted("two") + U16(1) +
                             Counted("second") + U16(1) + Counted("third")) +
           F({{"C:\\x", "y", 0}}) + End(),
       READ_OK, "m:one m:two f:C:\\x|y|0 "},
      {"an empty later table keeps the earlier",
       M({"old", "kept"}) + C(CHUNK_MESSAGES, U16(1) + U16(0)) + End(), READ_OK, "m:old m:kept "},
      {"a later table replaces the earlier", M({"old", "gone"}) + M({"new"}) + End(), READ_OK,
       "m:new "},
      {"file chunks append in file order",
       F({{".", "1", 2}, {".\\bin", "2", 0}}) + F({{"C:\\b", "", 5}}) + End(), READ_OK,
       "f:.|1|2 f:.\\bin|2|0 f:C:\\b||5 "},
      {"directory chunks join", D(Zero("a")) + D(Zero("b")) + End(), READ_OK, "d:a/b// "},
      {"directories behind an unterminated list are dropped", D("ab") + D(Zero("c")) + End(),
       READ_OK, "d:ab "},
      {"trailing bytes in a list chunk and an unknown kind are skipped",
       C(CHUNK_FILES, EncodeFilesBody({{"C:\\d", "f", 0}}) + "trailing") + C(0x1238, "unknown") +
           M({"after"}) + End(),
       READ_OK, "m:after f:C:\\d|f|0 "},
      // A record over its staging area is skipped whole, and the next read.
      {"records over the staging areas",
       C(CHUNK_FILES, U32(4) + f500 + Counted(std::string(18, 'n')) + "\1" + f500 +
                          Counted(std::string(19, 'N')) + "\2" + Counted("g") +
                          Counted(std::string(600, 'G')) + "\4" + Counted("h") + Counted("i") +
                          "\x08") +
           C(CHUNK_SHORTCUTS, U32(1) + "\1" + Counted(std::string(700, 'a')) +
                                  Counted(std::string(70, 'b')) + Counted("cccccccc")) +
           C(CHUNK_REGISTRY, U32(1) + U32(0x80000001) + Counted(std::string(520, 'K'))) +
           M({"still read"}) + End(),
       READ_OK, "m:still read f:#500|#18|1 f:h|i|8 "},
      {"the reject flag counts only for raw chunks",
       C(CHUNK_FILES, EncodeFilesBody({{".", "x", 0}}), CHUNK_FLAG_REJECT) + D(Zero("d"), 0xFE) +
           End(),
       READ_OK, "f:.|x|0 d:d// "},
      {"a rejected settings body", kErrors + C(CHUNK_SETTINGS, EncodeSettingsBody({}), 1) + End(),
       READ_ERR_BODY, kErrorLists, "R %s"},
      {"a rejected directory body", D(Zero("d"), 0xFF) + End(), READ_ERR_BODY, "", ""},
      {"a raw body cut by the end of the file", kErrors + zeroSet.substr(0, zeroSet.size() - 3),
       READ_ERR_BODY, kErrorLists, "R %s"},
      // Damage: code 8; what was read before stays, nothing of the damaged chunk.
      {"chunks without an end", kErrors + F({{".", "a", 0}}), READ_ERR_HEADER,
       kErrorLists + "f:.|a|0 ", "D %s"},
      {"a header cut short", kErrors + End().substr(0, 5), READ_ERR_HEADER, kErrorLists, "D %s"},
      {"a failure before any message table", F({{".", "a", 0}}), READ_ERR_HEADER, "f:.|a|0 ", ""},
      // Under ASan a huge allocation would end the test.
      {"a huge count in a huge chunk at the end of the file",
       U32(CHUNK_REGISTRY) + U32(0xFFFFFF00u) + U32(0x30000000) + U32(0x80000001),
       READ_ERR_HEADER, "", ""},
      {"a length that wraps past 4 GB", U32(0x4444) + U32(0xFFFFFFF8u) + End(), READ_ERR_HEADER,
       "", ""},
  };
  // Whatever a count or length inside a chunk claims, nothing is read past
  // the chunk, and the chunk behind it is never read as part of it.
  std::string manyLongStrings = U16(1) + U16(20000);
  for (int i = 0; i < 20000; ++i) manyLongStrings += U16(0xFFFF);
  const std::pair<const char *, std::string> damaged[] = {
      {"two file records in 9 bytes", C(CHUNK_FILES, U32(2) + U32(0) + '\0')},
      {"a file name into the next chunk", C(CHUNK_FILES, U32(1) + Counted("d") + U16(40) + "ab")},
      {"a shortcut without its last string", C(CHUNK_SHORTCUTS, U32(1) + "\1" + Counted("a") + U16(0))},
      {"a registry count without its records", C(CHUNK_REGISTRY, U32(3) + U32(1))},
      {"a list chunk too short for its count", C(CHUNK_FILES, U16(0))},
      {"65535 messages in a few bytes", C(CHUNK_MESSAGES, U16(1) + U16(0xFFFF) + Counted("A"))},
      {"20000 strings of 0xFFFF bytes in 40 KB", C(CHUNK_MESSAGES, manyLongStrings)},
      {"a message into the next chunk", C(CHUNK_MESSAGES, U16(1) + U16(2) + U16(30) + "xy")},
      {"a table count without its string count", C(CHUNK_MESSAGES, U16(1))},
  };
  for (const auto &[what, chunk] : damaged) {
    rows.push_back({what, kErrors + chunk + M({"a chunk, never a string"}) + End(),
                    READ_ERR_HEADER, kErrorLists, "D %s"});
  }
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    ResetShownMessages();
    EXPECT_EQ(Read(row.block), row.code);
    EXPECT_EQ(Lists(), row.lists);
    EXPECT_EQ(UninstallSettings != nullptr, row.code == READ_OK);  // all-zero when none is read
    std::string shown = row.shown;
    if (shown.find("%s") != std::string::npos) shown.replace(shown.find("%s"), 2, path_);
    EXPECT_EQ(ShownMessageCount, row.code > 0 ? 1u : 0u);
    if (row.code > 0) EXPECT_EQ(LastShownMessage.text, shown);
    if (row.code > 0) EXPECT_STREQ(LastShownMessage.caption, LookupMessage(0, 0));
    ReleaseUninstallData();
    EXPECT_TRUE(!MessageTable[0] && !FileList && !ShortcutList && !RegistryList &&
                !DirectoryList && !UninstallSettings);
    EXPECT_EQ(FileListCount + ShortcutListCount + RegistryListCount + DirectoryListLength +
                  UninstallSettingsLength, 0u);
  }
  ResetShownMessages();  // no block, or no file: nothing read and nothing said
  EXPECT_EQ(ReadUninstallDataFile(path_.c_str(), 0), READ_ERR_NO_FILE);
  EXPECT_EQ(ReadUninstallDataFile("/nonexistent/quenrid/uninst.exe", 16), READ_ERR_NO_FILE);
  EXPECT_EQ(ShownMessageCount, 0u);
}

// Each allocation of a block that uses every chunk kind fails in turn: code 5
// for a raw body, 7 for anything else, exactly one message, and (under
// LeakSanitizer) no leak on any of these paths.
TEST_F(ReaderTest, EveryAllocationFailureIsReportedOnce) {
  std::vector<std::string> texts(16);
  texts[0] = "Caption";
  texts[5] = "No memory for a body: %s";
  texts[7] = "No memory: %s";
  const std::string block =
      M(texts) + F({{".", "a", 0}, {".\\b", "c", 1}}) + F({{"C:\\d", "", 0}}) +
      C(CHUNK_SHORTCUTS, EncodeShortcutsBody({{1, "s", "", "s.lnk"}})) +
      C(CHUNK_REGISTRY, EncodeRegistryBody({{0x80000001, "k"}, {0x80000002, "l"}})) +
      D(EncodeDirectoriesBody({"x"})) + D(EncodeDirectoriesBody({"y"})) +
      C(CHUNK_SETTINGS, EncodeSettingsBody({})) + End();
  FailNthAllocation(0);
  ASSERT_EQ(Read(block), READ_OK);
  const uint32_t needed = AllocationsSinceReset();
  const uint32_t forMessages = 2 + 16;  // the body, the table and its strings
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
    if (n > forMessages) {
      EXPECT_EQ(std::string(LastShownMessage.text),
                (code == READ_ERR_MEMORY ? "No memory: " : "No memory for a body: ") + path_);
    }
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
  ASSERT_EQ(Read(M({"", "Remove %s now?", "100% sure", "50%% of %s", "%s and %s", "%d%s%x", "%",
                    "<%s>", longText}) +
                 End()),
            READ_OK);
  const std::pair<int, int> lookups[] = {{0, 9}, {0, -1}, {1, 0}, {-1, 0}};
  for (const auto &[table, number] : lookups) EXPECT_STREQ(LookupMessage(table, number), "");
  const struct {
    int number;
    const char *argument;
    std::string expected;
  } cases[] = {
      {1, "C:\\App", "Remove C:\\App now?"}, {1, nullptr, "Remove  now?"},
      {2, "ignored", "100% sure"},           {3, "it", "50% of it"},
      // Only the one argument there is: further conversions stay text.
      {4, "A", "A and %s"},                  {5, "A", "%dA%x"},
      {6, "A", "%"},                         {7, longPath.c_str(), "<" + longPath.substr(0, 1022)},
      {8, "x", longText.substr(0, 1023)},    {9, "x", ""},
      {-1, "x", ""},
  };
  for (const auto &c : cases) EXPECT_EQ(Format(c.number, c.argument), c.expected) << c.number;
}

}  // namespace
