// The directory phase: files selected by pattern in listed directory trees.
#pragma once

// Removes what the DirectoryList selects, and the folders emptied by that.
// Each entry is a folder and, after its last backslash, a file name pattern;
// an entry with a macro is expanded and must then be a full path, one
// without is relative to the InstallFolder. Entries that do not fit a path
// buffer, protected folders and folders that do not exist are skipped. The
// list is walked by its stored length. Leaves the InstallFolder current once
// any folder was cleaned.
void RemoveDirectories();

// Deletes the files matching `pattern` in the current directory and in every
// folder below it, subfolders first, and removes the folders that end up
// empty, this one included. Protected folders are neither entered nor
// removed. Always returns with the parent of the starting folder current.
void CleanCurrentFolder(const char *pattern);

// Notes the current directory, changes to "..", and removes the noted folder;
// only changes to ".." when the current directory cannot be noted.
void RemoveCurrentFolder();
