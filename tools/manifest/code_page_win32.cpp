// The Windows converter for the ANSI code pages other than 1252, through the
// system's tables; best-fit substitutions are refused, so a character the page
// lacks is an error as it is on the host.
#include <windows.h>

#include "manifest/code_page.h"
#include "manifest/code_page_system.h"

namespace quenrid {

namespace {

std::wstring ToUtf16(const std::string &utf8) {
  std::wstring wide;
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t codePoint = DecodeUtf8(utf8, &pos);
    if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      wide.push_back(static_cast<wchar_t>(0xD800 + (codePoint >> 10)));
      wide.push_back(static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF)));
    } else {
      wide.push_back(static_cast<wchar_t>(codePoint));
    }
  }
  return wide;
}

// Converts UTF-16 to the code page; false when a character has no encoding.
bool FromUtf16(const std::wstring &wide, unsigned codePage, std::string *bytes) {
  if (wide.empty()) return true;
  BOOL usedDefault = FALSE;
  const int size =
      WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(),
                          static_cast<int>(wide.size()), nullptr, 0, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return false;
  bytes->resize(static_cast<size_t>(size));
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                      &(*bytes)[0], size, nullptr, &usedDefault);
  return true;
}

}  // namespace

void SystemCheckCodePage(unsigned codePage) {
  if (!IsValidCodePage(codePage)) {
    throw CodePageError("code page " + std::to_string(codePage) +
                        " is not supported on this system");
  }
}

bool SystemDecodeByte(unsigned char byte, unsigned codePage, std::string *utf8) {
  const char in = static_cast<char>(byte);
  wchar_t wide[4];
  const int size = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &in, 1, wide, 4);
  for (int i = 0; i < size; ++i) AppendUtf8(utf8, static_cast<char16_t>(wide[i]));
  return size > 0;
}

std::string SystemFromUtf8(const std::string &utf8, unsigned codePage) {
  std::string bytes;
  if (FromUtf16(ToUtf16(utf8), codePage, &bytes)) return bytes;
  // Find the culprit one character at a time; this runs only on failure.
  for (size_t pos = 0; pos < utf8.size();) {
    const size_t start = pos;
    const char32_t codePoint = DecodeUtf8(utf8, &pos);
    std::string ignored;
    if (!FromUtf16(ToUtf16(utf8.substr(start, pos - start)), codePage, &ignored)) {
      throw CodePageError(NoEncodingText(codePoint, codePage));
    }
  }
  throw CodePageError("the text cannot be converted to code page " + std::to_string(codePage));
}

std::string SystemToUtf8(const std::string &bytes, unsigned codePage) {
  if (bytes.empty()) return std::string();
  const int length = static_cast<int>(bytes.size());
  const int size =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (size <= 0) {
    // Find the culprit one character (one or two bytes) at a time.
    for (size_t at = 0; at < bytes.size();) {
      const size_t width = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[at])) ? 2 : 1;
      if (at + width > bytes.size() ||
          MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data() + at,
                              static_cast<int>(width), nullptr, 0) <= 0) {
        throw CodePageError(NoMeaningText(bytes, at, codePage));
      }
      at += width;
    }
    throw CodePageError("the text cannot be converted from code page " + std::to_string(codePage));
  }
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, &wide[0], size);
  std::string utf8;
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t codePoint = static_cast<char16_t>(wide[i]);
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < wide.size()) {
      codePoint =
          0x10000 + ((codePoint - 0xD800) << 10) + (static_cast<char16_t>(wide[++i]) - 0xDC00);
    }
    AppendUtf8(&utf8, codePoint);
  }
  return utf8;
}

}  // namespace quenrid
