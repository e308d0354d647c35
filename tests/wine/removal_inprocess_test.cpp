// What the removal phases decide, and do to the process that runs them, which
// a run of the whole stub cannot show: the key walk, paths too long for
// the work path, and what a COM server's export or a font's name leaves behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../host/truetype_file.h"
#include "data/uninstall_data.h"
#include "harness.h"
#include "removal/com_server.h"
#include "removal/fonts.h"
#include "removal/registry.h"
#include "removal/rules.h"
#include "removal/shortcuts.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

enum : uint32_t { HKCR = ROOT_CLASSES, HKCU = ROOT_CURRENT_USER, HKLM = ROOT_LOCAL_MACHINE };
enum : uint32_t { HKU = ROOT_USERS, HKCC = ROOT_CURRENT_CONFIG };

// How the guard reads a key before its tables (which the registry rows show
// through the stub): roots and first-level keys in any spelling, the users'
// hives and their classes, the current configuration, views and control
// sets. Nor does the walk below a key take an empty name for the key itself.
TEST(RegistryGuard, ReadsRootsHivesViewsAndControlSetsInAnyForm) {
  // clang-format off
  const struct { uint32_t root; std::string keyPath; int guarded; } cases[] = {
      {HKLM, "", 1}, {HKCR, "\\", 1}, {HKCU, "\\\\\\", 1}, {HKLM, "\\Software", 1},
      {HKLM, "SOFTWARE\\\\", 1}, {HKU, ".DEFAULT", 1}, {HKU, ".DEFAULT\\Software", 1},
      {HKU, "S-1-5-21-1\\Software\\Microsoft", 1}, {HKCC, "System", 1},
      {HKU, ".DEFAULT\\Software\\Vendor", 0}, {HKCC, "Software\\Vendor", 0},
      {HKU, "S-1-5-21-1_Classes\\Wow6432Node\\CLSID", 1}, {HKLM, "Software\\Classes\\CLSID", 1},
      {HKCU, "Software\\Classes\\Wow6432Node\\exefile\\shell", 1},
      {HKLM, "SYSTEM\\ControlSet1x\\Services", 0}, {HKLM, "system\\controlset002\\\\Services\\", 1},
  };
  // clang-format on
  for (const auto &c : cases) {
    EXPECT_EQ(IsGuardedKey(c.root, c.keyPath.c_str()), c.guarded)
        << std::hex << c.root << " " << c.keyPath;
  }
  const char name[] = "Software\\Quenrid Tree Test";
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, name, &key), ERROR_SUCCESS);
  EXPECT_EQ(DeleteKeyTree(key, ""), ERROR_BADKEY);
  EXPECT_EQ(DeleteKeyTree(key, nullptr), ERROR_BADKEY);
  RegCloseKey(key);
  EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, name), ERROR_SUCCESS);
}

// A path that does not fit is skipped whole, never cut: WorkPath is left
// empty, and the guard bytes behind it untouched.
TEST(WorkPath, PathsThatDoNotFitLeaveItEmpty) {
  ProcessState state;
  TestFolder folder;
  char work[PATH_BUFFER_SIZE + 64], install[PATH_BUFFER_SIZE];
  memset(work, 'G', sizeof work);
  strcpy(install, (folder.path() + "\\").c_str());
  WorkPath = work;
  InstallFolder = install;
  const std::string tooLong(300, 'x');
  Manifest manifest;
  manifest.files = {{".\\" + tooLong, "a.txt"}, {folder.path(), tooLong}, {tooLong, ""}};
  manifest.shortcuts = {{0, folder.path(), "", tooLong + ".lnk"}};
  WriteBinaryFile(folder / "block.dat", std::string(16, '\0') + EncodeBlock(manifest));
  ASSERT_EQ(ReadUninstallDataFile((folder / "block.dat").c_str(), 16), READ_OK);
  for (uint32_t i = 0; i < FileListCount; ++i) {
    strcpy(WorkPath, "C:\\left over");
    EXPECT_FALSE(ComposeFilePath(FileList[i])) << i;
    EXPECT_STREQ(WorkPath, "") << i;
  }
  strcpy(WorkPath, "C:\\left over");
  RemoveShortcutFiles();
  EXPECT_STREQ(WorkPath, "");
  ReleaseUninstallData();
  for (size_t i = PATH_BUFFER_SIZE; i < sizeof work; ++i) ASSERT_EQ(work[i], 'G') << i;
}

// The head of the thread's exception list, the first field of its TEB.
#ifdef _WIN64
#define CHAIN_HEAD "%%gs:0"
#else
#define CHAIN_HEAD "%%fs:0"
#endif

// Before NT 6 the export is called here (from where, and how, the removal
// runner checks). Whether it returns, writes through null or raises, the
// caller's exception chain, current directory and error mode are back after
// each call, and the server is unloaded, so that its file can go.
TEST(ComServer, CalledHereItLeavesTheCallerAsItWas) {
  constexpr UINT kCallersErrorMode = SEM_NOGPFAULTERRORBOX;  // one the code never sets
  const struct {
    const char *name, *built, *raise;
  } servers[] = {{"returns", "recording_com_server.dll", nullptr},
                 {"crashes", "crashing_com_server.dll", nullptr},
                 {"raises", "crashing_com_server.dll", "1"}};
  ProcessState state;
  TestFolder folder;
  char directory[MAX_PATH] = "", after[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof directory, directory);
  const std::string record = folder / "record.txt";
  const UINT savedErrorMode = SetErrorMode(kCallersErrorMode);
  SetEnvironmentVariableA("QUENRID_COM_RECORD", record.c_str());
  IsNtVersion6 = false;
  for (const auto &server : servers) {
    SCOPED_TRACE(server.name);
    const std::string path = folder / (std::string(server.name) + ".dll");
    EXPECT_TRUE(CopyFileA(TestProgram(server.built).c_str(), path.c_str(), FALSE));
    SetEnvironmentVariableA("QUENRID_COM_RAISE", server.raise);
    void *chainHead, *head;
    __asm__ __volatile__("mov " CHAIN_HEAD ", %0" : "=r"(chainHead));
    for (int call = 0; call < 2; ++call) {
      UnregisterComServer(path.c_str());
      // A head left pointing into an abandoned stack would wreck the rest of
      // the run, this test's exit code included: it is reported, put right.
      __asm__ __volatile__("mov " CHAIN_HEAD ", %0" : "=r"(head));
      EXPECT_EQ(head, chainHead);
      __asm__ __volatile__("mov %0, " CHAIN_HEAD : : "r"(chainHead) : "memory");
      GetCurrentDirectoryA(sizeof after, after);
      EXPECT_STREQ(after, directory);
      EXPECT_EQ(GetErrorMode(), kCallersErrorMode);
    }
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "still loaded: error " << GetLastError();
  }
  SetEnvironmentVariableA("QUENRID_COM_RECORD", nullptr);
  SetEnvironmentVariableA("QUENRID_COM_RAISE", nullptr);
  SetErrorMode(savedErrorMode);
  // Each call reached the export.
  const std::string events = ReadBinaryFile(record);
  size_t calls = 0;
  for (size_t at = 0; (at = events.find("unregister\t", at)) != std::string::npos; ++at) ++calls;
  EXPECT_EQ(calls, 2 * std::size(servers));
}

int fontChanges;
LRESULT CALLBACK CountFontChanges(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_FONTCHANGE) ++fontChanges;
  return DefWindowProcA(window, message, wParam, lParam);
}

// The name read from the file is used whole or not at all: the longest that
// leaves room for the suffix picks its registration; one byte longer, none
// goes, least of all the one of the name cut short. Either way every
// top-level window hears of the change once.
TEST(Fonts, ANameIsUsedWholeOrNotAtAll) {
  ProcessState state;
  TestFolder folder;
  const std::string font = folder / "font.ttf", suffix = " (TrueType)";
  const std::string longest(FONT_NAME_BUFFER_SIZE - 1 - suffix.size(), 'Q'),
      value = longest + suffix;
  const char key[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
  HWND window =
      CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountFontChanges));
  IsNtPlatform = true;
  for (const std::string &name : {longest, longest + "Q"}) {
    SCOPED_TRACE(name.size());
    ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, value.c_str(), REG_SZ, font.c_str(),
                              static_cast<DWORD>(font.size() + 1)),
              0);
    WriteBinaryFile(font, BuildFont({{{kMacintosh, kFullName, name}}}));
    fontChanges = 0;
    RemoveFont(font.c_str());
    EXPECT_EQ(fontChanges, 1);
    EXPECT_EQ(RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, key, value.c_str()) == ERROR_SUCCESS,
              name != longest);
  }
  DestroyWindow(window);
}

}  // namespace
}  // namespace quenrid::test
