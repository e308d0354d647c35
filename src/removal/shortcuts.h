// The shortcut phase: shortcut files, then the folders that held them.
#pragma once

// Deletes the ShortcutList's shortcut files.
void RemoveShortcutFiles();

// Removes the shortcuts' folders, and up to their levels of parents.
void RemoveShortcutFolders();
