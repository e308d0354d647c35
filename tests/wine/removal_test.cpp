// The removal phases through the real packed stub, as rows of data: what the
// uninstall data lists, what exists before the run, the questions the run
// asks and their answers, and what must be gone or still there after it.
// Every row also checks that the user's and the shell's places look as they
// did, and that `quenrid plan`, run just before, predicted what the run did.
#include <windows.h>

#include <gtest/gtest.h>
#include <aclapi.h>
#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "../host/truetype_file.h"
#include "data/uninstall_data.h"
#include "file_lock.h"
#include "harness.h"
#include "resources/resource.h"
#include "test_messages.h"
#include "ui_driver.h"
#include "writer/uninstall_writer.h"

extern "C" LONG WINAPI NtDeleteKey(HANDLE key);

namespace quenrid::test {
namespace {

enum : uint32_t { HKCR = 0x80000000, HKCU = 0x80000001, HKLM = 0x80000002 };
// The Windows versions a row runs under: wine's default NT 6, Windows XP
// (NT 5) and Windows 98.
enum Systems { NT = 1, WIN9X = 2, BOTH = 3, XP = 4, ALL = 7 };
const struct System {
  int bit;
  const char *version, *name;
} kSystems[] = {{NT, nullptr, "nt"}, {XP, "winxp", "xp"}, {WIN9X, "win98", "9x"}};
enum ListForm { LIST_CLOSED, LIST_UNCLOSED, LIST_LAST_UNTERMINATED };  // the directory list's end
enum : uint8_t { SHARED = FILE_FLAG_SHARED_DLL, FONT = FILE_FLAG_FONT, COM = FILE_FLAG_COM_SERVER };

// Placeholders in every string of a row:
//   $          the row's own folder; the stub runs from $\app
//   <K>        a registry key of the row's own, below Software
//   <T>        a first-level key name of the row's own
//   <id>       a name unique to the row and run
//   <Docs> <Desktop> <Programs>... (kMovedFolders) and <Public>  the shell
//              folders, moved by each run into $\user and $\public, out of a
//              faulty phase's reach of the prefix's own (the host's home)
//   <PublicDesktop> <ProgramFiles> <CommonFiles> <PublicAppData>  likewise
//   <Q> <Z>    the row's own folder on another drive letter that names it, and
//              on Z:, wine's letter for the host's root
//   ~{path}    the short form the machine gives `path`, once it exists
//   <Temp>     the prefix's temporary folder
//   <CV>       Software\Microsoft\Windows\CurrentVersion
//   <Fonts> <OtherFonts>  below HKLM, the running family's font key, the other's
// An item is "-" (must be gone after the run) or "+" (must still be there),
// then a path, with these before it and a colon:
//   r   a read-only file, still read-only if it stays
//   l   a file held open by another process
//   h   a file held open by another process that lets others read it
//   q   a shared file whose counts' key the run may only read
//   k   a registry subkey that is a link: to the key of the item before it
//       when that is a t, else nowhere, so that it can be neither opened nor
//       deleted
//   t   a registry key below HKLM, or a value's key, that the next k links to
//   o   a value that the prefix may hold already: kept as it is, and put back
//       after the row (or deleted, if the row made it)
//   sB>A  a shared file with count B before and A after (none if empty)
//   c x e  a copy of the COM server that records its calls, crashes, or lacks
//       the export: each c and x is unregistered once, by regsvr32 on NT 6,
//       else by the stub itself
//   f   a TrueType file whose Macintosh full name is "Quenrid <id> <stem>"
//   n   something the plan does not speak of
//   d   a copy of the server that imports qrdep.dll by its bare name, with
//       qrdep.dll (a recording server too) beside it; unregistered like c
//   p   a copy of qrdep.dll planted where a search for a program or library
//       by its bare name would find it: never loaded or run
//   j   a link, the path before "=" pointing at the one after it (a folder
//       when that ends in a backslash), made as wine makes one: a symbolic
//       link of the host
// A registry value may be followed by "=" and its data ("x" without).
// A path ending in a backslash is a folder; one starting with HK a registry
// key, or a value after a double backslash (the default value if none follows).
// The dialogue lists, in order, each message that the run asks about a path
// and the button that answers it (IDCANCEL as Esc gives it), or EMPTY for a
// message left empty in the row's data.
enum { EMPTY = 0 };
struct Question {
  int message, answer;
  const char *path = "";
};

struct Case {
  const char *name;
  int systems;
  std::vector<FileRecord> files;
  std::vector<ShortcutRecord> shortcuts;
  std::vector<RegistryRecord> registry;
  std::vector<std::string> directories;
  std::vector<std::string> items;
  std::vector<Question> dialogue = {};
  const char *startIn = nullptr;  // the run's current directory
  ListForm listForm = LIST_CLOSED;
};

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// The shared counts' key, readable only while the object lives: its own
// access list is put back through a handle opened before it changed.
class CountsOnlyReadable {
 public:
  CountsOnlyReadable() {
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDlls, 0, READ_CONTROL | WRITE_DAC, &key_);
    DWORD size = 0;
    RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.resize(size);
    EXPECT_EQ(RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size), 0);
    EXPLICIT_ACCESSA read{KEY_READ, SET_ACCESS, NO_INHERITANCE, {}};
    read.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    read.Trustee.ptstrName = const_cast<char *>("EVERYONE");
    PACL acl = nullptr;
    SetEntriesInAclA(1, &read, nullptr, &acl);
    EXPECT_EQ(SetSecurityInfo(key_, SE_REGISTRY_KEY,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, acl, nullptr), 0u);
    LocalFree(acl);
  }
  ~CountsOnlyReadable() {
    EXPECT_EQ(RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data()), 0);
    RegCloseKey(key_);
  }

 private:
  HKEY key_ = nullptr;
  std::vector<char> saved_;
};
const char *const kFontKeys[] = {"Software\\Microsoft\\Windows\\CurrentVersion\\Fonts",
                                 "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"};

const char kCurrentVersion[] = "Software\\Microsoft\\Windows\\CurrentVersion";

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

// Creates the folders on the way to `path`, and `path` itself when it ends
// in a backslash.
void CreateFolders(const std::string &path) {
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
}

// The shell folders of kMovedFolders below `folder` while the object lives;
// the prefix's own values come back afterwards.
struct MovedShellFolders {
  explicit MovedShellFolders(const std::string &folder) {
    for (const MovedFolder &moved : kMovedFolders) {
      char value[MAX_PATH] = "";
      DWORD size = sizeof value, type = REG_NONE;
      RegGetValueA(moved.root, moved.key, moved.value, RRF_RT_ANY | RRF_NOEXPAND, &type, value,
                   &size);
      saved.push_back({type, value});
      Set(moved, REG_SZ, folder + "\\" + moved.folder);
      CreateFolders(folder + "\\" + moved.folder + "\\");
    }
  }
  ~MovedShellFolders() {
    for (size_t i = 0; i < saved.size(); ++i) {
      const MovedFolder &moved = kMovedFolders[i];
      saved[i].first == REG_NONE ? (void)RegDeleteKeyValueA(moved.root, moved.key, moved.value)
                                 : Set(moved, saved[i].first, saved[i].second);
    }
  }
  static void Set(const MovedFolder &moved, DWORD type, const std::string &to) {
    RegSetKeyValueA(moved.root, moved.key, moved.value, type, to.c_str(), DWORD(to.size() + 1));
  }
  std::vector<std::pair<DWORD, std::string>> saved;
};

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
  if (!IsKey(path)) return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.insert(folder + "\\" + found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
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

// The plan lists `path`, or a folder or key it lies in, under `list`; what
// it lists on `drive` (a run acts on a folder as the data reached it) is taken
// as lying in `driveFolder`, which the drive stands for.
bool PlanLists(const nlohmann::json &plan, const char *list, std::string path,
               const std::string &drive, const std::string &driveFolder) {
  if (!IsKey(path) && path.back() == '\\') path.pop_back();
  for (const auto &listed : plan[list]) {
    std::string folder = listed.get<std::string>() + "\\";
    if (!_strnicmp(folder.c_str(), (drive + "\\").c_str(), drive.size() + 1)) {
      folder = driveFolder + folder.substr(drive.size());
    }
    if (SamePath(path + "\\", folder) || !_strnicmp(path.c_str(), folder.c_str(), folder.size())) {
      return true;
    }
  }
  return false;
}

// What the test COM servers of tests/support record, a line per event:
// attach, unregister or detach, in which process, folder and error mode.
struct Event {
  std::string what, dll, process, directory;
  unsigned errorMode = 0;
};

std::vector<Event> ReadEvents(const std::string &recordPath) {
  std::vector<Event> events;
  std::ifstream in(recordPath);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    Event &e = events.emplace_back();
    for (std::string *f : {&e.what, &e.dll, &e.process, &e.directory}) getline(fields, *f, '\t');
    fields >> std::hex >> e.errorMode;
  }
  return events;
}

// Waits for the question about `path`: message 10 in a Yes/No message box,
// 9 in the read-only question; and answers it.
void AnswerQuestion(const Process &run, const Question &question, const std::string &path) {
  SCOPED_TRACE("message " + std::to_string(question.message) + " about " + path);
  const bool box = question.message == 10;
  HWND dialog = ui::WaitForDialog(run.id(), kDialogTimeoutMs, [box](HWND w) {
    return ui::IsMessageBox(w) == box && (box || ui::HasControl(w, IDC_NO_TO_ALL));
  });
  ASSERT_NE(dialog, nullptr) << "never asked";
  EXPECT_EQ(box ? ui::Describe(dialog).text : ui::ControlText(dialog, IDC_MESSAGE_TEXT),
            WithArgument(TestMessages()[question.message], path));
  EXPECT_TRUE(!box || ui::Describe(dialog).buttons == (std::vector<int>{IDYES, IDNO}))
      << "not a Yes/No box";
  Answer(dialog, question.answer, question.answer == IDCANCEL);
}

// An item of a row, its shared counts (empty for none) taken out of its kinds.
struct Item {
  char fate;  // '-' or '+'
  std::string kinds, path, before, after, target;
  bool Is(char kind) const { return kinds.find(kind) != std::string::npos; }
};

class RemovalPhases : public ::testing::Test {
 protected:
  void SetUp() override {
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
    char temp[MAX_PATH] = "";
    temp_.assign(temp, GetTempPathA(sizeof temp, temp) - 1);
    CreateDirectoryA(temp_.c_str(), nullptr);
    // Rows add to these keys; they exist before the first look at them.
    for (const std::string &key :
         {kCV + "\\Run", kCV + "\\Uninstall", ownKey_, std::string(kSharedDlls)}) {
      ASSERT_EQ(CreateKey(key == kSharedDlls ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, key), 0);
    }
  }

  void TearDown() override {
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
    for (size_t at; (at = text.find("~{")) != std::string::npos;) {
      const size_t end = text.find('}', at);
      char shortPath[MAX_PATH] = "";
      const std::string path = text.substr(at + 2, end - at - 2);
      EXPECT_TRUE(GetShortPathNameA(path.c_str(), shortPath, MAX_PATH)) << path;
      text.replace(at, end + 1 - at, shortPath);
    }
    return text;
  }

  std::string Block(const Case &row) const {
    Manifest manifest;
    manifest.messages = TestMessages();
    for (const Question &question : row.dialogue) {
      if (question.answer == EMPTY) manifest.messages[question.message] = "";
    }
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
    if (row.listForm == LIST_CLOSED) return EncodeBlock(manifest);
    if (row.listForm == LIST_LAST_UNTERMINATED) list.pop_back();
    manifest.directories.clear();
    return EncodeChunk(CHUNK_DIRECTORIES, list) + EncodeBlock(manifest);
  }

  Item ParseItem(const std::string &text) const {
    const size_t colon = text.find(':');
    const bool plain = colon == std::string::npos;
    Item item{text[0],
              plain ? "" : text.substr(1, colon - 1),
              Expand(text.substr(plain ? 1 : colon + 1)),
              "",
              "",
              ""};
    if (const size_t to = item.path.find('=');
        to != std::string::npos && (item.Is('j') || IsKey(item.path))) {
      item.target = item.path.substr(to + 1);
      item.path.erase(to);
    }
    if (const size_t s = item.kinds.find('s'); s != std::string::npos) {
      const size_t arrow = item.kinds.find('>');
      item.before = item.kinds.substr(s + 1, arrow - s - 1);
      item.after = item.kinds.substr(arrow + 1);
      item.kinds.erase(s);
    }
    return item;
  }

  // Makes the item as it is before the run.
  void Create(const Item &item, const Item *before) {
    const std::string &path = item.path;
    if (IsKey(path)) {
      const RegistryItem key = ParseRegistryItem(path);
      if (item.Is('k')) {
        const bool target = before && before->Is('t');
        return CreateLink(
            key, target ? ParseRegistryItem(before->path).key : "Software\\Quenrid Nowhere");
      }
      NoteNewKeys(key);
      DWORD type = REG_NONE, size = 0;
      if (item.Is('o') && !RegGetValueA(key.root, key.key.c_str(), key.value->c_str(),
                                        RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size)) {
        std::string data(size, '\0');
        ASSERT_EQ(RegGetValueA(key.root, key.key.c_str(), key.value->c_str(),
                               RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size),
                  ERROR_SUCCESS)
            << path;
        savedValues_[path] = {type, data.substr(0, size)};
        return;
      }
      const std::string data = item.target.empty() ? "x" : item.target;
      ASSERT_EQ(key.value ? RegSetKeyValueA(key.root, key.key.c_str(), key.value->c_str(), REG_SZ,
                                            data.c_str(), DWORD(data.size() + 1))
                          : CreateKey(key.root, key.key),
                ERROR_SUCCESS)
          << path;
      return;
    }
    CreateFolders(item.Is('j') ? path.substr(0, path.find_last_not_of('\\') + 1) : path);
    if (item.Is('j')) {
      if (GetFileAttributesA(item.target.c_str()) == INVALID_FILE_ATTRIBUTES) {
        CreateFolders(item.target);
        if (item.target.back() != '\\') WriteBinaryFile(item.target, "x");
      }
      return MakeLink(UnixPath(path), item.target, path);
    }
    if (path.back() == '\\') return;
    const char *server = item.Is('c')   ? QUENRID_RECORDING_SERVER
                         : item.Is('p') ? QUENRID_DEPENDENCY
                         : item.Is('d') ? QUENRID_DEPENDENT_SERVER
                         : item.Is('x') ? QUENRID_CRASHING_SERVER
                         : item.Is('e') ? QUENRID_EXPORTLESS_SERVER
                                        : nullptr;
    if (item.Is('d')) {
      const std::string beside = path.substr(0, path.rfind('\\')) + "\\qrdep.dll";
      ASSERT_TRUE(CopyFileA(HostPathToWindows(QUENRID_DEPENDENCY).c_str(), beside.c_str(), FALSE));
    }
    if (server) {
      ASSERT_TRUE(CopyFileA(HostPathToWindows(server).c_str(), path.c_str(), FALSE)) << path;
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
        const std::string &data = saved->second.second;
        RegSetKeyValueA(key.root, key.key.c_str(), key.value->c_str(), saved->second.first,
                        data.data(), DWORD(data.size()));
      } else if (IsKey(path)) {
        key.value ? (void)RegDeleteKeyValueA(key.root, key.key.c_str(), key.value->c_str())
                  : (void)RegDeleteTreeA(key.root, key.key.c_str());
      } else if (path.rfind(folder, 0) != 0) {
        path.back() == '\\' ? (void)RemoveTree(path.substr(0, path.size() - 1))
                            : (void)DeleteFileA(path.c_str());
      }
      RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str());
    }
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (".quenrid-" + id_).c_str());
    for (auto key = newKeys_.rbegin(); key != newKeys_.rend(); ++key) {
      RegDeleteTreeA(key->root, key->key.c_str());
    }
    newKeys_.clear();
    savedValues_.clear();
  }

  void Run(const Case &row, const System &system) {
    if (!(row.systems & system.bit)) return;
    id_ =
        std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial_) + "-" + system.name;
    SCOPED_TRACE(std::string(row.name) + " on " + system.name);
    const std::string folder = folder_ / id_;
    const bool nt = system.bit != WIN9X;
    if (alias_.empty()) MakeDriveAlias();
    // The row's folder from Z:, on the host's own path to the drive.
    std::string onZ = HostPathToWindows(UnixPath(folder));
    const std::string drive = "\\dosdevices\\c:";
    if (const size_t at = onZ.find(drive); at != std::string::npos) {
      onZ.replace(at, drive.size(), "\\drive_c");
    }
    // clang-format off
    placeholders_ = {"$", folder, "<K>", ownKey_ + "\\" + id_, "<T>", "Quenrid-" + id_, "<id>", id_,
                     "<Temp>", temp_, "<CV>", kCV, "<Public>", folder + "\\public",
                     "<Fonts>", kFontKeys[nt], "<OtherFonts>", kFontKeys[!nt],
                     "<Q>", alias_ + "\\" + id_, "<Z>", onZ};
    // clang-format on
    for (const MovedFolder &moved : kMovedFolders) {
      placeholders_.insert(placeholders_.end(), {moved.placeholder, folder + "\\" + moved.folder});
    }
    const std::set<std::string> watchedBefore = Watched();
    CreateFolders(folder + "\\app\\");
    std::vector<Item> items;
    for (const std::string &text : row.items) {
      items.push_back(ParseItem(text));
      Create(items.back(), items.size() > 1 ? &items[items.size() - 2] : nullptr);
    }

    nlohmann::json plan;
    const std::string exeName = std::string("uninst-removal-") + system.name + ".exe";
    const std::string exe = folder + "\\app\\" + exeName, record = folder + "\\com-record.txt";
    {
      MovedShellFolders moved(folder);
      WindowsVersionFor version(exeName, system.version);
      WritePackedStub(exe, Block(row));
      WindowsVersionFor planVersion("quenrid.exe", system.version);
      plan = nlohmann::json::parse(PlanJson(exe, switches_));
      for (const Item &item : items) {
        EXPECT_TRUE(ItemExists(item.path)) << "the plan changed: " << item.path;
      }
      // The file phase's questions come in quiet runs too, without the other
      // prompts around them.
      SetEnvironmentVariableA("QUENRID_COM_RECORD", record.c_str());
      Process run(exe, switches_, row.startIn ? Expand(row.startIn) : "");
      SetEnvironmentVariableA("QUENRID_COM_RECORD", nullptr);
      for (const Question &question : row.dialogue) {
        if (question.answer != EMPTY) AnswerQuestion(run, question, Expand(question.path));
      }
      EXPECT_TRUE(ExitsSilentlyWith(run, 0));
    }
    locks_.clear();
    readOnlyCounts_.reset();

    size_t servers = 0, unregistered = 0;
    for (const Item &item : items) servers += item.Is('c') || item.Is('x') || item.Is('d');
    for (const Event &e : ReadEvents(record)) {
      const bool inStub = SamePath(e.process, exe), unregister = e.what == "unregister";
      EXPECT_TRUE(system.bit == NT ? !inStub : inStub || !unregister)
          << e.what << " in " << e.process;
      // Called here, from the server's folder and with no error boxes.
      EXPECT_TRUE(!inStub || !unregister ||
                  (SamePath(e.directory, e.dll.substr(0, e.dll.rfind('\\'))) &&
                   e.errorMode == (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)))
          << e.directory << " " << e.errorMode;
      unregistered += unregister;
      for (const Item &item : items) {
        EXPECT_FALSE(item.Is('p') && SamePath(e.dll, item.path)) << "loaded or run: " << e.dll;
      }
    }
    EXPECT_EQ(unregistered, servers);
    for (const Item &item : items) {
      const bool exists = ItemExists(item.path);
      EXPECT_EQ(exists, item.fate == '+') << (exists ? "left: " : "removed: ") << item.path;
      EXPECT_TRUE(!exists || !item.Is('r') ||
                  GetFileAttributesA(item.path.c_str()) & FILE_ATTRIBUTE_READONLY)
          << "no longer read-only: " << item.path;
      DWORD count = 0, size = sizeof count;
      const bool counted = !RegGetValueA(HKEY_LOCAL_MACHINE, kSharedDlls, item.path.c_str(),
                                         RRF_RT_REG_DWORD, nullptr, &count, &size);
      EXPECT_EQ(counted ? std::to_string(count) : "", item.after) << "shared count: " << item.path;
      // What the plan leaves to an answer, the dialogue decides.
      if (!item.Is('n') && !PlanLists(plan, "removedOnYes", item.path, alias_, folder_.path())) {
        EXPECT_EQ(PlanLists(plan, "removed", item.path, alias_, folder_.path()), !exists)
            << "plan wrong: " << item.path;
      }
    }
    for (const auto &removed : plan["removed"]) {
      EXPECT_FALSE(ItemExists(removed.get<std::string>())) << "planned, but left: " << removed;
    }
    // The plan asks what the run asks; after an answer "to all" it may ask
    // about more, since it answers Yes once for each file.
    std::set<std::string> asked;
    for (const auto &step : plan["steps"]) {
      if (step["what"] == "asks" && step["path"] != "") asked.insert(step["path"]);
    }
    bool toAll = false;
    for (const Question &question : row.dialogue) {
      if (question.answer == EMPTY) continue;
      toAll = toAll || question.answer == IDC_YES_TO_ALL || question.answer == IDC_NO_TO_ALL;
      EXPECT_EQ(asked.erase(Expand(question.path)), 1u) << "not in the plan: " << question.path;
    }
    for (const std::string &path : asked) EXPECT_TRUE(toAll) << "the plan asks about " << path;
    CleanUp(items, folder);
    std::set<std::string> watchedAfter = Watched();
    for (const std::string &name : watchedBefore) {
      EXPECT_EQ(watchedAfter.erase(name), 1u) << "gone from outside the row: " << name;
    }
    for (const std::string &name : watchedAfter) ADD_FAILURE() << "new outside the row: " << name;
  }

  const char *switches_ = "/S";  // the runs' switches

  void RunAll(const std::vector<Case> &rows) {
    for (const Case &row : rows) {
      for (const System &system : kSystems) Run(row, system);
    }
  }

  const std::string kCV = "Software\\Microsoft\\Windows\\CurrentVersion";
  TestFolder folder_;
  const std::string ownKey_ = "Software\\Quenrid-" + std::to_string(GetCurrentProcessId());
  std::vector<std::string> watched_;
  std::string temp_, id_, alias_, aliasLink_;
  std::vector<std::string> placeholders_;  // each followed by what it stands for
  std::list<FileLock> locks_;
  std::unique_ptr<CountsOnlyReadable> readOnlyCounts_;
  std::vector<RegistryItem> newKeys_;  // made by the row, see NoteNewKeys
  std::map<std::string, std::pair<DWORD, std::string>> savedValues_;  // o items: type and data
  int serial_ = 0;
};

// clang-format off
TEST_F(RemovalPhases, FilesAndTheirFolders) {
  RunAll({
      {"files go in reverse order before their folders; protected and busy folders stay", BOTH,
       {{"$\\sub", ""}, {"$\\sub", "a.txt"}, {"$\\kept", ""}, {"<Public>\\Documents", ""},
        {".", ""}},
       {}, {}, {},
       {"-$\\sub\\a.txt", "-$\\sub\\", "+$\\kept\\unlisted.txt", "+<Public>\\Documents\\"}},
      {"a count above one is lowered and asks nothing; one in use keeps its last", NT,
       {{"$", "busy.dll", SHARED}, {"$", "three.dll", SHARED}, {"$", "locked.dll", SHARED}},
       {}, {}, {}, {"+ls5>4:$\\busy.dll", "+s3>2:$\\three.dll", "+ls1>1:$\\locked.dll"}},
      {"a count whose key the run may only read counts as run out, and the plan's too", NT,
       {{"$", "counted.dll", SHARED}}, {}, {}, {}, {"-qs3>3:$\\counted.dll"}, {{10, EMPTY}}},
      // No value has run out too.
      {"a run-out count asks: Yes removes value and file, No leaves a count of zero", NT,
       {{"$", "novalue.dll", SHARED}, {"$", "kept.dll", SHARED}, {"$", "last.dll", SHARED}},
       {}, {}, {}, {"-s1>:$\\last.dll", "+s1>0:$\\kept.dll", "-s>:$\\novalue.dll"},
       {{10, IDYES, "$\\last.dll"}, {10, IDNO, "$\\kept.dll"}, {10, IDYES, "$\\novalue.dll"}}},
      {"read-only files follow each answer, the last entry asked first; Yes to all holds", BOTH,
       {{"$", "all2.txt"}, {"$", "all.txt"}, {"$", "esc.txt"}, {"$", "no.txt"}, {"$", "yes.txt"}},
       {}, {}, {},
       {"-r:$\\yes.txt", "+r:$\\no.txt", "+r:$\\esc.txt", "-r:$\\all.txt", "-r:$\\all2.txt"},
       {{9, IDYES, "$\\yes.txt"}, {9, IDNO, "$\\no.txt"}, {9, IDCANCEL, "$\\esc.txt"},
        {9, IDC_YES_TO_ALL, "$\\all.txt"}}},
      {"No to all holds for every later read-only file", NT,
       {{"$", "a.txt"}, {"$", "b.txt"}, {"$", "c.txt"}}, {}, {}, {},
       {"+r:$\\a.txt", "+r:$\\b.txt", "+r:$\\c.txt"}, {{9, IDC_NO_TO_ALL, "$\\c.txt"}}},
      {"read-only and run-out files go unasked when their message is empty", NT,
       {{"$", "plain.txt"}, {"$", "last.dll", SHARED}}, {}, {}, {},
       {"-r:$\\plain.txt", "-s1>:$\\last.dll"}, {{9, EMPTY}, {10, EMPTY}}},
      {"a read-only font is never asked about; a read-only file in use stays read-only", NT,
       {{"$", "font.ttf", FONT}, {"$", "held.txt"}, {"$", "read.txt"}}, {}, {}, {},
       {"-r:$\\font.ttf", "+rl:$\\held.txt", "+rh:$\\read.txt"}},
      // A server that crashes, lacks the export or is no library is left to
      // itself and the run goes on; read-only, servers go unasked.
      {"COM servers are unregistered, and the blanks of a path kept in one argument", ALL,
       {{"$", "my server.dll", COM}, {"$", "crash.dll", COM}, {"$", "none.dll", COM},
        {"$", "text.dll", COM}, {"$", "missing.dll", COM}}, {}, {}, {},
       {"-rc:$\\my server.dll", "-x:$\\crash.dll", "-e:$\\none.dll", "-$\\text.dll"}},
      // Only the name in the file counts, and only in the running family's key.
      // A program planted as regsvr32 that ran would fail to start (it is a
      // library), and the stub would unregister the server itself on NT 6.
      // A server's own libraries come from its folder, not the uninstaller's
      // folder nor the current one.
      {"nothing is started or loaded by a bare name from the install folder or the current one",
       ALL, {{"$", "srv.dll", COM}, {"$\\app\\bin", "dep.dll", COM}}, {}, {}, {},
       {"-c:$\\srv.dll", "-d:$\\app\\bin\\dep.dll", "+p:$\\app\\regsvr32.exe",
        "+p:$\\app\\uxtheme.dll", "+p:$\\app\\qrdep.dll", "+p:$\\cw\\regsvr32.exe",
        "+p:$\\cw\\uxtheme.dll", "+p:$\\cw\\qrdep.dll"}, {}, "$\\cw"},
      // Only when it names this file: another font's file of the same name stays registered.
      {"a font's registration goes with it", ALL, {{"$", "m.ttf", FONT}, {"$", "o.ttf", FONT}},
       {}, {}, {},
       {"-f:$\\m.ttf", "-n:HKLM\\<Fonts>\\\\Quenrid <id> m (TrueType)=$\\M.TTF",
        "+n:HKLM\\<OtherFonts>\\\\Quenrid <id> m (TrueType)=$\\m.ttf",
        "+n:HKLM\\<Fonts>\\\\m (TrueType)=$\\m.ttf", "-f:$\\o.ttf",
        "+n:HKLM\\<Fonts>\\\\Quenrid <id> o (TrueType)=o.ttf"}},
      {"emptied folders go upwards until one is not empty", BOTH,
       {{"$\\p\\Sub\\Deep", "f.txt"}, {"$\\q", "f.txt"}, {".\\bin", "tool.dll"},
        {".\\bin\\plugins", "p.dll"}}, {}, {}, {},
       {"-$\\p\\Sub\\Deep\\f.txt", "-$\\p\\", "-$\\q\\f.txt", "+$\\q\\keep.txt",
        "-$\\app\\bin\\plugins\\p.dll", "-$\\app\\bin\\tool.dll", "-$\\app\\bin\\"}},
      // Any spelling of an empty protected folder is that folder; a prefix
      // names no folder, and a link is never removed.
      {"protected folders in other spellings, on other letters and through links stay", BOTH,
       {{"$\\user\\\\Start Menu\\Programs\\StartUp", ""}, {"<Desktop>.", ""}, {"<Desktop> ", ""},
        {"$/user/Desktop", ""}, {"$\\user\\x\\..\\Desktop", ""}, {"$\\user\\.\\Desktop\\", ""},
        {"\\\\?\\<StartUp>", ""}, {"\\\\.\\<StartUp>", ""}, {"~{<StartUp>}", ""},
        {"<Q>\\user\\Desktop", ""}, {"<Z>\\user\\Desktop", ""}, {"$\\desklink", ""},
        {"$\\user\\\\Start Menu", ""}, {"<Q>\\app\\kept", ""}},
       {}, {}, {},
       {"+<StartUp>\\", "+<Desktop>\\", "+<StartMenu>\\", "+j:$\\desklink\\=<Desktop>\\",
        "-$\\app\\kept\\"}},
      {"the all users' desktop in another spelling", NT,
       {{"<PublicDesktop>\\\\", ""}, {"~{<PublicDesktop>}", ""}}, {}, {}, {}, {"+<PublicDesktop>\\"}},
      {"the emptied-folder walk climbs the folders as they are, not as they are spelt", BOTH,
       {{"$\\user\\Desktop.\\Grp", "f.txt"}, {"~{<StartUp>}\\Grp", "f.txt"},
        {"<Q>\\user\\Start Menu\\Grp", "f.txt"}, {"<Z>\\user\\Roaming", "f.txt"},
        {"$\\romlink\\Grp", "f.txt"}},
       {}, {}, {},
       {"-<Desktop>\\Grp\\", "-<StartUp>\\Grp\\", "-<StartMenu>\\Grp\\",
        "+<Desktop>\\", "+<StartUp>\\", "+<StartMenu>\\", "+<AppData>\\",
        "+j:$\\romlink\\=$\\other\\", "+$\\other\\Grp\\", "+$\\other\\keep.txt"}},
      {"a folder entry stands for itself; fonts keep their folder", NT,
       {{"$\\r\\x", ""}, {"$\\r\\x\\y", "f.txt"}, {"$\\font", "x.ttf", FONT}}, {}, {}, {},
       {"-$\\r\\x\\y\\f.txt", "-$\\r\\", "-$\\font\\x.ttf", "+$\\font\\"}},
  });
}

// /N answers both file questions unasked: Yes to all for the read-only file,
// No for the shared one, whose count is left at zero.
TEST_F(RemovalPhases, NoQuestions) {
  switches_ = "/S /N";
  RunAll({{"a read-only file goes, a run-out shared file stays", ALL,
           {{"$", "plain.txt"}, {"$", "last.dll", SHARED}}, {}, {}, {},
           {"-r:$\\plain.txt", "+s1>0:$\\last.dll"}}});
}

TEST_F(RemovalPhases, Directories) {
  RunAll({
      {"a tree with a read-only file, a file held open and protected subfolders", BOTH, {}, {}, {},
       {"..\\user\\*.*"},
       {"-$\\user\\a.txt", "-$\\user\\sub\\b.dat", "-$\\user\\sub\\deep\\c.txt", "-$\\user\\sub\\",
        "-$\\user\\empty\\", "+r:$\\user\\ro\\ro.txt", "+l:$\\user\\held.txt", "+<Docs>\\mine.txt",
        "+<Docs>\\inner\\x.txt", "+<Docs>\\empty\\", "+<Local>\\x.txt", "+<Desktop>\\",
        "+<Programs>\\p.lnk"}},
      {"a pattern that matches some files; a tree that empties goes whole", BOTH, {}, {}, {},
       {"#InstallDir#\\logs\\*.log", "#installdir#\\cache\\*.*", "#InstallDir#\\none\\*.*"},
       {"-$\\app\\logs\\a.log", "-$\\app\\logs\\old\\b.log", "-$\\app\\logs\\old\\",
        "+$\\app\\logs\\keep.txt", "-$\\app\\cache\\x\\y\\z.bin", "-$\\app\\cache\\"}},
      {"an entry without a backslash is a pattern in the install folder", NT, {}, {}, {},
       {"*.tmp"},
       {"-$\\app\\x.tmp", "-$\\app\\sub\\y.tmp", "+$\\app\\sub\\z.txt", "+$\\app\\keep.txt"}},
      {"folders that macros name and users keep their data in are protected", BOTH, {}, {}, {},
       {"#MyDocuments#\\*.*", "#LocalAppData#\\*.*", "#AllUsersDir#\\*.*", "#AppData#\\*.*",
        "#Desktop#\\*.*"},
       {"+<Docs>\\a.txt", "+<Docs>\\empty\\", "+<Local>\\a.txt", "+<Public>\\a.txt",
        "+<Public>\\empty\\", "+<AppData>\\a.txt", "+<Desktop>\\a.txt"}},
      {"a protected folder written in another form is still protected", NT, {}, {}, {},
       {"#MyDocuments#\\..\\Documents\\*.*", "#LocalAppData#\\.\\*.*",
        "#InstallDir#\\..\\user\\\\Desktop\\*.*", "#AllUsersDocuments#\\.\\*.*"},
       {"+<Docs>\\a.txt", "+<Local>\\a.txt", "+<Desktop>\\a.txt", "+<Public>\\Documents\\"}},
      // "##" is a macro that vanishes: the entries are taken as written.
      {"short names, other drive letters and Z: name the protected folders they lead to", BOTH,
       {}, {}, {},
       {"##~{<ProgramFiles>}\\*.*", "##~{<CommonFiles>}\\*.*", "##~{<Docs>}\\*.*",
        "##~{<PublicAppData>}\\*.*", "##<Q>\\user\\Desktop\\*.*", "##<Z>\\user\\Start Menu\\*.*",
        "##$\\user\\Local.\\*.*", "##\\\\?\\<AppData>\\*.*", "##<Q>\\app\\ok\\*.*"},
       {"+<ProgramFiles>\\a.txt", "+<CommonFiles>\\a.txt", "+<Docs>\\a.txt", "+<PublicAppData>\\a.txt",
        "+<Desktop>\\a.txt", "+<StartMenu>\\a.txt", "+<Local>\\a.txt", "+<AppData>\\a.txt",
        "-$\\app\\ok\\a.txt"}},
      {"no walk enters or deletes through a link; the links stay", BOTH, {}, {}, {},
       {"#InstallDir#\\data\\*.*", "#InstallDir#\\dlink\\*.*", "#InstallDir#\\through\\sub\\*.*",
        "##$\\desklink\\*.*"},
       {"-$\\app\\data\\a.txt", "-$\\app\\data\\sub\\b.txt", "-$\\app\\data\\sub\\",
        "+$\\app\\data\\", "+j:$\\app\\data\\lnk\\=$\\outside\\", "+$\\outside\\canary.txt",
        "+j:$\\app\\data\\flink.txt=$\\outside\\file.txt", "+$\\outside\\file.txt",
        "+j:$\\app\\dlink\\=$\\outside2\\", "+$\\outside2\\c.txt",
        "+j:$\\app\\through\\=$\\outside3\\", "+$\\outside3\\sub\\c.txt",
        "+j:$\\desklink\\=<Desktop>\\", "+<Desktop>\\d.txt"}},
      {"below a protected folder, and in the temporary folder, patterns apply", NT, {}, {}, {},
       {"#MyDocuments#\\Product\\*.*", "#TempDir#\\quenrid-<id>-*.tmp"},
       {"-<Docs>\\Product\\a.txt", "-<Docs>\\Product\\", "+<Docs>\\keep.txt",
        "-<Temp>\\quenrid-<id>-1.tmp", "+<Temp>\\quenrid-<id>.keep"}},
      {"unknown macros vanish; a path that is then not a full one is skipped", NT, {}, {}, {},
       {"#InstallDir#\\first\\*.none", "#Nope#$\\victim\\*.*", "#Nope#second\\*.*", "#Nope#\\*.*"},
       {"+$\\app\\first\\f.txt", "-$\\victim\\a.txt", "+$\\app\\second\\a.txt"}},
      {"paths too long for their buffer are skipped, not cut", NT, {}, {}, {},
       {"#InstallDir#\\cut\\" + std::string(300, '*'), "cut2\\" + std::string(300, '*'),
        "#InstallDir#\\ok\\*.*"},
       {"+$\\app\\cut\\a.txt", "+$\\app\\cut2\\a.txt", "-$\\app\\ok\\a.txt"}},
      {"a list without its closing empty string", NT, {}, {}, {}, {"d1\\*.*", "d2\\*.*"},
       {"-$\\app\\d1\\a.txt", "-$\\app\\d2\\a.txt"}, {}, nullptr, LIST_UNCLOSED},
      {"a last string without its terminator is not used", NT, {}, {}, {}, {"d1\\*.*", "d2\\*.*"},
       {"-$\\app\\d1\\a.txt", "+$\\app\\d2\\a.txt"}, {}, nullptr, LIST_LAST_UNTERMINATED},
  });
}

TEST_F(RemovalPhases, Shortcuts) {
  RunAll({
      {"files go before folders; levels walk both sides in step", BOTH, {},
       {{1, "$\\menu\\group", "$\\alt\\group", "a.lnk"}, {0, "$\\menu\\group", "", "b.lnk"},
        {1, "$\\m\\a\\b", "", "c.lnk"}}, {}, {},
       {"-$\\menu\\group\\a.lnk", "-$\\menu\\group\\b.lnk", "-$\\menu\\", "-$\\alt\\group\\",
        "-$\\alt\\", "-$\\m\\a\\b\\c.lnk", "-$\\m\\a\\", "+$\\m\\"}},
      {"nothing at or above a protected folder, on either side", BOTH, {},
       {{3, "<Programs>\\Quenrid\\Group", "", "p.lnk"}, {2, "<Desktop>", "$\\y\\grp", "d.lnk"},
        {2, "$\\x\\grp", "<Desktop>", ""}}, {}, {},
       {"-<Programs>\\Quenrid\\Group\\p.lnk", "-<Programs>\\Quenrid\\", "+<Programs>\\",
        "-<Desktop>\\d.lnk", "+$\\y\\grp\\", "+$\\x\\grp\\"}},
      {"levels stop at a protected folder in any spelling, and at a link", BOTH, {},
       {{1, "$\\user\\Desktop.\\G1", "", ""}, {1, "~{<StartUp>}\\G2", "", ""},
        {2, "<Q>\\user\\Start Menu\\G3\\Sub", "", ""}, {0, "<Z>\\user\\Desktop", "", ""},
        {0, "$\\user\\\\Desktop", "", ""}, {0, "\\\\?\\<Desktop>", "", ""},
        {1, "$\\deskGrp\\G5", "", ""}}, {}, {},
       {"-<Desktop>\\G1\\", "-<StartUp>\\G2\\", "-<StartMenu>\\G3\\",
        "+<Desktop>\\", "+<StartUp>\\", "+<StartMenu>\\",
        "+j:$\\deskGrp\\=$\\grp\\", "+$\\grp\\G5\\"}},
      {"a folder with other files stays, and its parents too", NT, {},
       {{2, "$\\n\\grp", "", "s.lnk"}, {0, "$\\e\\grp", "", ""}}, {}, {},
       {"-$\\n\\grp\\s.lnk", "+$\\n\\grp\\other.txt", "-$\\e\\grp\\"}},
      {"the current directory is left before its folder goes", NT, {},
       {{0, "$\\CW\\GRP", "", "c.lnk"}}, {}, {},
       {"-$\\cw\\grp\\c.lnk", "-$\\cw\\grp\\", "+$\\cw\\"}, {}, "$\\cw\\grp"},
  });
}

TEST_F(RemovalPhases, Registry) {
  const std::string tree = "<K>\\Vendor\\Product";
  RunAll({
      {"values by the last double backslash; a trailing pair is the default", BOTH, {}, {},
       {{HKCU, "<K>\\App\\\\Version"}, {HKCU, "<K>\\App\\\\"}, {HKCU, "<K>\\Gone\\\\Missing"},
        {HKCU, ""}}, {},
       {"-HKCU\\<K>\\App\\\\Version", "-HKCU\\<K>\\App\\\\", "+HKCU\\<K>\\App\\\\Other",
        "+HKCU\\<K>\\App"}},
      {"a key goes with its whole tree on NT", NT, {}, {},
       {{HKCU, tree}, {HKLM, "<K>\\Machine\\"}, {HKCR, ".quenrid-<id>"}}, {},
       {"-HKCU\\" + tree + "\\Sub\\Deep\\\\Value", "-HKCU\\" + tree, "+HKCU\\<K>\\Vendor",
        "-HKLM\\<K>\\Machine\\Sub", "-HKCR\\.quenrid-<id>\\shell\\open"}},
      {"95/98/Me deletes a key with its subkeys in one call", WIN9X, {}, {},
       {{HKCU, "<K>\\Leaf"}, {HKCU, tree}}, {},
       {"-HKCU\\<K>\\Leaf\\\\Value", "-HKCU\\" + tree + "\\Sub\\Deep", "+HKCU\\<K>\\Vendor"}},
      {"the first failure ends a tree; what went before it stays gone", NT, {}, {},
       {{HKCU, "<K>\\X"}}, {},
       {"-HKCU\\<K>\\X\\a\\child", "-HKCU\\<K>\\X\\a", "+k:HKCU\\<K>\\X\\b", "+HKCU\\<K>\\X\\c",
        "+HKCU\\<K>\\X"}},
      {"first-level and shared keys are never deleted whole", BOTH, {}, {},
       {{HKCU, "<T>"}, {HKCU, "\\\\<T>\\"}, {HKCU, "Software\\\\Microsoft\\"},
        {HKCU, "<CV>\\Run\\"}, {HKCU, "<CV>\\Uninstall\\Quenrid <id>"},
        {HKCU, "<CV>\\Run\\\\Quenrid <id>"}}, {},
       {"+HKCU\\<T>", "+HKCU\\<T>\\\\Marker", "+HKCU\\Software\\Microsoft\\Quenrid <id>",
        "+HKCU\\<CV>\\Run\\\\Other <id>", "-HKCU\\<CV>\\Uninstall\\Quenrid <id>",
        "-HKCU\\<CV>\\Run\\\\Quenrid <id>"}},
      {"aliases of guarded keys are refused in any spelling; a product's key below one goes", BOTH,
       {}, {},
       {{HKLM, "system\\controlset001\\control\\\\Session Manager\\"},
        {HKLM, "SYSTEM\\ControlSet002\\Services\\Quenrid <id>"}, {HKCR, "*\\shell\\Quenrid <id>"}},
       {},
       {"+HKLM\\SYSTEM\\ControlSet001\\Control\\Session Manager\\Quenrid <id>\\\\Canary",
        "-HKLM\\SYSTEM\\ControlSet002\\Services\\Quenrid <id>\\Parameters",
        "-HKCR\\*\\shell\\Quenrid <id>\\command"}},
      {"the 32-bit views of guarded keys are refused; a product's key in one goes", BOTH, {}, {},
       {{HKLM, "Software\\Wow6432Node\\Microsoft"}, {HKCR, "Wow6432Node\\CLSID"},
        {HKLM, "SOFTWARE\\WOW6432NODE\\Classes\\CLSID\\"},
        {HKLM, "Software\\Wow6432Node\\Quenrid <id>"}},
       {},
       {"+HKLM\\Software\\Wow6432Node\\Microsoft\\Quenrid <id>",
        "+HKCR\\Wow6432Node\\CLSID\\{Quenrid <id>}",
        "-HKLM\\Software\\Wow6432Node\\Quenrid <id>\\Sub"}},
      {"keys in the system's own trees are refused, and values in the classes that start programs",
       BOTH, {}, {},
       {{HKLM, "SYSTEM\\CurrentControlSet\\Enum\\Quenrid <id>"},
        {HKCU, "Software\\Policies\\Quenrid <id>"},
        {HKCU, "Software\\Classes\\exefile\\shell\\open\\Quenrid <id>"},
        {HKCU, "Software\\Classes\\exefile\\shell\\open\\Quenrid <id>\\\\Canary"}},
       {},
       {"+HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Quenrid <id>\\\\Canary",
        "+HKCU\\Software\\Policies\\Quenrid <id>",
        "+HKCU\\Software\\Classes\\exefile\\shell\\open\\Quenrid <id>\\\\Canary"}},
      {"values the system reads are refused, through aliases and views; a product's own goes", BOTH,
       {}, {},
       {{HKCU, "Environment\\\\TEMP"}, {HKCU, "environment\\\\\\tmp"},
        {HKLM, "SYSTEM\\ControlSet001\\Control\\Session Manager\\Environment\\\\ComSpec"},
        {HKLM, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\\\ProgramFilesDir"},
        {HKCU, "Environment\\\\QUENRID_<id>_HOME"}},
       {},
       {"+o:HKCU\\Environment\\\\TEMP", "+o:HKCU\\Environment\\\\TMP",
        "+o:HKLM\\SYSTEM\\ControlSet001\\Control\\Session Manager\\Environment\\\\ComSpec",
        "+o:HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\\\ProgramFilesDir",
        "-HKCU\\Environment\\\\QUENRID_<id>_HOME"}},
      // The 95/98/Me family has no registry links.
      {"a link is neither followed nor deleted: a tree ends at it, an entry on it is refused", NT,
       {}, {},
       {{HKLM, "<K>\\Tree"}, {HKLM, "<K>\\Link"}, {HKLM, "<K>\\Link\\\\Canary"}}, {},
       {"-HKLM\\<K>\\Tree\\a\\child", "+HKLM\\<K>\\Outside\\Sub", "+t:HKLM\\<K>\\Outside\\\\Canary",
        "+k:HKLM\\<K>\\Tree\\b\\deep\\link", "+HKLM\\<K>\\Tree\\c", "+HKLM\\<K>\\Target\\Sub",
        "+t:HKLM\\<K>\\Target\\\\Canary", "+k:HKLM\\<K>\\Link"}},
  });
}

// clang-format on

// quenrid.exe pack, run where the product is installed, writes file and
// shortcut folders that begin with a macro expanded with the uninstaller's
// own code, #InstallDir# as the packed file's folder; the uninstaller then
// removes what they name.
TEST(PackOnTheTarget, WritesMacroFoldersExpandedForTheUninstallerToRemove) {
  TestFolder folder;
  const std::string vendor = "Quenrid pack " + std::to_string(GetCurrentProcessId());
  char appData[MAX_PATH], programs[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, appData), S_OK);
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, programs), S_OK);
  const std::string data = std::string(appData) + "\\" + vendor;
  const std::string menu = std::string(programs) + "\\" + vendor, bin = folder / "app\\bin";
  for (const std::string &path : {data, menu, folder / "app", bin}) {
    CreateDirectoryA(path.c_str(), nullptr);
  }
  for (const std::string &path : {data + "\\a.txt", menu + "\\a.lnk", bin + "\\b.dll"}) {
    WriteBinaryFile(path, "x");
  }
  nlohmann::json manifest = {
      {"codePage", GetACP()},
      {"messages", TestMessages()},
      {"files",
       {{{"folder", "#AppData#\\" + vendor}, {"fileName", "a.txt"}},
        {{"folder", "#installdir#\\bin"}, {"fileName", "b.dll"}}}},
      {"shortcuts", {{{"levels", 1}, {"folder", "#Programs#\\" + vendor}, {"fileName", "a.lnk"}}}}};
  WriteBinaryFile(folder / "m.json", manifest.dump());
  const std::string exe = folder / "app\\uninst.exe";
  DWORD code = 1;
  const std::string packed = RunQuenrid("pack --stub \"" + StubPath() + "\" --manifest \"" +
                                            (folder / "m.json") + "\" -o \"" + exe + "\"",
                                        &code);
  ASSERT_EQ(code, 0u) << packed;
  const nlohmann::json dumped =
      nlohmann::json::parse(RunQuenrid("dump \"" + exe + "\"", &code));
  EXPECT_EQ(dumped["files"][0]["folder"], data);
  EXPECT_EQ(dumped["files"][1]["folder"], bin);
  EXPECT_EQ(dumped["shortcuts"][0]["folder"], menu);
  Process run(exe, "/S");
  EXPECT_TRUE(ExitsSilentlyWith(run, 0));
  for (const std::string &path : {data, menu, bin}) {
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
  }
  RemoveTree(data);
  RemoveTree(menu);
}

// The difference between two captures, entry by entry ("+" only in `after`,
// "-" only in `before`); empty when the machine is as it was.
std::vector<std::string> CaptureDifference(const nlohmann::json &before,
                                           const nlohmann::json &after) {
  std::vector<std::string> lines;
  const auto compare = [&](const nlohmann::json &a, const nlohmann::json &b, const std::string &in) {
    for (const auto &[sign, from, to] : {std::tuple{'-', &a, &b}, std::tuple{'+', &b, &a}}) {
      for (const auto &[key, value] : from->items()) {
        if (!to->contains(key) || (*to)[key] != value) lines.push_back(sign + in + key);
      }
    }
  };
  for (const char *list : {"files", "folders"}) {
    nlohmann::json a = nlohmann::json::object(), b = nlohmann::json::object();
    for (const auto &path : before[list]) a[path.get<std::string>()] = true;
    for (const auto &path : after[list]) b[path.get<std::string>()] = true;
    compare(a, b, "");
  }
  compare(before["keys"], after["keys"], "");
  return lines;
}

// capture before and after an installation of our own test installer (files,
// an empty folder, a shared file, a font, a COM server, shortcuts, keys and a
// new value of a key that was there) writes a manifest whose uninstaller,
// packed by quenrid.exe where the product lies, leaves the machine as the
// first capture found it.
TEST(Capture, ItsUninstallerLeavesTheMachineAsItWas) {
  TestFolder folder;
  char programFiles[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programFiles), S_OK);
  // Named for this run: what a failed run left behind is not this run's.
  const std::string product = "Quenrid Capture " + std::to_string(GetCurrentProcessId());
  const std::string dir = std::string(programFiles) + "\\" + product;
  const auto quenrid = [&](const std::string &arguments) {
    DWORD code = 1;
    const std::string output = RunQuenrid(arguments, &code);
    EXPECT_EQ(code, 0u) << arguments << ": " << output;
    return output;
  };
  quenrid("capture --save \"" + (folder / "before.json") + "\"");
  {
    Process install(HostPathToWindows(QUENRID_TEST_INSTALLER),
                    "\"" + dir + "\" \"" + HostPathToWindows(QUENRID_RECORDING_SERVER) + "\" \"" +
                        product + "\"");
    ASSERT_TRUE(ExitsWith(install, 0));
  }
  quenrid("capture --since \"" + (folder / "before.json") + "\" --install-dir \"" +
                       dir + "\" -o \"" + (folder / "product.json") + "\"");
  // What the comparison below must not find any more, it finds now.
  quenrid("capture --save \"" + (folder / "during.json") + "\"");
  const auto capture = [&](const char *name) {
    return nlohmann::json::parse(ReadBinaryFile(folder / name));
  };
  EXPECT_GE(CaptureDifference(capture("before.json"), capture("during.json")).size(), 20u);
  const std::string exe = dir + "\\uninst.exe";
  quenrid("pack --stub \"" + StubPath() + "\" --manifest \"" + (folder / "product.json") +
          "\" -o \"" + exe + "\"");
  {
    Process run(exe, "/Q");
    EXPECT_TRUE(ExitsSilentlyWith(run, 0));
  }
  // The uninstaller deletes itself, and the install folder with it.
  for (int i = 0; i < 200 && GetFileAttributesA(dir.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
    Sleep(100);
  }
  quenrid("capture --save \"" + (folder / "after.json") + "\"");
  const std::vector<std::string> left =
      CaptureDifference(capture("before.json"), capture("after.json"));
  EXPECT_TRUE(left.empty()) << ReadBinaryFile(folder / "product.json") << "\nchanged: "
                            << nlohmann::json(left).dump(1);
}

}  // namespace
}  // namespace quenrid::test
