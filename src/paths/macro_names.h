// The names of the path macros. Pure text, without a folder lookup, so that
// the author's tool knows the same names as the uninstaller.
#pragma once

#include <stdint.h>
#include <string.h>

enum : int {
  MACRO_COUNT = 15,
  MACRO_INSTALL_DIR = 14,  // "#InstallDir#": the uninstaller's own folder
};

// Every name with both "#", in the order in which a token is tested.
extern const char *const MACRO_NAMES[MACRO_COUNT];

// The first macro token in `text`: a "#" up to the next "#", both included.
// Returns its opening "#" and sets `end` just past its closing one; null when
// no "#" has a partner, so that the rest is plain text. Inline: the stub has
// one caller and the tool shares the rule, not a call.
inline const char *FindMacroToken(const char *text, const char **end) {
  const char *open = strchr(text, '#');
  const char *close = open ? strchr(open + 1, '#') : nullptr;
  if (!close) return nullptr;
  *end = close + 1;
  return open;
}

// The index in MACRO_NAMES of the name that `token` (both "#" included) is,
// ASCII letters in any case; -1 for a token that names no macro.
int FindPathMacro(const char *token);
