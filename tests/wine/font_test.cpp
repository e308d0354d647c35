// RemoveFont against the registry of the wine prefix, with registrations of a
// font name of the test's own in both families' keys, and a top-level window
// of the test's own that counts the WM_FONTCHANGE broadcasts it receives.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../host/truetype_file.h"
#include "data/state.h"
#include "harness.h"
#include "removal/fonts.h"

namespace quenrid::test {
namespace {

const char kNtFontsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const char kWindowsFontsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
const char kWindowClass[] = "QuenridFontChangeCounter";

int fontChanges;

LRESULT CALLBACK CountFontChanges(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_FONTCHANGE) ++fontChanges;
  return DefWindowProcA(window, message, wParam, lParam);
}

std::string Registration(const std::string &fullName) { return fullName + " (TrueType)"; }

// One family's font key, created for the test when the prefix lacks it and
// then deleted again with the values the test put there.
struct FontKey {
  const char *path;
  HKEY key = nullptr;
  bool created = false;
  std::vector<std::string> values;
};

class FontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedIsNt_ = IsNtPlatform;
    name_ = "Quenrid Test Font " + std::to_string(GetCurrentProcessId());
    for (FontKey &k : keys_) {
      DWORD disposition = 0;
      ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, k.path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &k.key, &disposition),
                ERROR_SUCCESS);
      k.created = disposition == REG_CREATED_NEW_KEY;
    }
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = CountFontChanges;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    window_ = CreateWindowA(kWindowClass, "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                            windowClass.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
  }

  void TearDown() override {
    IsNtPlatform = savedIsNt_;
    if (window_) DestroyWindow(window_);
    UnregisterClassA(kWindowClass, GetModuleHandleA(nullptr));
    for (FontKey &k : keys_) {
      if (!k.key) continue;
      for (const std::string &value : k.values) RegDeleteValueA(k.key, value.c_str());
      RegCloseKey(k.key);
      if (k.created) {
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, k.path), ERROR_SUCCESS);
      }
    }
  }

  // Registers each full name in both families' keys.
  void Register(const std::vector<std::string> &fullNames) {
    for (FontKey &k : keys_) {
      for (const std::string &fullName : fullNames) {
        const std::string value = Registration(fullName);
        ASSERT_EQ(RegSetValueExA(k.key, value.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE *>("quenrid.ttf"), 12),
                  ERROR_SUCCESS);
        k.values.push_back(value);
      }
    }
  }

  bool Registered(int family, const std::string &fullName) {
    return RegQueryValueExA(keys_[family].key, Registration(fullName).c_str(), nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS;
  }

  // RemoveFont, then the pending messages handled; returns the broadcasts seen.
  int RemoveFontCounting(const std::string &path) {
    fontChanges = 0;
    RemoveFont(path.c_str());
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    return fontChanges;
  }

  static constexpr int kNtKey = 0, kWindowsKey = 1;
  FontKey keys_[2] = {{kNtFontsKey, nullptr, false, {}}, {kWindowsFontsKey, nullptr, false, {}}};
  std::string name_;
  TestFolder folder_;
  HWND window_ = nullptr;
  bool savedIsNt_ = false;
};

TEST_F(FontTest, DeletesTheFullNamesValueFromTheRunningFamilysKeyOnly) {
  const std::string font = folder_ / "font.ttf";
  WriteBinaryFile(font, BuildFont({{{kMacintosh, kFullName, name_}}}));
  for (const int running : {kNtKey, kWindowsKey}) {
    SCOPED_TRACE(running == kNtKey ? "NT" : "9x");
    IsNtPlatform = running == kNtKey;
    Register({name_, name_ + " Bold"});
    EXPECT_EQ(RemoveFontCounting(font), 1);
    EXPECT_FALSE(Registered(running, name_));
    EXPECT_TRUE(Registered(1 - running, name_));
    EXPECT_TRUE(Registered(kNtKey, name_ + " Bold"));
    EXPECT_TRUE(Registered(kWindowsKey, name_ + " Bold"));
  }
}

// The longest name the reader accepts still takes the suffix; one byte more
// and the name is ignored, as if the record were not there, never cut short.
TEST_F(FontTest, ANameIsUsedWholeOrNotAtAll) {
  const size_t room = FONT_NAME_BUFFER_SIZE - sizeof " (TrueType)";  // 508
  const std::string longest = name_ + std::string(room - name_.size(), 'x');
  const std::string tooLong = longest + "x";
  IsNtPlatform = true;
  struct Case {
    const char *what;
    std::string file;  // empty: no file at all
    std::string deleted;
  } cases[] = {
      {"name too long for the suffix", BuildFont({{{kMacintosh, kFullName, tooLong}}}), ""},
      {"earlier name, then one too long",
       BuildFont({{{kMacintosh, kFullName, name_}, {kMacintosh, kFullName, tooLong}}}), name_},
      {"Windows full name only", BuildFont({{{kWindows, kFullName, name_}}}), ""},
      {"no font file", "", ""},
      {"longest name", BuildFont({{{kMacintosh, kFullName, longest}}}), longest},
  };
  const std::string font = folder_ / "font.ttf";
  for (const Case &c : cases) {
    Register({name_, longest});
    DeleteFileA(font.c_str());
    if (!c.file.empty()) WriteBinaryFile(font, c.file);
    EXPECT_EQ(RemoveFontCounting(font), 1) << c.what;
    EXPECT_EQ(Registered(kNtKey, name_), c.deleted != name_) << c.what;
    EXPECT_EQ(Registered(kNtKey, longest), c.deleted != longest) << c.what;
  }
}

}  // namespace
}  // namespace quenrid::test
