// quenrid plan: every step a packed uninstaller would take on this machine,
// in its order, with what it would meet there. It reads the block with the
// uninstaller's reader and decides with the uninstaller's own rules (paths,
// macros, protected folders, shared counts, the registry guard, the program
// line); what the phases would remove so far is kept in a model, so that a
// later step sees the folders an earlier one empties. It changes nothing:
// files and keys are only looked at and opened, the current directory stays
// as it is, and no process is started.
#include <windows.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "app/resolve.h"
#include "app/switches.h"
#include "data/file_io.h"
#include "data/messages.h"
#include "data/state.h"
#include "data/uninstall_data.h"
#include "data/working_buffer.h"
#include "paths/ascii_case.h"
#include "paths/backslash.h"
#include "paths/folder_identity.h"
#include "paths/protected_folders.h"
#include "manifest/manifest.h"
#include "quenrid/commands.h"
#include "removal/rules.h"

namespace quenrid {

namespace {

using Json = nlohmann::ordered_json;

struct PlanOptions {
  std::string file;
  std::string switches;
  bool json = false;
};

// Strings of the block and of the system are in the ANSI code page; JSON
// and the terminal take UTF-8.
std::string Utf8(const std::string &ansi) {
  if (ansi.empty()) return ansi;
  const int wide =
      MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &text[0], wide);
  const int narrow =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, &utf8[0], narrow, nullptr, nullptr);
  return utf8;
}

std::string Lower(std::string text) {
  for (char &c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The path as the system spells it ("..", "." and doubled backslashes
// resolved), without a trailing backslash unless it is a root.
std::string FullPath(const std::string &path) {
  char full[MAX_PATH * 2];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  std::string result = length > 0 && length < sizeof full ? std::string(full) : path;
  if (result.size() > 3 && result.back() == '\\') result.pop_back();
  return result;
}

// The gate's verdict on a folder, in words, with the resolved path that a
// removal would act on.
std::string Verdict(const std::string &path, std::string *resolved) {
  char folder[PATH_BUFFER_SIZE] = "";
  switch (CheckFolder(path.c_str(), folder)) {
    case FOLDER_MAY_GO: *resolved = folder; return "removable";
    case FOLDER_PROTECTED: return "protected";
    case FOLDER_LINK: return "a link, or reached through one";
    case FOLDER_MISSING: return "missing";
    case FOLDER_UNRESOLVED: return "cannot be resolved";
  }
  return "cannot be resolved";
}

// What the run would have removed so far: files and folders by their full
// path, registry keys and values by root name and path, letters in any case.
class Model {
 public:
  bool Gone(const std::string &path) const { return Below(gone_, Lower(FullPath(path))); }
  bool KeyGone(const std::string &key) const { return Below(goneKeys_, Lower(key)); }
  void Remove(const std::string &path) { gone_.insert(Lower(FullPath(path))); }
  void RemoveKey(const std::string &key) { goneKeys_.insert(Lower(key)); }

  DWORD Attributes(const std::string &path) const {
    return Gone(path) ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
  }
  bool Exists(const std::string &path) const { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }
  // Empty once what the run removed before is gone; `except` (a full path)
  // counts as gone too.
  bool IsEmpty(const std::string &folder, const std::string &except = "") const {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = folder + "\\" + name;
      if (!Gone(child) && Lower(FullPath(child)) != Lower(except)) empty = false;
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
    return empty;
  }

 private:
  // `path` or a folder (key) above it is in `set`.
  static bool Below(const std::set<std::string> &set, std::string path) {
    for (;;) {
      if (set.count(path)) return true;
      const size_t at = path.rfind('\\');
      if (at == std::string::npos || at == 0) return false;
      path.resize(at);
    }
  }

  std::set<std::string> gone_;
  std::set<std::string> goneKeys_;
};

// A file that another process holds: the in-use test of the file phase,
// which for a read-only file asks only for read access rather than making
// it writable for the test.
bool IsHeld(const std::string &path, bool readOnly) {
  FileHandle file = OpenExistingFile(path.c_str(), readOnly ? OPEN_READ : OPEN_READ_WRITE);
  if (file == InvalidFileHandle()) return true;
  CloseFile(file);
  return false;
}


class Planner {
 public:
  explicit Planner(SwitchSet switches) : switches_(switches) {}

  Json Run() {
    Confirmation();
    Program();
    Files();
    Directories();
    ShortcutFiles();
    ShortcutFolders();
    EmptiedFolders();
    Registry();
    Closing();
    SelfDeletion();
    Json plan;
    plan["uninstaller"] = Utf8(ModulePath);
    plan["installFolder"] = Utf8(InstallFolder);
    plan["windows"] = IsNtPlatform ? "NT" : "95/98/Me";
    plan["switches"] = {
        {"quiet", switches_.quiet}, {"S", switches_.s}, {"X", switches_.x}, {"N", switches_.n}};
    plan["steps"] = steps_;
    plan["removed"] = removed_;
    plan["removedOnYes"] = removedOnYes_;
    return plan;
  }

 private:
  Json &Step(const char *phase, const std::string &what) {
    steps_.push_back({{"phase", phase}, {"what", what}});
    return steps_.back();
  }
  Json &PathStep(const char *phase, const std::string &what, const std::string &path) {
    Json &step = Step(phase, what);
    step["path"] = Utf8(path);
    return step;
  }
  void Removed(const std::string &path) {
    removed_.push_back(Utf8(path));
    model_.Remove(path);
  }
  // A folder removal as _rmdir would go: an existing, empty folder.
  std::string TryRemoveFolder(const std::string &folder) {
    if (!model_.Exists(folder)) return "missing";
    if (!model_.IsEmpty(folder)) return "not empty";
    Removed(folder);
    return "removed";
  }

  void Confirmation() {
    if (switches_.quiet) return;
    Step("confirmation", "asks message 1")["text"] = Utf8(LookupMessage(0, MSG_CONFIRM));
    Json held = Json::array();
    for (uint32_t i = 0; i < FileListCount; ++i) {
      const FileEntry *entry = FileList[i];
      if (entry->fileName[0] == '\0' || !(entry->flags & FILE_FLAG_CHECK_IN_USE)) continue;
      if (!ComposeFilePath(entry)) continue;
      const DWORD attributes = GetFileAttributesA(WorkPath);
      if (attributes != INVALID_FILE_ATTRIBUTES &&
          IsHeld(WorkPath, CountsAsReadOnly(WorkPath, attributes))) {
        held.push_back(Utf8(WorkPath));
      }
    }
    Json &step = Step("confirmation", held.empty() ? "no flagged file in use"
                                                   : "asks message 15 until these are free");
    step["inUse"] = held;
  }

  void Program() {
    const char *command = SettingsString(SETTINGS_PROGRAM_AT);
    if (!command) return;
    Json &step = Step("program", "pre-uninstall program");
    step["line"] = Utf8(command);
    if (switches_.x && !switches_.s) {
      step["outcome"] = "not run (/X without /S)";
      return;
    }
    char *expansion;
    char *program;
    char *arguments;
    if (!ResolveProgramLine(command, &expansion, &program, &arguments)) {
      step["outcome"] = "not run: the line does not fit its buffer";
      return;
    }
    char line[PROGRAM_LINE_SIZE];
    char folder[PATH_BUFFER_SIZE];
    step["program"] = Utf8(program);
    step["arguments"] = Utf8(arguments);
    step["workingFolder"] = ProgramFolder(folder, program) ? Utf8(folder) : "";
    step["waits"] = (SettingsFlags() & SETTINGS_WAIT_FOR_PROGRAM) != 0;
    const bool exists = GetFileAttributesA(program) != INVALID_FILE_ATTRIBUTES;
    step["exists"] = exists;
    if (!BuildProgramLine(line, program, arguments)) {
      step["outcome"] = "not run: the command line does not fit";
    } else {
      step["outcome"] =
          (exists ? "started as " : "cannot be started (no such program) as ") + Utf8(line);
    }
    FreeWorkingBuffer(expansion);
  }

  // The file phase, from the last entry to the first.
  void Files() {
    for (uint32_t i = FileListCount; i-- > 0;) {
      const FileEntry *entry = FileList[i];
      if (!ComposeFilePath(entry)) {
        Step("files", "entry " + std::to_string(i))["outcome"] = "skipped: too long";
        continue;
      }
      if (entry->fileName[0] == '\0') {
        Folder(WorkPath);
      } else {
        File(entry, WorkPath);
      }
    }
  }

  void Folder(const std::string &path) {
    Json &step = PathStep("files", "folder", path);
    std::string folder;
    const std::string verdict = model_.Exists(path) ? Verdict(path, &folder) : "missing";
    const std::string outcome = folder.empty() ? verdict : TryRemoveFolder(folder);
    step["state"] = outcome == "removed" ? "removable" : outcome;
    step["outcome"] = outcome == "removed" ? "removed" : "stays";
  }

  void File(const FileEntry *entry, const std::string &path) {
    Json &step = PathStep("files", "file", path);
    const DWORD attributes = model_.Attributes(path);
    const bool present = attributes != INVALID_FILE_ATTRIBUTES;
    const bool readOnly = present && CountsAsReadOnly(path.c_str(), attributes);
    const bool inUse = present && IsHeld(path, readOnly);
    step["state"] = !present ? "missing" : inUse ? "in use" : readOnly ? "read-only" : "present";
    bool removable = !inUse;
    bool asked = false;
    if (entry->flags & FILE_FLAG_SHARED_DLL) removable = SharedCount(step, path, inUse, &asked);
    if (!removable) {
      step["outcome"] = "stays";
      return;
    }
    if (entry->flags & FILE_FLAG_FONT) step["first"] = "removes the font";
    if (entry->flags & FILE_FLAG_COM_SERVER) step["first"] = "unregisters the COM server";
    if (!present) {
      step["outcome"] = "nothing to delete";
      return;
    }
    // An empty message 9 takes every read-only file as Yes to all, unasked;
    // so does /N.
    if (readOnly && !(entry->flags & (FILE_FLAG_FONT | FILE_FLAG_COM_SERVER)) &&
        LookupMessage(0, MSG_READ_ONLY_FILE)[0] != '\0') {
      if (switches_.n) {
        step["answer"] = "Yes to all, unasked (/N)";
      } else {
        step["asks"] = MSG_READ_ONLY_FILE;
        asked = true;
      }
    }
    step["outcome"] = asked ? "removed on Yes" : "removed";
    if (asked) {
      removedOnYes_.push_back(Utf8(path));
      model_.Remove(path);  // later steps see what Yes leaves
    } else {
      Removed(path);
    }
  }

  // The shared count as the file phase lowers it; false when the file stays.
  bool SharedCount(Json &step, const std::string &path, bool inUse, bool *asked) {
    static const char key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
    DWORD count = 0;
    DWORD size = sizeof count;
    HKEY shared;
    bool counted = false;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &shared) == ERROR_SUCCESS) {
      counted = RegQueryValueExA(shared, path.c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE *>(&count), &size) == ERROR_SUCCESS;
      RegCloseKey(shared);
    }
    bool removable = !inUse;
    if (counted) {
      uint32_t after = count;
      const bool written = LowerSharedCount(&after, inUse);
      step["shared"] = {{"before", count}, {"after", written ? after : count}};
      if (after != 0) removable = false;
    } else {
      step["shared"] = {{"before", nullptr}, {"after", nullptr}};
    }
    if (removable && LookupMessage(0, MSG_SHARED_FILE)[0] != '\0') {
      if (switches_.n) {
        step["answer"] = "No, unasked (/N)";
        removable = false;
      } else {
        step["asks"] = MSG_SHARED_FILE;
        *asked = true;
      }
    }
    return removable;
  }

  void Directories() {
    char path[PATH_BUFFER_SIZE];
    const char *entry = DirectoryList;
    for (const char *end; (end = DirectoryEntryEnd(entry)) != nullptr; entry = end + 1) {
      Json &step = PathStep("directories", "entry", entry);
      const char *pattern;
      if (!ResolveDirectoryEntry(entry, path, &pattern)) {
        step["state"] = "too long or not a full path";
        step["outcome"] = "skipped";
        continue;
      }
      step["folder"] = Utf8(path);
      step["pattern"] = Utf8(pattern);
      std::string folder;
      const std::string verdict = model_.Exists(path) ? Verdict(path, &folder) : "missing";
      if (folder.empty()) {
        step["state"] = verdict;
        step["outcome"] = "skipped";
        continue;
      }
      Cleaning cleaning;
      Clean(folder, pattern, &cleaning);
      step["state"] = "present";
      step["files"] = cleaning.files;
      step["folders"] = cleaning.folders;
      step["filesKept"] = cleaning.kept;
      step["removes"] = cleaning.removes;
      step["outcome"] = "cleaned";
    }
  }

  struct Cleaning {
    int files = 0;
    int folders = 0;
    int kept = 0;  // matched, but read-only or in use
    Json removes = Json::array();
  };

  // The walk of the directory phase: subfolders first, then the matching
  // files, then the folder itself when it is empty.
  void Clean(const std::string &folder, const std::string &pattern, Cleaning *cleaning) {
    for (const std::string &sub : Found(folder, "*.*", true)) {
      std::string resolved;
      if (Verdict(sub, &resolved) == "removable") Clean(resolved, pattern, cleaning);
    }
    char final[PATH_BUFFER_SIZE] = "";
    if (!ReadFinalPath(folder.c_str(), final)) final[0] = '\0';
    for (const std::string &file : Found(folder, pattern, false)) {
      const DWORD attributes = model_.Attributes(file);
      const std::string name = file.substr(file.rfind('\\') + 1);
      if (IsLinkEntry(file.c_str(), name.c_str(), attributes, final) ||
          CountsAsReadOnly(file.c_str(), attributes) || IsHeld(file, false)) {
        ++cleaning->kept;
        continue;
      }
      ++cleaning->files;
      cleaning->removes.push_back(Utf8(file));
      Removed(file);
    }
    if (model_.IsEmpty(folder)) {
      ++cleaning->folders;
      cleaning->removes.push_back(Utf8(folder));
      Removed(folder);
    }
  }

  // The entries of `folder` matching `pattern` that are still there: its
  // subfolders or its files.
  std::vector<std::string> Found(const std::string &folder, const std::string &pattern,
                                 bool folders) const {
    std::vector<std::string> found;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
      const std::string name = data.cFileName;
      const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (name == "." || name == ".." || isFolder != folders) continue;
      // The walk never enters a folder that is a link.
      if (isFolder && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
      if (!model_.Gone(folder + "\\" + name)) found.push_back(folder + "\\" + name);
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return found;
  }

  void ShortcutFiles() {
    for (uint32_t i = 0; i < ShortcutListCount; ++i) {
      const ShortcutEntry *entry = ShortcutList[i];
      if (entry->fileName[0] == '\0') continue;
      if (!ComposeShortcutPath(entry)) {
        Step("shortcuts", "shortcut " + std::to_string(i))["outcome"] = "skipped: too long";
        continue;
      }
      Json &step = PathStep("shortcuts", "shortcut", WorkPath);
      const bool present = model_.Exists(WorkPath);
      step["state"] = present ? "present" : "missing";
      step["outcome"] = present ? "removed" : "nothing to delete";
      if (present) Removed(WorkPath);
    }
  }

  // Each entry's folders, level by level in step, as far as they go.
  void ShortcutFolders() {
    for (uint32_t i = 0; i < ShortcutListCount; ++i) {
      const ShortcutEntry *entry = ShortcutList[i];
      if (!ShortcutFoldersApply(entry)) continue;
      Json &step = PathStep("shortcut folders", "folders", entry->folder);
      step["levels"] = entry->levels;
      Json reached = Json::array();
      char folder[PATH_BUFFER_SIZE];
      char altFolder[PATH_BUFFER_SIZE];
      strcpy(folder, entry->folder);
      strcpy(altFolder, entry->altFolder);
      for (uint32_t levels = entry->levels;; --levels) {
        if (!ShortcutLevel(folder, altFolder, &reached)) break;
        if (levels == 0 || !CutAtLastBackslash(folder)) break;
        if (altFolder[0] != '\0' && !CutAtLastBackslash(altFolder)) break;
      }
      step["reaches"] = reached;
    }
  }

  // One level of a shortcut entry's walk: false when the gate ends it there.
  bool ShortcutLevel(const char *folder, const char *altFolder, Json *reached) {
    std::string resolved;
    std::string altResolved;
    const std::string verdict = model_.Exists(folder) ? Verdict(folder, &resolved) : "missing";
    std::string altVerdict = "missing";
    if (altFolder[0] != '\0' && model_.Exists(altFolder))
      altVerdict = Verdict(altFolder, &altResolved);
    for (const auto &[path, state] :
         {std::pair{folder, verdict}, std::pair{altFolder, altVerdict}}) {
      if (state != "removable" && state != "missing") {
        reached->push_back({{"path", Utf8(path)}, {"state", state + ": stops here"}});
        return false;
      }
    }
    reached->push_back({{"path", Utf8(folder)},
                        {"state", resolved.empty() ? verdict : TryRemoveFolder(resolved)}});
    if (altFolder[0] != '\0') {
      reached->push_back(
          {{"path", Utf8(altFolder)},
           {"state", altResolved.empty() ? altVerdict : TryRemoveFolder(altResolved)}});
    }
    return true;
  }

  // Each file's folder and its parents, while they are empty and not protected.
  // As the stub walks: once for consecutive entries of one folder, and no
  // further than a folder that is not there.
  void EmptiedFolders() {
    std::string lastWalked;
    for (uint32_t i = 0; i < FileListCount; ++i) {
      const FileEntry *entry = FileList[i];
      if ((entry->flags & FILE_FLAG_FONT) || !ComposeEntryFolder(entry) ||
          EqualIgnoringAsciiCase(WorkPath, lastWalked.c_str())) {
        continue;
      }
      lastWalked = WorkPath;
      Json &step = PathStep("emptied folders", "folder", WorkPath);
      Json reached = Json::array();
      // Climbs the resolved path, as the run does.
      for (std::string folder = WorkPath;;) {
        std::string resolved;
        const std::string verdict = model_.Exists(folder) ? Verdict(folder, &resolved) : "missing";
        const std::string state = resolved.empty() ? verdict : TryRemoveFolder(resolved);
        reached.push_back({{"path", Utf8(folder)}, {"state", state}});
        const size_t last = resolved.rfind('\\');
        if (state != "removed" || last == std::string::npos) break;
        folder = resolved.substr(0, last);
      }
      step["reaches"] = reached;
    }
  }

  void Registry() {
    for (uint32_t i = 0; i < RegistryListCount; ++i) {
      const RegistryEntry *entry = RegistryList[i];
      if (entry->keyPath[0] == '\0') continue;
      const std::string root = RootName(entry->rootKey);
      if (FindValueSeparator(entry->keyPath)) {
        RegistryValue(entry, root);
      } else {
        RegistryKey(entry, root);
      }
    }
  }

  void RegistryValue(const RegistryEntry *entry, const std::string &root) {
    Json &step = PathStep("registry", "value", root + "\\" + entry->keyPath);
    if (IsGuardedValue(entry->rootKey, entry->keyPath)) return Refused(step);
    char keyPath[KEY_TEXT_SIZE];
    const char *valueName;
    HKEY key;
    bool present = false;
    if (SplitValueEntry(entry, keyPath, &valueName) &&
        !model_.KeyGone(root + "\\" + keyPath + "\\\\" + valueName) &&
        OpenKeyUnlessLink(RootHandle(entry->rootKey), keyPath, KEY_QUERY_VALUE, &key) ==
            ERROR_SUCCESS) {
      present =
          RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
      RegCloseKey(key);
    }
    step["state"] = present ? "present" : "missing";
    step["outcome"] = present ? "removed" : "nothing to delete";
    if (present) RemovedKey(root + "\\" + entry->keyPath);
  }

  static void Refused(Json &step) {
    step["state"] = "refused by the registry guard";
    step["outcome"] = "stays";
  }

  void RegistryKey(const RegistryEntry *entry, const std::string &root) {
    std::string name = root + "\\" + entry->keyPath;
    while (name.back() == '\\') name.pop_back();
    Json &step = PathStep("registry", "key", name);
    if (IsGuardedKey(entry->rootKey, entry->keyPath)) return Refused(step);
    HKEY key;
    DWORD subkeys = 0;
    const LONG opened = model_.KeyGone(name) ? ERROR_FILE_NOT_FOUND
                                             : OpenKeyUnlessLink(RootHandle(entry->rootKey),
                                                                 entry->keyPath, KEY_READ, &key);
    if (opened != ERROR_SUCCESS) {
      const bool link = opened == ERROR_SYMLINK_NOT_SUPPORTED;
      step["state"] = link ? "a registry link" : "missing";
      step["outcome"] =
          link ? "stays: a link is neither followed nor deleted" : "nothing to delete";
      return;
    }
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    step["state"] = "present";
    step["subkeys"] = subkeys;
    // The 95/98/Me family deletes a key with its subkeys in one call.
    if (!IsNtPlatform) {
      step["outcome"] = "removed with its subkeys";
      RemovedKey(name);
      return;
    }
    std::string stop;
    if (KeyTree(RootHandle(entry->rootKey), entry->keyPath, name, &stop)) {
      step["outcome"] = "removed with its subkeys";
      return;
    }
    step["outcome"] = "partly removed: " + Utf8(stop) +
                      " cannot be opened or is a registry link, which ends the deletion";
  }

  // The depth-first deletion of the NT family, opening what it would open:
  // false at the first key that cannot be opened or is a link, named in
  // `stop`, with the keys before it noted as removed.
  bool KeyTree(HKEY parent, const std::string &name, const std::string &fullName,
               std::string *stop) {
    HKEY key;
    if (OpenKeyUnlessLink(parent, name.c_str(), DELETE | KEY_ENUMERATE_SUB_KEYS, &key) !=
        ERROR_SUCCESS) {
      *stop = fullName;
      return false;
    }
    bool whole = true;
    char subkey[1024];
    for (DWORD i = 0; whole; ++i) {
      DWORD size = sizeof subkey;
      if (RegEnumKeyExA(key, i, subkey, &size, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      const std::string child = fullName + "\\" + subkey;
      if (!model_.KeyGone(child)) whole = KeyTree(key, subkey, child, stop);
    }
    RegCloseKey(key);
    if (whole) RemovedKey(fullName);
    return whole;
  }

  void RemovedKey(const std::string &name) {
    removed_.push_back(Utf8(name));
    model_.RemoveKey(name);
  }

  void Closing() {
    const char *closing = LookupMessage(0, MSG_DONE);
    if (!switches_.quiet && closing[0] != '\0') {
      Step("closing", "shows message 2")["text"] = Utf8(closing);
    }
    const char *document = SettingsString(SETTINGS_DOCUMENT_AT);
    if (!document) return;
    Json &step = PathStep("closing", "document", document);
    char folder[DOCUMENT_BUFFER_SIZE];
    if (switches_.s || switches_.x) {
      step["outcome"] = "not opened (/S or /X)";
    } else if (!IsOpenableDocument(document)) {
      step["outcome"] = "not opened: neither a web address nor a full path, or too long";
    } else if (IsWebAddress(document)) {
      step["outcome"] = "opened by the shell as a web address";
    } else {
      const char *from = DocumentFolder(folder, document);
      step["workingFolder"] = from ? Utf8(from) : "";
      step["exists"] = GetFileAttributesA(document) != INVALID_FILE_ATTRIBUTES;
      step["outcome"] = "opened by the shell, else by the open command of .htm";
    }
  }

  void SelfDeletion() {
    if (switches_.s || switches_.x) {
      Step("self-deletion", "self-deletion")["outcome"] = "none (/S or /X)";
      return;
    }
    Json &step = PathStep("self-deletion", "uninstaller", ModulePath);
    char interpreter[PATH_BUFFER_SIZE];
    char temp[PATH_BUFFER_SIZE];
    bool isCmd;
    step["interpreter"] = FindBatchInterpreter(interpreter, &isCmd) ? Utf8(interpreter) : "";
    // cmd.exe is given its loop on the command line; only command.com reads a batch.
    if (!isCmd) {
      const DWORD length = GetTempPathA(sizeof temp, temp);
      step["batchFolder"] = length > 0 && length < sizeof temp ? Utf8(temp) : "";
    }
    std::string folder = InstallFolder;
    if (folder.size() > 3) folder.pop_back();
    const bool empty = model_.IsEmpty(folder, FullPath(ModulePath));
    step["folder"] = Utf8(folder);
    step["outcome"] = empty ? "deleted after exit, and its folder with it"
                            : "deleted after exit; its folder stays (not empty)";
  }

  SwitchSet switches_;
  Model model_;
  Json steps_ = Json::array();
  Json removed_ = Json::array();
  Json removedOnYes_ = Json::array();
};

// One line per text: the texts of messages may hold line breaks.
std::string OneLine(std::string text) {
  for (char &c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

std::string TextOf(const std::string &name, const Json &value) {
  if (value.is_string()) return OneLine(value.get<std::string>());
  if (name == "shared") {
    if (value["before"].is_null()) return "no count (counts as run out)";
    return value["before"].dump() + " -> " + value["after"].dump();
  }
  if (!value.is_array()) return value.dump();
  if (value.empty()) return "none";
  std::string text;
  for (const Json &item : value) {
    if (!text.empty()) text += ", ";
    text += item.is_object()
                ? item["path"].get<std::string>() + " (" + item["state"].get<std::string>() + ")"
                : item.get<std::string>();
  }
  return text;
}

// For people: a block per phase, a line per step; the paths a directory
// entry removes only as their numbers.
std::string Text(const Json &plan) {
  std::string text = "Plan of " + plan["uninstaller"].get<std::string>() + " on Windows " +
                     plan["windows"].get<std::string>() + "\n";
  std::string phase;
  for (const Json &step : plan["steps"]) {
    if (step["phase"] != phase) {
      phase = step["phase"].get<std::string>();
      text += "\n" + phase + ":\n";
    }
    text += "  " + step["what"].get<std::string>();
    for (const auto &[name, value] : step.items()) {
      if (name == "phase" || name == "what" || name == "outcome" || name == "removes") continue;
      text += (name == "path" ? " " : "; " + name + " ") + TextOf(name, value);
    }
    if (step.contains("outcome")) text += " => " + step["outcome"].get<std::string>();
    text += "\n";
  }
  text +=
      "\n" + std::to_string(plan["removed"].size()) + " files, folders, keys and values removed";
  if (!plan["removedOnYes"].empty()) {
    text += ", " + std::to_string(plan["removedOnYes"].size()) + " more on Yes";
  }
  return text + "\n";
}

// The process-wide state the shared code reads, as the stub sets it up.
struct StubState {
  explicit StubState(const std::string &file) {
    DetectOperatingSystem();
    const DWORD length = GetFullPathNameA(file.c_str(), PATH_BUFFER_SIZE, module_, nullptr);
    if (length == 0 || length >= PATH_BUFFER_SIZE) {
      throw ToolError(file + ": the path is too long for the uninstaller's buffers");
    }
    strcpy(folder_, module_);
    *(strrchr(folder_, '\\') + 1) = '\0';
    ModulePath = module_;
    InstallFolder = folder_;
    WorkPath = work_;
  }
  ~StubState() {
    ReleaseUninstallData();
    ModulePath = InstallFolder = WorkPath = nullptr;
  }
  StubState(const StubState &) = delete;
  StubState &operator=(const StubState &) = delete;

  char module_[PATH_BUFFER_SIZE] = "";
  char folder_[PATH_BUFFER_SIZE] = "";
  char work_[PATH_BUFFER_SIZE] = "";
};

void Plan(const PlanOptions &options) {
  const uint32_t offset = BlockOffset(options.file);
  StubState state(options.file);
  LoadBlock(options.file, offset);
  const Json plan = Planner(ParseSwitches(options.switches.c_str())).Run();
  WriteStdout(options.json ? plan.dump(2) + "\n" : Text(plan));
}

}  // namespace

void AddPlanCommand(CLI::App &app) {
  auto options = std::make_shared<PlanOptions>();
  CLI::App *command = app.add_subcommand(
      "plan", "Show every step a packed uninstaller would take on this machine; changes nothing");
  command->add_option("file", options->file, "Packed uninstaller")->required();
  command->add_option("--switches", options->switches,
                      "The run's switches, as \"/S\", \"/Q\" or \"/S /N\"");
  command->add_flag("--json", options->json, "Print the plan as JSON");
  command->callback([options] { Plan(*options); });
}

}  // namespace quenrid
