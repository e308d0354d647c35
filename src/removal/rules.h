// What the removal phases decide about an entry, apart from acting on it:
// the paths they compose, the counts they lower, the keys they refuse. The
// phases and `quenrid plan` both call these, so that a plan cannot disagree
// with a run. Nothing here changes the machine.
#pragma once

#include <windows.h>

#include <stdint.h>
#include <string.h>

#include "../data/uninstall_data.h"
#include "registry_guard.h"


// Writes the entry's full path into WorkPath: a folder starting with "."
// stands for the InstallFolder ("." and a backslash for a folder below it).
// False, with WorkPath empty, when the path does not fit it.
bool ComposeFilePath(const FileEntry *entry);

// Read-only, or refused the write-access test for lack of access; `attributes`
// are the file's as GetFileAttributesA reported them.
bool CountsAsReadOnly(const char *path, DWORD attributes);

// Whether a Win32 error is one that the C runtime reports as EACCES (the file
// is read-only, in use, locked, or a folder), as msvcrt's remove() and
// _access() do.
bool IsAccessError(DWORD error);

// Takes one reference off a shared count (0 stays 0). Returns whether the
// lowered count is written back: not when a file in use would drop to zero,
// so that it keeps its last reference.
inline bool LowerSharedCount(uint32_t *count, bool inUse) {
  if (*count > 0) --*count;
  return !(inUse && *count == 0);
}

// WorkPath becomes the folder that holds the entry's file, or the folder the
// entry names, without its trailing backslash; false when there is none.
bool ComposeEntryFolder(const FileEntry *entry);

// The terminator of the DirectoryList entry at `entry`, or null when the list
// ends there: at its stored length, at its closing empty string, or at a last
// string whose terminator the length leaves out.
const char *DirectoryEntryEnd(const char *entry);

// Splits a DirectoryList entry into its folder, written into the 260-byte
// `path`, and the file name pattern after the folder's last backslash. An
// entry with a macro is expanded, one without is taken below the
// InstallFolder. False when the result does not fit or is not a full path.
bool ResolveDirectoryEntry(const char *entry, char *path, const char **pattern);

// folder, a backslash unless it ends in one, fileName, in WorkPath. False,
// with WorkPath empty, when that does not fit: the entry is skipped, never cut.
bool ComposeShortcutPath(const ShortcutEntry *entry);

// Whether the shortcut folder pass handles the entry: a folder is named, and
// neither folder is too long for a path buffer.
bool ShortcutFoldersApply(const ShortcutEntry *entry);

// Cuts `folder` at its last backslash, so that it names its parent; false,
// leaving it as it is, when it has none.
inline bool CutAtLastBackslash(char *folder) {
  char *last = strrchr(folder, '\\');
  if (!last) return false;
  *last = '\0';
  return true;
}

// The predefined root that the data stores as its 32-bit handle value;
// widened with its sign it is the same predefined handle on a 64-bit system.
inline HKEY RootHandle(uint32_t rootKey) {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(rootKey)));
}

// Splits a value entry into its key, copied into `keyPath` (KEY_TEXT_SIZE
// bytes), and its value name (empty for the default value). False when the
// entry names no value or does not fit.
bool SplitValueEntry(const RegistryEntry *entry, char *keyPath, const char **valueName);

// Opens `parent`\`name` for `access` (and KEY_QUERY_VALUE) without following
// its last name: a key that is a registry link (its "SymbolicLinkValue" is of
// type REG_LINK) gives ERROR_SYMLINK_NOT_SUPPORTED and no handle, so that
// nothing is done to its target through it. Links on the way to it are
// followed, as the system makes some (CurrentControlSet, a user's
// Software\Classes) and products' keys below them are their own. The 95/98/Me
// family has no links: there it is a plain open.
LONG OpenKeyUnlessLink(HKEY parent, const char *name, REGSAM access, HKEY *key);

// IsGuardedKey, IsGuardedValue and FindValueSeparator: registry_guard.h, which the author's
// tool also builds for its host.
