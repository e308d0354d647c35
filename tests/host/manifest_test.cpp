// The manifest layer: every field parsed and printed back, what pack and lint
// print for each manifest, and the code page conversion of its strings.
#include <algorithm>

#include "block_file.h"
#include "manifest/code_page.h"
#include "manifest/lint.h"
#include "manifest/manifest.h"

using namespace quenrid;

namespace {

// A whole message table, so that the lint finds only what a row adds; the
// file phase's two questions unset, as an unattended run wants them.
std::string With(const std::string &fields, const std::string &readOnly = "",
                 const std::string &shared = "") {
  return R"({"messages": ["Cap", "Remove?", "", "Y", "YA", "N", "NA", "Memory %s", "Damaged %s", ")" +
         readOnly + R"(", ")" + shared + R"(", "F", "S", "E", "R", "In use"], )" + fields + "}";
}

// What pack and lint print for a manifest: the one-line error of parsing, of
// the uninstaller's use or of encoding; else the warnings, then the findings.
std::vector<std::string> Lines(const std::string &json) {
  std::vector<std::string> lines;
  const std::string error = ErrorOf([&] {
    const ManifestDocument document = ParseManifest(json);
    for (const std::string &warning : CheckUsable(document)) lines.push_back("warning: " + warning);
    EncodeBlock(document.manifest);
    for (const std::string &finding : LintManifest(document.manifest)) lines.push_back(finding);
  });
  return error.empty() ? lines : std::vector<std::string>{error};
}

// The block holds every field and tells an absent string from an empty one.
std::string Block(const std::string &json) { return EncodeBlock(ParseManifest(json).manifest); }

TEST(Manifest, EveryFieldParsesAndPrintsBack) {
  Manifest m;
  m.messages = {"Caf\xE9 \x80 \x81", ""};
  m.files = {{".\\bin", "tool.dll", 0xFF}, {"C:\\Fonts", "", 0}};
  m.shortcuts = {{2, "F", "A", "x.lnk"}, {0, "G", "", ""}};
  m.registry = {{0x80000001u, "Software\\X"}, {0x80000005u, "Y"}, {7, "Z"}};
  m.directories = {"#InstallDir#\\data\\*.*"};
  m.settings = {SETTINGS_THEMED_CONTROLS | 0x80000000u, {}, "readme.htm"};
  // Flags and roots by name, as numbers and as hexadecimal text.
  const std::string json = R"({"codePage": 1252, "messages": ["Caf\u00e9 \u20ac \u0081", ""],
    "files": [{"folder": ".\\bin", "fileName": "tool.dll",
               "flags": ["sharedDll", "font", "comServer", "checkInUse", "0x80", 16, 32, 64]},
              {"folder": "C:\\Fonts"}],
    "shortcuts": [{"levels": 2, "folder": "F", "altFolder": "A", "fileName": "x.lnk"},
                  {"folder": "G"}],
    "registry": [{"root": "HKCU", "keyPath": "Software\\X"}, {"root": "0x80000005", "keyPath": "Y"},
                 {"root": 7, "keyPath": "Z"}], "directories": ["#InstallDir#\\data\\*.*"],
    "settings": {"flags": ["themedControls", 2147483648], "document": "readme.htm"}})";
  EXPECT_EQ(ParseManifest(json).codePage, 1252u);
  EXPECT_EQ(Block(json), EncodeBlock(m));
  EXPECT_EQ(Block(FormatManifest(m, 1252)), EncodeBlock(m)) << FormatManifest(m, 1252);
  m.settings.program = "";
  EXPECT_EQ(Block(FormatManifest(m, 1252)), EncodeBlock(m)) << FormatManifest(m, 1252);
  EXPECT_EQ(ParseManifest("{}").codePage, kDefaultCodePage);
  m = Manifest();
  m.registry = {{0x80000001u, "ok"}, {0x80000001u, "\x81"}};
  EXPECT_EQ(ErrorOf([&] { FormatManifest(m, 932); }),
            "registry[1].keyPath: byte 0x81 at position 0 has no meaning in code page 932");
}

// Each manifest and the start of each line printed for it: an error with its
// place; or warnings and lint findings, each rule with data that makes it fire
// and data that does not.
TEST(Manifest, EachManifestGivesItsErrorOrWarningsAndFindings) {
  const auto file = [](const std::string &folder, const std::string &name = "a") {
    return R"({"files": [{"folder": ")" + folder + R"(", "fileName": ")" + name + R"("}]})";
  };
  const auto one = [](const std::string &list, const std::string &entry) {
    return R"({")" + list + R"(": [)" + entry + "]}";
  };
  std::string many = R"({"messages": [)";
  for (int i = 0; i < 65535; ++i) many += R"("", )";
  many += R"(""]})";
  const std::string f(255, 'f'), same = ": names the same path as files[0]";
  const std::string folder = ".folder: not a folder the", program = R"("settings": {"program": )";
  const std::string guard = " is a key the system or many products share";
  const std::string unquoted = "settings.program: holds a blank but its program is not in quotes";
  const std::string empty = ": a progress caption is empty", button = ": a button of the read-only";
  const struct {
    std::string json;
    std::vector<std::string> lines;
  } rows[] = {
      {"{\n  \"files\": [\n    {\"folder\": \"a\",}\n  ]\n}", {"parse error at line 3, column 20"}},
      {R"({"mesages": []})", {R"(unknown key "mesages" (known: codePage, messages, files,)"}},
      {R"({"files": [{"folder": "a"}, {"folder": "b", "flag": []}]})", {"files[1]: unknown key"}},
      {R"({"files": [{"folder": "a"}, {"folder": "a", "folder": "b"}]})",
       {R"(files[1]: duplicate key "folder")"}},
      {one("files", R"({"folder": 3})"), {"files[0].folder: expected a string, found number"}},
      {one("files", R"({"fileName": "x"})"), {R"(files[0]: missing key "folder")"}},
      {one("shortcuts", R"({"folder": "a", "levels": -1})"), {"shortcuts[0].levels: -1 is out"}},
      {one("shortcuts", R"({"folder": "a", "levels": 1.5})"), {"shortcuts[0].levels: 1.5 is not"}},
      {one("files", R"({"folder": "a", "flags": ["font", 256]})"), {"files[0].flags[1]: 256 is"}},
      {one("files", R"({"folder": "a", "flags": ["fonts"]})"), {"files[0].flags[0]: unknown flag"}},
      {one("files", R"({"folder": "a", "flags": "font"})"), {"files[0].flags: expected an array"}},
      {one("registry", R"({"root": "HKEY_LOCAL", "keyPath": "k"})"), {"registry[0].root: unknown"}},
      {one("registry", R"({"root": "0x1G", "keyPath": "k"})"), {"registry[0].root: \"0x1G\" is"}},
      {one("registry", R"({"root": "0x100000000", "keyPath": "k"})"),
       {"registry[0].root: 0x100000000 is out of range"}},
      {R"({"codePage": 437})", {"codePage: code page 437 is not a Windows ANSI code page"}},
      {R"({"files": [{"folder": "a"}, {"folder": "c", "fileName": "\ud83d\ude00"}]})",
       {"files[1].fileName: character U+1F600 has no encoding in code page 1252"}},
      // JSON has one kind of number: these are whole and in range.
      {With(R"("shortcuts": [{"folder": "C:\\a", "levels": 1e0}, {"folder": "C:", "levels": -0}])"),
       {}},
      // The forms of folder the uninstaller knows, and others.
      {With(R"("files": [{"folder": "."}, {"folder": ".\\sub", "fileName": "a"}, {"folder": "z:\\"},
                         {"folder": "C:\\x"}, {"folder": "\\\\server\\share\\x"}])"),
       {"files[2].folder: is on drive Z:, not on C: with the install folder"}},
      // Spellings the machine resolves: short names, namespace prefixes, and a
      // drive other than the one most files are on.
      {With(R"("files": [{"folder": "C:\\PROGRA~1\\Vendor"}, {"folder": "C:\\Vendor"},
                         {"folder": "\\\\?\\C:\\Vendor"}],
               "shortcuts": [{"folder": "C:\\Menu", "altFolder": "S:\\Menu"}],
               "directories": ["##C:\\DOCUME~1\\*.*", "#InstallDir#\\file~1.txt\\*.*",
                               "#Nope#//./C:\\x\\*.*"])"),
       {"files[0].folder: \"PROGRA~1\" looks like a short (8.3) name",
        R"(files[2].folder: starts with "\\?\", a namespace)",
        "shortcuts[0].altFolder: is on drive S:, not on C:",
        "directories[0]: \"DOCUME~1\" looks like a short (8.3) name",
        "directories[1]: \"file~1.txt\" looks like a short (8.3) name",
        R"(directories[2]: starts with "//./", a namespace)", R"(directories[0]: "##" is no macro)",
        R"(directories[2]: "#Nope#" is no macro)"}},
      {R"({"files": [{"folder": "C:\\x"}, {"folder": ""}]})", {"files[1]" + folder}},
      {file("bin"), {"files[0]" + folder}},
      {file("..\\\\Windows"), {"files[0]" + folder}},
      {file(".x"), {"files[0]" + folder}},
      {file("\\\\\\\\server"), {"files[0]" + folder}},
      // Two records of one path, compared without regard to case.
      {R"({"files": [{"folder": ".\\bin", "fileName": "A.dll"}, {"folder": "C:\\x"},
                     {"folder": ".\\BIN\\", "fileName": "a.DLL"}]})",
       {"files[2]" + same}},
      {R"({"files": [{"folder": "C:\\Caf\u00e9", "fileName": "x"},
                     {"folder": "c:\\CAF\u00c9\\", "fileName": "X"}]})",
       {"files[1]" + same}},
      {R"({"files": [{"folder": ".", "fileName": "a"}, {"folder": ".\\", "fileName": "a"}]})",
       {"files[1]" + same}},
      // Paths against the uninstaller's buffers of 260 bytes.
      {With(R"("files": [{"folder": "C:\\)" + f.substr(1) + R"(", "fileName": "a"}])"), {}},
      {file("C:\\\\" + f), {"files[0]: the path is 260 bytes; the uninstaller's path buffer"}},
      {file(".\\\\" + f), {"files[0]: the path is 257 bytes below the install folder; with even"}},
      {With(R"("files": [{"folder": ".", "fileName": ")" + std::string(200, 'f') +
            R"("}, {"folder": ".", "fileName": ")" + std::string(201, 'g') + R"("}])"),
       {"warning: files[1]: the path is 201 bytes below the install folder; the uninstaller "
        "skips it when the install folder is longer than 58 bytes"}},
      {one("shortcuts", R"({"folder": "C:\\)" + std::string(256, 's') + R"(", "fileName": "a"})"),
       {"shortcuts[0]: the path is 261 bytes;"}},
      {one("directories", '"' + std::string(257, 'd') + '"'), {"directories[0]: the path is 257"}},
      {R"({"settings": {"program": "\")" + std::string(250, 'p') + R"(\" /remove"}})",
       {"settings.program: the path is 260 bytes"}},
      {R"({"settings": {"document": "C:\\)" + std::string(517, 'd') + R"("}})",
       {"settings.document: the document is 520 bytes; the uninstaller's buffer holds 519"}},
      // What the block cannot hold, or would hold as another path.
      {file(".", "a\\u0000b"), {"files[0].fileName: contains a NUL byte"}},
      {R"({"settings": {"program": "a\u0000"}})", {"settings.program: contains a NUL byte"}},
      {one("directories", R"("a\u0000b")"), {"directories[0]: contains a NUL byte"}},
      {one("directories", R"("a", "")"), {"directories[1]: is empty"}},
      {one("registry", R"({"root": "HKCU", "keyPath": ")" + std::string(520, 'k') + R"("})"),
       {"registry[0].keyPath: 520 bytes exceed 519"}},
      {many, {"messages: 65536 messages exceed the 65535 a table may hold"}},
      // Every string keeps to 65,535 bytes, the raw chunks' too.
      {one("messages", '"' + std::string(65536, 'm') + '"'), {"messages[0]: 65536 bytes exceed"}},
      {one("directories", "\"#InstallDir#" + std::string(65524, 'd') + '"'),
       {"directories[0]: 65536 bytes exceed the 65535 a string may hold"}},
      {R"({"settings": {"program": "#InstallDir#)" + std::string(65524, 'p') + R"("}})",
       {"settings.program: 65536 bytes exceed"}},
      {"{}", {"warning: messages: none given; every dialog"}},  // nor a finding per message
      {With(R"("files": [{"folder": ".", "fileName": "a", "flags": ["checkInUse"]}])"), {}},
      // A folder a macro names, a drive root, "..", an unknown macro, an
      // absolute path taken below the install folder.
      {With(R"("directories": ["#UserDir#\\*.*", "#userdir#\\Vendor\\*.*", "#InstallDir#\\*.*",
                               "#Desktop#\\\\*.lnk", "logs\\*.log"])"),
       {"directories[0]: cleans the whole folder that #UserDir#",
        "directories[3]: cleans the whole folder that #Desktop#"}},
      {With(R"("directories": ["#Foo#\\*.*", "#Windows#C:\\*.*", "##D:\\\\*.*", "#Windows#\\T\\*.*",
                 "..\\*.*", "#InstallDir#\\..\\x\\*.*", "a..b\\*.*", "C:\\x\\*.*"])"),
       {R"(directories[0]: "#Foo#" is no macro)", "directories[0]: names a drive root",
        R"(directories[2]: "##" is no macro)", "directories[2]: names a drive root",
        R"(directories[4]: climbs with "..")", R"(directories[5]: climbs with "..")",
        R"(directories[7]: has no macro, so it is taken below the install folder)"}},
      // Lint speaks the registry guard's word (its cases are the guard's own test) and names
      // the values the system reads; a product's key and value below them are not refused.
      {With(R"("registry": [{"root": "HKLM", "keyPath": "Software\\Microsoft"},
                            {"root": "HKLM", "keyPath": "Software\\Vendor\\Product"},
                            {"root": "HKCU", "keyPath": ""},
                            {"root": "HKCU", "keyPath": "Environment\\\\temp"},
                            {"root": "HKCU", "keyPath": "Environment\\\\PRODUCT_HOME"}])"),
       {"registry[0].keyPath: HKLM\\Software\\Microsoft" + guard,
        "registry[2].keyPath: is empty: the entry names no key",
        "registry[3].keyPath: HKCU\\Environment\\\\temp is a value the system reads"}},
      // A value name with a backslash of its own moves the split.
      {With(R"("registry": [{"root": "HKCU", "keyPath": "Software\\Q\\\\C:\\x.dll"},
                            {"root": "HKCU", "keyPath": "Software\\Q\\\\a\\\\b"},
                            {"root": "HKCU", "keyPath": "Software\\Q\\\\plain"}])"),
       {"registry[0].keyPath: names a value whose name holds a backslash, which an entry cannot "
        "express: the uninstaller reads a key named with an empty part",
        "registry[1].keyPath: names a value whose name holds a backslash, which an entry cannot "
        "express: the uninstaller reads the value \"b\""}},
      // Lengths that depend on the machine: macros at their shortest, a
      // message with a path of 259 bytes in place of its "%s".
      {With(R"("directories": ["#Windows#\\)" + std::string(252, 'n') + R"(\\*.*", "#Windows#\\)" +
            std::string(240, 'n') + R"(\\*.*"])"),
       {"directories[0]: the path is 260 bytes even with every macro as short"}},
      {With(program + R"("\"#InstallDir#\\)" + std::string(257, 'p') + R"(\" /u"})"),
       {"settings.program: the program path is 261 bytes"}},
      {With(program + R"("\"#InstallDir#\\setup.exe\" )" + std::string(503, 'a') + R"("})"), {}},
      {With(program + R"("\"#InstallDir#\\setup.exe\" )" + std::string(504, 'a') + R"("})"),
       {"settings.program: the command line is 520 bytes"}},
      // The "%" forms the uninstaller does not fill.
      {R"({"messages": ["Cap", "Remove?", "100% done", "Y", "YA", "N", "NA", "Memory %s",
                        "%s: %d", "Read-only %s or %s", "Shared %s, 100%% used", "F %s", "S", "E",
                        "R", "50%%"]})",
       {R"(messages[8]: "%d" is shown as written: the uninstaller fills only "%s")",
        R"(messages[9]: "%s" is shown as written: only the first)",
        R"(messages[11]: "%s" is shown as written: this message is shown without an)",
        R"(messages[15]: "%%" is shown as written: this message is shown without an)"}},
      {R"({"messages": ["Cap", "Remove %1?", "", "Y", "YA", "N", "NA", "", "", "", ")" +
           std::string(800, 'm') + R"( %s", "F", "S", "E", "R", ""]})",
       {R"(messages[1]: "%1" is shown as written)",
        "messages[10]: formatted with a path of 259 bytes, it is 1060 bytes"}},
      // The pre-uninstall program: a blank outside quotes.
      {With(program + R"("setup.exe /remove"})"), {unquoted}},
      {With(program + R"("#InstallDir#\\setup.exe /remove"})"), {unquoted}},
      {With(program + R"("\"#InstallDir#\\setup.exe\" /remove"})"), {}},
      // The program starts after the opening quote and its blanks: a macro there expands.
      {With(program + R"("\"  #Nope#\\setup.exe\""})"),
       {R"(settings.program: "#Nope#" is no macro)"}},
      // Only a web address or a full path is opened.
      {With(R"("settings": {"document": "readme.htm"})"),
       {"settings.document: is neither a web address nor a full path"}},
      {With(R"("settings": {"document": "\\\\?\\C:\\readme.htm"})"),
       {"settings.document: is neither a web address nor a full path"}},
      {With(R"("settings": {"document": "HTTPS://example.invalid/bye"})"), {}},
      {With(program + R"("#Program Files#\\Vendor\\setup.exe"})"), {}},
      // Messages an interactive run shows: the buttons only with a read-only
      // question to ask, message 15 only with a file checked for use.
      {R"({"messages": ["Cap", "", "", "", "", "", "", "", "", "Read-only %s"],
           "files": [{"folder": ".", "fileName": "a", "flags": ["checkInUse"]}]})",
       {"messages[1]: the confirmation is empty", "messages[11]" + empty, "messages[12]" + empty,
        "messages[13]" + empty, "messages[14]" + empty, "messages[3]" + button,
        "messages[4]" + button, "messages[5]" + button, "messages[6]" + button,
        "messages[15]: the warning that files are in use is empty",
        "messages[9]: is set, so a /S or /Q run may stop to ask about a read-only file"}},
      // Message 10 only with a shared file to ask about.
      {With(R"("files": [{"folder": ".", "fileName": "a", "flags": ["sharedDll"]}])", "R %s"),
       {"messages[9]: is set, so a /S or /Q run may stop to ask about a read-only file"}},
      {With(R"("files": [{"folder": ".", "fileName": "a", "flags": ["sharedDll"]}])", "", "S %s"),
       {"messages[10]: is set, so a /S or /Q run may stop to ask about a shared file whose"}},
      {With(R"("files": [{"folder": ".", "fileName": "a"}])", "", "S %s"), {}},
      {R"({"messages": ["", "Remove?", "", "", "", "", "", "", "", "", "", "F", "S", "E", "R"],
           "files": [{"folder": ".", "fileName": "a"}]})",
       {"messages[0]: the caption of every window is empty"}},
  };
  for (const auto &row : rows) {
    std::vector<std::string> found = Lines(row.json);
    for (size_t i = 0; i < found.size() && i < row.lines.size(); ++i) {
      found[i].resize(std::min(found[i].size(), row.lines[i].size()));
    }
    EXPECT_EQ(found, row.lines) << row.json.substr(0, 300);
  }
}

// One text per code page, ending in a letter a decoder could hold back, and the
// bytes Windows gives it; then text that does not come back, refused.
TEST(CodePage, EveryCodePageRoundTripsOrRefuses) {
  const struct {
    unsigned codePage;
    std::string utf8, bytes, error = "";
  } cases[] = {
      {874, "\u0E44\u0E17\u0E22", "\xE4\xB7\xC2"},
      {936, "\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
      {932, "\u65E5\u672C\u8A9E", "\x93\xFA\x96\x7B\x8C\xEA"},
      {949, "\uD55C\uAD6D", "\xC7\xD1\xB1\xB9"},
      {950, "\u4E2D\u6587", "\xA4\xA4\xA4\xE5"},
      {1250, "\u0141\u00F3d\u017A",
       "\xA3\xF3"
       "d\x9F"},
      {1254, "\u0130\u015F", "\xDD\xFE"},
      {1251, "\u041F\u0440\u0438\u0432\u0435\u0442", "\xCF\xF0\xE8\xE2\xE5\xF2"},
      {1252, "Caf\u00E9 \u20AC\u0081\u0178", "Caf\xE9 \x80\x81\x9F"},
      {1253, "\u0393\u03B5\u03B9\u03AC", "\xC3\xE5\xE9\xDC"},
      {1257, "\u0104\u017E", "\xC0\xFE"},
      {1255, "\u05E9\u05DC\u05D5\u05DD", "\xF9\xEC\xE5\xED"},
      {1256, "\u0633\u0644\u0627\u0645", "\xD3\xE1\xC7\xE3"},
      // A letter and a combining accent stay two characters: composed, they
      // would encode as another byte, another file name.
      {1258, "\u0110A\u0301",
       "\xD0"
       "A\xEC"},
      {932, "", "ab\x81", "byte 0x81 at position 2 has no meaning in code page 932"},
      {874, "", "\xDB", "byte 0xDB at position 0 has no meaning in code page 874"},
      {1253, "", "a\xAA", "byte 0xAA at position 1 has no meaning in code page 1253"},
      // Two byte pairs of 932 stand for U+7E8A; only one of them comes back.
      {932, "", "x\xED\x40", "byte 0xED at position 1 has no meaning in code page 932 that reads"},
      {1251, "\u00E9", "", "character U+00E9 has no encoding in code page 1251"},
      {932, "\u301C", "", "character U+301C has no encoding in code page 932 that reads back"},
      // 1258 writes this letter only as a letter and an accent, which read
      // back as two characters.
      {1258, "\u1EA0", "", "character U+1EA0 has no encoding in code page 1258"},
      {1252, "ab\xC3", "", "invalid UTF-8 at byte 2"},
      {1252, "\xC0\xAF", "", "invalid UTF-8 at byte 0"},  // an over-long '/'
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.codePage);
    if (!c.error.empty()) {
      const std::string error = ErrorOf([&] {
        c.utf8.empty() ? CodePageToUtf8(c.bytes, c.codePage) : Utf8ToCodePage(c.utf8, c.codePage);
      });
      EXPECT_EQ(error.substr(0, c.error.size()), c.error);
      continue;
    }
    for (const std::string &tail : {std::string(), std::string(" Product")}) {
      EXPECT_EQ(Utf8ToCodePage(c.utf8 + tail, c.codePage), c.bytes + tail);
      EXPECT_EQ(CodePageToUtf8(c.bytes + tail, c.codePage), c.utf8 + tail);
    }
  }
  EXPECT_THROW(CheckCodePage(65001), CodePageError);
  // The code page given to the tool takes the place of the manifest's own.
  EXPECT_EQ(ParseManifest(R"({"codePage": 1252, "messages": ["\u65e5"]})", 932).manifest.messages,
            std::vector<std::string>{"\x93\xFA"});
}

}  // namespace
