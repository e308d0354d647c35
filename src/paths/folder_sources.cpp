#include "folder_sources.h"

#include "../data/state.h"
#include "shell_folders.h"

FolderSources Folders = {GetWindowsDirectoryA, GetSystemDirectoryA, GetTempPathA,
                         RegOpenKeyExA,        RegQueryValueExA,    RegCloseKey,
                         GetShellFolderPath};

// A directory call returns the length written, 0 on failure, or the size it
// would need when the buffer is too small (and then nothing usable).
static bool Fits(DWORD length) { return length > 0 && length < PATH_BUFFER_SIZE; }

bool ReadWindowsDirectory(char *buffer) {
  return Fits(Folders.windowsDirectory(buffer, PATH_BUFFER_SIZE));
}

bool ReadSystemDirectory(char *buffer) {
  return Fits(Folders.systemDirectory(buffer, PATH_BUFFER_SIZE));
}

bool ReadTempPath(char *buffer) { return Fits(Folders.tempPath(PATH_BUFFER_SIZE, buffer)); }

bool OpenCurrentVersionKey(HKEY *key) {
  return Folders.openKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0,
                         KEY_READ, key) == ERROR_SUCCESS;
}

// A value stored without its terminator comes back without one.
bool ReadCurrentVersionValue(HKEY key, const char *name, char *buffer) {
  DWORD size = PATH_BUFFER_SIZE;
  BYTE *data = reinterpret_cast<BYTE *>(buffer);
  if (Folders.queryValue(key, name, nullptr, nullptr, data, &size) != ERROR_SUCCESS) return false;
  if (size > 0 && buffer[size - 1] == '\0') return true;
  if (size >= PATH_BUFFER_SIZE) return false;
  buffer[size] = '\0';
  return true;
}
