#include "macro_names.h"

#include "ascii_case.h"

const char *const MACRO_NAMES[MACRO_COUNT] = {
    "#Windows#",           "#System#",          "#TempDir#", "#CommonFiles#",  "#Program Files#",
    "#MyDocuments#",       "#Desktop#",         "#AppData#", "#LocalAppData#", "#AllUsersAppData#",
    "#AllUsersDocuments#", "#AllUsersDesktop#", "#UserDir#", "#AllUsersDir#",  "#InstallDir#",
};

int FindPathMacro(const char *token) {
  for (int i = 0; i < MACRO_COUNT; ++i) {
    if (EqualIgnoringAsciiCase(token, MACRO_NAMES[i])) return i;
  }
  return -1;
}
