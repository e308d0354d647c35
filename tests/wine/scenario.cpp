#include "scenario.h"

#include <windows.h>
#include <sddl.h>
#include <exdisp.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "../host/truetype_file.h"
#include "data/data_offset.h"
#include "resources/resource.h"
#include "ui_driver.h"

extern "C" LONG WINAPI NtDeleteKey(HANDLE key);

namespace quenrid::test {
namespace {

constexpr DWORD kSettleMs = 15000;     // for a batch, a recorder or a deletion to finish
constexpr DWORD kQuietMs = 500;        // how long "it never happened" is watched
constexpr DWORD kLoopBoundMs = 90000;  // sixty tries a second apart, and slack

const struct System {
  int bit;
  const char *version, *name;
} kSystems[] = {{NT, nullptr, "nt"}, {XP, "winxp", "xp"}, {WIN9X, "win98", "9x"}};

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kCurrentVersion[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char *const kFontKeys[] = {"Software\\Microsoft\\Windows\\CurrentVersion\\Fonts",
                                 "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"};
const std::map<int, std::vector<int>> kButtons = {
    {1, {IDOK, IDCANCEL}}, {2, {IDOK}}, {15, {IDRETRY, IDCANCEL}}};

// Where a run finds the shell folders of its user and the program files:
// registry key and value, placeholder, and the folder below the row's own.
const struct MovedFolder {
  HKEY root;
  const char *key, *value, *placeholder, *folder;
} kMovedFolders[] = {
    {HKEY_CURRENT_USER, kShellFolders, "Personal", "<Docs>", "user\\Documents"},
    {HKEY_CURRENT_USER, kShellFolders, "Local AppData", "<Local>", "user\\Local"},
    {HKEY_CURRENT_USER, kShellFolders, "AppData", "<AppData>", "user\\Roaming"},
    {HKEY_CURRENT_USER, kShellFolders, "Desktop", "<Desktop>", "user\\Desktop"},
    {HKEY_CURRENT_USER, kShellFolders, "Start Menu", "<StartMenu>", "user\\Start Menu"},
    {HKEY_CURRENT_USER, kShellFolders, "Programs", "<Programs>", "user\\Start Menu\\Programs"},
    {HKEY_CURRENT_USER, kShellFolders, "StartUp", "<StartUp>",
     "user\\Start Menu\\Programs\\StartUp"},
    {HKEY_LOCAL_MACHINE, kShellFolders, "Common Documents", "<PublicDocs>", "public\\Documents"},
    {HKEY_LOCAL_MACHINE, kShellFolders, "Common Desktop", "<PublicDesktop>", "public\\Desktop"},
    {HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData", "<PublicAppData>", "public\\AppData"},
    {HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", "<ProgramFiles>", "Program Files Q"},
    {HKEY_LOCAL_MACHINE, kCurrentVersion, "CommonFilesDir", "<CommonFiles>",
     "Program Files Q\\Common Files"},
};

// A file held open, without sharing or shared with readers only, until the
// object goes: by this process, which to the run is another one.
struct FileLock {
  FileLock(const std::string &path, bool shareRead)
      : file(CreateFileA(path.c_str(), GENERIC_READ, shareRead ? FILE_SHARE_READ : 0, nullptr,
                         OPEN_EXISTING, 0, nullptr)) {
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot hold " + path);
  }
  ~FileLock() { CloseHandle(file); }
  HANDLE file;
};

bool Exists(const std::string &path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The path is listed in its folder (a dangling link is listed, not found).
bool Listed(const std::string &path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  return search != INVALID_HANDLE_VALUE && FindClose(search);
}

bool WaitUntil(const std::function<bool()> &done, DWORD ms = kSettleMs) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(50)) {
    if (GetTickCount() - start > ms) return false;
  }
  return true;
}

// The host's path of a Windows path (ASCII), as wine maps it.
std::string UnixPath(std::string path) {
  using ToUnix = char *(CDECL *)(LPCWSTR);
  static const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void *>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  char *unix = toUnix ? toUnix(std::wstring(path.begin(), path.end()).c_str()) : nullptr;
  if (!unix) throw std::runtime_error("no host path for " + path);
  std::string result = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

// Runs host program `program` with `arguments` and waits until `done` holds:
// wine gives a host program no handle to wait on.
void OnHost(const std::string &program, const std::string &arguments,
            const std::function<bool()> &done) {
  Process host(HostPathToWindows(program), arguments);
  EXPECT_TRUE(WaitUntil(done, 10000)) << program << " " << arguments;
}

// Links are made and removed on the host: wine makes none itself, and
// deleting one from Windows deletes what it points to. `link` is a host
// path, `target` a Windows path; `shownAs` is how Windows finds the link.
void MakeLink(const std::string &link, const std::string &target, const std::string &shownAs) {
  OnHost("/bin/ln", "-s \"" + UnixPath(target) + "\" \"" + link + "\"",
         [&] { return Exists(shownAs); });
}

void RemoveLink(const std::string &link, std::string shownAs) {
  if (shownAs.size() > 3 && shownAs.back() == '\\') shownAs.pop_back();
  OnHost("/bin/rm", "-f \"" + link + "\"", [&] { return !Listed(shownAs) && !Exists(shownAs); });
}

// Handles of the processes of program file `name` that `parent` started at
// `since` or later and that still run.
std::vector<HANDLE> ChildProcesses(DWORD parent, const char *name, const FILETIME &since) {
  std::vector<HANDLE> children;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ParentProcessID != parent || _stricmp(entry.szExeFile, name) != 0) continue;
    HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE,
                               entry.th32ProcessID);
    FILETIME created, exited, kernel, user;
    // An older process of a parent whose id has been given out again is not ours.
    if (child && GetProcessTimes(child, &created, &exited, &kernel, &user) &&
        CompareFileTime(&created, &since) >= 0) {
      children.push_back(child);
    } else if (child) {
      CloseHandle(child);
    }
  }
  CloseHandle(snapshot);
  return children;
}

// The shared counts' key, readable only while the object lives: its own
// access list is put back through a handle opened before it changed.
struct CountsOnlyReadable {
  CountsOnlyReadable() {
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDlls, 0, READ_CONTROL | WRITE_DAC, &key_);
    DWORD size = sizeof saved_;
    EXPECT_EQ(RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_, &size), 0);
    PSECURITY_DESCRIPTOR readOnly = nullptr;  // protected: nothing inherited either
    ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1,
                                                         &readOnly, nullptr);
    EXPECT_EQ(RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, readOnly), 0);
    LocalFree(readOnly);
  }
  ~CountsOnlyReadable() {
    EXPECT_EQ(RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_), 0);
    RegCloseKey(key_);
  }
  HKEY key_ = nullptr;
  alignas(void *) char saved_[4096];
};

// A registry value's type and data as stored; REG_NONE when there is none.
using Value = std::pair<DWORD, std::string>;
Value GetValue(HKEY root, const std::string &key, const std::string &name) {
  DWORD type = REG_NONE, size = 0;
  RegGetValueA(root, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size);
  std::string data(size, '\0');
  if (RegGetValueA(root, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(),
                   &size)) {
    type = REG_NONE;
  }
  return {type, data.substr(0, size)};
}
void PutValue(HKEY root, const std::string &key, const std::string &name, const Value &value) {
  value.first == REG_NONE ? (void)RegDeleteKeyValueA(root, key.c_str(), name.c_str())
                          : (void)RegSetKeyValueA(root, key.c_str(), name.c_str(), value.first,
                                                  value.second.data(), DWORD(value.second.size()));
}

// Wine's per-program setting that makes one executable name see another
// Windows version ("win98", "winxp"; null keeps wine's default); gone with
// the object.
struct WindowsVersionFor {
  WindowsVersionFor(const std::string &exeName, const char *version)
      : key("Software\\Wine\\AppDefaults\\" + exeName) {
    if (version) PutValue(HKEY_CURRENT_USER, key, "Version", {REG_SZ, version + std::string(1, 0)});
  }
  ~WindowsVersionFor() { RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str()); }
  const std::string key;
};

// The shell folders of kMovedFolders below `folder` while the object lives.
struct MovedShellFolders {
  explicit MovedShellFolders(const std::string &folder) {
    for (const MovedFolder &m : kMovedFolders) {
      saved.push_back(GetValue(m.root, m.key, m.value));
      PutValue(m.root, m.key, m.value, {REG_SZ, folder + "\\" + m.folder + '\0'});
      CreateFolders(folder + "\\" + m.folder + "\\");
    }
  }
  ~MovedShellFolders() {
    for (size_t i = 0; i < saved.size(); ++i) {
      PutValue(kMovedFolders[i].root, kMovedFolders[i].key, kMovedFolders[i].value, saved[i]);
    }
  }
  std::vector<Value> saved;
};

std::string WindowsFolder() {
  char windows[MAX_PATH];
  return std::string(windows, GetWindowsDirectoryA(windows, MAX_PATH));
}

bool IsKey(const std::string &path) { return path.rfind("HK", 0) == 0; }

LONG CreateKey(HKEY root, const std::string &path) {
  HKEY key;
  const LONG error = RegCreateKeyA(root, path.c_str(), &key);
  if (error == ERROR_SUCCESS) RegCloseKey(key);
  return error;
}

// Key and value name of a registry item; no value name for a key.
struct RegistryItem {
  HKEY root;
  std::string key;
  std::optional<std::string> value;
};

RegistryItem ParseRegistryItem(const std::string &path) {
  const std::string root = path.substr(0, 4), rest = path.substr(5);
  RegistryItem item{root == "HKCR"   ? HKEY_CLASSES_ROOT
                    : root == "HKLM" ? HKEY_LOCAL_MACHINE
                                     : HKEY_CURRENT_USER,
                    rest, std::nullopt};
  const size_t pair = rest.rfind("\\\\");
  if (pair != std::string::npos && pair + 1 == rest.rfind('\\')) {
    item.key = rest.substr(0, pair);
    item.value = rest.substr(pair + 2);
  }
  return item;
}

// A file, folder, registry key or value of a row.
bool ItemExists(const std::string &path) {
  if (!IsKey(path)) return Exists(path);
  const RegistryItem item = ParseRegistryItem(path);
  HKEY key;
  if (RegOpenKeyExA(item.root, item.key.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &key)) {
    return false;
  }
  const bool found = !item.value || !RegQueryValueExA(key, item.value->c_str(), 0, 0, 0, 0);
  RegCloseKey(key);
  return found;
}

// A subkey that is a link to `target`, a key below HKLM.
void CreateLink(const RegistryItem &item, const std::string &target) {
  HKEY link;
  ASSERT_EQ(RegCreateKeyExA(item.root, item.key.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                            KEY_ALL_ACCESS, nullptr, &link, nullptr),
            ERROR_SUCCESS);
  const std::string full = "\\Registry\\Machine\\" + target;
  const std::wstring wide(full.begin(), full.end());
  RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                 reinterpret_cast<const BYTE *>(wide.data()), DWORD(wide.size() * sizeof(wchar_t)));
  RegCloseKey(link);
}

// Links are deleted as themselves, never followed.
void DeleteLink(const RegistryItem &item) {
  HKEY link;
  if (!RegOpenKeyExA(item.root, item.key.c_str(), REG_OPTION_OPEN_LINK, DELETE, &link)) {
    NtDeleteKey(link);
    RegCloseKey(link);
  }
}

std::set<std::string> FolderListing(const std::string &folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
    names.insert(folder + "\\" + found.cFileName);
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return names;
}

// Subkeys as "key\sub", values as "key\\value".
std::set<std::string> KeyListing(HKEY root, const std::string &path) {
  std::set<std::string> names;
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  char name[1024];
  for (const bool values : {false, true}) {
    DWORD size = sizeof name;
    for (DWORD i = 0; !(values ? RegEnumValueA(key, i, name, &size, 0, 0, 0, 0)
                               : RegEnumKeyExA(key, i, name, &size, 0, 0, 0, 0));
         ++i, size = sizeof name) {
      names.insert(path + (values ? "\\\\" : "\\") + name);
    }
  }
  RegCloseKey(key);
  return names;
}

// The plan's UTF-8 in the ANSI code page that the run's paths are in.
std::string Ansi(const std::string &utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], int(wide.size())));
  std::string ansi(wide.size() * 2, '\0');
  ansi.resize(WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), &ansi[0],
                                  int(ansi.size()), nullptr, nullptr));
  return ansi;
}

// The plan lists `path`, or a folder or key it lies in, under `list`; what
// it lists on `drive` (a run acts on a folder as the data reached it) is taken
// as lying in `driveFolder`, which the drive stands for.
bool PlanLists(const nlohmann::json &plan, const char *list, std::string path,
               const std::string &drive, const std::string &driveFolder) {
  if (!IsKey(path) && path.back() == '\\') path.pop_back();
  for (const auto &listed : plan[list]) {
    std::string folder = Ansi(listed.get<std::string>()) + "\\";
    if (!_strnicmp(folder.c_str(), (drive + "\\").c_str(), drive.size() + 1)) {
      folder = driveFolder + folder.substr(drive.size());
    }
    if (SamePath(path + "\\", folder) || !_strnicmp(path.c_str(), folder.c_str(), folder.size())) {
      return true;
    }
  }
  return false;
}

// Some line the plan starts or opens holds `text`.
bool Launches(const nlohmann::json &plan, const std::string &text, bool started = false) {
  for (const auto &step : plan["steps"]) {
    const std::string what = step["what"], detail = Ansi(step.value("detail", ""));
    if ((started ? what == "starts" : what == "starts" || what.rfind("opens", 0) == 0) &&
        (started ? SamePath(detail, text) : detail.find(text) != std::string::npos)) {
      return true;
    }
  }
  return false;
}

// The fields of a line of a recorder's or test server's log, empty ones too.
std::vector<std::string> Fields(const std::string &line) {
  std::vector<std::string> fields(1);
  for (char c : line) c == '\t' ? fields.emplace_back() : fields.back() += c;
  return fields;
}

// Whether the desktop's shell answers for the desktop, as the uninstaller
// asks it to open a document as the signed-in user, within a few seconds. A
// user's desktop has long been there; wine's, in the first session of a new
// prefix, has been seen never to answer, and the run then opens the document
// itself, as it must.
bool DesktopShellAnswers() {
  CoInitialize(nullptr);
  bool answers = false;
  for (const DWORD start = GetTickCount(); !answers && GetTickCount() - start < 5000; Sleep(200)) {
    IShellWindows *windows = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void **>(&windows)))) {
      continue;
    }
    VARIANT location{}, root{};
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    long window = 0;
    IDispatch *desktop = nullptr;
    answers = windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                    &desktop) == S_OK && desktop;
    if (desktop) desktop->Release();
    windows->Release();
  }
  CoUninitialize();
  return answers;
}

// An item of a row, its shared counts (empty for none) taken out of its kinds.
struct Item {
  char fate;  // '-' or '+'
  std::string kinds, path, before, after, target, directory, line;  // a w's: "directory|line"
  bool hasTarget = false;
  bool Is(char kind) const { return kinds.find(kind) != std::string::npos; }
};

struct Runner {
  void SetUp() {
    // The prefix's own places, which no row may change (all of Public).
    for (int csidl : {CSIDL_PROFILE, CSIDL_LOCAL_APPDATA, CSIDL_APPDATA, CSIDL_PROGRAMS,
                      CSIDL_COMMON_DOCUMENTS}) {
      char path[MAX_PATH] = "";
      SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
      std::string place = path;
      if (csidl == CSIDL_COMMON_DOCUMENTS) place = place.substr(0, place.rfind('\\'));
      ASSERT_GE(place.size(), 4u) << csidl;
      watched_.push_back(place);
    }
    // Rows add to these keys; they exist before the first look at them.
    for (const std::string &key :
         {kCV + "\\Run", kCV + "\\Uninstall", ownKey_, std::string(kSharedDlls)}) {
      ASSERT_EQ(CreateKey(key == kSharedDlls ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, key), 0);
    }
  }

  ~Runner() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RegDeleteTreeA(root, ownKey_.c_str());
    if (!aliasLink_.empty()) RemoveLink(aliasLink_, alias_ + "\\");
  }

  // A free drive letter for the fixture's folder, as `subst` makes one.
  void MakeDriveAlias() {
    for (char letter = 'M'; letter < 'Z' && alias_.empty(); ++letter) {
      if (GetLogicalDrives() & (1u << (letter - 'A'))) continue;
      const std::string drives = UnixPath("C:\\");  // .../dosdevices/c:
      aliasLink_ = drives.substr(0, drives.size() - 2) + char(letter - 'A' + 'a') + ":";
      alias_ = std::string(1, letter) + ":";
      MakeLink(aliasLink_, folder_.path(), alias_ + "\\");
    }
    ASSERT_FALSE(alias_.empty()) << "no free drive letter";
  }

  // What lies outside the rows' own folders and keys, out of every phase's reach.
  std::set<std::string> Watched() const {
    std::set<std::string> all;
    for (const std::string &place : watched_) all.merge(FolderListing(place));
    for (const std::string &key :
         {std::string(), std::string("Software"), std::string("Software\\Microsoft"), kCV,
          kCV + "\\Run", kCV + "\\Uninstall"}) {
      all.merge(KeyListing(HKEY_CURRENT_USER, key));
    }
    return all;
  }

  std::string Expand(std::string text) const {
    for (size_t i = 0; i < placeholders_.size(); i += 2) {
      const std::string &from = placeholders_[i], &to = placeholders_[i + 1];
      for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
      }
    }
    for (size_t at; (at = text.find("<x")) != std::string::npos;) {
      const size_t end = text.find('>', at);
      text.replace(at, end + 1 - at, std::string(std::atoi(&text[at + 2]), 'x'));
    }
    for (size_t at; (at = text.find("~{")) != std::string::npos;) {
      const size_t end = text.find('}', at);
      char shortPath[MAX_PATH] = "";
      const std::string path = text.substr(at + 2, end - at - 2);
      EXPECT_TRUE(GetShortPathNameA(path.c_str(), shortPath, MAX_PATH)) << path;
      text.replace(at, end + 1 - at, shortPath);
    }
    return text;
  }

  std::string Block(const Row &row) const {
    if (row.block) return row.block();
    Manifest manifest;
    manifest.messages = messages_;
    for (const FileRecord &f : row.files)
      manifest.files.push_back({Expand(f.folder), f.fileName, f.flags});
    for (const ShortcutRecord &s : row.shortcuts) {
      manifest.shortcuts.push_back(
          {s.levels, Expand(s.folder), Expand(s.altFolder), Expand(s.fileName)});
    }
    for (const RegistryRecord &r : row.registry)
      manifest.registry.push_back({r.rootKey, Expand(r.keyPath)});
    std::string list;
    for (const std::string &entry : row.directories) {
      manifest.directories.push_back(Expand(entry));
      list += manifest.directories.back() + '\0';
    }
    manifest.settings = row.settings;
    for (auto *line : {&manifest.settings.program, &manifest.settings.document}) {
      if (*line) *line = Expand(**line);
    }
    if (!(row.options & (LIST_UNCLOSED | LIST_LAST_UNTERMINATED))) return EncodeBlock(manifest);
    if (row.options & LIST_LAST_UNTERMINATED) list.pop_back();
    manifest.directories.clear();
    return EncodeChunk(CHUNK_DIRECTORIES, list) + EncodeBlock(manifest);
  }

  Item ParseItem(const std::string &text) const {
    const size_t colon = text.find(':');
    const bool plain = colon == std::string::npos || text.find('\\') < colon;
    Item item;
    item.fate = text[0];
    item.kinds = plain ? "" : text.substr(1, colon - 1);
    item.path = Expand(text.substr(plain ? 1 : colon + 1));
    if (const size_t to = item.path.find('=');
        to != std::string::npos && (item.Is('j') || item.Is('w') || IsKey(item.path))) {
      item.target = item.path.substr(to + 1);
      item.hasTarget = true;
      item.path.erase(to);
    }
    const size_t bar = item.target.find('|');
    item.line = item.target.substr(bar == std::string::npos ? 0 : bar + 1);
    if (bar != std::string::npos) item.directory = item.target.substr(0, bar);
    if (const size_t s = item.kinds.find('s'); s != std::string::npos) {
      const size_t arrow = item.kinds.find('>');
      item.before = item.kinds.substr(s + 1, arrow - s - 1);
      item.after = item.kinds.substr(arrow + 1);
      item.kinds.erase(s);
    }
    return item;
  }

  // Makes a registry item as it is before the run.
  void CreateKeyItem(const Item &item, const Item *before) {
    const RegistryItem key = ParseRegistryItem(item.path);
    if (item.Is('k')) {
      const bool target = before && before->Is('t');
      return CreateLink(
          key, target ? ParseRegistryItem(before->path).key : "Software\\Quenrid Nowhere");
    }
    NoteNewKeys(key);
    if (item.Is('o')) {
      const Value old = GetValue(key.root, key.key, *key.value);
      if (old.first != REG_NONE) savedValues_[item.path] = old;
      if (old.first != REG_NONE && !item.hasTarget) return;
    }
    const std::string data = item.hasTarget ? item.target : "x";
    ASSERT_EQ(key.value ? RegSetKeyValueA(key.root, key.key.c_str(), key.value->c_str(), REG_SZ,
                                          data.c_str(), DWORD(data.size() + 1))
                        : CreateKey(key.root, key.key),
              ERROR_SUCCESS)
        << item.path;
  }

  // Makes the item as it is before the run.
  void Create(const Item &item, const Item *before) {
    const std::string &path = item.path;
    if (IsKey(path)) return CreateKeyItem(item, before);
    if (SamePath(path, exe_)) return;  // the run's own
    CreateFolders(item.Is('j') ? path.substr(0, path.find_last_not_of('\\') + 1) : path);
    if (item.Is('j')) {
      if (!Exists(item.target)) {
        CreateFolders(item.target);
        if (item.target.back() != '\\') WriteBinaryFile(item.target, "x");
      }
      return MakeLink(UnixPath(path), item.target, path);
    }
    if (path.back() == '\\') return;
    const char *copied = item.Is('c')   ? "recording_com_server.dll"
                         : item.Is('p') ? "qrdep.dll"
                         : item.Is('d') ? "dependent_com_server.dll"
                         : item.Is('x') ? "crashing_com_server.dll"
                         : item.Is('e') ? "exportless_com_server.dll"
                         : item.Is('w') ? "recorder.exe"
                                        : nullptr;
    if (item.Is('d')) {
      const std::string beside = path.substr(0, path.rfind('\\')) + "\\qrdep.dll";
      ASSERT_TRUE(CopyFileA(TestProgram("qrdep.dll").c_str(), beside.c_str(), FALSE));
    }
    if (copied) {
      ASSERT_TRUE(CopyFileA(TestProgram(copied).c_str(), path.c_str(), FALSE)) << path;
    } else {
      const size_t stem = path.rfind('\\') + 1, dot = path.rfind('.');
      const std::string name = "Quenrid " + id_ + " " + path.substr(stem, dot - stem);
      WriteBinaryFile(path, item.Is('f') ? BuildFont({{{kMacintosh, kFullName, name}}}) : "x");
    }
    if (item.Is('r')) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    if (const DWORD count = std::atoi(item.before.c_str()); !item.before.empty()) {
      RegSetKeyValueA(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), REG_DWORD, &count, 4);
    }
    if (item.Is('l') || item.Is('h')) locks_.emplace_back(path, item.Is('h'));
    if (item.Is('q') && !readOnlyCounts_) readOnlyCounts_ = std::make_unique<CountsOnlyReadable>();
  }

  // The first key on the way to `item` that is not there yet: the row's
  // clean-up removes it with all below it.
  void NoteNewKeys(const RegistryItem &item) {
    for (size_t end = 0; end != std::string::npos;) {
      end = item.key.find('\\', end + 1);
      HKEY key;
      if (RegOpenKeyExA(item.root, item.key.substr(0, end).c_str(), 0, KEY_READ, &key)) {
        return newKeys_.push_back({item.root, item.key.substr(0, end), std::nullopt});
      }
      RegCloseKey(key);
    }
  }

  // What the row made outside its own folder and key goes again, and the
  // prefix's own values come back.
  void CleanUp(const std::vector<Item> &items, const std::string &folder) {
    for (auto item = items.rbegin(); item != items.rend(); ++item) {
      const std::string &path = item->path;
      const RegistryItem key = ParseRegistryItem(path);
      if (item->Is('j')) {
        RemoveLink(UnixPath(path), path);
      } else if (item->Is('k')) {
        DeleteLink(key);
      } else if (const auto saved = savedValues_.find(path); saved != savedValues_.end()) {
        PutValue(key.root, key.key, *key.value, saved->second);
      } else if (IsKey(path)) {
        key.value ? (void)RegDeleteKeyValueA(key.root, key.key.c_str(), key.value->c_str())
                  : (void)RegDeleteTreeA(key.root, key.key.c_str());
      } else if (path.rfind(folder, 0) != 0) {
        path.back() == '\\' ? (void)RemoveTree(path.substr(0, path.size() - 1))
                            : (void)DeleteFileA(path.c_str());
      }
      RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str());
    }
    for (auto key = newKeys_.rbegin(); key != newKeys_.rend(); ++key) {
      RegDeleteTreeA(key->root, key->key.c_str());
    }
    newKeys_.clear();
    savedValues_.clear();
  }

  // Waits for the box or question `question` and answers it.
  void AnswerQuestion(const Process &run, const Row &row, const Question &question) {
    const std::string path = Expand(question.path);
    SCOPED_TRACE("message " + std::to_string(question.message) + " about " + path);
    const bool readOnly = question.message == 9;
    HWND dialog = ui::WaitForDialog(run.id(), kDialogTimeoutMs, [readOnly](HWND w) {
      return readOnly ? ui::HasControl(w, IDC_NO_TO_ALL) : ui::IsMessageBox(w);
    });
    ASSERT_NE(dialog, nullptr) << "never asked";
    const ui::DialogInfo info = ui::Describe(dialog);
    if (readOnly) {
      EXPECT_EQ(ui::ControlText(dialog, IDC_MESSAGE_TEXT), WithArgument(messages_[9], path));
      EXPECT_EQ(ui::WindowText(dialog), messages_[0]);
      const int buttons[] = {IDYES, IDC_YES_TO_ALL, IDNO, IDC_NO_TO_ALL};
      for (int i = 0; i < 4; ++i) EXPECT_EQ(ui::ControlText(dialog, buttons[i]), messages_[3 + i]);
      if (!std::strpbrk(row.switches, "QSX")) ExpectProgressStands(run);  // not quiet
    } else if (question.message == 10) {
      EXPECT_EQ(info.text, WithArgument(messages_[10], path));
      EXPECT_EQ(info.buttons, (std::vector<int>{IDYES, IDNO})) << "not a Yes/No box";
    } else {
      const bool none = question.message == 0;
      EXPECT_EQ(info.caption, none ? "" : messages_[0]);
      EXPECT_EQ(info.text, none        ? ""
                           : row.block ? WithArgument(messages_[question.message], exe_)
                                       : messages_[question.message]);
      EXPECT_EQ(info.buttons, row.block ? std::vector<int>{IDOK} : kButtons.at(question.message));
    }
    if (question.release) locks_.clear();
    const int id = question.answer;  // Esc gives the read-only question its IDCANCEL
    EXPECT_TRUE(id == ENTER                    ? PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0)
                : id == CLOSE_BOX              ? ui::PressCloseBox(dialog)
                : readOnly && id == IDCANCEL ? ui::PostCommand(dialog, id)
                                               : ui::PressButton(dialog, id));
    EXPECT_TRUE(ui::WaitForClose(dialog, kDialogTimeoutMs));
  }

  // The removal cannot be stopped half-way: Enter, Esc and the close box
  // leave the progress dialog behind the question standing.
  void ExpectProgressStands(const Process &run) {
    HWND progress = ui::WaitForDialog(run.id(), kDialogTimeoutMs,
                                      [](HWND w) { return ui::HasControl(w, IDC_PROGRESS_BAR); });
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(ui::WindowText(progress), messages_[0]);
    EXPECT_EQ(ui::ControlText(progress, IDC_MESSAGE_TEXT), messages_[11]);
    PostMessageA(progress, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(progress, WM_KEYDOWN, VK_ESCAPE, 0);
    ui::PressCloseBox(progress);
    EXPECT_FALSE(ui::WaitForClose(progress, 300));
  }

  // The placeholders of a row's run in `folder`, on `system`.
  void Placeholders(const Row &row, const std::string &folder, bool nt) {
    // The row's folder from Z:, on the host's own path to the drive.
    std::string onZ = HostPathToWindows(UnixPath(folder));
    const std::string drive = "\\dosdevices\\c:";
    if (const size_t at = onZ.find(drive); at != std::string::npos) {
      onZ.replace(at, drive.size(), "\\drive_c");
    }
    // clang-format off
    placeholders_ = {"<App>", folder + "\\" + row.app, "<Exe>", exe_,
                     "<Temp>", folder + "\\" + row.temp, "$", folder, "<K>", ownKey_ + "\\" + id_,
                     "<T>", "Quenrid-" + id_, "<id>", id_, "<CV>", kCV,
                     "<Public>", folder + "\\public", "<Viewer>", folder + "\\my viewer\\viewer.exe",
                     "<Fonts>", kFontKeys[nt], "<OtherFonts>", kFontKeys[!nt],
                     "<Q>", alias_ + "\\" + id_, "<Z>", onZ, "<WinFonts>", WindowsFolder() + "\\Fonts"};
    // clang-format on
    for (const MovedFolder &moved : kMovedFolders) {
      placeholders_.insert(placeholders_.end(), {moved.placeholder, folder + "\\" + moved.folder});
    }
  }

  // The recorder at `item.path` noted one start with its line and, when
  // given, in its directory, or none; by the desktop's shell when `byDesktop`.
  void ExpectStart(const Item &item, const Row &row, bool byDesktop) {
    const std::string log = item.path + ".log";
    const auto text = [&] { return Exists(log) ? ReadBinaryFile(log) : ""; };
    const bool started = WaitUntil([&] { return !text().empty(); },
                                   item.target.empty() ? 0 : kSettleMs);
    ASSERT_EQ(started, !item.target.empty()) << item.path << ": " << text();
    if (!started) return;
    const std::string said = text();
    ASSERT_EQ(said.find("\r\n"), said.size() - 2) << "started more than once: " << said;
    const std::vector<std::string> field = Fields(said.substr(0, said.size() - 2));
    ASSERT_EQ(field.size(), 4u) << said;
    EXPECT_EQ(field[1], item.line);
    EXPECT_TRUE(item.directory.empty() || SamePath(field[0], item.directory)) << said;
    // A program that sleeps ends before the removal only when waited for.
    const bool waited = row.settings.flags & SETTINGS_WAIT_FOR_PROGRAM;
    EXPECT_TRUE(field[1].find("sleep=") == std::string::npos || (field[2] == "1") == waited);
    EXPECT_EQ(_stricmp(field[3].c_str(), "explorer.exe") == 0, byDesktop) << said;
  }

  // The self-deletion's loop, batch and what lies in the batch's place.
  struct Deletion {
    std::string batch, aside, squatted, commandCom;
    HANDLE hold = nullptr, watch = INVALID_HANDLE_VALUE;
  };

  void PrepareDeletion(const Row &row, Deletion &d, const std::string &folder) {
    d.batch = Expand("<Temp>\\delme1.bat");
    d.aside = folder + "\\aside\\delme1.bat";
    d.squatted = "@\"" + folder + "\\bin\\qrpwn.exe\" squat\r\n";
    if (row.options & SQUAT_FILE) WriteBinaryFile(d.batch, d.squatted);
    // Wine lists no dangling link: the link is seen made while its target is
    // there, then left dangling, and made whole again to be removed.
    if (row.options & SQUAT_LINK) {
      CreateFolders(d.aside);
      WriteBinaryFile(d.aside, "aside");
      MakeLink(UnixPath(Expand("<Temp>")) + "/delme1.bat", d.aside, d.batch);
      DeleteFileA(d.aside.c_str());
      d.watch = FindFirstChangeNotificationA((folder + "\\aside").c_str(), FALSE,
                                             FILE_NOTIFY_CHANGE_FILE_NAME);
    }
    d.commandCom = WindowsFolder() + "\\command.com";
    if (row.options & COMMAND_COM) {
      CopyFileA(TestProgram("recorder.exe").c_str(), d.commandCom.c_str(), FALSE);
    }
  }

  // After the run: the loop of cmd.exe, a batch, whether the held executable
  // waited, and what lies in the batch's place.
  void CheckDeletion(const Row &row, Deletion &d, DWORD uninstaller, const FILETIME &since) {
    if (row.options & COMMAND_COM) {
      // The recorder, standing in for command.com, runs no batch.
      const bool written = Listed(d.batch);
      EXPECT_EQ(written, !(row.options & NO_BATCH)) << "the batch";
      EXPECT_TRUE(WaitUntil([&] { return Exists(d.commandCom + ".log") == written; }));
      EXPECT_TRUE(!written ||
                  ReadBinaryFile(d.commandCom + ".log").find(d.batch) != std::string::npos);
      DeleteFileA(d.batch.c_str());
    }
    // Only a row that watches the loop waits for it.
    std::vector<HANDLE> loop;
    if (row.options & LOOP) loop = ChildProcesses(uninstaller, "cmd.exe", since);
    EXPECT_TRUE(!(row.options & LOOP) || loop.empty() == ((row.options & COMMAND_COM) != 0))
        << "the loop of cmd.exe";
    if (row.options & (HELD | READ_ONLY_EXE)) {
      Sleep(row.options & READ_ONLY_EXE ? 3000 : kQuietMs);
      EXPECT_TRUE(Exists(exe_)) << "the held executable went";
      EXPECT_FALSE(Listed(Expand("<Temp>\\delme*.bat"))) << "a batch that anyone could rewrite";
      EXPECT_TRUE(!loop.empty() && WaitForSingleObject(loop[0], 0) == WAIT_TIMEOUT)
          << "the loop gave up at once";
    }
    if (d.hold) CloseHandle(d.hold);
    for (HANDLE process : loop) {
      EXPECT_EQ(WaitForSingleObject(process, kLoopBoundMs), WAIT_OBJECT_0) << "the loop never ends";
      TerminateProcess(process, 1);
      CloseHandle(process);
    }
    EXPECT_TRUE(!(row.options & SQUAT_FILE) || ReadBinaryFile(d.batch) == d.squatted)
        << "squatter changed";
    if (row.options & SQUAT_LINK) {
      EXPECT_EQ(WaitForSingleObject(d.watch, 0), WAIT_TIMEOUT) << "written through the link";
      FindCloseChangeNotification(d.watch);
      WriteBinaryFile(d.aside, "aside");
      RemoveLink(UnixPath(Expand("<Temp>")) + "/delme1.bat", d.batch);
    }
    EXPECT_FALSE(!(row.options & (SQUAT_FILE | SQUAT_LINK)) && Listed(d.batch)) << "a batch was left";
    for (const std::string &path : {d.commandCom, d.commandCom + ".log", d.batch}) {
      if (row.options & (COMMAND_COM | SQUAT_FILE)) DeleteFileA(path.c_str());
    }
  }

  // The plan's boxes and questions are the row's: those about a file as a
  // set (after an answer "to all" it may ask about more, since it answers Yes
  // once for each file), the others in order.
  void ExpectPlannedDialogue(const Row &row, const nlohmann::json &plan) {
    std::set<std::string> asked;
    std::vector<std::string> boxes, shown;
    for (const auto &step : plan["steps"]) {
      if (step["what"] != "asks") continue;
      if (step["path"] != "") asked.insert(step["path"]);
      else boxes.push_back(step.value("detail", ""));
    }
    bool toAll = false;
    for (const Question &question : row.dialogue) {
      if (question.answer == EMPTY) continue;
      toAll = toAll || question.answer == IDC_YES_TO_ALL || question.answer == IDC_NO_TO_ALL;
      if (question.message == 9 || question.message == 10) {
        EXPECT_EQ(asked.erase(Expand(question.path)), 1u) << "not in the plan: " << question.path;
      } else {
        shown.push_back(messages_[question.message]);
      }
    }
    for (const std::string &path : asked) EXPECT_TRUE(toAll) << "the plan asks about " << path;
    EXPECT_EQ(boxes, shown) << "the plan's boxes";
  }

  // What a run's recorded COM calls say (each line: what, the server, the
  // process, its folder, its error mode): where each server was unregistered,
  // and that no planted library was loaded.
  void ExpectComCalls(const std::vector<Item> &items, const std::string &record, int systemBit) {
    size_t servers = 0, unregistered = 0;
    for (const Item &item : items) servers += item.Is('c') || item.Is('x') || item.Is('d');
    std::ifstream in(record);
    for (std::string line; std::getline(in, line);) {
      const std::vector<std::string> e = Fields(line);
      ASSERT_EQ(e.size(), 5u) << line;
      const std::string &what = e[0], &dll = e[1], &process = e[2], &directory = e[3];
      const bool inStub = SamePath(process, exe_), unregister = what == "unregister";
      EXPECT_TRUE(systemBit == NT ? !inStub : inStub || !unregister) << what << " in " << process;
      // Called here, from the server's folder and with no error boxes.
      EXPECT_TRUE(!inStub || !unregister ||
                  (SamePath(directory, dll.substr(0, dll.rfind('\\'))) &&
                   std::strtoul(e[4].c_str(), nullptr, 16) ==
                       (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)))
          << line;
      unregistered += unregister;
      for (const Item &item : items) {
        EXPECT_FALSE(item.Is('p') && SamePath(dll, item.path)) << "loaded or run: " << dll;
      }
    }
    EXPECT_EQ(unregistered, servers);
  }

  void Run(const Row &row, const System &system) {
    if (!(row.systems & system.bit)) return;
    id_ =
        std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial_) + "-" + system.name;
    SCOPED_TRACE(std::string(row.name) + " on " + system.name);
    const std::string folder = folder_ / id_;
    const bool nt = system.bit != WIN9X;
    if (alias_.empty()) MakeDriveAlias();
    const std::string exeName =
        system.bit == NT ? "uninst.exe" : std::string("uninst-") + system.name + ".exe";
    exe_ = folder + "\\" + row.app + "\\" + exeName;
    Placeholders(row, folder, nt);
    messages_ = TestMessages();
    for (const Question &question : row.dialogue) {
      if (question.answer == EMPTY) messages_[question.message] = "";
    }
    const std::set<std::string> watchedBefore = Watched();
    std::optional<MovedShellFolders> moved(std::in_place, folder);
    const auto quenrid = [](const std::string &arguments) {
      DWORD code = 1;
      const std::string said = RunQuenrid(arguments, &code);
      EXPECT_EQ(code, 0u) << arguments << ": " << said;
    };
    const std::string captured = folder + "\\captured";
    if (row.options & CAPTURED) quenrid("capture --save \"" + captured + ".json\"");
    CreateFolders(exe_);
    CreateFolders(Expand("<Temp>\\"));
    std::vector<Item> items;
    for (const std::string &text : row.items) {
      items.push_back(ParseItem(text));
      Create(items.back(), items.size() > 1 ? &items[items.size() - 2] : nullptr);
    }
    Deletion deletion;
    PrepareDeletion(row, deletion, folder);
    const auto any = [&](const std::function<bool(const Item &)> &is) {
      return std::any_of(items.begin(), items.end(), is);
    };
    // The desktop's shell starts the viewer.
    const bool byDesktop = system.bit == NT &&
                           any([](const Item &i) { return i.Is('v') && !i.target.empty(); }) &&
                           DesktopShellAnswers();
    // The runs' temporary folder, and a search path where planted programs lie.
    char oldPath[4096] = "";
    GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
    SetEnvironmentVariableA("PATH", (folder + "\\bin;" + oldPath).c_str());
    for (const char *name : {"TMP", "TEMP"}) SetEnvironmentVariableA(name, Expand("<Temp>").c_str());

    // The plan of a run whose boxes are answered as the plan answers them: OK,
    // Yes once, no Retry; where nobody sees the station, as /Q /N.
    bool planned = !row.block;
    for (const Question &q : row.dialogue) {
      planned = planned && !q.release && !(q.answer == IDCANCEL && q.message != 9);
    }
    nlohmann::json plan;
    const std::string record = folder + "\\com-record.txt";
    DWORD uninstaller = 0;
    FILETIME started{};
    {
      WindowsVersionFor version(exeName, system.version);
      if (row.options & CAPTURED) {
        quenrid("capture --since \"" + captured + ".json\" --install-dir \"" + Expand("<App>") +
                "\" -o \"" + captured + "-manifest.json\"");
        quenrid("pack --stub \"" + StubPath() + "\" --manifest \"" + captured +
                "-manifest.json\" -o \"" + exe_ + "\"");
      } else {
        std::string packed = PackBlock(ReadBinaryFile(StubPath()), Block(row));
        if (row.options & ZERO_OFFSET) {
          const std::string marker = {DATA_OFFSET_MARKER_BYTES};
          std::memset(&packed[packed.find(marker) + marker.size()], 0, 4);
        }
        WriteBinaryFile(exe_, packed);
      }
      if (row.options & READ_ONLY_EXE) SetFileAttributesA(exe_.c_str(), FILE_ATTRIBUTE_READONLY);
      if (row.options & HELD) {
        deletion.hold = CreateFileA(exe_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
      }
      WindowsVersionFor planVersion("quenrid.exe", system.version);
      const std::string switches =
          std::string(row.switches) + (row.options & HIDDEN ? " /Q /N" : "");
      if (planned) {
        plan = nlohmann::json::parse(
            RunQuenrid("plan --json --switches \"" + switches + "\" \"" + exe_ + "\""));
      } else if (row.block) {
        DWORD code = 0;  // a block the run refuses, the plan refuses too
        const std::string said = RunQuenrid("plan \"" + exe_ + "\"", &code);
        EXPECT_EQ(code, 1u) << "the plan of a refused block: " << said;
      }
      for (const Item &item : items) {
        EXPECT_TRUE(SamePath(item.path, exe_) || ItemExists(item.path))
            << "the plan changed: " << item.path;
      }
      GetSystemTimeAsFileTime(&started);
      SetEnvironmentVariableA("QUENRID_COM_RECORD", record.c_str());
      Process run(exe_, row.switches, row.startIn ? Expand(row.startIn) : "",
                  row.options & HIDDEN);
      SetEnvironmentVariableA("QUENRID_COM_RECORD", nullptr);
      uninstaller = run.id();
      for (const Question &question : row.dialogue) {
        if (question.answer != EMPTY) AnswerQuestion(run, row, question);
      }
      // Without a closing message the progress dialog is the last window
      // seen; a box would keep the run from ending.
      const DWORD exit = row.block ? 0xFFFFFFFF : 0;
      EXPECT_TRUE(run.ExitsWith(exit, !messages_[2].empty()));
    }
    moved.reset();
    SetEnvironmentVariableA("PATH", oldPath);
    locks_.clear();
    readOnlyCounts_.reset();
    CheckDeletion(row, deletion, uninstaller, started);
    ExpectComCalls(items, record, system.bit);
    // What must never start is watched a while, once for all of them.
    if (any([](const Item &i) { return i.Is('w') && i.target.empty(); })) Sleep(kQuietMs);
    for (const Item &item : items) {
      if (item.Is('w')) ExpectStart(item, row, item.Is('v') && byDesktop);
      if (SamePath(item.path, exe_) && item.fate == '+') Sleep(kQuietMs);
      const bool exists = item.fate == '+' ? ItemExists(item.path)
                                           : !WaitUntil([&] { return !ItemExists(item.path); });
      EXPECT_EQ(exists, item.fate == '+') << (exists ? "left: " : "removed: ") << item.path;
      EXPECT_TRUE(!exists || !item.Is('r') ||
                  GetFileAttributesA(item.path.c_str()) & FILE_ATTRIBUTE_READONLY)
          << "no longer read-only: " << item.path;
      DWORD count = 0, size = sizeof count;
      const bool counted = !RegGetValueA(HKEY_LOCAL_MACHINE, kSharedDlls, item.path.c_str(),
                                         RRF_RT_REG_DWORD, nullptr, &count, &size);
      EXPECT_EQ(counted ? std::to_string(count) : "", item.after) << "shared count: " << item.path;
      if (!planned) continue;
      // What the plan leaves to an answer, the dialogue decides.
      if (item.Is('w')) {
        const std::string &line = item.line, &document = row.settings.document.value_or("");
        EXPECT_TRUE(item.Is('v') ? document.empty() || Launches(plan, Expand(document)) == !line.empty()
                    : line.empty() ? !Launches(plan, item.path)
                                   : Launches(plan, line, true))
            << "the plan's start of " << item.path;
      } else if (!item.Is('n') &&
                 !PlanLists(plan, "removedOnYes", item.path, alias_, folder_.path())) {
        EXPECT_EQ(PlanLists(plan, "removed", item.path, alias_, folder_.path()), !exists)
            << "plan wrong: " << item.path;
      }
    }
    if (planned) {
      for (const auto &removed : plan["removed"]) {
        EXPECT_FALSE(ItemExists(removed.get<std::string>())) << "planned, but left: " << removed;
      }
      ExpectPlannedDialogue(row, plan);
      // The plan starts the self-deletion, the loop of cmd.exe or a batch,
      // unless the switches or the lack of a batch keep it from it.
      const bool deletes = !std::strpbrk(row.switches, "SX") && !(row.options & NO_BATCH);
      EXPECT_EQ(Launches(plan, "!QUENRID_EXE!") || Launches(plan, Expand("<Temp>\\delme")), deletes)
          << "the plan's self-deletion";
    }
    CleanUp(items, folder);
    std::set<std::string> watchedAfter = Watched();
    for (const std::string &name : watchedBefore) {
      EXPECT_EQ(watchedAfter.erase(name), 1u) << "gone from outside the row: " << name;
    }
    for (const std::string &name : watchedAfter) ADD_FAILURE() << "new outside the row: " << name;
  }

  const std::string kCV = kCurrentVersion;
  TestFolder folder_;
  const std::string ownKey_ = "Software\\Quenrid-" + std::to_string(GetCurrentProcessId());
  std::vector<std::string> watched_, messages_;
  std::string id_, alias_, aliasLink_, exe_;
  std::vector<std::string> placeholders_;  // each followed by what it stands for
  std::list<FileLock> locks_;
  std::unique_ptr<CountsOnlyReadable> readOnlyCounts_;
  std::vector<RegistryItem> newKeys_;  // made by the row, see NoteNewKeys
  std::map<std::string, Value> savedValues_;  // o items as they were
  int serial_ = 0;
};

}  // namespace

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string RowName(const ::testing::TestParamInfo<Row> &info) { return info.param.name; }
void PrintTo(const Row &row, std::ostream *os) { *os << row.name; }

void RunAll(const std::vector<Row> &rows) {
  Runner runner;
  runner.SetUp();
  if (::testing::Test::HasFatalFailure()) return;
  for (const Row &row : rows) {
    for (const System &system : kSystems) runner.Run(row, system);
  }
}

}  // namespace quenrid::test
