#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "removal/font_name.h"
#include "temp_file.h"
#include "truetype_file.h"

namespace quenrid::test {
namespace {

const FontName kMacFull{kMacintosh, kFullName, "Quenrid Sans"};

class FontNameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = MakeTempFile("/tmp/quenrid-font-XXXXXX");
  }
  void TearDown() override { std::remove(path_.c_str()); }

  // Reads the name of a file holding `bytes` into a heap buffer of exactly
  // `size` bytes, filled beforehand, so that ASan sees any write past it.
  std::string Read(const std::string &bytes, uint32_t size = 64) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
    return ReadPath(path_.c_str(), size);
  }

  static std::string ReadPath(const char *path, uint32_t size) {
    std::vector<char> name(size, 'x');
    ReadFontFullName(path, name.data(), size);
    const char *end = static_cast<const char *>(memchr(name.data(), 0, size));
    if (!end) {
      ADD_FAILURE() << "name left without its zero byte";
      return "<unterminated>";
    }
    return std::string(name.data(), static_cast<size_t>(end - name.data()));
  }

  std::string path_;
};

struct LayoutCase {
  const char *what;
  FontLayout layout;
  uint32_t size;
  std::string expected;
};

TEST_F(FontNameTest, FindsTheLastMacintoshFullNameOfTheFirstFortyTables) {
  const LayoutCase cases[] = {
      {"Macintosh full name", {{kMacFull}}, 64, "Quenrid Sans"},
      {"Windows full name only", {{{kWindows, kFullName, "Quenrid Sans"}}}, 64, ""},
      {"Macintosh family name only", {{{kMacintosh, kFamilyName, "Quenrid"}}}, 64, ""},
      {"later of two Macintosh full names",
       {{{kMacintosh, kFullName, "English"}, {kWindows, kFullName, "Windows"},
         {kMacintosh, kFullName, "Deutsch"}}},
       64, "Deutsch"},
      {"later Windows full name", {{kMacFull, {kWindows, kFullName, "Windows"}}}, 64,
       "Quenrid Sans"},
      {"'name' as table record 40", {{kMacFull}, 40, 39}, 64, "Quenrid Sans"},
      {"'name' as table record 41", {{kMacFull}, 41, 40}, 64, ""},
      {"numTables 0", {{kMacFull}, 1, 0, 0}, 64, ""},
      {"numTables short of 'name'", {{kMacFull}, 3, 2, 2}, 64, ""},
      {"name count 0", {{kMacFull}, 1, 0, -1, 0}, 64, ""},
      {"name count past the records", {{kMacFull}, 1, 0, -1, 500}, 64, "Quenrid Sans"},
      {"name that just fits", {{{kMacintosh, kFullName, "1234567"}}}, 8, "1234567"},
      {"name one byte too long", {{{kMacintosh, kFullName, "12345678"}}}, 8, ""},
      {"name with a zero byte inside", {{{kMacintosh, kFullName, std::string("Arial\0x", 7)}}},
       64, ""},
      {"over-long later name",
       {{{kMacintosh, kFullName, "Short"}, {kMacintosh, kFullName, "Much longer"}}}, 8, "Short"},
  };
  for (const LayoutCase &c : cases) {
    EXPECT_EQ(Read(BuildFont(c.layout), c.size), c.expected) << c.what;
  }
}

TEST_F(FontNameTest, EveryTruncationOfAFontGivesNoName) {
  const std::string font = BuildFont({{kMacFull}});
  for (size_t length = 0; length < font.size(); ++length) {
    EXPECT_EQ(Read(font.substr(0, length)), "") << length;
  }
  EXPECT_EQ(Read(font), kMacFull.text);
  EXPECT_EQ(ReadPath("/nonexistent/quenrid/font.ttf", 64), "");
}

TEST_F(FontNameTest, AStringThatCannotBeReadWholeEndsTheSearch) {
  const std::string font = BuildFont({{{kMacintosh, kFullName, "First"},
                                       {kMacintosh, kFullName, "Second"},
                                       {kMacintosh, kFullName, "Third"}}});
  EXPECT_EQ(Read(font.substr(0, font.size() - 1)), "Second");
  std::string outside = font;
  outside.replace(12 + 16 + 6 + 12 + 10, 2, Be16(0xFFFF));  // the second string's offset
  EXPECT_EQ(Read(outside), "First");
}

// One field of the single-name font replaced: where it lies and what it holds.
struct Damage {
  const char *what;
  size_t at;
  std::string bytes;
};

TEST_F(FontNameTest, OffsetsAndLengthsPointingOutsideTheFileGiveNoName) {
  const std::string font = BuildFont({{kMacFull}});
  const uint32_t last = static_cast<uint32_t>(font.size() - 1);
  const Damage cases[] = {
      {"table offset past the end", 20, Be32(0xFFFFFFF0)},
      {"naming header cut by the end", 20, Be32(last)},
      {"string storage past the end", 32, Be16(0xFFFF)},
      {"string offset past the end", 44, Be16(0xFFFF)},
      {"string length one past the end", 42, Be16(13)},
  };
  for (const Damage &c : cases) {
    std::string damaged = font;
    damaged.replace(c.at, c.bytes.size(), c.bytes);
    EXPECT_EQ(Read(damaged, 0x10000), "") << c.what;
  }
}

}  // namespace
}  // namespace quenrid::test
