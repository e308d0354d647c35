#include "memory.h"

#include <stdlib.h>

// The heap cannot be compacted here; the second try is kept so that both
// twins behave alike. A size of 0 still yields a distinct block, as on Win32.
static uint32_t AtLeastOne(uint32_t size) { return size ? size : 1; }

bool AllocBlockRaw(uint32_t size, void **block) {
  *block = malloc(AtLeastOne(size));
  if (!*block) *block = malloc(AtLeastOne(size));
  return *block != nullptr;
}

bool AllocZeroedRaw(uint32_t size, void **block) {
  *block = calloc(1, AtLeastOne(size));
  if (!*block) *block = calloc(1, AtLeastOne(size));
  return *block != nullptr;
}

bool ResizeBlockRaw(uint32_t size, void **block) {
  void *grown = realloc(*block, AtLeastOne(size));
  if (!grown) grown = realloc(*block, AtLeastOne(size));
  if (!grown) return false;
  *block = grown;
  return true;
}

void FreeAndClearRaw(void **block) {
  free(*block);
  *block = nullptr;
}
