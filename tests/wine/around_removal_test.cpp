// The product's program before the removal, the closing document after it and
// the uninstaller deleting itself, through the real packed stub. The recorder
// stands in for the program and the viewer; each run's temporary folder, with
// the self-deletion batch, lies in the test's own folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/uninstall_data.h"
#include "harness.h"
#include "test_messages.h"
#include "ui_driver.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

constexpr DWORD kSettleMs = 15000;  // for a batch or a recorder to finish
constexpr DWORD kQuietMs = 500;     // how long "it never happened" is watched

bool Exists(std::string path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WaitUntil(const std::function<bool()> &done, DWORD ms = kSettleMs) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(50)) {
    if (GetTickCount() - start > ms) return false;
  }
  return true;
}

const auto CaseName = [](const auto &info) { return std::string(info.param.name); };

// Writes a file, its folder made first.
void Place(const std::string &path, const std::string &bytes) {
  CreateDirectoryA(path.substr(0, path.rfind('\\')).c_str(), nullptr);
  WriteBinaryFile(path, bytes);
}

// Sets default values of keys under HKEY_CLASSES_ROOT for the test. When the
// object returned goes, each is put back, and a top key the test made goes
// with its tree.
std::shared_ptr<void> SetClasses(const std::map<std::string, std::string> &values) {
  const auto put = [](const std::string &key, const std::string &value) {
    return RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(), 0);  // size unused
  };
  std::vector<std::function<void()>> undo;
  for (const auto &[key, value] : values) {
    const std::string top = key.substr(0, key.find('\\'));
    char old[1024];
    LONG size = sizeof old;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, top.c_str(), nullptr, &size)) {
      undo.push_back([top] { RegDeleteTreeA(HKEY_CLASSES_ROOT, top.c_str()); });
    } else if (size = sizeof old; !RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), old, &size)) {
      undo.push_back([=, key = key, old = std::string(old)] { put(key, old); });
    }
    EXPECT_EQ(put(key, value), ERROR_SUCCESS) << key;
  }
  return {nullptr, [undo](void *) {
            for (auto step = undo.rbegin(); step != undo.rend(); ++step) (*step)();
          }};
}

class AroundRemoval : public ::testing::Test {
 protected:
  // The uninstaller's folder and the temporary folder of the runs, which
  // inherit TMP and TEMP (ctest gives each case a process of its own).
  void UseFolders(const std::string &install, const std::string &temp) {
    install_ = folder_ / install;
    temp_ = folder_ / temp;
    ASSERT_TRUE(CreateDirectoryA(install_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(temp_.c_str(), nullptr));
    for (const char *name : {"TMP", "TEMP"}) SetEnvironmentVariableA(name, temp_.c_str());
  }

  // `text` with {app}, {docs} (a folder in it), {none} (a document there),
  // {temp} and {viewer} (in quotes) filled in, and {xN} as N letters x.
  std::string Expand(std::string text) const {
    for (size_t at = 0; (at = text.find('{', at)) != std::string::npos;) {
      const size_t end = text.find('}', at);
      const std::string name = text.substr(at + 1, end - at - 1);
      const std::string value = name == "app"      ? install_
                                : name == "docs"   ? install_ + "\\docs"
                                : name == "none"   ? install_ + "\\docs\\bye.qrnone"
                                : name == "temp"   ? temp_
                                : name == "viewer" ? '"' + viewer_ + '"'
                                                   : std::string(std::atoi(&name[1]), 'x');
      text.replace(at, end - at + 1, value);
      at += value.size();
    }
    return text;
  }

  std::string Exe() const { return install_ + "\\" + exeName_; }

  // Packs the uninstaller, which lists probe.txt beside it, and runs it with
  // `switches` to its end: "" is an interactive run that is confirmed, "-"
  // one that is refused. `hold`, when given, receives a handle that keeps the
  // executable from being deleted.
  void Run(const std::string &switches, const Settings &settings, HANDLE *hold = nullptr) {
    const bool interactive = switches.empty() || switches == "-", cancel = switches == "-";
    Place(install_ + "\\probe.txt", "probe");
    Manifest manifest;
    manifest.messages = TestMessages();
    manifest.files = {{install_, "probe.txt", 0}};
    manifest.settings = settings;
    WritePackedStub(Exe(), EncodeBlock(manifest));
    if (hold) {
      *hold = CreateFileA(Exe().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                          nullptr);
    }
    Process process(Exe(), interactive ? "" : switches);
    if (interactive) {
      Answer(ui::WaitForDialog(process.id(), kDialogTimeoutMs, ui::IsMessageBox),
             cancel ? IDCANCEL : IDOK);
      if (!cancel) Answer(ui::WaitForDialog(process.id(), kExitTimeoutMs, ui::IsMessageBox), IDOK);
    }
    EXPECT_TRUE(ExitsWith(process, 0));
    EXPECT_EQ(Exists(install_ + "\\probe.txt"), cancel) << "the removal did not run as it should";
  }

  // Waits until the executable is gone, or watches that it stays, and until
  // the batch `name` is gone from the temporary folder, if it was ever there.
  void ExpectSelfDeletion(bool deletes, const std::string &name = "delme1.bat") {
    if (!deletes) Sleep(kQuietMs);
    const std::string batch = temp_ + "\\" + name;
    EXPECT_TRUE(WaitUntil([&] { return Exists(Exe()) != deletes && !Exists(batch); }))
        << "executable still there: " << Exists(Exe()) << ", batch: " << Exists(batch);
  }

  TestFolder folder_;
  const std::string viewer_ = folder_ / "viewer\\viewer.exe";
  std::string install_, temp_, exeName_ = "uninst.exe";
};

// --- The pre-uninstall program and the closing document ------------------

struct StartCase {
  const char *name;
  const char *switches;                     // "" an interactive run, confirmed; "-" one refused
  const char *program;                      // the settings' program line; "": none
  const char *started;                      // the line it must get; "": it must not start
  const char *document = "", *opened = "";  // the same for the document and its viewer
  const char *htm = nullptr;                // the open command of the ".htm" class; null: none
  bool wait = false;
};

// The shell opens a ".qrdoc" document from its folder; it knows nothing of
// ".qrnone", which leaves the document to the ".htm" class's command.
const char kDoc[] = "{docs}\\bye.qrdoc", kOpened[] = "{viewer} \"{docs}\\bye.qrdoc\"";
const char kSetup[] = "\"{app}\\setup.exe\"", kSleep[] = "\"{app}\\setup.exe\" sleep=1500";

// clang-format off
const StartCase kStartCases[] = {
    {"Interactive", "", "\"setup.exe\" sleep=1500", kSleep, kDoc, kOpened, nullptr, true},
    {"Quiet", "/Q", "\"setup.exe\" /u", "\"{app}\\setup.exe\" /u", kDoc, kOpened},
    {"Silent", "/S", "\" setup.exe  \"   /u  /v", "\"{app}\\setup.exe\" /u  /v", kDoc},
    {"Partial", "/X", "setup.exe", "", kDoc},
    {"SilentAndPartial", "/S /X", "setup.exe", kSetup},
    {"Refused", "-", "setup.exe", "", kDoc},
    {"MacroAndBlanks", "/S", "\"#InstallDir#\\a b\\c d.exe\" /u", "\"{app}\\a b\\c d.exe\" /u"},
    {"MacroOutsideTheInstallFolder", "/S", "#TEMPDIR#\\tool.exe", "\"{temp}\\tool.exe\""},
    {"UnknownMacroLeavesABareName", "/S", "#None#setup.exe", "\"setup.exe\""},
    // Unquoted, the arguments are part of the program's name: it cannot start.
    {"UnquotedArgumentsAreNoArguments", "/S", "setup.exe /u", ""},
    {"AnAbsolutePathIsStillRelative", "/S", "{app}\\setup.exe", ""},
    {"QuotedWithoutArguments", "/S", "\"setup.exe\"", kSetup},
    // The exit code that reads as "still running" must not hold the run forever.
    {"WaitedForTillExitCode259", "/S", "\"setup.exe\" sleep=1500 exit=259",
     "\"{app}\\setup.exe\" sleep=1500 exit=259", "", "", nullptr, true},
    {"NotWaitedFor", "/S", "\"setup.exe\" sleep=1500", kSleep},
    // Never cut into a shorter command line.
    {"TooLongForThePathBuffer", "/S", "\"setup.exe\" {x250}", ""},
    {"TooLongForTheCommandLine", "/S", "\"#InstallDir#\\setup.exe\" {x520}", ""},
    // A web address has no folder, whatever the case of its scheme.
    {"Http", "/Q", "", "", "HTTP://q.invalid/a\\b", "{viewer} \"HTTP://q.invalid/a\\b\""},
    {"Https", "/Q", "", "", "hTtPs://q.invalid/a\\b", "{viewer} \"hTtPs://q.invalid/a\\b\""},
    // The fall-back drops the placeholder, in quotes or not, and what follows;
    // without one, it appends the document; without a command, nothing opens.
    {"FallBackQuoted", "/Q", "", "", "{none}", "{viewer}  {none}", "{viewer} \"%1\" /after"},
    {"FallBackBare", "/Q", "", "", "{none}", "{viewer} /view  {none}", "{viewer} /view %1 /after"},
    {"FallBackAppends", "/Q", "", "", "{none}", "{viewer} /view {none}", "{viewer} /view"},
    {"FallBackWithoutCommand", "/Q", "", "", "{none}", ""},
    // Never cut into another document.
    {"TooLongADocumentIsNotOpened", "/Q", "", "", "{docs}\\{x520}.qrnone", "", "{viewer} \"%1\""},
    {"TooLongAFallBackIsNotRun", "/Q", "", "", "{docs}\\{x240}.qrnone", "", "{viewer} /{x100}"},
};
// clang-format on

class Starts : public AroundRemoval, public ::testing::WithParamInterface<StartCase> {};

TEST_P(Starts, AsTheSwitchesTheSettingsAndTheRegistrySay) {
  const StartCase &c = GetParam();
  UseFolders("app", "temp");
  // The program lies where its line names it; a bare name, beside the
  // uninstaller. Named by its path, it starts in its folder.
  const std::string line = Expand(c.started[0] ? c.started : kSetup);
  std::string program = line.substr(1, line.find('"', 1) - 1), folder;
  if (program.find('\\') == std::string::npos) program = install_ + "\\" + program;
  if (line.find('\\') != std::string::npos) folder = program.substr(0, program.rfind('\\'));
  for (const std::string &path : {program, viewer_}) {
    Place(path, ReadBinaryFile(HostPathToWindows(QUENRID_RECORDER_PATH)));
  }
  Place(Expand(kDoc), "bye");
  const std::string opener = Expand("{viewer} \"%1\"");
  const char *page = c.htm ? "Quenrid.TestPage\\shell\\open\\command" : "Quenrid.TestPage";
  // clang-format off
  const auto classes = SetClasses({{".qrdoc", "Quenrid.TestDocument"}, {".htm", "Quenrid.TestPage"},
      {"Quenrid.TestDocument\\shell\\open\\command", opener}, {page, c.htm ? Expand(c.htm) : ""},
      {"http\\shell\\open\\command", opener}, {"https\\shell\\open\\command", opener}});
  // clang-format on
  Settings settings;
  settings.flags = c.wait ? uint32_t{SETTINGS_WAIT_FOR_PROGRAM} : 0u;
  if (c.program[0]) settings.program = Expand(c.program);
  if (c.document[0]) settings.document = Expand(c.document);
  Run(c.switches, settings);
  // The recorder at `path` noted one start, with `line` in `directory` (empty:
  // not checked), or none when `line` is "": it appends "<directory> TAB <line>
  // TAB <probe>" and a line break, <probe> 1 when probe.txt beside it is there.
  const auto ExpectStart = [&](const std::string &path, const std::string &line,
                               const std::string &directory) {
    const auto log = [&] { return Exists(path + ".log") ? ReadBinaryFile(path + ".log") : ""; };
    const bool started =
        WaitUntil([&] { return !log().empty(); }, line.empty() ? kQuietMs : kSettleMs);
    const std::string text = log();
    ASSERT_EQ(started, !line.empty()) << path << ": " << text;
    if (line.empty()) return;
    ASSERT_EQ(text.find("\r\n"), text.size() - 2) << "started more than once: " << text;
    const size_t tab = text.find('\t');
    EXPECT_EQ(text.substr(tab + 1, text.size() - tab - 5), line);
    EXPECT_TRUE(directory.empty() || SamePath(text.substr(0, tab), directory)) << text;
    // A program that sleeps ends before the removal only when waited for.
    EXPECT_TRUE(line.find("sleep=") == std::string::npos ||
                (text[text.size() - 3] == '1') == c.wait);
  };
  ExpectStart(program, c.started[0] ? line : "", folder);
  ExpectStart(viewer_, Expand(c.opened), c.opened == std::string(kOpened) ? Expand("{docs}") : "");
  ExpectSelfDeletion(!std::strpbrk(c.switches, "SX-"));
}

INSTANTIATE_TEST_SUITE_P(AroundRemoval, Starts, ::testing::ValuesIn(kStartCases), CaseName);

// --- Self-deletion --------------------------------------------------------

// Quiet runs, in folders whose names a batch must quote. Which runs delete
// themselves at all, every row above checks.
struct DeletionCase {
  const char *name;
  bool deletes;                   // the uninstaller deletes itself
  const char *install = "app";    // the uninstaller's folder
  const char *temp = "temp";      // the temporary folder
  const char *decoy = nullptr;    // a file of the test folder that the batch must not name
  const char *version = nullptr;  // wine's Windows version for the run; null: its default
  bool keepAndTaken = false;      // a file the data does not list stays, delme1.bat is taken
};

// clang-format off
const DeletionCase kDeletionCases[] = {
    {"FolderWithBlanksOnWindows98", true, "My App", "temp", nullptr, "win98"},
    {"FolderHoldingMoreStaysFirstBatchNameTaken", true, "app", "temp", nullptr, nullptr, true},
    // Each of these would make an unquoted or unescaped batch name the decoy.
    {"FolderWithAPercentSign", true, "50%", "temp", "50\\uninst.exe"},
    {"TemporaryFolderWithBlanks", true, "app", "my temp", "my"},
    {"TemporaryFolderWithAnAmpersand", true, "app", "a&b", "a"},
    // The batch reads its own path in the OEM code page: e acute is 0xE9 in
    // the ANSI code page 1252 and 0x82 in the OEM code page 437.
    {"TemporaryFolderWithAnAccent", true, "app", "temp\xE9"},
    // The euro sign has no OEM form: its "?" would be a wildcard to "del".
    {"NoBatchForAPathWithoutAnOemForm", false, "app", "temp\x80"},
};
// clang-format on

class SelfDeletion : public AroundRemoval, public ::testing::WithParamInterface<DeletionCase> {};

TEST_P(SelfDeletion, RemovesTheUninstallerAndItsEmptiedFolder) {
  const DeletionCase &c = GetParam();
  UseFolders(c.install, c.temp);
  const std::string keep = install_ + "\\keep.txt", taken = temp_ + "\\delme1.bat";
  if (c.keepAndTaken) Place(keep, "keep");
  if (c.keepAndTaken) Place(taken, "rem taken\r\n");
  if (c.decoy) Place(folder_ / c.decoy, "decoy");
  if (c.version) exeName_ = std::string("uninst-") + c.version + ".exe";
  WindowsVersionFor version(exeName_, c.version);
  // The held executable keeps the batch, delme2.bat, repeating its "del".
  HANDLE hold = nullptr;
  Run("/Q", {}, c.keepAndTaken ? &hold : nullptr);
  if (hold) {
    Sleep(kQuietMs);
    EXPECT_TRUE(Exists(Exe()) && Exists(temp_ + "\\delme2.bat")) << "the batch did not wait";
    CloseHandle(hold);
  }
  ExpectSelfDeletion(c.deletes, c.keepAndTaken ? "delme2.bat" : "delme1.bat");
  EXPECT_EQ(Exists(install_), !c.deletes || c.keepAndTaken);
  EXPECT_TRUE(!c.keepAndTaken || (ReadBinaryFile(taken) == "rem taken\r\n" && Exists(keep)));
  EXPECT_TRUE(!c.decoy || Exists(folder_ / c.decoy)) << c.decoy;
}

INSTANTIATE_TEST_SUITE_P(Batch, SelfDeletion, ::testing::ValuesIn(kDeletionCases), CaseName);

}  // namespace
}  // namespace quenrid::test
