// The tool's twin of the uninstaller's machine (src/removal/machine.h): it
// answers from the real machine, as the run would find it once the steps
// before had made their changes, and records each change instead of making
// it. Nothing here writes a file or a key: files and keys are only looked at
// and opened (with the rights the run asks for, so that a refusal shows as
// it would in the run), the current directory moves as the run's would, and
// no process is started.
//
// What it can only estimate: whether another program holds a read-only file
// that the run would make writable for its in-use test. A file cannot be
// opened for writing while it is read-only, so the twin asks for delete
// access instead, which a program that keeps others from writing a file
// keeps them from as a rule.
#include <windows.h>
#include <errno.h>

#include <map>
#include <set>
#include <string>

#include "data/file_io.h"
#include "data/messages.h"
#include "data/state.h"
#include "manifest/manifest.h"
#include "paths/backslash.h"
#include "quenrid/commands.h"
#include "quenrid/recording.h"
#include "removal/machine.h"

namespace quenrid {
namespace {

// As the system resolves `path` from the current directory, without a
// trailing backslash unless it is a root.
std::string ResolvedPath(const char *path) {
  char full[MAX_PATH * 2];
  const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
  std::string result = length > 0 && length < sizeof full ? std::string(full) : path;
  if (result.size() > 3 && result.back() == '\\') result.pop_back();
  return result;
}

// `name` or a folder (key) above it is in `set`; names are lower-case.
bool InOrBelowAny(const std::set<std::string> &set, std::string name) {
  for (;;) {
    if (set.count(name)) return true;
    const size_t at = name.rfind('\\');
    if (at == std::string::npos || at == 0) return false;
    name.resize(at);
  }
}

struct Model {
  std::vector<Record> records;
  std::set<std::string> gone;                // files and folders
  std::set<std::string> goneOnYes;           // those of them that go only on a Yes
  std::set<std::string> created;             // new files
  std::map<std::string, DWORD> attributes;   // as last set
  std::set<std::string> goneKeys;            // "ROOT\key"
  std::set<std::string> goneValues;          // "ROOT\key\\value"
  std::map<std::string, std::pair<DWORD, std::string>> values;  // as last written
  std::map<HKEY, std::string> keyNames;      // open keys
  std::map<intptr_t, std::string> searches;  // each search's folder
  std::set<std::string> answeredYes;         // paths a question was answered Yes for
};

Model &State() {
  static Model model;
  return model;
}

void Note(const char *what, const std::string &path, const std::string &detail = "",
          bool onYes = false) {
  Model &model = State();
  Record record{what, path, detail, "", onYes || model.answeredYes.count(LowerAscii(path)) != 0};
  model.records.push_back(record);
}

// A file or folder goes; what goes only on a Yes takes the folders that it
// empties with it.
void Remove(const char *what, const std::string &full, bool onYes) {
  Note(what, full, "", onYes);
  State().gone.insert(LowerAscii(full));
  if (State().records.back().onYes) State().goneOnYes.insert(LowerAscii(full));
}

bool Gone(const std::string &full) { return InOrBelowAny(State().gone, LowerAscii(full)); }

DWORD RealAttributes(const std::string &full) {
  if (State().created.count(LowerAscii(full))) return FILE_ATTRIBUTE_NORMAL;
  return GetFileAttributesA(full.c_str());
}

// The folder a search pattern looks in.
std::string PatternFolder(const char *pattern) {
  const std::string full = ResolvedPath(pattern);
  const size_t at = full.rfind('\\');
  return at == std::string::npos ? full : full.substr(0, at);
}

// A file or folder the search found that the run would no longer find.
bool Skipped(intptr_t search, const _finddata_t *found) {
  const std::string name = found->name;
  if (name == "." || name == "..") return false;
  return Gone(State().searches[search] + "\\" + name);
}

std::string KeyName(HKEY key) {
  const uint32_t handle = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
  for (const NamedValue &root : kRegistryRoots) {
    if (root.value == handle) return root.name;
  }
  const auto named = State().keyNames.find(key);
  return named == State().keyNames.end() ? "?" : named->second;
}

std::string ValueName(HKEY key, const char *name) {
  return KeyName(key) + "\\\\" + (name ? name : "");
}

// The program a start names: the application given, else the line's first
// word, in quotes or not.
std::string ProgramOf(const char *line, const char *application) {
  if (application) return application;
  std::string text = line;
  if (!text.empty() && text[0] == '"') return text.substr(1, text.find('"', 1) - 1);
  return text.substr(0, text.find(' '));
}

}  // namespace

std::vector<Record> TakeRecords() {
  Model &model = State();
  std::vector<Record> records;
  records.swap(model.records);
  for (const auto &open : model.keyNames) RegCloseKey(open.first);
  model = Model();
  return records;
}

}  // namespace quenrid

using namespace quenrid;

// --- Files and folders

DWORD MachineAttributes(const char *path) {
  const std::string full = ResolvedPath(path);
  if (Gone(full)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  const auto set = State().attributes.find(LowerAscii(full));
  return set != State().attributes.end() ? set->second : RealAttributes(full);
}

void MachineSetAttributes(const char *path, DWORD attributes) {
  // A means to an end (the in-use test, a read-only deletion), not noted.
  if (MachineAttributes(path) != INVALID_FILE_ATTRIBUTES) {
    State().attributes[LowerAscii(ResolvedPath(path))] = attributes;
  }
}

// Opens the real file with `access`, others allowed everything.
bool Opens(const std::string &full, DWORD access) {
  HANDLE file = CreateFileA(full.c_str(), access,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool MachineOpensForWriting(const char *path) {
  const std::string full = ResolvedPath(path);
  if (Gone(full)) return false;
  const DWORD real = RealAttributes(full);
  if (real != INVALID_FILE_ATTRIBUTES && (real & FILE_ATTRIBUTE_READONLY)) {
    return Opens(full, GENERIC_READ) && Opens(full, DELETE);
  }
  FileHandle file = OpenExistingFile(full.c_str(), OPEN_READ_WRITE);
  if (file == InvalidFileHandle()) return false;
  CloseFile(file);
  return true;
}

int MachineDeleteFile(const char *path) {
  const std::string full = ResolvedPath(path);
  const DWORD attributes = MachineAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return ENOENT;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return EACCES;
  // Deleting takes delete access, which a program holding the file may deny.
  if (!State().created.count(LowerAscii(full)) && !Opens(full, DELETE)) return EACCES;
  Remove("deletes the file", full, false);
  return 0;
}

bool MachineRemoveFolder(const char *path) {
  const std::string full = ResolvedPath(path);
  const DWORD attributes = MachineAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((full + "\\*").c_str(), &found);
  bool empty = true, onYes = false;
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName, child = full + "\\" + name;
      if (name != "." && name != ".." && !Gone(child)) empty = false;
      onYes = onYes || State().goneOnYes.count(LowerAscii(child));
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
  }
  for (const std::string &file : State().created) {
    if (file.rfind(LowerAscii(full) + "\\", 0) == 0) empty = false;
  }
  if (!empty) return false;
  Remove("removes the folder", full, onYes);
  return true;
}

bool MachineEnterFolder(const char *path) {
  if (Gone(ResolvedPath(path))) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return SetCurrentDirectoryA(path) != FALSE;
}

DWORD MachineCurrentFolder(char *path) { return GetCurrentDirectoryA(PATH_BUFFER_SIZE, path); }

intptr_t MachineFindFirst(const char *pattern, _finddata_t *found) {
  const std::string folder = PatternFolder(pattern);
  if (Gone(folder)) return -1;
  const intptr_t search = _findfirst(pattern, found);
  if (search == -1) return -1;
  State().searches[search] = folder;
  if (!Skipped(search, found)) return search;
  if (MachineFindNext(search, found) == 0) return search;
  MachineFindClose(search);
  return -1;
}

int MachineFindNext(intptr_t search, _finddata_t *found) {
  int result;
  do {
    result = _findnext(search, found);
  } while (result == 0 && Skipped(search, found));
  return result;
}

void MachineFindClose(intptr_t search) {
  State().searches.erase(search);
  _findclose(search);
}

// --- Registry

LONG MachineOpenKey(HKEY parent, const char *name, DWORD options, REGSAM access, HKEY *key) {
  std::string full = KeyName(parent);
  if (name && name[0]) full += std::string("\\") + name;
  while (full.size() > 1 && full.back() == '\\') full.pop_back();
  if (InOrBelowAny(State().goneKeys, LowerAscii(full))) return ERROR_FILE_NOT_FOUND;
  const LONG opened = RegOpenKeyExA(parent, name, options, access, key);
  if (opened == ERROR_SUCCESS) State().keyNames[*key] = full;
  return opened;
}

void MachineCloseKey(HKEY key) {
  State().keyNames.erase(key);
  RegCloseKey(key);
}

LONG MachineQueryValue(HKEY key, const char *name, DWORD *type, BYTE *data, DWORD *size) {
  const std::string value = LowerAscii(ValueName(key, name));
  if (State().goneValues.count(value)) return ERROR_FILE_NOT_FOUND;
  const auto written = State().values.find(value);
  if (written == State().values.end()) {
    return RegQueryValueExA(key, name, nullptr, type, data, size);
  }
  const std::string &bytes = written->second.second;
  if (type) *type = written->second.first;
  if (!size) return ERROR_SUCCESS;
  const DWORD room = *size;
  *size = static_cast<DWORD>(bytes.size());
  if (!data) return ERROR_SUCCESS;
  if (room < bytes.size()) return ERROR_MORE_DATA;
  memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

LONG MachineSetValue(HKEY key, const char *name, DWORD type, const BYTE *data, DWORD size) {
  std::string detail;
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD number;
    memcpy(&number, data, sizeof number);
    detail = std::to_string(number);
  }
  Note("sets the value", ValueName(key, name), detail);
  const std::string value = LowerAscii(ValueName(key, name));
  State().goneValues.erase(value);
  State().values[value] = {type, std::string(reinterpret_cast<const char *>(data), size)};
  return ERROR_SUCCESS;
}

LONG MachineDeleteValue(HKEY key, const char *name) {
  const LONG found = MachineQueryValue(key, name, nullptr, nullptr, nullptr);
  if (found != ERROR_SUCCESS) return found;
  Note("deletes the value", ValueName(key, name));
  // A value named as a file that a question was about goes with the answer.
  if (name && State().answeredYes.count(LowerAscii(name))) State().records.back().onYes = true;
  const std::string value = LowerAscii(ValueName(key, name));
  State().values.erase(value);
  State().goneValues.insert(value);
  return ERROR_SUCCESS;
}

LONG MachineEnumKey(HKEY key, DWORD index, char *name, DWORD *size) {
  const std::string parent = KeyName(key);
  const DWORD room = *size;
  for (DWORD real = 0, kept = 0;; ++real) {
    *size = room;
    const LONG result = RegEnumKeyExA(key, real, name, size, nullptr, nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) return result;
    if (InOrBelowAny(State().goneKeys, LowerAscii(parent + "\\" + name))) continue;
    if (kept++ == index) return ERROR_SUCCESS;
  }
}

LONG MachineDeleteOpenKey(HKEY key) {
  Note("deletes the key", KeyName(key));
  State().goneKeys.insert(LowerAscii(KeyName(key)));
  return ERROR_SUCCESS;
}

LONG MachineDeleteKeyWithSubkeys(HKEY parent, const char *name) {
  HKEY key;
  const LONG opened = MachineOpenKey(parent, name, 0, KEY_READ, &key);
  if (opened != ERROR_SUCCESS) return opened;
  const std::string full = KeyName(key);
  MachineCloseKey(key);
  Note("deletes the key with its subkeys", full);
  State().goneKeys.insert(LowerAscii(full));
  return ERROR_SUCCESS;
}

// --- Servers, fonts, processes and questions

void MachineUnregisterServer(const char *path) {
  Note("unregisters the COM server", ResolvedPath(path));
}

void MachineRemoveFontResource(const char *path) {
  Note("removes the font resource", ResolvedPath(path));
}

// A stand-in handle for a started process: one that has ended, so that a run
// waiting for it goes straight on.
HANDLE MachineStartProcess(char *line, BOOL, DWORD, WORD, const char *application) {
  char folder[PATH_BUFFER_SIZE] = "";
  MachineCurrentFolder(folder);
  std::string program = ProgramOf(line, application);
  // A bare name is searched for as the system searches: the uninstaller's
  // folder first, then the current one, the system's and the PATH.
  char found[MAX_PATH];
  if (program.find('\\') == std::string::npos) {
    const std::string beside = std::string(InstallFolder ? InstallFolder : "") + program;
    if (MachineAttributes(beside.c_str()) != INVALID_FILE_ATTRIBUTES) {
      program = beside;
    } else if (SearchPathA(nullptr, program.c_str(), ".exe", MAX_PATH, found, nullptr)) {
      program = found;
    }
  }
  const DWORD attributes = MachineAttributes(program.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Note("cannot start (no such program)", folder, line);
    return nullptr;
  }
  Note("starts", folder, line);
  // What the program finds in its environment of ours.
  for (const char *name : {"QUENRID_EXE", "QUENRID_FOLDER", "QUENRID_PING"}) {
    char value[PATH_BUFFER_SIZE * 2];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) continue;
    std::string &environment = State().records.back().environment;
    environment += (environment.empty() ? "" : " ") + std::string(name) + "=" + value;
  }
  return CreateEventA(nullptr, TRUE, TRUE, nullptr);
}

// A document opens when the shell knows a program for it; a web address and,
// from NT 6 on, a program the desktop's shell is asked to start, always.
bool MachineShellOpen(const char *file, const char *arguments, const char *folder) {
  const std::string line = arguments ? std::string(file) + " " + arguments : file;
  char program[MAX_PATH];
  const bool web = IsWebAddress(file);
  const bool opens =
      arguments ? IsNtVersion6
                : web || reinterpret_cast<uintptr_t>(FindExecutableA(file, folder, program)) > 32;
  if (opens) Note(IsNtVersion6 ? "opens through the desktop's shell" : "opens through the shell",
                  folder ? folder : "", line);
  return opens;
}

// The uninstaller being planned, not this tool.
DWORD MachineOwnPath(WCHAR *path, DWORD size) {
  if (!ModulePath) return 0;
  const int length = MultiByteToWideChar(CP_ACP, 0, ModulePath, -1, path, static_cast<int>(size));
  return length > 0 ? static_cast<DWORD>(length - 1) : 0;
}

bool MachineWriteNewFile(const char *path, const char *text, DWORD length) {
  const std::string full = ResolvedPath(path);
  if (MachineAttributes(path) != INVALID_FILE_ATTRIBUTES) return false;
  // A link that points nowhere has no attributes, but is there all the same.
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(full.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE && !Gone(full)) {
    FindClose(search);
    return false;
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  Note("writes the file", full, std::string(text, length));
  State().gone.erase(LowerAscii(full));
  State().created.insert(LowerAscii(full));
  return true;
}

// A question about a file is answered Yes, and what follows from it is
// marked as done only on Yes; asked again (Yes asks again while a read-only
// file cannot be deleted), No, which ends the asking.
int MachineAsk(const char *text, uint32_t, const char *path) {
  const std::string full = ResolvedPath(path);
  Note("asks", full, text);
  return State().answeredYes.insert(LowerAscii(full)).second ? IDYES : IDNO;
}

// The messages that are not about a file: the confirmation and the closing
// message are answered OK, the in-use prompt Cancel (the plan goes on as if
// the files had been closed). The tool's other commands read blocks with the
// product's reader, whose error boxes end up here too, unshown.
int ShowMessage(const char *text, uint32_t style) {
  Note("asks", "", text);
  switch (style & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL: return IDOK;
    case MB_YESNO: return IDYES;
    default: return IDCANCEL;
  }
}

bool WindowStationVisible() { return true; }
