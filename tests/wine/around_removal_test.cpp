// The product's program before the removal, the closing document after it and
// the uninstaller deleting itself, through the real packed stub. The recorder
// stands in for the program and the viewer; each run's temporary folder, with
// the self-deletion batch, lies in the test's own folder.
#include <windows.h>
#include <exdisp.h>
#include <shlobj.h>

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

// Whether the desktop's shell answers for the desktop, as the uninstaller
// asks it to open a document as the signed-in user, within a few seconds. A
// user's desktop has long been there; wine's, in the first session of a new
// prefix, has been seen never to answer, and the run then opens the document
// itself, as it must.
bool DesktopShellAnswers() {
  CoInitialize(nullptr);
  bool answers = false;
  for (const DWORD start = GetTickCount(); !answers && GetTickCount() - start < 5000; Sleep(200)) {
    IShellWindows *windows = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void **>(&windows)))) {
      continue;
    }
    VARIANT location{}, root{};
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    long window = 0;
    IDispatch *desktop = nullptr;
    answers = windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                    &desktop) == S_OK && desktop;
    if (desktop) desktop->Release();
    windows->Release();
  }
  CoUninitialize();
  return answers;
}

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
  // {temp}, {viewer} (in quotes) and {viewerpath} (without) filled in, and
  // {xN} as N letters x.
  std::string Expand(std::string text) const {
    for (size_t at = 0; (at = text.find('{', at)) != std::string::npos;) {
      const size_t end = text.find('}', at);
      const std::string name = text.substr(at + 1, end - at - 1);
      const std::string value = name == "app"      ? install_
                                : name == "docs"   ? install_ + "\\docs"
                                : name == "none"   ? install_ + "\\docs\\bye.qrnone"
                                : name == "temp"   ? temp_
                                : name == "viewer" ? '"' + viewer_ + '"'
                                : name == "viewerpath" ? viewer_
                                                   : std::string(std::atoi(&name[1]), 'x');
      text.replace(at, end - at + 1, value);
      at += value.size();
    }
    return text;
  }

  std::string Exe() const { return install_ + "\\" + exeName_; }

  // Packs the uninstaller, which lists probe.txt beside it, and runs it with
  // `switches` to its end, from `directory` (else the current folder), made
  // read-only when `readOnly`: "" is an interactive run that is confirmed,
  // "-" one that is refused. `hold`, when given, receives a handle that keeps
  // the executable from being deleted. Returns the process id.
  DWORD Run(const std::string &switches, const Settings &settings, HANDLE *hold = nullptr,
            const std::string &directory = "", bool readOnly = false) {
    const bool interactive = switches.empty() || switches == "-", cancel = switches == "-";
    Place(install_ + "\\probe.txt", "probe");
    Manifest manifest;
    manifest.messages = TestMessages();
    manifest.files = {{install_, "probe.txt", 0}};
    manifest.settings = settings;
    WritePackedStub(Exe(), EncodeBlock(manifest));
    if (readOnly) SetFileAttributesA(Exe().c_str(), FILE_ATTRIBUTE_READONLY);
    if (hold) {
      *hold = CreateFileA(Exe().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                          nullptr);
    }
    // The plan of a confirmed run, as the machine stands now.
    if (!cancel) {
      WindowsVersionFor planVersion("quenrid.exe", version_);
      plan_ = PlanRun(Exe(), interactive ? "" : switches);
    }
    GetSystemTimeAsFileTime(&started_);
    Process process(Exe(), interactive ? "" : switches, directory);
    if (interactive) {
      Answer(ui::WaitForDialog(process.id(), kDialogTimeoutMs, ui::IsMessageBox),
             cancel ? IDCANCEL : IDOK);
      if (!cancel) Answer(ui::WaitForDialog(process.id(), kExitTimeoutMs, ui::IsMessageBox), IDOK);
    }
    EXPECT_TRUE(ExitsWith(process, 0));
    EXPECT_EQ(Exists(install_ + "\\probe.txt"), cancel) << "the removal did not run as it should";
    return process.id();
  }

  // The plan starts the self-deletion: the loop of cmd.exe or a batch.
  bool PlanDeletesItself() const {
    return plan_.Launches("!QUENRID_EXE!") || plan_.Launches(temp_ + "\\delme");
  }

  // Waits until the executable is gone, or watches that it stays; no batch
  // is ever left in the temporary folder. The plan says the same.
  void ExpectSelfDeletion(bool deletes) {
    EXPECT_EQ(PlanDeletesItself(), deletes) << "the plan's self-deletion";
    if (!deletes) Sleep(kQuietMs);
    EXPECT_TRUE(WaitUntil([&] { return Exists(Exe()) != deletes; })) << "executable: " << Exists(Exe());
    EXPECT_FALSE(Listed(temp_ + "\\delme1.bat"));
  }

  TestFolder folder_;
  // A blank in the viewer's folder: "C:\...\my" must never be taken for it.
  const std::string viewer_ = folder_ / "my viewer\\viewer.exe";
  std::string install_, temp_, exeName_ = "uninst.exe";
  const char *version_ = nullptr;  // wine's Windows version for the runs; null: its default
  FILETIME started_{};  // when the last run began
  PlannedRun plan_;     // the plan of the last run, unless it was refused
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
  const char *version = nullptr;  // wine's Windows version for the run; null: its default (NT 6)
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
    {"FallBackQuoted", "/Q", "", "", "{none}", "{viewer} \"{none}\"", "{viewer} \"%1\" /after"},
    {"FallBackBare", "/Q", "", "", "{none}", "{viewer} /view  \"{none}\"", "{viewer} /view %1 /after"},
    {"FallBackAppends", "/Q", "", "", "{none}", "{viewer} /view \"{none}\"", "{viewer} /view"},
    {"FallBackWithoutCommand", "/Q", "", "", "{none}", ""},
    // An unquoted program path is read to its ".exe", blanks and all, never
    // cut at a blank; a name that cannot be read so starts nothing.
    {"FallBackUnquotedProgram", "/Q", "", "", "{none}", "{viewer} /view  \"{none}\"",
     "{viewerpath} /view %1"},
    {"FallBackUnquotedWithoutExe", "/Q", "", "", "{none}", "", "{docs}\\my viewer %1"},
    {"FallBackBareProgramOnlyFromTheSystem", "/Q", "", "", "{none}", "", "viewer.exe %1"},
    {"FallBackOnWindowsXp", "/Q", "", "", "{none}", "{viewer} /view \"{none}\"", "{viewer} /view",
     false, "winxp"},
    // Only a web address or a full path: a bare or relative name would be
    // looked for in the current folder.
    {"BareDocumentStartsNothing", "/Q", "", "", "readme", "", "{viewer} \"%1\""},
    {"RelativeDocumentStartsNothing", "/Q", "", "", "docs\\bye.qrdoc", ""},
    {"NamespacePathIsNotOpened", "/Q", "", "", "\\\\?\\{docs}\\bye.qrdoc", ""},
    {"DocumentOnWindowsXp", "/Q", "", "", kDoc, kOpened, nullptr, false, "winxp"},
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
  // Recorders that a search by a bare or blank-cut name would find: none may start.
  const std::vector<std::string> planted = {
      folder_ / "my.exe", folder_ / "readme.exe", folder_ / "viewer.exe", folder_ / "cwd\\readme.exe",
      folder_ / "cwd\\viewer.exe", install_ + "\\readme.exe", install_ + "\\docs\\my.exe"};
  const std::string recorder = ReadBinaryFile(HostPathToWindows(QUENRID_RECORDER_PATH));
  for (const std::string &path : planted) Place(path, recorder);
  for (const std::string &path : {program, viewer_}) Place(path, recorder);
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
  if (c.version) exeName_ = std::string("uninst-") + c.version + ".exe";
  version_ = c.version;
  WindowsVersionFor version(exeName_, c.version);
  const bool byShell = !c.opened[0] || c.version || DesktopShellAnswers();
  Run(c.switches, settings, nullptr, folder_ / "cwd");
  // The plan starts what the run starts, and opens the document it opens.
  if (std::strcmp(c.switches, "-") != 0) {
    EXPECT_EQ(Lists(plan_.started, line), c.started[0] != '\0') << "the plan's program";
    EXPECT_TRUE(c.started[0] || !plan_.Launches(program)) << "the plan's program";
    EXPECT_EQ(c.document[0] && plan_.Launches(Expand(c.document)), c.opened[0] != '\0')
        << "the plan's document";
  }
  // The recorder at `path` noted one start, with `line` in `directory` (empty:
  // not checked), or none when `line` is "": it appends "<directory> TAB <line>
  // TAB <probe> TAB <parent>" and a line break, <probe> 1 when probe.txt
  // beside it is there. From NT 6 on, the desktop's shell (explorer.exe) starts
  // the viewer, with the signed-in user's rights, where it answers; otherwise
  // the uninstaller does.
  const auto ExpectStart = [&](const std::string &path, const std::string &line,
                               const std::string &directory, bool byDesktop) {
    const auto log = [&] { return Exists(path + ".log") ? ReadBinaryFile(path + ".log") : ""; };
    const bool started =
        WaitUntil([&] { return !log().empty(); }, line.empty() ? kQuietMs : kSettleMs);
    const std::string text = log();
    ASSERT_EQ(started, !line.empty()) << path << ": " << text;
    if (line.empty()) return;
    ASSERT_EQ(text.find("\r\n"), text.size() - 2) << "started more than once: " << text;
    std::vector<std::string> field(1);
    for (char c : text.substr(0, text.size() - 2)) {
      if (c == '\t') field.emplace_back(); else field.back() += c;
    }
    ASSERT_EQ(field.size(), 4u) << text;
    EXPECT_EQ(field[1], line);
    EXPECT_TRUE(directory.empty() || SamePath(field[0], directory)) << text;
    // A program that sleeps ends before the removal only when waited for.
    EXPECT_TRUE(line.find("sleep=") == std::string::npos || (field[2] == "1") == c.wait);
    EXPECT_EQ(_stricmp(field[3].c_str(), "explorer.exe") == 0, byDesktop) << text;
  };
  ExpectStart(program, c.started[0] ? line : "", folder, false);
  ExpectStart(viewer_, Expand(c.opened), c.opened == std::string(kOpened) ? Expand("{docs}") : "",
              !c.version && byShell);
  for (const std::string &path : planted) EXPECT_FALSE(Exists(path + ".log")) << path;
  ExpectSelfDeletion(!std::strpbrk(c.switches, "SX-"));
}

INSTANTIATE_TEST_SUITE_P(AroundRemoval, Starts, ::testing::ValuesIn(kStartCases), CaseName);

// --- Self-deletion --------------------------------------------------------

enum Hold { FREE, HELD_BRIEFLY, READ_ONLY };
enum Squat { NO_SQUAT, SQUAT_FILE, SQUAT_LINK };

// Quiet runs. Recorders planted as cmd.exe and ping.exe in the current folder
// and on PATH, and as qrpwn.exe on PATH (a name that a path split at "&"
// would run), must never start; nothing is written into the temporary folder.
struct DeletionCase {
  const char *name;
  bool deletes;                   // the uninstaller deletes itself
  const char *install = "app";    // the uninstaller's folder
  const char *temp = "temp";      // the temporary folder
  const char *version = nullptr;  // wine's Windows version for the run; null: its default
  Hold hold = FREE;               // what keeps the executable from going
  Squat squat = NO_SQUAT;         // what lies at delme1.bat in the temporary folder
  bool plantInFolder = false;     // cmd.exe and ping.exe beside the uninstaller too
  const char *decoy = nullptr;    // a file of the test folder that no path may name
  bool commandCom = false;        // the recorder as the Windows folder's command.com
};

// \x93 and \x94 are curly quotes in the ANSI code page 1252; the OEM code
// page 437 has none, and its best fit makes them straight quotes.
// clang-format off
const DeletionCase kDeletionCases[] = {
    {"FolderWithBlanksOnWindows98", true, "My App", "temp", "win98"},
    {"OnWindowsXp", true, "app", "temp", "winxp"},
    {"FolderHoldingMoreStays", true, "app", "temp", nullptr, FREE, NO_SQUAT, true},
    {"HeldExecutableIsWaitedFor", true, "app", "temp", nullptr, HELD_BRIEFLY},
    {"ExecutableThatCannotGoEndsTheLoop", false, "app", "temp", nullptr, READ_ONLY},
    {"FileOnTheOldBatchName", true, "app", "temp", nullptr, FREE, SQUAT_FILE},
    {"LinkOnTheOldBatchName", true, "app", "temp", nullptr, FREE, SQUAT_LINK},
    {"FolderWithAPercentSign", true, "50%", "temp", nullptr, FREE, NO_SQUAT, false, "50\\uninst.exe"},
    {"FolderWithAnAmpersand", true, "a&b", "temp", nullptr, FREE, NO_SQUAT, false, "a"},
    {"FolderWithBestFitQuotes", true, "a\x93&qrpwn&\x94", "temp"},
    // What delayed expansion and a parenthesised block might read as their own.
    {"FolderWithCaretBangAndParentheses", true, "a^b!c (x)", "temp", nullptr, FREE, NO_SQUAT,
     false, "a"},
    {"FolderWithoutAnOemForm", true, "app\x80"},
    {"TemporaryFolderWithBestFitQuotes", true, "app", "t\x93&qrpwn&\x94"},
    {"TemporaryFolderWithBlanksAndAnAmpersand", true, "app", "my t&mp", nullptr, FREE, NO_SQUAT,
     false, "my"},
    // Where command.com is there, 95/98/Me write a batch for it, never one
    // that names a path without an exact OEM form.
    {"BatchForCommandComOnWindows98", false, "app", "temp", "win98", FREE, NO_SQUAT, false,
     nullptr, true},
    {"NoBatchInATemporaryFolderWithoutAnOemForm", false, "app", "t\x80", "win98", FREE, NO_SQUAT,
     false, nullptr, true},
};
// clang-format on

constexpr DWORD kLoopBoundMs = 90000;  // sixty tries a second apart, and slack

class SelfDeletion : public AroundRemoval, public ::testing::WithParamInterface<DeletionCase> {};

TEST_P(SelfDeletion, RemovesTheUninstallerAndItsEmptiedFolderAndRunsNothingElse) {
  const DeletionCase &c = GetParam();
  UseFolders(c.install, c.temp);
  const std::string recorder = ReadBinaryFile(HostPathToWindows(QUENRID_RECORDER_PATH));
  std::vector<std::string> planted;
  for (const char *path : {"bin\\cmd.exe", "bin\\ping.exe", "bin\\qrpwn.exe", "cwd\\cmd.exe",
                           "cwd\\ping.exe"}) {
    planted.push_back(folder_ / path);
  }
  if (c.plantInFolder) planted.insert(planted.end(), {install_ + "\\cmd.exe", install_ + "\\ping.exe"});
  for (const std::string &path : planted) Place(path, recorder);
  char path[4096];
  GetEnvironmentVariableA("PATH", path, sizeof path);
  SetEnvironmentVariableA("PATH", ((folder_ / "bin;") + path).c_str());
  const std::string batch = temp_ + "\\delme1.bat", aside = folder_ / "aside\\delme1.bat";
  const std::string squatted = "@\"" + (folder_ / "bin\\qrpwn.exe") + "\" squat\r\n";
  if (c.squat == SQUAT_FILE) Place(batch, squatted);
  // Wine lists no dangling link: the link is seen made while its target is
  // there, then left dangling, and made whole again to be removed.
  HANDLE watch = INVALID_HANDLE_VALUE;  // signalled by any name made in the link's folder
  if (c.squat == SQUAT_LINK) {
    Place(aside, "aside");
    MakeLink(UnixPath(temp_) + "/delme1.bat", aside, batch);
    DeleteFileA(aside.c_str());
    watch = FindFirstChangeNotificationA((folder_ / "aside").c_str(), FALSE,
                                         FILE_NOTIFY_CHANGE_FILE_NAME);
  }
  if (c.decoy) Place(folder_ / c.decoy, "decoy");
  if (c.version) exeName_ = std::string("uninst-") + c.version + ".exe";
  version_ = c.version;
  WindowsVersionFor version(exeName_, c.version);
  char windows[MAX_PATH];
  const std::string commandCom =
      std::string(windows, GetWindowsDirectoryA(windows, MAX_PATH)) + "\\command.com";
  // Gone with the test, however it ends: every later run would take it.
  const std::shared_ptr<void> unplant(nullptr, [&](void *) {
    for (const std::string &path : {commandCom, commandCom + ".log", batch}) DeleteFileA(path.c_str());
  });
  if (c.commandCom) Place(commandCom, recorder);

  HANDLE hold = nullptr;
  const DWORD uninstaller = Run("/Q", {}, c.hold == HELD_BRIEFLY ? &hold : nullptr, folder_ / "cwd",
                                c.hold == READ_ONLY);
  if (c.commandCom) {
    // The recorder, standing in for command.com, runs no batch.
    const bool written = Listed(batch);
    EXPECT_EQ(written, c.temp == std::string("temp")) << "the batch";
    EXPECT_EQ(written, PlanDeletesItself()) << "the plan's self-deletion";
    EXPECT_TRUE(WaitUntil([&] { return Exists(commandCom + ".log") == written; }));
    EXPECT_TRUE(!written || ReadBinaryFile(commandCom + ".log").find(batch) != std::string::npos);
    DeleteFileA(batch.c_str());
  }
  std::vector<HANDLE> loop = ChildProcesses(uninstaller, "cmd.exe", started_);
  EXPECT_EQ(loop.empty(), c.commandCom) << "the loop of cmd.exe";
  EXPECT_TRUE(c.commandCom || PlanDeletesItself()) << "the plan's self-deletion";
  if (c.hold != FREE) {
    Sleep(c.hold == READ_ONLY ? 3000 : kQuietMs);
    EXPECT_TRUE(Exists(Exe())) << "the held executable went";
    EXPECT_FALSE(Listed(temp_ + "\\delme*.bat")) << "a batch that anyone could rewrite";
    EXPECT_TRUE(!loop.empty() && WaitForSingleObject(loop[0], 0) == WAIT_TIMEOUT)
        << "the loop gave up at once";
    CloseHandle(hold);
  }
  for (HANDLE process : loop) {
    EXPECT_EQ(WaitForSingleObject(process, kLoopBoundMs), WAIT_OBJECT_0) << "the loop never ends";
    TerminateProcess(process, 1);
    CloseHandle(process);
  }
  EXPECT_EQ(Exists(Exe()), !c.deletes);
  EXPECT_EQ(Exists(install_), !c.deletes || c.plantInFolder);
  for (const std::string &program : planted) EXPECT_FALSE(Exists(program + ".log")) << program;
  EXPECT_TRUE(c.squat != SQUAT_FILE || ReadBinaryFile(batch) == squatted) << "squatter changed";
  if (c.squat == SQUAT_LINK) {
    EXPECT_EQ(WaitForSingleObject(watch, 0), WAIT_TIMEOUT) << "written through the link";
    FindCloseChangeNotification(watch);
    Place(aside, "aside");
    RemoveLink(UnixPath(temp_) + "/delme1.bat", batch);
  }
  EXPECT_FALSE(c.squat == NO_SQUAT && Listed(batch)) << "a batch was left";
  EXPECT_TRUE(!c.decoy || Exists(folder_ / c.decoy)) << c.decoy;
  SetEnvironmentVariableA("PATH", path);
}

INSTANTIATE_TEST_SUITE_P(Loop, SelfDeletion, ::testing::ValuesIn(kDeletionCases), CaseName);

}  // namespace
}  // namespace quenrid::test
