#include "quenrid/folder_macros.h"

#include "paths/ascii_case.h"
#include "paths/macro_names.h"

namespace quenrid {

const ShortcutFolderName kShortcutFolders[6] = {
    {"#StartMenu#", 0x0B},         {"#Programs#", 0x02},         {"#Startup#", 0x07},
    {"#AllUsersStartMenu#", 0x16}, {"#AllUsersPrograms#", 0x17}, {"#AllUsersStartup#", 0x18},
};

const ShortcutFolderName *FindShortcutFolder(const std::string &token) {
  for (const ShortcutFolderName &shell : kShortcutFolders) {
    if (EqualIgnoringAsciiCase(token.c_str(), shell.name)) return &shell;
  }
  return nullptr;
}

namespace {

void Expand(std::string &folder, const std::string &place, const std::string &output,
            unsigned codePage) {
  const char *end;
  if (FindMacroToken(folder.c_str(), &end) != folder.c_str()) return;
  const size_t length = static_cast<size_t>(end - folder.c_str());
  folder =
      ResolveFolderMacro(folder.substr(0, length), place, output, codePage) + folder.substr(length);
}

}  // namespace

void ExpandFolderMacros(ManifestDocument &document, const std::string &output) {
  Manifest &manifest = document.manifest;
  for (size_t i = 0; i < manifest.files.size(); ++i) {
    Expand(manifest.files[i].folder, "files[" + std::to_string(i) + "].folder", output,
           document.codePage);
  }
  for (size_t i = 0; i < manifest.shortcuts.size(); ++i) {
    const std::string place = "shortcuts[" + std::to_string(i) + "].";
    Expand(manifest.shortcuts[i].folder, place + "folder", output, document.codePage);
    Expand(manifest.shortcuts[i].altFolder, place + "altFolder", output, document.codePage);
  }
}

}  // namespace quenrid
