#include "backslash.h"

#include <string.h>

void AppendBackslash(char *path, uint32_t size) {
  size_t length = strlen(path);
  if (length == 0 || path[length - 1] == '\\' || length + 2 > size) return;
  path[length] = '\\';
  path[length + 1] = '\0';
}

void StripTrailingBackslash(char *path) {
  size_t length = strlen(path);
  if (length >= 4 && path[length - 1] == '\\') path[length - 1] = '\0';
}
