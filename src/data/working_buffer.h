// Scratch buffers of the steps around the removal and of COM unregistration.
//
// They come straight from the heap, without the memory helpers' retry: a
// missing one only means that its step is left out, silently.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "memory.h"

// A zero-filled block of `size` bytes, or null.
inline char *AllocWorkingBuffer(uint32_t size) {
  return static_cast<char *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
}

// Releases a block of AllocWorkingBuffer; null is allowed.
inline void FreeWorkingBuffer(char *buffer) { FreeBlock(buffer); }
