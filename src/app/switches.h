// The command-line switches /Q, /S, /X and /N.
#pragma once

struct SwitchSet {
  bool quiet;  // /Q, /S or /X
  bool s;      // /S
  bool x;      // /X
  bool n;      // /N: every question takes its default answer
};

// Reads the switches at the start of `commandLine` (may be null): "/" or "-"
// and a letter in any case, the rest of that word ignored, words separated by
// blanks; the first word that is not a switch ends them. Unknown letters are
// ignored without a message.
SwitchSet ParseSwitches(const char *commandLine);
