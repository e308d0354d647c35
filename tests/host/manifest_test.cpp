// The manifest layer: the JSON schema, the places its errors name, and the
// code page conversion of its strings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/uninstall_data.h"
#include "manifest/code_page.h"
#include "manifest/manifest.h"

using namespace quenrid;

namespace {

// What pack makes of a manifest before it writes anything: the one-line
// error of parsing, of the uninstaller's use or of encoding, else the
// warnings, one per line, or "" for none.
std::string ParseError(const std::string &json) {
  try {
    const ManifestDocument document = ParseManifest(json);
    std::string warnings;
    for (const std::string &warning : CheckUsable(document)) warnings += "warning: " + warning + "\n";
    EncodeBlock(document.manifest);
    return warnings;
  } catch (const std::runtime_error &error) {
    return error.what();
  }
}

bool SameManifest(const Manifest &a, const Manifest &b) {
  const auto sameFile = [](const FileRecord &x, const FileRecord &y) {
    return x.folder == y.folder && x.fileName == y.fileName && x.flags == y.flags;
  };
  const auto sameShortcut = [](const ShortcutRecord &x, const ShortcutRecord &y) {
    return x.levels == y.levels && x.folder == y.folder && x.altFolder == y.altFolder &&
           x.fileName == y.fileName;
  };
  const auto sameEntry = [](const RegistryRecord &x, const RegistryRecord &y) {
    return x.rootKey == y.rootKey && x.keyPath == y.keyPath;
  };
  return a.messages == b.messages && a.directories == b.directories &&
         std::equal(a.files.begin(), a.files.end(), b.files.begin(), b.files.end(), sameFile) &&
         std::equal(a.shortcuts.begin(), a.shortcuts.end(), b.shortcuts.begin(), b.shortcuts.end(),
                    sameShortcut) &&
         std::equal(a.registry.begin(), a.registry.end(), b.registry.begin(), b.registry.end(),
                    sameEntry) &&
         a.settings.flags == b.settings.flags && a.settings.program == b.settings.program &&
         a.settings.document == b.settings.document;
}

const std::string kNotAFolder =
    R"(not a folder the uninstaller knows: "." or ".\sub" for the install folder, "X:\..." or )"
    R"("\\server\share\..." for an absolute one)";

}  // namespace

TEST(ManifestParse, ReadsEveryFieldOfTheSchema) {
  const ManifestDocument doc = ParseManifest(R"({
    "codePage": 1252,
    "messages": ["Caption", "Caf\u00e9 \u20ac"],
    "files": [{"folder": ".\\bin", "fileName": "tool.dll", "flags": ["sharedDll", "comServer", "0x80", 16]},
              {"folder": "C:\\Fonts"}],
    "shortcuts": [{"levels": 2, "folder": "F", "altFolder": "A", "fileName": "x.lnk"}, {"folder": "G"}],
    "registry": [{"root": "HKCU", "keyPath": "Software\\X"}, {"root": "0x80000005", "keyPath": "Y"},
                 {"root": 7, "keyPath": "Z"}],
    "directories": ["#InstallDir#\\data\\*.*"],
    "settings": {"flags": ["themedControls", 2147483648], "document": "readme.htm"}
  })");
  const Manifest &m = doc.manifest;
  EXPECT_EQ(doc.codePage, 1252u);
  EXPECT_EQ(m.messages, (std::vector<std::string>{"Caption", "Caf\xE9 \x80"}));
  ASSERT_EQ(m.files.size(), 2u);
  EXPECT_EQ(m.files[0].flags, FILE_FLAG_SHARED_DLL | FILE_FLAG_COM_SERVER | 0x80 | 0x10);
  EXPECT_EQ(m.files[1].fileName, "");
  EXPECT_EQ(m.files[1].flags, 0);
  ASSERT_EQ(m.shortcuts.size(), 2u);
  EXPECT_EQ(m.shortcuts[0].levels, 2);
  EXPECT_EQ(m.shortcuts[0].altFolder, "A");
  EXPECT_EQ(m.shortcuts[1].levels, 0);
  EXPECT_EQ(m.shortcuts[1].fileName, "");
  ASSERT_EQ(m.registry.size(), 3u);
  EXPECT_EQ(m.registry[0].rootKey, 0x80000001u);
  EXPECT_EQ(m.registry[1].rootKey, 0x80000005u);
  EXPECT_EQ(m.registry[2].rootKey, 7u);
  EXPECT_EQ(m.directories, (std::vector<std::string>{"#InstallDir#\\data\\*.*"}));
  EXPECT_EQ(m.settings.flags, SETTINGS_THEMED_CONTROLS | 0x80000000u);
  EXPECT_FALSE(m.settings.program.has_value());
  EXPECT_EQ(m.settings.document, "readme.htm");
}

TEST(ManifestParse, AnEmptyObjectIsAManifestWithNothingInIt) {
  const ManifestDocument doc = ParseManifest("{}");
  EXPECT_EQ(doc.codePage, kDefaultCodePage);
  EXPECT_TRUE(SameManifest(doc.manifest, Manifest()));
}

TEST(ManifestParse, ErrorsNameThePlace) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({"files": [{"folder": "a"}, {"folder": "b", "flag": []}]})",
       R"(files[1]: unknown key "flag" (known: folder, fileName, flags))"},
      {R"({"mesages": []})",
       R"(unknown key "mesages" (known: codePage, messages, files, shortcuts, registry, directories, settings))"},
      {R"({"files": [{"folder": "a"}, {"folder": "a", "folder": "b"}]})",
       R"(files[1]: duplicate key "folder")"},
      {R"({"settings": {"flags": []}, "settings": {}})", R"(duplicate key "settings")"},
      {R"({"files": [{"folder": 3}]})", "files[0].folder: expected a string, found number"},
      {R"({"files": [{"fileName": "x"}]})", R"(files[0]: missing key "folder")"},
      {R"({"shortcuts": [{"folder": "a", "levels": 256}]})",
       "shortcuts[0].levels: 256 is out of range (0-255)"},
      {R"({"shortcuts": [{"folder": "a", "levels": -1}]})",
       "shortcuts[0].levels: -1 is out of range (0-255)"},
      {R"({"shortcuts": [{"folder": "a", "levels": 1.5}]})",
       "shortcuts[0].levels: 1.5 is not a whole number"},
      {R"({"files": [{"folder": "a", "flags": ["font", 256]}]})",
       "files[0].flags[1]: 256 is out of range (0-255)"},
      {R"({"files": [{"folder": "a", "flags": ["fonts"]}]})",
       R"(files[0].flags[0]: unknown flag "fonts" (known: sharedDll, font, comServer or checkInUse, or a number))"},
      {R"({"files": [{"folder": "a", "flags": "font"}]})",
       "files[0].flags: expected an array of flags, found string"},
      {R"({"registry": [{"root": "HKEY_LOCAL", "keyPath": "k"}]})",
       R"(registry[0].root: unknown root "HKEY_LOCAL" (known: HKCR, HKCU, HKLM or HKU, or a number))"},
      {R"({"registry": [{"root": "0x1G", "keyPath": "k"}]})",
       R"(registry[0].root: "0x1G" is not a hexadecimal number)"},
      {R"({"registry": [{"root": "0x100000000", "keyPath": "k"}]})",
       "registry[0].root: 0x100000000 is out of range (0-4294967295)"},
      {R"({"messages": ["a", ["b"]]})", "messages[1]: expected a string, found array"},
      {R"({"codePage": 437})",
       "codePage: code page 437 is not a Windows ANSI code page (874, 932, 936, 949, 950 or "
       "1250-1258)"},
      {R"(["not", "an", "object"])", "expected the manifest to be an object, found array"},
      {R"({"files": [{"folder": "a"}, {"folder": "b"}, {"folder": "c", "fileName": "x\u4e2d"}]})",
       "files[2].fileName: character U+4E2D has no encoding in code page 1252"},
      {R"({"messages": ["\u0080"]})",
       "messages[0]: character U+0080 has no encoding in code page 1252"},
      {R"({"messages": ["\ud83d\ude00"]})",
       "messages[0]: character U+1F600 has no encoding in code page 1252"},
      // JSON has one kind of number: these are whole and in range.
      {R"({"messages": ["m"], "shortcuts": [{"folder": "C:\\a", "levels": 1e0}, {"folder": "C:\\b", "levels": -0}]})",
       ""},
      // What the uninstaller cannot use.
      {R"({"messages": ["m"], "files": [{"folder": "."}, {"folder": ".\\sub", "fileName": "a"},
          {"folder": "C:\\x"}, {"folder": "\\\\server\\share\\x"}, {"folder": "z:\\"}]})",
       ""},
      {R"({"files": [{"folder": "C:\\x"}, {"folder": ""}]})", "files[1].folder: " + kNotAFolder},
      {R"({"files": [{"folder": "bin", "fileName": "a"}]})", "files[0].folder: " + kNotAFolder},
      {R"({"files": [{"folder": "..\\Windows", "fileName": "a"}]})",
       "files[0].folder: " + kNotAFolder},
      {R"({"files": [{"folder": ".x", "fileName": "a"}]})", "files[0].folder: " + kNotAFolder},
      {R"({"files": [{"folder": "\\\\server", "fileName": "a"}]})",
       "files[0].folder: " + kNotAFolder},
      {R"({"files": [{"folder": ".\\bin", "fileName": "A.dll"}, {"folder": "C:\\x"},
          {"folder": ".\\BIN\\", "fileName": "a.DLL"}]})",
       "files[2]: names the same path as files[0] (compared without regard to case); a shared "
       "file would lose two counts"},
      {R"({"files": [{"folder": "C:\\Caf\u00e9", "fileName": "x"}, {"folder": "c:\\CAF\u00c9\\", "fileName": "X"}]})",
       "files[1]: names the same path as files[0] (compared without regard to case); a shared "
       "file would lose two counts"},
      {R"({"files": [{"folder": ".", "fileName": "a"}, {"folder": ".\\", "fileName": "a"}]})",
       "files[1]: names the same path as files[0] (compared without regard to case); a shared "
       "file would lose two counts"},
      {R"({"messages": ["m"], "files": [{"folder": "C:\\)" + std::string(254, 'f') + R"(", "fileName": "a"}]})",
       ""},
      {R"({"files": [{"folder": "C:\\)" + std::string(255, 'f') + R"(", "fileName": "a"}]})",
       "files[0]: the path is 260 bytes; the uninstaller's path buffer holds 259 and skips it"},
      {R"({"files": [{"folder": ".\\)" + std::string(255, 'f') + R"(", "fileName": "a"}]})",
       "files[0]: the path is 257 bytes below the install folder; with even the shortest install "
       "folder the uninstaller's path buffer of 259 bytes cannot hold it"},
      {R"({"messages": ["m"], "files": [{"folder": ".", "fileName": ")" + std::string(200, 'f') + R"("},
          {"folder": ".", "fileName": ")" + std::string(201, 'g') + R"("}]})",
       "warning: files[1]: the path is 201 bytes below the install folder; the uninstaller skips "
       "it when the install folder is longer than 58 bytes\n"},
      {R"({"shortcuts": [{"folder": "C:\\)" + std::string(250, 's') + R"(", "fileName": "run.lnk"}]})",
       "shortcuts[0]: the path is 261 bytes; the uninstaller's path buffer holds 259 and skips it"},
      {R"({"directories": [")" + std::string(257, 'd') + R"("]})",
       "directories[0]: the path is 257 bytes below the install folder; with even the shortest "
       "install folder the uninstaller's path buffer of 259 bytes cannot hold it"},
      {R"({"settings": {"program": "\")" + std::string(250, 'p') + R"(\" /remove"}})",
       "settings.program: the path is 260 bytes below the install folder; with even the "
       "shortest install folder the uninstaller's path buffer of 259 bytes cannot hold it"},
      {R"({"settings": {"document": ")" + std::string(520, 'd') + R"("}})",
       "settings.document: the document is 520 bytes; the uninstaller's buffer holds 519"},
      // Every string keeps to 65,535 bytes, the raw chunks' too.
      {R"({"directories": ["#InstallDir#)" + std::string(65524, 'd') + R"("]})",
       "directories[0]: 65536 bytes exceed the 65535 a string may hold"},
      {R"({"settings": {"program": "#InstallDir#)" + std::string(65524, 'p') + R"("}})",
       "settings.program: 65536 bytes exceed the 65535 a string may hold"},
      {R"({})", "warning: messages: none given; every dialog of the uninstaller would be blank\n"},
  };
  for (const auto &c : cases) EXPECT_EQ(ParseError(c.first), c.second) << c.first;
}

TEST(ManifestParse, BadJsonNamesLineAndColumn) {
  const std::string error = ParseError("{\n  \"files\": [\n    {\"folder\": \"a\",}\n  ]\n}");
  EXPECT_EQ(error.rfind("parse error at line 3, column ", 0), 0u) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

// One text per code page the tool offers, ending in a letter that a decoder
// could hold back, and the bytes Windows gives it.
TEST(CodePage, EveryCodePageRoundTrips) {
  const struct {
    unsigned codePage;
    std::string utf8;
    std::string bytes;
  } cases[] = {
      {874, "\u0E44\u0E17\u0E22", "\xE4\xB7\xC2"},
      {932, "\u65E5\u672C\u8A9E", "\x93\xFA\x96\x7B\x8C\xEA"},
      {936, "\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
      {949, "\uD55C\uAD6D", "\xC7\xD1\xB1\xB9"},
      {950, "\u4E2D\u6587", "\xA4\xA4\xA4\xE5"},
      {1250, "\u0141\u00F3d\u017A", "\xA3\xF3" "d\x9F"},
      {1251, "\u041F\u0440\u0438\u0432\u0435\u0442", "\xCF\xF0\xE8\xE2\xE5\xF2"},
      {1252, "Caf\u00E9 \u20AC\u0081\u0178", "Caf\xE9 \x80\x81\x9F"},
      {1253, "\u0393\u03B5\u03B9\u03AC", "\xC3\xE5\xE9\xDC"},
      {1254, "\u0130\u015F", "\xDD\xFE"},
      {1255, "\u05E9\u05DC\u05D5\u05DD", "\xF9\xEC\xE5\xED"},
      {1256, "\u0633\u0644\u0627\u0645", "\xD3\xE1\xC7\xE3"},
      {1257, "\u0104\u017E", "\xC0\xFE"},
      // A letter and a combining accent stay two characters: composed, they
      // would encode as another byte, another file name.
      {1258, "\u0110A\u0301", "\xD0" "A\xEC"},
  };
  for (const auto &c : cases) {
    for (const std::string &tail : {std::string(), std::string(" Product")}) {
      EXPECT_EQ(Utf8ToCodePage(c.utf8 + tail, c.codePage), c.bytes + tail) << c.codePage;
      EXPECT_EQ(CodePageToUtf8(c.bytes + tail, c.codePage), c.utf8 + tail) << c.codePage;
    }
    if (c.codePage == 932 || c.codePage == 936 || c.codePage == 949 || c.codePage == 950) continue;
    // In a single-byte page every byte that has a character comes back.
    for (int byte = 0; byte < 256; ++byte) {
      const std::string one(1, static_cast<char>(byte));
      try {
        EXPECT_EQ(Utf8ToCodePage(CodePageToUtf8(one, c.codePage), c.codePage), one)
            << c.codePage << " byte " << byte;
      } catch (const CodePageError &error) {
        EXPECT_NE(std::string(error.what()).find("has no meaning"), std::string::npos)
            << error.what();
      }
    }
  }
}

TEST(CodePage, TextThatDoesNotComeBackIsRefused) {
  const struct {
    std::string input;
    unsigned codePage;
    bool toCodePage;
    std::string error;
  } cases[] = {
      {"ab\x81", 932, false, "byte 0x81 at position 2 has no meaning in code page 932"},
      // Two byte pairs of 932 stand for U+7E8A; only one of them comes back.
      {"x\xED\x40", 932, false,
       "byte 0xED at position 1 has no meaning in code page 932 that reads back the same"},
      {"\u00E9", 1251, true, "character U+00E9 has no encoding in code page 1251"},
      // 1258 writes this letter only as a letter and an accent, which read
      // back as two characters.
      {"\u1EA0", 1258, true, "character U+1EA0 has no encoding in code page 1258"},
      {"ab\xC3", 1252, true, "invalid UTF-8 at byte 2"},
      {"\xC0\xAF", 1252, true, "invalid UTF-8 at byte 0"},  // over-long '/'
  };
  for (const auto &c : cases) {
    try {
      c.toCodePage ? Utf8ToCodePage(c.input, c.codePage) : CodePageToUtf8(c.input, c.codePage);
      ADD_FAILURE() << c.error << ": not refused";
    } catch (const CodePageError &error) {
      EXPECT_EQ(error.what(), c.error);
    }
  }
  EXPECT_THROW(CheckCodePage(65001), CodePageError);
  EXPECT_EQ(
      ParseManifest(R"({"codePage": 1252, "messages": ["\u65e5"]})", 932).manifest.messages[0],
      "\x93\xFA");
}

TEST(ManifestFormat, WhatItPrintsParsesBackToTheSameManifest) {
  Manifest m;
  m.messages = {"Caption", "", "Caf\xE9 \x80 \x81"};
  m.files = {{".\\bin", "a.dll", 0xFF}, {"C:\\x", "", 0}};
  m.shortcuts = {{255, "F", "", "x.lnk"}};
  m.registry = {{0x80000000u, "Software\\A"}, {0x80000004u, "B"}};
  m.directories = {"a\\*.*"};
  m.settings.flags = 0x80000001u;
  m.settings.program = "";
  const std::string json = FormatManifest(m, 1252);
  EXPECT_TRUE(SameManifest(ParseManifest(json).manifest, m)) << json;
  EXPECT_NE(json.find(R"("flags": [
        "sharedDll",
        "font",
        "comServer",
        "checkInUse",
        16,
        32,
        64,
        128
      ])"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find(R"("root": "0x80000004")"), std::string::npos) << json;
  EXPECT_EQ(json.find("document"), std::string::npos) << json;
}

TEST(ManifestFormat, BytesWithoutMeaningInTheCodePageAreNamed) {
  Manifest m;
  m.registry = {{0x80000001u, "ok"}, {0x80000001u, "\x81"}};
  try {
    FormatManifest(m, 932);
    ADD_FAILURE() << "no error";
  } catch (const ManifestError &error) {
    EXPECT_STREQ(error.what(),
                 "registry[1].keyPath: byte 0x81 at position 0 has no meaning in code page 932");
  }
}
