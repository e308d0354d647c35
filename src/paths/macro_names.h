// The names of the path macros. Pure text, without a folder lookup, so that
// the author's tool knows the same names as the uninstaller.
#pragma once

#include <stdint.h>

enum : int {
  MACRO_COUNT = 15,
  MACRO_INSTALL_DIR = 14,  // "#InstallDir#": the uninstaller's own folder
};

// Every name with both "#", in the order in which a token is tested.
extern const char *const MACRO_NAMES[MACRO_COUNT];

// The index in MACRO_NAMES of the name that `token` (both "#" included) is,
// ASCII letters in any case; -1 for a token that names no macro.
int FindPathMacro(const char *token);
