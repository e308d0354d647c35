// The field through which the uninstaller finds its appended UninstallData.
//
// Six marker bytes, occurring nowhere else in the executable, directly
// followed by the u32 file offset of the block. The build stamps the
// executable's own length into it, so a block appended at the end is found
// unchanged; 0 means there is no block.
#pragma once

#include <stdint.h>

enum : uint32_t { DATA_OFFSET_MARKER_SIZE = 6 };
// The marker, "wwgT)H", as an initialiser list: the stub's field and the
// tools that look for it spell it from here. Only the stub's field may hold
// it as data, so it is no array of its own.
#define DATA_OFFSET_MARKER_BYTES 0x77, 0x77, 0x67, 0x54, 0x29, 0x48

#pragma pack(push, 1)
struct DataOffsetField {
  uint8_t marker[DATA_OFFSET_MARKER_SIZE];
  uint32_t offset;
};
#pragma pack(pop)
static_assert(sizeof(DataOffsetField) == 10, "no bytes between marker and offset");
