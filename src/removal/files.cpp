#include "files.h"

#include <errno.h>
#include <io.h>
#include <string.h>
#include <windows.h>

#include "../app/state.h"
#include "../data/file_io.h"
#include "../paths/backslash.h"

void RemoveFiles() {}

// Read-only, or refused the write-access test for lack of access.
static bool CountsAsReadOnly(const char *path, DWORD attributes) {
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return _access(path, 2) != 0 && errno == EACCES;
}

static int OpenFails(const char *path) {
  FileHandle file = OpenExistingFile(path, OPEN_READ_WRITE);
  if (file == InvalidFileHandle()) return 1;
  CloseFile(file);
  return 0;
}

int IsFileInUse(const char *path) {
  DWORD attributes = GetFileAttributesA(path);
  if (!CountsAsReadOnly(path, attributes)) {
    return attributes == INVALID_FILE_ATTRIBUTES ? 0 : OpenFails(path);
  }
  ClearReadOnly(path);
  if (CountsAsReadOnly(path, GetFileAttributesA(path))) return 1;
  int inUse = OpenFails(path);
  SetReadOnly(path);
  return inUse;
}

int AnyFileInUse() {
  for (uint32_t i = 0; i < FileListCount; ++i) {
    const FileEntry *entry = FileList[i];
    if (entry->fileName[0] == '\0' || !(entry->flags & FILE_FLAG_CHECK_IN_USE)) continue;
    if (ComposeFilePath(entry) && IsFileInUse(WorkPath)) return 1;
  }
  return 0;
}

bool ComposeFilePath(const FileEntry *entry) {
  if (!WorkPath || !InstallFolder) return false;
  WorkPath[0] = '\0';
  const char *folder = entry->folder;
  bool fits;
  if (folder[0] == '.') {
    fits = AppendText(WorkPath, PATH_BUFFER_SIZE, InstallFolder) &&
           (folder[1] != '\\' || AppendText(WorkPath, PATH_BUFFER_SIZE, folder + 2));
  } else {
    fits = AppendText(WorkPath, PATH_BUFFER_SIZE, folder);
  }
  if (!fits || entry->fileName[0] == '\0') return fits;
  return AppendBackslash(WorkPath, PATH_BUFFER_SIZE) &&
         AppendText(WorkPath, PATH_BUFFER_SIZE, entry->fileName);
}

static void ChangeReadOnly(const char *path, bool readOnly) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (readOnly) {
    attributes |= FILE_ATTRIBUTE_READONLY;
  } else {
    attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  }
  SetFileAttributesA(path, attributes);
}

void ClearReadOnly(const char *path) { ChangeReadOnly(path, false); }
void SetReadOnly(const char *path) { ChangeReadOnly(path, true); }
