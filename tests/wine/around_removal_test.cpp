// What happens around the removal, through the real packed stub: the
// product's own program before it, the closing document after it, and the
// uninstaller deleting itself once it has exited. The recorder program stands
// in for the product's program and for the document viewer; every run keeps
// its temporary folder, and with it the self-deletion batch, inside the
// test's own folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
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

bool Exists(const std::string &path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WaitUntil(const std::function<bool()> &done) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(50)) {
    if (GetTickCount() - start > kSettleMs) return false;
  }
  return true;
}

// Writes a file, its folder made first.
void Place(const std::string &path, const std::string &bytes) {
  CreateDirectoryA(path.substr(0, path.rfind('\\')).c_str(), nullptr);
  WriteBinaryFile(path, bytes);
}

// One start of the recorder, as it noted it: folder, command line, and
// whether probe.txt beside it still existed as it ended.
struct Record {
  std::string directory, line;
  bool probe;
};

std::vector<Record> ReadRecords(const std::string &recorder) {
  std::vector<Record> records;
  const std::string text = Exists(recorder + ".log") ? ReadBinaryFile(recorder + ".log") : "";
  for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    const size_t tab = text.find('\t', start);
    records.push_back({text.substr(start, tab - start), text.substr(tab + 1, end - tab - 3),
                       text[end - 1] == '1'});
  }
  return records;
}

// Default values of keys under HKEY_CLASSES_ROOT, set for the test: each is
// put back when the object goes, and a key whose top the test made goes with
// its tree.
class ClassesRoot {
 public:
  ~ClassesRoot() {
    for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo) (*undo)();
  }
  void Set(const std::string &key, const std::string &value) {
    const std::string top = key.substr(0, key.find('\\'));
    char old[1024];
    LONG size = sizeof old;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, top.c_str(), nullptr, &size) != ERROR_SUCCESS) {
      undo_.push_back([top] { RegDeleteTreeA(HKEY_CLASSES_ROOT, top.c_str()); });
    } else if (size = sizeof old; RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), old, &size) == 0) {
      undo_.push_back([key, old = std::string(old)] { Put(key, old); });
    }
    EXPECT_EQ(Put(key, value), ERROR_SUCCESS) << key;
  }

 private:
  static LONG Put(const std::string &key, const std::string &value) {
    return RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(),
                        static_cast<DWORD>(value.size()));
  }
  std::vector<std::function<void()>> undo_;
};

class AroundRemoval : public ::testing::Test {
 protected:
  // The uninstaller's folder and the run's temporary folder, both in the
  // test folder. The runs inherit TMP and TEMP; ctest gives each case a
  // process of its own, so they need no putting back.
  void UseFolders(const std::string &install, const std::string &temp) {
    install_ = folder_ / install;
    temp_ = folder_ / temp;
    ASSERT_TRUE(CreateDirectoryA(install_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(temp_.c_str(), nullptr));
    SetEnvironmentVariableA("TMP", temp_.c_str());
    SetEnvironmentVariableA("TEMP", temp_.c_str());
  }

  // `text` with {install}, {temp}, {cwd} and {viewer} filled in, and {xN} as
  // N letters x.
  std::string Expand(std::string text) const {
    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, cwd);
    for (size_t at = 0; (at = text.find('{', at)) != std::string::npos;) {
      const size_t end = text.find('}', at);
      const std::string name = text.substr(at + 1, end - at - 1);
      const std::string value = name[0] == 'x'      ? std::string(std::atoi(&name[1]), 'x')
                                : name == "install" ? install_
                                : name == "temp"    ? temp_
                                : name == "viewer"  ? Viewer()
                                                    : cwd;
      text.replace(at, end - at + 1, value);
      at += value.size();
    }
    return text;
  }

  std::string Viewer() const { return folder_ / "viewer\\viewer.exe"; }
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
      ASSERT_NE(*hold, INVALID_HANDLE_VALUE);
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

  size_t BatchCount() const {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((temp_ + "\\delme*.bat").c_str(), &found);
    size_t count = search != INVALID_HANDLE_VALUE;
    while (count && FindNextFileA(search, &found)) ++count;
    if (count) FindClose(search);
    return count;
  }

  // Waits until the executable is gone, or watches that it stays, and until
  // `left` batches remain in the temporary folder.
  void ExpectSelfDeletion(bool deletes, size_t left = 0) {
    if (!deletes) Sleep(kQuietMs);
    EXPECT_TRUE(WaitUntil([&] { return Exists(Exe()) != deletes && BatchCount() == left; }))
        << "executable still there: " << Exists(Exe()) << ", batches: " << BatchCount();
  }

  TestFolder folder_;
  std::string install_, temp_, exeName_ = "uninst.exe";
};

// --- The pre-uninstall program and the closing document ------------------

struct StartCase {
  const char *name;
  const char *switches;  // "" an interactive run, confirmed; "-" one refused
  const char *program;   // the settings' program line; null: none
  const char *started;   // the line it must get; null: it must not start
  const char *document = nullptr, *opened = nullptr;  // the same for the document and its viewer
  const char *htm = nullptr;  // the open command of the ".htm" class; null: none
  bool wait = false;
  const char *directory = nullptr;  // where the program starts; null: its own folder
};

// The shell knows the ".qrdoc" files and opens them from their folder; it
// knows nothing of ".qrnone", which leaves such a document to the ".htm"
// class's command.
const char kDoc[] = "{install}\\docs\\bye.qrdoc", kNone[] = "{install}\\docs\\bye.qrnone";
const char kOpened[] = "\"{viewer}\" \"{install}\\docs\\bye.qrdoc\"";
const char kSetup[] = "\"{install}\\setup.exe\"", kSleep[] = "\"{install}\\setup.exe\" sleep=1500";

// clang-format off
const StartCase kStartCases[] = {
    {"Interactive", "", "\"setup.exe\" sleep=1500", kSleep, kDoc, kOpened, nullptr, true},
    {"Quiet", "/Q", "\"setup.exe\" /u", "\"{install}\\setup.exe\" /u", kDoc, kOpened},
    {"Silent", "/S", "\" setup.exe  \"   /u  /v", "\"{install}\\setup.exe\" /u  /v", kDoc, nullptr},
    {"Partial", "/X", "setup.exe", nullptr, kDoc, nullptr},
    {"SilentAndPartial", "/S /X", "setup.exe", kSetup},
    {"Refused", "-", "setup.exe", nullptr, kDoc, nullptr},
    {"InstallDirMacroAndBlanks", "/S", "\"#InstallDir#\\tools dir\\my tool.exe\" /u",
     "\"{install}\\tools dir\\my tool.exe\" /u"},
    {"MacroOutsideTheInstallFolder", "/S", "#TEMPDIR#\\tool.exe", "\"{temp}\\tool.exe\""},
    {"UnknownMacroLeavesABareName", "/S", "#Nothing#setup.exe", "\"setup.exe\"", nullptr, nullptr,
     nullptr, false, "{cwd}"},
    // Unquoted, the arguments are part of the program's name: it cannot start.
    {"UnquotedArgumentsAreNoArguments", "/S", "setup.exe /u", nullptr},
    {"AnAbsolutePathIsStillRelative", "/S", "{install}\\setup.exe", nullptr},
    {"QuotedWithoutArguments", "/S", "\"setup.exe\"", kSetup},
    // The exit code that reads as "still running" must not hold the run forever.
    {"WaitedForTillExitCode259", "/S", "\"setup.exe\" sleep=1500 exit=259",
     "\"{install}\\setup.exe\" sleep=1500 exit=259", nullptr, nullptr, nullptr, true},
    {"NotWaitedFor", "/S", "\"setup.exe\" sleep=1500", kSleep},
    // Never cut into a shorter command line.
    {"TooLongForThePathBuffer", "/S", "\"setup.exe\" {x250}", nullptr},
    {"TooLongForTheCommandLine", "/S", "\"#InstallDir#\\setup.exe\" {x520}", nullptr},
    // A web address has no folder, whatever the case of its scheme.
    {"WebAddress", "/Q", nullptr, nullptr, "HTTP://q.invalid/a\\b",
     "\"{viewer}\" \"HTTP://q.invalid/a\\b\""},
    {"SecureWebAddress", "/Q", nullptr, nullptr, "hTtPs://q.invalid/a\\b",
     "\"{viewer}\" \"hTtPs://q.invalid/a\\b\""},
    {"FallBackDropsTheQuotedPlaceholderAndWhatFollows", "/Q", nullptr, nullptr, kNone,
     "\"{viewer}\"  {install}\\docs\\bye.qrnone", "\"{viewer}\" \"%1\" /after"},
    {"FallBackDropsABarePlaceholder", "/Q", nullptr, nullptr, kNone,
     "\"{viewer}\" /view  {install}\\docs\\bye.qrnone", "\"{viewer}\" /view %1 /after"},
    {"FallBackAppendsWithoutAPlaceholder", "/Q", nullptr, nullptr, kNone,
     "\"{viewer}\" /view {install}\\docs\\bye.qrnone", "\"{viewer}\" /view"},
    {"FallBackWithoutACommandOpensNothing", "/Q", nullptr, nullptr, kNone, nullptr},
    // Never cut into another document.
    {"TooLongADocumentIsNotOpened", "/Q", nullptr, nullptr, "{install}\\docs\\{x520}.qrnone",
     nullptr, "\"{viewer}\" \"%1\""},
    {"TooLongAFallBackIsNotRun", "/Q", nullptr, nullptr, "{install}\\docs\\{x240}.qrnone", nullptr,
     "\"{viewer}\" /{x150}"},
};
// clang-format on

class Starts : public AroundRemoval, public ::testing::WithParamInterface<StartCase> {
 protected:
  // The recorder at `path` started once, with `line` in `directory` (empty:
  // not checked), or never when `line` is null, after a while of watching.
  void ExpectStart(const std::string &path, const char *line, const std::string &directory) {
    if (!line) Sleep(kQuietMs);
    if (line) WaitUntil([&] { return !ReadRecords(path).empty(); });
    const std::vector<Record> records = ReadRecords(path);
    ASSERT_EQ(records.size(), line ? 1u : 0u) << path << (records.empty() ? "" : records[0].line);
    if (!line) return;
    EXPECT_EQ(records[0].line, Expand(line));
    EXPECT_TRUE(directory.empty() || SamePath(records[0].directory, directory))
        << records[0].directory;
    // A program that sleeps ends before the removal only when waited for.
    EXPECT_TRUE(!std::strstr(line, "sleep=") || records[0].probe == GetParam().wait);
  }
};

TEST_P(Starts, AsTheSwitchesTheSettingsAndTheRegistrySay) {
  const StartCase &c = GetParam();
  UseFolders("app", "temp");
  // The program lies where its line names it; a bare name, beside the uninstaller.
  const std::string line = Expand(c.started ? c.started : kSetup);
  std::string program = line.substr(1, line.find('"', 1) - 1);
  if (program.find('\\') == std::string::npos) program = install_ + "\\" + program;
  const std::string recorder = ReadBinaryFile(HostPathToWindows(QUENRID_RECORDER_PATH));
  Place(program, recorder);
  Place(Viewer(), recorder);
  Place(Expand(kDoc), "bye");
  const std::string viewerCommand = Expand("\"{viewer}\" \"%1\"");
  ClassesRoot classes;
  classes.Set(".qrdoc", "Quenrid.TestDocument");
  classes.Set("Quenrid.TestDocument\\shell\\open\\command", viewerCommand);
  classes.Set("http\\shell\\open\\command", viewerCommand);
  classes.Set("https\\shell\\open\\command", viewerCommand);
  classes.Set(".htm", "Quenrid.TestPage");
  if (c.htm) classes.Set("Quenrid.TestPage\\shell\\open\\command", Expand(c.htm));
  if (!c.htm) classes.Set("Quenrid.TestPage", "");
  Settings settings;
  settings.flags = c.wait ? uint32_t{SETTINGS_WAIT_FOR_PROGRAM} : 0u;
  if (c.program) settings.program = Expand(c.program);
  if (c.document) settings.document = Expand(c.document);
  Run(c.switches, settings);
  ExpectStart(program, c.started,
              c.directory ? Expand(c.directory) : program.substr(0, program.rfind('\\')));
  ExpectStart(Viewer(), c.opened,
              c.opened && c.opened == std::string(kOpened) ? Expand("{install}\\docs") : "");
  ExpectSelfDeletion(!std::strpbrk(c.switches, "SX-"));
}

INSTANTIATE_TEST_SUITE_P(AroundRemoval, Starts, ::testing::ValuesIn(kStartCases),
                         [](const auto &info) { return std::string(info.param.name); });

// --- Self-deletion --------------------------------------------------------

// Quiet runs, in folders whose names a batch must quote.
struct DeletionCase {
  const char *name;
  bool deletes;                   // the uninstaller deletes itself
  const char *install = "app";    // the uninstaller's folder
  const char *temp = "temp";      // the temporary folder
  const char *decoy = nullptr;    // a file of the test folder that the batch must not name
  const char *version = nullptr;  // wine's Windows version for the run; null: its default
  // A file beside the uninstaller that the data does not list, and delme1.bat
  // taken already.
  bool keepAndTaken = false;
};

// Which runs delete themselves at all, every row above checks.
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
  const std::string taken = temp_ + "\\delme1.bat";
  if (c.keepAndTaken) Place(install_ + "\\keep.txt", "keep");
  if (c.keepAndTaken) Place(taken, "rem taken\r\n");
  if (c.decoy) Place(folder_ / c.decoy, "decoy");
  if (c.version) exeName_ = std::string("uninst-") + c.version + ".exe";
  WindowsVersionFor version(exeName_, c.version);
  // The held executable keeps the batch repeating its "del" until let go.
  HANDLE hold = nullptr;
  Run("/Q", {}, c.keepAndTaken ? &hold : nullptr);
  if (hold) {
    Sleep(kQuietMs);
    EXPECT_TRUE(Exists(Exe()) && Exists(temp_ + "\\delme2.bat"));
    CloseHandle(hold);
  }
  ExpectSelfDeletion(c.deletes, c.keepAndTaken ? 1 : 0);
  EXPECT_EQ(Exists(install_), !c.deletes || c.keepAndTaken);
  EXPECT_TRUE(!c.keepAndTaken || ReadBinaryFile(taken) == "rem taken\r\n");
  EXPECT_TRUE(!c.keepAndTaken || Exists(install_ + "\\keep.txt"));
  EXPECT_TRUE(!c.decoy || Exists(folder_ / c.decoy)) << c.decoy;
}

INSTANTIATE_TEST_SUITE_P(Batch, SelfDeletion, ::testing::ValuesIn(kDeletionCases),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quenrid::test
