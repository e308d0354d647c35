// The writer: exact bytes of the canonical block, what the real reader makes
// of it, the limits it refuses, and the data offset field.
#include <functional>
#include <string>
#include <vector>

#include "block_file.h"
#include "pe_stub.h"

using namespace quenrid;

namespace {

// The kinds of the chunks of a block, in order, from their headers.
std::vector<uint16_t> ChunkKinds(const std::string &block) {
  std::vector<uint16_t> kinds;
  for (size_t at = 0; at + 8 <= block.size();) {
    const auto byte = [&](size_t i) {
      return static_cast<uint32_t>(static_cast<uint8_t>(block[at + i]));
    };
    kinds.push_back(static_cast<uint16_t>(byte(0) | byte(1) << 8));
    at += 8 + (byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24);
  }
  return kinds;
}

// Every field set, and values at the edges of what the format holds.
Manifest FullManifest() {
  Manifest m;
  m.messages = {"Caption", "", "Done %s"};
  m.files = {{".\\bin", "tool.dll", FILE_FLAG_SHARED_DLL | FILE_FLAG_COM_SERVER},
             {"C:\\Fonts", "", 0xFF},
             {std::string(300, 'f'), std::string(218, 'n'), 0}};
  m.shortcuts = {{255, "C:\\Menu\\Product", "C:\\Menu\\Alt", "Run.lnk"},
                 {0, std::string(777, 's'), "", ""}};
  m.registry = {{0x80000002u, "Software\\Product"}, {0x12345678u, std::string(519, 'k')}};
  m.directories = {"#InstallDir#\\data\\*.*", "logs\\*.log"};
  m.settings.flags = 0xFFFFFFFFu;
  m.settings.program = "#InstallDir#\\setup.exe /remove";
  m.settings.document = "";
  return m;
}

}  // namespace

TEST(WriterEncoding, SmallestBlockMatchesTheKnownBytes) {
  Manifest m;
  m.messages = {"A"};
  const std::string expected = Bytes({0x34, 0x12, 0,    0,    7,    0, 0, 0,    1, 0, 1, 0,
                                      1,    0,    0x41, 0x3A, 0x12, 0, 0, 0x0C, 0, 0, 0}) +
                               std::string(12, '\0') + Bytes({0x7F, 0x7F, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(EncodeBlock(m), expected);
}

TEST(WriterEncoding, ListChunksAppearOnlyWhenTheyHaveEntries) {
  EXPECT_EQ(ChunkKinds(EncodeBlock(Manifest())),
            (std::vector<uint16_t>{CHUNK_MESSAGES, CHUNK_SETTINGS, CHUNK_END}));
  Manifest m;
  m.registry = {{0x80000001u, "Software\\X"}};
  m.directories = {"a\\*.*"};
  EXPECT_EQ(ChunkKinds(EncodeBlock(m)),
            (std::vector<uint16_t>{CHUNK_MESSAGES, CHUNK_REGISTRY, CHUNK_DIRECTORIES,
                                   CHUNK_SETTINGS, CHUNK_END}));
  EXPECT_EQ(ChunkKinds(EncodeBlock(FullManifest())),
            (std::vector<uint16_t>{CHUNK_MESSAGES, CHUNK_FILES, CHUNK_SHORTCUTS, CHUNK_REGISTRY,
                                   CHUNK_DIRECTORIES, CHUNK_SETTINGS, CHUNK_END}));
}

TEST(WriterEncoding, RecordBodiesKeepTheFieldOrder) {
  EXPECT_EQ(EncodeFilesBody({{".\\bin", "a.dll", 0x05}}),
            U32(1) + Counted(".\\bin") + Counted("a.dll") + "\x05");
  EXPECT_EQ(EncodeShortcutsBody({{2, "F", "", "x.lnk"}}),
            U32(1) + "\x02" + Counted("F") + Counted("") + Counted("x.lnk"));
  EXPECT_EQ(EncodeRegistryBody({{0x80000003u, "K"}}), U32(1) + U32(0x80000003u) + Counted("K"));
  EXPECT_EQ(EncodeDirectoriesBody({"a", "bc"}), std::string("a\0bc\0\0", 6));
  EXPECT_EQ(EncodeChunk(CHUNK_SETTINGS, "xy", CHUNK_FLAG_REJECT),
            Bytes({0x3A, 0x12, 1, 0, 2, 0, 0, 0}) + "xy");
}

TEST(WriterEncoding, SettingsOffsetsPointIntoTheBody) {
  Settings both;
  both.flags = SETTINGS_THEMED_CONTROLS;
  both.program = "p";
  both.document = "doc";
  EXPECT_EQ(EncodeSettingsBody(both), U32(2) + U32(12) + U32(14) + std::string("p\0doc\0", 6));
  Settings documentOnly;
  documentOnly.document = "d";
  EXPECT_EQ(EncodeSettingsBody(documentOnly), U32(0) + U32(0) + U32(12) + std::string("d\0", 2));
}

using WriterReadBack = BlockFileTest;

TEST_F(WriterReadBack, TheReaderBuildsTheSameLists) {
  const Manifest m = FullManifest();
  ASSERT_EQ(Read(EncodeBlock(m)), READ_OK);
  EXPECT_EQ(ShownMessageCount, 0u);

  std::vector<std::string> messages;
  for (char **entry = MessageTable[0]; entry && *entry; ++entry) messages.push_back(*entry);
  EXPECT_EQ(messages, m.messages);

  ASSERT_EQ(FileListCount, m.files.size());
  for (size_t i = 0; i < m.files.size(); ++i) {
    EXPECT_EQ(FileList[i]->folder, m.files[i].folder) << i;
    EXPECT_EQ(FileList[i]->fileName, m.files[i].fileName) << i;
    EXPECT_EQ(FileList[i]->flags, m.files[i].flags) << i;
  }
  ASSERT_EQ(ShortcutListCount, m.shortcuts.size());
  for (size_t i = 0; i < m.shortcuts.size(); ++i) {
    EXPECT_EQ(ShortcutList[i]->levels, m.shortcuts[i].levels) << i;
    EXPECT_EQ(ShortcutList[i]->folder, m.shortcuts[i].folder) << i;
    EXPECT_EQ(ShortcutList[i]->altFolder, m.shortcuts[i].altFolder) << i;
    EXPECT_EQ(ShortcutList[i]->fileName, m.shortcuts[i].fileName) << i;
  }
  ASSERT_EQ(RegistryListCount, m.registry.size());
  for (size_t i = 0; i < m.registry.size(); ++i) {
    EXPECT_EQ(RegistryList[i]->rootKey, m.registry[i].rootKey) << i;
    EXPECT_EQ(RegistryList[i]->keyPath, m.registry[i].keyPath) << i;
  }
  EXPECT_EQ(std::string(DirectoryList, DirectoryListLength),
            m.directories[0] + '\0' + m.directories[1] + '\0' + '\0');
  EXPECT_EQ(SettingsFlags(), m.settings.flags);
  ASSERT_NE(SettingsString(SETTINGS_PROGRAM_AT), nullptr);
  EXPECT_EQ(SettingsString(SETTINGS_PROGRAM_AT), *m.settings.program);
  ASSERT_NE(SettingsString(SETTINGS_DOCUMENT_AT), nullptr);
  EXPECT_STREQ(SettingsString(SETTINGS_DOCUMENT_AT), "");
}

TEST_F(WriterReadBack, AbsentProgramAndDocumentReadAsNone) {
  Manifest m;
  m.settings.flags = SETTINGS_WAIT_FOR_PROGRAM;
  ASSERT_EQ(Read(EncodeBlock(m)), READ_OK);
  EXPECT_EQ(SettingsFlags(), SETTINGS_WAIT_FOR_PROGRAM);
  EXPECT_EQ(SettingsString(SETTINGS_PROGRAM_AT), nullptr);
  EXPECT_EQ(SettingsString(SETTINGS_DOCUMENT_AT), nullptr);
}

TEST(WriterLimits, RefusesWhatTheReaderWouldCutOrSkip) {
  struct Case {
    const char *what;
    std::function<void(Manifest &)> change;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"file strings over 518",
       [](Manifest &m) {
         m.files.push_back({std::string(300, 'f'), std::string(219, 'n'), 0});
       },
       "files[1]: folder and fileName together exceed 518 bytes"},
      {"shortcut strings over 777",
       [](Manifest &m) {
         m.shortcuts.push_back(
             {0, std::string(700, 'f'), std::string(70, 'a'), std::string(8, 'n')});
       },
       "shortcuts[0]: folder, altFolder and fileName together exceed 777 bytes"},
      {"registry path over 519",
       [](Manifest &m) {
         m.registry.push_back({0x80000001u, std::string(520, 'k')});
       },
       "registry[0].keyPath: 520 bytes exceed 519"},
      {"message over 65535 bytes",
       [](Manifest &m) { m.messages.push_back(std::string(65536, 'm')); },
       "messages[1]: 65536 bytes exceed the 65535 a string may hold"},
      {"more than 65535 messages", [](Manifest &m) { m.messages.resize(65536); },
       "messages: 65536 messages exceed the 65535 a table may hold"},
      {"NUL in a file name",
       [](Manifest &m) {
         m.files.push_back({".", std::string("a\0b", 3), 0});
       },
       "files[1].fileName: contains a NUL byte"},
      {"NUL in the program", [](Manifest &m) { m.settings.program = std::string("a\0", 2); },
       "settings.program: contains a NUL byte"},
      {"empty directory",
       [](Manifest &m) {
         m.directories = {"a", ""};
       },
       "directories[1]: is empty"},
      {"NUL in a directory", [](Manifest &m) { m.directories = {std::string("a\0b", 3)}; },
       "directories[0]: contains a NUL byte"},
  };
  for (const Case &c : cases) {
    Manifest m;
    m.messages = {"Caption"};
    m.files = {{".", "ok.txt", 0}};
    c.change(m);
    try {
      EncodeBlock(m);
      ADD_FAILURE() << c.what << ": not refused";
    } catch (const WriteError &error) {
      EXPECT_EQ(error.what(), c.error) << c.what;
    }
  }
}

TEST(WriterLimits, AcceptsEveryRecordExactlyAtItsLimit) {
  Manifest m;
  m.messages = {std::string(65535, 'm')};
  m.files = {{std::string(518, 'f'), "", 0}};
  m.shortcuts = {{0, std::string(259, 'a'), std::string(259, 'b'), std::string(259, 'c')}};
  m.registry = {{0x80000002u, std::string(519, 'k')}};
  EXPECT_NO_THROW(EncodeBlock(m));
}

// Every kind of stub pack and stamp meet, in both image formats: what each
// makes of it, or the error that refuses it.
TEST(StubTable, PackAndStampCutOnlyAWholeBlockBehindTheImage) {
  using pe_stub::kImageSize;
  const std::string block = EncodeBlock(Manifest());
  const std::string newBlock =
      EncodeChunk(CHUNK_MESSAGES, EncodeMessagesBody({"wwgT)H"})) + EncodeChunk(CHUNK_END, "");
  for (const uint16_t magic : {pe_stub::kPe32, pe_stub::kPe32Plus}) {
    const std::string stamped = pe_stub::Stamped(magic);
    const std::string packed = pe_stub::Image(magic, kImageSize) + block;
    const auto withField = [&](uint32_t field, const std::string &tail) {
      return pe_stub::Image(magic, field) + tail;
    };
    std::string twoMarkers = stamped;
    twoMarkers.replace(0x300, 10, "wwgT)H" + U32(0));
    std::string noPe = stamped;
    noPe[0x40] = 'X';
    std::string romMagic = stamped;
    romMagic[0x58] = 0x07;
    romMagic[0x59] = 0x01;
    std::string cutSection = stamped;
    cutSection.resize(0x500);
    const struct {
      const char *what;
      std::string stub;
      std::string packed;  // what pack makes, when it accepts the stub
      std::string error;   // or its error
    } cases[] = {
        {"stamped stub", stamped, stamped + newBlock, ""},
        {"packed uninstaller", packed, stamped + newBlock, ""},
        {"packed with the marker in its data", stamped + newBlock, stamped + newBlock, ""},
        {"field 0", withField(0, ""), "", "not stamped: the data offset field is 0"},
        {"field beyond the file", withField(5000, ""), "",
         "not stamped for this file: the data offset field holds 5000, beyond the end of the "
         "file (1536 bytes)"},
        {"field lowered into the image", withField(pe_stub::kFieldAt + 4, block), "",
         "the data offset field holds 1044, inside the image, which ends at 1536"},
        {"signature behind the image", withField(kImageSize, "SIGNATURE"), "",
         "the 9 bytes from offset 1536 to the end of the file are not an uninstall data block; "
         "they are not cut off"},
        {"bytes behind the block", packed + "X", "",
         "the 41 bytes from offset 1536 to the end of the file are not an uninstall data block; "
         "they are not cut off"},
        {"marker only behind the image",
         withField(0, "").substr(0, 0x300) + std::string(0x300, 'c') + "wwgT)H" + U32(1536), "",
         "no data offset marker in the image"},
        {"marker twice in the image", twoMarkers, "",
         "the data offset marker occurs more than once in the image"},
        {"no PE signature", noPe, "", "not a Windows executable: no PE signature"},
        {"not MZ", "MZ no marker", "", "not a Windows executable: shorter than an MZ header"},
        {"ROM image", romMagic, "", "not a PE32 or PE32+ image: optional header magic 0x107"},
        {"section past the end", cutSection, "",
         "the image's sections end at 1536, beyond the end of the file (1280 bytes)"},
    };
    for (const auto &c : cases) {
      const std::string label =
          std::string(c.what) + (magic == pe_stub::kPe32 ? " (PE32)" : " (PE32+)");
      try {
        const std::string result = PackBlock(c.stub, newBlock);
        EXPECT_EQ(c.error, "") << label;
        EXPECT_EQ(result, c.packed) << label;
        EXPECT_EQ(ReadDataOffset(result), kImageSize) << label;
      } catch (const WriteError &error) {
        EXPECT_EQ(error.what(), c.error) << label;
      }
    }
    EXPECT_EQ(StampStub(withField(0, "")), stamped);
    try {
      StampStub(packed);
      ADD_FAILURE() << "a packed uninstaller was stamped";
    } catch (const WriteError &error) {
      EXPECT_STREQ(error.what(),
                   "carries uninstall data at offset 1536; stamp the bare stub, not a packed "
                   "uninstaller");
    }
  }
}
