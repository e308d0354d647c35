// Heap helpers used by every module that allocates.
//
// AllocBlock, AllocZeroed and ResizeBlock each try once and, when that fails,
// compact the heap and try a second time. They return true on success.
#pragma once

#include <stdint.h>

// Stores a new uninitialised block, or null on failure, through `block`.
bool AllocBlockRaw(uint32_t size, void **block);
// Stores a new zero-filled block, or null on failure, through `block`.
bool AllocZeroedRaw(uint32_t size, void **block);
// Resizes `*block`; the pointer is updated only on success.
bool ResizeBlockRaw(uint32_t size, void **block);
// Releases `*block` when it is not null and sets it to null.
void FreeAndClearRaw(void **block);

// Typed front ends, so callers keep their own pointer types without casts.
template <class T> inline bool AllocBlock(uint32_t size, T **block) {
  void *raw = nullptr;
  bool ok = AllocBlockRaw(size, &raw);
  *block = static_cast<T *>(raw);
  return ok;
}

template <class T> inline bool AllocZeroed(uint32_t size, T **block) {
  void *raw = nullptr;
  bool ok = AllocZeroedRaw(size, &raw);
  *block = static_cast<T *>(raw);
  return ok;
}

template <class T> inline bool ResizeBlock(uint32_t size, T **block) {
  void *raw = *block;
  bool ok = ResizeBlockRaw(size, &raw);
  if (ok) *block = static_cast<T *>(raw);
  return ok;
}

template <class T> inline void FreeAndClear(T **block) {
  void *raw = const_cast<void *>(static_cast<const void *>(*block));
  FreeAndClearRaw(&raw);
  *block = nullptr;
}
