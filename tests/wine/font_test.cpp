// RemoveFont against the prefix's registry: the full name read from the font
// file picks the registration to delete, in the running family's key only,
// and every top-level window hears of it once.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../host/truetype_file.h"
#include "harness.h"
#include "process_state.h"
#include "removal/fonts.h"

namespace quenrid::test {
namespace {

const char *const kFontKeys[] = {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",  // NT
                                 "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts"};    // 9x
int fontChanges;

LRESULT CALLBACK CountFontChanges(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_FONTCHANGE) ++fontChanges;
  return DefWindowProcA(window, message, wParam, lParam);
}

class FontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int family : {0, 1}) {
      DWORD disposition = 0;
      ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kFontKeys[family], 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &keys_[family], &disposition),
                ERROR_SUCCESS);
      created_[family] = disposition == REG_CREATED_NEW_KEY;
    }
    WNDCLASSA windowClass{0, CountFontChanges, 0, 0, GetModuleHandleA(nullptr), nullptr,
                          nullptr, nullptr, nullptr, "QuenridFontChangeCounter"};
    RegisterClassA(&windowClass);
    window_ = CreateWindowA(windowClass.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                            nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
  }

  void TearDown() override {
    DestroyWindow(window_);
    for (int family : {0, 1}) {
      for (const std::string &name : names_) RegDeleteValueA(keys_[family], Value(name).c_str());
      RegCloseKey(keys_[family]);
      EXPECT_TRUE(!created_[family] ||
                  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kFontKeys[family]) == ERROR_SUCCESS);
    }
  }

  static std::string Value(const std::string &name) { return name + " (TrueType)"; }

  ProcessState state_;
  TestFolder folder_;
  HKEY keys_[2] = {};
  bool created_[2] = {};
  HWND window_ = nullptr;
  // A font name of this process's own; the longest one that still takes the
  // suffix in the reader's buffer.
  const std::string name_ = "Quenrid Test Font " + std::to_string(GetCurrentProcessId());
  const std::string longest_ =
      name_ + std::string(FONT_NAME_BUFFER_SIZE - sizeof " (TrueType)" - name_.size(), 'x');
  const std::vector<std::string> names_ = {name_, name_ + " Bold", longest_};
};

// A name is used whole or not at all: one byte too long and the record is
// ignored as if it were not there, never cut short to another font's name.
TEST_F(FontTest, DeletesOnlyTheRegistrationOfTheNameInTheFile) {
  const std::string tooLong = longest_ + "x";
  const struct {
    const char *what;
    bool nt;
    FontLayout file;  // no records: no file at all
    std::string deleted;
  } cases[] = {
      {"NT", true, {{{kMacintosh, kFullName, name_}}}, name_},
      {"9x", false, {{{kMacintosh, kFullName, name_}}}, name_},
      {"longest name", true, {{{kMacintosh, kFullName, longest_}}}, longest_},
      {"name too long for the suffix", true, {{{kMacintosh, kFullName, tooLong}}}, ""},
      {"earlier name, then one too long", true,
       {{{kMacintosh, kFullName, name_}, {kMacintosh, kFullName, tooLong}}}, name_},
      {"Windows full name only", true, {{{kWindows, kFullName, name_}}}, ""},
      {"no font file", true, {}, ""},
  };
  const std::string font = folder_ / "font.ttf";
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    for (HKEY key : keys_) {
      for (const std::string &name : names_) {
        RegSetValueExA(key, Value(name).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE *>("quenrid.ttf"), 12);
      }
    }
    DeleteFileA(font.c_str());
    if (!c.file.names.empty()) WriteBinaryFile(font, BuildFont(c.file));
    IsNtPlatform = c.nt;
    fontChanges = 0;
    RemoveFont(font.c_str());
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    EXPECT_EQ(fontChanges, 1);
    for (int family : {0, 1}) {
      for (const std::string &name : names_) {
        const bool registered = RegQueryValueExA(keys_[family], Value(name).c_str(), nullptr,
                                                 nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        EXPECT_EQ(registered, name != c.deleted || family != (c.nt ? 0 : 1))
            << name.substr(0, 40) << " in key " << family;
      }
    }
  }
}

}  // namespace
}  // namespace quenrid::test
