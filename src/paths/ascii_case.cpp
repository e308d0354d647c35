#include "ascii_case.h"

#include <string.h>

static char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

const char *AfterPrefixIgnoringAsciiCase(const char *text, const char *prefix, size_t length) {
  // A shorter text stops at its terminator, which no byte of the prefix matches.
  for (size_t i = 0; i < length; ++i) {
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return nullptr;
  }
  return text + length;
}

// `b` with its terminator as the prefix: `a` ends where `b` does.
bool EqualIgnoringAsciiCase(const char *a, const char *b) {
  return AfterPrefixIgnoringAsciiCase(a, b, strlen(b) + 1) != nullptr;
}

const char *AfterPrefixIgnoringAsciiCase(const char *text, const char *prefix) {
  return AfterPrefixIgnoringAsciiCase(text, prefix, strlen(prefix));
}
