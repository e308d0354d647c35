#include "shortcuts.h"

void RemoveShortcutFiles() {}

void RemoveShortcutFolders() {}
