#include "path_macros.h"

#include <windows.h>

#include <shlobj.h>
#include <string.h>

#include "../data/memory.h"
#include "../data/state.h"
#include "backslash.h"
#include "folder_sources.h"
#include "macro_names.h"

// Each source below writes a folder into a MACRO_BUFFER_SIZE buffer and
// returns false when it could not be obtained.

static bool ShellFolder(char *folder, int number) {
  return Folders.shellFolderPath(folder, number);
}

// The names the fall-backs below are made of, each written once; a name
// after its backslash is the text from its second character.
static const char APPLICATION_DATA[] = "\\Application Data";
static const char ADMINISTRATOR[] = "Profiles\\Administrator\\";
static const char LOCAL_SETTINGS[] = "\\Local Settings\\";
static const char ALL_USERS[] = "\\All Users";

// W: the Windows directory, one backslash, then `a`, `b` and `c`.
static bool WindowsPlus(char *folder, const char *a, const char *b = "", const char *c = "") {
  return ReadWindowsDirectory(folder) && AppendBackslash(folder, MACRO_BUFFER_SIZE) &&
         AppendTexts(folder, MACRO_BUFFER_SIZE, a, b, c, nullptr);
}

// AppData ended at its last backslash `cuts` times, then `a` and `b`.
static bool CutAppData(char *folder, int cuts, const char *a, const char *b = "") {
  if (!ShellFolder(folder, CSIDL_APPDATA)) return false;
  for (int i = 0; i < cuts; ++i) {
    char *last = strrchr(folder, '\\');
    if (!last) return false;
    *last = '\0';
  }
  return AppendTexts(folder, MACRO_BUFFER_SIZE, a, b, nullptr);
}

static bool WindowsMacro(char *folder) { return ReadWindowsDirectory(folder); }
static bool SystemMacro(char *folder) { return ReadSystemDirectory(folder); }
static bool TempDirMacro(char *folder) { return ReadTempPath(folder); }

// Without "CommonFilesDir" the common files are taken to lie in the program
// files folder.
static bool CommonFilesMacro(char *folder) {
  HKEY key;
  if (!OpenCurrentVersionKey(&key)) return false;
  bool found = ReadCurrentVersionValue(key, "CommonFilesDir", folder) ||
               (ReadCurrentVersionValue(key, "ProgramFilesDir", folder) &&
                AppendBackslash(folder, MACRO_BUFFER_SIZE) &&
                AppendText(folder, MACRO_BUFFER_SIZE, "Common Files"));
  Folders.closeKey(key);
  return found;
}

static bool ProgramFilesMacro(char *folder) {
  HKEY key;
  if (!OpenCurrentVersionKey(&key)) return false;
  bool found = ReadCurrentVersionValue(key, "ProgramFilesDir", folder);
  Folders.closeKey(key);
  return found;
}

static bool MyDocumentsMacro(char *folder) { return ShellFolder(folder, CSIDL_PERSONAL); }
static bool DesktopMacro(char *folder) { return ShellFolder(folder, CSIDL_DESKTOPDIRECTORY); }

// Systems without the shell folder keep the profiles below the Windows
// directory: on NT as the Administrator's, on 95/98/Me without profiles.
static bool AppDataMacro(char *folder) {
  if (ShellFolder(folder, CSIDL_APPDATA)) return true;
  return WindowsPlus(folder, IsNtPlatform ? ADMINISTRATOR : "", APPLICATION_DATA + 1);
}

static bool LocalAppDataMacro(char *folder) {
  if (ShellFolder(folder, CSIDL_LOCAL_APPDATA)) return true;
  if (!IsNtPlatform) return WindowsPlus(folder, APPLICATION_DATA + 1);
  return CutAppData(folder, 1, LOCAL_SETTINGS, APPLICATION_DATA + 1) ||
         WindowsPlus(folder, ADMINISTRATOR, LOCAL_SETTINGS + 1, APPLICATION_DATA + 1);
}

// Where a folder shared by all users lies when the shell does not know it,
// `leaf` being its name below the folder of all users ("" for that folder):
// on 95/98/Me W\All Users, on NT the folder of the profiles (AppData cut
// twice) and All Users, or without a usable AppData W\Profiles\All Users.
static bool AllUsersFallBack(char *folder, const char *leaf) {
  if (!IsNtPlatform) return WindowsPlus(folder, ALL_USERS + 1, leaf);
  return CutAppData(folder, 2, ALL_USERS, leaf) || WindowsPlus(folder, "Profiles", ALL_USERS, leaf);
}

static bool AllUsersAppDataMacro(char *folder) {
  return ShellFolder(folder, CSIDL_COMMON_APPDATA) || AllUsersFallBack(folder, APPLICATION_DATA);
}

static bool AllUsersDocumentsMacro(char *folder) {
  return ShellFolder(folder, CSIDL_COMMON_DOCUMENTS) || AllUsersFallBack(folder, "\\Documents");
}

static bool AllUsersDesktopMacro(char *folder) {
  return ShellFolder(folder, CSIDL_COMMON_DESKTOPDIRECTORY) ||
         AllUsersFallBack(folder, "\\Desktop");
}

// 95/98/Me without profiles: the Windows directory. NT: the parent of
// AppData, or the first drive's root when not even that is known.
static bool UserDirMacro(char *folder) {
  if (ShellFolder(folder, CSIDL_PROFILE)) return true;
  if (!IsNtPlatform) return ReadWindowsDirectory(folder);
  if (!CutAppData(folder, 1, "")) strcpy(folder, "c:\\");
  return true;
}

// The parent of the common documents. A folder directly in a drive root
// gives that root, with its backslash.
static bool ParentOfCommonDocuments(char *folder) {
  if (!ShellFolder(folder, CSIDL_COMMON_DOCUMENTS)) return false;
  char *last = strrchr(folder, '\\');
  if (!last) {
    strcpy(folder, "c:\\");
  } else if (last > folder && last[-1] == ':') {
    last[1] = '\0';
  } else {
    *last = '\0';
  }
  return true;
}

static bool AllUsersDirMacro(char *folder) {
  return ParentOfCommonDocuments(folder) || AllUsersFallBack(folder, "");
}

static bool InstallDirMacro(char *folder) {
  if (!InstallFolder) return false;
  folder[0] = '\0';
  return AppendText(folder, MACRO_BUFFER_SIZE, InstallFolder);
}

// One resolver per name of MACRO_NAMES, in the same order.
static bool (*const MACRO_RESOLVERS[])(char *folder) = {
    WindowsMacro,      SystemMacro,          TempDirMacro,           CommonFilesMacro,
    ProgramFilesMacro, MyDocumentsMacro,     DesktopMacro,           AppDataMacro,
    LocalAppDataMacro, AllUsersAppDataMacro, AllUsersDocumentsMacro, AllUsersDesktopMacro,
    UserDirMacro,      AllUsersDirMacro,     InstallDirMacro,
};
static_assert(sizeof MACRO_RESOLVERS / sizeof MACRO_RESOLVERS[0] == MACRO_COUNT,
              "one resolver per macro name");

// The folder is built apart from the token: a failed source may leave text
// in its buffer, and the token must then stay as it was written.
void ResolvePathMacro(char *token) {
  int macro = FindPathMacro(token);
  if (macro < 0) {
    token[0] = '\0';
    return;
  }
  char folder[MACRO_BUFFER_SIZE];
  folder[0] = '\0';
  if (MACRO_RESOLVERS[macro](folder)) {
    StripTrailingBackslash(folder);
    memcpy(token, folder, strlen(folder) + 1);
  }
}

// The expanded path as it grows: what fits stays in the working buffer, and
// `length` counts the whole path, also past the buffer's end.
struct Expansion {
  char *text;       // the zero-filled working buffer
  uint32_t held;    // characters in it, at most EXPANSION_BUFFER_SIZE - 1
  uint32_t length;  // characters of the whole expanded path
};

static void AppendToExpansion(Expansion *expansion, const char *text, uint32_t count) {
  uint32_t room = EXPANSION_BUFFER_SIZE - 1 - expansion->held;
  uint32_t kept = count < room ? count : room;
  memcpy(expansion->text + expansion->held, text, kept);
  expansion->held += kept;
  uint32_t left = 0xFFFFFFFFu - expansion->length;
  expansion->length += count < left ? count : left;
}

// The token is resolved in a buffer of its own, since the working buffer may
// lack the room for a folder behind it. A token too long for that buffer is
// no known name, and an unknown macro vanishes.
static void AppendMacro(Expansion *expansion, const char *token, uint32_t tokenLength) {
  char folder[MACRO_BUFFER_SIZE];
  folder[0] = '\0';
  if (tokenLength < MACRO_BUFFER_SIZE) {
    memcpy(folder, token, tokenLength);
    folder[tokenLength] = '\0';
    ResolvePathMacro(folder);
  }
  AppendToExpansion(expansion, folder, static_cast<uint32_t>(strlen(folder)));
}

// Scanning goes on in the source only, never in resolved text.
static void ExpandInto(Expansion *expansion, const char *source) {
  const char *end;
  while (const char *open = FindMacroToken(source, &end)) {
    AppendToExpansion(expansion, source, static_cast<uint32_t>(open - source));
    AppendMacro(expansion, open, static_cast<uint32_t>(end - open));
    source = end;
  }
  AppendToExpansion(expansion, source, static_cast<uint32_t>(strlen(source)));
}

// The text when it fits in `size` bytes, else its first size - 1 characters;
// the output is terminated either way.
static void CopyOut(char *output, uint32_t size, const char *text, uint32_t count) {
  if (count > size - 1) count = size - 1;
  memcpy(output, text, count);
  output[count] = '\0';
}

uint32_t ExpandPathMacros(char *output, const char *source, uint32_t size) {
  bool writes = output && size > 0;
  Expansion expansion = {nullptr, 0, 0};
  if (!AllocZeroed(EXPANSION_BUFFER_SIZE, &expansion.text)) {
    // Without the working buffer the path passes through unexpanded.
    if (writes) CopyOut(output, size, source, static_cast<uint32_t>(strlen(source)));
    return static_cast<uint32_t>(strlen(source));
  }
  ExpandInto(&expansion, source);
  if (writes) CopyOut(output, size, expansion.text, expansion.held);
  FreeAndClear(&expansion.text);
  return expansion.length;
}
