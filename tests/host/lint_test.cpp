// The lint: each rule with data that makes it fire and data that does not, as
// rows of manifest JSON and the start of each finding expected, in order.
#include "manifest/lint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "manifest/manifest.h"

using namespace quenrid;

namespace {

// A whole message table, so that only what a row adds can fire.
std::string With(const std::string &fields) {
  return R"({"messages": ["Cap", "Remove?", "", "Y", "YA", "N", "NA", "Memory %s", "Damaged %s",
                          "Read-only %s", "Shared %s", "F", "S", "E", "R", "In use"], )" +
         fields + "}";
}

TEST(Lint, EachRuleFiresOnItsDataOnly) {
  const std::string guard = " is a key the system or many products share";
  const std::string unquoted = "settings.program: holds a blank but its program is not in quotes";
  const std::string empty = ": a progress caption is empty";
  const std::string button = ": a button of the read-only question is empty";
  const std::string program = R"("settings": {"program": )";
  const struct { std::string json; std::vector<std::string> findings; } rows[] = {
      {With(R"("files": [{"folder": ".", "fileName": "a", "flags": ["checkInUse"]}])"), {}},
      // A folder a macro names, a drive root, "..", an unknown macro, an
      // absolute path taken below the install folder.
      {With(R"("directories": ["#UserDir#\\*.*", "#userdir#\\Vendor\\*.*", "#InstallDir#\\*.*",
                               "#Desktop#\\\\*.lnk", "logs\\*.log"])"),
       {"directories[0]: cleans the whole folder that #UserDir#",
        "directories[3]: cleans the whole folder that #Desktop#"}},
      {With(R"("directories": ["#Foo#\\*.*", "#Windows#C:\\*.*", "##D:\\\\*.*",
                               "#Windows#\\Temp\\P\\*.*"])"),
       {R"(directories[0]: "#Foo#" is no macro)", "directories[0]: names a drive root",
        R"(directories[2]: "##" is no macro)", "directories[2]: names a drive root"}},
      {With(R"("directories": ["..\\*.*", "#InstallDir#\\..\\x\\*.*", "a..b\\*.*", "C:\\x\\*.*"])"),
       {R"(directories[0]: climbs with "..")", R"(directories[1]: climbs with "..")",
        R"(directories[3]: has no macro, so it is taken below the install folder)"}},
      // Registry key entries the guard refuses; value entries it never guards.
      {With(R"("registry": [{"root": "HKLM", "keyPath": "Software\\Microsoft"},
                            {"root": "HKLM", "keyPath": "Software\\Microsoft\\\\Version"},
                            {"root": "HKLM", "keyPath": "Software\\Vendor\\Product"},
                            {"root": "HKCR", "keyPath": "clsid\\"},
                            {"root": "HKCU", "keyPath": "Vendor"}, {"root": "HKCU", "keyPath": ""}])"),
       {"registry[0].keyPath: HKLM\\Software\\Microsoft" + guard,
        "registry[3].keyPath: HKCR\\clsid\\" + guard, "registry[4].keyPath: HKCU\\Vendor" + guard,
        "registry[5].keyPath: is empty: the entry names no key"}},
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
      {With(program + R"("#Program Files#\\Vendor\\setup.exe"})"), {}},
      // Messages an interactive run shows: the buttons only with a read-only
      // question to ask, message 15 only with a file checked for use.
      {R"({"messages": ["Cap", "", "", "", "", "", "", "", "", "Read-only %s"],
           "files": [{"folder": ".", "fileName": "a", "flags": ["checkInUse"]}]})",
       {"messages[1]: the confirmation is empty", "messages[11]" + empty, "messages[12]" + empty,
        "messages[13]" + empty, "messages[14]" + empty, "messages[3]" + button,
        "messages[4]" + button, "messages[5]" + button, "messages[6]" + button,
        "messages[15]: the warning that files are in use is empty"}},
      {R"({"messages": ["", "Remove?", "", "", "", "", "", "", "", "", "", "F", "S", "E", "R"],
           "files": [{"folder": ".", "fileName": "a"}]})",
       {"messages[0]: the caption of every window is empty"}},
      {"{}", {}},  // no messages at all: CheckUsable's one warning says so
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.json.substr(0, 300));
    std::vector<std::string> found = LintManifest(ParseManifest(row.json).manifest);
    for (size_t i = 0; i < found.size() && i < row.findings.size(); ++i) {
      found[i].resize(std::min(found[i].size(), row.findings[i].size()));
    }
    EXPECT_EQ(found, row.findings);
  }
}

}  // namespace
