#include "backslash.h"

#include <stdarg.h>
#include <string.h>

#include "ascii_case.h"

bool AppendBackslash(char *path, uint32_t size) {
  size_t length = strlen(path);
  if (length == 0 || path[length - 1] == '\\') return true;
  if (length + 2 > size) return false;
  path[length] = '\\';
  path[length + 1] = '\0';
  return true;
}

void StripTrailingBackslash(char *path) {
  size_t length = strlen(path);
  if (length >= 4 && path[length - 1] == '\\') path[length - 1] = '\0';
}

bool AppendText(char *buffer, uint32_t size, const char *text) {
  size_t length = strlen(buffer);
  size_t added = strlen(text);
  if (length + added + 1 > size) return false;
  memcpy(buffer + length, text, added + 1);
  return true;
}

bool AppendTexts(char *buffer, uint32_t size, ...) {
  va_list texts;
  va_start(texts, size);
  const char *text;
  bool fits = true;
  while (fits && (text = va_arg(texts, const char *)) != nullptr) fits = AppendText(buffer, size, text);
  va_end(texts);
  return fits;
}

bool IsFullPath(const char *path) {
  if (path[0] == '\\' && path[1] == '\\') return true;
  return path[0] != '\0' && path[1] == ':' && path[2] == '\\';
}

static bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasNamespacePrefix(const char *path) {
  return IsSeparator(path[0]) && (IsSeparator(path[1]) || path[1] == '?') &&
         (path[2] == '?' || path[2] == '.') && IsSeparator(path[3]);
}

bool IsWebAddress(const char *text) {
  return AfterPrefixIgnoringAsciiCase(text, "http://") ||
         AfterPrefixIgnoringAsciiCase(text, "https://");
}

bool IsOpenablePlace(const char *text) {
  if (strchr(text, '"')) return false;
  if (IsWebAddress(text)) return true;
  const bool namespaced =
      text[0] == '\\' && text[1] == '\\' && (text[2] == '?' || text[2] == '.' || text[2] == '\\');
  return IsFullPath(text) && !namespaced;
}
