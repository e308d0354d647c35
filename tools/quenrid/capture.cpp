// quenrid capture: what an installation added to a clean machine, written as
// a manifest. `--save` records the places an installation may touch before
// it runs; `--since` compares them with the machine after it and writes what
// was added, in the forms the uninstaller and `pack` read.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <set>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "data/uninstall_data.h"
#include "manifest/manifest.h"
#include "paths/ascii_case.h"
#include "paths/macro_names.h"
#include "quenrid/commands.h"
#include "quenrid/folder_macros.h"
#include "removal/registry_guard.h"
#include "removal/rules.h"

namespace quenrid {

namespace {

using Json = nlohmann::json;

struct CaptureOptions {
  std::string save, since, installDir, output;
};

// --- What is scanned

// `path` is `folder` or lies below it, letters in any case.
bool Below(const std::string &path, const std::string &folder) {
  const char *after = AfterPrefixIgnoringAsciiCase(path.c_str(), folder.c_str());
  return after && (*after == '\0' || *after == '\\' || folder.back() == '\\');
}

// A folder of the machine, named by the macro that stands for it.
struct Place {
  std::string macro, folder;
  bool deep;  // the whole tree, or the folder's own files only
};

// The folders an installation writes to: the program and common files, the
// users' application data, the start menus and desktops (their trees), and
// the Windows, system and fonts folders (their own files only: what lies
// below them is the system's). The temporary folder is left out as noise.
std::vector<Place> ScannedPlaces() {
  const char *const deep[] = {"#Program Files#", "#CommonFiles#",   "#AppData#",
                              "#LocalAppData#",  "#AllUsersAppData#", "#Desktop#",
                              "#AllUsersDesktop#", "#StartMenu#",    "#AllUsersStartMenu#"};
  const char *const shallow[] = {"#Windows#", "#System#"};
  std::vector<Place> places;
  const auto add = [&places](const std::string &macro, bool isDeep) {
    try {
      places.push_back({macro, ResolveFolderMacro(macro, "", "", GetACP()), isDeep});
    } catch (const std::runtime_error &) {  // a folder this machine does not have
    }
  };
  for (const char *macro : deep) add(macro, true);
  for (const char *macro : shallow) add(macro, false);
  for (const Place &place : std::vector<Place>(places)) {
    if (place.macro == "#Windows#") places.push_back({"#Windows#", place.folder + "\\Fonts", false});
  }
  // A tree inside another one is scanned with it.
  std::vector<Place> outer;
  for (const Place &place : places) {
    const bool inside = std::any_of(places.begin(), places.end(), [&](const Place &other) {
      return other.deep && &other != &place && other.folder.size() < place.folder.size() &&
             Below(place.folder, other.folder);
    });
    if (!inside) outer.push_back(place);
  }
  return outer;
}

// Every folder a macro or shell name gives here, for writing paths back.
std::vector<Place> NamedFolders() {
  std::vector<Place> named;
  std::vector<std::string> tokens(MACRO_NAMES, MACRO_NAMES + MACRO_COUNT);
  for (const ShortcutFolderName &shell : kShortcutFolders) tokens.push_back(shell.name);
  for (const std::string &token : tokens) {
    if (token == "#InstallDir#" || token == "#TempDir#") continue;
    try {
      named.push_back({token, ResolveFolderMacro(token, "", "", GetACP()), false});
    } catch (const std::runtime_error &) {
    }
  }
  return named;
}

// Folders an installation does not own but the system and shell write while
// it runs: caches, temporary files, the shell's own records.
bool IsNoiseFolder(const std::string &path) {
  static const char *const kNoise[] = {"\\temp", "\\microsoft\\windows\\inetcache",
                                       "\\microsoft\\windows\\temporary internet files",
                                       "\\microsoft\\windows\\explorer", "\\microsoft\\crypto"};
  const std::string lower = LowerAscii(path);
  for (const char *noise : kNoise) {
    const size_t at = lower.find(noise);
    if (at != std::string::npos &&
        (at + std::strlen(noise) == lower.size() || lower[at + std::strlen(noise)] == '\\')) {
      return true;
    }
  }
  return false;
}

struct Snapshot {
  std::set<std::string> files, folders;
  // "HKLM\Software\..." -> value name -> digest of its type and data
  std::map<std::string, std::map<std::string, std::string>> keys;
};

// Files and folders below `folder`; never through a link.
void ScanFolder(const std::string &folder, bool deep, Snapshot *snapshot) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
    const std::string name = found.cFileName, path = folder + "\\" + name;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!deep || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || IsNoiseFolder(path)) {
        continue;
      }
      snapshot->folders.insert(path);
      ScanFolder(path, true, snapshot);
    } else {
      snapshot->files.insert(path);
    }
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

// Keys the system and the shell change on their own, and Wine's.
bool IsNoiseKey(const std::string &name) {
  static const char *const kNoise[] = {
      "hkcu\\software\\microsoft\\windows\\currentversion\\explorer",
      "hkcu\\software\\microsoft\\windows\\shell", "hkcu\\software\\wine", "hklm\\software\\wine",
      "hklm\\software\\microsoft\\cryptography\\rng",
      // Performance counters; Wine answers its text keys as the performance
      // data, which an enumeration never gets to the end of.
      "hklm\\software\\microsoft\\windows nt\\currentversion\\perflib",
      "hkcu\\software\\classes\\local settings", "hklm\\software\\classes\\local settings"};
  const std::string lower = LowerAscii(name);
  for (const char *noise : kNoise) {
    if (Below(lower, noise)) return true;
  }
  // The same keys in the 32-bit view of a 64-bit system.
  const std::string node = "\\wow6432node";
  const size_t view = lower.find(node + "\\");
  return view != std::string::npos &&
         IsNoiseKey(lower.substr(0, view) + lower.substr(view + node.size()));
}

std::string Digest(DWORD type, const std::vector<BYTE> &data) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a over the type and the bytes
  const auto mix = [&hash](BYTE byte) { hash = (hash ^ byte) * 1099511628211ull; };
  for (int i = 0; i < 4; ++i) mix(static_cast<BYTE>(type >> (8 * i)));
  for (BYTE byte : data) mix(byte);
  char text[20];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

void ScanKey(HKEY key, const std::string &name, Snapshot *snapshot) {
  if (IsNoiseKey(name)) return;
  auto &values = snapshot->keys[name];
  std::vector<char> valueName(16384);
  std::vector<BYTE> data;
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = static_cast<DWORD>(valueName.size()), type = 0, size = 0;
    LONG result = RegEnumValueA(key, i, valueName.data(), &nameSize, nullptr, &type, nullptr, &size);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) continue;
    data.assign(size, 0);
    nameSize = static_cast<DWORD>(valueName.size());
    if (RegEnumValueA(key, i, valueName.data(), &nameSize, nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS) {
      continue;
    }
    data.resize(size);
    values[std::string(valueName.data(), nameSize)] = Digest(type, data);
  }
  char subkey[SUBKEY_NAME_SIZE];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof subkey;
    LONG result = RegEnumKeyExA(key, i, subkey, &size, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) continue;
    // A link (Wine's Wow6432Node, a user's classes) would lead round again.
    HKEY child;
    if (OpenKeyUnlessLink(key, subkey, KEY_READ, &child) != ERROR_SUCCESS) continue;
    ScanKey(child, name + "\\" + subkey, snapshot);
    RegCloseKey(child);
  }
}

Snapshot Scan() {
  Snapshot snapshot;
  for (const Place &place : ScannedPlaces()) ScanFolder(place.folder, place.deep, &snapshot);
  // The software of the machine and the user, and both environments.
  const struct {
    HKEY root;
    const char *name, *path;
  } keys[] = {{HKEY_LOCAL_MACHINE, "HKLM", "Software"},
              {HKEY_CURRENT_USER, "HKCU", "Software"},
              {HKEY_CURRENT_USER, "HKCU", "Environment"},
              {HKEY_LOCAL_MACHINE, "HKLM",
               "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"}};
  for (const auto &start : keys) {
    HKEY key;
    if (RegOpenKeyExA(start.root, start.path, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    ScanKey(key, std::string(start.name) + "\\" + start.path, &snapshot);
    RegCloseKey(key);
  }
  return snapshot;
}

Json ToJson(const Snapshot &snapshot) {
  return {{"capture", 1},
          {"files", snapshot.files},
          {"folders", snapshot.folders},
          {"keys", snapshot.keys}};
}

Snapshot FromJson(const Json &json) {
  if (!json.is_object() || json.value("capture", 0) != 1) {
    throw ToolError("not a capture saved by quenrid capture --save");
  }
  Snapshot snapshot;
  snapshot.files = json.at("files").get<std::set<std::string>>();
  snapshot.folders = json.at("folders").get<std::set<std::string>>();
  snapshot.keys = json.at("keys").get<std::map<std::string, std::map<std::string, std::string>>>();
  return snapshot;
}

// --- What was added, as a manifest

class Difference {
 public:
  Difference(const Snapshot &before, const Snapshot &after, std::string installDir)
      : before_(before), after_(after), installDir_(std::move(installDir)),
        named_(NamedFolders()) {}

  Manifest Build() {
    Registry();
    Files();
    return manifest_;
  }

  const std::vector<std::string> &notes() const { return notes_; }

 private:
  // --- Registry: new keys whole, new values of keys that were there

  static std::string Parent(const std::string &key) { return key.substr(0, key.rfind('\\')); }

  static bool IsSharedDllsKey(const std::string &key) {
    return LowerAscii(key) == "hklm\\software\\microsoft\\windows\\currentversion\\shareddlls";
  }

  static bool EndsWith(const std::string &text, const std::string &end) {
    return text.size() >= end.size() && LowerAscii(text.substr(text.size() - end.size())) == end;
  }

  void Registry() {
    for (const auto &[key, values] : after_.keys) {
      const auto was = before_.keys.find(key);
      if (was == before_.keys.end()) {
        // A new COM server's file, however its key is listed.
        if (EndsWith(key, "\\inprocserver32") && values.count("")) {
          comServers_.insert(LowerAscii(ReadValue(key, "")));
        }
        if (before_.keys.count(Parent(key))) NewKey(key);
        continue;
      }
      for (const auto &[name, digest] : values) {
        const auto old = was->second.find(name);
        if (old == was->second.end()) {
          NewValue(key, name);
        } else if (old->second != digest && IsSharedDllsKey(key)) {
          sharedFiles_.insert(LowerAscii(name));  // a count raised for a file that was there
        } else if (old->second != digest) {
          notes_.push_back(key + "\\\\" + name + ": a value that was there changed; the "
                                                 "uninstaller cannot put it back");
        }
      }
    }
  }

  // A new key goes whole, unless the guard refuses it: then its values and
  // new subkeys, one by one.
  void NewKey(const std::string &key) {
    if (!Guarded(key, false)) return AddRegistry(key);
    notes_.push_back(key + ": a new key the registry guard would refuse whole; its values and "
                           "subkeys are listed instead");
    for (const auto &[name, digest] : after_.keys.at(key)) NewValue(key, name);
    for (auto child = after_.keys.upper_bound(key + "\\");
         child != after_.keys.end() && child->first.compare(0, key.size() + 1, key + "\\") == 0;
         ++child) {
      if (Parent(child->first) == key) NewKey(child->first);
    }
  }

  void NewValue(const std::string &key, const std::string &name) {
    const std::string lower = LowerAscii(key);
    if (IsSharedDllsKey(key)) {
      sharedFiles_.insert(LowerAscii(name));
      return;
    }
    if (Below(lower, "hklm\\software\\microsoft\\windows nt\\currentversion\\fonts") ||
        Below(lower, "hklm\\software\\microsoft\\windows\\currentversion\\fonts")) {
      fontValues_.push_back(ReadValue(key, name));
      return;
    }
    if (name.find('\\') != std::string::npos) {
      notes_.push_back(key + ": the new value \"" + name +
                       "\" has a backslash in its name, which an entry cannot name");
      return;
    }
    if (name.empty() && EndsWith(key, "\\inprocserver32")) {
      comServers_.insert(LowerAscii(ReadValue(key, name)));
    }
    if (Guarded(key + "\\\\" + name, true)) {
      notes_.push_back(key + "\\\\" + name + ": a value the system reads; left out");
      return;
    }
    AddRegistry(key + "\\\\" + name);
  }

  // "HKLM\Software\X" as its root's handle value and the path below it.
  static bool Split(const std::string &name, uint32_t *root, std::string *path) {
    const size_t slash = name.find('\\');
    *root = 0;
    for (const NamedValue &known : kRegistryRoots) {
      if (name.compare(0, slash, known.name) == 0) *root = known.value;
    }
    *path = name.substr(slash + 1);
    return true;
  }

  static bool Guarded(const std::string &name, bool value) {
    uint32_t root;
    std::string path;
    Split(name, &root, &path);
    return value ? IsGuardedValue(root, path.c_str()) : IsGuardedKey(root, path.c_str());
  }

  void AddRegistry(const std::string &name) {
    RegistryRecord record;
    Split(name, &record.rootKey, &record.keyPath);
    manifest_.registry.push_back(record);
  }

  static std::string ReadValue(const std::string &key, const std::string &name) {
    uint32_t root;
    std::string path;
    Split(key, &root, &path);
    char data[1024] = "";
    DWORD size = sizeof data - 1;
    HKEY handle;
    if (RegOpenKeyExA(root == 0x80000002u ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, path.c_str(),
                      0, KEY_QUERY_VALUE, &handle) == ERROR_SUCCESS) {
      RegQueryValueExA(handle, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE *>(data),
                       &size);
      RegCloseKey(handle);
    }
    return data;
  }

  // --- Files, shortcuts and folders

  // `path` written for the data: below the install folder as ".\sub",
  // elsewhere behind the macro of the deepest well-known folder it lies in.
  std::string Written(const std::string &folder) const {
    if (Below(folder, installDir_)) {
      return folder.size() == installDir_.size() ? "." : "." + folder.substr(installDir_.size());
    }
    const Place *best = nullptr;
    for (const Place &named : named_) {
      if (Below(folder, named.folder) && (!best || named.folder.size() > best->folder.size())) {
        best = &named;
      }
    }
    return best ? best->macro + folder.substr(best->folder.size()) : folder;
  }

  bool IsShortcutPlace(const std::string &folder) const {
    for (const Place &named : named_) {
      if ((named.macro == "#StartMenu#" || named.macro == "#AllUsersStartMenu#" ||
           named.macro == "#Desktop#" || named.macro == "#AllUsersDesktop#") &&
          Below(folder, named.folder)) {
        return true;
      }
    }
    return false;
  }

  bool IsFont(const std::string &path) const {
    const std::string name = path.substr(path.rfind('\\') + 1);
    for (const std::string &value : fontValues_) {
      if (LowerAscii(value) == LowerAscii(path) || LowerAscii(value) == LowerAscii(name)) return true;
    }
    return false;
  }

  void Files() {
    std::set<std::string> newFolders;
    for (const std::string &folder : after_.folders) {
      if (!before_.folders.count(folder)) newFolders.insert(folder);
    }
    std::set<std::string> listed;
    for (const std::string &path : after_.files) {
      const bool added = !before_.files.count(path);
      const bool shared = sharedFiles_.count(LowerAscii(path)) > 0;
      if (!added && !shared) continue;
      const std::string folder = path.substr(0, path.rfind('\\'));
      const std::string name = path.substr(folder.size() + 1);
      if (path.find('?') != std::string::npos) {
        notes_.push_back(path + ": a name with characters outside the code page; left out");
        continue;
      }
      if (added && IsShortcutPlace(folder) &&
          (EndsWith(name, ".lnk") || EndsWith(name, ".url") || EndsWith(name, ".pif"))) {
        uint8_t levels = 0;
        for (std::string up = folder; newFolders.count(up) && levels < 255; up = Parent(up)) {
          ++levels;
        }
        manifest_.shortcuts.push_back({levels, Written(folder), "", name});
        continue;
      }
      uint8_t flags = shared ? FILE_FLAG_SHARED_DLL : 0;
      if (IsFont(path)) flags |= FILE_FLAG_FONT;
      if (comServers_.count(LowerAscii(path))) flags |= FILE_FLAG_COM_SERVER;
      manifest_.files.push_back({Written(folder), name, flags});
      listed.insert(LowerAscii(path));
    }
    // A new folder that holds no file of its own stays unless named.
    for (const std::string &folder : newFolders) {
      bool holdsFiles = false;
      for (const std::string &path : after_.files) holdsFiles = holdsFiles || Below(path, folder);
      if (!holdsFiles) manifest_.files.push_back({Written(folder), "", 0});
    }
    for (const std::string &shared : sharedFiles_) {
      if (!listed.count(shared)) notes_.push_back(shared + ": a new shared count for a file not found");
    }
  }

  const Snapshot &before_, &after_;
  const std::string installDir_;
  const std::vector<Place> named_;
  std::set<std::string> sharedFiles_, comServers_;
  std::vector<std::string> fontValues_, notes_;
  Manifest manifest_;
};

std::string FullFolder(const std::string &folder) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(folder.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) throw UsageError("--install-dir: no full path for " + folder);
  std::string path = full;
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

void Capture(const CaptureOptions &options) {
  if (options.save.empty() == options.since.empty()) {
    throw UsageError("give either --save FILE (before the installation) or --since FILE");
  }
  const auto started = std::chrono::steady_clock::now();
  if (!options.save.empty()) {
    WriteWholeFile(options.save, ToJson(Scan()).dump() + "\n");
  } else {
    if (options.installDir.empty() || options.output.empty()) {
      throw UsageError("--since needs --install-dir and -o");
    }
    const Snapshot before = Within(options.since, [&] {
      return FromJson(Json::parse(ReadWholeFile(options.since)));
    });
    Snapshot after = Scan();
    const std::string installDir = FullFolder(options.installDir);
    // The install folder outside the scanned places: all of it is new.
    ScanFolder(installDir, true, &after);
    Difference difference(before, after, installDir);
    const Manifest manifest = difference.Build();
    for (const std::string &note : difference.notes()) {
      ReportLine("quenrid capture", "note: " + note);
    }
    WriteWholeFile(options.output, FormatManifest(manifest, GetACP()));
  }
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  char line[64];
  std::snprintf(line, sizeof line, "done in %.1f s", seconds);
  ReportLine("quenrid capture", line);
}

}  // namespace

void AddCaptureCommand(CLI::App &app) {
  auto options = std::make_shared<CaptureOptions>();
  CLI::App *command = app.add_subcommand(
      "capture", "Record a clean machine, then write a manifest of what an installation added");
  command->add_option("--save", options->save, "Record the machine before the installation");
  command->add_option("--since", options->since, "A record made with --save before it");
  command->add_option("--install-dir", options->installDir, "The product's install folder");
  command->add_option("-o,--output", options->output, "Manifest to write");
  command->callback([options] { Capture(*options); });
}

}  // namespace quenrid
