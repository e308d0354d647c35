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

void *AllocBlockRaw(uint32_t size) { return HeapTwice(0, size); }

void *AllocZeroedRaw(uint32_t size) { return HeapTwice(HEAP_ZERO_MEMORY, size); }

bool ResizeBlockRaw(uint32_t size, void **block) {
  if (!*block) return (*block = AllocBlockRaw(size)) != nullptr;
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

void FreeBlock(void *block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}
