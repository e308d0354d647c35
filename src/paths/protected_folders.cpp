#include "protected_folders.h"

#include <windows.h>

#include <shlobj.h>
#include <string.h>

#include "../data/state.h"
#include "ascii_case.h"
#include "backslash.h"
#include "folder_identity.h"
#include "folder_sources.h"
#include "path_macros.h"

struct ShellCandidate {
  uint8_t folder;    // CSIDL number: every one below 256, so a row takes 3 bytes
  bool ntOnly;       // an all-users folder that the 95/98/Me family lacks
  bool quickLaunch;  // its Quick Launch folder is protected as well
};

// Tested in this order, after the Windows and the system directory.
static const ShellCandidate SHELL_CANDIDATES[] = {
    {CSIDL_DESKTOP, false, false},
    {CSIDL_DESKTOPDIRECTORY, false, false},
    {CSIDL_COMMON_DESKTOPDIRECTORY, true, false},
    {CSIDL_FONTS, false, false},
    {CSIDL_PROGRAMS, false, false},
    {CSIDL_COMMON_PROGRAMS, true, false},
    {CSIDL_STARTMENU, false, false},
    {CSIDL_COMMON_STARTMENU, true, false},
    {CSIDL_STARTUP, false, false},
    {CSIDL_COMMON_STARTUP, true, false},
    {CSIDL_APPDATA, false, true},
    {CSIDL_COMMON_APPDATA, false, true},
    {CSIDL_COMMON_DOCUMENTS, false, false},
};

// A well-known folder is resolved as the folder under test was, so that the
// spelling the shell or the registry reports it in does not matter; one that
// is not there is compared in its full form.
static bool MatchesStripped(const ResolvedFolder *path, char *candidate) {
  StripTrailingBackslash(candidate);
  ResolvedFolder known;
  if (ResolveKnownFolder(candidate, &known) == RESOLVED) return SameFolder(path, &known);
  return FullFormEquals(path, candidate);
}

// `candidate` holds the stripped folder; one that leaves no room for the
// suffix is skipped.
static bool MatchesQuickLaunch(const ResolvedFolder *path, char *candidate) {
  return AppendBackslash(candidate, PATH_BUFFER_SIZE) &&
         AppendText(candidate, PATH_BUFFER_SIZE, "Microsoft\\Internet Explorer\\Quick Launch") &&
         MatchesStripped(path, candidate);
}

static bool MatchesShellFolder(const ResolvedFolder *path, const ShellCandidate *shell) {
  if (shell->ntOnly && !IsNtPlatform) return false;
  char candidate[PATH_BUFFER_SIZE];
  if (!Folders.shellFolderPath(candidate, shell->folder)) return false;
  if (MatchesStripped(path, candidate)) return true;
  return shell->quickLaunch && MatchesQuickLaunch(path, candidate);
}

static bool MatchesWellKnownFolder(const ResolvedFolder *path) {
  char candidate[PATH_BUFFER_SIZE];
  if (ReadWindowsDirectory(candidate) && MatchesStripped(path, candidate)) return true;
  if (ReadSystemDirectory(candidate) && MatchesStripped(path, candidate)) return true;
  for (const ShellCandidate &shell : SHELL_CANDIDATES) {
    if (MatchesShellFolder(path, &shell)) return true;
  }
  return false;
}

static bool MatchesRegistryValue(const ResolvedFolder *path, HKEY key, const char *name) {
  char candidate[PATH_BUFFER_SIZE];
  return ReadCurrentVersionValue(key, name, candidate) && MatchesStripped(path, candidate);
}

// The program and common files folders as the registry holds them, less one
// trailing backslash, as their macros give them; then the 64-bit ones, which a
// 32-bit process on 64-bit Windows is not shown as "ProgramFilesDir" and
// "CommonFilesDir".
static bool MatchesRegistryFolder(const ResolvedFolder *path) {
  HKEY key;
  if (!OpenCurrentVersionKey(&key)) return false;
  bool found = MatchesRegistryValue(path, key, "ProgramFilesDir") ||
               MatchesRegistryValue(path, key, "CommonFilesDir") ||
               MatchesRegistryValue(path, key, "ProgramW6432Dir") ||
               MatchesRegistryValue(path, key, "CommonW6432Dir");
  Folders.closeKey(key);
  return found;
}

// Folders that a path macro names and that hold the user's own data: a
// pattern entry on one of them would otherwise empty it. Only the folders
// themselves; their subfolders are a product's to use. A profile is
// protected wherever the shell reports one, on either family.
static const ShellCandidate USER_DATA_CANDIDATES[] = {
    {CSIDL_PERSONAL, false, false},
    {CSIDL_LOCAL_APPDATA, false, false},
    {CSIDL_PROFILE, false, false},
};

// The folder of all users, as "#AllUsersDir#" names it.
static bool MatchesAllUsersFolder(const ResolvedFolder *path) {
  char candidate[MACRO_BUFFER_SIZE] = "#AllUsersDir#";
  ResolvePathMacro(candidate);
  if (candidate[0] == '\0' || candidate[0] == '#' || strlen(candidate) >= PATH_BUFFER_SIZE) {
    return false;
  }
  return MatchesStripped(path, candidate);
}

static bool MatchesUserDataFolder(const ResolvedFolder *path) {
  for (const ShellCandidate &shell : USER_DATA_CANDIDATES) {
    if (MatchesShellFolder(path, &shell)) return true;
  }
  return MatchesAllUsersFolder(path);
}

FolderVerdict CheckFolder(const char *path, char *resolved) {
  if (strlen(path) < 4) return FOLDER_PROTECTED;
  ResolvedFolder folder;
  switch (ResolveFolder(path, &folder)) {
    case RESOLVED: break;
    case RESOLVE_MISSING: return FOLDER_MISSING;
    case RESOLVE_FAILED: return FOLDER_UNRESOLVED;
  }
  if (folder.throughLink) return FOLDER_LINK;
  if (IsRootPath(folder.path) || MatchesWellKnownFolder(&folder) ||
      MatchesRegistryFolder(&folder) || MatchesUserDataFolder(&folder)) {
    return FOLDER_PROTECTED;
  }
  if (resolved) strcpy(resolved, folder.path);
  return FOLDER_MAY_GO;
}

bool IsProtectedFolder(const char *path) { return CheckFolder(path, nullptr) != FOLDER_MAY_GO; }
