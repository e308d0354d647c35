#include "manifest/code_page.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>

#include "manifest/code_page_system.h"

namespace quenrid {

namespace {

// Bytes 0x80-0x9F of code page 1252; the rest map to the same code point.
// The five bytes Windows leaves undefined map to the C1 control of the same
// value, as MultiByteToWideChar does, so every byte survives a round trip.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

// The code pages a Windows system can have as its ANSI code page; the first
// four use two bytes for some characters, the rest one byte for each.
const unsigned kAnsiCodePages[] = {874,  932,  936,  949,  950,  1250, 1251,
                                   1252, 1253, 1254, 1255, 1256, 1257, 1258};
const unsigned kMultiByteCodePages[] = {932, 936, 949, 950};

bool IsMultiByte(unsigned codePage) {
  return std::find(std::begin(kMultiByteCodePages), std::end(kMultiByteCodePages), codePage) !=
         std::end(kMultiByteCodePages);
}

char32_t Cp1252ToCodePoint(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80] : byte;
}

std::string InvalidUtf8Text(size_t at) { return "invalid UTF-8 at byte " + std::to_string(at); }

}  // namespace

char32_t DecodeUtf8(const std::string &utf8, size_t *pos) {
  const size_t start = *pos;
  const unsigned char lead = static_cast<unsigned char>(utf8[start]);
  size_t length = lead < 0x80                    ? 1
                  : lead >= 0xC2 && lead <= 0xDF ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                 : 0;
  if (length == 0 || start + length > utf8.size()) throw CodePageError(InvalidUtf8Text(start));
  char32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(utf8[start + i]);
    if ((next & 0xC0) != 0x80) throw CodePageError(InvalidUtf8Text(start));
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  // Over-long forms, surrogates and values past U+10FFFF are not UTF-8.
  static const char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (codePoint < kShortest[length] || codePoint > 0x10FFFF ||
      (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    throw CodePageError(InvalidUtf8Text(start));
  }
  *pos = start + length;
  return codePoint;
}

void AppendUtf8(std::string *out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out->push_back(static_cast<char>(codePoint));
    return;
  }
  const int length = codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
  static const unsigned char kLeadBits[] = {0, 0, 0xC0, 0xE0, 0xF0};
  out->push_back(static_cast<char>(kLeadBits[length] | (codePoint >> (6 * (length - 1)))));
  for (int i = length - 2; i >= 0; --i) {
    out->push_back(static_cast<char>(0x80 | ((codePoint >> (6 * i)) & 0x3F)));
  }
}

std::string NoEncodingText(char32_t codePoint, unsigned codePage) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
  return std::string("character ") + name + " has no encoding in code page " +
         std::to_string(codePage);
}

std::string NoMeaningText(const std::string &bytes, size_t at, unsigned codePage) {
  char byte[8];
  std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(bytes[at]));
  return std::string("byte ") + byte + " at position " + std::to_string(at) +
         " has no meaning in code page " + std::to_string(codePage);
}

void CheckCodePage(unsigned codePage) {
  if (std::find(std::begin(kAnsiCodePages), std::end(kAnsiCodePages), codePage) ==
      std::end(kAnsiCodePages)) {
    throw CodePageError("code page " + std::to_string(codePage) +
                        " is not a Windows ANSI code page (874, 932, 936, 949, 950 or 1250-1258)");
  }
  if (codePage != 1252) SystemCheckCodePage(codePage);
}

namespace {

// A single-byte code page as a table of what each byte means on its own.
// Every byte is converted alone, so the system's decoder can neither hold a
// last character back nor compose a letter and a following accent into
// one character that encodes to other bytes (1255, 1258).
struct ByteTable {
  std::string utf8[256];           // the byte's character; empty when it has none
  std::map<char32_t, char> bytes;  // the way back, one byte per character
};

const ByteTable &TableFor(unsigned codePage) {
  static std::map<unsigned, ByteTable> tables;
  auto found = tables.find(codePage);
  if (found != tables.end()) return found->second;
  ByteTable table;
  for (int byte = 0; byte < 256; ++byte) {
    std::string utf8;
    if (codePage == 1252) {
      AppendUtf8(&utf8, Cp1252ToCodePoint(static_cast<unsigned char>(byte)));
    } else if (!SystemDecodeByte(static_cast<unsigned char>(byte), codePage, &utf8)) {
      continue;
    }
    size_t pos = 0;
    const char32_t codePoint = DecodeUtf8(utf8, &pos);
    // A byte that stands for more than one character has no way back.
    if (pos != utf8.size() || table.bytes.count(codePoint)) continue;
    table.utf8[byte] = utf8;
    table.bytes[codePoint] = static_cast<char>(byte);
  }
  return tables.emplace(codePage, std::move(table)).first->second;
}

// Names the first character of `utf8` that does not come back the same
// through a multi-byte code page, once the whole text did not.
[[noreturn]] void BlameCharacter(const std::string &utf8, unsigned codePage) {
  for (size_t pos = 0; pos < utf8.size();) {
    const size_t start = pos;
    const char32_t codePoint = DecodeUtf8(utf8, &pos);
    const std::string one = utf8.substr(start, pos - start);
    if (SystemToUtf8(SystemFromUtf8(one, codePage), codePage) != one) {
      throw CodePageError(NoEncodingText(codePoint, codePage) + " that reads back the same");
    }
  }
  throw CodePageError("the text does not read back the same from code page " +
                      std::to_string(codePage));
}

}  // namespace

std::string Utf8ToCodePage(const std::string &utf8, unsigned codePage) {
  CheckCodePage(codePage);
  if (IsMultiByte(codePage)) {
    const std::string bytes = SystemFromUtf8(utf8, codePage);
    if (SystemToUtf8(bytes, codePage) != utf8) BlameCharacter(utf8, codePage);
    return bytes;
  }
  const ByteTable &table = TableFor(codePage);
  std::string bytes;
  for (size_t pos = 0; pos < utf8.size();) {
    const char32_t codePoint = DecodeUtf8(utf8, &pos);
    const auto found = table.bytes.find(codePoint);
    if (found == table.bytes.end()) throw CodePageError(NoEncodingText(codePoint, codePage));
    bytes.push_back(found->second);
  }
  return bytes;
}

std::string CodePageToUtf8(const std::string &bytes, unsigned codePage) {
  CheckCodePage(codePage);
  if (IsMultiByte(codePage)) {
    const std::string utf8 = SystemToUtf8(bytes, codePage);
    if (SystemFromUtf8(utf8, codePage) != bytes) {
      // Report the first character, one or two bytes, that does not come back.
      for (size_t at = 0; at < bytes.size();) {
        std::string one, back;
        for (size_t width = 1; width <= 2 && at + width <= bytes.size() && back.empty(); ++width) {
          one = bytes.substr(at, width);
          try {
            back = SystemFromUtf8(SystemToUtf8(one, codePage), codePage);
          } catch (const CodePageError &) {
          }
        }
        if (back != one) {
          throw CodePageError(NoMeaningText(bytes, at, codePage) + " that reads back the same");
        }
        at += one.size();
      }
      throw CodePageError("the bytes do not read back the same in code page " +
                          std::to_string(codePage));
    }
    return utf8;
  }
  const ByteTable &table = TableFor(codePage);
  std::string utf8;
  for (size_t at = 0; at < bytes.size(); ++at) {
    const std::string &character = table.utf8[static_cast<unsigned char>(bytes[at])];
    if (character.empty()) throw CodePageError(NoMeaningText(bytes, at, codePage));
    utf8 += character;
  }
  return utf8;
}

}  // namespace quenrid
