#include <cstring>
#include <string>
#include <vector>

#include "block_file.h"
#include "data/memory_posix.h"
#include "data/messages.h"

using quenrid::EncodeChunk;
using quenrid::EncodeDirectoriesBody;
using quenrid::EncodeFilesBody;
using quenrid::EncodeMessagesBody;
using quenrid::EncodeRegistryBody;
using quenrid::EncodeSettingsBody;
using quenrid::EncodeShortcutsBody;

namespace {

std::string Messages(const std::vector<std::string> &texts) {
  return EncodeChunk(CHUNK_MESSAGES, EncodeMessagesBody(texts));
}

std::string Files(const std::vector<quenrid::FileRecord> &files) {
  return EncodeChunk(CHUNK_FILES, EncodeFilesBody(files));
}

// A table whose error messages name the file, to see what the reader shows.
std::string ErrorMessages() {
  std::vector<std::string> texts(16);
  texts[0] = "Caption";
  texts[1] = "Rejected %s";
  texts[5] = "No memory for %s";
  texts[7] = "Out of memory in %s";
  texts[8] = "Damaged: %s";
  return Messages(texts);
}

std::string DirectoryListBytes() { return std::string(DirectoryList, DirectoryListLength); }

}  // namespace

using ReaderTest = BlockFileTest;

TEST_F(ReaderTest, ReadsTheSmallestCompleteBlock) {
  std::string block = Bytes({0x34, 0x12, 0, 0, 7, 0, 0, 0, 1, 0, 1, 0, 1, 0, 0x41,
                             0x3A, 0x12, 0, 0, 0x0C, 0, 0, 0}) +
                      std::string(12, '\0') + Bytes({0x7F, 0x7F, 0, 0, 0, 0, 0, 0});
  ASSERT_EQ(block.size(), 43u);
  ASSERT_EQ(Read(block), READ_OK);
  EXPECT_STREQ(LookupMessage(0, 0), "A");
  EXPECT_STREQ(LookupMessage(0, 1), "");
  ASSERT_EQ(UninstallSettingsLength, 12u);
  EXPECT_EQ(SettingsFlags(), 0u);
  EXPECT_EQ(SettingsString(SETTINGS_PROGRAM_AT), nullptr);
  EXPECT_EQ(SettingsString(SETTINGS_DOCUMENT_AT), nullptr);
  EXPECT_EQ(FileListCount + ShortcutListCount + RegistryListCount + DirectoryListLength, 0u);
  EXPECT_EQ(ShownMessageCount, 0u);
}

TEST_F(ReaderTest, SettingsAloneGiveEmptyListsAndEmptyMessages) {
  ASSERT_EQ(Read(EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody({})) + End()), READ_OK);
  for (int n = 0; n < 16; ++n) EXPECT_STREQ(LookupMessage(0, n), "") << n;
  EXPECT_EQ(FileList, nullptr);
  EXPECT_EQ(DirectoryList, nullptr);
}

TEST_F(ReaderTest, MissingSettingsGiveAnAllZeroBlock) {
  ASSERT_EQ(Read(Messages({"T"}) + End()), READ_OK);
  ASSERT_NE(UninstallSettings, nullptr);
  ASSERT_EQ(UninstallSettingsLength, uint32_t{SETTINGS_FIXED_SIZE});
  EXPECT_EQ(std::string(reinterpret_cast<char *>(UninstallSettings), 12), std::string(12, '\0'));
}

TEST_F(ReaderTest, ChunksWithoutEndFailWithMessage8NamingTheFile) {
  EXPECT_EQ(Read(ErrorMessages() + Files({{".", "a.txt", 0}})), READ_ERR_HEADER);
  ASSERT_EQ(ShownMessageCount, 1u);
  EXPECT_EQ(std::string(LastShownMessage.text), "Damaged: " + path_);
  EXPECT_STREQ(LastShownMessage.caption, "Caption");
  EXPECT_EQ(LastShownMessage.style, 0x40u);
  // What was read before the failure stays until release.
  EXPECT_EQ(FileListCount, 1u);
}

TEST_F(ReaderTest, AHeaderCutShortIsAFailureToo) {
  std::string end = End();
  EXPECT_EQ(Read(ErrorMessages() + end.substr(0, 5)), READ_ERR_HEADER);
  EXPECT_EQ(ShownMessageCount, 1u);
}

TEST_F(ReaderTest, FailureBeforeTheMessagesShowsAnEmptyMessage) {
  EXPECT_EQ(Read(Files({{".", "a", 0}})), READ_ERR_HEADER);
  ASSERT_EQ(ShownMessageCount, 1u);
  EXPECT_STREQ(LastShownMessage.text, "");
  EXPECT_STREQ(LastShownMessage.caption, "");
}

TEST_F(ReaderTest, EndWithABodyStopsTheReading) {
  std::string block = Messages({"first"}) + EncodeChunk(CHUNK_END, "tail bytes") +
                      Messages({"never read"}) + "garbage";
  ASSERT_EQ(Read(block), READ_OK);
  EXPECT_STREQ(LookupMessage(0, 0), "first");
}

TEST_F(ReaderTest, EmptyChunksChangeNothing) {
  quenrid::Settings settings;
  settings.flags = SETTINGS_THEMED_CONTROLS;
  std::string block = EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody(settings)) +
                      EncodeChunk(CHUNK_SETTINGS, "") + EncodeChunk(CHUNK_FILES, "") +
                      EncodeChunk(CHUNK_REGISTRY, "") + End();
  ASSERT_EQ(Read(block), READ_OK);
  EXPECT_EQ(SettingsFlags(), uint32_t{SETTINGS_THEMED_CONTROLS});
  EXPECT_EQ(FileList, nullptr);
}

TEST_F(ReaderTest, OnlyTheFirstMessageTableIsLoaded) {
  std::string body = U16(3) + U16(2) + Counted("one") + Counted("two") + U16(1) + Counted("second table") +
                     U16(1) + Counted("third table");
  ASSERT_EQ(Read(EncodeChunk(CHUNK_MESSAGES, body) + Files({{"C:\\x", "y", 0}}) + End()), READ_OK);
  EXPECT_STREQ(LookupMessage(0, 0), "one");
  EXPECT_STREQ(LookupMessage(0, 1), "two");
  EXPECT_STREQ(LookupMessage(0, 2), "");
  EXPECT_STREQ(LookupMessage(1, 0), "");
  ASSERT_EQ(FileListCount, 1u);
  EXPECT_STREQ(FileList[0]->folder, "C:\\x");
}

TEST_F(ReaderTest, ALaterMessageTableReplacesAnEarlierOneUnlessEmpty) {
  std::string emptyTable = EncodeChunk(CHUNK_MESSAGES, U16(1) + U16(0));
  ASSERT_EQ(Read(Messages({"old", "kept"}) + emptyTable + End()), READ_OK);
  EXPECT_STREQ(LookupMessage(0, 1), "kept");
  ReleaseUninstallData();
  ASSERT_EQ(Read(Messages({"old", "gone"}) + Messages({"new"}) + End()), READ_OK);
  EXPECT_STREQ(LookupMessage(0, 0), "new");
  EXPECT_STREQ(LookupMessage(0, 1), "");
}

TEST_F(ReaderTest, FileChunksAppendInFileOrder) {
  std::string block =
      Files({{".", "1", FILE_FLAG_FONT}, {".\\bin", "2", 0}}) +
      Files({{"C:\\a", "3", 0}, {"C:\\b", "", FILE_FLAG_SHARED_DLL | FILE_FLAG_COM_SERVER},
             {"C:\\c", "5", 0xF0 | FILE_FLAG_CHECK_IN_USE}}) +
      End();
  ASSERT_EQ(Read(block), READ_OK);
  ASSERT_EQ(FileListCount, 5u);
  const char *names[] = {"1", "2", "3", "", "5"};
  for (uint32_t i = 0; i < 5; ++i) EXPECT_STREQ(FileList[i]->fileName, names[i]) << i;
  EXPECT_STREQ(FileList[1]->folder, ".\\bin");
  EXPECT_EQ(FileList[0]->flags, FILE_FLAG_FONT);
  EXPECT_EQ(FileList[3]->flags, FILE_FLAG_SHARED_DLL | FILE_FLAG_COM_SERVER);
  EXPECT_EQ(FileList[4]->flags, 0xF8);
  // Both strings live in the record's own allocation, folder first.
  EXPECT_EQ(FileList[1]->fileName, FileList[1]->folder + 6);
}

TEST_F(ReaderTest, ShortcutAndRegistryRecordsKeepEveryField) {
  quenrid::ShortcutRecord shortcut{3, "C:\\Menu\\Prog", "C:\\Alt", "Prog.lnk"};
  quenrid::RegistryRecord value{0x80000002, "Software\\Quenrid\\Sample"};
  std::string block = EncodeChunk(CHUNK_SHORTCUTS, EncodeShortcutsBody({shortcut, {0, "", "", ""}})) +
                      EncodeChunk(CHUNK_REGISTRY, EncodeRegistryBody({value})) + End();
  ASSERT_EQ(Read(block), READ_OK);
  ASSERT_EQ(ShortcutListCount, 2u);
  EXPECT_EQ(ShortcutList[0]->levels, 3u);
  EXPECT_STREQ(ShortcutList[0]->folder, "C:\\Menu\\Prog");
  EXPECT_STREQ(ShortcutList[0]->altFolder, "C:\\Alt");
  EXPECT_STREQ(ShortcutList[0]->fileName, "Prog.lnk");
  EXPECT_STREQ(ShortcutList[1]->folder, "");
  EXPECT_STREQ(ShortcutList[1]->altFolder, "");
  EXPECT_STREQ(ShortcutList[1]->fileName, "");
  ASSERT_EQ(RegistryListCount, 1u);
  EXPECT_EQ(RegistryList[0]->rootKey, 0x80000002u);
  EXPECT_STREQ(RegistryList[0]->keyPath, "Software\\Quenrid\\Sample");
}

TEST_F(ReaderTest, EmptyCountsGrowFileListsButAllocateNoRegistryList) {
  std::string block = EncodeChunk(CHUNK_FILES, U32(0)) + EncodeChunk(CHUNK_SHORTCUTS, U32(0)) +
                      EncodeChunk(CHUNK_REGISTRY, U32(0)) + End();
  ASSERT_EQ(Read(block), READ_OK);
  EXPECT_NE(FileList, nullptr);
  EXPECT_NE(ShortcutList, nullptr);
  EXPECT_EQ(RegistryList, nullptr);
  EXPECT_EQ(FileListCount + ShortcutListCount + RegistryListCount, 0u);
}

TEST_F(ReaderTest, DirectoryChunksJoinIntoOneList) {
  std::string block = EncodeChunk(CHUNK_DIRECTORIES, std::string("a\0\0", 3)) +
                      EncodeChunk(CHUNK_DIRECTORIES, std::string("b\0\0", 3)) + End();
  ASSERT_EQ(Read(block), READ_OK);
  EXPECT_EQ(DirectoryListBytes(), std::string("a\0b\0\0", 5));
}

TEST_F(ReaderTest, DirectoriesBehindAnUnterminatedListAreDropped) {
  std::string block = EncodeChunk(CHUNK_DIRECTORIES, "ab") +
                      EncodeChunk(CHUNK_DIRECTORIES, std::string("c\0\0", 3)) + End();
  ASSERT_EQ(Read(block), READ_OK);
  EXPECT_EQ(DirectoryListBytes(), "ab");
}

TEST_F(ReaderTest, TrailingBytesInAListChunkDoNotDisturbTheNext) {
  std::string files = EncodeFilesBody({{"C:\\d", "f", 0}}) + "unknown trailing bytes";
  std::string block = EncodeChunk(CHUNK_FILES, files) + EncodeChunk(0x1238, "skipped kind") +
                      Messages({"after"}) + End();
  ASSERT_EQ(Read(block), READ_OK);
  EXPECT_EQ(FileListCount, 1u);
  EXPECT_STREQ(LookupMessage(0, 0), "after");
}

TEST_F(ReaderTest, RejectFlagCountsOnlyForRawChunks) {
  ASSERT_EQ(Read(EncodeChunk(CHUNK_FILES, EncodeFilesBody({{".", "x", 0}}), CHUNK_FLAG_REJECT) +
                 End()),
            READ_OK);
  EXPECT_EQ(FileListCount, 1u);
  ReleaseUninstallData();

  std::string settings = EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody({}), CHUNK_FLAG_REJECT);
  EXPECT_EQ(Read(ErrorMessages() + settings + End()), READ_ERR_BODY);
  EXPECT_EQ(std::string(LastShownMessage.text), "Rejected " + path_);
  ReleaseUninstallData();

  // Other bits of the flags byte are ignored.
  std::string directories = EncodeChunk(CHUNK_DIRECTORIES, std::string("d\0\0", 3), 0xFE);
  EXPECT_EQ(Read(directories + End()), READ_OK);
  EXPECT_EQ(DirectoryListLength, 3u);
  EXPECT_EQ(Read(EncodeChunk(CHUNK_DIRECTORIES, std::string("d\0\0", 3), 0xFF) + End()),
            READ_ERR_BODY);
}

TEST_F(ReaderTest, ARawBodyCutByTheEndOfTheFileIsCode1) {
  std::string settings = EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody({}));
  EXPECT_EQ(Read(ErrorMessages() + settings.substr(0, settings.size() - 3)), READ_ERR_BODY);
  EXPECT_EQ(UninstallSettings, nullptr);
  EXPECT_EQ(ShownMessageCount, 1u);
}

TEST_F(ReaderTest, EmptyStringsReadAsEmptyNotNull) {
  ASSERT_EQ(Read(Messages({"", "x", ""}) + Files({{"", "", 0}}) + End()), READ_OK);
  ASSERT_NE(MessageTable[0][0], nullptr);
  EXPECT_STREQ(LookupMessage(0, 0), "");
  EXPECT_STREQ(LookupMessage(0, 1), "x");
  ASSERT_EQ(FileListCount, 1u);
  EXPECT_STREQ(FileList[0]->folder, "");
  EXPECT_STREQ(FileList[0]->fileName, "");
}

TEST_F(ReaderTest, RecordsBeyondTheStagingAreaAreSkippedWhole) {
  // 518 bytes of folder and name fit a file record; 519 do not.
  std::string fits = U16(500) + std::string(500, 'f') + U16(18) + std::string(18, 'n') + "\x01";
  std::string tooLong = U16(500) + std::string(500, 'F') + U16(19) + std::string(19, 'N') + "\x02";
  std::string nameTooLong = U16(1) + "g" + U16(600) + std::string(600, 'G') + "\x04";
  std::string after = U16(1) + "h" + U16(1) + "i" + "\x08";
  std::string block = EncodeChunk(CHUNK_FILES, U32(4) + fits + tooLong + nameTooLong + after) +
                      Messages({"still read"}) + End();
  ASSERT_EQ(Read(block), READ_OK);
  ASSERT_EQ(FileListCount, 2u);
  EXPECT_EQ(std::strlen(FileList[0]->folder), 500u);
  EXPECT_EQ(FileList[0]->flags, 1);
  EXPECT_STREQ(FileList[1]->folder, "h");
  EXPECT_STREQ(FileList[1]->fileName, "i");
  EXPECT_EQ(FileList[1]->flags, 8);
  EXPECT_STREQ(LookupMessage(0, 0), "still read");
}

TEST_F(ReaderTest, ShortcutAndRegistryLimits) {
  std::string shortcutFits = "\x01" + Counted(std::string(700, 'a')) + Counted(std::string(70, 'b')) +
                             Counted(std::string(7, 'c'));
  std::string shortcutTooLong = "\x01" + Counted(std::string(700, 'a')) + Counted(std::string(70, 'b')) +
                                Counted(std::string(8, 'c'));
  std::string keyFits = U32(0x80000001) + Counted(std::string(519, 'k'));
  std::string keyTooLong = U32(0x80000001) + Counted(std::string(520, 'K'));
  std::string block = EncodeChunk(CHUNK_SHORTCUTS, U32(2) + shortcutTooLong + shortcutFits) +
                      EncodeChunk(CHUNK_REGISTRY, U32(2) + keyTooLong + keyFits) + End();
  ASSERT_EQ(Read(block), READ_OK);
  ASSERT_EQ(ShortcutListCount, 1u);
  EXPECT_EQ(std::strlen(ShortcutList[0]->fileName), 7u);
  ASSERT_EQ(RegistryListCount, 1u);
  EXPECT_EQ(std::strlen(RegistryList[0]->keyPath), 519u);
}

// Whatever a count or length inside a chunk claims, nothing is read past the
// chunk: a body that cannot hold what it declares is damage (code 8), and the
// chunk it claims to run into is never read as part of it.
TEST_F(ReaderTest, WhatAChunkCannotHoldIsDamage) {
  const std::string nextChunk = Messages({"read as a chunk, never as a string"});
  std::string manyLongStrings = U16(1) + U16(20000);
  for (int i = 0; i < 20000; ++i) manyLongStrings += U16(0xFFFF);
  const struct {
    const char *name;
    std::string chunk;
  } cases[] = {
      {"two file records need 10 bytes, the body has 4 + 5",
       EncodeChunk(CHUNK_FILES, U32(2) + U16(0) + U16(0) + std::string(1, '\0'))},
      {"a file name running into the next chunk",
       EncodeChunk(CHUNK_FILES, U32(1) + Counted("C:\\d") + U16(40) + "abc")},
      {"a shortcut record cut before its last string",
       EncodeChunk(CHUNK_SHORTCUTS, U32(1) + Bytes({1}) + Counted("a") + Counted(""))},
      {"a registry count without its records", EncodeChunk(CHUNK_REGISTRY, U32(3) + U32(1))},
      {"a list chunk too short for its count", EncodeChunk(CHUNK_FILES, U16(0))},
      {"65535 messages declared in a few bytes",
       EncodeChunk(CHUNK_MESSAGES, U16(1) + U16(0xFFFF) + Counted("A"))},
      {"20000 strings of 0xFFFF bytes each in 40 KB", EncodeChunk(CHUNK_MESSAGES, manyLongStrings)},
      {"a message running into the next chunk",
       EncodeChunk(CHUNK_MESSAGES, U16(1) + U16(2) + Counted("A") + U16(30) + "xy")},
      {"a table count without its string count", EncodeChunk(CHUNK_MESSAGES, U16(1))},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ResetShownMessages();
    EXPECT_EQ(Read(ErrorMessages() + c.chunk + nextChunk + End()), READ_ERR_HEADER);
    EXPECT_EQ(FileList == nullptr ? 0u : FileListCount, 0u);
    EXPECT_EQ(ShortcutListCount + RegistryListCount, 0u);
    // A damaged table never replaces the one that words the failure.
    ASSERT_EQ(ShownMessageCount, 1u);
    EXPECT_EQ(std::string(LastShownMessage.text), "Damaged: " + path_);
    ReleaseUninstallData();
  }
  // A huge count in a huge chunk at the end of the file: no huge allocation.
  ChunkHeader header{CHUNK_REGISTRY, 0, 0, 0xFFFFFF00u};
  std::string raw(reinterpret_cast<char *>(&header), sizeof header);
  EXPECT_EQ(Read(raw + U32(0x30000000) + U32(0x80000001)), READ_ERR_HEADER);
  EXPECT_EQ(RegistryList, nullptr);
}

TEST_F(ReaderTest, ALengthRunningPast4GBEndsTheReading) {
  ChunkHeader header{0x4444, 0, 0, 0xFFFFFFF8u};
  std::string raw(reinterpret_cast<char *>(&header), sizeof header);
  EXPECT_EQ(Read(raw + End()), READ_ERR_HEADER);
}

TEST_F(ReaderTest, NoBlockOrNoFileReadsNothingAndSaysNothing) {
  EXPECT_EQ(ReadUninstallDataFile(path_.c_str(), 0), READ_ERR_NO_FILE);
  EXPECT_EQ(ReadUninstallDataFile("/nonexistent/quenrid/uninst.exe", 16), READ_ERR_NO_FILE);
  EXPECT_EQ(ShownMessageCount, 0u);
}

TEST_F(ReaderTest, SettingsStringsMustLieInsideTheirBlock) {
  quenrid::Settings settings;
  settings.flags = SETTINGS_WAIT_FOR_PROGRAM | 0x80;
  settings.program = "#InstallDir#\\setup.exe /remove";
  settings.document = "https://example.org/bye";
  ASSERT_EQ(Read(EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody(settings)) + End()), READ_OK);
  EXPECT_EQ(SettingsFlags(), 0x81u);
  EXPECT_STREQ(SettingsString(SETTINGS_PROGRAM_AT), "#InstallDir#\\setup.exe /remove");
  EXPECT_STREQ(SettingsString(SETTINGS_DOCUMENT_AT), "https://example.org/bye");
  ReleaseUninstallData();

  // Offsets past the block, at a string without its NUL, and a short block.
  std::string body = U32(1) + U32(40) + U32(12) + "no terminator";
  ASSERT_EQ(Read(EncodeChunk(CHUNK_SETTINGS, body) + End()), READ_OK);
  EXPECT_EQ(SettingsString(SETTINGS_PROGRAM_AT), nullptr);
  EXPECT_EQ(SettingsString(SETTINGS_DOCUMENT_AT), nullptr);
  ReleaseUninstallData();
  ASSERT_EQ(Read(EncodeChunk(CHUNK_SETTINGS, "\x02\x00") + End()), READ_OK);
  EXPECT_EQ(SettingsFlags(), 0u);
  EXPECT_EQ(SettingsString(SETTINGS_DOCUMENT_AT), nullptr);
}

TEST_F(ReaderTest, ReleaseEmptiesEveryList) {
  std::string block = Messages({"m"}) + Files({{".", "f", 0}}) +
                      EncodeChunk(CHUNK_SHORTCUTS, EncodeShortcutsBody({{1, "a", "b", "c"}})) +
                      EncodeChunk(CHUNK_REGISTRY, EncodeRegistryBody({{0x80000001, "k"}})) +
                      EncodeChunk(CHUNK_DIRECTORIES, EncodeDirectoriesBody({"d"})) + End();
  ASSERT_EQ(Read(block), READ_OK);
  ReleaseUninstallData();
  EXPECT_EQ(MessageTable[0], nullptr);
  EXPECT_EQ(FileList, nullptr);
  EXPECT_EQ(ShortcutList, nullptr);
  EXPECT_EQ(RegistryList, nullptr);
  EXPECT_EQ(DirectoryList, nullptr);
  EXPECT_EQ(UninstallSettings, nullptr);
  EXPECT_EQ(FileListCount + ShortcutListCount + RegistryListCount + DirectoryListLength +
                UninstallSettingsLength,
            0u);
  EXPECT_STREQ(LookupMessage(0, 0), "");
}

// Each allocation of a block that uses every chunk kind fails in turn: the
// reader reports code 5 for a raw body and 7 for anything else, shows exactly
// one message, and (under LeakSanitizer) leaks nothing on any of these paths.
TEST_F(ReaderTest, EveryAllocationFailureIsReportedOnce) {
  std::vector<std::string> texts(16);
  texts[0] = "Caption";
  texts[5] = "No memory for a body: %s";
  texts[7] = "No memory: %s";
  std::string block =
      Messages(texts) + Files({{".", "a", 0}, {".\\b", "c", 1}}) + Files({{"C:\\d", "", 0}}) +
      EncodeChunk(CHUNK_SHORTCUTS, EncodeShortcutsBody({{1, "s", "", "s.lnk"}})) +
      EncodeChunk(CHUNK_REGISTRY, EncodeRegistryBody({{0x80000001, "k"}, {0x80000002, "l"}})) +
      EncodeChunk(CHUNK_DIRECTORIES, EncodeDirectoriesBody({"x"})) +
      EncodeChunk(CHUNK_DIRECTORIES, EncodeDirectoriesBody({"y"})) +
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
    int code = Read(block);
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
