// This machine's folders, as the uninstaller finds them.
#include <windows.h>

#include <cstring>

#include "paths/folder_sources.h"
#include "paths/macro_names.h"
#include "paths/path_macros.h"
#include "quenrid/folder_macros.h"

namespace quenrid {

namespace {

// The folder of the packed file: its full path cut at its last backslash, a
// drive root keeping its own.
std::string OutputFolder(const std::string &output, const std::string &place) {
  char full[MAX_PATH];
  char *name = nullptr;
  const DWORD length = GetFullPathNameA(output.c_str(), MAX_PATH, full, &name);
  if (length == 0 || length >= MAX_PATH || !name || name == full) {
    throw ManifestError(place + ": the packed file's folder cannot be told from \"" + output +
                        "\"");
  }
  std::string folder(full, name - full);
  if (folder.size() > 3) folder.pop_back();
  return folder;
}

}  // namespace

std::string ResolveFolderMacro(const std::string &token, const std::string &place,
                               const std::string &output, unsigned codePage) {
  // The machine gives its folders in its own ANSI code page.
  if (codePage != GetACP()) {
    throw ManifestError(place + ": \"" + token + "\" would be expanded in this machine's code page " +
                        std::to_string(GetACP()) + ", but the manifest's strings are in " +
                        std::to_string(codePage));
  }
  const int macro = FindPathMacro(token.c_str());
  if (macro == MACRO_INSTALL_DIR) return OutputFolder(output, place);
  char folder[MACRO_BUFFER_SIZE] = "";
  bool found = false;
  if (macro >= 0) {
    if (token.size() < sizeof folder) {
      std::strcpy(folder, token.c_str());
      ResolvePathMacro(folder);
      found = token != folder;  // left as it was: the folder could not be obtained
    }
  } else {
    const ShortcutFolderName *shell = FindShortcutFolder(token);
    if (!shell) {
      throw ManifestError(place + ": \"" + token +
                          "\" is no macro that pack knows: the uninstaller's path macros, and "
                          "#StartMenu#, #Programs#, #Startup# and their #AllUsers# forms");
    }
    found = Folders.shellFolderPath(folder, shell->csidl);
  }
  if (!found) throw ManifestError(place + ": this machine gives no folder for \"" + token + "\"");
  return folder;
}

}  // namespace quenrid
