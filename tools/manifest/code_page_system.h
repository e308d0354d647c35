// Internals of the code page layer shared by the portable part and its two
// platform twins (code_page_iconv.cpp, code_page_win32.cpp).
#pragma once

#include <string>

namespace quenrid {

// Decodes the code point at `*pos` and moves past it. Throws CodePageError on
// a byte sequence that is not UTF-8.
char32_t DecodeUtf8(const std::string &utf8, size_t *pos);
void AppendUtf8(std::string *out, char32_t codePoint);

// The one-line texts of the two conversion failures.
std::string NoEncodingText(char32_t codePoint, unsigned codePage);
std::string NoMeaningText(const std::string &bytes, size_t at, unsigned codePage);

// The platform converter. SystemDecodeByte gives the character of one byte
// of a single-byte code page alone (false: it has none); the other two convert
// whole texts of the multi-byte pages, leaving no character held back. They throw
// CodePageError with the texts above, or when the platform lacks the page.
void SystemCheckCodePage(unsigned codePage);
bool SystemDecodeByte(unsigned char byte, unsigned codePage, std::string *utf8);
std::string SystemFromUtf8(const std::string &utf8, unsigned codePage);
std::string SystemToUtf8(const std::string &bytes, unsigned codePage);

}  // namespace quenrid
