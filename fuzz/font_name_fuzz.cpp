// Feeds arbitrary bytes to the TrueType reader as a font file. The name
// buffers are heap blocks of their exact size, so that ASan sees any byte
// written past them, and each must come back terminated inside itself.
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "removal/font_name.h"

// The font lives in an unlinked file, reached through /proc so that the
// reader can open it by path, and gone with the process however it ends.
static int FontFd = -1;
static char FontPath[64];

static void OpenFontFile() {
  char name[] = "/dev/shm/quenrid-font-fuzz-XXXXXX";
  FontFd = mkstemp(name);
  if (FontFd < 0) abort();
  unlink(name);
  snprintf(FontPath, sizeof FontPath, "/proc/self/fd/%d", FontFd);
}

static void WriteFont(const uint8_t *data, size_t size) {
  if (FontFd < 0) OpenFontFile();
  if (ftruncate(FontFd, 0) != 0 || pwrite(FontFd, data, size, 0) != static_cast<ssize_t>(size)) {
    abort();
  }
}

// A small buffer makes the over-long case common; 509 is what the font phase
// gives it (520 less the 11 bytes of " (TrueType)").
static void ReadInto(uint32_t size) {
  char *name = static_cast<char *>(malloc(size));
  if (!name) abort();
  memset(name, 'x', size);
  ReadFontFullName(FontPath, name, size);
  if (!memchr(name, 0, size)) abort();
  free(name);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WriteFont(data, size);
  ReadInto(8);
  ReadInto(509);
  return 0;
}
