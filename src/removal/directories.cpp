#include "directories.h"

#include <windows.h>
#include <io.h>
#include <string.h>

#include "../data/memory.h"
#include "../data/state.h"
#include "../data/uninstall_data.h"
#include "../paths/backslash.h"
#include "../paths/folder_identity.h"
#include "../paths/protected_folders.h"
#include "machine.h"
#include "rules.h"

static bool IsDotEntry(const char *name) {
  return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// The full path of the current directory into a 260-byte `path`; false when
// it cannot be read or is longer.
static bool ReadCurrentDirectory(char *path) {
  DWORD length = MachineCurrentFolder(path);
  return length > 0 && length < PATH_BUFFER_SIZE;
}

void RemoveCurrentFolder() {
  char folder[PATH_BUFFER_SIZE];
  bool noted = ReadCurrentDirectory(folder);
  MachineEnterFolder("..");
  if (noted) MachineRemoveFolder(folder);
}

// One level of the walk, from the heap rather than the stack, since a deep
// tree nests as deep as its paths allow.
struct WalkLevel {
  _finddata_t found;
  char folder[PATH_BUFFER_SIZE];  // the current directory, as the gate resolved it
  char final[PATH_BUFFER_SIZE];   // its final path, or empty where none is told
};

// The current directory passes the gate, with its resolved path in `folder`.
// What cannot be read counts as protected: what cannot be checked is left.
static bool CurrentFolderMayGo(char *folder) {
  return ReadCurrentDirectory(folder) && CheckFolder(folder, folder) == FOLDER_MAY_GO;
}

// Enters each subfolder that is not a link and cleans it; every return of
// CleanCurrentFolder brings the walk back here.
static void CleanSubfolders(const char *pattern, WalkLevel *level) {
  _finddata_t *found = &level->found;
  intptr_t search = MachineFindFirst("*.*", found);
  if (search == -1) return;
  do {
    if (!(found->attrib & _A_SUBDIR) || IsDotEntry(found->name)) continue;
    if (found->attrib & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    if (MachineEnterFolder(found->name)) CleanCurrentFolder(pattern);
  } while (MachineFindNext(search, found) == 0);
  MachineFindClose(search);
}

// Read-only files and files in use fail and stay.
static void DeleteMatchingFiles(const char *pattern, WalkLevel *level) {
  intptr_t search = MachineFindFirst(pattern, &level->found);
  if (search == -1) return;
  do {
    // A link stays where it is: deleting it may delete what it points to.
    const _finddata_t &found = level->found;
    if (!(found.attrib & _A_SUBDIR) &&
        !IsLinkEntry(found.name, found.name, found.attrib, level->final)) {
      MachineDeleteFile(found.name);
    }
  } while (MachineFindNext(search, &level->found) == 0);
  MachineFindClose(search);
}

static bool CurrentFolderIsEmpty(_finddata_t *found) {
  intptr_t search = MachineFindFirst("*.*", found);
  if (search == -1) return true;
  bool empty = true;
  do {
    if (!IsDotEntry(found->name)) empty = false;
  } while (empty && MachineFindNext(search, found) == 0);
  MachineFindClose(search);
  return empty;
}

// The folder is checked as it is entered, and once more before it goes.
void CleanCurrentFolder(const char *pattern) {
  WalkLevel *level = nullptr;
  if (!AllocBlock(sizeof *level, &level)) {
    MachineEnterFolder("..");
    return;
  }
  bool removable = CurrentFolderMayGo(level->folder);
  if (removable) {
    if (!ReadFinalPath(".", level->final)) level->final[0] = '\0';
    CleanSubfolders(pattern, level);
    DeleteMatchingFiles(pattern, level);
    removable = CurrentFolderIsEmpty(&level->found) && CurrentFolderMayGo(level->folder);
  }
  if (removable) {
    RemoveCurrentFolder();
  } else {
    MachineEnterFolder("..");
  }
  FreeAndClear(&level);
}

// The folder is entered and removed as the gate resolved it, never as the
// data spells it.
static void CleanDirectoryEntry(const char *entry, char *path) {
  const char *pattern;
  char folder[PATH_BUFFER_SIZE];
  if (!ResolveDirectoryEntry(entry, path, &pattern)) return;
  if (CheckFolder(path, folder) != FOLDER_MAY_GO || !MachineEnterFolder(folder)) return;
  CleanCurrentFolder(pattern);
  if (InstallFolder) MachineEnterFolder(InstallFolder);
  if (CheckFolder(folder, folder) == FOLDER_MAY_GO) MachineRemoveFolder(folder);
}

// The path buffer is on the stack: nothing to allocate.
void RemoveDirectories() {
  char path[PATH_BUFFER_SIZE];
  const char *entry = DirectoryList;
  for (const char *end; (end = DirectoryEntryEnd(entry)) != nullptr; entry = end + 1) {
    CleanDirectoryEntry(entry, path);
  }
}
