// File helpers: thin wrappers over the platform's file calls, with a Win32
// twin (file_io_win32.cpp) and a POSIX twin (file_io_posix.cpp).
#pragma once

#include <stdint.h>

typedef void *FileHandle;

// The value OpenExistingFile and CreateOutputFile return on failure (the same
// bits as Win32's INVALID_HANDLE_VALUE).
inline FileHandle InvalidFileHandle() {
  return reinterpret_cast<FileHandle>(static_cast<intptr_t>(-1));
}

enum OpenMode {
  OPEN_READ = 0,        // read access, others may read
  OPEN_WRITE = 1,       // write access, no sharing
  OPEN_READ_WRITE = 2,  // read and write access, others may read
};

// Opens an existing file; returns InvalidFileHandle() when it cannot.
FileHandle OpenExistingFile(const char *path, int mode);
// Creates a new file for writing without sharing; fails when the name exists
// in any form, a link or a dangling link included, so that nothing someone
// else placed there is written through or reused.
FileHandle CreateOutputFile(const char *path);
// Returns 0 when exactly n bytes were read, 1 on a failed or short read. A
// short read leaves the bytes it got at the start of the buffer.
int ReadExact(FileHandle file, void *buffer, uint32_t n);
// Current position from the start of the file.
uint32_t GetFilePos(FileHandle file);
// Moves to an absolute position; positions past the end are allowed.
void SetFilePos(FileHandle file, uint32_t position);
void CloseFile(FileHandle file);
// Length of the file in bytes (0xFFFFFFFF for anything larger).
uint32_t GetFileLength(FileHandle file);
