// The file a fuzz target hands its input to the code under test through. It
// lives unlinked, reached through /proc so that the code can open it by path,
// and goes with the process however that ends. Rewriting one file in place is
// much cheaper than creating one per input.
#pragma once

#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

// Replaces the file's contents with `prefix` followed by `data`, and returns
// the path it can be opened by.
inline const char *WriteInputFile(const char *prefix, const uint8_t *data, size_t size) {
  static char path[64];
  static const int fd = [] {
    char name[] = "/dev/shm/quenrid-fuzz-XXXXXX";
    const int made = mkstemp(name);
    if (made < 0 || unlink(name) != 0) abort();
    snprintf(path, sizeof path, "/proc/self/fd/%d", made);
    return made;
  }();
  const size_t prefixSize = strlen(prefix);
  if (ftruncate(fd, 0) != 0 ||
      pwrite(fd, prefix, prefixSize, 0) != static_cast<ssize_t>(prefixSize) ||
      pwrite(fd, data, size, static_cast<off_t>(prefixSize)) != static_cast<ssize_t>(size)) {
    abort();
  }
  return path;
}
