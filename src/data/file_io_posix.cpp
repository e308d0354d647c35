#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The handle carries the descriptor; -1, the invalid value, maps to
// InvalidFileHandle() by the same cast.
static int AsFd(FileHandle file) { return static_cast<int>(reinterpret_cast<intptr_t>(file)); }
static FileHandle FromFd(int fd) { return reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd)); }

FileHandle OpenExistingFile(const char *path, int mode) {
  static const int flags[] = {O_RDONLY, O_WRONLY, O_RDWR};
  if (mode < OPEN_READ || mode > OPEN_READ_WRITE) return InvalidFileHandle();
  return FromFd(open(path, flags[mode] | O_CLOEXEC));
}

FileHandle CreateOutputFile(const char *path) {
  return FromFd(open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
}

int ReadExact(FileHandle file, void *buffer, uint32_t n) {
  char *at = static_cast<char *>(buffer);
  uint32_t got = 0;
  while (got < n) {
    ssize_t r = read(AsFd(file), at + got, n - got);
    if (r <= 0) return 1;
    got += static_cast<uint32_t>(r);
  }
  return 0;
}

uint32_t GetFilePos(FileHandle file) {
  return static_cast<uint32_t>(lseek(AsFd(file), 0, SEEK_CUR));
}

void SetFilePos(FileHandle file, uint32_t position) {
  lseek(AsFd(file), static_cast<off_t>(position), SEEK_SET);
}

uint32_t GetFileLength(FileHandle file) {
  struct stat info;
  if (fstat(AsFd(file), &info) != 0) return 0;
  return info.st_size > 0xFFFFFFFF ? 0xFFFFFFFFu : static_cast<uint32_t>(info.st_size);
}

void CloseFile(FileHandle file) { close(AsFd(file)); }
