// The stub's dialogs and progress in-process, with its own templates (what
// they show and how each answer acts: the scenario rows); and the icon and
// manifest of every stub this tree inspects (in an x86-64 tree also the
// shipped i686 one), read back as data.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "app/main_flow.h"
#include "data/uninstall_data.h"
#include "harness.h"
#include "resources/resource.h"
#include "ui/ui.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

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
    ICONINFO info{};
    BITMAP bitmap{};
    ASSERT_TRUE(icon && GetIconInfo(icon, &info)) << side;
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, side);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }

  // Without the administrator request a removal fails half-way; an
  // architecture other than the image's keeps the program from starting.
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST);
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char *>(LockResource(LoadResource(module, found))),
                             SizeofResource(module, found));
  const std::string image = ReadBinaryFile(GetParam());
  FreeLibrary(module);
  LONG header = 0;
  WORD machine = 0;
  std::memcpy(&header, &image[0x3C], 4);
  std::memcpy(&machine, &image[header + 4], 2);
  const std::string named =
      std::string("processorArchitecture=\"") + (machine == IMAGE_FILE_MACHINE_I386    ? "X86\""
                                                 : machine == IMAGE_FILE_MACHINE_AMD64 ? "amd64\""
                                                                                       : "?\"");
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
