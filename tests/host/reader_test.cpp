// The stub's reader on blocks of every shape: what it builds, the code it
// returns, the one message it shows, and that release leaves nothing behind.
#include <string>
#include <vector>

#include "block_file.h"
#include "data/memory_posix.h"
#include "data/messages.h"

using namespace quenrid;

namespace {

std::string Messages(const std::vector<std::string> &texts) {
  return EncodeChunk(CHUNK_MESSAGES, EncodeMessagesBody(texts));
}
std::string Files(const std::vector<FileRecord> &files) {
  return EncodeChunk(CHUNK_FILES, EncodeFilesBody(files));
}
std::string Directories(const std::string &body, uint8_t flags = 0) {
  return EncodeChunk(CHUNK_DIRECTORIES, body, flags);
}
// A header as another tool might write it, the length unchecked.
std::string Header(uint16_t kind, uint32_t length) { return U16(kind) + U16(0) + U32(length); }

// A table whose failure messages name the file: 1 rejected, 5 and 7 no
// memory, 8 damaged; and what Lists() shows of it.
const std::string kErrors = Messages({"Cap", "R %s", "", "", "", "M %s", "", "N %s", "D %s"});
const std::string kErrorLists = "m:Cap m:R %s m: m: m: m:M %s m: m:N %s m:D %s ";

using ReaderTest = BlockFileTest;

TEST_F(ReaderTest, EachBlockGivesItsListsCodeAndMessage) {
  Settings settings;
  settings.flags = SETTINGS_WAIT_FOR_PROGRAM | 0x80;
  settings.program = "p.exe /x";
  settings.document = "bye.htm";
  const std::string rawSettings = EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody({}));
  const std::string big500 = std::string(500, 'f');
  std::string manyLongStrings = U16(1) + U16(20000);
  for (int i = 0; i < 20000; ++i) manyLongStrings += U16(0xFFFF);
  // A damaged chunk between the error table and a chunk it must never read into.
  const auto damaged = [](const std::string &chunk) {
    return kErrors + chunk + Messages({"read as a chunk, never as a string"}) + End();
  };
  const struct {
    const char *what;
    std::string block;
    int code;
    std::string lists;
    std::string shown = "";  // the one message shown on failure, %s the file
  } rows[] = {
      {"settings alone", rawSettings + End(), READ_OK, ""},
      {"no settings: an all-zero block", Messages({"T"}) + End(), READ_OK, "m:T "},
      {"settings fields", EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody(settings)) + End(),
       READ_OK, "set:29/129|p.exe /x|bye.htm"},
      {"settings offsets past the block and at a string without NUL",
       EncodeChunk(CHUNK_SETTINGS, U32(1) + U32(40) + U32(12) + "no NUL") + End(), READ_OK,
       "set:18/1|-|-"},
      {"a settings block too short for its fields", EncodeChunk(CHUNK_SETTINGS, U16(2)) + End(),
       READ_OK, "set:2/0|-|-"},
      {"empty chunks change nothing",
       EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody(settings)) + EncodeChunk(CHUNK_SETTINGS, "") +
           EncodeChunk(CHUNK_FILES, "") + EncodeChunk(CHUNK_REGISTRY, "") + End(),
       READ_OK, "set:29/129|p.exe /x|bye.htm"},
      {"zero counts", EncodeChunk(CHUNK_FILES, U32(0)) + EncodeChunk(CHUNK_SHORTCUTS, U32(0)) +
                          EncodeChunk(CHUNK_REGISTRY, U32(0)) + End(),
       READ_OK, ""},
      {"empty strings read as empty, not as the end",
       Messages({"", "x", ""}) + Files({{"", "", 0}}) + End(), READ_OK, "m: m:x m: f:||0 "},
      {"an end chunk with a body ends the reading",
       Messages({"first"}) + EncodeChunk(CHUNK_END, "tail") + Messages({"never"}) + "garbage",
       READ_OK, "m:first "},
      {"only the first message table",
       EncodeChunk(CHUNK_MESSAGES, U16(3) + U16(2) + Counted("one") + Counted("two") + U16(1) +
                                       Counted("second") + U16(1) + Counted("third")) +
           Files({{"C:\\x", "y", 0}}) + End(),
       READ_OK, "m:one m:two f:C:\\x|y|0 "},
      {"an empty later table keeps the earlier",
       Messages({"old", "kept"}) + EncodeChunk(CHUNK_MESSAGES, U16(1) + U16(0)) + End(), READ_OK,
       "m:old m:kept "},
      {"a later table replaces the earlier", Messages({"old", "gone"}) + Messages({"new"}) + End(),
       READ_OK, "m:new "},
      {"file chunks append in file order",
       Files({{".", "1", 2}, {".\\bin", "2", 0}}) +
           Files({{"C:\\b", "", 5}, {"C:\\c", "5", 0xF8}}) + End(),
       READ_OK, "f:.|1|2 f:.\\bin|2|0 f:C:\\b||5 f:C:\\c|5|248 "},
      {"directory chunks join", Directories({"a\0\0", 3}) + Directories({"b\0\0", 3}) + End(),
       READ_OK, "d:a/b// "},
      {"directories behind an unterminated list are dropped",
       Directories("ab") + Directories({"c\0\0", 3}) + End(), READ_OK, "d:ab "},
      {"trailing bytes in a list chunk and an unknown kind are skipped",
       EncodeChunk(CHUNK_FILES, EncodeFilesBody({{"C:\\d", "f", 0}}) + "trailing") +
           EncodeChunk(0x1238, "unknown kind") + Messages({"after"}) + End(),
       READ_OK, "m:after f:C:\\d|f|0 "},
      // 518 bytes of folder and name fit a file record, 777 a shortcut's, 519
      // a key; a record over its limit is skipped whole, and the next is read.
      {"records over the staging areas are skipped whole",
       EncodeChunk(CHUNK_FILES, U32(4) + Counted(big500) + Counted(std::string(18, 'n')) + "\1" +
                                    Counted(big500) + Counted(std::string(19, 'N')) + "\2" +
                                    Counted("g") + Counted(std::string(600, 'G')) + "\4" +
                                    Counted("h") + Counted("i") + "\x08") +
           EncodeChunk(CHUNK_SHORTCUTS, U32(2) + "\1" + Counted(std::string(700, 'a')) +
                                            Counted(std::string(70, 'b')) + Counted("cccccccc") +
                                            "\1" + Counted(std::string(700, 'a')) +
                                            Counted(std::string(70, 'b')) + Counted("ccccccc")) +
           EncodeChunk(CHUNK_REGISTRY, U32(2) + U32(0x80000001) + Counted(std::string(520, 'K')) +
                                           U32(0x80000001) + Counted(std::string(519, 'k'))) +
           Messages({"still read"}) + End(),
       READ_OK,
       "m:still read f:#500|#18|1 f:h|i|8 s:1|#700|#70|ccccccc r:80000001|#519 "},
      {"the reject flag counts only for raw chunks",
       EncodeChunk(CHUNK_FILES, EncodeFilesBody({{".", "x", 0}}), CHUNK_FLAG_REJECT) +
           Directories({"d\0\0", 3}, 0xFE) + End(),
       READ_OK, "f:.|x|0 d:d// "},
      {"a rejected settings body", kErrors + EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody({}), 1) + End(),
       READ_ERR_BODY, kErrorLists, "R %s"},
      {"a rejected directory body", Directories({"d\0\0", 3}, 0xFF) + End(), READ_ERR_BODY, "", ""},
      {"a raw body cut by the end of the file",
       kErrors + rawSettings.substr(0, rawSettings.size() - 3), READ_ERR_BODY, kErrorLists,
       "R %s"},
      // Damage: code 8, nothing of the damaged chunk kept, the table before it kept.
      {"chunks without an end", kErrors + Files({{".", "a", 0}}), READ_ERR_HEADER,
       kErrorLists + "f:.|a|0 ", "D %s"},
      {"a header cut short", kErrors + End().substr(0, 5), READ_ERR_HEADER, kErrorLists, "D %s"},
      {"a failure before any message table", Files({{".", "a", 0}}), READ_ERR_HEADER,
       "f:.|a|0 ", ""},
      {"two file records in 9 bytes",
       damaged(EncodeChunk(CHUNK_FILES, U32(2) + U16(0) + U16(0) + std::string(1, '\0'))),
       READ_ERR_HEADER, kErrorLists, "D %s"},
      {"a file name running into the next chunk",
       damaged(EncodeChunk(CHUNK_FILES, U32(1) + Counted("C:\\d") + U16(40) + "abc")),
       READ_ERR_HEADER, kErrorLists, "D %s"},
      {"a shortcut cut before its last string",
       damaged(EncodeChunk(CHUNK_SHORTCUTS, U32(1) + "\1" + Counted("a") + Counted(""))),
       READ_ERR_HEADER, kErrorLists, "D %s"},
      {"a registry count without its records",
       damaged(EncodeChunk(CHUNK_REGISTRY, U32(3) + U32(1))), READ_ERR_HEADER, kErrorLists,
       "D %s"},
      {"a list chunk too short for its count", damaged(EncodeChunk(CHUNK_FILES, U16(0))),
       READ_ERR_HEADER, kErrorLists, "D %s"},
      {"65535 messages in a few bytes",
       damaged(EncodeChunk(CHUNK_MESSAGES, U16(1) + U16(0xFFFF) + Counted("A"))),
       READ_ERR_HEADER, kErrorLists, "D %s"},
      {"20000 strings of 0xFFFF bytes in 40 KB",
       damaged(EncodeChunk(CHUNK_MESSAGES, manyLongStrings)), READ_ERR_HEADER, kErrorLists,
       "D %s"},
      {"a message running into the next chunk",
       damaged(EncodeChunk(CHUNK_MESSAGES, U16(1) + U16(2) + Counted("A") + U16(30) + "xy")),
       READ_ERR_HEADER, kErrorLists, "D %s"},
      {"a table count without its string count", damaged(EncodeChunk(CHUNK_MESSAGES, U16(1))),
       READ_ERR_HEADER, kErrorLists, "D %s"},
      // Under ASan a huge allocation would abort the test.
      {"a huge count in a huge chunk at the end of the file",
       Header(CHUNK_REGISTRY, 0xFFFFFF00u) + U32(0x30000000) + U32(0x80000001), READ_ERR_HEADER,
       "", ""},
      {"a length that wraps past 4 GB", Header(0x4444, 0xFFFFFFF8u) + End(), READ_ERR_HEADER, "",
       ""},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    ResetShownMessages();
    EXPECT_EQ(Read(row.block), row.code);
    EXPECT_EQ(Lists(), row.lists);
    EXPECT_EQ(UninstallSettings != nullptr, row.code == READ_OK);  // all-zero when none is read
    if (row.code > 0) {
      std::string shown = row.shown;
      if (shown.find("%s") != std::string::npos) shown.replace(shown.find("%s"), 2, path_);
      EXPECT_EQ(ShownMessageCount, 1u);
      EXPECT_EQ(LastShownMessage.text, shown);
      EXPECT_STREQ(LastShownMessage.caption, LookupMessage(0, 0));
    } else {
      EXPECT_EQ(ShownMessageCount, 0u);
    }
    ReleaseUninstallData();
    EXPECT_TRUE(!MessageTable[0] && !FileList && !ShortcutList && !RegistryList &&
                !DirectoryList && !UninstallSettings);
    EXPECT_EQ(FileListCount + ShortcutListCount + RegistryListCount + DirectoryListLength +
                  UninstallSettingsLength,
              0u);
  }
}

TEST_F(ReaderTest, NoBlockOrNoFileReadsNothingAndSaysNothing) {
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
      Messages(texts) + Files({{".", "a", 0}, {".\\b", "c", 1}}) + Files({{"C:\\d", "", 0}}) +
      EncodeChunk(CHUNK_SHORTCUTS, EncodeShortcutsBody({{1, "s", "", "s.lnk"}})) +
      EncodeChunk(CHUNK_REGISTRY, EncodeRegistryBody({{0x80000001, "k"}, {0x80000002, "l"}})) +
      Directories(EncodeDirectoriesBody({"x"})) + Directories(EncodeDirectoriesBody({"y"})) +
      EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody({})) + End();
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

}  // namespace
