// What a folder path names on this machine. The data's paths are only text:
// "C:\PROGRA~1", "C:\Windows.", "Q:\" on a drive letter that another one
// stands for, or a folder reached through a link all name folders that their
// spelling does not show. Here the machine decides: its full path, the long
// name of every component, and on the NT family the folder's identity.
#pragma once

#include <windows.h>

#include "../data/state.h"

struct ResolvedFolder {
  char path[PATH_BUFFER_SIZE];  // full long path; a root keeps its backslash
  bool throughLink;             // a component is a junction, link or mount point
  bool hasIdentity;             // its index on its volume was read
  DWORD indexHigh, indexLow;
};

enum ResolveResult { RESOLVED, RESOLVE_MISSING, RESOLVE_FAILED };

// Resolves a folder that a removal may act on: each component is looked up
// in turn, so that short names, trailing dots and blanks become the names the
// machine gives, and a component that is a reparse point marks the folder as
// reached through a link. The folder is then opened for its identity (its
// index on its volume), which is the same whatever drive letter or link led
// there; on the NT family a folder that cannot be opened fails, on the 95/98/Me
// family, which cannot open folders, the path decides. A namespace prefix
// (\\?\, \\.\, \??\), a stream, a wildcard or a path that is not a folder
// fails; a component that is not there makes the folder missing.
ResolveResult ResolveFolder(const char *path, ResolvedFolder *folder);

// Resolves a well-known folder for comparison with one resolved above: on the
// NT family only by opening it, which follows whatever links the system
// itself made on the way; on the 95/98/Me family component by component, and
// then opened where it can be.
ResolveResult ResolveKnownFolder(const char *path, ResolvedFolder *folder);

// Whether two resolved folders are one: the same path, letters in any case,
// or the same index on the same volume (asked only when the indexes agree).
bool SameFolder(const ResolvedFolder *a, const ResolvedFolder *b);

// Whether a resolved path is a root: shorter than 4 characters ("C:\"), or
// a network share with nothing below it.
bool IsRootPath(const char *path);

// Whether `path`, written in full, is that folder's path once made full
// (".", "..", separators, trailing dots and blanks resolved), letters in any
// case: how a well-known folder that is not there is compared.
bool FullFormEquals(const ResolvedFolder *folder, const char *path);

// The final path of what `path` names, links followed, as a plain drive or
// network path in the 260-byte `final`; false where the platform cannot tell
// (before NT 6) or it cannot be opened.
bool ReadFinalPath(const char *path, char *final);

// Whether the directory entry `name`, opened as `path` (its name in the
// current directory, or its full path), with the attributes its find record
// gave, is a link: a reparse point, or an entry whose final path is not its
// folder's final path `folderFinal` and its name (some platforms show a file
// link without the reparse attribute). With an empty `folderFinal` only the
// attribute decides. What cannot be opened counts as a link: a walk leaves it.
bool IsLinkEntry(const char *path, const char *name, DWORD attributes, const char *folderFinal);
