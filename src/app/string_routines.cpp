// The C library's string and memory routines that the stub's code calls, for
// the stub alone: each import of msvcrt.dll costs its thunk, its two table
// slots, its name and a relocation, more than the routine itself, and with
// these the stub imports nothing from the runtime DLL. They behave as the C
// standard says; the tests and the tool, which link the runtime, get the
// runtime's. Visible outside the unit, so that the whole-program build keeps
// them as the functions the linker binds every call to, those the compiler
// itself emits included. The stub is built with
// -fno-tree-loop-distribute-patterns, so that no loop here is turned back
// into a call of the routine it implements.
#include <stddef.h>
#include <string.h>

#define STUB_ROUTINE extern "C"

STUB_ROUTINE size_t strlen(const char *text) {
  const char *end = text;
  while (*end) ++end;
  return static_cast<size_t>(end - text);
}

STUB_ROUTINE char *strchr(const char *text, int c) {
  for (;; ++text) {
    if (*text == static_cast<char>(c)) return const_cast<char *>(text);
    if (!*text) return nullptr;
  }
}

STUB_ROUTINE char *strrchr(const char *text, int c) {
  const char *last = nullptr;
  for (;; ++text) {
    if (*text == static_cast<char>(c)) last = text;
    if (!*text) return const_cast<char *>(last);
  }
}

STUB_ROUTINE int strcmp(const char *a, const char *b) {
  const unsigned char *x = reinterpret_cast<const unsigned char *>(a);
  const unsigned char *y = reinterpret_cast<const unsigned char *>(b);
  while (*x && *x == *y) ++x, ++y;
  return *x - *y;
}

STUB_ROUTINE char *strcpy(char *to, const char *from) {
  char *at = to;
  while ((*at++ = *from++) != '\0') {
  }
  return to;
}

STUB_ROUTINE size_t strcspn(const char *text, const char *reject) {
  const char *at = text;
  while (*at && !strchr(reject, *at)) ++at;
  return static_cast<size_t>(at - text);
}

STUB_ROUTINE char *strpbrk(const char *text, const char *accept) {
  text += strcspn(text, accept);
  return *text ? const_cast<char *>(text) : nullptr;
}

STUB_ROUTINE int memcmp(const void *a, const void *b, size_t n) {
  const unsigned char *x = static_cast<const unsigned char *>(a);
  const unsigned char *y = static_cast<const unsigned char *>(b);
  for (; n; --n, ++x, ++y) {
    if (*x != *y) return *x - *y;
  }
  return 0;
}

STUB_ROUTINE char *strstr(const char *text, const char *part) {
  const size_t length = strlen(part);
  for (;; ++text) {
    if (memcmp(text, part, length) == 0) return const_cast<char *>(text);
    if (!*text) return nullptr;
  }
}

STUB_ROUTINE void *memchr(const void *bytes, int c, size_t n) {
  const unsigned char *at = static_cast<const unsigned char *>(bytes);
  for (; n; --n, ++at) {
    if (*at == static_cast<unsigned char>(c)) return const_cast<unsigned char *>(at);
  }
  return nullptr;
}

STUB_ROUTINE void *memmove(void *to, const void *from, size_t n) {
  unsigned char *d = static_cast<unsigned char *>(to);
  const unsigned char *s = static_cast<const unsigned char *>(from);
  if (d < s) {
    while (n--) *d++ = *s++;
  } else {
    while (n--) d[n] = s[n];
  }
  return to;
}
