#include "fonts.h"

#include <windows.h>
#include <shlobj.h>
#include <string.h>

#include "../data/state.h"
#include "../paths/ascii_case.h"
#include "../paths/backslash.h"
#include "../paths/shell_folders.h"
#include "font_name.h"
#include "machine.h"

static const char TrueTypeSuffix[] = " (TrueType)";
static const char NtFontsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
static const char WindowsFontsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";

// Whether the registration's data names the file at `path`: its full path, or
// its bare name when the file lies in the fonts folder, where the system
// looks for bare names. A registration of another font's file that happens
// to carry the same name stays.
static bool NamesFile(const char *data, const char *path) {
  if (EqualIgnoringAsciiCase(data, path)) return true;
  const char *name = strrchr(path, '\\');
  if (strchr(data, '\\') || !name || !EqualIgnoringAsciiCase(data, name + 1)) return false;
  char folder[PATH_BUFFER_SIZE];
  char fonts[PATH_BUFFER_SIZE];
  const size_t length = static_cast<size_t>(name - path);
  if (length >= PATH_BUFFER_SIZE || !GetShellFolderPath(fonts, CSIDL_FONTS)) return false;
  memcpy(folder, path, length);
  folder[length] = '\0';
  StripTrailingBackslash(fonts);
  return EqualIgnoringAsciiCase(folder, fonts);
}

// The registration lives under HKEY_LOCAL_MACHINE in the key of the running
// family only; a missing key or value is no concern of ours.
static void DeleteFontValue(const char *valueName, const char *path) {
  HKEY key;
  if (MachineOpenKey(HKEY_LOCAL_MACHINE, IsNtPlatform ? NtFontsKey : WindowsFontsKey, 0,
                     KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
    return;
  }
  char data[PATH_BUFFER_SIZE];
  DWORD size = sizeof data - 1;
  DWORD type = REG_NONE;
  if (MachineQueryValue(key, valueName, &type, reinterpret_cast<BYTE *>(data), &size) ==
          ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    data[size] = '\0';
    if (NamesFile(data, path)) MachineDeleteValue(key, valueName);
  }
  MachineCloseKey(key);
}

void RemoveFont(const char *path) {
  char name[FONT_NAME_BUFFER_SIZE];
  // The reader gets only the room the suffix leaves, so a name it accepts
  // (508 bytes at most) always takes the suffix; a longer one is ignored.
  ReadFontFullName(path, name, FONT_NAME_BUFFER_SIZE - (sizeof TrueTypeSuffix - 1));
  MachineRemoveFontResource(path);
  if (name[0] != '\0' && AppendText(name, sizeof name, TrueTypeSuffix)) {
    DeleteFontValue(name, path);
  }
}
