#include "shortcuts.h"

#include <direct.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "../app/state.h"
#include "../app/ui.h"
#include "../data/uninstall_data.h"
#include "../paths/ascii_case.h"
#include "../paths/backslash.h"
#include "../paths/protected_folders.h"

// Both passes report over the same stretch of the bar, after the files'.
static void ReportShortcutProgress(uint32_t i) {
  ReportProgress(static_cast<uint64_t>(FileListCount) + i);
}

// folder, a backslash unless it ends in one, fileName. False, with WorkPath
// empty, when that does not fit: the entry is skipped, never cut.
static bool ComposeShortcutPath(const ShortcutEntry *entry) {
  WorkPath[0] = '\0';
  if (AppendText(WorkPath, PATH_BUFFER_SIZE, entry->folder) &&
      AppendBackslash(WorkPath, PATH_BUFFER_SIZE) &&
      AppendText(WorkPath, PATH_BUFFER_SIZE, entry->fileName)) {
    return true;
  }
  WorkPath[0] = '\0';
  return false;
}

void RemoveShortcutFiles() {
  for (uint32_t i = 0; i < ShortcutListCount; ++i) {
    const ShortcutEntry *entry = ShortcutList[i];
    if (WorkPath && entry->fileName[0] != '\0' && ComposeShortcutPath(entry)) remove(WorkPath);
    ReportShortcutProgress(i);
  }
}

// A folder that is the current directory cannot go; step out of it first.
static void RemoveFolderOnce(const char *folder, const char *currentDirectory) {
  if (EqualIgnoringAsciiCase(folder, currentDirectory)) SetCurrentDirectoryA("..");
  _rmdir(folder);
}

// The folder names its parent afterwards; false when it has no backslash.
static bool CutAtLastBackslash(char *folder) {
  char *last = strrchr(folder, '\\');
  if (!last) return false;
  *last = '\0';
  return true;
}

// Removes `folder` and `altFolder` in step, then their parents up to
// `levels` times, never at or above a protected folder on either side.
static void RemoveEntryFolders(ShortcutEntry *entry) {
  char *folder = entry->folder;
  char *altFolder = entry->altFolder;
  for (;;) {
    if (IsProtectedFolder(folder)) return;
    if (altFolder[0] != '\0' && IsProtectedFolder(altFolder)) return;
    char currentDirectory[PATH_BUFFER_SIZE];
    DWORD length = GetCurrentDirectoryA(PATH_BUFFER_SIZE, currentDirectory);
    if (length == 0 || length >= PATH_BUFFER_SIZE) currentDirectory[0] = '\0';
    StripTrailingBackslash(currentDirectory);
    RemoveFolderOnce(folder, currentDirectory);
    if (altFolder[0] != '\0') RemoveFolderOnce(altFolder, currentDirectory);
    if (entry->levels == 0) return;
    --entry->levels;
    if (!CutAtLastBackslash(folder)) return;
    if (altFolder[0] != '\0' && !CutAtLastBackslash(altFolder)) return;
  }
}

// A folder too long for a path buffer cannot have held a shortcut the
// system made; neither it nor its parents are touched on its account.
static bool FitsPathBuffer(const char *folder) { return strlen(folder) < PATH_BUFFER_SIZE; }

// Runs after every shortcut file of every entry is gone, so a folder that
// several entries share is empty by the time the first of them reaches it.
void RemoveShortcutFolders() {
  for (uint32_t i = 0; i < ShortcutListCount; ++i) {
    ShortcutEntry *entry = ShortcutList[i];
    if (entry->folder[0] != '\0' && FitsPathBuffer(entry->folder) &&
        FitsPathBuffer(entry->altFolder)) {
      RemoveEntryFolders(entry);
    }
    ReportShortcutProgress(i);
  }
}
