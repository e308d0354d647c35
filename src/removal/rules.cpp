#include "rules.h"

#include <string.h>

#include "../data/state.h"
#include "../paths/ascii_case.h"
#include "../paths/backslash.h"
#include "../paths/path_macros.h"
#include "machine.h"

// --- Files and the folders they leave

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
  if (fits && entry->fileName[0] != '\0') {
    fits = AppendBackslash(WorkPath, PATH_BUFFER_SIZE) &&
           AppendText(WorkPath, PATH_BUFFER_SIZE, entry->fileName);
  }
  // What a failed compose leaves is a real folder, not the entry's path.
  if (!fits) WorkPath[0] = '\0';
  return fits;
}

// The runtime's table: the range from a write-protected disk to an exceeded
// sharing buffer (sharing and lock violations among them), and these.
bool IsAccessError(DWORD error) {
  static const uint8_t others[] = {
      ERROR_ACCESS_DENIED, ERROR_CURRENT_DIRECTORY, ERROR_NETWORK_ACCESS_DENIED,
      ERROR_CANNOT_MAKE,   ERROR_FAIL_I24,          ERROR_DRIVE_LOCKED,
      ERROR_SEEK_ON_DEVICE, ERROR_NOT_LOCKED,       ERROR_LOCK_FAILED,
  };
  if (error >= ERROR_WRITE_PROTECT && error <= ERROR_SHARING_BUFFER_EXCEEDED) return true;
  for (uint8_t code : others) {
    if (error == code) return true;
  }
  return false;
}

// The attributes are asked for once more, as _access(path, 2) would ask:
// unreadable for lack of access counts, as a read-only file does.
bool CountsAsReadOnly(const char *path, DWORD attributes) {
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return IsAccessError(GetLastError());
}

bool ComposeEntryFolder(const FileEntry *entry) {
  if (!ComposeFilePath(entry)) return false;  // too long: skipped whole
  if (entry->fileName[0] != '\0') {
    char *last = strrchr(WorkPath, '\\');
    if (!last) return false;
    *last = '\0';
  }
  StripTrailingBackslash(WorkPath);
  return true;
}

// --- Directory entries

// Walked by the stored length: a list without its closing empty string ends
// where its bytes end, and a last string without its terminator, perhaps cut
// short, is not used.
const char *DirectoryEntryEnd(const char *entry) {
  if (!DirectoryList) return nullptr;
  const char *end = DirectoryList + DirectoryListLength;
  if (entry >= end || *entry == '\0') return nullptr;
  return static_cast<const char *>(memchr(entry, '\0', end - entry));
}

// The entry's whole path into the 260-byte `path`: expanded when it holds a
// macro, else below the InstallFolder. False when it does not fit, so that it
// is skipped rather than cut into another path.
static bool ComposeDirectoryPath(const char *entry, char *path) {
  path[0] = '\0';
  if (strchr(entry, '#')) {
    memset(path, 0, PATH_BUFFER_SIZE);
    return ExpandPathMacros(path, entry, PATH_BUFFER_SIZE) < PATH_BUFFER_SIZE;
  }
  return InstallFolder && AppendText(path, PATH_BUFFER_SIZE, InstallFolder) &&
         AppendBackslash(path, PATH_BUFFER_SIZE) && AppendText(path, PATH_BUFFER_SIZE, entry);
}

bool ResolveDirectoryEntry(const char *entry, char *path, const char **pattern) {
  if (!ComposeDirectoryPath(entry, path) || !IsFullPath(path)) return false;
  char *last = strrchr(path, '\\');
  *last = '\0';
  *pattern = last + 1;
  return true;
}

// --- Shortcuts

bool ComposeShortcutPath(const ShortcutEntry *entry) {
  WorkPath[0] = '\0';
  if (AppendText(WorkPath, PATH_BUFFER_SIZE, entry->folder) &&
      AppendBackslash(WorkPath, PATH_BUFFER_SIZE) &&
      AppendText(WorkPath, PATH_BUFFER_SIZE, entry->fileName)) {
    return true;
  }
  WorkPath[0] = '\0';
  return false;
}

// A folder too long for a path buffer cannot have held a shortcut the
// system made; neither it nor its parents are touched on its account.
static bool FitsPathBuffer(const char *folder) { return strlen(folder) < PATH_BUFFER_SIZE; }

bool ShortcutFoldersApply(const ShortcutEntry *entry) {
  return entry->folder[0] != '\0' && FitsPathBuffer(entry->folder) &&
         FitsPathBuffer(entry->altFolder);
}

// --- Registry

bool SplitValueEntry(const RegistryEntry *entry, char *keyPath, const char **valueName) {
  if (strlen(entry->keyPath) >= KEY_TEXT_SIZE) return false;
  strcpy(keyPath, entry->keyPath);
  char *separator = const_cast<char *>(FindValueSeparator(keyPath));
  if (!separator) return false;
  *separator = '\0';
  *valueName = separator + 2;
  return true;
}

LONG OpenKeyUnlessLink(HKEY parent, const char *name, REGSAM access, HKEY *key) {
  if (!IsNtPlatform) return MachineOpenKey(parent, name, 0, access, key);
  LONG result = MachineOpenKey(parent, name, REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE, key);
  if (result != ERROR_SUCCESS) return result;
  DWORD type = REG_NONE;
  if (MachineQueryValue(*key, "SymbolicLinkValue", &type, nullptr, nullptr) == ERROR_SUCCESS &&
      type == REG_LINK) {
    MachineCloseKey(*key);
    return ERROR_SYMLINK_NOT_SUPPORTED;
  }
  return ERROR_SUCCESS;
}
