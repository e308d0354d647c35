// The lint: each rule with data that makes it fire and data that does not,
// as rows of manifest JSON and the findings expected, in order.
#include "manifest/lint.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "manifest/manifest.h"

using namespace quenrid;

namespace {

// A whole message table, so that only what a row adds can fire.
const std::string kMessages =
    R"("messages": ["Cap", "Remove?", "", "Y", "YA", "N", "NA", "Memory %s", "Damaged %s",
                    "Read-only %s", "Shared %s", "F", "S", "E", "R", "In use"])";

std::string With(const std::string &fields) { return "{" + kMessages + ", " + fields + "}"; }

std::string Findings(const std::string &json) {
  std::string lines;
  try {
    ParseManifest(json);
  } catch (const std::exception &error) {
    return error.what();
  }
  for (const std::string &line : LintManifest(ParseManifest(json).manifest)) lines += line + "\n";
  return lines;
}

}  // namespace

TEST(Lint, EachRuleFiresOnItsDataOnly) {
  const std::string longName(252, 'n');
  const std::string guarded =
      " is a key the system or many products share; the uninstaller's registry guard refuses to "
      "delete it, so the entry does nothing\n";
  const std::string unquoted =
      "settings.program: holds a blank but its program is not in quotes: the whole text is taken "
      "as one program name, with no arguments; write \"\\\"program\\\" arguments\"\n";
  const std::vector<std::pair<std::string, std::string>> rows = {
      {With(R"("files": [{"folder": ".", "fileName": "a", "flags": ["checkInUse"]}])"), ""},
      // Directory entries: a folder a macro names, a drive root, "..", an
      // unknown macro, an absolute path that is taken below the install folder.
      {With(R"("directories": ["#UserDir#\\*.*", "#userdir#\\Vendor\\*.*", "#InstallDir#\\*.*",
                               "#Desktop#\\\\*.lnk", "logs\\*.log"])"),
       "directories[0]: cleans the whole folder that #UserDir# names and every folder below it, "
       "not a folder of the product\n"
       "directories[3]: cleans the whole folder that #Desktop# names and every folder below it, "
       "not a folder of the product\n"},
      {With(
           R"("directories": ["#Foo#\\*.*", "#Windows#C:\\*.*", "##D:\\\\*.*", "#Windows#\\Temp\\P\\*.*"])"),
       "directories[0]: \"#Foo#\" is no macro the uninstaller knows; it vanishes from the path, "
       "which then names another folder\n"
       "directories[0]: names a drive root: the whole drive, which the uninstaller's "
       "protected-folder test refuses, so the entry does nothing\n"
       "directories[2]: \"##\" is no macro the uninstaller knows; it vanishes from the path, "
       "which then names another folder\n"
       "directories[2]: names a drive root: the whole drive, which the uninstaller's "
       "protected-folder test refuses, so the entry does nothing\n"},
      {With(R"("directories": ["..\\*.*", "#InstallDir#\\..\\x\\*.*", "a..b\\*.*", "C:\\x\\*.*"])"),
       "directories[0]: climbs with \"..\" above the folder it starts from; the protected-folder "
       "test compares the text, so the files and subfolders of a system folder reached this way "
       "are cleaned\n"
       "directories[1]: climbs with \"..\" above the folder it starts from; the protected-folder "
       "test compares the text, so the files and subfolders of a system folder reached this way "
       "are cleaned\n"
       "directories[3]: has no macro, so it is taken below the install folder, where \"C:\" names "
       "no folder; the entry does nothing\n"},
      // Registry key entries the guard refuses; value entries it never guards.
      {With(R"("registry": [{"root": "HKLM", "keyPath": "Software\\Microsoft"},
                            {"root": "HKLM", "keyPath": "Software\\Microsoft\\\\Version"},
                            {"root": "HKLM", "keyPath": "Software\\Vendor\\Product"},
                            {"root": "HKCR", "keyPath": "clsid\\"},
                            {"root": "HKCU", "keyPath": "Vendor"},
                            {"root": "HKCU", "keyPath": ""}])"),
       "registry[0].keyPath: HKLM\\Software\\Microsoft" + guarded +
           "registry[3].keyPath: HKCR\\clsid\\" + guarded + "registry[4].keyPath: HKCU\\Vendor" +
           guarded + "registry[5].keyPath: is empty: the entry names no key and does nothing\n"},
      // Lengths that depend on the machine: macros at their shortest, a
      // message with a path of 259 bytes in place of its "%s".
      {With(R"("directories": ["#Windows#\\)" + longName + R"(\\*.*", "#Windows#\\)" +
            std::string(240, 'n') + R"(\\*.*"])"),
       "directories[0]: the path is 260 bytes even with every macro as short as \"C:\\\"; the "
       "uninstaller's path buffer holds 259 and skips it\n"},
      {With(R"("settings": {"program": "\"#InstallDir#\\)" + std::string(257, 'p') + R"(\" /u"})"),
       "settings.program: the program path is 261 bytes even with every macro as short as "
       "\"C:\\\"; the uninstaller's path buffer holds 259\n"},
      {With(R"("settings": {"program": "\"#InstallDir#\\setup.exe\" )" + std::string(503, 'a') +
            R"("})"),
       ""},
      {With(R"("settings": {"program": "\"#InstallDir#\\setup.exe\" )" + std::string(504, 'a') +
            R"("})"),
       "settings.program: the command line is 520 bytes even with every macro as short as "
       "\"C:\\\"; the uninstaller's command line holds 519\n"},
      // The "%" forms the uninstaller does not fill.
      {R"({"messages": ["Cap", "Remove?", "100% done", "Y", "YA", "N", "NA", "Memory %s",
                        "%s: %d", "Read-only %s or %s", "Shared %s, 100%% used", "F %s", "S", "E",
                        "R", "50%%"]})",
       "messages[8]: \"%d\" is shown as written: the uninstaller fills only \"%s\"\n"
       "messages[9]: \"%s\" is shown as written: only the first \"%s\" is filled\n"
       "messages[11]: \"%s\" is shown as written: this message is shown without an argument\n"
       "messages[15]: \"%%\" is shown as written: this message is shown without an argument\n"},
      {R"({"messages": ["Cap", "Remove %1?", "", "Y", "YA", "N", "NA", "", "", "", ")" +
           std::string(800, 'm') + R"( %s", "F", "S", "E", "R", ""]})",
       "messages[1]: \"%1\" is shown as written: the uninstaller fills only \"%s\"\n"
       "messages[10]: formatted with a path of 259 bytes, it is 1060 bytes; the uninstaller's "
       "message buffer holds 1023 and cuts it\n"},
      // The pre-uninstall program: a blank outside quotes.
      {With(R"("settings": {"program": "setup.exe /remove"})"), unquoted},
      {With(R"("settings": {"program": "#InstallDir#\\setup.exe /remove"})"), unquoted},
      {With(R"("settings": {"program": "\"#InstallDir#\\setup.exe\" /remove"})"), ""},
      {With(R"("settings": {"program": "#Program Files#\\Vendor\\setup.exe"})"), ""},
      // Messages an interactive run shows: the buttons only with a read-only
      // question to ask, message 15 only with a file checked for use.
      {R"({"messages": ["Cap", "", "", "", "", "", "", "", "", "Read-only %s"],
           "files": [{"folder": ".", "fileName": "a", "flags": ["checkInUse"]}]})",
       "messages[1]: the confirmation is empty; an interactive run shows it blank\n"
       "messages[11]: a progress caption is empty; an interactive run shows it blank\n"
       "messages[12]: a progress caption is empty; an interactive run shows it blank\n"
       "messages[13]: a progress caption is empty; an interactive run shows it blank\n"
       "messages[14]: a progress caption is empty; an interactive run shows it blank\n"
       "messages[3]: a button of the read-only question is empty; an interactive run shows it "
       "blank\n"
       "messages[4]: a button of the read-only question is empty; an interactive run shows it "
       "blank\n"
       "messages[5]: a button of the read-only question is empty; an interactive run shows it "
       "blank\n"
       "messages[6]: a button of the read-only question is empty; an interactive run shows it "
       "blank\n"
       "messages[15]: the warning that files are in use is empty; an interactive run shows it "
       "blank\n"},
      {R"({"messages": ["", "Remove?", "", "", "", "", "", "", "", "", "", "F", "S", "E", "R"],
           "files": [{"folder": ".", "fileName": "a"}]})",
       "messages[0]: the caption of every window is empty; an interactive run shows it blank\n"},
      {"{}", ""},  // no messages at all: CheckUsable's one warning says so
  };
  for (const auto &row : rows) EXPECT_EQ(Findings(row.first), row.second) << row.first;
}
