// Path macros, the shell folder lookup and the protected-folder test: against
// the folders Wine reports, and against replaced sources that fail or name
// folders of the test's choice, as Wine itself cannot be made to.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/startup.h"
#include "data/state.h"
#include "paths/folder_sources.h"
#include "paths/path_macros.h"
#include "paths/protected_folders.h"
#include "paths/shell_folders.h"

namespace quenrid::test {
namespace {

// What a failed replaced source leaves in its buffer: it must never show up
// in a result.
const char kLeftOver[] = "X:\\left over";
const HKEY kFakeKey = reinterpret_cast<HKEY>(0x5150);
constexpr size_t kGuard = 16;
constexpr char kGuardByte = '\x5A';
const std::string kQuickLaunch = "\\Microsoft\\Internet Explorer\\Quick Launch";
const std::string kAppData = "C:\\Documents and Settings\\user\\Application Data";

// The machine that the replaced sources describe. An empty directory, or a
// folder or value that is not listed, makes its source fail.
struct FakeMachine {
  std::string windows, system, temp;
  std::map<int, std::string> shell;
  std::map<std::string, std::string> registry;  // raw bytes as stored
  bool keyOpens = true;
  int opens = 0, closes = 0;
};
FakeMachine machine;

UINT WriteFolder(const std::string &folder, char *buffer, UINT size) {
  if (folder.empty()) {
    lstrcpynA(buffer, kLeftOver, size);
    return 0;
  }
  if (folder.size() >= size) return static_cast<UINT>(folder.size() + 1);
  strcpy(buffer, folder.c_str());
  return static_cast<UINT>(folder.size());
}

UINT WINAPI FakeWindows(LPSTR path, UINT size) { return WriteFolder(machine.windows, path, size); }
UINT WINAPI FakeSystem(LPSTR path, UINT size) { return WriteFolder(machine.system, path, size); }
DWORD WINAPI FakeTemp(DWORD size, LPSTR path) { return WriteFolder(machine.temp, path, size); }

int FakeShellFolderPath(char *buffer, int folder) {
  const auto found = machine.shell.find(folder);
  return WriteFolder(found == machine.shell.end() ? "" : found->second, buffer, MAX_PATH) ? 1 : 0;
}

LONG WINAPI FakeOpenKey(HKEY root, LPCSTR subKey, DWORD, REGSAM access, PHKEY key) {
  if (!machine.keyOpens || root != HKEY_LOCAL_MACHINE || (access & KEY_READ) != KEY_READ ||
      strcmp(subKey, "Software\\Microsoft\\Windows\\CurrentVersion") != 0) {
    return ERROR_FILE_NOT_FOUND;
  }
  ++machine.opens;
  *key = kFakeKey;
  return ERROR_SUCCESS;
}

LONG WINAPI FakeQueryValue(HKEY key, LPCSTR name, LPDWORD, LPDWORD, LPBYTE data, LPDWORD size) {
  const auto found = machine.registry.find(name);
  if (key != kFakeKey || found == machine.registry.end()) {
    strcpy(reinterpret_cast<char *>(data), kLeftOver);
    return ERROR_FILE_NOT_FOUND;
  }
  if (found->second.size() > *size) return ERROR_MORE_DATA;
  memset(data, 'J', *size);  // the rest of the buffer is undefined
  memcpy(data, found->second.data(), found->second.size());
  *size = static_cast<DWORD>(found->second.size());
  return ERROR_SUCCESS;
}

LONG WINAPI FakeCloseKey(HKEY key) {
  if (key == kFakeKey) ++machine.closes;
  return ERROR_SUCCESS;
}

std::string Sz(const std::string &text) { return text + '\0'; }

// Replaces every source by a machine of the given family that has every
// folder, each distinct from what a fall-back would give.
void UseFakeMachine(bool nt) {
  EXPECT_EQ(machine.opens, machine.closes) << "registry key left open";
  machine = FakeMachine();
  machine.windows = "C:\\WINDOWS";
  machine.system = "C:\\WINDOWS\\System32";
  machine.temp = "C:\\Temp\\";
  machine.shell = {
      {CSIDL_DESKTOP, "C:\\Shell\\Desktop"}, {CSIDL_DESKTOPDIRECTORY, "C:\\Shell\\Desk\\"},
      {CSIDL_PERSONAL, "C:\\Shell\\My Docs\\"}, {CSIDL_FONTS, "C:\\WINDOWS\\Fonts"},
      {CSIDL_STARTMENU, "C:\\Menu"}, {CSIDL_PROGRAMS, "C:\\Menu\\Programs"},
      {CSIDL_STARTUP, "C:\\Menu\\Startup"}, {CSIDL_COMMON_STARTMENU, "C:\\Common\\Menu"},
      {CSIDL_COMMON_PROGRAMS, "C:\\Common\\Menu\\Programs"},
      {CSIDL_COMMON_STARTUP, "C:\\Common\\Menu\\Startup"},
      {CSIDL_COMMON_DESKTOPDIRECTORY, "C:\\Common\\Desktop"},
      {CSIDL_APPDATA, kAppData}, {CSIDL_LOCAL_APPDATA, "C:\\Local\\user"},
      {CSIDL_COMMON_APPDATA, "C:\\Common\\Data"}, {CSIDL_PROFILE, "C:\\Profile\\user"},
      {CSIDL_COMMON_DOCUMENTS, "C:\\Common\\Shared Docs"}};
  machine.registry = {{"ProgramFilesDir", Sz("C:\\Program Files")},
                      {"CommonFilesDir", Sz("C:\\Program Files\\Shared")}};
  Folders = {FakeWindows,    FakeSystem,   FakeTemp,           FakeOpenKey,
             FakeQueryValue, FakeCloseKey, FakeShellFolderPath};
  IsNtPlatform = nt;
}

// How a case's machine differs from the full one.
template <int folder> void Lacks() { machine.shell.erase(folder); }
void Unchanged() {}
void NoShellFolders() { machine.shell = {}; }
void OnlyAppData(const char *appData) { machine.shell = {{CSIDL_APPDATA, appData}}; }
void CommonDocuments(const char *folder) { machine.shell[CSIDL_COMMON_DOCUMENTS] = folder; }

// Expands as the pre-uninstall start does: measure, then write into a buffer
// of exactly that size, here followed by guard bytes.
std::string Expand(const std::string &source) {
  const uint32_t length = ExpandPathMacros(nullptr, source.c_str(), 65500);
  std::string output(length + 1 + kGuard, kGuardByte);
  EXPECT_EQ(ExpandPathMacros(&output[0], source.c_str(), length + 1), length) << source;
  EXPECT_EQ(output.substr(length + 1), std::string(kGuard, kGuardByte)) << source;
  EXPECT_EQ(strlen(output.c_str()), length) << source;
  return output.c_str();
}

// IsProtectedFolder on a 260-byte copy of `path`, which must come back unchanged.
int Protected(const std::string &path) {
  char buffer[PATH_BUFFER_SIZE], before[PATH_BUFFER_SIZE];
  memset(buffer, kGuardByte, sizeof buffer);
  strcpy(buffer, path.c_str());
  memcpy(before, buffer, sizeof buffer);
  const int result = IsProtectedFolder(buffer);
  EXPECT_EQ(memcmp(before, buffer, sizeof buffer), 0) << "path changed: " << path;
  return result;
}

std::string Cased(std::string text, int (*change)(int)) {
  for (char &c : text) c = static_cast<char>(change(static_cast<unsigned char>(c)));
  return text;
}

// Wine's folders, through other calls than those under test where Windows
// has them.
std::string ShellFolder(int folder) {
  char path[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

std::string Stripped(std::string folder) {
  if (folder.size() >= 4 && folder.back() == '\\') folder.pop_back();
  return folder;
}

std::string CurrentVersionValue(const char *name) {
  char value[MAX_PATH] = "";
  DWORD size = sizeof value;
  RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", name,
               RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value, &size);
  return value;
}

std::string Directory(UINT(WINAPI *call)(LPSTR, UINT)) {
  char path[MAX_PATH] = "";
  call(path, sizeof path);
  return path;
}

class Paths : public ::testing::Test {
 protected:
  void SetUp() override {
    strcpy(installFolder_, "C:\\Apps\\Tool\\");
    InstallFolder = installFolder_;
    DetectOperatingSystem();
  }

  void TearDown() override {
    Folders = savedSources_;
    IsNtPlatform = savedNt_;
    IsNtVersion6 = savedNt6_;
    InstallFolder = savedInstallFolder_;
    EXPECT_EQ(machine.opens, machine.closes) << "registry key left open";
    machine = FakeMachine();
  }

  const FolderSources savedSources_ = Folders;
  const bool savedNt_ = IsNtPlatform;
  const bool savedNt6_ = IsNtVersion6;
  char *const savedInstallFolder_ = InstallFolder;
  char installFolder_[PATH_BUFFER_SIZE];
};

TEST_F(Paths, EveryMacroResolvesToWinesFolderInAnyCase) {
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  const std::string commonDocuments = ShellFolder(CSIDL_COMMON_DOCUMENTS);
  const std::pair<std::string, std::string> macros[] = {
      {"#Windows#", Directory(GetWindowsDirectoryA)},
      {"#System#", Directory(GetSystemDirectoryA)},
      {"#TempDir#", Stripped(temp)},
      {"#CommonFiles#", CurrentVersionValue("CommonFilesDir")},
      {"#Program Files#", CurrentVersionValue("ProgramFilesDir")},
      {"#MyDocuments#", Stripped(ShellFolder(CSIDL_PERSONAL))},
      {"#Desktop#", Stripped(ShellFolder(CSIDL_DESKTOPDIRECTORY))},
      {"#AppData#", Stripped(ShellFolder(CSIDL_APPDATA))},
      {"#LocalAppData#", Stripped(ShellFolder(CSIDL_LOCAL_APPDATA))},
      {"#AllUsersAppData#", Stripped(ShellFolder(CSIDL_COMMON_APPDATA))},
      {"#AllUsersDocuments#", Stripped(commonDocuments)},
      {"#AllUsersDesktop#", Stripped(ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY))},
      {"#UserDir#", Stripped(ShellFolder(CSIDL_PROFILE))},
      {"#AllUsersDir#", commonDocuments.substr(0, commonDocuments.rfind('\\'))},
      {"#InstallDir#", "C:\\Apps\\Tool"},
  };
  for (const auto &[macro, folder] : macros) {
    ASSERT_GE(folder.size(), 4u) << macro << " unknown to Wine";
    EXPECT_NE(folder.back(), '\\') << macro;
    for (const std::string &written : {macro, Cased(macro, toupper), Cased(macro, tolower)}) {
      EXPECT_EQ(Expand(written + "\\Data"), folder + "\\Data") << written;
    }
  }
}

TEST_F(Paths, ShellFolderLookupThatFailsReportsIt) {
  char buffer[PATH_BUFFER_SIZE] = "untouched";
  EXPECT_EQ(GetShellFolderPath(buffer, 0x7E), 0);  // no such folder number
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(GetShellFolderPath(buffer, CSIDL_DRIVES), 0);  // a folder without a path
}

TEST_F(Paths, WinesProtectedFoldersAreProtectedButNotTheirSubfolders) {
  std::vector<std::string> folders = {
      Directory(GetWindowsDirectoryA), Directory(GetSystemDirectoryA),
      CurrentVersionValue("ProgramFilesDir"), CurrentVersionValue("CommonFilesDir"),
      Stripped(ShellFolder(CSIDL_APPDATA)) + kQuickLaunch,
      Stripped(ShellFolder(CSIDL_COMMON_APPDATA)) + kQuickLaunch};
  for (int folder : {CSIDL_DESKTOP, CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY,
                     CSIDL_FONTS, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU,
                     CSIDL_COMMON_STARTMENU, CSIDL_STARTUP, CSIDL_COMMON_STARTUP, CSIDL_APPDATA,
                     CSIDL_COMMON_APPDATA, CSIDL_COMMON_DOCUMENTS, CSIDL_PERSONAL,
                     CSIDL_LOCAL_APPDATA, CSIDL_PROFILE}) {
    folders.push_back(Stripped(ShellFolder(folder)));
  }
  const std::string commonDocuments = ShellFolder(CSIDL_COMMON_DOCUMENTS);
  folders.push_back(commonDocuments.substr(0, commonDocuments.rfind('\\')));  // all users
  for (const std::string &folder : folders) {
    ASSERT_GE(folder.size(), 4u);
    for (const std::string &written :
         {folder, Cased(folder, toupper), Cased(folder, tolower), folder + "\\"}) {
      EXPECT_EQ(Protected(written), 1) << written;
    }
    EXPECT_EQ(Protected(folder + "\\Quenrid Sub"), 0) << folder;
  }
  const std::string quickLaunch = folders[4];
  EXPECT_EQ(Protected(quickLaunch.substr(0, quickLaunch.rfind('\\'))), 0);
}

struct MacroCase {
  bool nt;
  const char *source;
  void (*alter)();
  const char *expected;
};

void ExpectExpansions(std::initializer_list<MacroCase> cases) {
  for (const MacroCase &macro : cases) {
    UseFakeMachine(macro.nt);
    macro.alter();
    EXPECT_EQ(Expand(macro.source), macro.expected) << macro.source << (macro.nt ? " NT" : " 9x");
  }
}

TEST_F(Paths, FallBacksOfEachFamily) {
  ExpectExpansions({
      {true, "#AppData#", Lacks<CSIDL_APPDATA>,
       "C:\\WINDOWS\\Profiles\\Administrator\\Application Data"},
      {true, "#AppData#", [] { NoShellFolders(); machine.windows = ""; }, "#AppData#"},
      {true, "#LocalAppData#", Lacks<CSIDL_LOCAL_APPDATA>,
       "C:\\Documents and Settings\\user\\Local Settings\\Application Data"},
      {true, "#LocalAppData#", NoShellFolders,
       "C:\\WINDOWS\\Profiles\\Administrator\\Local Settings\\Application Data"},
      {true, "#LocalAppData#", [] { OnlyAppData("AppData"); },
       "C:\\WINDOWS\\Profiles\\Administrator\\Local Settings\\Application Data"},
      {true, "#AllUsersAppData#", Lacks<CSIDL_COMMON_APPDATA>,
       "C:\\Documents and Settings\\All Users\\Application Data"},
      {true, "#AllUsersAppData#", NoShellFolders,
       "C:\\WINDOWS\\Profiles\\All Users\\Application Data"},
      {true, "#AllUsersDocuments#", Lacks<CSIDL_COMMON_DOCUMENTS>,
       "C:\\Documents and Settings\\All Users\\Documents"},
      {true, "#AllUsersDocuments#", NoShellFolders, "C:\\WINDOWS\\Profiles\\All Users\\Documents"},
      {true, "#AllUsersDesktop#", Lacks<CSIDL_COMMON_DESKTOPDIRECTORY>,
       "C:\\Documents and Settings\\All Users\\Desktop"},
      {true, "#AllUsersDesktop#", [] { OnlyAppData("C:\\AppData"); },
       "C:\\WINDOWS\\Profiles\\All Users\\Desktop"},
      {true, "#UserDir#", Lacks<CSIDL_PROFILE>, "C:\\Documents and Settings\\user"},
      {true, "#UserDir#", NoShellFolders, "c:\\"},
      {true, "#UserDir#", [] { OnlyAppData("AppData"); }, "c:\\"},
      {true, "#AllUsersDir#", Lacks<CSIDL_COMMON_DOCUMENTS>,
       "C:\\Documents and Settings\\All Users"},
      {true, "#AllUsersDir#", NoShellFolders, "C:\\WINDOWS\\Profiles\\All Users"},
      {false, "#AppData#", NoShellFolders, "C:\\WINDOWS\\Application Data"},
      {false, "#LocalAppData#", Lacks<CSIDL_LOCAL_APPDATA>, "C:\\WINDOWS\\Application Data"},
      {false, "#AllUsersAppData#", NoShellFolders, "C:\\WINDOWS\\All Users\\Application Data"},
      {false, "#AllUsersDocuments#", NoShellFolders, "C:\\WINDOWS\\All Users\\Documents"},
      {false, "#AllUsersDesktop#", NoShellFolders, "C:\\WINDOWS\\All Users\\Desktop"},
      {false, "#UserDir#", NoShellFolders, "C:\\WINDOWS"},
      {false, "#AllUsersDir#", NoShellFolders, "C:\\WINDOWS\\All Users"},
      {false, "#AllUsersDesktop#", Unchanged, "C:\\Common\\Desktop"},
      // Sources without a fall-back keep their token on both families.
      {false, "#Windows##System##TempDir#", [] { machine = FakeMachine(); },
       "#Windows##System##TempDir#"},
      {true, "#MyDocuments##Desktop#", NoShellFolders, "#MyDocuments##Desktop#"},
      {false, "#MyDocuments##Desktop#", NoShellFolders, "#MyDocuments##Desktop#"},
      // The parent of the common documents, and the drive roots.
      {true, "#AllUsersDir#", [] { CommonDocuments("D:\\Docs"); }, "D:\\"},
      {true, "#AllUsersDir#", [] { CommonDocuments("D:\\"); }, "D:\\"},
      {true, "#AllUsersDir#", [] { CommonDocuments("Docs"); }, "c:\\"},
      {true, "#AllUsersDir#", [] { CommonDocuments("\\Docs"); }, ""},
      {true, "#AllUsersDir#",
       [] { CommonDocuments("C:\\Documents and Settings\\All Users\\Documents"); },
       "C:\\Documents and Settings\\All Users"},
      // One trailing backslash goes, but a root keeps its own.
      {true, "#MyDocuments#|#Desktop#|#TempDir#", Unchanged,
       "C:\\Shell\\My Docs|C:\\Shell\\Desk|C:\\Temp"},
      {true, "#Desktop#", [] { machine.shell[CSIDL_DESKTOPDIRECTORY] = "D:\\"; }, "D:\\"},
  });
  // The longest fall-back behind the longest Windows directory.
  UseFakeMachine(true);
  NoShellFolders();
  machine.windows = "C:\\" + std::string(256, 'W');
  EXPECT_EQ(Expand("#LocalAppData#"),
            machine.windows + "\\Profiles\\Administrator\\Local Settings\\Application Data");
}

TEST_F(Paths, RegistryMacrosReadTheCurrentVersionKey) {
  ExpectExpansions({
      {true, "#CommonFiles#|#Program Files#", Unchanged,
       "C:\\Program Files\\Shared|C:\\Program Files"},
      {true, "#CommonFiles#", [] { machine.registry.erase("CommonFilesDir"); },
       "C:\\Program Files\\Common Files"},
      {true, "#CommonFiles#|#Program Files#", [] { machine.registry = {}; },
       "#CommonFiles#|#Program Files#"},
      {true, "#CommonFiles#|#Program Files#", [] { machine.keyOpens = false; },
       "#CommonFiles#|#Program Files#"},
      {true, "#CommonFiles#|#Program Files#",
       [] { machine.registry = {{"ProgramFilesDir", Sz("D:\\Apps\\")}}; },
       "D:\\Apps\\Common Files|D:\\Apps"},
      // Stored without a terminator: read as far as it goes, unless it fills all 260 bytes.
      {true, "#Program Files#", [] { machine.registry["ProgramFilesDir"] = "D:\\Apps"; },
       "D:\\Apps"},
      {true, "#Program Files#", [] { machine.registry["ProgramFilesDir"] = std::string(260, 'P'); },
       "#Program Files#"},
  });
}

TEST_F(Paths, ScannerPairsEachHashWithTheNextInTheSourceOnly) {
  UseFakeMachine(true);
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\plain\\path", "C:\\plain\\path"},
      {"", ""},
      {"#Unknown#\\x", "\\x"},
      {"##x", "x"},
      {"50#", "50#"},
      {"a#b", "a#b"},
      {"#Foo#Windows#", "Windows#"},
      {"C:\\a#b#c", "C:\\ac"},
      {"#Windows #", ""},
      {"#" + std::string(400, 'n') + "#x", "x"},
      {"#windows#, #SYSTEM#", "C:\\WINDOWS, C:\\WINDOWS\\System32"},
      {"#InstallDir#\\Data", "C:\\Apps\\Tool\\Data"},
  };
  for (const auto &[source, expected] : cases) EXPECT_EQ(Expand(source), expected) << source;
  machine.windows = "C:\\W#System#";
  EXPECT_EQ(Expand("#Windows#x"), "C:\\W#System#x");
  InstallFolder = nullptr;
  EXPECT_EQ(Expand("#InstallDir#"), "#InstallDir#");
}

TEST_F(Paths, OutputNeverGetsMoreThanItsSize) {
  UseFakeMachine(true);
  const std::string expanded = "C:\\WINDOWS\\x";
  char output[32];
  for (uint32_t size : {0u, 1u, 5u, 12u, 13u}) {
    memset(output, kGuardByte, sizeof output);
    EXPECT_EQ(ExpandPathMacros(output, "#Windows#\\x", size), expanded.size()) << size;
    if (size) {
      EXPECT_EQ(std::string(output), expanded.substr(0, size - 1)) << size;
    }
    for (size_t i = size; i < sizeof output; ++i) ASSERT_EQ(output[i], kGuardByte) << size;
  }
}

TEST_F(Paths, ExpansionBeyondTheWorkingBufferStopsAtItsEnd) {
  UseFakeMachine(true);
  machine.windows = "C:\\" + std::string(256, 'W');
  std::string source;
  for (int i = 0; i < 300; ++i) source += "#Windows#";
  const uint32_t length = 300 * 259;
  EXPECT_EQ(ExpandPathMacros(nullptr, source.c_str(), 65500), length);
  std::string output(length + 1 + kGuard, kGuardByte);
  EXPECT_EQ(ExpandPathMacros(&output[0], source.c_str(), length + 1), length);
  EXPECT_EQ(strlen(output.c_str()), 65499u);
  EXPECT_EQ(output.substr(65500), std::string(output.size() - 65500, kGuardByte));
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
}

TEST_F(Paths, ProtectedFoldersOfEachFamily) {
  const struct {
    bool nt;
    std::string path;
    void (*alter)();
    int expected;
  } cases[] = {
      {true, "", [] { machine = FakeMachine(); }, 1},
      {true, "C:", [] { machine = FakeMachine(); }, 1},
      {true, "C:\\", [] { machine = FakeMachine(); }, 1},
      {true, "c:\\windows\\", Unchanged, 1},
      {true, "C:\\WINDOWS\\\\", Unchanged, 0},
      {true, "C:/WINDOWS", Unchanged, 0},
      {true, "C:\\Shell\\Desk", Unchanged, 1},
      {true, "C:\\Program Files\\Shared\\", Unchanged, 1},
      {true, "C:\\Program Files", [] { machine.registry.erase("CommonFilesDir"); }, 1},
      {true, "C:\\Program Files", [] { machine.keyOpens = false; }, 0},
      {true, "C:\\Common\\Data" + kQuickLaunch, Unchanged, 1},
      {false, kAppData + kQuickLaunch, Unchanged, 1},
      // A failed source is skipped, and what it left is no candidate.
      {true, kLeftOver, [] { NoShellFolders(); machine.windows = ""; }, 0},
      {true, kLeftOver + kQuickLaunch, NoShellFolders, 0},
      {true, "C:\\WINDOWS\\System32", [] { NoShellFolders(); machine.windows = ""; }, 1},
      // The user's own folders that macros name, on both families, and not
      // their subfolders; they need no registry.
      {true, "C:\\Shell\\My Docs", Unchanged, 1},
      {false, "c:\\shell\\my docs\\", Unchanged, 1},
      {true, "C:\\Shell\\My Docs\\Product", Unchanged, 0},
      {false, "C:\\Local\\user", Unchanged, 1},
      {true, "C:\\Profile\\user", [] { machine.keyOpens = false; }, 1},
      {false, "C:\\Profile\\user", Unchanged, 1},
      {true, "C:\\Profile\\user\\Product", Unchanged, 0},
      {true, "C:\\Common", Unchanged, 1},
      {false, "C:\\Common", Unchanged, 1},
      {true, "C:\\Documents and Settings\\All Users", [] { OnlyAppData(kAppData.c_str()); }, 1},
      // The 64-bit program and common files, with or without a backslash.
      {true, "D:\\Program Files",
       [] { machine.registry["ProgramW6432Dir"] = Sz("D:\\Program Files\\"); }, 1},
      {false, "D:\\Program Files\\Common Files",
       [] { machine.registry["CommonW6432Dir"] = Sz("D:\\Program Files\\Common Files"); }, 1},
      {true, "D:\\Program Files", [] { machine.registry["CommonW6432Dir"] = Sz("D:\\Other"); }, 0},
  };
  for (const auto &folder : cases) {
    UseFakeMachine(folder.nt);
    folder.alter();
    EXPECT_EQ(Protected(folder.path), folder.expected) << folder.path << (folder.nt ? " NT" : "");
  }
  // The all-users folders that only NT has.
  for (const char *ntOnly : {"C:\\Common\\Desktop", "C:\\Common\\Menu\\Programs",
                             "C:\\Common\\Menu", "C:\\Common\\Menu\\Startup"}) {
    UseFakeMachine(true);
    EXPECT_EQ(Protected(ntOnly), 1) << ntOnly;
    IsNtPlatform = false;
    EXPECT_EQ(Protected(ntOnly), 0) << ntOnly;
  }
}

}  // namespace
}  // namespace quenrid::test
