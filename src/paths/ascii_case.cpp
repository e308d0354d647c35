#include "ascii_case.h"

static char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool EqualIgnoringAsciiCase(const char *a, const char *b) {
  for (; *a && LowerAscii(*a) == LowerAscii(*b); ++a, ++b) {
  }
  return LowerAscii(*a) == LowerAscii(*b);
}

const char *AfterPrefixIgnoringAsciiCase(const char *text, const char *prefix) {
  for (; *prefix; ++prefix, ++text) {
    if (LowerAscii(*text) != LowerAscii(*prefix)) return nullptr;
  }
  return text;
}
