#include "font_name.h"

#include <string.h>

#include "../data/file_io.h"

enum : uint32_t {
  FONT_OFFSET_TABLE_SIZE = 12,
  FONT_TABLE_RECORD_SIZE = 16,
  FONT_NAME_HEADER_SIZE = 6,
  FONT_NAME_RECORD_SIZE = 12,
  FONT_MAX_TABLE_RECORDS = 40,  // the search looks no further
};

enum : uint16_t { NAME_PLATFORM_MACINTOSH = 1, NAME_ID_FULL_NAME = 4 };

// Every number of a TrueType file is big-endian.
static uint16_t DecodeBe16(const uint8_t *b) { return static_cast<uint16_t>(b[0] << 8 | b[1]); }
static uint32_t DecodeBe32(const uint8_t *b) {
  return static_cast<uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
}

// Where the chosen name's bytes lie in the file.
struct NameString {
  uint32_t position;
  uint32_t length;
};

// Reads the offset table and the table records behind it; true, with the
// table's offset, at the first 'name' record among the first 40.
static bool FindNameTable(FileHandle file, uint32_t *tableOffset) {
  uint8_t header[FONT_OFFSET_TABLE_SIZE];
  if (ReadExact(file, header, sizeof header) != 0) return false;
  uint32_t tables = DecodeBe16(header + 4);
  if (tables > FONT_MAX_TABLE_RECORDS) tables = FONT_MAX_TABLE_RECORDS;
  for (uint32_t i = 0; i < tables; ++i) {
    uint8_t record[FONT_TABLE_RECORD_SIZE];
    if (ReadExact(file, record, sizeof record) != 0) return false;
    if (memcmp(record, "name", 4) == 0) {
      *tableOffset = DecodeBe32(record + 8);
      return true;
    }
  }
  return false;
}

static bool IsMacintoshFullName(const uint8_t *record) {
  return DecodeBe16(record) == NAME_PLATFORM_MACINTOSH &&
         DecodeBe16(record + 6) == NAME_ID_FULL_NAME;
}

// Walks the name records in order and keeps the last Macintosh full name.
// The string is only located here, not read: its bounds are checked against
// the file instead, so a string that would come up short ends the search
// without touching the name found before it. Sums are 64-bit, so no offset
// of a damaged file can wrap round to a position inside it.
static bool FindFullName(FileHandle file, uint32_t tableOffset, uint32_t size, NameString *found) {
  SetFilePos(file, tableOffset);
  uint8_t header[FONT_NAME_HEADER_SIZE];
  if (ReadExact(file, header, sizeof header) != 0) return false;
  const uint32_t count = DecodeBe16(header + 2);
  const uint64_t storage = static_cast<uint64_t>(tableOffset) + DecodeBe16(header + 4);
  const uint64_t fileLength = GetFileLength(file);
  bool any = false;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t record[FONT_NAME_RECORD_SIZE];
    if (ReadExact(file, record, sizeof record) != 0) break;
    if (!IsMacintoshFullName(record)) continue;
    const uint32_t length = DecodeBe16(record + 8);
    if (length >= size) continue;  // over-long: ignored rather than cut into another name
    const uint64_t position = storage + DecodeBe16(record + 10);
    if (position + length > fileLength) break;  // the read would come up short
    found->position = static_cast<uint32_t>(position);
    found->length = length;
    any = true;
  }
  return any;
}

// A name with a zero byte inside would end early and name another font,
// whose registration would then go: it counts as no name at all.
static void ReadNameString(FileHandle file, const NameString *found, char *name) {
  SetFilePos(file, found->position);
  if (ReadExact(file, name, found->length) != 0 || memchr(name, '\0', found->length)) {
    name[0] = '\0';
    return;
  }
  name[found->length] = '\0';
}

void ReadFontFullName(const char *path, char *name, uint32_t size) {
  if (size == 0) return;
  name[0] = '\0';
  FileHandle file = OpenExistingFile(path, OPEN_READ);
  if (file == InvalidFileHandle()) return;
  uint32_t tableOffset = 0;
  NameString found;
  if (FindNameTable(file, &tableOffset) && FindFullName(file, tableOffset, size, &found)) {
    ReadNameString(file, &found, name);
  }
  CloseFile(file);
}
