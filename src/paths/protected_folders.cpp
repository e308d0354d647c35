#include "protected_folders.h"

#include <windows.h>

#include <shlobj.h>
#include <string.h>

#include "../app/state.h"
#include "ascii_case.h"
#include "backslash.h"
#include "folder_sources.h"

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

// The program and common files folders, compared as the registry holds them.
static bool MatchesRegistryFolder(const char *path) {
  HKEY key;
  if (!OpenCurrentVersionKey(&key)) return false;
  char candidate[PATH_BUFFER_SIZE];
  bool found = (ReadCurrentVersionValue(key, "ProgramFilesDir", candidate) &&
                EqualIgnoringAsciiCase(path, candidate)) ||
               (ReadCurrentVersionValue(key, "CommonFilesDir", candidate) &&
                EqualIgnoringAsciiCase(path, candidate));
  Folders.closeKey(key);
  return found;
}

int IsProtectedFolder(char *path) {
  size_t length = strlen(path);
  if (length < 4) return 1;
  bool hadBackslash = path[length - 1] == '\\';
  if (hadBackslash) path[length - 1] = '\0';
  int result = MatchesWellKnownFolder(path) || MatchesRegistryFolder(path) ? 1 : 0;
  if (hadBackslash) path[length - 1] = '\\';
  return result;
}
