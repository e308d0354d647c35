// The host's converter for the ANSI code pages other than 1252: iconv, strict
// (no transliteration), so a character the page lacks is an error.
#include <errno.h>
#include <iconv.h>

#include "manifest/code_page.h"
#include "manifest/code_page_system.h"

namespace quenrid {

namespace {

std::string IconvName(unsigned codePage) {
  // glibc's CP874 is the IBM page; Windows' Thai page has its own name.
  return codePage == 874 ? "WINDOWS-874" : "CP" + std::to_string(codePage);
}

class Converter {
 public:
  Converter(const std::string &to, const std::string &from, unsigned codePage)
      : handle_(iconv_open(to.c_str(), from.c_str())) {
    if (handle_ == reinterpret_cast<iconv_t>(-1)) {
      throw CodePageError("code page " + std::to_string(codePage) +
                          " is not supported on this system");
    }
  }
  ~Converter() { iconv_close(handle_); }
  Converter(const Converter &) = delete;
  Converter &operator=(const Converter &) = delete;

  // Converts all of `in` from the initial state; returns false with
  // `*failedAt` set at the first input byte that cannot be converted.
  bool Convert(const std::string &in, std::string *out, size_t *failedAt) {
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    std::string input = in;  // iconv wants a mutable pointer
    char *inPtr = input.data();
    size_t inLeft = input.size();
    char buffer[256];
    while (inLeft > 0) {
      char *outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t result = iconv(handle_, &inPtr, &inLeft, &outPtr, &outLeft);
      out->append(buffer, outPtr);
      if (result == static_cast<size_t>(-1) && errno != E2BIG) {
        *failedAt = static_cast<size_t>(inPtr - input.data());
        return false;
      }
    }
    // A decoder may hold the last character back, waiting for an accent to
    // compose with; only this call hands it over.
    for (;;) {
      char *outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t result = iconv(handle_, nullptr, nullptr, &outPtr, &outLeft);
      out->append(buffer, outPtr);
      if (result != static_cast<size_t>(-1)) return true;
      if (errno != E2BIG) {
        *failedAt = in.size();
        return false;
      }
    }
  }

 private:
  iconv_t handle_;
};

}  // namespace

void SystemCheckCodePage(unsigned codePage) {
  Converter probe(IconvName(codePage), "UTF-8", codePage);
}

bool SystemDecodeByte(unsigned char byte, unsigned codePage, std::string *utf8) {
  Converter converter("UTF-8", IconvName(codePage), codePage);
  size_t failedAt = 0;
  return converter.Convert(std::string(1, static_cast<char>(byte)), utf8, &failedAt) &&
         !utf8->empty();
}

std::string SystemFromUtf8(const std::string &utf8, unsigned codePage) {
  // Validate first, so a bad UTF-8 sequence is reported as such rather than
  // as a character the code page lacks.
  for (size_t pos = 0; pos < utf8.size();) DecodeUtf8(utf8, &pos);
  Converter converter(IconvName(codePage), "UTF-8", codePage);
  std::string bytes;
  size_t failedAt = 0;
  if (!converter.Convert(utf8, &bytes, &failedAt)) {
    throw CodePageError(NoEncodingText(DecodeUtf8(utf8, &failedAt), codePage));
  }
  return bytes;
}

std::string SystemToUtf8(const std::string &bytes, unsigned codePage) {
  Converter converter("UTF-8", IconvName(codePage), codePage);
  std::string utf8;
  size_t failedAt = 0;
  if (!converter.Convert(bytes, &utf8, &failedAt)) {
    throw CodePageError(NoMeaningText(bytes, failedAt, codePage));
  }
  return utf8;
}

}  // namespace quenrid
