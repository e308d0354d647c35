// What the removal phases decide without the whole stub around them: the
// registry guard, and paths too long for the work path, which stays empty.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/uninstall_data.h"
#include "harness.h"
#include "process_state.h"
#include "removal/registry.h"
#include "removal/rules.h"
#include "removal/shortcuts.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

enum : uint32_t {
  HKCR = ROOT_CLASSES, HKCU = ROOT_CURRENT_USER, HKLM = ROOT_LOCAL_MACHINE,
  HKU = ROOT_USERS, HKCC = ROOT_CURRENT_CONFIG,
};

TEST(RegistryGuard, RefusesRootsFirstLevelAndSharedKeysInAnyForm) {
  const struct {
    uint32_t root;
    const char *keyPath;
    int guarded;
  } cases[] = {
      {HKLM, "", 1}, {HKCR, "\\", 1}, {HKCU, "\\\\\\", 1}, {HKLM, "Software", 1},
      {HKLM, "\\Software", 1}, {HKLM, "SOFTWARE\\\\", 1}, {HKU, ".DEFAULT", 1},
      {HKU, ".DEFAULT\\Software", 1}, {HKU, "S-1-5-21-1\\Software\\Microsoft", 1},
      {HKCC, "System", 1}, {HKCR, "CLSID", 1}, {HKCR, "clsid\\", 1}, {HKCR, "*", 1},
      {HKLM, "Software\\Classes\\CLSID", 1}, {HKCU, "Software\\\\Classes\\Interface\\", 1},
      {HKLM, "Software\\Microsoft", 1},
      {HKLM, "Software\\Microsoft\\\\Windows\\CurrentVersion\\", 1},
      {HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 1},
      {HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 1},
      {HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths", 1},
      {HKLM, "Software\\Microsoft\\Windows NT\\CurrentVersion", 1},
      {HKLM, "SYSTEM\\CurrentControlSet", 1}, {HKLM, "system\\currentcontrolset\\services\\", 1},
      // A product's own keys below them still go.
      {HKLM, "Software\\Vendor\\Product", 0},
      {HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Product", 0},
      {HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\product.exe", 0},
      {HKCR, ".ext", 0}, {HKCR, "CLSID\\{00000000-0000-0000-0000-000000000001}", 0},
      {HKLM, "Software\\Classes\\.ext", 0}, {HKU, ".DEFAULT\\Software\\Vendor", 0},
      {HKLM, "SYSTEM\\CurrentControlSet\\Services\\ProductService", 0},
      {HKCC, "Software\\Vendor", 0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(IsGuardedKey(c.root, c.keyPath), c.guarded) << std::hex << c.root << " " << c.keyPath;
  }
}

TEST(RegistryGuard, DeleteKeyTreeRefusesAnEmptyName) {
  const char name[] = "Software\\Quenrid Tree Test";
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, name, &key), ERROR_SUCCESS);
  EXPECT_EQ(DeleteKeyTree(key, ""), ERROR_BADKEY);
  EXPECT_EQ(DeleteKeyTree(key, nullptr), ERROR_BADKEY);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, name, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, name), ERROR_SUCCESS);
}

// A path that does not fit is skipped whole, never cut: WorkPath is left
// empty, and the guard bytes behind it untouched.
TEST(WorkPath, PathsThatDoNotFitLeaveItEmpty) {
  ProcessState state;
  TestFolder folder;
  char work[PATH_BUFFER_SIZE + 64];
  memset(work, 'G', sizeof work);
  char install[PATH_BUFFER_SIZE];
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

}  // namespace
}  // namespace quenrid::test
