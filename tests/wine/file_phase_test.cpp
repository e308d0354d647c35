// The file phase through the real packed stub: reverse order and folders,
// shared-DLL counts with message 10, and read-only files with the question.
// Each test's last run is also compared with `quenrid plan`, made before it.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cctype>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "../host/truetype_file.h"
#include "data/state.h"
#include "ui/ui.h"
#include "com_record.h"
#include "data/uninstall_data.h"
#include "file_lock.h"
#include "removal/files.h"
#include "harness.h"
#include "resources/resource.h"
#include "test_messages.h"
#include "ui_driver.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

const char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

bool Exists(const std::string &path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsReadOnly(const std::string &path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// The shared count of `path` under HKLM, or none when there is no value.
std::optional<DWORD> SharedCount(const std::string &path) {
  DWORD count = 0;
  DWORD size = sizeof count;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), RRF_RT_REG_DWORD, nullptr,
                   &count, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return count;
}

void SetSharedCount(const std::string &path, DWORD count) {
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), REG_DWORD, &count,
                            sizeof count),
            ERROR_SUCCESS);
}

void DeleteSharedCount(const std::string &path) {
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str());
}

bool IsEmptyFolder(const std::string &path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool empty = true;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") empty = false;
  } while (empty && FindNextFileA(search, &found));
  FindClose(search);
  return empty;
}

// The systems a run is tried under: the default NT 6.1 and two older ones.
struct System {
  const char *version;  // null for wine's default
  const char *name;
  bool nt6;
  bool nt;
};
const System kSystems[] = {
    {nullptr, "default", true, true}, {"winxp", "winxp", false, true}, {"win98", "win98", false, false}};

class FilePhase : public ::testing::Test {
 protected:
  void SetUp() override { messages_ = TestMessages(); }

  void TearDown() override {
    CompareWithPlan();
    for (const std::string &path : shared_) DeleteSharedCount(path);
    SetEnvironmentVariableA("QUENRID_COM_RECORD", nullptr);
  }

  // A file of the product in the test folder.
  std::string MakeFile(const std::string &name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    const std::string path = folder_ / name;
    WriteBinaryFile(path, name);
    SetFileAttributesA(path.c_str(), attributes);
    return path;
  }

  std::string Shared(const std::string &name, std::optional<DWORD> count) {
    const std::string path = MakeFile(name);
    shared_.push_back(path);
    if (count) SetSharedCount(path, *count);
    return path;
  }

  void Add(const std::string &folder, const std::string &name, uint8_t flags = 0) {
    files_.push_back({folder, name, flags});
  }
  void Add(const std::string &name, uint8_t flags = 0) { Add(folder_.path(), name, flags); }

  // Packs the listed files and starts a silent run: the phase's own questions
  // come in quiet runs too, without the other prompts around them, and the
  // uninstaller stays behind for the test to look at.
  Process &Run(const std::string &switches = "/S", const std::string &exeName = "uninst.exe") {
    Manifest manifest;
    manifest.messages = messages_;
    manifest.files = files_;
    const std::string exe = folder_ / exeName;
    WritePackedStub(exe, EncodeBlock(manifest));
    plan_ = nlohmann::json::parse(PlanJson(exe, switches));
    run_.emplace(exe, switches);
    return *run_;
  }

  static std::string Lowered(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  }
  static std::set<std::string> LoweredSet(const nlohmann::json &paths) {
    std::set<std::string> set;
    for (const auto &path : paths) set.insert(Lowered(path.get<std::string>()));
    return set;
  }

  // What the plan removes without a question is gone after the last run,
  // and what it keeps is there; the answers decide the rest.
  void CompareWithPlan() {
    if (!plan_ || !run_ || !run_->WaitForExit(0)) return;
    const std::set<std::string> removed = LoweredSet((*plan_)["removed"]);
    const std::set<std::string> onYes = LoweredSet((*plan_)["removedOnYes"]);
    for (const FileRecord &file : files_) {
      if (file.folder[0] == '.') continue;
      const std::string path =
          file.folder + (file.fileName.empty() ? "" : "\\" + file.fileName);
      const std::string key = Lowered(path);
      if (onYes.count(key)) continue;
      EXPECT_EQ(removed.count(key) == 1, !Exists(path)) << "the plan got wrong: " << path;
    }
  }

  // The next dialog or box of the run, checked to be the read-only question
  // about `path` or message 10 about it.
  HWND Question(const std::string &path) {
    HWND dialog = ui::WaitForDialog(run_->id(), kDialogTimeoutMs, [](HWND w) {
      return !ui::IsMessageBox(w) && ui::HasControl(w, IDC_NO_TO_ALL);
    });
    if (!dialog) {
      ADD_FAILURE() << "no read-only question for " << path;
      return nullptr;
    }
    EXPECT_EQ(ui::ControlText(dialog, IDC_MESSAGE_TEXT), WithArgument(messages_[9], path));
    return dialog;
  }

  HWND SharedQuestion(const std::string &path) {
    HWND box = ui::WaitForDialog(run_->id(), kDialogTimeoutMs, ui::IsMessageBox);
    if (!box) {
      ADD_FAILURE() << "no message 10 for " << path;
      return nullptr;
    }
    const ui::DialogInfo info = ui::Describe(box);
    EXPECT_EQ(info.text, WithArgument(messages_[10], path));
    EXPECT_EQ(info.buttons.size(), 2u);
    return box;
  }

  TestFolder folder_;
  std::vector<std::string> messages_;
  std::vector<FileRecord> files_;
  std::vector<std::string> shared_;
  std::optional<Process> run_;
  std::optional<nlohmann::json> plan_;
};

TEST_F(FilePhase, FilesGoInReverseOrderBeforeTheirFolders) {
  CreateDirectoryA((folder_ / "sub").c_str(), nullptr);
  CreateDirectoryA((folder_ / "kept").c_str(), nullptr);
  MakeFile("sub\\a.txt");
  MakeFile("kept\\unlisted.txt");
  char documents[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, 0, documents), S_OK);
  ASSERT_TRUE(IsEmptyFolder(documents)) << documents;
  Add(folder_ / "sub", "");        // listed ahead of its file
  Add(folder_ / "sub", "a.txt");
  Add(folder_ / "kept", "");       // holds a file the list does not name
  Add(documents, "");              // an empty, protected folder
  Add(".", "");                    // the uninstaller's own folder, still in use
  EXPECT_TRUE(ExitsSilentlyWith(Run(), 0));
  EXPECT_FALSE(Exists(folder_ / "sub"));
  EXPECT_TRUE(Exists(folder_ / "kept\\unlisted.txt"));
  EXPECT_TRUE(Exists(documents));
  EXPECT_TRUE(Exists(folder_ / "uninst.exe"));
}

TEST_F(FilePhase, ACountAboveOneIsDecrementedAndAsksNothing) {
  const std::string busy = Shared("busy.dll", 5);
  const std::string three = Shared("three.dll", 3);
  const std::string lockedOne = Shared("locked.dll", 1);
  Add("busy.dll", FILE_FLAG_SHARED_DLL);
  Add("three.dll", FILE_FLAG_SHARED_DLL);
  Add("locked.dll", FILE_FLAG_SHARED_DLL);
  FileLock busyLock(busy);
  FileLock lock(lockedOne);
  EXPECT_TRUE(ExitsSilentlyWith(Run(), 0));
  EXPECT_EQ(SharedCount(three), 2u);
  EXPECT_EQ(SharedCount(busy), 4u);      // in use, but others still count
  EXPECT_EQ(SharedCount(lockedOne), 1u); // in use: its last reference stays
  EXPECT_TRUE(Exists(three));
  EXPECT_TRUE(Exists(lockedOne));
}

TEST_F(FilePhase, ARunOutCountAsksAndYesRemovesValueAndFile) {
  const std::string last = Shared("last.dll", 1);
  const std::string none = Shared("novalue.dll", std::nullopt);
  Add("novalue.dll", FILE_FLAG_SHARED_DLL);
  Add("last.dll", FILE_FLAG_SHARED_DLL);
  Process &run = Run("/S");
  Answer(SharedQuestion(last), IDYES);
  Answer(SharedQuestion(none), IDYES);  // no value counts as run out
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
  EXPECT_FALSE(Exists(last));
  EXPECT_FALSE(SharedCount(last));
  EXPECT_FALSE(Exists(none));
}

TEST_F(FilePhase, NoToARunOutCountLeavesZeroAndTheFile) {
  const std::string last = Shared("last.dll", 1);
  Add("last.dll", FILE_FLAG_SHARED_DLL);
  Process &run = Run();
  Answer(SharedQuestion(last), IDNO);
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
  EXPECT_TRUE(Exists(last));
  EXPECT_EQ(SharedCount(last), 0u);
}

TEST_F(FilePhase, AnEmptyMessage10RemovesWithoutAsking) {
  messages_[10] = "";
  const std::string last = Shared("last.dll", 1);
  Add("last.dll", FILE_FLAG_SHARED_DLL);
  EXPECT_TRUE(ExitsSilentlyWith(Run(), 0));
  EXPECT_FALSE(Exists(last));
  EXPECT_FALSE(SharedCount(last));
}

TEST_F(FilePhase, WithoutTheSharedKeyEveryCountHasRunOut) {
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDlls, 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD values = 1;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  ASSERT_EQ(values, 0u) << "the prefix's shared counts would be lost";
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSharedDlls), ERROR_SUCCESS);
  const std::string dll = Shared("nokey.dll", std::nullopt);
  Add("nokey.dll", FILE_FLAG_SHARED_DLL);
  Process &run = Run();
  Answer(SharedQuestion(dll), IDYES);
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
  EXPECT_FALSE(Exists(dll));
  HKEY created;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kSharedDlls, &created), ERROR_SUCCESS);
  RegCloseKey(created);
}

TEST_F(FilePhase, ReadOnlyFilesFollowEachAnswer) {
  struct Case {
    const char *name;
    int answer;
    bool asCommand;
    bool removed;
  };
  const Case cases[] = {{"yes.txt", IDYES, false, true},
                        {"no.txt", IDNO, false, false},
                        {"esc.txt", IDCANCEL, true, false}};
  for (const Case &c : cases) MakeFile(c.name, FILE_ATTRIBUTE_READONLY);
  // The list runs backwards: the last entry is asked first.
  for (auto c = std::rbegin(cases); c != std::rend(cases); ++c) Add(c->name);
  Process &run = Run("/S");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Answer(Question(folder_ / c.name), c.answer, c.asCommand);
  }
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
  for (const Case &c : cases) {
    EXPECT_EQ(Exists(folder_ / c.name), !c.removed) << c.name;
    if (!c.removed) {
      EXPECT_TRUE(IsReadOnly(folder_ / c.name)) << c.name;
    }
  }
}

TEST_F(FilePhase, ToAllAnswersHoldForEveryLaterReadOnlyFile) {
  for (const char *answer : {"yes", "no"}) {
    SCOPED_TRACE(answer);
    const bool yes = std::string(answer) == "yes";
    files_.clear();
    for (int i = 0; i < 3; ++i) {
      const std::string name = std::string(answer) + std::to_string(i) + ".txt";
      MakeFile(name, FILE_ATTRIBUTE_READONLY);
      Add(name);
    }
    Process &run = Run();
    Answer(Question(folder_ / (std::string(answer) + "2.txt")), yes ? IDC_YES_TO_ALL : IDC_NO_TO_ALL);
    EXPECT_TRUE(ExitsSilentlyWith(run, 0));
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(Exists(folder_ / (std::string(answer) + std::to_string(i) + ".txt")), !yes) << i;
    }
  }
}

TEST_F(FilePhase, ReadOnlyFilesGoWithoutAQuestionWhenNoneIsToBeAsked) {
  messages_[9] = "";  // the product chose not to ask
  MakeFile("plain.txt", FILE_ATTRIBUTE_READONLY);
  MakeFile("font.ttf", FILE_ATTRIBUTE_READONLY);
  Add("plain.txt");
  EXPECT_TRUE(ExitsSilentlyWith(Run(), 0));
  EXPECT_FALSE(Exists(folder_ / "plain.txt"));

  messages_ = TestMessages();  // a font is never asked about
  files_ = {{folder_.path(), "font.ttf", FILE_FLAG_FONT}};
  EXPECT_TRUE(ExitsSilentlyWith(Run(), 0));
  EXPECT_FALSE(Exists(folder_ / "font.ttf"));
}

TEST_F(FilePhase, AReadOnlyFileInUseIsSkippedAndStaysReadOnly) {
  const std::string held = MakeFile("held.txt", FILE_ATTRIBUTE_READONLY);
  Add("held.txt");
  FileLock lock(held);
  EXPECT_TRUE(ExitsSilentlyWith(Run(), 0));
  EXPECT_TRUE(Exists(held));
  EXPECT_TRUE(IsReadOnly(held));
}

// On NT 6 regsvr32 unregisters a server and the stub never loads it; before,
// the stub calls the server itself from the server's folder, and one that
// crashes neither stops the run nor keeps its file.
TEST_F(FilePhase, ComServersAreUnregisteredAsTheSystemAllows) {
  for (const System &system : kSystems) {
    SCOPED_TRACE(system.name);
    const std::string exeName = std::string("uninst-") + system.name + ".exe";
    WindowsVersionFor version(exeName, system.version);
    const std::string record = folder_ / (std::string("record-") + system.name + ".txt");
    SetEnvironmentVariableA("QUENRID_COM_RECORD", record.c_str());
    files_.clear();
    ASSERT_TRUE(CopyFileA(HostPathToWindows(QUENRID_RECORDING_SERVER).c_str(),
                          (folder_ / "server.dll").c_str(), FALSE));
    // Read-only, yet deleted without a question, as a server always is.
    SetFileAttributesA((folder_ / "server.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    Add("server.dll", FILE_FLAG_COM_SERVER);
    if (!system.nt6) {
      ASSERT_TRUE(CopyFileA(HostPathToWindows(QUENRID_CRASHING_SERVER).c_str(),
                            (folder_ / "crash.dll").c_str(), FALSE));
      Add("crash.dll", FILE_FLAG_COM_SERVER);
    }
    EXPECT_TRUE(ExitsSilentlyWith(Run("/S", exeName), 0));
    EXPECT_FALSE(Exists(folder_ / "server.dll"));
    EXPECT_FALSE(Exists(folder_ / "crash.dll"));

    int unregistered = 0;
    for (const Event &event : ReadEvents(record)) {
      const bool inStub = SamePath(event.process, folder_ / exeName);
      if (system.nt6) {
        EXPECT_FALSE(inStub) << event.what << " " << event.dll;
      }
      if (event.what != "unregister") continue;
      ++unregistered;
      EXPECT_EQ(inStub, !system.nt6) << event.process;
      if (inStub) {
        EXPECT_TRUE(SamePath(event.directory, folder_.path())) << event.directory;
      }
    }
    EXPECT_EQ(unregistered, system.nt6 ? 1 : 2);
  }
}

// The font's registration goes from the key of the running family only.
TEST_F(FilePhase, FontsLeaveTheFontKeyOfTheirFamily) {
  const char *keys[] = {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
                        "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts"};
  for (const System &system : kSystems) {
    SCOPED_TRACE(system.name);
    const std::string exeName = std::string("uninst-") + system.name + ".exe";
    WindowsVersionFor version(exeName, system.version);
    const std::string macName = std::string("Quenrid Run Sans ") + system.name;
    const std::string winName = std::string("Quenrid Run Windows ") + system.name;
    WriteBinaryFile(folder_ / "mac.ttf", BuildFont({{{kMacintosh, kFullName, macName}}}));
    WriteBinaryFile(folder_ / "win.ttf", BuildFont({{{kWindows, kFullName, winName}}}));
    for (const char *key : keys) {
      for (const std::string &name : {macName, winName}) {
        const std::string value = name + " (TrueType)";
        ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, value.c_str(), REG_SZ, "x.ttf", 6),
                  ERROR_SUCCESS);
      }
    }
    files_ = {{folder_.path(), "mac.ttf", FILE_FLAG_FONT}, {folder_.path(), "win.ttf", FILE_FLAG_FONT}};
    EXPECT_TRUE(ExitsSilentlyWith(Run("/S", exeName), 0));
    EXPECT_FALSE(Exists(folder_ / "mac.ttf"));
    for (int k = 0; k < 2; ++k) {
      const bool running = (k == 0) == system.nt;
      for (const std::string &name : {macName, winName}) {
        const std::string value = name + " (TrueType)";
        const bool present = RegGetValueA(HKEY_LOCAL_MACHINE, keys[k], value.c_str(), RRF_RT_ANY,
                                          nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        // Only a Macintosh full name is looked for, and only where the system keeps it.
        EXPECT_EQ(present, !(running && name == macName)) << keys[k] << ": " << value;
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, keys[k], value.c_str());
      }
    }
  }
}

// In-process: the phase moves the bar only when there is a total to measure
// against, which a quiet run does not have.
TEST_F(FilePhase, ProgressIsSentOnlyWithATotal) {
  char work[PATH_BUFFER_SIZE] = "";
  char install[PATH_BUFFER_SIZE] = "C:\\";
  WorkPath = work;
  InstallFolder = install;
  for (const char *name : {"a", "b", "c", "d"}) Add(std::string("missing-") + name);
  Manifest manifest;
  manifest.files = files_;
  const std::string block = folder_ / "block.dat";
  WriteBinaryFile(block, std::string(16, '\0') + EncodeBlock(manifest));
  ASSERT_EQ(ReadUninstallDataFile(block.c_str(), 16), READ_OK);

  ProgressTotal = 0;
  ProgressPosition = 99;
  RemoveFiles();
  EXPECT_EQ(ProgressPosition, 99u);
  ProgressTotal = 8;  // two units a file; this phase spends the first
  RemoveFiles();
  EXPECT_EQ(ProgressPosition, 100u * 3 / 8);  // after the last entry, three are done

  ReleaseUninstallData();
  WorkPath = InstallFolder = nullptr;
  ProgressTotal = ProgressPosition = 0;
}

}  // namespace
}  // namespace quenrid::test
