#include "directories.h"

#include <windows.h>
#include <direct.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include "../data/memory.h"
#include "../data/state.h"
#include "../data/uninstall_data.h"
#include "../paths/backslash.h"
#include "../paths/protected_folders.h"
#include "rules.h"

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

static void CleanDirectoryEntry(const char *entry, char *path) {
  const char *pattern;
  if (!ResolveDirectoryEntry(entry, path, &pattern)) return;
  if (IsProtectedFolder(path)) return;
  if (!SetCurrentDirectoryA(path)) return;
  // The folder once more as the system spells it: "..", "." and doubled
  // backslashes must not carry a protected folder past the test.
  const bool isProtected = CurrentFolderIsProtected();
  if (!isProtected) CleanCurrentFolder(pattern);
  if (InstallFolder) SetCurrentDirectoryA(InstallFolder);
  if (!isProtected) _rmdir(path);
}

// The path buffer is on the stack: nothing to allocate.
void RemoveDirectories() {
  char path[PATH_BUFFER_SIZE];
  const char *entry = DirectoryList;
  for (const char *end; (end = DirectoryEntryEnd(entry)) != nullptr; entry = end + 1) {
    CleanDirectoryEntry(entry, path);
  }
}
