// The file phase: installed files, shared-DLL counts, COM servers and fonts;
// and the in-use test that the main flow runs before any removal.
#pragma once

#include "../data/uninstall_data.h"
#include "rules.h"  // ComposeFilePath

// Removes the FileList's files and folders, from the last entry to the first.
void RemoveFiles();

// True as soon as one file flagged FILE_FLAG_CHECK_IN_USE is in use.
bool AnyFileInUse();

// True when the file exists and cannot be opened for reading and writing
// with others allowed to read. A read-only file is made writable for the
// test and is read-only again afterwards.
bool IsFileInUse(const char *path);

// Remove or add FILE_ATTRIBUTE_READONLY, keeping the other attributes;
// failures are ignored.
void ClearReadOnly(const char *path);
void SetReadOnly(const char *path);
