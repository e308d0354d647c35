// Feeds arbitrary bytes to the TrueType reader as a font file. The name
// buffers are heap blocks of their exact size, so that ASan sees any byte
// written past them, and each must come back terminated inside itself.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "input_file.h"
#include "removal/font_name.h"

// A small buffer makes the over-long case common; 509 is what the font phase
// gives it (520 less the 11 bytes of " (TrueType)").
static void ReadInto(const char *path, uint32_t size) {
  char *name = static_cast<char *>(malloc(size));
  if (!name) abort();
  memset(name, 'x', size);
  ReadFontFullName(path, name, size);
  if (!memchr(name, 0, size)) abort();
  free(name);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *path = WriteInputFile("", data, size);
  ReadInto(path, 8);
  ReadInto(path, 509);
  return 0;
}
