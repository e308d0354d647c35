// The stub's resources, read back from the built executable: the two dialog
// templates control by control, the icon group and the manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "resources/resource.h"

namespace quenrid::test {
namespace {

struct Item {
  DWORD style;
  short x, y, cx, cy;
  WORD id;
  std::wstring windowClass;  // a predefined class is "#" and its atom
  std::wstring text;
};

struct Dialog {
  DWORD style;
  short x, y, cx, cy;
  std::wstring caption;
  WORD pointSize;
  std::wstring face;
  std::vector<Item> items;
};

// Reads the old-style template format: fixed fields, then ordinals or
// NUL-terminated UTF-16 strings, each item aligned to four bytes.
class TemplateReader {
 public:
  explicit TemplateReader(const BYTE *at) : base_(at), at_(at) {}
  WORD Word() {
    WORD v;
    std::memcpy(&v, at_, 2);
    at_ += 2;
    return v;
  }
  DWORD Dword() { return Word() | static_cast<DWORD>(Word()) << 16; }
  short Short() { return static_cast<short>(Word()); }
  std::wstring String() {
    std::wstring s;
    for (WORD c = Word(); c; c = Word()) s.push_back(static_cast<wchar_t>(c));
    return s;
  }
  std::wstring StringOrOrdinal() {
    WORD first;
    std::memcpy(&first, at_, 2);
    if (first != 0xFFFF) return String();
    Word();
    return L"#" + std::to_wstring(Word());
  }
  void AlignDword() { at_ = base_ + ((at_ - base_ + 3) & ~3); }

 private:
  const BYTE *base_;
  const BYTE *at_;
};

const BYTE *LockedResource(HMODULE module, WORD id, WORD type, DWORD *size = nullptr) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type));
  if (!found) return nullptr;
  if (size) *size = SizeofResource(module, found);
  return static_cast<const BYTE *>(LockResource(LoadResource(module, found)));
}

Dialog ReadDialog(TemplateReader r) {
  Dialog d{};
  d.style = r.Dword();
  EXPECT_EQ(r.Dword(), 0u) << "extended style";
  WORD count = r.Word();
  d.x = r.Short();
  d.y = r.Short();
  d.cx = r.Short();
  d.cy = r.Short();
  EXPECT_EQ(r.StringOrOrdinal(), L"") << "menu";
  EXPECT_EQ(r.StringOrOrdinal(), L"") << "class";
  d.caption = r.String();
  d.pointSize = r.Word();
  d.face = r.String();
  for (WORD i = 0; i < count; ++i) {
    r.AlignDword();
    Item item{};
    item.style = r.Dword();
    EXPECT_EQ(r.Dword(), 0u) << "extended style of item " << i;
    item.x = r.Short();
    item.y = r.Short();
    item.cx = r.Short();
    item.cy = r.Short();
    item.id = r.Word();
    item.windowClass = r.StringOrOrdinal();
    item.text = r.StringOrOrdinal();
    EXPECT_EQ(r.Word(), 0u) << "creation data of item " << i;
    d.items.push_back(item);
  }
  return d;
}

struct Expected {
  WORD id;
  const wchar_t *windowClass;
  DWORD style;
  short x, y, cx, cy;
  const wchar_t *text;
};

void ExpectItem(const Item &item, const Expected &e) {
  SCOPED_TRACE("control " + std::to_string(e.id));
  EXPECT_EQ(item.id, e.id);
  // Class names are case-insensitive; the resource compiler upper-cases them.
  EXPECT_EQ(_wcsicmp(item.windowClass.c_str(), e.windowClass), 0) << "class";
  EXPECT_EQ(item.style, e.style);
  EXPECT_EQ(item.x, e.x);
  EXPECT_EQ(item.y, e.y);
  EXPECT_EQ(item.cx, e.cx);
  EXPECT_EQ(item.cy, e.cy);
  EXPECT_EQ(item.text, e.text);
}

// Every stub that this tree inspects: a 64-bit tree reads the shipped i686
// stub as data too.
class StubResources : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA(GetParam().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << GetParam();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  // The dialog's own fields, common to both templates, and its controls.
  void ExpectDialog(WORD id, DWORD style, const std::vector<Expected> &controls) {
    SCOPED_TRACE("dialog " + std::to_string(id));
    const BYTE *bytes = LockedResource(module_, id, 5);  // RT_DIALOG
    ASSERT_NE(bytes, nullptr);
    Dialog d = ReadDialog(TemplateReader(bytes));
    EXPECT_EQ(d.style, style);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.cx, 257);
    EXPECT_EQ(d.cy, 73);
    EXPECT_EQ(d.caption, L"");
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.face, L"Arial");
    ASSERT_EQ(d.items.size(), controls.size());
    for (size_t i = 0; i < controls.size(); ++i) ExpectItem(d.items[i], controls[i]);
  }

  HMODULE module_ = nullptr;
};

const wchar_t kButton[] = L"#128";
const wchar_t kStatic[] = L"#130";

TEST_P(StubResources, QuestionDialogHasItsControlsInTabOrder) {
  ExpectDialog(IDD_QUESTION, 0x80C800C0,
               {{IDYES, kButton, 0x50010001, 20, 52, 50, 14, L""},
                {IDC_YES_TO_ALL, kButton, 0x50010000, 75, 52, 50, 14, L""},
                {IDC_MESSAGE_TEXT, kStatic, 0x50020000, 7, 7, 243, 36, L""},
                {IDNO, kButton, 0x50010000, 130, 52, 50, 14, L""},
                {IDC_NO_TO_ALL, kButton, 0x50010000, 186, 52, 50, 14, L""}});
}

TEST_P(StubResources, ProgressDialogIsVisibleWithTextAndBar) {
  ExpectDialog(IDD_PROGRESS, 0x90C800C0,
               {{IDC_MESSAGE_TEXT, kStatic, 0x50020080, 7, 24, 243, 8, L""},
                {IDC_PROGRESS_BAR, L"msctls_progress32", 0x50000000, 7, 38, 243, 12,
                 L"Progress1"}});
}

// The architecture the manifest must name for its common controls: the one
// of the image's own machine field.
std::string ManifestArchitecture(const std::string &stubPath) {
  const std::string bytes = ReadBinaryFile(stubPath);
  LONG header = 0;
  WORD machine = 0;
  if (bytes.size() >= 0x40) std::memcpy(&header, bytes.data() + 0x3C, 4);
  if (header > 0 && bytes.size() >= static_cast<size_t>(header) + 6) {
    std::memcpy(&machine, bytes.data() + header + 4, 2);
  }
  if (machine == IMAGE_FILE_MACHINE_I386) return "X86";
  if (machine == IMAGE_FILE_MACHINE_AMD64) return "amd64";
  return "machine " + std::to_string(machine);
}

size_t Occurrences(const std::string &text, const std::string &part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_P(StubResources, IconGroupAndManifestArePresent) {
  EXPECT_NE(LockedResource(module_, IDI_MAIN, 14), nullptr);  // RT_GROUP_ICON
  DWORD size = 0;
  const BYTE *bytes = LockedResource(module_, 1, 24, &size);  // RT_MANIFEST
  ASSERT_NE(bytes, nullptr);
  std::string manifest(reinterpret_cast<const char *>(bytes), size);
  for (const char *part : {"name=\"UninstallProgram\"",
                           "<description>Uninstall Program</description>",
                           "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                           "level=\"requireAdministrator\""}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
  // Its own identity and the common controls both name the image's machine.
  const std::string named = "processorArchitecture=\"" + ManifestArchitecture(GetParam()) + "\"";
  EXPECT_EQ(Occurrences(manifest, "processorArchitecture="), 2u);
  EXPECT_EQ(Occurrences(manifest, named), 2u) << named;
}

// The icon group names an image for each of the two sizes, and the system
// makes an icon of that size from it: the images are hand-packed 16-colour
// bitmaps, which a wrong field would make unreadable.
TEST_P(StubResources, IconImagesLoadAtBothSizes) {
  BYTE *group = const_cast<BYTE *>(LockedResource(module_, IDI_MAIN, 14));  // RT_GROUP_ICON
  ASSERT_NE(group, nullptr);
  for (int size : {32, 16}) {
    SCOPED_TRACE("size " + std::to_string(size));
    const int id = LookupIconIdFromDirectoryEx(group, TRUE, size, size, LR_DEFAULTCOLOR);
    DWORD length = 0;
    BYTE *image = const_cast<BYTE *>(LockedResource(module_, static_cast<WORD>(id), 3, &length));
    ASSERT_NE(image, nullptr);  // RT_ICON
    HICON icon = CreateIconFromResourceEx(image, length, TRUE, 0x00030000, size, size, 0);
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap{};
    EXPECT_TRUE(GetObjectA(info.hbmColor, sizeof bitmap, &bitmap));
    EXPECT_EQ(bitmap.bmWidth, size);
    EXPECT_EQ(bitmap.bmHeight, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

INSTANTIATE_TEST_SUITE_P(Built, StubResources, ::testing::ValuesIn(InspectedStubPaths()),
                         [](const ::testing::TestParamInfo<std::string> &info) {
                           return info.index == 0 ? "ThisBuild" : "ShippedI686";
                         });

}  // namespace
}  // namespace quenrid::test
