#include "fonts.h"

#include <windows.h>

#include "../data/state.h"
#include "../paths/backslash.h"
#include "font_name.h"

static const char TrueTypeSuffix[] = " (TrueType)";
static const char NtFontsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
static const char WindowsFontsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";

// The registration lives under HKEY_LOCAL_MACHINE in the key of the running
// family only; a missing key or value is no concern of ours.
static void DeleteFontValue(const char *valueName) {
  HKEY key;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, IsNtPlatform ? NtFontsKey : WindowsFontsKey, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  RegDeleteValueA(key, valueName);
  RegCloseKey(key);
}

void RemoveFont(const char *path) {
  char name[FONT_NAME_BUFFER_SIZE];
  // The reader gets only the room the suffix leaves, so a name it accepts
  // (508 bytes at most) always takes the suffix; a longer one is ignored.
  ReadFontFullName(path, name, FONT_NAME_BUFFER_SIZE - (sizeof TrueTypeSuffix - 1));
  RemoveFontResourceA(path);
  if (name[0] != '\0' && AppendText(name, sizeof name, TrueTypeSuffix)) DeleteFontValue(name);
  SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
}
