// What the removal phases decide without the whole stub around them: the
// registry guard, the bounds of the work path, and the progress of each phase.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "data/state.h"
#include "ui/ui.h"
#include "data/uninstall_data.h"
#include "harness.h"
#include "removal/emptied_folders.h"
#include "removal/files.h"
#include "removal/registry.h"
#include "removal/shortcuts.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

enum : uint32_t {
  HKCR = ROOT_CLASSES,
  HKCU = ROOT_CURRENT_USER,
  HKLM = ROOT_LOCAL_MACHINE,
  HKU = ROOT_USERS,
  HKCC = ROOT_CURRENT_CONFIG,
};

TEST(RegistryGuard, RefusesRootsFirstLevelAndSharedKeysInAnyForm) {
  const struct {
    uint32_t root;
    const char *keyPath;
    int guarded;
  } cases[] = {
      {HKLM, "", 1},
      {HKCR, "\\", 1},
      {HKCU, "\\\\\\", 1},
      {HKLM, "Software", 1},
      {HKLM, "\\Software", 1},
      {HKLM, "SOFTWARE\\\\", 1},
      {HKU, ".DEFAULT", 1},
      {HKU, ".DEFAULT\\Software", 1},
      {HKU, "S-1-5-21-1\\Software\\Microsoft", 1},
      {HKCC, "System", 1},
      {HKCR, "CLSID", 1},
      {HKCR, "clsid\\", 1},
      {HKCR, "*", 1},
      {HKLM, "Software\\Classes\\CLSID", 1},
      {HKCU, "Software\\\\Classes\\Interface\\", 1},
      {HKLM, "Software\\Microsoft", 1},
      {HKLM, "Software\\Microsoft\\\\Windows\\CurrentVersion\\", 1},
      {HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 1},
      {HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 1},
      {HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths", 1},
      {HKLM, "Software\\Microsoft\\Windows NT\\CurrentVersion", 1},
      {HKLM, "SYSTEM\\CurrentControlSet", 1},
      {HKLM, "system\\currentcontrolset\\services\\", 1},
      // A product's own keys below them still go.
      {HKLM, "Software\\Vendor\\Product", 0},
      {HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Product", 0},
      {HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\product.exe", 0},
      {HKCR, ".ext", 0},
      {HKCR, "CLSID\\{00000000-0000-0000-0000-000000000001}", 0},
      {HKLM, "Software\\Classes\\.ext", 0},
      {HKU, ".DEFAULT\\Software\\Vendor", 0},
      {HKLM, "SYSTEM\\CurrentControlSet\\Services\\ProductService", 0},
      {HKCC, "Software\\Vendor", 0},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(IsGuardedKey(c.root, c.keyPath), c.guarded) << std::hex << c.root << " " << c.keyPath;
  }
}

TEST(RegistryGuard, DeleteKeyTreeRefusesAnEmptyName) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Quenrid Tree Test", &key), ERROR_SUCCESS);
  EXPECT_EQ(DeleteKeyTree(key, ""), ERROR_BADKEY);
  EXPECT_EQ(DeleteKeyTree(key, nullptr), ERROR_BADKEY);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Quenrid Tree Test", &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Quenrid Tree Test"), ERROR_SUCCESS);
}

// The lists of one block, the shared buffers, and a work path followed by
// guard bytes that no phase may touch.
class Phases : public ::testing::Test {
 protected:
  void Load(const Manifest &manifest) {
    ReleaseUninstallData();
    const std::string block = folder_ / "block.dat";
    WriteBinaryFile(block, std::string(16, '\0') + EncodeBlock(manifest));
    ASSERT_EQ(ReadUninstallDataFile(block.c_str(), 16), READ_OK);
  }

  void SetUp() override {
    memset(work_, 'G', sizeof work_);
    work_[0] = '\0';
    strcpy(install_, (folder_.path() + "\\").c_str());
    WorkPath = work_;
    InstallFolder = install_;
    GetCurrentDirectoryA(sizeof savedDirectory_, savedDirectory_);
  }

  void TearDown() override {
    for (size_t i = PATH_BUFFER_SIZE; i < sizeof work_; ++i) ASSERT_EQ(work_[i], 'G') << i;
    ReleaseUninstallData();
    SetCurrentDirectoryA(savedDirectory_);
    WorkPath = InstallFolder = nullptr;
    ProgressTotal = ProgressPosition = 0;
  }

  TestFolder folder_;
  char work_[PATH_BUFFER_SIZE + 64];
  char install_[PATH_BUFFER_SIZE];
  char savedDirectory_[MAX_PATH];
};

TEST_F(Phases, PathsThatDoNotFitTheWorkPathLeaveItEmpty) {
  const std::string tooLong(300, 'x');
  const FileRecord records[] = {
      {".\\" + tooLong, "a.txt"}, {folder_.path(), tooLong}, {tooLong, ""}};
  Manifest manifest;
  manifest.files.assign(std::begin(records), std::end(records));
  manifest.shortcuts = {{0, folder_.path(), "", tooLong + ".lnk"}};
  Load(manifest);
  for (uint32_t i = 0; i < FileListCount; ++i) {
    strcpy(WorkPath, "C:\\left over");
    EXPECT_FALSE(ComposeFilePath(FileList[i])) << i;
    EXPECT_STREQ(WorkPath, "") << i;
  }
  strcpy(WorkPath, "C:\\left over");
  RemoveShortcutFiles();
  EXPECT_STREQ(WorkPath, "");
}

// Each phase reports over its own stretch of the bar: values and fonts move
// nothing, and without a total nothing is sent at all.
TEST_F(Phases, EachPhaseReportsItsOwnStretch) {
  const std::string nowhere = folder_ / "nowhere";
  Manifest manifest;
  manifest.files = {{nowhere, "a"}, {nowhere, "b"}, {nowhere, "c", FILE_FLAG_FONT}};
  manifest.shortcuts = {{0, nowhere, "", "a.lnk"}, {0, "", "", ""}};
  manifest.registry = {{HKCU, "Software\\Quenrid Progress\\Missing"},
                       {HKCU, ""},
                       {HKCU, "Software\\Quenrid Progress\\\\Value"},
                       {HKCU, "Software\\Quenrid Progress\\\\"}};
  Load(manifest);
  const uint32_t total = 4 + 2 * 3 + 2;  // registry + 2 x files + shortcuts
  const struct {
    const char *phase;
    std::function<void()> run;
    uint32_t expected;
  } cases[] = {
      {"shortcut files", RemoveShortcutFiles, 100 * (3 + 1) / total},
      {"shortcut folders", RemoveShortcutFolders, 100 * (3 + 1) / total},
      {"registry", RemoveRegistryEntries, 100 * (2 + 3 + 1) / total},
      {"emptied folders", RemoveEmptiedFolders, 100 * (4 + 2 + 3 + 1) / total},
  };
  for (const auto &c : cases) {
    ProgressTotal = 0;
    ProgressPosition = 99;
    c.run();
    EXPECT_EQ(ProgressPosition, 99u) << c.phase;
    ProgressTotal = total;
    c.run();
    EXPECT_EQ(ProgressPosition, c.expected) << c.phase;
  }
}

}  // namespace
}  // namespace quenrid::test
