// Heap helpers used by every module that allocates.
//
// AllocBlock, AllocZeroed and ResizeBlock each try once and, when that fails,
// compact the heap and try a second time. They return true on success.
#pragma once

#include <stdint.h>

// A new uninitialised block, or null on failure.
void *AllocBlockRaw(uint32_t size);
// A new zero-filled block, or null on failure.
void *AllocZeroedRaw(uint32_t size);
// Resizes `*block`; the pointer is updated only on success.
bool ResizeBlockRaw(uint32_t size, void **block);
// Releases `block`; null is allowed.
void FreeBlock(void *block);

// Typed front ends, so callers keep their own pointer types without casts.
template <class T> inline bool AllocBlock(uint32_t size, T **block) {
  *block = static_cast<T *>(AllocBlockRaw(size));
  return *block != nullptr;
}

template <class T> inline bool AllocZeroed(uint32_t size, T **block) {
  *block = static_cast<T *>(AllocZeroedRaw(size));
  return *block != nullptr;
}

template <class T> inline bool ResizeBlock(uint32_t size, T **block) {
  void *raw = *block;
  bool ok = ResizeBlockRaw(size, &raw);
  if (ok) *block = static_cast<T *>(raw);
  return ok;
}

// Releases `*block` when it is not null and sets it to null.
template <class T> inline void FreeAndClear(T **block) {
  FreeBlock(const_cast<void *>(static_cast<const void *>(*block)));
  *block = nullptr;
}
