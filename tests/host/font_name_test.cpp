// The font phase's TrueType name reader on files built to order: which name
// it finds, and that no damage makes it read or write outside its buffers.
#include "removal/font_name.h"

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "block_file.h"
#include "truetype_file.h"

namespace quenrid::test {
namespace {

const FontName kMacFull{kMacintosh, kFullName, "Quenrid Sans"};

// The name read from a file of `bytes` (or from `path`) into a heap buffer of
// exactly `size` bytes, filled beforehand, so that ASan sees any access past it.
std::string ReadName(const std::string &bytes, uint32_t size = 64, const char *path = nullptr) {
  static const std::string file = MakeTempFile("/tmp/quenrid-font-XXXXXX");
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  std::vector<char> name(size, 'x');
  ReadFontFullName(path ? path : file.c_str(), name.data(), size);
  const void *end = memchr(name.data(), 0, size);
  EXPECT_NE(end, nullptr) << "name left without its zero byte";
  return end ? std::string(name.data()) : "<unterminated>";
}

TEST(FontName, FindsTheLastMacintoshFullNameOfTheFirstFortyTables) {
  const struct {
    const char *what;
    FontLayout layout;
    uint32_t size;
    std::string expected;
  } cases[] = {
      {"Macintosh full name", {{kMacFull}}, 64, "Quenrid Sans"},
      {"Windows full name only", {{{kWindows, kFullName, "Quenrid Sans"}}}, 64, ""},
      {"Macintosh family name only", {{{kMacintosh, kFamilyName, "Quenrid"}}}, 64, ""},
      {"later of two Macintosh full names",
       {{{kMacintosh, kFullName, "English"}, {kWindows, kFullName, "W"},
         {kMacintosh, kFullName, "Deutsch"}}},
       64, "Deutsch"},
      {"'name' as table record 40", {{kMacFull}, 40, 39}, 64, "Quenrid Sans"},
      {"'name' as table record 41", {{kMacFull}, 41, 40}, 64, ""},
      {"numTables 0", {{kMacFull}, 1, 0, 0}, 64, ""},
      {"numTables short of 'name'", {{kMacFull}, 3, 2, 2}, 64, ""},
      {"name count 0", {{kMacFull}, 1, 0, -1, 0}, 64, ""},
      {"name count past the records", {{kMacFull}, 1, 0, -1, 500}, 64, "Quenrid Sans"},
      {"name that just fits", {{{kMacintosh, kFullName, "1234567"}}}, 8, "1234567"},
      {"name one byte too long", {{{kMacintosh, kFullName, "12345678"}}}, 8, ""},
      {"zero byte inside", {{{kMacintosh, kFullName, std::string("Arial\0x", 7)}}}, 64, ""},
      {"over-long later name",
       {{{kMacintosh, kFullName, "Short"}, {kMacintosh, kFullName, "Much longer"}}}, 8, "Short"},
  };
  for (const auto &c : cases) EXPECT_EQ(ReadName(BuildFont(c.layout), c.size), c.expected) << c.what;
  EXPECT_EQ(ReadName("", 64, "/nonexistent/quenrid/font.ttf"), "");
}

TEST(FontName, DamageOutsideTheFileGivesNoName) {
  const std::string font = BuildFont({{kMacFull}});
  for (size_t length = 0; length < font.size(); ++length) {
    EXPECT_EQ(ReadName(font.substr(0, length)), "") << "cut to " << length;
  }
  // One field replaced: where it lies and what it holds.
  const struct {
    const char *what;
    size_t at;
    std::string bytes;
  } cases[] = {
      {"table offset past the end", 20, Be32(0xFFFFFFF0)},
      {"naming header cut by the end", 20, Be32(static_cast<uint32_t>(font.size() - 1))},
      {"string storage past the end", 32, Be16(0xFFFF)},
      {"string offset past the end", 44, Be16(0xFFFF)},
      {"string length one past the end", 42, Be16(13)},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(ReadName(std::string(font).replace(c.at, c.bytes.size(), c.bytes), 0x10000), "")
        << c.what;
  }
  // A string that cannot be read whole ends the search; earlier names stand.
  const std::string three = BuildFont({{{kMacintosh, kFullName, "First"},
                                        {kMacintosh, kFullName, "Second"},
                                        {kMacintosh, kFullName, "Third"}}});
  EXPECT_EQ(ReadName(three.substr(0, three.size() - 1)), "Second");
  EXPECT_EQ(ReadName(std::string(three).replace(12 + 16 + 6 + 12 + 10, 2, Be16(0xFFFF))), "First");
}

}  // namespace
}  // namespace quenrid::test
