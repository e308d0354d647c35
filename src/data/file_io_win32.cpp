#include "file_io.h"

#include <windows.h>

static HANDLE AsHandle(FileHandle file) { return static_cast<HANDLE>(file); }

FileHandle OpenExistingFile(const char *path, int mode) {
  static const DWORD access[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static const DWORD share[] = {FILE_SHARE_READ, 0, FILE_SHARE_READ};
  if (mode < OPEN_READ || mode > OPEN_READ_WRITE) return InvalidFileHandle();
  return CreateFileA(path, access[mode], share[mode], nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

FileHandle CreateOutputFile(const char *path) {
  return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

int ReadExact(FileHandle file, void *buffer, uint32_t n) {
  DWORD got = 0;
  if (!ReadFile(AsHandle(file), buffer, n, &got, nullptr)) return 1;
  return got == n ? 0 : 1;
}

uint32_t GetFilePos(FileHandle file) {
  return SetFilePointer(AsHandle(file), 0, nullptr, FILE_CURRENT);
}

void SetFilePos(FileHandle file, uint32_t position) {
  // The high half makes positions of 2 GB and more absolute, not negative.
  LONG high = 0;
  SetFilePointer(AsHandle(file), static_cast<LONG>(position), &high, FILE_BEGIN);
}

uint32_t GetFileLength(FileHandle file) {
  DWORD high = 0;
  DWORD low = GetFileSize(AsHandle(file), &high);
  return high ? 0xFFFFFFFFu : low;
}

void CloseFile(FileHandle file) { CloseHandle(AsHandle(file)); }
