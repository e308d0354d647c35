// Helpers shared by the verbs: whole files and the --code-page check, with
// errors that name what they are about.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "manifest/code_page.h"
#include "quenrid/commands.h"

namespace quenrid {

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE *)>;

File Open(const std::string &path, const char *mode, const char *action) {
  File file(std::fopen(path.c_str(), mode), &std::fclose);
  if (!file) throw ToolError(path + ": cannot " + action + ": " + std::strerror(errno));
  return file;
}

void Write(File file, const std::string &path, const std::string &bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
      std::fclose(file.release()) != 0) {
    throw ToolError(path + ": cannot write: " + std::strerror(errno));
  }
}

}  // namespace

std::string ReadWholeFile(const std::string &path) {
  File file = Open(path, "rb", "read");
  std::string bytes;
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
  if (std::ferror(file.get())) throw ToolError(path + ": cannot read: " + std::strerror(errno));
  return bytes;
}

void WriteWholeFile(const std::string &path, const std::string &bytes) {
  Write(Open(path, "wb", "create"), path, bytes);
}

void PatchFile(const std::string &path, size_t offset, const std::string &bytes) {
  File file = Open(path, "r+b", "open for writing");
  if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) {
    throw ToolError(path + ": cannot seek: " + std::strerror(errno));
  }
  Write(std::move(file), path, bytes);
}

unsigned CheckedCodePage(unsigned codePage) {
  Within("--code-page", [codePage] { CheckCodePage(codePage); });
  return codePage;
}

}  // namespace quenrid
