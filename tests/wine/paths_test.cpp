// Path macros, the shell folder lookup and the protected-folder test: against
// the folders Wine reports, and against replaced sources that fail or name
// folders of the test's choice, as Wine itself cannot be made to.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "harness.h"
#include "paths/folder_sources.h"
#include "paths/path_macros.h"
#include "paths/protected_folders.h"
#include "paths/shell_folders.h"

namespace quenrid::test {
namespace {

// A folder of the test's own, written "@" in the machine's folders and the
// rows: the protected-folder test decides on real folders, so the rows that
// need one name it there.
std::string Root;
std::string Here(std::string text) {
  for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, Root);
  return text;
}
// What a failed replaced source leaves in its buffer: it must never show up
// in a result.
const char kLeftOver[] = "@\\left over";
const HKEY kFakeKey = reinterpret_cast<HKEY>(0x5150);
constexpr char kGuard = '\x5A';
const std::string kQuickLaunch = "\\Microsoft\\Internet Explorer\\Quick Launch";
enum Families { kNt = 1, k9x = 2, kBoth = 3 };

std::string Sz(const std::string &text) { return text + '\0'; }  // a registry string as stored

// The machine that the replaced sources describe. An empty directory, or a
// folder or value that is not listed, makes its source fail.
struct FakeMachine {
  std::string windows = "C:\\WINDOWS", system = "C:\\WINDOWS\\System32", temp = "C:\\Temp\\";
  // clang-format off
  std::map<int, std::string> shell = {{CSIDL_DESKTOPDIRECTORY, "C:\\Shell\\Desk\\"},
      {CSIDL_PERSONAL, "D:\\"}, {CSIDL_PROFILE, "@\\Profile\\user"},
      {CSIDL_APPDATA, "C:\\Documents and Settings\\user\\Application Data"}};
  std::map<std::string, std::string> registry = {  // raw bytes as stored
      {"ProgramFilesDir", Sz("C:\\Programs")}, {"CommonFilesDir", Sz("C:\\Programs\\Shared")}};
  // clang-format on
  bool keyOpens = true;
  int opens = 0, closes = 0;
} machine;

UINT WriteFolder(const std::string &written, char *buffer, UINT size) {
  const std::string folder = Here(written);
  const UINT length = static_cast<UINT>(folder.size());
  if (length == 0) lstrcpynA(buffer, Here(kLeftOver).c_str(), size);
  if (length > 0 && length < size) strcpy(buffer, folder.c_str());
  return length < size ? length : length + 1;
}

UINT WINAPI FakeWindows(LPSTR path, UINT size) { return WriteFolder(machine.windows, path, size); }
UINT WINAPI FakeSystem(LPSTR path, UINT size) { return WriteFolder(machine.system, path, size); }
DWORD WINAPI FakeTemp(DWORD size, LPSTR path) { return WriteFolder(machine.temp, path, size); }
bool FakeShellFolderPath(char *buffer, int folder) {
  const auto found = machine.shell.find(folder);
  return WriteFolder(found == machine.shell.end() ? "" : found->second, buffer, MAX_PATH) != 0;
}

LONG WINAPI FakeOpenKey(HKEY root, LPCSTR subKey, DWORD, REGSAM access, PHKEY key) {
  const bool opens = machine.keyOpens && root == HKEY_LOCAL_MACHINE &&
                     (access & KEY_READ) == KEY_READ &&
                     !strcmp(subKey, "Software\\Microsoft\\Windows\\CurrentVersion");
  if (opens) *key = kFakeKey;
  machine.opens += opens;
  return opens ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG WINAPI FakeQueryValue(HKEY key, LPCSTR name, LPDWORD, LPDWORD, LPBYTE data, LPDWORD size) {
  const auto found = machine.registry.find(name);
  if (key != kFakeKey || found == machine.registry.end()) {
    strcpy(reinterpret_cast<char *>(data), Here(kLeftOver).c_str());
    return ERROR_FILE_NOT_FOUND;
  }
  const std::string value = Here(found->second);
  if (value.size() > *size) return ERROR_MORE_DATA;
  memset(data, 'J', *size);  // the rest of the buffer is undefined
  memcpy(data, value.data(), value.size());
  *size = static_cast<DWORD>(value.size());
  return ERROR_SUCCESS;
}

LONG WINAPI FakeCloseKey(HKEY key) {
  machine.closes += key == kFakeKey;
  return ERROR_SUCCESS;
}

// How a case's machine differs from the full one; none when it does not.
// clang-format off
using Alter = std::function<void()>;
const Alter kNoShell = [] { machine.shell = {}; };
const Alter kNoWindows = [] { machine.shell = {}, machine.windows = ""; };
const Alter kNothing = [] { machine = FakeMachine{"", "", "", {}, {}}; };
const Alter kNoKey = [] { machine.keyOpens = false; };
const Alter kNoCommon = [] { machine.registry.erase("CommonFilesDir"); };
Alter Shell(int folder, const char *path) { return [=] { machine.shell[folder] = path; }; }
Alter Docs(const char *path) { return Shell(CSIDL_COMMON_DOCUMENTS, path); }
Alter Value(std::string name, std::string bytes) { return [=] { machine.registry[name] = bytes; }; }
// clang-format on

// Expands as the pre-uninstall start does: measure, then write into a buffer
// of that size; first into one of no bytes, to stay untouched, and one a byte
// short, to get what it can hold and a terminator. Guard bytes follow each.
std::string Expand(const std::string &source) {
  const size_t length = ExpandPathMacros(nullptr, source.c_str(), EXPANSION_BUFFER_SIZE);
  std::string output;
  for (const size_t size : {size_t{0}, length, length + 1}) {
    output.assign(size + 16, kGuard);
    EXPECT_EQ(ExpandPathMacros(&output[0], source.c_str(), static_cast<uint32_t>(size)), length);
    EXPECT_EQ(output.find('\0'), size - 1) << source;  // npos for 0 bytes
    EXPECT_EQ(output.substr(size), std::string(16, kGuard)) << source;
  }
  return output.c_str();
}

// IsProtectedFolder on a 260-byte copy of `path`, which must come back unchanged.
bool Protected(const std::string &path) {
  std::string buffer(PATH_BUFFER_SIZE, kGuard);
  buffer.replace(0, path.size() + 1, path.c_str(), path.size() + 1);
  const std::string before = buffer;
  const bool result = IsProtectedFolder(&buffer[0]);
  EXPECT_EQ(buffer, before) << "path changed: " << path;
  return result;
}

std::string Cased(std::string text, int (*change)(int)) {
  for (char &c : text) c = static_cast<char>(change(static_cast<unsigned char>(c)));
  return text;
}

// Wine's folders, through other calls than those under test.
std::string Wine(int folder) {
  char path[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

class Paths : public ::testing::Test {
 protected:
  void SetUp() override {
    Root = root_.path();
    strcpy(installFolder_, (Root + "\\").c_str());
    InstallFolder = installFolder_;
  }
  void TearDown() override { Folders = savedSources_; }

  // Replaces every source by a machine of the given family that has every
  // folder, each distinct from what a fall-back would give, then alters it.
  void UseFakeMachine(bool nt, const Alter &alter = nullptr) {
    machine = FakeMachine();
    Folders = {FakeWindows,    FakeSystem,   FakeTemp,           FakeOpenKey,
               FakeQueryValue, FakeCloseKey, FakeShellFolderPath};
    IsNtPlatform = nt;
    if (alter) alter();
  }

  ProcessState state_;
  const FolderSources savedSources_ = Folders;
  TestFolder root_;
  char installFolder_[PATH_BUFFER_SIZE] = "";
};

// Wine's folders on either family: what their macros give, and which are
// protected, in any case and with a trailing backslash, but not below.
TEST_F(Paths, WinesFoldersThroughMacrosAndTheProtectedTest) {
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  const std::string documents = Wine(CSIDL_COMMON_DOCUMENTS);
  // clang-format off
  const struct { const char *macro; std::string folder; int protectedOn = kBoth; } folders[] = {
      {"#Windows#", Wine(CSIDL_WINDOWS)}, {"#System#", Wine(CSIDL_SYSTEM)},
      {"#TempDir#", std::string(temp, strlen(temp) - 1), 0}, {"#InstallDir#", Root, 0},
      {"#CommonFiles#", Wine(CSIDL_PROGRAM_FILES_COMMON)}, {"#AppData#", Wine(CSIDL_APPDATA)},
      {"#Program Files#", Wine(CSIDL_PROGRAM_FILES)}, {"#MyDocuments#", Wine(CSIDL_PERSONAL)},
      {"#Desktop#", Wine(CSIDL_DESKTOPDIRECTORY)}, {"#UserDir#", Wine(CSIDL_PROFILE)},
      {"#LocalAppData#", Wine(CSIDL_LOCAL_APPDATA)}, {"#AllUsersDocuments#", documents},
      {"#AllUsersAppData#", Wine(CSIDL_COMMON_APPDATA)},
      {"#AllUsersDir#", documents.substr(0, documents.rfind('\\'))},
      {nullptr, Wine(CSIDL_DESKTOP)}, {nullptr, Wine(CSIDL_FONTS)}, {nullptr, Wine(CSIDL_PROGRAMS)},
      {nullptr, Wine(CSIDL_STARTUP)}, {nullptr, Wine(CSIDL_STARTMENU)},
      {nullptr, Wine(CSIDL_APPDATA) + kQuickLaunch},
      {nullptr, Wine(CSIDL_COMMON_APPDATA) + kQuickLaunch},
      // The all-users folders that only the NT family has.
      {"#AllUsersDesktop#", Wine(CSIDL_COMMON_DESKTOPDIRECTORY), kNt},
      {nullptr, Wine(CSIDL_COMMON_STARTMENU), kNt}, {nullptr, Wine(CSIDL_COMMON_PROGRAMS), kNt},
      {nullptr, Wine(CSIDL_COMMON_STARTUP), kNt},
  };
  // clang-format on
  for (const bool nt : {true, false}) {
    IsNtPlatform = nt;
    for (const auto &f : folders) {
      ASSERT_GE(f.folder.size(), 4u) << (f.macro ? f.macro : f.folder) << " unknown to Wine";
      EXPECT_TRUE(!f.macro || Expand(Cased(f.macro, tolower) + "\\Data") == f.folder + "\\Data")
          << f.macro;
      const bool expected = (f.protectedOn & (nt ? kNt : k9x)) != 0;
      const std::string sub = f.folder + "\\Quenrid Sub";
      const std::vector<std::string> made = CreateFolders(sub + "\\");
      for (const std::string &written :
           {f.folder, Cased(f.folder, toupper), Cased(f.folder, tolower), f.folder + "\\"}) {
        EXPECT_EQ(Protected(written), expected) << written << (nt ? " NT" : " 9x");
      }
      EXPECT_FALSE(Protected(sub)) << sub;
      for (const std::string &folder : made) RemoveDirectoryA(folder.c_str());
    }
  }
}

// On replaced sources, for the families a row names: what a source expands
// to, or whether a path is protected; and the bounds of an expansion.
TEST_F(Paths, ExpansionsAndProtectedFoldersOnEachFamily) {
  const std::string allFail =
      "#Windows#|#System#|#TempDir#|#AppData#|#LocalAppData#|"
      "#MyDocuments#|#Desktop#|#CommonFiles#|#Program Files#|#AllUsersDir#";
  const std::string longWindows = "C:\\" + std::string(256, 'W'), yes = "(protected)", no = "(not)";
  // clang-format off
  const struct { std::string text; Alter alter; std::string result; int on = kBoth; } cases[] = {
      {"#AppData#|#UserDir#", kNoShell,
       "C:\\WINDOWS\\Profiles\\Administrator\\Application Data|c:\\", kNt},
      {"#AppData#|#LocalAppData#|#UserDir#", kNoShell,
       "C:\\WINDOWS\\Application Data|C:\\WINDOWS\\Application Data|C:\\WINDOWS", k9x},
      // The profile's folders beside AppData, and the profiles' folder above it.
      {"#LocalAppData#|#AllUsersDir#", {}, "C:\\Documents and Settings\\user\\Local Settings"
       "\\Application Data|C:\\Documents and Settings\\All Users", kNt},
      // The longest fall-back behind the longest Windows directory.
      {"#LocalAppData#",
       [&] { machine.shell = {{CSIDL_APPDATA, "AppData"}}, machine.windows = longWindows; },
       longWindows + "\\Profiles\\Administrator\\Local Settings\\Application Data", kNt},
      // A source that fails, without a fall-back, keeps its token; and one
      // that fails to fit, for a folder of 260 characters.
      {allFail, kNothing, allFail},
      {"#CommonFiles#|#Program Files#", kNoKey, "#CommonFiles#|#Program Files#"},
      {"#Windows#", [&] { machine.windows = longWindows + "W"; }, "#Windows#"},
      // The parent of the common documents, and the drive roots.
      {"#AllUsersDir#", Docs("D:\\Docs"), "D:\\"}, {"#AllUsersDir#", Docs("Docs"), "c:\\"},
      {"#AllUsersDir#", Docs("\\Docs"), ""},
      // One trailing backslash goes, but a root keeps its own.
      {"#MyDocuments#|#Desktop#|#TempDir#", {}, "D:\\|C:\\Shell\\Desk|C:\\Temp"},
      // The registry: a missing common files folder is derived, and a value
      // stored without a terminator is read as far as it goes, unless it fills
      // all 260 bytes.
      {"#CommonFiles#|#Program Files#", {}, "C:\\Programs\\Shared|C:\\Programs"},
      {"#CommonFiles#", kNoCommon, "C:\\Programs\\Common Files"},
      {"#Program Files#", Value("ProgramFilesDir", "D:\\Apps\\"), "D:\\Apps"},
      {"#Program Files#", Value("ProgramFilesDir", std::string(260, 'P')), "#Program Files#"},
      // Each hash pairs with the next in the source, never in what a macro gave.
      {"", {}, ""}, {"##x", {}, "x"}, {"#Windows #", {}, ""}, {"50#", {}, "50#"},
      {"#Unknown#\\x", {}, "\\x"}, {"#Foo#Windows#", {}, "Windows#"}, {"C:\\a#b#c", {}, "C:\\ac"},
      {"#" + std::string(400, 'n') + "#x", {}, "x"},
      {"#windows#, #SYSTEM#", {}, "C:\\WINDOWS, C:\\WINDOWS\\System32"},
      {"#Windows#x", [] { machine.windows = "C:\\W#System#"; }, "C:\\W#System#x"},
      // Protected: drive roots and shorter; any spelling of a protected folder
      // (separators, dots, trailing dots and blanks, a way through ".."); a
      // namespace prefix, a stream and a folder that is not there.
      {"", kNothing, yes}, {"C:", kNothing, yes}, {"C:\\", kNothing, yes},
      {"C:\\WINDOWS\\\\", {}, yes}, {"C:/WINDOWS", {}, yes}, {"C:\\WINDOWS.", {}, yes},
      {"C:\\WINDOWS. \\", {}, yes}, {"@\\..\\WINDOWS\\.\\", {}, yes}, {"@\\sub", {}, no},
      {"\\\\?\\@\\sub", {}, yes}, {"\\\\.\\@\\sub", {}, yes}, {"\\??\\@\\sub", {}, yes},
      {"@\\sub:s", {}, yes}, {"@\\sub\\none", {}, yes}, {"@\\sub\\CON", {}, yes},
      {"@\\Desk", Shell(CSIDL_DESKTOPDIRECTORY, "@\\Desk\\"), yes},
      // A failed source is skipped, and what it left is no candidate.
      {kLeftOver, kNoWindows, no}, {kLeftOver + kQuickLaunch, kNoShell, no},
      {"C:\\WINDOWS\\System32", kNoWindows, yes},
      // The user's own folders need no registry, and a fall-back names the
      // all-users folder when the shell does not.
      {"@\\Profile\\user", kNoKey, yes},
      {"@\\DS\\All Users", Shell(CSIDL_APPDATA, "@\\DS\\user\\Application Data"), yes, kNt},
      // The program and common files, with or without a backslash, in any
      // spelling the registry holds them.
      {"@\\Apps", Value("ProgramFilesDir", Sz("@\\Apps\\")), yes},
      {"@\\Apps", Value("ProgramFilesDir", Sz("@\\Apps\\.\\..\\Apps")), yes},
      {"@\\Apps\\Shared", Value("CommonFilesDir", Sz("@\\Apps\\Shared\\")), yes},
      {"@\\Program Files", Value("ProgramW6432Dir", Sz("@\\Program Files\\")), yes},
      {"@\\Program Files\\Common Files",
       Value("CommonW6432Dir", Sz("@\\Program Files\\Common Files")), yes},
      {"@\\Program Files", Value("CommonW6432Dir", Sz("@\\Other")), no},
  };
  // clang-format on
  for (const std::string &folder :
       std::vector<std::string>{"sub", "left over" + kQuickLaunch, "Desk", "Profile\\user",
                                "DS\\All Users", "Apps\\Shared", "Program Files\\Common Files"}) {
    CreateFolders(Root + "\\" + folder + "\\");
  }
  for (const auto &c : cases) {
    for (const bool nt : {true, false}) {
      if (!(c.on & (nt ? kNt : k9x))) continue;
      UseFakeMachine(nt, c.alter);
      const bool isProtected = c.result == yes || c.result == no;
      EXPECT_EQ(isProtected ? (Protected(Here(c.text)) ? yes : no) : Expand(c.text), c.result)
          << c.text << (nt ? " NT" : " 9x");
      EXPECT_EQ(machine.opens, machine.closes) << "registry key left open: " << c.text;
    }
  }
  InstallFolder = nullptr;
  EXPECT_EQ(Expand("#InstallDir#"), "#InstallDir#");

  // Beyond the working buffer, an expansion stops at its end, though its
  // full length is still returned.
  UseFakeMachine(true);
  machine.windows = "C:\\" + std::string(256, 'W');
  std::string source;
  for (int i = 0; i < 300; ++i) source += "#Windows#";
  const uint32_t length = 300 * 259;
  std::string big(length + 17, kGuard);
  EXPECT_EQ(ExpandPathMacros(&big[0], source.c_str(), length + 1), length);
  EXPECT_EQ(strlen(big.c_str()), 65499u);
  EXPECT_EQ(big.substr(65500), std::string(big.size() - 65500, kGuard));
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
}

}  // namespace
}  // namespace quenrid::test
