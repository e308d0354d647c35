// Path macros: well-known folders written into a path as "#Name#" when the
// product was installed, resolved to the folders of the machine the
// uninstaller runs on.
#pragma once

#include <stdint.h>

enum : uint32_t {
  // Room for any resolved folder: a Windows directory of 259 characters, a
  // backslash, the longest fall-back suffix (54 characters) and a terminator.
  MACRO_BUFFER_SIZE = 320,
  // The working buffer an expansion is built in: what it can hold at most.
  EXPANSION_BUFFER_SIZE = 65500,
};

// Expands every token of `source` (FindMacroToken), and returns the
// length of the whole expanded path. A "#" without a partner stays with the
// rest of the path; a "#" inside a resolved folder is never expanded again.
// With a null `output` or a `size` of 0 nothing is written; otherwise the
// output gets the path when it is shorter than `size`, else its first
// size - 1 characters and a terminator, so a result of `size` or more tells
// the caller it did not fit. Of a longer path than EXPANSION_BUFFER_SIZE
// holds, only what it holds is kept, though its full length is returned.
uint32_t ExpandPathMacros(char *output, const char *source, uint32_t size);

// `token` holds one macro token, both "#" included, at the start of a buffer
// of MACRO_BUFFER_SIZE bytes. Replaces it by the folder that the macro names,
// without a trailing backslash unless it is a drive root; leaves it as it is
// when a known macro's folder cannot be obtained; empties it when the macro
// is unknown. Names match as whole strings, ASCII letters in any case.
void ResolvePathMacro(char *token);
