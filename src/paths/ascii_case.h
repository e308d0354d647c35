// Text comparison for macro names and folder paths.
#pragma once

#include <stddef.h>

// True when `a` and `b` are the same whole strings, the case of the ASCII
// letters aside. Other bytes must be equal: the system's code page is not
// consulted, so the result is the same on every machine.
bool EqualIgnoringAsciiCase(const char *a, const char *b);

// The rest of `text` after `prefix` when `text` starts with it, the case of
// the ASCII letters aside; null when it does not.
const char *AfterPrefixIgnoringAsciiCase(const char *text, const char *prefix);

// The same for the first `length` bytes of `prefix`, which need no terminator.
const char *AfterPrefixIgnoringAsciiCase(const char *text, const char *prefix, size_t length);
