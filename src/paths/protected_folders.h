// The one gate of every folder removal: whether a folder may be removed or
// cleaned, decided on what the folder is on this machine, not on its text.
#pragma once

enum FolderVerdict {
  FOLDER_MAY_GO,      // an ordinary folder: it may be removed or cleaned
  FOLDER_PROTECTED,   // a drive root, or a folder of the system or the user's shell
  FOLDER_LINK,        // reached through a junction, link or mount point
  FOLDER_MISSING,     // not there: nothing to remove
  FOLDER_UNRESOLVED,  // no folder path, or the machine cannot say what it names
};

// Resolves `path` (folder_identity.h: full long path, links, identity) and
// compares it with the system's and shell's well-known folders, resolved the
// same way and looked up afresh at every call: the Windows and system
// folders, desktops, fonts, start menus and their programs and startup
// folders, application data and its Quick Launch folders, all users'
// documents, the program and common files folders (and their 64-bit ones),
// the user's documents, local application data and profile, and the folder
// of all users. A subfolder of one of them is not protected. A path shorter
// than 4 characters is protected without a look. When the verdict is
// FOLDER_MAY_GO and `resolved` is not null, the 260-byte `resolved` receives
// the folder's resolved path: the one to act on, since it is what was checked.
FolderVerdict CheckFolder(const char *path, char *resolved);

// True when the folder must be left alone: any verdict but FOLDER_MAY_GO.
bool IsProtectedFolder(const char *path);
