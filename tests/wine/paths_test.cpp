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
#include "paths/folder_sources.h"
#include "paths/path_macros.h"
#include "paths/protected_folders.h"
#include "paths/shell_folders.h"
#include "process_state.h"

namespace quenrid::test {
namespace {

// What a failed replaced source leaves in its buffer: it must never show up
// in a result.
const char kLeftOver[] = "X:\\left over";
const HKEY kFakeKey = reinterpret_cast<HKEY>(0x5150);
constexpr char kGuard = '\x5A';
const std::string kQuickLaunch = "\\Microsoft\\Internet Explorer\\Quick Launch";
const std::string kAppData = "C:\\Documents and Settings\\user\\Application Data";

// A registry string as stored, with its terminator.
std::string Sz(const std::string &text) { return text + '\0'; }

// The machine that the replaced sources describe. An empty directory, or a
// folder or value that is not listed, makes its source fail.
struct FakeMachine {
  std::string windows = "C:\\WINDOWS", system = "C:\\WINDOWS\\System32", temp = "C:\\Temp\\";
  std::map<int, std::string> shell = {
      {CSIDL_DESKTOP, "C:\\Shell\\Desktop"}, {CSIDL_DESKTOPDIRECTORY, "C:\\Shell\\Desk\\"},
      {CSIDL_PERSONAL, "C:\\Shell\\My Docs\\"}, {CSIDL_FONTS, "C:\\WINDOWS\\Fonts"},
      {CSIDL_STARTMENU, "C:\\Menu"}, {CSIDL_PROGRAMS, "C:\\Menu\\Programs"},
      {CSIDL_STARTUP, "C:\\Menu\\Startup"}, {CSIDL_COMMON_STARTMENU, "C:\\Common\\Menu"},
      {CSIDL_COMMON_PROGRAMS, "C:\\Common\\Menu\\Programs"},
      {CSIDL_COMMON_STARTUP, "C:\\Common\\Menu\\Startup"},
      {CSIDL_COMMON_DESKTOPDIRECTORY, "C:\\Common\\Desktop"}, {CSIDL_APPDATA, kAppData},
      {CSIDL_LOCAL_APPDATA, "C:\\Local\\user"}, {CSIDL_COMMON_APPDATA, "C:\\Common\\Data"},
      {CSIDL_PROFILE, "C:\\Profile\\user"}, {CSIDL_COMMON_DOCUMENTS, "C:\\Common\\Shared Docs"}};
  // Raw bytes as stored.
  std::map<std::string, std::string> registry = {
      {"ProgramFilesDir", Sz("C:\\Program Files")},
      {"CommonFilesDir", Sz("C:\\Program Files\\Shared")}};
  bool keyOpens = true;
  int opens = 0, closes = 0;
} machine;

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
  machine.closes += key == kFakeKey;
  return ERROR_SUCCESS;
}

// How a case's machine differs from the full one.
void Unchanged() {}
void NoShellFolders() { machine.shell = {}; }
void Nothing() { machine = FakeMachine{"", "", "", {}, {}}; }
template <int folder> void Lacks() { machine.shell.erase(folder); }

// Expands as the pre-uninstall start does: measure, then write into a buffer
// of exactly that size, here followed by guard bytes.
std::string Expand(const std::string &source) {
  const uint32_t length = ExpandPathMacros(nullptr, source.c_str(), 65500);
  std::string output(length + 17, kGuard);
  EXPECT_EQ(ExpandPathMacros(&output[0], source.c_str(), length + 1), length) << source;
  EXPECT_EQ(output.substr(length + 1), std::string(16, kGuard)) << source;
  EXPECT_EQ(strlen(output.c_str()), length) << source;
  return output.c_str();
}

// IsProtectedFolder on a 260-byte copy of `path`, which must come back unchanged.
int Protected(const std::string &path) {
  char buffer[PATH_BUFFER_SIZE], before[PATH_BUFFER_SIZE];
  memset(buffer, kGuard, sizeof buffer);
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

// Wine's folders, through other calls than those under test, without a
// trailing backslash.
std::string WineFolder(int folder) {
  char path[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path);
  std::string text = path;
  if (text.size() >= 4 && text.back() == '\\') text.pop_back();
  return text;
}
std::string WineAllUsers() {
  const std::string documents = WineFolder(CSIDL_COMMON_DOCUMENTS);
  return documents.substr(0, documents.rfind('\\'));
}
std::string WineValue(const char *name) {
  char value[MAX_PATH] = "";
  DWORD size = sizeof value;
  RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", name,
               RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value, &size);
  return value;
}
std::string WineDirectory(UINT(WINAPI *call)(LPSTR, UINT)) {
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
    EXPECT_EQ(machine.opens, machine.closes) << "registry key left open";
    machine = FakeMachine();
  }

  // Replaces every source by a machine of the given family that has every
  // folder, each distinct from what a fall-back would give.
  void UseFakeMachine(bool nt) {
    EXPECT_EQ(machine.opens, machine.closes) << "registry key left open";
    machine = FakeMachine();
    Folders = {FakeWindows,    FakeSystem,   FakeTemp,           FakeOpenKey,
               FakeQueryValue, FakeCloseKey, FakeShellFolderPath};
    IsNtPlatform = nt;
  }

  ProcessState state_;
  const FolderSources savedSources_ = Folders;
  char installFolder_[PATH_BUFFER_SIZE];
};

// Wine's folders: what their macros give, and which are protected, in any
// case and with a trailing backslash, without their subfolders.
TEST_F(Paths, WinesFoldersThroughMacrosAndTheProtectedTest) {
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  const struct {
    const char *macro;  // null: none names it
    std::string folder;
    bool isProtected;
  } folders[] = {
      {"#Windows#", WineDirectory(GetWindowsDirectoryA), true},
      {"#System#", WineDirectory(GetSystemDirectoryA), true},
      {"#TempDir#", std::string(temp, strlen(temp) - 1), false},
      {"#CommonFiles#", WineValue("CommonFilesDir"), true},
      {"#Program Files#", WineValue("ProgramFilesDir"), true},
      {"#MyDocuments#", WineFolder(CSIDL_PERSONAL), true},
      {"#Desktop#", WineFolder(CSIDL_DESKTOPDIRECTORY), true},
      {"#AppData#", WineFolder(CSIDL_APPDATA), true},
      {"#UserDir#", WineFolder(CSIDL_PROFILE), true},
      {"#LocalAppData#", WineFolder(CSIDL_LOCAL_APPDATA), true},
      {"#AllUsersAppData#", WineFolder(CSIDL_COMMON_APPDATA), true},
      {"#AllUsersDocuments#", WineFolder(CSIDL_COMMON_DOCUMENTS), true},
      {"#AllUsersDesktop#", WineFolder(CSIDL_COMMON_DESKTOPDIRECTORY), true},
      {"#AllUsersDir#", WineAllUsers(), true}, {"#InstallDir#", "C:\\Apps\\Tool", false},
      {nullptr, WineFolder(CSIDL_DESKTOP), true}, {nullptr, WineFolder(CSIDL_FONTS), true},
      {nullptr, WineFolder(CSIDL_PROGRAMS), true}, {nullptr, WineFolder(CSIDL_STARTUP), true},
      {nullptr, WineFolder(CSIDL_STARTMENU), true},
      {nullptr, WineFolder(CSIDL_COMMON_STARTMENU), true},
      {nullptr, WineFolder(CSIDL_COMMON_PROGRAMS), true},
      {nullptr, WineFolder(CSIDL_COMMON_STARTUP), true},
      {nullptr, WineFolder(CSIDL_APPDATA) + kQuickLaunch, true},
      {nullptr, WineFolder(CSIDL_COMMON_APPDATA) + kQuickLaunch, true},
  };
  for (const auto &f : folders) {
    ASSERT_GE(f.folder.size(), 4u) << (f.macro ? f.macro : f.folder) << " unknown to Wine";
    if (f.macro) {
      EXPECT_EQ(Expand(Cased(f.macro, tolower) + "\\Data"), f.folder + "\\Data") << f.macro;
    }
    if (!f.isProtected) continue;
    for (const std::string &written :
         {f.folder, Cased(f.folder, toupper), Cased(f.folder, tolower), f.folder + "\\"}) {
      EXPECT_EQ(Protected(written), 1) << written;
    }
    EXPECT_EQ(Protected(f.folder + "\\Quenrid Sub"), 0) << f.folder;
  }
  const std::string quickLaunch = WineFolder(CSIDL_APPDATA) + kQuickLaunch;
  EXPECT_EQ(Protected(quickLaunch.substr(0, quickLaunch.rfind('\\'))), 0);
  char buffer[PATH_BUFFER_SIZE] = "untouched";
  EXPECT_EQ(GetShellFolderPath(buffer, 0x7E), 0);  // no such folder number
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(GetShellFolderPath(buffer, CSIDL_DRIVES), 0);  // a folder without a path
}

// Expansions on replaced sources: the fall-backs of each family, the
// registry macros, and how the scanner pairs the hashes.
TEST_F(Paths, ExpansionsOnEachFamily) {
  const struct {
    bool nt;
    std::string source;
    void (*alter)();
    std::string expected;
  } cases[] = {
      {true, "#AppData#", Lacks<CSIDL_APPDATA>,
       "C:\\WINDOWS\\Profiles\\Administrator\\Application Data"},
      {true, "#LocalAppData#", Lacks<CSIDL_LOCAL_APPDATA>,
       "C:\\Documents and Settings\\user\\Local Settings\\Application Data"},
      {true, "#LocalAppData#", [] { machine.shell = {{CSIDL_APPDATA, "AppData"}}; },
       "C:\\WINDOWS\\Profiles\\Administrator\\Local Settings\\Application Data"},
      {true, "#UserDir#", NoShellFolders, "c:\\"},
      {false, "#AppData#", NoShellFolders, "C:\\WINDOWS\\Application Data"},
      {false, "#UserDir#", NoShellFolders, "C:\\WINDOWS"},
      // A source that fails, without a fall-back, keeps its token.
      {true, "#AppData#", [] { NoShellFolders(); machine.windows = ""; }, "#AppData#"},
      {false, "#Windows##System##TempDir#", Nothing, "#Windows##System##TempDir#"},
      {true, "#MyDocuments##Desktop#", NoShellFolders, "#MyDocuments##Desktop#"},
      {false, "#MyDocuments##Desktop#", NoShellFolders, "#MyDocuments##Desktop#"},
      // The parent of the common documents, and the drive roots.
      {true, "#AllUsersDir#", [] { machine.shell[CSIDL_COMMON_DOCUMENTS] = "D:\\Docs"; }, "D:\\"},
      {true, "#AllUsersDir#", [] { machine.shell[CSIDL_COMMON_DOCUMENTS] = "D:\\"; }, "D:\\"},
      {true, "#AllUsersDir#", [] { machine.shell[CSIDL_COMMON_DOCUMENTS] = "Docs"; }, "c:\\"},
      {true, "#AllUsersDir#", [] { machine.shell[CSIDL_COMMON_DOCUMENTS] = "\\Docs"; }, ""},
      // One trailing backslash goes, but a root keeps its own.
      {true, "#MyDocuments#|#Desktop#|#TempDir#", Unchanged,
       "C:\\Shell\\My Docs|C:\\Shell\\Desk|C:\\Temp"},
      {true, "#Desktop#", [] { machine.shell[CSIDL_DESKTOPDIRECTORY] = "D:\\"; }, "D:\\"},
      // The longest fall-back behind the longest Windows directory.
      {true, "#LocalAppData#",
       [] { NoShellFolders(); machine.windows = "C:\\" + std::string(256, 'W'); },
       "C:\\" + std::string(256, 'W') +
           "\\Profiles\\Administrator\\Local Settings\\Application Data"},
      // The registry: a missing common files folder is derived, and a value
      // stored without a terminator is read as far as it goes, unless it fills
      // all 260 bytes.
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
      {true, "#Program Files#", [] { machine.registry["ProgramFilesDir"] = "D:\\Apps"; },
       "D:\\Apps"},
      {true, "#Program Files#", [] { machine.registry["ProgramFilesDir"] = std::string(260, 'P'); },
       "#Program Files#"},
      // Each hash pairs with the next in the source, never in what a macro gave.
      {true, "", Unchanged, ""}, {true, "#Unknown#\\x", Unchanged, "\\x"},
      {true, "##x", Unchanged, "x"}, {true, "50#", Unchanged, "50#"},
      {true, "#Foo#Windows#", Unchanged, "Windows#"}, {true, "C:\\a#b#c", Unchanged, "C:\\ac"},
      {true, "#Windows #", Unchanged, ""},
      {true, "#" + std::string(400, 'n') + "#x", Unchanged, "x"},
      {true, "#windows#, #SYSTEM#", Unchanged, "C:\\WINDOWS, C:\\WINDOWS\\System32"},
      {true, "#Windows#x", [] { machine.windows = "C:\\W#System#"; }, "C:\\W#System#x"},
  };
  for (const auto &c : cases) {
    UseFakeMachine(c.nt);
    c.alter();
    EXPECT_EQ(Expand(c.source), c.expected) << c.source << (c.nt ? " NT" : " 9x");
  }
  InstallFolder = nullptr;
  EXPECT_EQ(Expand("#InstallDir#"), "#InstallDir#");
}

TEST_F(Paths, OutputNeverGetsMoreThanItsSize) {
  UseFakeMachine(true);
  const std::string expanded = "C:\\WINDOWS\\x";
  char output[32];
  for (uint32_t size : {0u, 1u, 5u, 12u, 13u}) {
    memset(output, kGuard, sizeof output);
    EXPECT_EQ(ExpandPathMacros(output, "#Windows#\\x", size), expanded.size()) << size;
    if (size) {
      EXPECT_EQ(std::string(output), expanded.substr(0, size - 1)) << size;
    }
    for (size_t i = size; i < sizeof output; ++i) ASSERT_EQ(output[i], kGuard) << size;
  }
  // Beyond the working buffer, the expansion stops at its end.
  machine.windows = "C:\\" + std::string(256, 'W');
  std::string source;
  for (int i = 0; i < 300; ++i) source += "#Windows#";
  const uint32_t length = 300 * 259;
  EXPECT_EQ(ExpandPathMacros(nullptr, source.c_str(), 65500), length);
  std::string big(length + 17, kGuard);
  EXPECT_EQ(ExpandPathMacros(&big[0], source.c_str(), length + 1), length);
  EXPECT_EQ(strlen(big.c_str()), 65499u);
  EXPECT_EQ(big.substr(65500), std::string(big.size() - 65500, kGuard));
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
}

// Each path on a machine of the NT and of the 95/98/Me family: 1 protected,
// 0 not, -1 not tried.
TEST_F(Paths, ProtectedFoldersOfEachFamily) {
  const struct {
    std::string path;
    void (*alter)();
    int nt, win9x;
  } cases[] = {
      {"", Nothing, 1, -1}, {"C:", Nothing, 1, -1}, {"C:\\", Nothing, 1, -1},
      {"c:\\windows\\", Unchanged, 1, -1}, {"C:\\WINDOWS\\\\", Unchanged, 0, -1},
      {"C:/WINDOWS", Unchanged, 0, -1}, {"C:\\Shell\\Desk", Unchanged, 1, -1},
      {"C:\\Program Files\\Shared\\", Unchanged, 1, -1},
      {"C:\\Program Files", [] { machine.registry.erase("CommonFilesDir"); }, 1, -1},
      {"C:\\Program Files", [] { machine.keyOpens = false; }, 0, -1},
      {"C:\\Common\\Data" + kQuickLaunch, Unchanged, 1, -1},
      {kAppData + kQuickLaunch, Unchanged, -1, 1},
      // A failed source is skipped, and what it left is no candidate.
      {kLeftOver, [] { NoShellFolders(); machine.windows = ""; }, 0, -1},
      {kLeftOver + kQuickLaunch, NoShellFolders, 0, -1},
      {"C:\\WINDOWS\\System32", [] { NoShellFolders(); machine.windows = ""; }, 1, -1},
      // The user's own folders that macros name, and not their subfolders;
      // they need no registry.
      {"C:\\Shell\\My Docs", Unchanged, 1, -1}, {"c:\\shell\\my docs\\", Unchanged, -1, 1},
      {"C:\\Shell\\My Docs\\Product", Unchanged, 0, -1}, {"C:\\Local\\user", Unchanged, -1, 1},
      {"C:\\Profile\\user", [] { machine.keyOpens = false; }, 1, -1},
      {"C:\\Profile\\user", Unchanged, -1, 1}, {"C:\\Profile\\user\\Product", Unchanged, 0, -1},
      {"C:\\Common", Unchanged, 1, 1},
      {"C:\\Documents and Settings\\All Users", [] { machine.shell = {{CSIDL_APPDATA, kAppData}}; },
       1, -1},
      // The 64-bit program and common files, with or without a backslash.
      {"D:\\Program Files", [] { machine.registry["ProgramW6432Dir"] = Sz("D:\\Program Files\\"); },
       1, -1},
      {"D:\\Program Files\\Common Files",
       [] { machine.registry["CommonW6432Dir"] = Sz("D:\\Program Files\\Common Files"); }, -1, 1},
      {"D:\\Program Files", [] { machine.registry["CommonW6432Dir"] = Sz("D:\\Other"); }, 0, -1},
      // The all-users folders that only NT has.
      {"C:\\Common\\Desktop", Unchanged, 1, 0}, {"C:\\Common\\Menu\\Programs", Unchanged, 1, 0},
      {"C:\\Common\\Menu", Unchanged, 1, 0}, {"C:\\Common\\Menu\\Startup", Unchanged, 1, 0},
  };
  for (const auto &c : cases) {
    for (const bool nt : {true, false}) {
      if ((nt ? c.nt : c.win9x) < 0) continue;
      UseFakeMachine(nt);
      c.alter();
      EXPECT_EQ(Protected(c.path), nt ? c.nt : c.win9x) << c.path << (nt ? " NT" : " 9x");
    }
  }
}

}  // namespace
}  // namespace quenrid::test
