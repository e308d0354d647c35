// The switch grammar: what each command line turns on.
#include <gtest/gtest.h>

#include "app/switches.h"

namespace {

struct Line {
  const char *commandLine;
  bool quiet, s, x;
};

TEST(Switches, EachLineSetsExactlyItsSwitches) {
  const Line lines[] = {
      {nullptr, false, false, false},
      {"", false, false, false},
      {"   ", false, false, false},
      {"/q", true, false, false},
      {"-Q", true, false, false},
      {"/Quiet", true, false, false},
      {"/QS", true, false, false},  // the rest of a word is skipped
      {"/Silent", true, true, false},
      {"/Q/S", true, true, false},
      {"/Q/X", true, false, true},
      {"  -x -s", true, true, true},
      {"/S    /x", true, true, true},
      {"/X", true, false, true},
      {"foo /S", false, false, false},  // a word that is no switch ends them
      {"/Q file /S", true, false, false},
      {"file /Q", false, false, false},
      {"/?", false, false, false},
      {"/A /B /s", true, true, false},  // unknown letters are ignored
      {"/", false, false, false},
      {"/Q -", true, false, false},
      {"/Q /", true, false, false},
      {"/ q", false, false, false},     // the blank is the letter; "q" is its word
      {"--s", false, false, false},     // "-" is the letter; "s" is its word
      {"-/s", false, false, false},
      {"\t/S", false, false, false},    // only the blank counts as white space
      {"/\xe9 /x", true, false, true},  // a letter outside a to z is no switch
  };
  for (const Line &line : lines) {
    SCOPED_TRACE(line.commandLine ? line.commandLine : "(null)");
    SwitchSet found = ParseSwitches(line.commandLine);
    EXPECT_EQ(found.quiet, line.quiet);
    EXPECT_EQ(found.s, line.s);
    EXPECT_EQ(found.x, line.x);
  }
}

}  // namespace
