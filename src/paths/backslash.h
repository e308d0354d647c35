// Trailing-backslash rules shared by every module that builds paths.
#pragma once

#include <stdint.h>

// Appends one backslash to a path that is not empty and does not end in one.
// `size` is the buffer's size; a path with no room left for the backslash is
// left as it is.
void AppendBackslash(char *path, uint32_t size);

// Removes the one trailing backslash of a path of at least 4 characters, so
// that a drive root such as C:\ keeps its own.
void StripTrailingBackslash(char *path);
