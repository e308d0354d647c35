// A small stand-in for uninst.exe and uninst64.exe: a PE32 or PE32+ image of
// three sections (.text, .data holding the data offset marker and its field,
// and a .bss without raw data), ending where the last raw data ends.
#pragma once

#include <cstdint>
#include <string>

namespace pe_stub {

constexpr uint16_t kPe32 = 0x10B;
constexpr uint16_t kPe32Plus = 0x20B;
constexpr size_t kImageSize = 0x600;  // headers, .text and .data, 0x200 each
constexpr size_t kFieldAt = 0x410;    // the u32 behind the marker in .data

inline void Put(std::string &out, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out[at + i] = static_cast<char>(value >> (8 * i));
}

// The image with `field` in its data offset field.
inline std::string Image(uint16_t magic, uint32_t field) {
  std::string image(kImageSize, '\0');
  image.replace(0, 2, "MZ");
  Put(image, 0x3C, 0x40, 4);
  image.replace(0x40, 4, std::string("PE\0\0", 4));
  const size_t coff = 0x44;
  Put(image, coff, magic == kPe32 ? 0x14C : 0x8664, 2);  // machine
  Put(image, coff + 2, 3, 2);                            // sections
  const uint16_t optionalSize = magic == kPe32 ? 224 : 240;
  Put(image, coff + 16, optionalSize, 2);
  Put(image, coff + 20, magic, 2);
  const size_t table = coff + 20 + optionalSize;
  const struct { const char *name; uint32_t rawSize, rawAt; } sections[] = {{".text", 0x200, 0x200}, {".data", 0x200, 0x400}, {".bss", 0, 0x7FFF0000}};
  for (size_t i = 0; i < 3; ++i) {
    const size_t header = table + 40 * i;
    image.replace(header, std::string(sections[i].name).size(), sections[i].name);
    Put(image, header + 16, sections[i].rawSize, 4);
    Put(image, header + 20, sections[i].rawAt, 4);
  }
  image.replace(0x200, 0x200, std::string(0x200, '\xC3'));
  image.replace(kFieldAt - 6, 6, "wwgT)H");
  Put(image, kFieldAt, field, 4);
  return image;
}

}  // namespace pe_stub
