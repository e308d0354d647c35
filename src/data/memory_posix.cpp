#include "memory.h"

#include <stdlib.h>

#include "memory_posix.h"

static uint32_t AllocationCount;    // allocations since the last reset
static uint32_t FailingAllocation;  // the one that fails; 0 for none

void FailNthAllocation(uint32_t n) {
  AllocationCount = 0;
  FailingAllocation = n;
}

uint32_t AllocationsSinceReset() { return AllocationCount; }

// Counts the allocation and tells whether it is the one that must fail.
static bool MustFail() { return ++AllocationCount == FailingAllocation; }

// The heap cannot be compacted here; the second try is kept so that both
// twins behave alike. A size of 0 still yields a distinct block, as on Win32.
static uint32_t AtLeastOne(uint32_t size) { return size ? size : 1; }

void *AllocBlockRaw(uint32_t size) {
  if (MustFail()) return nullptr;
  void *block = malloc(AtLeastOne(size));
  return block ? block : malloc(AtLeastOne(size));
}

void *AllocZeroedRaw(uint32_t size) {
  if (MustFail()) return nullptr;
  void *block = calloc(1, AtLeastOne(size));
  return block ? block : calloc(1, AtLeastOne(size));
}

bool ResizeBlockRaw(uint32_t size, void **block) {
  if (MustFail()) return false;
  void *grown = realloc(*block, AtLeastOne(size));
  if (!grown) grown = realloc(*block, AtLeastOne(size));
  if (!grown) return false;
  *block = grown;
  return true;
}

void FreeBlock(void *block) { free(block); }
