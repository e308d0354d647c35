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

bool WaitUntil(const std::function<bool()> &done) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(50)) {
    if (GetTickCount() - start > kSettleMs) return false;
  }
  return true;
}

std::string ReplaceAll(std::string text, const std::string &from, const std::string &to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string ShortPath(const std::string &path) {
  char shortPath[MAX_PATH] = "";
  GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
  return shortPath;
}

// One start of the recorder, as it noted it: folder, command line, and
// whether probe.txt beside it still existed as it ended.
struct Record {
  std::string directory, line;
  bool probe;
};

std::vector<Record> ReadRecords(const std::string &recorder) {
  std::vector<Record> records;
  if (!Exists(recorder + ".log")) return records;
  const std::string text = ReadBinaryFile(recorder + ".log");
  for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    const std::string entry = text.substr(start, end - start);
    const size_t first = entry.find('\t'), last = entry.rfind('\t');
    records.push_back({entry.substr(0, first), entry.substr(first + 1, last - first - 1),
                       entry.substr(last + 1) == "1"});
  }
  return records;
}

// The default value of a key under HKEY_CLASSES_ROOT, set for the test; what
// was there is put back, and the highest key of the path that was missing is
// removed with its tree, when the object goes.
class ClassesRootDefault {
 public:
  ClassesRootDefault(const std::string &key, const std::string &value) : key_(key) {
    for (size_t at = 0; at != std::string::npos && created_.empty();) {
      at = key.find('\\', at + 1);
      HKEY probe;
      if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.substr(0, at).c_str(), 0, KEY_READ, &probe)) {
        created_ = key.substr(0, at);
      } else {
        RegCloseKey(probe);
      }
    }
    char old[1024];
    LONG size = sizeof old;
    if (created_.empty() && !RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), old, &size)) old_ = old;
    EXPECT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(),
                           static_cast<DWORD>(value.size())),
              ERROR_SUCCESS);
  }
  ~ClassesRootDefault() {
    if (!created_.empty()) RegDeleteTreeA(HKEY_CLASSES_ROOT, created_.c_str());
    if (old_) {
      RegSetValueA(HKEY_CLASSES_ROOT, key_.c_str(), REG_SZ, old_->c_str(),
                   static_cast<DWORD>(old_->size()));
    }
  }
  ClassesRootDefault(const ClassesRootDefault &) = delete;
  ClassesRootDefault &operator=(const ClassesRootDefault &) = delete;

 private:
  std::string key_, created_;
  std::optional<std::string> old_;
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

  // `pattern` with {install}, {temp}, {cwd} and {viewer} filled in, and {xN}
  // as N letters x.
  std::string Expand(const std::string &pattern) const {
    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, cwd);
    std::string text = ReplaceAll(ReplaceAll(pattern, "{install}", install_), "{temp}", temp_);
    text = ReplaceAll(ReplaceAll(text, "{cwd}", cwd), "{viewer}", Viewer());
    for (size_t at; (at = text.find("{x")) != std::string::npos;) {
      text.replace(at, text.find('}', at) - at + 1, std::string(std::atoi(&text[at + 2]), 'x'));
    }
    return text;
  }

  std::string Viewer() const { return folder_ / "viewer\\viewer.exe"; }
  std::string Exe() const { return install_ + "\\" + exeName_; }

  // A copy of the recorder at `path`, its folder made first.
  static void PlaceRecorder(const std::string &path) {
    CreateDirectoryA(path.substr(0, path.rfind('\\')).c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(HostPathToWindows(QUENRID_RECORDER_PATH).c_str(), path.c_str(), FALSE))
        << path;
  }

  // Packs the uninstaller, which lists probe.txt beside it, and runs it with
  // `switches` ("" for an interactive run, confirmed unless `cancel`) to its
  // end. `hold`, when given, receives a handle that keeps the executable from
  // being deleted.
  void Run(const char *switches, bool cancel, const Settings &settings, HANDLE *hold = nullptr) {
    deletesItself_ = !cancel && !std::strpbrk(switches, "SsXx");
    WriteBinaryFile(install_ + "\\probe.txt", "probe");
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
    Process process(Exe(), switches);
    if (switches[0] == '\0') {
      Answer(ui::WaitForDialog(process.id(), kDialogTimeoutMs, ui::IsMessageBox),
             cancel ? IDCANCEL : IDOK);
      if (!cancel) Answer(ui::WaitForDialog(process.id(), kExitTimeoutMs, ui::IsMessageBox), IDOK);
    }
    EXPECT_TRUE(ExitsWith(process, 0));
    EXPECT_EQ(Exists(install_ + "\\probe.txt"), cancel) << "the removal did not run as it should";
  }

  // The batches left in the temporary folder.
  std::vector<std::string> Batches() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((temp_ + "\\delme*.bat").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
  }

  // Waits for the self-deletion to finish, or watches that none happens:
  // afterwards the executable is gone or still there, and the batches in the
  // temporary folder are exactly `left`.
  void ExpectSelfDeletion(bool deletes, const std::vector<std::string> &left = {}) {
    if (!deletes) Sleep(kQuietMs);
    EXPECT_TRUE(deletes ? WaitUntil([&] { return !Exists(Exe()) && Batches() == left; })
                        : Exists(Exe()) && Batches() == left)
        << "executable still there: " << Exists(Exe()) << ", batches: " << Batches().size();
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
  std::string install_, temp_, exeName_ = "uninst.exe";
  bool deletesItself_ = false;  // without a refusal, /S or /X
};

template <class Case> std::string CaseName(const ::testing::TestParamInfo<Case> &info) {
  return info.param.name;
}

// --- The pre-uninstall program ----------------------------------------------

struct ProgramCase {
  const char *name;
  const char *switches;  // "" for an interactive run, confirmed unless `cancel`
  bool cancel;
  const char *command;   // the settings' program line
  const char *line;      // the command line it must get; null: it must not start
  const char *directory = "{install}";         // the folder it must start in
  const char *recorder = "{install}\\setup.exe";  // where the program lies
  bool wait = false;
  int probe = -1;  // 1: it ended before the removal; 0: after; -1: either
};

const char kSetupLine[] = "\"{install}\\setup.exe\"";
const char kSleepLine[] = "\"{install}\\setup.exe\" sleep=1500";

// clang-format off
const ProgramCase kProgramCases[] = {
    {"Quiet", "/Q", false, "\"setup.exe\" /u", "\"{install}\\setup.exe\" /u"},
    {"Silent", "/S", false, "\" setup.exe  \"   /u  /v", "\"{install}\\setup.exe\" /u  /v"},
    {"PartialSkipsIt", "/X", false, "setup.exe", nullptr},
    {"SilentAndPartialRunIt", "/S /X", false, "setup.exe", kSetupLine},
    {"RefusedRunNeverStartsIt", "", true, "setup.exe", nullptr},
    {"InstallDirMacro", "/S", false, "\"#InstallDir#\\bin\\setup.exe\" /u",
     "\"{install}\\bin\\setup.exe\" /u", "{install}\\bin", "{install}\\bin\\setup.exe"},
    {"MacroOutsideTheInstallFolder", "/S", false, "#TEMPDIR#\\tool.exe", "\"{temp}\\tool.exe\"",
     "{temp}", "{temp}\\tool.exe"},
    {"UnknownMacroLeavesABareName", "/S", false, "#Nothing#setup.exe", "\"setup.exe\"", "{cwd}"},
    // Unquoted, the arguments are part of the program's name: it cannot start.
    {"UnquotedArgumentsAreNoArguments", "/S", false, "setup.exe /u", nullptr},
    {"AnAbsolutePathIsStillRelative", "/S", false, "{install}\\setup.exe", nullptr},
    {"ProgramPathWithBlanks", "/S", false, "\"tools dir\\my tool.exe\" /u",
     "\"{install}\\tools dir\\my tool.exe\" /u", "{install}\\tools dir",
     "{install}\\tools dir\\my tool.exe"},
    {"QuotedWithoutArguments", "/S", false, "\"setup.exe\"", kSetupLine},
    {"WaitedFor", "/S", false, "\"setup.exe\" sleep=1500", kSleepLine, "{install}",
     "{install}\\setup.exe", true, 1},
    {"WaitedForInAnInteractiveRun", "", false, "\"setup.exe\" sleep=1500", kSleepLine,
     "{install}", "{install}\\setup.exe", true, 1},
    {"NotWaitedFor", "/S", false, "\"setup.exe\" sleep=1500", kSleepLine, "{install}",
     "{install}\\setup.exe", false, 0},
    // The exit code that reads as "still running" must not hold the run forever.
    {"ExitCode259EndsTheWait", "/S", false, "\"setup.exe\" exit=259",
     "\"{install}\\setup.exe\" exit=259", "{install}", "{install}\\setup.exe", true, 1},
    // Never cut into a shorter command line.
    {"TooLongForThePathBuffer", "/S", false, "\"setup.exe\" {x250}", nullptr},
    {"TooLongForTheCommandLine", "/S", false, "\"#InstallDir#\\setup.exe\" {x520}", nullptr},
};
// clang-format on

class PreUninstall : public AroundRemoval, public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(PreUninstall, StartsAsTheSwitchesAndTheLineSay) {
  const ProgramCase &c = GetParam();
  UseFolders("app", "temp");
  const std::string recorder = Expand(c.recorder);
  PlaceRecorder(recorder);
  Settings settings;
  settings.flags = c.wait ? uint32_t{SETTINGS_WAIT_FOR_PROGRAM} : 0u;
  settings.program = Expand(c.command);
  Run(c.switches, c.cancel, settings);
  if (std::optional<Record> start = RecordedStart(recorder, c.line != nullptr)) {
    EXPECT_EQ(start->line, Expand(c.line));
    EXPECT_TRUE(SamePath(start->directory, Expand(c.directory))) << start->directory;
    EXPECT_TRUE(c.probe < 0 || start->probe == (c.probe == 1)) << "ended before the removal";
  }
  ExpectSelfDeletion(deletesItself_);
}

INSTANTIATE_TEST_SUITE_P(Program, PreUninstall, ::testing::ValuesIn(kProgramCases),
                         CaseName<ProgramCase>);

// --- The closing document -----------------------------------------------------

struct DocumentCase {
  const char *name;
  const char *switches;  // "" for an interactive run, confirmed unless `cancel`
  bool cancel;
  const char *document;
  const char *line;                  // the viewer's command line; null: nothing is opened
  const char *directory = nullptr;   // the folder the viewer starts in; null: not checked
  const char *htmCommand = nullptr;  // the open command of the ".htm" class; null: none
};

// The shell knows the ".qrdoc" files; it knows nothing of ".qrnone", which
// leaves such a document to the ".htm" class's command.
const char kShellDocument[] = "{install}\\docs\\bye.qrdoc";
const char kShellLine[] = "\"{viewer}\" \"{install}\\docs\\bye.qrdoc\"";
const char kOtherDocument[] = "{install}\\docs\\bye.qrnone";

// clang-format off
const DocumentCase kDocumentCases[] = {
    {"ShellOpensItFromItsFolder", "", false, kShellDocument, kShellLine, "{install}\\docs"},
    {"QuietRunsOpenItToo", "/Q", false, kShellDocument, kShellLine, "{install}\\docs"},
    {"NotAfterSilent", "/S", false, kShellDocument, nullptr},
    {"NotAfterPartial", "/X", false, kShellDocument, nullptr},
    {"NotAfterARefusal", "", true, kShellDocument, nullptr},
    // A web address has no folder, whatever the case of its scheme.
    {"WebAddressInCapitals", "/Q", false, "HTTP://quenrid.invalid/a\\b",
     "\"{viewer}\" \"HTTP://quenrid.invalid/a\\b\""},
    {"SecureWebAddress", "/Q", false, "hTtPs://quenrid.invalid/a\\b",
     "\"{viewer}\" \"hTtPs://quenrid.invalid/a\\b\""},
    {"FallBackDropsTheQuotedPlaceholderAndWhatFollows", "/Q", false, kOtherDocument,
     "\"{viewer}\"  {install}\\docs\\bye.qrnone", nullptr, "\"{viewer}\" \"%1\" /after"},
    {"FallBackDropsABarePlaceholder", "/Q", false, kOtherDocument,
     "\"{viewer}\" /view  {install}\\docs\\bye.qrnone", nullptr, "\"{viewer}\" /view %1 /after"},
    {"FallBackAppendsWithoutAPlaceholder", "/Q", false, kOtherDocument,
     "\"{viewer}\" /view {install}\\docs\\bye.qrnone", nullptr, "\"{viewer}\" /view"},
    {"FallBackWithoutACommandOpensNothing", "/Q", false, kOtherDocument, nullptr},
    // Never cut into another document.
    {"TooLongADocumentIsNotOpened", "/Q", false, "{install}\\docs\\{x520}.qrnone", nullptr,
     nullptr, "\"{viewer}\" \"%1\""},
    {"TooLongAFallBackIsNotRun", "/Q", false, "{install}\\docs\\{x240}.qrnone", nullptr, nullptr,
     "\"{viewer}\" /{x150}"},
};
// clang-format on

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
  ClassesRootDefault pageCommand(c.htmCommand ? "Quenrid.TestPage\\shell\\open\\command"
                                              : "Quenrid.TestPage",
                                 c.htmCommand ? Expand(c.htmCommand) : "");
  Settings settings;
  settings.document = Expand(c.document);
  Run(c.switches, c.cancel, settings);
  if (std::optional<Record> start = RecordedStart(Viewer(), c.line != nullptr)) {
    EXPECT_EQ(start->line, Expand(c.line));
    EXPECT_TRUE(!c.directory || SamePath(start->directory, Expand(c.directory)))
        << start->directory;
  }
  ExpectSelfDeletion(deletesItself_);
}

INSTANTIATE_TEST_SUITE_P(Document, ClosingDocument, ::testing::ValuesIn(kDocumentCases),
                         CaseName<DocumentCase>);

// --- Self-deletion --------------------------------------------------------------

// Quiet runs, in folders whose names a batch must quote.
struct SelfDeletionCase {
  const char *name;
  bool deletes;                   // the uninstaller deletes itself
  const char *install = "app";    // the uninstaller's folder
  const char *temp = "temp";      // the temporary folder
  const char *decoy = nullptr;    // a file of the test folder that the batch must not name
  const char *keep = nullptr;     // a file beside the uninstaller that the data does not list
  const char *version = nullptr;  // wine's Windows version for the run; null: its default
  bool taken = false;             // delme1.bat exists already
};

// Which runs delete themselves at all, every program and document row checks.
// clang-format off
const SelfDeletionCase kSelfDeletionCases[] = {
    {"FolderWithBlanks", true, "My App"},
    {"FolderHoldingMoreStays", true, "app", "temp", nullptr, "keep.txt"},
    // Each of these would make an unquoted or unescaped batch name the decoy.
    {"FolderWithAPercentSign", true, "50%", "temp", "50\\uninst.exe"},
    {"TemporaryFolderWithBlanks", true, "app", "my temp", "my"},
    {"TemporaryFolderWithAnAmpersand", true, "app", "a&b", "a"},
    // The batch reads its own path in the OEM code page: e acute is 0xE9 in
    // the ANSI code page 1252 and 0x82 in the OEM code page 437.
    {"TemporaryFolderWithAnAccent", true, "app", "temp\xE9"},
    // The euro sign has no OEM form: its "?" would be a wildcard to "del".
    {"NoBatchForAPathWithoutAnOemForm", false, "app", "temp\x80"},
    {"FirstBatchNameTaken", true, "app", "temp", nullptr, nullptr, nullptr, true},
    {"Windows98", true, "app", "temp", nullptr, nullptr, "win98"},
};
// clang-format on

class SelfDeletion : public AroundRemoval,
                     public ::testing::WithParamInterface<SelfDeletionCase> {};

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
  if (c.version) exeName_ = std::string("uninst-") + c.version + ".exe";
  WindowsVersionFor version(exeName_, c.version);

  // With delme1.bat taken, the batch is delme2.bat; the held executable keeps
  // it waiting, to be read, until the test lets go.
  HANDLE hold = nullptr;
  Run("/Q", false, {}, c.taken ? &hold : nullptr);
  if (hold) {
    const std::string batch = temp_ + "\\delme2.bat", exe = "\"" + ShortPath(Exe()) + "\"";
    EXPECT_EQ(Batches(), (std::vector<std::string>{"delme1.bat", "delme2.bat"}));
    EXPECT_EQ(ReadBinaryFile(batch), "@echo off\r\n:Repeat\r\ndel " + exe + "\r\nif exist " + exe +
                                         " goto Repeat\r\nrmdir \"" + ShortPath(install_) +
                                         "\"\r\ndel \"" + batch + "\"\r\n");
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
