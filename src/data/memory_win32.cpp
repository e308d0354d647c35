#include "memory.h"

#include <windows.h>

// One retry after compaction: a fragmented heap may still have the room.
static void *HeapTwice(DWORD flags, uint32_t size) {
  HANDLE heap = GetProcessHeap();
  void *block = HeapAlloc(heap, flags, size);
  if (!block) {
    HeapCompact(heap, 0);
    block = HeapAlloc(heap, flags, size);
  }
  return block;
}

bool AllocBlockRaw(uint32_t size, void **block) {
  *block = HeapTwice(0, size);
  return *block != nullptr;
}

bool AllocZeroedRaw(uint32_t size, void **block) {
  *block = HeapTwice(HEAP_ZERO_MEMORY, size);
  return *block != nullptr;
}

bool ResizeBlockRaw(uint32_t size, void **block) {
  if (!*block) return AllocBlockRaw(size, block);
  HANDLE heap = GetProcessHeap();
  void *grown = HeapReAlloc(heap, 0, *block, size);
  if (!grown) {
    HeapCompact(heap, 0);
    grown = HeapReAlloc(heap, 0, *block, size);
  }
  if (!grown) return false;
  *block = grown;
  return true;
}

void FreeAndClearRaw(void **block) {
  if (*block) HeapFree(GetProcessHeap(), 0, *block);
  *block = nullptr;
}
