// The record handlers of the reader: one per list chunk kind. Internal to the
// reader; the lists themselves are declared in uninstall_data.h.
#pragma once

#include <stdint.h>

#include "file_io.h"
#include "uninstall_data.h"

// Little-endian integers of the file.
inline uint16_t DecodeU16(const uint8_t *b) { return static_cast<uint16_t>(b[0] | b[1] << 8); }
inline uint32_t DecodeU32(const uint8_t *b) {
  return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
}

// Reads one little-endian integer; a failed read yields 0.
uint16_t ReadU16(FileHandle file);
uint32_t ReadU32(FileHandle file);

// Each handler is given the open file, positioned at the chunk's body, and the
// body's length. A record count that the rest of the body cannot hold fails
// with READ_ERR_HEADER before anything is allocated; no memory gives
// READ_ERR_MEMORY. Records become visible only when the whole chunk is read.
int ReadFileList(FileHandle file, uint32_t length);
int ReadShortcutList(FileHandle file, uint32_t length);
int ReadRegistryList(FileHandle file, uint32_t length);

// Reads `count` registry records into the slots from `slots` on and stores
// how many were kept (over-long records are skipped) through `stored`.
int ReadRegistryEntries(FileHandle file, RegistryEntry **slots, uint32_t count, uint32_t *stored);
