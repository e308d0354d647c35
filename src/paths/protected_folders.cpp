#include "protected_folders.h"

#include <windows.h>

#include <shlobj.h>
#include <string.h>

#include "../data/state.h"
#include "ascii_case.h"
#include "backslash.h"
#include "folder_sources.h"
#include "path_macros.h"

struct ShellCandidate {
  int folder;        // CSIDL number
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

static bool MatchesStripped(const char *path, char *candidate) {
  StripTrailingBackslash(candidate);
  return EqualIgnoringAsciiCase(path, candidate);
}

// `candidate` holds the stripped folder; one that leaves no room for the
// suffix is skipped.
static bool MatchesQuickLaunch(const char *path, char *candidate) {
  return AppendBackslash(candidate, PATH_BUFFER_SIZE) &&
         AppendText(candidate, PATH_BUFFER_SIZE, "Microsoft\\Internet Explorer\\Quick Launch") &&
         EqualIgnoringAsciiCase(path, candidate);
}

static bool MatchesShellFolder(const char *path, const ShellCandidate *shell) {
  if (shell->ntOnly && !IsNtPlatform) return false;
  char candidate[PATH_BUFFER_SIZE];
  if (!Folders.shellFolderPath(candidate, shell->folder)) return false;
  if (MatchesStripped(path, candidate)) return true;
  return shell->quickLaunch && MatchesQuickLaunch(path, candidate);
}

static bool MatchesWellKnownFolder(const char *path) {
  char candidate[PATH_BUFFER_SIZE];
  if (ReadWindowsDirectory(candidate) && MatchesStripped(path, candidate)) return true;
  if (ReadSystemDirectory(candidate) && MatchesStripped(path, candidate)) return true;
  for (const ShellCandidate &shell : SHELL_CANDIDATES) {
    if (MatchesShellFolder(path, &shell)) return true;
  }
  return false;
}

static bool MatchesRegistryValue(const char *path, HKEY key, const char *name) {
  char candidate[PATH_BUFFER_SIZE];
  if (!ReadCurrentVersionValue(key, name, candidate)) return false;
  StripTrailingBackslash(candidate);
  return EqualIgnoringAsciiCase(path, candidate);
}

// The program and common files folders as the registry holds them, less one
// trailing backslash, as their macros give them; then the 64-bit ones, which a
// 32-bit process on 64-bit Windows is not shown as "ProgramFilesDir" and
// "CommonFilesDir".
static bool MatchesRegistryFolder(const char *path) {
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
static bool MatchesAllUsersFolder(const char *path) {
  char candidate[MACRO_BUFFER_SIZE] = "#AllUsersDir#";
  ResolvePathMacro(candidate);
  if (candidate[0] == '\0' || candidate[0] == '#') return false;
  return EqualIgnoringAsciiCase(path, candidate);
}

static bool MatchesUserDataFolder(const char *path) {
  for (const ShellCandidate &shell : USER_DATA_CANDIDATES) {
    if (MatchesShellFolder(path, &shell)) return true;
  }
  return MatchesAllUsersFolder(path);
}

int IsProtectedFolder(char *path) {
  size_t length = strlen(path);
  if (length < 4) return 1;
  bool hadBackslash = path[length - 1] == '\\';
  if (hadBackslash) path[length - 1] = '\0';
  bool matched =
      MatchesWellKnownFolder(path) || MatchesRegistryFolder(path) || MatchesUserDataFolder(path);
  if (hadBackslash) path[length - 1] = '\\';
  return matched ? 1 : 0;
}
