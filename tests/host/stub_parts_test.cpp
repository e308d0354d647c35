// Parts of the stub that need no Windows: the switch grammar, and the font
// phase's TrueType name reader, which no damage makes read or write outside
// its buffers.
#include <cstring>

#include "app/switches.h"
#include "block_file.h"
#include "removal/font_name.h"
#include "truetype_file.h"

namespace quenrid::test {
namespace {

// The name read from a file of `bytes` (or from `path`) into a heap buffer of
// exactly `size` bytes, filled beforehand, so that ASan sees any access past it.
std::string ReadName(const std::string &file, const std::string &bytes, uint32_t size = 64,
                     const char *path = nullptr) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  std::vector<char> name(size, 'x');
  ReadFontFullName(path ? path : file.c_str(), name.data(), size);
  return memchr(name.data(), 0, size) ? name.data() : "<no terminating zero>";
}

using FontNameTest = BlockFileTest;  // for its temporary file

TEST_F(FontNameTest, FindsTheLastMacintoshFullNameOfTheFirstFortyTables) {
  const auto mac = [](const std::string &text) { return FontName{kMacintosh, kFullName, text}; };
  const FontName sans = mac("Quenrid Sans");
  const struct {
    FontLayout layout;
    uint32_t size;
    std::string expected;
  } cases[] = {
      {{{sans}}, 64, "Quenrid Sans"},
      {{{{kWindows, kFullName, "Win"}}}, 64, ""},
      {{{{kMacintosh, kFamilyName, "Quenrid"}}}, 64, ""},
      {{{mac("1st"), {kWindows, kFullName, "W"}, mac("2nd")}}, 64, "2nd"},
      {{{sans}, 40, 39}, 64, "Quenrid Sans"},  // 'name' as table record 40, then 41
      {{{sans}, 41, 40}, 64, ""},
      {{{sans}, 1, 0, 0}, 64, ""},  // numTables 0, then short of 'name'
      {{{sans}, 3, 2, 2}, 64, ""},
      {{{sans}, 1, 0, -1, 0}, 64, ""},  // name count 0, then past the records
      {{{sans}, 1, 0, -1, 500}, 64, "Quenrid Sans"},
      {{{mac("1234567")}}, 8, "1234567"},  // fits, then one byte too long
      {{{mac("12345678")}}, 8, ""},
      {{{mac(std::string("Arial\0x", 7))}}, 64, ""},
      {{{mac("Short"), mac("Much longer")}}, 8, "Short"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(ReadName(path_, BuildFont(c.layout), c.size), c.expected) << "row " << &c - cases;
  }
  EXPECT_EQ(ReadName(path_, "", 64, "/nonexistent/quenrid/font.ttf"), "");

  // Cut anywhere, or a field pointing outside the file: no name.
  const std::string font = BuildFont({{sans}});
  for (size_t length = 0; length < font.size(); ++length) {
    EXPECT_EQ(ReadName(path_, font.substr(0, length)), "") << "cut to " << length;
  }
  const std::pair<size_t, std::string> damage[] = {
      {20, Be32(0xFFFFFFF0)},                              // table offset
      {20, Be32(static_cast<uint32_t>(font.size() - 1))},  // naming header cut by the end
      {32, Be16(0xFFFF)},                                  // string storage
      {44, Be16(0xFFFF)},                                  // string offset
      {42, Be16(13)},                                      // string length, one past the end
  };
  for (const auto &[at, bytes] : damage) {
    EXPECT_EQ(ReadName(path_, std::string(font).replace(at, bytes.size(), bytes), 1 << 16), "");
  }
  // A string that cannot be read whole ends the search; earlier names stand.
  const std::string three = BuildFont({{mac("First"), mac("Second"), mac("Third")}});
  EXPECT_EQ(ReadName(path_, three.substr(0, three.size() - 1)), "Second");
  const size_t secondOffset = 12 + 16 + 6 + 12 + 10;
  EXPECT_EQ(ReadName(path_, std::string(three).replace(secondOffset, 2, Be16(0xFFFF))), "First");
}

TEST(Switches, EachLineSetsExactlyItsSwitches) {
  const struct {
    const char *line;
    bool quiet, s, x, n;
  } lines[] = {
      {nullptr, 0, 0, 0, 0},   {"   ", 0, 0, 0, 0},    {"/q", 1, 0, 0, 0},     {"-Q", 1, 0, 0, 0},
      {"/Silent", 1, 1, 0, 0}, {"/Q/X", 1, 0, 1, 0},   {"  -x -s", 1, 1, 1, 0}, {"/S    /x", 1, 1, 1, 0},
      {"/?", 0, 0, 0, 0},      {"/", 0, 0, 0, 0},      {"/Q -", 1, 0, 0, 0},   {"/Q /", 1, 0, 0, 0},
      {"/QS", 1, 0, 0, 0},                                   // the rest of a word is skipped
      {"foo /S", 0, 0, 0, 0},  {"/Q file /S", 1, 0, 0, 0},  // a word that is no switch ends them
      {"/A /B /s", 1, 1, 0, 0},                              // unknown letters are ignored
      {"/ q", 0, 0, 0, 0},     // the blank is the letter; "q" is its word
      {"--s", 0, 0, 0, 0},     {"-/s", 0, 0, 0, 0},  // "-" is the letter; "s" is its word
      {"\t/S", 0, 0, 0, 0},    // only the blank counts as white space
      {"/\xe9 /x", 1, 0, 1, 0},  // a letter outside a to z is no switch
      {"/n", 0, 0, 0, 1},      {"/S /NoQuestions", 1, 1, 0, 1}, {"-q-N", 1, 0, 0, 1},
  };
  for (const auto &l : lines) {
    const SwitchSet found = ParseSwitches(l.line);
    EXPECT_TRUE(found.quiet == l.quiet && found.s == l.s && found.x == l.x && found.n == l.n)
        << (l.line ? l.line : "(null)") << ": " << found.quiet << found.s << found.x << found.n;
  }
}

}  // namespace
}  // namespace quenrid::test
