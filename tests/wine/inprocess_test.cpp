// What a run of the whole stub cannot show, in-process: what the removal
// phases decide and do to the process that runs them (the key walk, paths too
// long for the work path, what a COM server's export or a font's name leaves
// behind); the dialogs and progress with the stub's own templates (what they
// show and how each answer acts: the scenario rows); and the icon and manifest
// of every stub this tree inspects (in an x86-64 tree also the shipped i686
// one), read back as data.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>

#include "../host/truetype_file.h"
#include "app/main_flow.h"
#include "data/uninstall_data.h"
#include "harness.h"
#include "removal/com_server.h"
#include "removal/fonts.h"
#include "removal/registry.h"
#include "removal/rules.h"
#include "removal/shortcuts.h"
#include "resources/resource.h"
#include "ui/ui.h"
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

// As the stub runs once it has read its data (the texts each dialog shows:
// the scenario rows): every control in one regular-weight copy of the
// template's font; the bar follows what the phases report and ends full, as
// the total is what they spend (two units a file, one a shortcut or entry); a
// quiet run, without a bar, still keeps the position; a question that cannot
// be shown keeps the file.
TEST(Ui, DialogsAndProgressShowWhatTheDataSays) {
  ProcessState state;
  TestFolder folder;
  Manifest manifest;
  manifest.messages = TestMessages();
  manifest.files = {{".", "a", 0}, {".", "b", 0}, {".", "", 0}};
  manifest.shortcuts = {{0, "C:\\s", "", "s.lnk"}};
  manifest.registry = {{0x80000001, "Software\\A"}, {0x80000001, "Software\\B"}};
  // Behind a few bytes, as behind a stub: offset 0 stands for "no block".
  WriteBinaryFile(folder / "data", std::string(16, '\0') + EncodeBlock(manifest));
  ASSERT_EQ(ReadUninstallDataFile((folder / "data").c_str(), 16), READ_OK);
  AppInstance = GetModuleHandleA(nullptr);
  InitCommonControls();
  ASSERT_TRUE(RegisterMainWindowClass() && CreateMainWindow());
  OpenProgressDialog();
  for (HWND dialog : {ProgressDialog, CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_QUESTION),
                                                         MainWindow, QuestionDialogProc,
                                                         reinterpret_cast<LPARAM>("Remove?"))}) {
    ASSERT_NE(dialog, nullptr);
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      EXPECT_EQ(SendMessageA(c, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(DialogFont));
    }
  }
  LOGFONTA font{};
  ASSERT_EQ(GetObjectA(DialogFont, sizeof font, &font), static_cast<int>(sizeof font));
  EXPECT_EQ(font.lfWeight, FW_NORMAL);
  EXPECT_STREQ(font.lfFaceName, "Arial");

  const std::pair<int, int> reports[] = {{3, 33}, {9, 100}, {4, 44}};  // done, bar
  for (const auto &[done, bar] : reports) {
    ReportProgress(done);
    EXPECT_EQ(SendMessageA(ProgressBar, PBM_GETPOS, 0, 0), bar) << done;
  }
  ProgressBar = nullptr;
  ReportProgress(9);
  EXPECT_EQ(ProgressPosition, 100u);

  AppInstance = GetModuleHandleA("kernel32.dll");  // holds no question template
  EXPECT_EQ(ShowQuestion("C:\\readme.txt?"), IDNO);
}

// The one home of the percentage, worked out without a 64-bit division: the
// totals and counts reach the edges of that long division, and a count past
// 4 GB must not wrap.
TEST(Progress, IsTheShareOfTheTotalRoundedDown) {
  ProcessState state;
  const struct {
    uint32_t total;
    uint64_t done;
    uint32_t expected;
  } cases[] = {
      {8, 3, 37},
      {3, 1, 33},
      {3, 2, 66},
      {7, 7, 100},
      {0xFFFFFFFFu, 0xFFFFFFFEu, 99},
      {0xFFFFFFFFu, 0x7FFFFFFFu, 49},
      {0x80000000u, 0x7FFFFFFFu, 99},
      {0xFFFFFFFFu, 42949673u, 1},
      {0xFFFFFFFFu, 42949672u, 0},
      {7, 0x700000000ull, 100},
      {7, 0x100000003ull, 100},  // past the total: full
      {0, 3, 1000},              // no total: no move
  };
  for (const auto &c : cases) {
    ProgressTotal = c.total;
    ProgressPosition = 1000;  // a value no call sets
    ReportProgress(c.done);
    EXPECT_EQ(ProgressPosition, c.expected) << c.done << " of " << c.total;
  }
}

class StubResources : public ::testing::TestWithParam<std::string> {};

// The templates make the dialogs of every scenario row that asks; these are
// what no run shows.
TEST_P(StubResources, HoldWhatTheCodeLoadsAndAddresses) {
  HMODULE module = LoadLibraryExA(GetParam().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << GetParam();
  // The icon's images are hand-packed 16-colour bitmaps, which a wrong field
  // would make unreadable: the system must make an icon of each size.
  for (int side : {32, 16}) {
    HICON icon = static_cast<HICON>(
        LoadImageA(module, MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON, side, side, 0));
    EXPECT_NE(icon, nullptr) << side;
    DestroyIcon(icon);
  }

  // Without the administrator request a removal fails half-way; an
  // architecture other than the image's keeps the program from starting.
  // This tree's stub is of its own architecture; the shipped one is i686.
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST);
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char *>(LockResource(LoadResource(module, found))),
                             SizeofResource(module, found));
  FreeLibrary(module);
  const bool amd64 = sizeof(void *) == 8 && GetParam() == StubPath();
  const std::string named = std::string("processorArchitecture=\"") + (amd64 ? "amd64\"" : "X86\"");
  size_t count = 0;  // its own identity and the common controls it asks for
  for (size_t at = 0; (at = manifest.find(named, at)) != std::string::npos; ++at) ++count;
  EXPECT_EQ(count, 2u) << named;
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Built, StubResources, ::testing::ValuesIn(InspectedStubPaths()),
                         [](const ::testing::TestParamInfo<std::string> &info) {
                           return info.index == 0 ? "ThisBuild" : "ShippedI686";
                         });

}  // namespace
}  // namespace quenrid::test
