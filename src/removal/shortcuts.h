// The shortcut phase: shortcut files, then the folders that held them.
#pragma once

// Deletes the ShortcutList's shortcut files (folder, backslash, file name).
// An entry whose path does not fit WorkPath is skipped.
void RemoveShortcutFiles();

// Removes each entry's folder and altFolder, and then up to `levels` of
// their parents, one level at a time in step, as far as they are empty;
// nothing at or above a protected folder on either side. Counts `levels`
// down and shortens the folders in place. An entry with a folder of 260
// characters or more is skipped.
void RemoveShortcutFolders();
