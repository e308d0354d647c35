// Test support: TrueType files made to order, with a 'name' table of chosen
// records at a chosen place in the table directory. Only what the font
// reader looks at is filled in; every other field stays zero.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quenrid::test {

// Big-endian, as TrueType stores every number.
inline std::string Be16(uint32_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }
inline std::string Be32(uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }

enum : uint16_t { kMacintosh = 1, kWindows = 3, kFamilyName = 1, kFullName = 4 };

struct FontName {
  uint16_t platform, nameId;
  std::string text;
};

struct FontLayout {
  std::vector<FontName> names;
  uint32_t tableRecords = 1;  // records in the table directory
  uint32_t nameRecordAt = 0;  // which of them is 'name'
  int32_t numTables = -1;     // the field as stored; -1: tableRecords
  int32_t nameCount = -1;     // the naming table's count as stored; -1: names.size()
};

// Offset table, table directory, then the naming table: header, records and
// the strings in record order, each record pointing at its own string.
inline std::string BuildFont(const FontLayout &layout) {
  const uint32_t count = static_cast<uint32_t>(layout.names.size()), records = layout.tableRecords;
  std::string font = Be32(0x10000) + Be16(layout.numTables < 0 ? records : layout.numTables) +
                     std::string(6, '\0');
  for (uint32_t i = 0; i < records; ++i) {
    const bool name = i == layout.nameRecordAt;
    font += (name ? "name" : "glyf") + Be32(0) + Be32(name ? 12 + 16 * records : 0) + Be32(0);
  }
  font += Be16(0) + Be16(layout.nameCount < 0 ? count : layout.nameCount) + Be16(6 + 12 * count);
  std::string storage;
  for (const FontName &name : layout.names) {
    font += Be16(name.platform) + Be32(0) + Be16(name.nameId) + Be16(uint32_t(name.text.size())) +
            Be16(uint32_t(storage.size()));
    storage += name.text;
  }
  return font + storage;
}

}  // namespace quenrid::test
