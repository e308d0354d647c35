// The switch grammar: what each command line turns on.
#include <gtest/gtest.h>

#include "app/switches.h"

namespace {

TEST(Switches, EachLineSetsExactlyItsSwitches) {
  const struct { const char *line; bool quiet, s, x; } lines[] = {
      {nullptr, 0, 0, 0}, {"   ", 0, 0, 0},       {"/q", 1, 0, 0},      {"-Q", 1, 0, 0},
      {"/Silent", 1, 1, 0}, {"/Q/X", 1, 0, 1},    {"  -x -s", 1, 1, 1}, {"/S    /x", 1, 1, 1},
      {"/?", 0, 0, 0},    {"/", 0, 0, 0},         {"/Q -", 1, 0, 0},    {"/Q /", 1, 0, 0},
      {"/QS", 1, 0, 0},           // the rest of a word is skipped
      {"foo /S", 0, 0, 0},        // a word that is no switch ends them
      {"/Q file /S", 1, 0, 0},
      {"/A /B /s", 1, 1, 0},      // unknown letters are ignored
      {"/ q", 0, 0, 0},           // the blank is the letter; "q" is its word
      {"--s", 0, 0, 0},           // "-" is the letter; "s" is its word
      {"-/s", 0, 0, 0},
      {"\t/S", 0, 0, 0},          // only the blank counts as white space
      {"/\xe9 /x", 1, 0, 1},      // a letter outside a to z is no switch
  };
  for (const auto &l : lines) {
    const SwitchSet found = ParseSwitches(l.line);
    EXPECT_TRUE(found.quiet == l.quiet && found.s == l.s && found.x == l.x)
        << (l.line ? l.line : "(null)") << ": " << found.quiet << found.s << found.x;
  }
}

}  // namespace
