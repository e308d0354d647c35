// The record handlers of the reader, one per list chunk kind, and the chunk
// body they read from. Internal to the reader; the lists themselves are
// declared in uninstall_data.h.
#pragma once

#include <stdint.h>

#include "uninstall_data.h"

// Little-endian integers of the file.
inline uint16_t DecodeU16(const uint8_t *b) { return static_cast<uint16_t>(b[0] | b[1] << 8); }
inline uint32_t DecodeU32(const uint8_t *b) {
  return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
}

// A chunk's body, read into memory in one piece and taken front to back.
// Nothing is ever taken past its end: a take that does not fit takes nothing,
// yields zeros or null, and marks the body damaged, since the data then claims
// more than its chunk holds.
struct ChunkBody {
  const uint8_t *at;
  uint32_t left;
  bool damaged;
};

uint8_t TakeU8(ChunkBody *body);
uint16_t TakeU16(ChunkBody *body);
uint32_t TakeU32(ChunkBody *body);
// The next `n` bytes, or null (and damage) when fewer are left.
const uint8_t *TakeBytes(ChunkBody *body, uint32_t n);

// Each handler reads its records from the body. A count that the body cannot
// hold is damage (READ_ERR_HEADER) before anything is allocated, as is a
// string that runs past the body; no memory gives READ_ERR_MEMORY. Records
// become visible only when the whole chunk is read.
int ReadFileList(ChunkBody *body);
int ReadShortcutList(ChunkBody *body);
int ReadRegistryList(ChunkBody *body);

