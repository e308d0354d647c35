// Helpers shared by the verbs: whole files, written so that a failure never
// leaves a damaged output behind, and the --code-page check, with errors that
// name what they are about.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#endif

#include "manifest/code_page.h"
#include "manifest/code_page_system.h"
#include "quenrid/commands.h"

#ifndef O_BINARY
#define O_BINARY 0
#endif

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

// A new file beside the target, removed again unless it was renamed into place.
class TempFile {
 public:
  explicit TempFile(const std::string &target) {
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      path_ = target + ".quenrid-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
      fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0666);
      if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0)
      throw ToolError(target + ": cannot create a file beside it: " + std::strerror(errno));
  }
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (!path_.empty()) std::remove(path_.c_str());
  }
  TempFile(const TempFile &) = delete;
  TempFile &operator=(const TempFile &) = delete;

  const std::string &path() const { return path_; }

  void Write(const std::string &bytes, const std::string &target) {
    for (size_t done = 0; done < bytes.size();) {
      const auto wrote =
          write(fd_, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
      if (wrote <= 0) Fail(target);
      done += static_cast<size_t>(wrote);
    }
#ifndef _WIN32
    // Keep the mode of the file it replaces, and reach the disk before the
    // rename makes it the target.
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0) fchmod(fd_, existing.st_mode & 07777);
    if (fsync(fd_) != 0) Fail(target);
#endif
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) Fail(target);
  }

  void RenameTo(const std::string &target) {
#ifdef _WIN32
    const bool moved = MoveFileExA(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!moved) {
      throw ToolError(target + ": cannot replace: Windows error " + std::to_string(GetLastError()));
    }
#else
    if (std::rename(path_.c_str(), target.c_str()) != 0) {
      throw ToolError(target + ": cannot replace: " + std::strerror(errno));
    }
#endif
    path_.clear();
  }

 private:
  [[noreturn]] static void Fail(const std::string &target) {
    throw ToolError(target + ": cannot write: " + std::strerror(errno));
  }

  std::string path_;
  int fd_ = -1;
};

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

void WriteWholeFile(const std::string &path, const std::string &bytes,
                    const std::function<void(const std::string &)> &check) {
  TempFile temp(path);
  temp.Write(bytes, path);
  if (check) check(temp.path());
  temp.RenameTo(path);
}

void PatchFile(const std::string &path, size_t offset, const std::string &bytes) {
  File file = Open(path, "r+b", "open for writing");
  if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0) {
    throw ToolError(path + ": cannot seek: " + std::strerror(errno));
  }
  Write(std::move(file), path, bytes);
}

void RefuseSameFile(const std::string &output, const std::string &input, const char *role) {
  std::error_code error;
  if (std::filesystem::equivalent(output, input, error)) {
    throw UsageError(output + ": is the " + role + " itself; write the output to another file");
  }
}

void RequireRegularFile(const std::string &path) {
  std::error_code error;
  if (std::filesystem::exists(path, error) && !std::filesystem::is_regular_file(path, error)) {
    throw ToolError(path +
                    ": not a regular file; the uninstaller's reader opens the file again "
                    "by name, so save it to a file first");
  }
}

std::string LowerAscii(std::string text) {
  for (char &c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

void WriteStdout(const std::string &text) {
  std::cout << text << std::flush;
  if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) {
    throw ToolError(std::string("standard output: cannot write: ") + std::strerror(errno));
  }
}

void ReportLine(const std::string &prefix, const std::string &text) {
  std::string line = prefix + ": ";
  for (size_t pos = 0; pos < text.size();) {
    const size_t start = pos;
    char32_t codePoint;
    try {
      codePoint = DecodeUtf8(text, &pos);
    } catch (const CodePageError &) {
      codePoint = 0xFFFFFFFF;  // not UTF-8: shown byte by byte
      pos = start + 1;
    }
    char escape[16];
    if (codePoint == '\n' || codePoint == '\r') {
      line.push_back(' ');
    } else if (codePoint < 0x20 || codePoint == 0x7F || (codePoint >= 0x80 && codePoint <= 0x9F)) {
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(codePoint));
      line += escape;
    } else if (codePoint == 0xFFFFFFFF) {
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(text[start]));
      line += escape;
    } else {
      line.append(text, start, pos - start);
    }
  }
  std::cerr << line << std::endl;
}

unsigned CheckedCodePage(unsigned codePage) {
  try {
    CheckCodePage(codePage);
  } catch (const CodePageError &error) {
    throw UsageError(std::string("--code-page: ") + error.what());
  }
  return codePage;
}

}  // namespace quenrid
