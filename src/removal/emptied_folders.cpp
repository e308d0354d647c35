#include "emptied_folders.h"

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

// The InstallFolder must not be the current directory while its emptied
// subfolders, and perhaps it, are removed.
static void LeaveInstallFolder() {
  char folder[PATH_BUFFER_SIZE];
  strcpy(folder, InstallFolder);
  StripTrailingBackslash(folder);
  MachineEnterFolder(folder);
  MachineEnterFolder("..");
}

// Removes the folder in WorkPath and its parents until one may not go or
// cannot be removed. The walk climbs the resolved path, so that it passes the
// folder's real parents; a folder that is not there ends it before the gate
// asks the shell for every folder it knows.
static void RemoveFolderUpwards() {
  char folder[PATH_BUFFER_SIZE];
  if (CheckFolder(WorkPath, folder) != FOLDER_MAY_GO) return;
  while (MachineRemoveFolder(folder) && CutAtLastBackslash(folder) &&
         CheckFolder(folder, folder) == FOLDER_MAY_GO) {
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
