// The resources of every stub this tree inspects (in an x86-64 tree also the
// shipped i686 one), read back as data: what the code loads or addresses must
// be there and usable, whatever its layout.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "resources/resource.h"

namespace quenrid::test {
namespace {

class StubResources : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    InitCommonControls();  // the progress bar's class
    module_ = LoadLibraryExA(GetParam().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << GetParam();
  }
  void TearDown() override { FreeLibrary(module_); }

  BYTE *Resource(WORD id, LPCSTR type, DWORD *size = nullptr) {
    HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
    if (found && size) *size = SizeofResource(module_, found);
    return found ? static_cast<BYTE *>(LockResource(LoadResource(module_, found))) : nullptr;
  }

  HMODULE module_ = nullptr;
};

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Each template makes a dialog that holds every control the code sets or
// presses, the question answers Enter with Yes, and the templates carry no
// text of their own: what the user reads comes from the data.
TEST_P(StubResources, TemplatesMakeDialogsWithTheControlsTheCodeAddresses) {
  const struct {
    WORD dialog;
    std::vector<int> controls;
    int defaultId;
  } templates[] = {
      {IDD_QUESTION, {IDC_MESSAGE_TEXT, IDYES, IDC_YES_TO_ALL, IDNO, IDC_NO_TO_ALL}, IDYES},
      {IDD_PROGRESS, {IDC_MESSAGE_TEXT, IDC_PROGRESS_BAR}, 0},
  };
  for (const auto &t : templates) {
    SCOPED_TRACE("dialog " + std::to_string(t.dialog));
    const auto *bytes = reinterpret_cast<DLGTEMPLATE *>(Resource(t.dialog, RT_DIALOG));
    ASSERT_NE(bytes, nullptr);
    HWND dialog =
        CreateDialogIndirectParamA(GetModuleHandleA(nullptr), bytes, nullptr, NoDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    for (int id : t.controls) {
      char text[64] = "";
      ASSERT_NE(GetDlgItem(dialog, id), nullptr) << "control " << id;
      GetDlgItemTextA(dialog, id, text, sizeof text);
      EXPECT_TRUE(id == IDC_PROGRESS_BAR || !text[0]) << "control " << id << ": " << text;
    }
    EXPECT_TRUE(!t.defaultId || SendMessageA(dialog, DM_GETDEFID, 0, 0) ==
                                    MAKELONG(t.defaultId, DC_HASDEFID));
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, 40, 0);
    EXPECT_TRUE(!GetDlgItem(dialog, IDC_PROGRESS_BAR) ||
                SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0) == 40)
        << "not a progress bar";
    DestroyWindow(dialog);
  }
}

// The icon images are hand-packed 16-colour bitmaps, which a wrong field would
// make unreadable: the system must make an icon of both sizes from them.
// Without the manifest's administrator request a removal fails half-way; an
// architecture other than the image's keeps the program from starting.
TEST_P(StubResources, IconLoadsAtBothSizesAndTheManifestFitsTheImage) {
  BYTE *group = Resource(IDI_MAIN, RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  for (int size : {32, 16}) {
    DWORD length = 0;
    const int id = LookupIconIdFromDirectoryEx(group, TRUE, size, size, LR_DEFAULTCOLOR);
    BYTE *image = Resource(static_cast<WORD>(id), RT_ICON, &length);
    ASSERT_NE(image, nullptr) << size;
    HICON icon = CreateIconFromResourceEx(image, length, TRUE, 0x00030000, size, size, 0);
    ICONINFO info{};
    ASSERT_TRUE(icon && GetIconInfo(icon, &info)) << size;
    BITMAP bitmap{};
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }

  DWORD size = 0;
  const char *bytes = reinterpret_cast<char *>(Resource(1, RT_MANIFEST, &size));
  ASSERT_NE(bytes, nullptr);
  const std::string manifest(bytes, size), image = ReadBinaryFile(GetParam());
  LONG header = 0;
  WORD machine = 0;
  std::memcpy(&header, &image[0x3C], 4);
  std::memcpy(&machine, &image[header + 4], 2);
  const std::string named = std::string("processorArchitecture=\"") +
                            (machine == IMAGE_FILE_MACHINE_I386    ? "X86\""
                             : machine == IMAGE_FILE_MACHINE_AMD64 ? "amd64\""
                                                                   : "?\"");
  // Its own identity and the common controls it asks for.
  size_t count = 0;
  for (size_t at = manifest.find(named); at != std::string::npos; at = manifest.find(named, at + 1)) {
    ++count;
  }
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
