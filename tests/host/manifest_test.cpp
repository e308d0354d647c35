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

// The one-line error ParseManifest gives, or "" when it parses.
std::string ParseError(const std::string &json) {
  try {
    ParseManifest(json);
  } catch (const ManifestError &error) {
    return error.what();
  }
  return "";
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
  };
  for (const auto &c : cases) EXPECT_EQ(ParseError(c.first), c.second) << c.first;
}

TEST(ManifestParse, BadJsonNamesLineAndColumn) {
  const std::string error = ParseError("{\n  \"files\": [\n    {\"folder\": \"a\",}\n  ]\n}");
  EXPECT_EQ(error.rfind("parse error at line 3, column ", 0), 0u) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

TEST(CodePage, Cp1252CarriesEveryByteBothWays) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string utf8 = CodePageToUtf8(all, 1252);
  EXPECT_EQ(Utf8ToCodePage(utf8, 1252), all);
  EXPECT_EQ(CodePageToUtf8("\x80\x81\x9F", 1252), "\u20AC\u0081\u0178");
  EXPECT_EQ(Utf8ToCodePage("\u0160\u02DC\u00FF", 1252), "\x8A\x98\xFF");
}

TEST(CodePage, MissingCharactersAndBadInputAreNamed) {
  EXPECT_EQ(
      ParseError(
          R"({"files": [{"folder": "a"}, {"folder": "b"}, {"folder": "c", "fileName": "x\u4e2d"}]})"),
      "files[2].fileName: character U+4E2D has no encoding in code page 1252");
  EXPECT_EQ(ParseError(R"({"messages": ["\u0080"]})"),
            "messages[0]: character U+0080 has no encoding in code page 1252");
  EXPECT_EQ(ParseError(R"({"messages": ["\ud83d\ude00"]})"),
            "messages[0]: character U+1F600 has no encoding in code page 1252");
  EXPECT_THROW(Utf8ToCodePage("ab\xC3", 1252), CodePageError);
  EXPECT_THROW(Utf8ToCodePage("\xC0\xAF", 1252), CodePageError);  // over-long '/'
  EXPECT_THROW(CheckCodePage(65001), CodePageError);
}

TEST(CodePage, MultiByteCodePagesGoThroughTheSystem) {
  const std::string japanese = "\u65E5\u672C\u8A9E.txt";
  const std::string sjis = Utf8ToCodePage(japanese, 932);
  EXPECT_EQ(sjis, "\x93\xFA\x96\x7B\x8C\xEA.txt");
  EXPECT_EQ(CodePageToUtf8(sjis, 932), japanese);
  EXPECT_EQ(
      ParseManifest(R"({"codePage": 1252, "messages": ["\u65e5"]})", 932).manifest.messages[0],
      "\x93\xFA");
  try {
    CodePageToUtf8("ab\x81", 932);  // a lead byte with nothing behind it
    ADD_FAILURE() << "no error";
  } catch (const CodePageError &error) {
    EXPECT_STREQ(error.what(), "byte 0x81 at position 2 has no meaning in code page 932");
  }
  try {
    Utf8ToCodePage("\u00E9", 1251);
    ADD_FAILURE() << "no error";
  } catch (const CodePageError &error) {
    EXPECT_STREQ(error.what(), "character U+00E9 has no encoding in code page 1251");
  }
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
