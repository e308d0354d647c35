#include "directories.h"

#include <direct.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "../app/state.h"
#include "../data/memory.h"
#include "../data/uninstall_data.h"
#include "../paths/backslash.h"
#include "../paths/path_macros.h"
#include "../paths/protected_folders.h"

static bool IsDotEntry(const char *name) {
  return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// The full path of the current directory into a 260-byte `path`; false when
// it cannot be read or is longer.
static bool ReadCurrentDirectory(char *path) {
  DWORD length = GetCurrentDirectoryA(PATH_BUFFER_SIZE, path);
  return length > 0 && length < PATH_BUFFER_SIZE;
}

void RemoveCurrentFolder() {
  char folder[PATH_BUFFER_SIZE];
  bool noted = ReadCurrentDirectory(folder);
  SetCurrentDirectoryA("..");
  if (noted) _rmdir(folder);
}

// An unreadable path counts as protected: what cannot be checked is left.
static bool CurrentFolderIsProtected() {
  char folder[PATH_BUFFER_SIZE];
  return !ReadCurrentDirectory(folder) || IsProtectedFolder(folder);
}

// Enters each subfolder that is not protected and cleans it; every return
// of CleanCurrentFolder brings the walk back here.
static void CleanSubfolders(const char *pattern, _finddata_t *found) {
  intptr_t search = _findfirst("*.*", found);
  if (search == -1) return;
  do {
    if (!(found->attrib & _A_SUBDIR) || IsDotEntry(found->name)) continue;
    if (!SetCurrentDirectoryA(found->name)) continue;
    if (CurrentFolderIsProtected()) {
      SetCurrentDirectoryA("..");
      continue;
    }
    CleanCurrentFolder(pattern);
  } while (_findnext(search, found) == 0);
  _findclose(search);
}

// Read-only files and files in use fail and stay.
static void DeleteMatchingFiles(const char *pattern, _finddata_t *found) {
  intptr_t search = _findfirst(pattern, found);
  if (search == -1) return;
  do {
    if (!(found->attrib & _A_SUBDIR)) remove(found->name);
  } while (_findnext(search, found) == 0);
  _findclose(search);
}

static bool CurrentFolderIsEmpty(_finddata_t *found) {
  intptr_t search = _findfirst("*.*", found);
  if (search == -1) return true;
  bool empty = true;
  do {
    if (!IsDotEntry(found->name)) empty = false;
  } while (empty && _findnext(search, found) == 0);
  _findclose(search);
  return empty;
}

// One find record per level of the walk, from the heap rather than the
// stack, since a deep tree nests as deep as its paths allow.
void CleanCurrentFolder(const char *pattern) {
  _finddata_t *found = nullptr;
  if (!AllocBlock(sizeof *found, &found)) {
    SetCurrentDirectoryA("..");
    return;
  }
  CleanSubfolders(pattern, found);
  DeleteMatchingFiles(pattern, found);
  if (CurrentFolderIsProtected()) {
    SetCurrentDirectoryA("..");
  } else if (CurrentFolderIsEmpty(found)) {
    RemoveCurrentFolder();
  } else {
    SetCurrentDirectoryA("..");
  }
  FreeAndClear(&found);
}

// A drive path (X:\...) or a network path (\\server\...): a path that depends
// on the current directory or drive is not what the data named.
static bool IsFullPath(const char *path) {
  if (path[0] == '\\' && path[1] == '\\') return true;
  return path[0] != '\0' && path[1] == ':' && path[2] == '\\';
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

static void CleanDirectoryEntry(const char *entry, char *path) {
  if (!ComposeDirectoryPath(entry, path) || !IsFullPath(path)) return;
  char *last = strrchr(path, '\\');
  *last = '\0';
  const char *pattern = last + 1;
  if (IsProtectedFolder(path)) return;
  if (!SetCurrentDirectoryA(path)) return;
  // The folder once more as the system spells it: "..", "." and doubled
  // backslashes must not carry a protected folder past the test.
  const bool isProtected = CurrentFolderIsProtected();
  if (!isProtected) CleanCurrentFolder(pattern);
  if (InstallFolder) SetCurrentDirectoryA(InstallFolder);
  if (!isProtected) _rmdir(path);
}

// Walked by the stored length: a list without its closing empty string ends
// where its bytes end, and a last string without its terminator, perhaps cut
// short, is not used. The path buffer is on the stack: nothing to allocate.
void RemoveDirectories() {
  if (!DirectoryList || DirectoryListLength == 0 || DirectoryList[0] == '\0') return;
  char path[PATH_BUFFER_SIZE];
  const char *entry = DirectoryList;
  const char *end = DirectoryList + DirectoryListLength;
  while (entry < end && *entry != '\0') {
    const char *terminator = static_cast<const char *>(memchr(entry, '\0', end - entry));
    if (!terminator) break;
    CleanDirectoryEntry(entry, path);
    entry = terminator + 1;
  }
}
