#include "emptied_folders.h"

#include <windows.h>
#include <direct.h>
#include <string.h>

#include "../data/state.h"
#include "../data/uninstall_data.h"
#include "../paths/ascii_case.h"
#include "../paths/backslash.h"
#include "../paths/protected_folders.h"
#include "../ui/ui.h"
#include "rules.h"

// The InstallFolder must not be the current directory while its emptied
// subfolders, and perhaps it, are removed.
static void LeaveInstallFolder() {
  char folder[PATH_BUFFER_SIZE];
  strcpy(folder, InstallFolder);
  StripTrailingBackslash(folder);
  SetCurrentDirectoryA(folder);
  SetCurrentDirectoryA("..");
}

// Removes the folder in WorkPath and its parents until one is protected or
// cannot be removed. A folder that is not there ends the walk before the
// protected-folder test, which asks the shell for every folder it knows and
// would only find that there is nothing to remove.
static void RemoveFolderUpwards() {
  while (GetFileAttributesA(WorkPath) != INVALID_FILE_ATTRIBUTES && !IsProtectedFolder(WorkPath) &&
         _rmdir(WorkPath) == 0) {
    char *last = strrchr(WorkPath, '\\');
    if (!last) return;
    *last = '\0';
  }
}

// Each file's second progress unit is spent here, after those of the
// registry, shortcuts and files. Fonts stay out: their folder is the system's.
void RemoveEmptiedFolders() {
  if (!WorkPath || !InstallFolder) return;
  LeaveInstallFolder();
  // Consecutive entries of one folder cost one walk: nothing else removes
  // folders meanwhile, so a second walk would end as the first did.
  char lastWalked[PATH_BUFFER_SIZE] = "";
  for (uint32_t i = 0; i < FileListCount; ++i) {
    const FileEntry *entry = FileList[i];
    if (entry->flags & FILE_FLAG_FONT) continue;
    if (ComposeEntryFolder(entry) && !EqualIgnoringAsciiCase(WorkPath, lastWalked)) {
      strcpy(lastWalked, WorkPath);
      RemoveFolderUpwards();
    }
    ReportProgress(static_cast<uint64_t>(RegistryListCount) + ShortcutListCount + FileListCount +
                   i);
  }
  AppendBackslash(InstallFolder, PATH_BUFFER_SIZE);
}
