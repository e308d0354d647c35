// File and shortcut folders written with a leading macro ("#AppData#\Vendor",
// "#Programs#\Vendor"): the uninstaller reads plain paths there, so pack
// writes them expanded, on the machine the product is installed on, with the
// uninstaller's own expansion code.
#pragma once

#include <string>

#include "manifest/manifest.h"

namespace quenrid {

// The shell folders that shortcuts live in, named in the macros' style;
// besides the uninstaller's own macros, pack knows these in folders.
struct ShortcutFolderName {
  const char *name;
  int csidl;  // the shell's number for the folder
};
extern const ShortcutFolderName kShortcutFolders[6];

// The entry of kShortcutFolders that `token` names, ASCII letters in any
// case; null for none.
const ShortcutFolderName *FindShortcutFolder(const std::string &token);

// Replaces the leading macro of every file folder and shortcut folder and
// alternative folder; "#InstallDir#" is the folder of `output`, the packed
// file. A "#" without a partner, or not at the start, is part of a name.
// Throws ManifestError naming the place for an unknown macro, a folder the
// machine does not give, a manifest whose code page is not the machine's, and
// on a machine that is not the target (the host build).
void ExpandFolderMacros(ManifestDocument &document, const std::string &output);

// The folder that `token` ("#Name#") names on this machine; the twins are
// folder_macros_win32.cpp and folder_macros_elsewhere.cpp.
std::string ResolveFolderMacro(const std::string &token, const std::string &place,
                               const std::string &output, unsigned codePage);

}  // namespace quenrid
