#include "shortcuts.h"

#include <windows.h>
#include <string.h>

#include "../data/state.h"
#include "../data/uninstall_data.h"
#include "../paths/ascii_case.h"
#include "../paths/backslash.h"
#include "../paths/protected_folders.h"
#include "../ui/ui.h"
#include "machine.h"
#include "rules.h"

// Both passes report over the same stretch of the bar, after the files'.
static void ReportShortcutProgress(uint32_t i) {
  ReportProgress(static_cast<uint64_t>(FileListCount) + i);
}

void RemoveShortcutFiles() {
  for (uint32_t i = 0; i < ShortcutListCount; ++i) {
    const ShortcutEntry *entry = ShortcutList[i];
    if (WorkPath && entry->fileName[0] != '\0' && ComposeShortcutPath(entry)) {
      MachineDeleteFile(WorkPath);
    }
    ReportShortcutProgress(i);
  }
}

// A folder that is the current directory cannot go; step out of it first.
static void RemoveFolderOnce(const char *folder, const char *currentDirectory) {
  if (EqualIgnoringAsciiCase(folder, currentDirectory)) MachineEnterFolder("..");
  MachineRemoveFolder(folder);
}

// A folder that is not there lets the walk go on to its parent; any other
// verdict but one that lets it go ends the walk.
static bool EndsWalk(FolderVerdict verdict) {
  return verdict != FOLDER_MAY_GO && verdict != FOLDER_MISSING;
}

// Removes `folder` and `altFolder` in step, then their parents up to
// `levels` times, never at or above a folder that the gate keeps on either
// side. Each is removed as the gate resolved it.
static void RemoveEntryFolders(ShortcutEntry *entry) {
  char *folder = entry->folder;
  char *altFolder = entry->altFolder;
  for (;;) {
    char resolved[PATH_BUFFER_SIZE];
    char altResolved[PATH_BUFFER_SIZE];
    FolderVerdict verdict = CheckFolder(folder, resolved);
    if (EndsWalk(verdict)) return;
    FolderVerdict altVerdict =
        altFolder[0] != '\0' ? CheckFolder(altFolder, altResolved) : FOLDER_MISSING;
    if (EndsWalk(altVerdict)) return;
    char currentDirectory[PATH_BUFFER_SIZE];
    DWORD length = MachineCurrentFolder(currentDirectory);
    if (length == 0 || length >= PATH_BUFFER_SIZE) currentDirectory[0] = '\0';
    StripTrailingBackslash(currentDirectory);
    if (verdict == FOLDER_MAY_GO) RemoveFolderOnce(resolved, currentDirectory);
    if (altVerdict == FOLDER_MAY_GO) RemoveFolderOnce(altResolved, currentDirectory);
    if (entry->levels == 0) return;
    --entry->levels;
    if (!CutAtLastBackslash(folder)) return;
    if (altFolder[0] != '\0' && !CutAtLastBackslash(altFolder)) return;
  }
}

// Runs after every shortcut file of every entry is gone, so a folder that
// several entries share is empty by the time the first of them reaches it.
void RemoveShortcutFolders() {
  for (uint32_t i = 0; i < ShortcutListCount; ++i) {
    ShortcutEntry *entry = ShortcutList[i];
    if (ShortcutFoldersApply(entry)) RemoveEntryFolders(entry);
    ReportShortcutProgress(i);
  }
}
