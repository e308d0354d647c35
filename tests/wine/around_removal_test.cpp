// What happens around the removal, through the real packed stub: the
// product's own program before it, the closing document after it, and the
// uninstaller deleting itself once it has exited. The recorder program stands
// in for the product's program and for the document viewer; every run keeps
// its temporary folder, and with it the self-deletion batch, inside the
// test's own folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
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

bool WaitUntil(const std::function<bool()> &done, DWORD timeoutMs = kSettleMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
  }
  return true;
}

// Names of the files in `folder` that match `pattern`.
std::vector<std::string> FilesIn(const std::string &folder, const std::string &pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

std::string ReplaceAll(std::string text, const std::string &from, const std::string &to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string CurrentDirectory() {
  char path[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, path);
  return path;
}

std::string ShortPath(const std::string &path) {
  char shortPath[MAX_PATH] = "";
  GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
  return shortPath;
}

// One start of the recorder, as it noted it.
struct Record {
  std::string directory;
  std::string line;
  bool probe = false;  // probe.txt beside it still existed as it ended
};

std::vector<Record> ReadRecords(const std::string &recorder) {
  std::vector<Record> records;
  if (!Exists(recorder + ".log")) return records;
  const std::string text = ReadBinaryFile(recorder + ".log");
  for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    const std::string entry = text.substr(start, end - start);
    const size_t first = entry.find('\t');
    const size_t last = entry.rfind('\t');
    records.push_back({entry.substr(0, first), entry.substr(first + 1, last - first - 1),
                       entry.substr(last + 1) == "1"});
  }
  return records;
}

// The default value of a key under HKEY_CLASSES_ROOT, set for the test; what
// was there is put back, and a key that did not exist is removed with its
// whole tree, when the object goes.
class ClassesRootDefault {
 public:
  ClassesRootDefault(const std::string &key, const std::string &value) : key_(key) {
    // The highest key of the path that is missing goes again at the end.
    for (size_t at = 0; at != std::string::npos && created_.empty();) {
      at = key.find('\\', at + 1);
      const std::string prefix = key.substr(0, at);
      HKEY probe;
      if (RegOpenKeyExA(HKEY_CLASSES_ROOT, prefix.c_str(), 0, KEY_READ, &probe) == ERROR_SUCCESS) {
        RegCloseKey(probe);
      } else {
        created_ = prefix;
      }
    }
    char old[1024];
    LONG size = sizeof old;
    if (created_.empty() && RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), old, &size) == 0) {
      old_ = old;
    }
    EXPECT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(),
                           static_cast<DWORD>(value.size())),
              ERROR_SUCCESS);
  }
  ~ClassesRootDefault() {
    if (!created_.empty()) {
      RegDeleteTreeA(HKEY_CLASSES_ROOT, created_.c_str());
    } else if (old_) {
      RegSetValueA(HKEY_CLASSES_ROOT, key_.c_str(), REG_SZ, old_->c_str(),
                   static_cast<DWORD>(old_->size()));
    }
  }
  ClassesRootDefault(const ClassesRootDefault &) = delete;
  ClassesRootDefault &operator=(const ClassesRootDefault &) = delete;

 private:
  std::string key_;
  std::string created_;
  std::optional<std::string> old_;
};

// What a run is started with and how its prompts are answered.
struct RunPlan {
  const char *switches;  // "" for an interactive run
  bool cancel;           // an interactive run refused at the confirmation
  Settings settings;
  std::string exeName = "uninst.exe";
};

// Without a refusal, /S or /X, the uninstaller deletes itself.
bool DeletesItself(const RunPlan &run) {
  return !run.cancel && !std::strpbrk(run.switches, "SsXx");
}

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

  // `pattern` with {install}, {temp}, {cwd} and {viewer} filled in, and {xN}
  // as N letters x.
  std::string Expand(const std::string &pattern) const {
    std::string text = ReplaceAll(pattern, "{install}", install_);
    text = ReplaceAll(text, "{temp}", temp_);
    text = ReplaceAll(text, "{cwd}", CurrentDirectory());
    text = ReplaceAll(text, "{viewer}", Viewer());
    for (size_t at; (at = text.find("{x")) != std::string::npos;) {
      const size_t end = text.find('}', at);
      text.replace(at, end - at + 1, std::string(std::atoi(text.c_str() + at + 2), 'x'));
    }
    return text;
  }

  std::string Viewer() const { return folder_ / "viewer\\viewer.exe"; }

  // A copy of the recorder at `path`, its folder made first.
  static void PlaceRecorder(const std::string &path) {
    CreateDirectoryA(path.substr(0, path.rfind('\\')).c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(HostPathToWindows(QUENRID_RECORDER_PATH).c_str(), path.c_str(), FALSE))
        << path;
  }

  std::string Exe() const { return install_ + "\\" + run_.exeName; }

  // Packs the uninstaller, which lists probe.txt beside it, and runs it to
  // its end, answering an interactive run's prompts. `hold`, when given,
  // receives a handle that keeps the executable from being deleted.
  void Run(const RunPlan &run, HANDLE *hold = nullptr) {
    run_ = run;
    WriteBinaryFile(install_ + "\\probe.txt", "probe");
    Manifest manifest;
    manifest.messages = TestMessages();
    manifest.files = {{install_, "probe.txt", 0}};
    manifest.settings = run.settings;
    WritePackedStub(Exe(), EncodeBlock(manifest));
    if (hold) {
      *hold = CreateFileA(Exe().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                          nullptr);
      ASSERT_NE(*hold, INVALID_HANDLE_VALUE);
    }
    Process process(Exe(), run.switches);
    if (run.switches[0] == '\0') {
      Answer(ui::WaitForDialog(process.id(), kDialogTimeoutMs, ui::IsMessageBox),
             run.cancel ? IDCANCEL : IDOK);
      if (!run.cancel) {
        Answer(ui::WaitForDialog(process.id(), kExitTimeoutMs, ui::IsMessageBox), IDOK);
      }
    }
    EXPECT_TRUE(ExitsWith(process, 0));
    EXPECT_EQ(Exists(install_ + "\\probe.txt"), run.cancel) << "the removal did not run as it should";
  }

  // The batches left in the temporary folder.
  std::vector<std::string> Batches() const {
    std::vector<std::string> names = FilesIn(temp_, "delme*.bat");
    std::sort(names.begin(), names.end());
    return names;
  }

  // Waits for the self-deletion to finish, or watches that none happens:
  // afterwards the executable is gone or still there, and the batches in the
  // temporary folder are exactly `left`.
  void ExpectSelfDeletion(bool deletes, const std::vector<std::string> &left = {}) {
    if (deletes) {
      EXPECT_TRUE(WaitUntil([&] { return !Exists(Exe()) && Batches() == left; }))
          << "executable still there: " << Exists(Exe()) << ", batches: " << Batches().size();
    } else {
      Sleep(kQuietMs);
      EXPECT_TRUE(Exists(Exe()));
      EXPECT_EQ(Batches(), left);
    }
  }

  // The one start the recorder at `path` noted, once it has ended; none when
  // `expected` is false, after a while of watching.
  std::optional<Record> RecordedStart(const std::string &path, bool expected) {
    if (!expected) {
      Sleep(kQuietMs);
      EXPECT_TRUE(ReadRecords(path).empty()) << "started: " << ReadRecords(path)[0].line;
      return std::nullopt;
    }
    EXPECT_TRUE(WaitUntil([&] { return !ReadRecords(path).empty(); })) << "never started: " << path;
    const std::vector<Record> records = ReadRecords(path);
    EXPECT_EQ(records.size(), 1u);
    if (records.empty()) return std::nullopt;
    return records[0];
  }

  TestFolder folder_;
  std::string install_;
  std::string temp_;
  RunPlan run_{"", false, {}};
};

template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case> &info) {
  return info.param.name;
}

// --- The pre-uninstall program ----------------------------------------------

struct ProgramCase {
  const char *name;
  const char *switches;   // "" for an interactive run, confirmed unless `cancel`
  bool cancel;
  const char *command;    // the settings' program line
  bool wait;
  const char *recorder;   // where the program lies
  const char *line;       // the command line it must get; null: it must not start
  const char *directory;  // the folder it must start in
  int probe;              // 1: it ended before the removal; 0: after; -1: either
};

void PrintTo(const ProgramCase &c, std::ostream *os) { *os << c.name; }

const char kSetup[] = "{install}\\setup.exe";
const char kSetupLine[] = "\"{install}\\setup.exe\"";

const ProgramCase kProgramCases[] = {
    {"Quiet", "/Q", false, "\"setup.exe\" /u", false, kSetup, "\"{install}\\setup.exe\" /u",
     "{install}", -1},
    {"Silent", "/S", false, "\" setup.exe  \"   /u  /v", false, kSetup,
     "\"{install}\\setup.exe\" /u  /v", "{install}", -1},
    {"PartialSkipsIt", "/X", false, "setup.exe", false, kSetup, nullptr, nullptr, -1},
    {"SilentAndPartialRunIt", "/S /X", false, "setup.exe", false, kSetup, kSetupLine, "{install}",
     -1},
    {"RefusedRunNeverStartsIt", "", true, "setup.exe", false, kSetup, nullptr, nullptr, -1},
    {"InstallDirMacro", "/S", false, "\"#InstallDir#\\bin\\setup.exe\" /u", false,
     "{install}\\bin\\setup.exe", "\"{install}\\bin\\setup.exe\" /u", "{install}\\bin", -1},
    {"MacroOutsideTheInstallFolder", "/S", false, "#TEMPDIR#\\tool.exe", false,
     "{temp}\\tool.exe", "\"{temp}\\tool.exe\"", "{temp}", -1},
    {"UnknownMacroLeavesABareName", "/S", false, "#Nothing#setup.exe", false, kSetup,
     "\"setup.exe\"", "{cwd}", -1},
    // Unquoted, the arguments are part of the program's name: it cannot start.
    {"UnquotedArgumentsAreNoArguments", "/S", false, "setup.exe /u", false, kSetup, nullptr,
     nullptr, -1},
    {"AnAbsolutePathIsStillRelative", "/S", false, "{install}\\setup.exe", false, kSetup, nullptr,
     nullptr, -1},
    {"ProgramPathWithBlanks", "/S", false, "\"tools dir\\my tool.exe\" /u", false,
     "{install}\\tools dir\\my tool.exe", "\"{install}\\tools dir\\my tool.exe\" /u",
     "{install}\\tools dir", -1},
    {"QuotedWithoutArguments", "/S", false, "\"setup.exe\"", false, kSetup, kSetupLine,
     "{install}", -1},
    {"WaitedFor", "/S", false, "\"setup.exe\" sleep=1500", true, kSetup,
     "\"{install}\\setup.exe\" sleep=1500", "{install}", 1},
    {"WaitedForInAnInteractiveRun", "", false, "\"setup.exe\" sleep=1500", true, kSetup,
     "\"{install}\\setup.exe\" sleep=1500", "{install}", 1},
    {"NotWaitedFor", "/S", false, "\"setup.exe\" sleep=1500", false, kSetup,
     "\"{install}\\setup.exe\" sleep=1500", "{install}", 0},
    // The exit code that reads as "still running" must not hold the run forever.
    {"ExitCode259EndsTheWait", "/S", false, "\"setup.exe\" exit=259", true, kSetup,
     "\"{install}\\setup.exe\" exit=259", "{install}", 1},
    // Never cut into a shorter command line.
    {"TooLongForThePathBuffer", "/S", false, "\"setup.exe\" {x250}", false, kSetup, nullptr,
     nullptr, -1},
    {"TooLongForTheCommandLine", "/S", false, "\"#InstallDir#\\setup.exe\" {x520}", false, kSetup,
     nullptr, nullptr, -1},
};

class PreUninstall : public AroundRemoval, public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(PreUninstall, StartsAsTheSwitchesAndTheLineSay) {
  const ProgramCase &c = GetParam();
  UseFolders("app", "temp");
  const std::string recorder = Expand(c.recorder);
  PlaceRecorder(recorder);
  RunPlan run{c.switches, c.cancel, {}};
  run.settings.flags = c.wait ? uint32_t{SETTINGS_WAIT_FOR_PROGRAM} : 0u;
  run.settings.program = Expand(c.command);
  Run(run);
  if (std::optional<Record> start = RecordedStart(recorder, c.line != nullptr)) {
    EXPECT_EQ(start->line, Expand(c.line));
    EXPECT_TRUE(SamePath(start->directory, Expand(c.directory))) << start->directory;
    if (c.probe >= 0) {
      EXPECT_EQ(start->probe, c.probe == 1);
    }
  }
  ExpectSelfDeletion(DeletesItself(run));
}

INSTANTIATE_TEST_SUITE_P(Program, PreUninstall, ::testing::ValuesIn(kProgramCases),
                         CaseName<ProgramCase>);

// --- The closing document -----------------------------------------------------

struct DocumentCase {
  const char *name;
  const char *switches;    // "" for an interactive run, confirmed unless `cancel`
  bool cancel;
  const char *document;
  const char *htmCommand;  // the open command of the ".htm" class; null: none
  const char *line;        // the viewer's command line; null: nothing is opened
  const char *directory;   // the folder the viewer starts in; null: not checked
};

void PrintTo(const DocumentCase &c, std::ostream *os) { *os << c.name; }

// The shell knows the ".qrdoc" files; it knows nothing of ".qrnone", which
// leaves such a document to the ".htm" class's command.
const char kShellDocument[] = "{install}\\docs\\bye.qrdoc";
const char kShellLine[] = "\"{viewer}\" \"{install}\\docs\\bye.qrdoc\"";
const char kOtherDocument[] = "{install}\\docs\\bye.qrnone";

const DocumentCase kDocumentCases[] = {
    {"ShellOpensItFromItsFolder", "", false, kShellDocument, nullptr, kShellLine,
     "{install}\\docs"},
    {"QuietRunsOpenItToo", "/Q", false, kShellDocument, nullptr, kShellLine, "{install}\\docs"},
    {"NotAfterSilent", "/S", false, kShellDocument, nullptr, nullptr, nullptr},
    {"NotAfterPartial", "/X", false, kShellDocument, nullptr, nullptr, nullptr},
    {"NotAfterARefusal", "", true, kShellDocument, nullptr, nullptr, nullptr},
    // A web address has no folder, whatever the case of its scheme.
    {"WebAddressInCapitals", "/Q", false, "HTTP://quenrid.invalid/a\\b", nullptr,
     "\"{viewer}\" \"HTTP://quenrid.invalid/a\\b\"", nullptr},
    {"SecureWebAddress", "/Q", false, "hTtPs://quenrid.invalid/a\\b", nullptr,
     "\"{viewer}\" \"hTtPs://quenrid.invalid/a\\b\"", nullptr},
    {"FallBackDropsTheQuotedPlaceholderAndWhatFollows", "/Q", false, kOtherDocument,
     "\"{viewer}\" \"%1\" /after", "\"{viewer}\"  {install}\\docs\\bye.qrnone", nullptr},
    {"FallBackDropsABarePlaceholder", "/Q", false, kOtherDocument, "\"{viewer}\" /view %1 /after",
     "\"{viewer}\" /view  {install}\\docs\\bye.qrnone", nullptr},
    {"FallBackAppendsWithoutAPlaceholder", "/Q", false, kOtherDocument, "\"{viewer}\" /view",
     "\"{viewer}\" /view {install}\\docs\\bye.qrnone", nullptr},
    {"FallBackWithoutACommandOpensNothing", "/Q", false, kOtherDocument, nullptr, nullptr, nullptr},
    // Never cut into another document.
    {"TooLongADocumentIsNotOpened", "/Q", false, "{install}\\docs\\{x520}.qrnone",
     "\"{viewer}\" \"%1\"", nullptr, nullptr},
    {"TooLongAFallBackIsNotRun", "/Q", false, "{install}\\docs\\{x240}.qrnone",
     "\"{viewer}\" /{x150}", nullptr, nullptr},
};

class ClosingDocument : public AroundRemoval, public ::testing::WithParamInterface<DocumentCase> {};

TEST_P(ClosingDocument, OpensAsTheSwitchesAndTheRegistrySay) {
  const DocumentCase &c = GetParam();
  UseFolders("app", "temp");
  PlaceRecorder(Viewer());
  CreateDirectoryA((install_ + "\\docs").c_str(), nullptr);
  WriteBinaryFile(Expand(kShellDocument), "bye");
  const std::string viewerCommand = Expand("\"{viewer}\" \"%1\"");
  ClassesRootDefault document(".qrdoc", "Quenrid.TestDocument");
  ClassesRootDefault documentCommand("Quenrid.TestDocument\\shell\\open\\command", viewerCommand);
  ClassesRootDefault web("http\\shell\\open\\command", viewerCommand);
  ClassesRootDefault secureWeb("https\\shell\\open\\command", viewerCommand);
  ClassesRootDefault page(".htm", "Quenrid.TestPage");
  std::optional<ClassesRootDefault> pageCommand;
  if (c.htmCommand) {
    pageCommand.emplace("Quenrid.TestPage\\shell\\open\\command", Expand(c.htmCommand));
  } else {
    pageCommand.emplace("Quenrid.TestPage", "");
  }
  RunPlan run{c.switches, c.cancel, {}};
  run.settings.document = Expand(c.document);
  Run(run);
  if (std::optional<Record> start = RecordedStart(Viewer(), c.line != nullptr)) {
    EXPECT_EQ(start->line, Expand(c.line));
    if (c.directory) {
      EXPECT_TRUE(SamePath(start->directory, Expand(c.directory))) << start->directory;
    }
  }
  ExpectSelfDeletion(DeletesItself(run));
}

INSTANTIATE_TEST_SUITE_P(Document, ClosingDocument, ::testing::ValuesIn(kDocumentCases),
                         CaseName<DocumentCase>);

// --- Self-deletion --------------------------------------------------------------

struct SelfDeletionCase {
  const char *name;
  const char *switches;  // "" for an interactive run, confirmed unless `cancel`
  bool cancel;
  const char *install;   // the uninstaller's folder
  const char *temp;      // the temporary folder
  const char *version;   // wine's Windows version for the run; null: its default
  const char *keep;      // a file beside the uninstaller that the data does not list
  const char *decoy;     // a file of the test folder that the batch must not name
  bool taken;            // delme1.bat exists already
  bool deletes;          // the uninstaller deletes itself
};

void PrintTo(const SelfDeletionCase &c, std::ostream *os) { *os << c.name; }

const SelfDeletionCase kSelfDeletionCases[] = {
    {"QuietRun", "/Q", false, "app", "temp", nullptr, nullptr, nullptr, false, true},
    {"ConfirmedRun", "", false, "app", "temp", nullptr, nullptr, nullptr, false, true},
    {"FolderWithBlanks", "/Q", false, "My App", "temp", nullptr, nullptr, nullptr, false, true},
    {"FolderHoldingMoreStays", "/Q", false, "app", "temp", nullptr, "keep.txt", nullptr, false,
     true},
    // Each of these would make an unquoted or unescaped batch name the decoy.
    {"FolderWithAPercentSign", "/Q", false, "50%", "temp", nullptr, nullptr, "50\\uninst.exe",
     false, true},
    {"TemporaryFolderWithBlanks", "/Q", false, "app", "my temp", nullptr, nullptr, "my", false,
     true},
    {"TemporaryFolderWithAnAmpersand", "/Q", false, "app", "a&b", nullptr, nullptr, "a", false,
     true},
    // The batch reads its own path in the OEM code page: e acute is 0xE9 in
    // the ANSI code page 1252 and 0x82 in the OEM code page 437.
    {"TemporaryFolderWithAnAccent", "/Q", false, "app", "temp\xE9", nullptr, nullptr, nullptr,
     false, true},
    // The euro sign has no OEM form: its "?" would be a wildcard to "del".
    {"NoBatchForAPathWithoutAnOemForm", "/Q", false, "app", "temp\x80", nullptr, nullptr,
     nullptr, false, false},
    {"FirstBatchNameTaken", "/Q", false, "app", "temp", nullptr, nullptr, nullptr, true, true},
    {"Windows98", "/Q", false, "app", "temp", "win98", nullptr, nullptr, false, true},
    {"NotAfterARefusal", "", true, "app", "temp", nullptr, nullptr, nullptr, false, false},
    {"NotAfterSilent", "/S", false, "app", "temp", nullptr, nullptr, nullptr, false, false},
    {"NotAfterPartial", "/X", false, "app", "temp", nullptr, nullptr, nullptr, false, false},
};

class SelfDeletion : public AroundRemoval,
                     public ::testing::WithParamInterface<SelfDeletionCase> {
 protected:
  // The batch as it must read, for the executable that `hold` keeps.
  std::string ExpectedBatch(const std::string &batch) const {
    const std::string exe = "\"" + ShortPath(Exe()) + "\"";
    return "@echo off\r\n:Repeat\r\ndel " + exe + "\r\nif exist " + exe +
           " goto Repeat\r\nrmdir \"" + ShortPath(install_) + "\"\r\ndel \"" + batch + "\"\r\n";
  }
};

TEST_P(SelfDeletion, RemovesTheUninstallerAndItsEmptiedFolder) {
  const SelfDeletionCase &c = GetParam();
  UseFolders(c.install, c.temp);
  if (c.keep) WriteBinaryFile(install_ + "\\" + c.keep, "keep");
  const std::string decoy = c.decoy ? folder_ / c.decoy : "";
  if (c.decoy) {
    CreateDirectoryA(decoy.substr(0, decoy.rfind('\\')).c_str(), nullptr);
    WriteBinaryFile(decoy, "decoy");
  }
  const std::string taken = temp_ + "\\delme1.bat";
  if (c.taken) WriteBinaryFile(taken, "rem taken\r\n");
  RunPlan run{c.switches, c.cancel, {}};
  if (c.version) run.exeName = std::string("uninst-") + c.version + ".exe";
  WindowsVersionFor version(run.exeName, c.version);

  // With delme1.bat taken, the batch is delme2.bat; the held executable keeps
  // it waiting, to be read, until the test lets go.
  HANDLE hold = nullptr;
  Run(run, c.taken ? &hold : nullptr);
  if (hold) {
    const std::string batch = temp_ + "\\delme2.bat";
    EXPECT_EQ(Batches(), (std::vector<std::string>{"delme1.bat", "delme2.bat"}));
    EXPECT_EQ(ReadBinaryFile(batch), ExpectedBatch(batch));
    CloseHandle(hold);
  }
  ExpectSelfDeletion(c.deletes, c.taken ? std::vector<std::string>{"delme1.bat"}
                                        : std::vector<std::string>{});
  EXPECT_EQ(Exists(install_), !c.deletes || c.keep != nullptr);
  EXPECT_TRUE(!c.keep || Exists(install_ + "\\" + c.keep));
  EXPECT_TRUE(!c.decoy || Exists(decoy)) << decoy;
  EXPECT_TRUE(!c.taken || ReadBinaryFile(taken) == "rem taken\r\n");
}

INSTANTIATE_TEST_SUITE_P(Batch, SelfDeletion, ::testing::ValuesIn(kSelfDeletionCases),
                         CaseName<SelfDeletionCase>);

}  // namespace
}  // namespace quenrid::test
