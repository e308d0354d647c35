// What the uninstaller can do with a manifest: what it would skip, or
// resolve elsewhere than meant, measured against its own buffers.
#include <cctype>
#include <map>

#include "manifest/code_page_system.h"
#include "manifest/limits.h"
#include "manifest/manifest.h"
#include "manifest/places.h"
#include "paths/backslash.h"

namespace quenrid {

namespace {

// The length below the install folder beyond which a plausible one (up to 59
// bytes) no longer leaves room.
constexpr size_t kRelativeWarnAbove = 200;

bool IsDrivePath(const std::string &path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         path[2] == '\\';
}

bool IsUncPath(const std::string &path) {
  if (path.compare(0, 2, "\\\\") != 0) return false;
  const size_t share = path.find('\\', 2);
  return share != std::string::npos && share > 2 && share + 1 < path.size() &&
         path[share + 1] != '\\';
}

bool IsInstallRelative(const std::string &folder) {
  return folder == "." || folder.compare(0, 2, ".\\") == 0;
}

// `name` behind `folder` as the uninstaller composes it; `folder` alone when
// the record names the folder itself.
std::string Joined(const std::string &folder, const std::string &name) {
  if (name.empty()) return folder;
  return folder.empty() || folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

std::string Bytes(size_t count) { return std::to_string(count) + " bytes"; }

// A path the uninstaller composes in a 260-byte buffer: refused when it can
// never fit; for one below the install folder, a warning when a long install
// folder would keep it from fitting.
void CheckPathLength(size_t length, bool belowInstallFolder, const std::string &place,
                     std::vector<std::string> *warnings) {
  if (!belowInstallFolder) {
    if (length > kPathMax) {
      Fail(place, "the path is " + Bytes(length) + "; the uninstaller's path buffer holds " +
                      std::to_string(kPathMax) + " and skips it");
    }
    return;
  }
  if (kShortestFolder + length > kPathMax) {
    Fail(place, "the path is " + Bytes(length) + " below the install folder; with even the " +
                    "shortest install folder the uninstaller's path buffer of " +
                    std::to_string(kPathMax) + " bytes cannot hold it");
  }
  if (length > kRelativeWarnAbove) {
    warnings->push_back(place + ": the path is " + Bytes(length) +
                        " below the install folder; the uninstaller skips it when the install "
                        "folder is longer than " +
                        Bytes(kPathMax - length));
  }
}

// Case folding for comparing paths as Windows does: ASCII, Latin-1, Greek
// and Cyrillic capitals, which covers the letters of the ANSI code pages.
char32_t FoldCase(char32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
      (c >= 0x391 && c <= 0x3AB) || (c >= 0x410 && c <= 0x42F)) {
    return c + 0x20;
  }
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

std::string PathKey(const FileRecord &file, unsigned codePage, const std::string &place) {
  std::string folder = file.folder == "." ? ".\\" : file.folder;
  while (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
  const std::string utf8 = Utf8(Joined(folder, file.fileName), codePage, place);
  std::string key;
  for (size_t pos = 0; pos < utf8.size();) AppendUtf8(&key, FoldCase(DecodeUtf8(utf8, &pos)));
  return key;
}

void CheckFiles(const std::vector<FileRecord> &files, unsigned codePage,
                std::vector<std::string> *warnings) {
  std::map<std::string, size_t> seen;
  for (size_t i = 0; i < files.size(); ++i) {
    const FileRecord &file = files[i];
    const std::string place = At("files", i);
    const bool relative = IsInstallRelative(file.folder);
    if (!relative && !IsDrivePath(file.folder) && !IsUncPath(file.folder)) {
      Fail(At(place, "folder"),
           "not a folder the uninstaller knows: \".\" or \".\\sub\" for the install folder, "
           "\"X:\\...\" or \"\\\\server\\share\\...\" for an absolute one");
    }
    // Below the install folder, which ends in a backslash, ".\\" adds nothing.
    const std::string folder = relative && file.folder.size() > 2 ? file.folder.substr(2)
                               : relative                         ? std::string()
                                                                  : file.folder;
    CheckPathLength(Joined(folder, file.fileName).size(), relative, place, warnings);
    const auto earlier = seen.emplace(PathKey(file, codePage, place), i);
    if (!earlier.second) {
      Fail(place, "names the same path as " + At("files", earlier.first->second) +
                      " (compared without regard to case); a shared file would lose two counts");
    }
  }
}

void CheckShortcuts(const std::vector<ShortcutRecord> &shortcuts,
                    std::vector<std::string> *warnings) {
  for (size_t i = 0; i < shortcuts.size(); ++i) {
    const ShortcutRecord &shortcut = shortcuts[i];
    const std::string place = At("shortcuts", i);
    CheckPathLength(Joined(shortcut.folder, shortcut.fileName).size(), false, place, warnings);
    CheckPathLength(shortcut.altFolder.size(), false, At(place, "altFolder"), warnings);
  }
}

// Entries without a macro are taken below the install folder; the length of
// an expanded one is known only on the target machine.
void CheckDirectories(const std::vector<std::string> &directories,
                      std::vector<std::string> *warnings) {
  for (size_t i = 0; i < directories.size(); ++i) {
    if (directories[i].find('#') != std::string::npos) continue;
    CheckPathLength(directories[i].size(), true, At("directories", i), warnings);
  }
}

// Unless it starts with a macro, the whole command text, arguments and a
// leading quote included, is put behind the install folder in a 260-byte
// path buffer before it is split into program and arguments.
void CheckProgram(const std::string &command, std::vector<std::string> *warnings) {
  const size_t start = ProgramLineStart(command.c_str());
  if (command[start] == '#') return;
  const size_t quote = command[0] == '"' ? 1 : 0;
  CheckPathLength(quote + command.size() - start, true, "settings.program", warnings);
}

}  // namespace

std::vector<std::string> CheckUsable(const ManifestDocument &document) {
  const Manifest &manifest = document.manifest;
  std::vector<std::string> warnings;
  if (manifest.messages.empty()) {
    warnings.push_back("messages: none given; every dialog of the uninstaller would be blank");
  }
  CheckFiles(manifest.files, document.codePage, &warnings);
  CheckShortcuts(manifest.shortcuts, &warnings);
  CheckDirectories(manifest.directories, &warnings);
  if (manifest.settings.program) CheckProgram(*manifest.settings.program, &warnings);
  if (manifest.settings.document && manifest.settings.document->size() > kDocumentMax) {
    Fail("settings.document", "the document is " + Bytes(manifest.settings.document->size()) +
                                  "; the uninstaller's buffer holds " +
                                  std::to_string(kDocumentMax));
  }
  return warnings;
}

}  // namespace quenrid
