// A small stand-in for uninst.exe and uninst64.exe: a PE32 or PE32+ image of
// three sections (.text, .data holding the data offset marker and its field,
// and a .bss without raw data), ending where the last raw data ends.
#pragma once

#include <cstdint>
#include <string>

namespace pe_stub {

constexpr uint16_t kPe32 = 0x10B, kPe32Plus = 0x20B;
constexpr size_t kImageSize = 0x600;  // headers, .text and .data, 0x200 each
constexpr size_t kFieldAt = 0x410;    // the u32 behind the marker in .data

// The image with `field` in its data offset field.
inline std::string Image(uint16_t magic, uint32_t field) {
  std::string image(kImageSize, '\0');
  const auto put = [&](size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
  };
  const size_t coff = 0x44, optionalSize = magic == kPe32 ? 224 : 240;
  image.replace(0, 2, "MZ");
  put(0x3C, coff - 4, 4);
  image.replace(coff - 4, 2, "PE");
  put(coff, magic == kPe32 ? 0x14C : 0x8664, 2);  // machine
  put(coff + 2, 3, 2);                            // sections
  put(coff + 16, optionalSize, 2);
  put(coff + 20, magic, 2);
  const struct { const char *name; uint32_t rawSize, rawAt; } sections[] = {
      {".text", 0x200, 0x200}, {".data", 0x200, 0x400}, {".bss", 0, 0x7FFF0000}};
  for (size_t i = 0, header = coff + 20 + optionalSize; i < 3; ++i, header += 40) {
    image.replace(header, std::string(sections[i].name).size(), sections[i].name);
    put(header + 16, sections[i].rawSize, 4);
    put(header + 20, sections[i].rawAt, 4);
  }
  image.replace(0x200, 0x200, std::string(0x200, '\xC3'));
  image.replace(kFieldAt - 6, 6, "wwgT)H");
  put(kFieldAt, field, 4);
  return image;
}

}  // namespace pe_stub
