// Conversion between the manifest's UTF-8 and the ANSI code page the
// uninstaller's strings are written in.
//
// Code page 1252 comes from our own table, so the host and Windows builds
// agree byte for byte; the other Windows ANSI code pages go through the
// platform's converter (iconv on the host, the Win32 calls on Windows).
#pragma once

#include <stdexcept>
#include <string>

namespace quenrid {

constexpr unsigned kDefaultCodePage = 1252;

// A code page that cannot be used, or a text it cannot carry; what() is one
// line without the place, which the caller adds.
struct CodePageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Throws CodePageError unless `codePage` is a Windows ANSI code page this
// build can convert.
void CheckCodePage(unsigned codePage);

// UTF-8 to bytes in `codePage`. Throws CodePageError naming the first
// character the code page lacks, or has no bytes for that read back as the
// same character, or the first byte that is not UTF-8.
std::string Utf8ToCodePage(const std::string &utf8, unsigned codePage);

// Bytes in `codePage` to UTF-8, each byte of a single-byte page on its own,
// so nothing is held back or composed. Every byte has a meaning in 1252;
// elsewhere a byte or pair without one, or without a character that encodes
// back to it, throws CodePageError.
std::string CodePageToUtf8(const std::string &bytes, unsigned codePage);

}  // namespace quenrid
