#include "shell_folders.h"

#include <windows.h>

#include <shlobj.h>

bool GetShellFolderPath(char *buffer, int folder) {
  LPITEMIDLIST list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folder, &list)) || !list) return false;
  const bool found = SHGetPathFromIDListA(list, buffer) != FALSE;
  // The list belongs to the shell's allocator; without one it cannot be freed.
  IMalloc *allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
    allocator->Free(list);
    allocator->Release();
  }
  return found;
}
