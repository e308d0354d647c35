#include "switches.h"

static const char *SkipBlanks(const char *at) {
  while (*at == ' ') ++at;
  return at;
}

static bool IsSwitchStart(char c) { return c == '-' || c == '/'; }

// The letter in either case, as toupper() of the "C" locale gives it.
static void ApplySwitch(char letter, SwitchSet *found) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - ('a' - 'A'));
  if (letter == 'Q' || letter == 'S' || letter == 'X') found->quiet = true;
  if (letter == 'S') found->s = true;
  if (letter == 'X') found->x = true;
  if (letter == 'N') found->n = true;
}

SwitchSet ParseSwitches(const char *commandLine) {
  SwitchSet found = {false, false, false, false};
  if (!commandLine) return found;
  const char *at = SkipBlanks(commandLine);
  while (IsSwitchStart(*at) && at[1] != '\0') {
    ApplySwitch(at[1], &found);
    at += 2;
    // The rest of the word: /Silent is /S, and /Q/S holds two switches.
    while (*at != '\0' && *at != ' ' && !IsSwitchStart(*at)) ++at;
    at = SkipBlanks(at);
  }
  return found;
}
