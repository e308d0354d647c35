// The directory, shortcut, emptied-folder and registry phases through the
// real packed stub, as rows of data: what the uninstall data lists, what
// exists before the run, and what must be gone or still there after it. Every
// row also checks that the user's and the shell's places look as they did,
// and that `quenrid plan`, run just before, predicted what the run did.
#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "data/uninstall_data.h"
#include "file_lock.h"
#include "harness.h"
#include "test_messages.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {
namespace {

enum : uint32_t { HKCR = 0x80000000, HKCU = 0x80000001, HKLM = 0x80000002 };
enum Systems { NT = 1, WIN9X = 2, BOTH = 3 };
// How the directory list ends in the data.
enum ListForm { LIST_CLOSED, LIST_UNCLOSED, LIST_LAST_UNTERMINATED };

// Placeholders in every string of a row:
//   $          the row's own folder; the stub runs from $\app
//   <K>        a registry key of the row's own, below Software
//   <T>        a first-level key name of the row's own
//   <id>       a name unique to the row and run
//   <Docs> <Local> <AppData> <Desktop> <Programs> <Public>
//              the user's shell folders, which each run moves into $\user
//              and $\public, so that even a faulty phase cannot reach the
//              prefix's own (some of which are the host's home folder)
//   <Temp>     the prefix's temporary folder
// An item is "-" (must be gone after the run) or "+" (must still be there),
// optionally "r:" (a read-only file), "l:" (a file held open) or "k:" (a
// registry subkey that links nowhere, so it can be neither opened nor
// deleted), then a path. A path ending in a backslash is a folder. A path
// that starts with HK is a registry key, or a value after a double
// backslash (the default value when nothing follows it).
struct Case {
  const char *name;
  int systems;
  std::vector<FileRecord> files;
  std::vector<ShortcutRecord> shortcuts;
  std::vector<RegistryRecord> registry;
  std::vector<std::string> directories;
  std::vector<std::string> items;
  const char *startIn = nullptr;  // the run's current directory
  ListForm listForm = LIST_CLOSED;
};

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Where a run finds the shell folders of its user: registry value, placeholder,
// and the folder below the row's own.
struct MovedFolder {
  HKEY root;
  const char *value;
  const char *placeholder;
  const char *folder;
};
const MovedFolder kMovedFolders[] = {
    {HKEY_CURRENT_USER, "Personal", "<Docs>", "user\\Documents"},
    {HKEY_CURRENT_USER, "Local AppData", "<Local>", "user\\Local"},
    {HKEY_CURRENT_USER, "AppData", "<AppData>", "user\\Roaming"},
    {HKEY_CURRENT_USER, "Desktop", "<Desktop>", "user\\Desktop"},
    {HKEY_CURRENT_USER, "Start Menu", nullptr, "user\\Start Menu"},
    {HKEY_CURRENT_USER, "Programs", "<Programs>", "user\\Start Menu\\Programs"},
    {HKEY_CURRENT_USER, "StartUp", nullptr, "user\\Start Menu\\Programs\\StartUp"},
    {HKEY_LOCAL_MACHINE, "Common Documents", nullptr, "public\\Documents"},
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
class MovedShellFolders {
 public:
  explicit MovedShellFolders(const std::string &folder) {
    for (const MovedFolder &moved : kMovedFolders) {
      char value[MAX_PATH] = "";
      DWORD size = sizeof value;
      DWORD type = REG_NONE;
      RegGetValueA(moved.root, kShellFolders, moved.value, RRF_RT_ANY | RRF_NOEXPAND, &type, value,
                   &size);
      saved_.push_back({type, value});
      const std::string path = folder + "\\" + moved.folder;
      CreateFolders(path + "\\");
      RegSetKeyValueA(moved.root, kShellFolders, moved.value, REG_SZ, path.c_str(),
                      static_cast<DWORD>(path.size() + 1));
    }
  }
  ~MovedShellFolders() {
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i].first == REG_NONE) {
        RegDeleteKeyValueA(kMovedFolders[i].root, kShellFolders, kMovedFolders[i].value);
        continue;
      }
      RegSetKeyValueA(kMovedFolders[i].root, kShellFolders, kMovedFolders[i].value, saved_[i].first,
                      saved_[i].second.c_str(), static_cast<DWORD>(saved_[i].second.size() + 1));
    }
  }
  MovedShellFolders(const MovedShellFolders &) = delete;
  MovedShellFolders &operator=(const MovedShellFolders &) = delete;

 private:
  std::vector<std::pair<DWORD, std::string>> saved_;
};

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  std::string folder = path;
  if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return folder;
}

void ReplaceAll(std::string &text, const std::string &from, const std::string &to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

bool Exists(const std::string &path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Key and value name of a registry item; no value name for a key.
struct RegistryItem {
  HKEY root;
  std::string key;
  bool isValue = false;
  std::string value;
};

RegistryItem ParseRegistryItem(const std::string &path) {
  RegistryItem item;
  const std::string root = path.substr(0, 4);
  item.root = root == "HKCR"   ? HKEY_CLASSES_ROOT
              : root == "HKLM" ? HKEY_LOCAL_MACHINE
                               : HKEY_CURRENT_USER;
  const std::string rest = path.substr(5);
  const size_t pair = rest.rfind("\\\\");
  if (pair != std::string::npos && pair + 1 == rest.rfind('\\')) {
    item.isValue = true;
    item.key = rest.substr(0, pair);
    item.value = rest.substr(pair + 2);
  } else {
    item.key = rest;
  }
  return item;
}

bool RegistryExists(const RegistryItem &item) {
  HKEY key;
  if (RegOpenKeyExA(item.root, item.key.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  bool found = !item.isValue || RegQueryValueExA(key, item.value.c_str(), nullptr, nullptr, nullptr,
                                                 nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

// A file, folder, registry key or value of a row.
bool ItemExists(const std::string &path) {
  return path.rfind("HK", 0) == 0 ? RegistryExists(ParseRegistryItem(path)) : Exists(path);
}

// A subkey that is a link to a key that does not exist.
void CreateDeadLink(const RegistryItem &item) {
  HKEY link;
  DWORD disposition;
  ASSERT_EQ(RegCreateKeyExA(item.root, item.key.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                            KEY_ALL_ACCESS, nullptr, &link, &disposition),
            ERROR_SUCCESS);
  const wchar_t target[] = L"\\Registry\\Machine\\Software\\Quenrid Nowhere";
  RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE *>(target),
                 sizeof target - sizeof(wchar_t));
  RegCloseKey(link);
}

// Links are deleted as themselves, never followed.
void DeleteLink(const RegistryItem &item) {
  using NtDeleteKeyCall = LONG(WINAPI *)(HANDLE);
  auto ntDeleteKey = reinterpret_cast<NtDeleteKeyCall>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
  HKEY link;
  if (ntDeleteKey && RegOpenKeyExA(item.root, item.key.c_str(), REG_OPTION_OPEN_LINK, DELETE,
                                   &link) == ERROR_SUCCESS) {
    ntDeleteKey(link);
    RegCloseKey(link);
  }
}

void CreateRegistryItem(const RegistryItem &item) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(item.root, item.key.c_str(), &key), ERROR_SUCCESS) << item.key;
  if (item.isValue) RegSetValueExA(key, item.value.c_str(), 0, REG_SZ, (const BYTE *)"x", 2);
  RegCloseKey(key);
}

void DeleteRegistryItem(const RegistryItem &item) {
  if (item.isValue) RegDeleteKeyValueA(item.root, item.key.c_str(), item.value.c_str());
  if (!item.isValue) RegDeleteTreeA(item.root, item.key.c_str());
}

std::set<std::string> FolderListing(const std::string &folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.insert(folder + "\\" + found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

std::set<std::string> KeyListing(HKEY root, const std::string &path) {
  std::set<std::string> names;
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  char name[1024];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.insert(path + "\\" + name);
  }
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.insert(path + "\\\\" + name);
  }
  RegCloseKey(key);
  return names;
}

std::string Lowered(std::string path) {
  for (char &c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return path;
}

// The plan removes `path` itself or a folder or key it lies in.
bool PlanRemoves(const nlohmann::json &plan, std::string path) {
  if (path.rfind("HK", 0) != 0 && path.back() == '\\') path.pop_back();
  path = Lowered(path);
  for (const auto &removed : plan["removed"]) {
    const std::string gone = Lowered(removed.get<std::string>());
    if (path == gone || path.rfind(gone + "\\", 0) == 0) return true;
  }
  return false;
}

class RemovalPhases : public ::testing::Test {
 protected:
  void SetUp() override {
    // The prefix's own places, which no row may change.
    const std::string commonDocuments = ShellFolder(CSIDL_COMMON_DOCUMENTS);
    watched_ = {ShellFolder(CSIDL_PROFILE), ShellFolder(CSIDL_LOCAL_APPDATA),
                ShellFolder(CSIDL_APPDATA), ShellFolder(CSIDL_PROGRAMS),
                commonDocuments.substr(0, commonDocuments.rfind('\\'))};
    for (const std::string &place : watched_) ASSERT_GE(place.size(), 4u);
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    temp_ = std::string(temp, std::strlen(temp) - 1);
    // Rows add to these keys and this folder; they exist before the first
    // look at them.
    for (const std::string &key :
         {std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
          std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"), ownKey_}) {
      HKEY created;
      ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, key.c_str(), &created), ERROR_SUCCESS);
      RegCloseKey(created);
    }
    CreateDirectoryA(temp_.c_str(), nullptr);
  }

  void TearDown() override {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RegDeleteTreeA(root, ownKey_.c_str());
  }

  // Everything outside the rows' own folders and keys that a faulty phase
  // could change.
  std::set<std::string> Watched() const {
    std::set<std::string> all;
    for (const std::string &place : watched_) {
      const std::set<std::string> names = FolderListing(place);
      all.insert(names.begin(), names.end());
    }
    const std::string currentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
    for (const std::string &key :
         {std::string("Software"), std::string("Software\\Microsoft"), currentVersion,
          currentVersion + "\\Run", currentVersion + "\\Uninstall"}) {
      const std::set<std::string> names = KeyListing(HKEY_CURRENT_USER, key);
      all.insert(names.begin(), names.end());
    }
    const std::set<std::string> names = KeyListing(HKEY_CURRENT_USER, "");
    all.insert(names.begin(), names.end());
    return all;
  }

  std::string Expand(std::string text, const std::string &rowFolder, const std::string &id) const {
    ReplaceAll(text, "$", rowFolder);
    ReplaceAll(text, "<K>", ownKey_ + "\\" + id);
    ReplaceAll(text, "<T>", "Quenrid-" + id);
    ReplaceAll(text, "<id>", id);
    for (const MovedFolder &moved : kMovedFolders) {
      if (moved.placeholder) ReplaceAll(text, moved.placeholder, rowFolder + "\\" + moved.folder);
    }
    ReplaceAll(text, "<Public>", rowFolder + "\\public");
    ReplaceAll(text, "<Temp>", temp_);
    return text;
  }

  std::string Block(const Case &row, const std::string &folder, const std::string &id) const {
    Manifest manifest;
    manifest.messages = TestMessages();
    auto expand = [&](std::string text) { return Expand(text, folder, id); };
    for (FileRecord file : row.files) {
      file.folder = expand(file.folder);
      manifest.files.push_back(file);
    }
    for (ShortcutRecord shortcut : row.shortcuts) {
      shortcut.folder = expand(shortcut.folder);
      shortcut.altFolder = expand(shortcut.altFolder);
      shortcut.fileName = expand(shortcut.fileName);
      manifest.shortcuts.push_back(shortcut);
    }
    for (RegistryRecord entry : row.registry) {
      entry.keyPath = expand(entry.keyPath);
      manifest.registry.push_back(entry);
    }
    std::string directories;
    for (const std::string &entry : row.directories) directories += expand(entry) + '\0';
    if (row.listForm == LIST_CLOSED) {
      for (const std::string &entry : row.directories)
        manifest.directories.push_back(expand(entry));
      return EncodeBlock(manifest);
    }
    if (row.listForm == LIST_LAST_UNTERMINATED) directories.pop_back();
    return EncodeChunk(CHUNK_DIRECTORIES, directories) + EncodeBlock(manifest);
  }

  void Run(const Case &row, bool nt) {
    const std::string id = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial_) +
                           (nt ? "-nt" : "-9x");
    SCOPED_TRACE(std::string(row.name) + (nt ? " on NT" : " on 95/98/Me"));
    const std::string folder = folder_ / id;
    const std::set<std::string> watchedBefore = Watched();

    struct Created {
      char fate;  // '-' or '+'
      char kind;  // 'r', 'l', 'k' or ' '
      std::string path;
    };
    std::vector<Created> created;
    std::vector<std::unique_ptr<FileLock>> locks;
    CreateFolders(folder + "\\app\\");
    for (const std::string &item : row.items) {
      const char fate = item[0];
      const char kind = item.size() > 2 && item[2] == ':' ? item[1] : ' ';
      const std::string path = Expand(item.substr(kind == ' ' ? 1 : 3), folder, id);
      created.push_back({fate, kind, path});
      if (path.rfind("HK", 0) == 0) {
        if (kind == 'k') {
          CreateDeadLink(ParseRegistryItem(path));
        } else {
          CreateRegistryItem(ParseRegistryItem(path));
        }
        continue;
      }
      CreateFolders(path);
      if (path.back() == '\\') continue;
      WriteBinaryFile(path, "quenrid");
      if (kind == 'r') SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
      if (kind == 'l') locks.push_back(std::make_unique<FileLock>(path));
    }

    nlohmann::json plan;
    const std::string exeName = std::string("uninst-removal-") + (nt ? "nt" : "9x") + ".exe";
    {
      MovedShellFolders moved(folder);
      WindowsVersionFor version(exeName, nt ? nullptr : "win98");
      const std::string exe = folder + "\\app\\" + exeName;
      WritePackedStub(exe, Block(row, folder, id));
      WindowsVersionFor planVersion("quenrid.exe", nt ? nullptr : "win98");
      plan = nlohmann::json::parse(PlanJson(exe, "/S"));
      for (const Created &item : created) {
        EXPECT_TRUE(ItemExists(item.path)) << "the plan changed the machine: " << item.path;
      }
      Process run(exe, "/S", row.startIn ? Expand(row.startIn, folder, id) : "");
      EXPECT_TRUE(ExitsSilentlyWith(run, 0));
    }
    locks.clear();

    EXPECT_TRUE(Exists(folder + "\\app\\" + exeName));
    for (const Created &item : created) {
      const bool exists = ItemExists(item.path);
      EXPECT_EQ(exists, item.fate == '+') << (exists ? "left: " : "removed: ") << item.path;
      EXPECT_EQ(PlanRemoves(plan, item.path), !exists) << "the plan got wrong: " << item.path;
    }
    for (const auto &removed : plan["removed"]) {
      EXPECT_FALSE(ItemExists(removed.get<std::string>())) << "planned, but left: " << removed;
    }
    // What the row made outside its own folder goes again, links first.
    for (const Created &item : created) {
      if (item.kind == 'k') DeleteLink(ParseRegistryItem(item.path));
    }
    for (auto item = created.rbegin(); item != created.rend(); ++item) {
      const std::string &path = item->path;
      if (path.rfind("HK", 0) == 0) {
        DeleteRegistryItem(ParseRegistryItem(path));
      } else if (path.rfind(folder, 0) != 0) {
        path.back() == '\\' ? (void)RemoveTree(path.substr(0, path.size() - 1))
                            : (void)DeleteFileA(path.c_str());
      }
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, ("Quenrid-" + id).c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (".quenrid-" + id).c_str());
    const std::set<std::string> watchedAfter = Watched();
    for (const std::string &name : watchedBefore) {
      EXPECT_TRUE(watchedAfter.count(name)) << "gone from outside the row: " << name;
    }
    for (const std::string &name : watchedAfter) {
      EXPECT_TRUE(watchedBefore.count(name)) << "new outside the row: " << name;
    }
  }

  void RunAll(const std::vector<Case> &rows) {
    for (const Case &row : rows) {
      if (row.systems & NT) Run(row, true);
      if (row.systems & WIN9X) Run(row, false);
    }
  }

  TestFolder folder_;
  const std::string ownKey_ = "Software\\Quenrid-" + std::to_string(GetCurrentProcessId());
  std::vector<std::string> watched_;
  std::string temp_;
  int serial_ = 0;
};

// clang-format off
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
       {"-$\\app\\d1\\a.txt", "-$\\app\\d2\\a.txt"}, nullptr, LIST_UNCLOSED},
      {"a last string without its terminator is not used", NT, {}, {}, {}, {"d1\\*.*", "d2\\*.*"},
       {"-$\\app\\d1\\a.txt", "+$\\app\\d2\\a.txt"}, nullptr, LIST_LAST_UNTERMINATED},
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
      {"a folder with other files stays, and its parents too", NT, {},
       {{2, "$\\n\\grp", "", "s.lnk"}, {0, "$\\e\\grp", "", ""}}, {}, {},
       {"-$\\n\\grp\\s.lnk", "+$\\n\\grp\\other.txt", "-$\\e\\grp\\"}},
      {"the current directory is left before its folder goes", NT, {},
       {{0, "$\\CW\\GRP", "", "c.lnk"}}, {}, {},
       {"-$\\cw\\grp\\c.lnk", "-$\\cw\\grp\\", "+$\\cw\\"}, "$\\cw\\grp"},
  });
}

TEST_F(RemovalPhases, EmptiedFolders) {
  RunAll({
      {"emptied folders go upwards until one is not empty", BOTH,
       {{"$\\p\\Sub\\Deep", "f.txt"}, {"$\\q", "f.txt"}, {".\\bin", "tool.dll"},
        {".\\bin\\plugins", "p.dll"}}, {}, {}, {},
       {"-$\\p\\Sub\\Deep\\f.txt", "-$\\p\\", "-$\\q\\f.txt", "+$\\q\\keep.txt",
        "-$\\app\\bin\\plugins\\p.dll", "-$\\app\\bin\\tool.dll", "-$\\app\\bin\\"}},
      {"a folder entry stands for itself; fonts keep their folder", NT,
       {{"$\\r\\x", ""}, {"$\\r\\x\\y", "f.txt"}, {"$\\font", "x.ttf", FILE_FLAG_FONT}}, {}, {}, {},
       {"-$\\r\\x\\y\\f.txt", "-$\\r\\", "-$\\font\\x.ttf", "+$\\font\\"}},
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
        {HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\"},
        {HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenrid <id>"},
        {HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\Quenrid <id>"}}, {},
       {"+HKCU\\<T>\\\\Marker", "+HKCU\\Software\\Microsoft\\Quenrid <id>",
        "+HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\Other <id>",
        "-HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenrid <id>",
        "-HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\Quenrid <id>"}},
  });
}

// A product as an installer leaves it: after the run nothing of it remains,
// and (as every row checks) nothing around it changed.
TEST_F(RemovalPhases, AWholeProduct) {
  RunAll({
      {"a whole product", BOTH,
       {{".\\bin", "tool.exe"}, {".\\bin", "tool.dll"}, {".\\bin\\plugins", "p.dll"},
        {".\\data", ""}, {".\\data\\templates", "a.tpl"}, {"$\\shared", "common.dll"}},
       {{1, "<Programs>\\Quenrid Vendor\\Product", "", "Product.lnk"},
        {1, "<Programs>\\Quenrid Vendor\\Product", "", "Uninstall.lnk"},
        {0, "<Desktop>", "", "Product.lnk"}},
       {{HKCU, "<K>\\Vendor\\Product"},
        {HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenrid <id>"},
        {HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\Quenrid <id>"},
        {HKCU, "<K>\\Vendor\\\\Installed"}},
       {"logs\\*.log", "#TempDir#\\quenrid-<id>-*.tmp"},
       {"-$\\app\\bin\\tool.exe", "-$\\app\\bin\\tool.dll", "-$\\app\\bin\\plugins\\p.dll",
        "-$\\app\\bin\\", "-$\\app\\data\\templates\\a.tpl", "-$\\app\\data\\",
        "-$\\shared\\common.dll", "-$\\shared\\", "-$\\app\\logs\\run.log",
        "-$\\app\\logs\\old\\1.log", "-$\\app\\logs\\",
        "-<Programs>\\Quenrid Vendor\\Product\\Product.lnk",
        "-<Programs>\\Quenrid Vendor\\Product\\Uninstall.lnk", "-<Programs>\\Quenrid Vendor\\",
        "-<Desktop>\\Product.lnk", "+<Desktop>\\", "-<Temp>\\quenrid-<id>-session.tmp",
        "+<Temp>\\other-<id>.tmp", "-HKCU\\<K>\\Vendor\\Product\\Settings\\\\Size",
        "-HKCU\\<K>\\Vendor\\Product",
        "-HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenrid <id>\\\\Name",
        "-HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\Quenrid <id>",
        "-HKCU\\<K>\\Vendor\\\\Installed", "+HKCU\\<K>\\Vendor\\\\Other",
        "+$\\neighbour\\file.txt"}},
  });
}
// clang-format on

}  // namespace
}  // namespace quenrid::test
