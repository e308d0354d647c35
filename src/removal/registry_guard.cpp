#include "registry_guard.h"

#include <stddef.h>
#include <string.h>

#include "../data/uninstall_data.h"
#include "../paths/ascii_case.h"

enum : uint32_t {
  CANONICAL_SIZE = KEY_TEXT_SIZE + 8,     // room for "ControlSet1" to become "CurrentControlSet"
};

// Where a key lies once its aliases are resolved: below the class root, in a
// machine or user hive (one layout, so one set of rows), or below the current
// hardware configuration; NO_SCOPE for a root that the guard does not know.
enum Scope : uint8_t { NO_SCOPE, CLASSES, HIVE, CONFIG };
enum Mark : uint8_t { NOT_GUARDED, EXACT, TREE };

// Each of `places`, or each of `names` below each of `places` ('|' between
// alternatives), is guarded as the key alone (EXACT: products add their own
// keys below it) or with everything below it (TREE: the system's own tree).
struct KeyRow {
  Scope scope;
  Mark mark;
  const char *places, *names = nullptr;
};

static constexpr const char *CV = "Software\\Microsoft\\Windows\\CurrentVersion";
static constexpr const char *NT_CV = "Software\\Microsoft\\Windows NT\\CurrentVersion";
// The classes of every file, folder and drive that the shell's verbs hang on.
static const char SHELL_OBJECTS[] =
    "*|AllFilesystemObjects|Directory|Directory\\Background|Folder|Drive";

// In the canonical form: no Wow6432Node, CurrentControlSet for every control
// set, class keys below the class root. First-level keys of a hive need no row.
static const KeyRow KEY_ROWS[] = {
    {HIVE, EXACT,
     "Software\\Microsoft|Software\\Clients|Software\\Microsoft\\Windows|"
     "Software\\Microsoft\\Windows NT|SYSTEM\\CurrentControlSet"},
    {HIVE, EXACT, CV},
    {HIVE, EXACT, CV,
     "Uninstall|Run|RunOnce|RunOnceEx|RunServices|RunServicesOnce|App Paths|Fonts|"
     "SharedDLLs|Explorer|Explorer\\ShellIconOverlayIdentifiers|"
     "Explorer\\Browser Helper Objects|Explorer\\Desktop\\NameSpace|"
     "Explorer\\MyComputer\\NameSpace|Shell Extensions|Shell Extensions\\Approved|"
     "Control Panel|Control Panel\\Cpls"},
    {HIVE, EXACT, NT_CV},
    {HIVE, EXACT, NT_CV, "Fonts|Image File Execution Options|Drivers32"},
    {HIVE, EXACT, "SYSTEM\\CurrentControlSet", "Services|Control"},
    {HIVE, EXACT, "SYSTEM\\CurrentControlSet\\Control",
     "Class|Print|Print\\Monitors|SafeBoot|SafeBoot\\Minimal|SafeBoot\\Network|Keyboard Layouts"},
    {HIVE, TREE,
     "HARDWARE|SAM|SECURITY|BCD00000000|Control Panel|Keyboard Layout|Software\\Policies|"
     "Software\\Microsoft\\Cryptography|Software\\Microsoft\\SystemCertificates"},
    {HIVE, TREE, CV,
     "Explorer\\Shell Folders|Explorer\\User Shell Folders|Policies|Installer|Setup|"
     "Group Policy"},
    {HIVE, TREE, NT_CV, "Winlogon|Windows|ProfileList"},
    {HIVE, TREE, "SYSTEM", "Select|Setup|MountedDevices|WPA|DriverDatabase"},
    {HIVE, TREE, "SYSTEM\\CurrentControlSet", "Enum|Hardware Profiles"},
    {HIVE, TREE, "SYSTEM\\CurrentControlSet\\Control",
     "Session Manager|Lsa|Nls|ComputerName|ProductOptions|hivelist|TimeZoneInformation|Windows|"
     "ServiceGroupOrder|GroupOrderList|CrashControl|FileSystem|SecurityProviders|Terminal Server|"
     "NetworkProvider|Power|DeviceClasses|CriticalDeviceDatabase|Video"},
    {CLASSES, EXACT,
     "CLSID|Interface|TypeLib|AppID|Component Categories|MIME|MIME\\Database|"
     "MIME\\Database\\Content Type|SystemFileAssociations|Applications"},
    {CLASSES, EXACT, SHELL_OBJECTS},
    {CLASSES, EXACT, SHELL_OBJECTS,
     "shell|shellex|shellex\\ContextMenuHandlers|"
     "shellex\\PropertySheetHandlers|shellex\\DragDropHandlers|"
     "shellex\\CopyHookHandlers|shellex\\ColumnHandlers"},
    {CLASSES, TREE, SHELL_OBJECTS,
     "shell\\open|shell\\explore|shell\\find|shell\\runas|shell\\cmd|"
     "shell\\opennewwindow|shell\\opennewprocess|shell\\opennewtab|"
     "shell\\Powershell|shell\\print|shell\\printto|shell\\properties"},
    // The classes that start programs, scripts and installers.
    {CLASSES, TREE,
     "exefile|batfile|cmdfile|comfile|lnkfile|piffile|scrfile|regfile|inffile|cplfile|"
     "dllfile|sysfile|VBSFile|VBEFile|JSFile|JSEFile|WSFFile|WSHFile|htafile|"
     "Msi.Package|Msi.Patch|Installer|.exe|.bat|.cmd|.com|.lnk|.pif|.scr|.reg|.inf|"
     ".cpl|.dll|.sys|.vbs|.vbe|.js|.jse|.wsf|.wsh|.hta|.msi|.msp"},
};

// Values of a hive that the system reads, by key and name ("*": every value).
static const struct {
  const char *keys, *names;
} VALUE_ROWS[] = {
    {CV,
     "ProgramFilesDir|CommonFilesDir|ProgramW6432Dir|CommonW6432Dir|ProgramFilesDir (x86)|"
     "CommonFilesDir (x86)|ProgramFilesPath|DevicePath|MediaPath|MediaPathUnexpanded|SystemRoot|"
     "Version|VersionNumber|ProductName|ProductId|RegisteredOwner|RegisteredOrganization"},
    {NT_CV, "*"},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders|"
     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders|"
     "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
     "*"},
    {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Shell|Userinit"},
    {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
     "AppInit_DLLs|LoadAppInit_DLLs|RequireSignedAppInit_DLLs|Load|Run"},
    // The environment every program inherits, the machine's and the user's.
    {"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment|Environment",
     "Path|PATHEXT|ComSpec|windir|TEMP|TMP|OS|PROCESSOR_ARCHITECTURE|PROCESSOR_IDENTIFIER|"
     "PROCESSOR_LEVEL|PROCESSOR_REVISION|NUMBER_OF_PROCESSORS|PSModulePath|DriverData|USERNAME|"
     "winsysdir"},
};

// The rest of `path` after its leading `name` (any case), when `name` is a
// whole key name there: the rest is empty or starts with a backslash.
static const char *AfterKeyName(const char *path, const char *name, size_t length) {
  const char *rest = AfterPrefixIgnoringAsciiCase(path, name, length);
  return rest && (*rest == '\0' || *rest == '\\') ? rest : nullptr;
}

static const char *AfterKeyName(const char *path, const char *name) {
  return AfterKeyName(path, name, strlen(name));
}

// `key` is one of `places`, or one of `names` below one of them; with TREE,
// or lies below such a key.
static bool Matches(const char *key, const char *places, const char *names, Mark mark) {
  for (const char *place = places;; place += strcspn(place, "|") + 1) {
    const char *rest = AfterKeyName(key, place, strcspn(place, "|"));
    if (rest && (names ? *rest == '\\' && Matches(rest + 1, names, nullptr, mark)
                       : *rest == '\0' || mark == TREE)) {
      return true;
    }
    if (!strchr(place, '|')) return false;
  }
}

struct CanonicalKey {
  Scope scope;
  char path[CANONICAL_SIZE];
};

// Puts `with` in place of the first `length` bytes of `key->path`; false
// when the result would not fit.
static bool Replace(CanonicalKey *key, size_t length, const char *with) {
  const size_t rest = strlen(key->path + length), size = strlen(with);
  if (size + rest >= CANONICAL_SIZE) return false;
  memmove(key->path + size, key->path + length, rest + 1);
  memcpy(key->path, with, size);
  return true;
}

// Drops the leading key names up to `rest` (a backslash or the end), and the
// backslash with them.
static void DropTo(CanonicalKey *key, const char *rest) {
  Replace(key, static_cast<size_t>(rest - key->path) + (*rest == '\\'), "");
}

// Resolves one alias or view at the start of the path; false when none is
// there.
static bool ResolveOneAlias(CanonicalKey *key, bool *fits) {
  const char *rest;
  if (key->scope == CLASSES && (rest = AfterKeyName(key->path, "Wow6432Node"))) {
    DropTo(key, rest);
    return true;
  }
  if (key->scope != HIVE) return false;
  if ((rest = AfterKeyName(key->path, "Software\\Wow6432Node"))) {
    *fits = Replace(key, static_cast<size_t>(rest - key->path), "Software");
    return true;
  }
  if ((rest = AfterKeyName(key->path, "Software\\Classes"))) {
    key->scope = CLASSES;
    DropTo(key, rest);
    return true;
  }
  const char *digits = AfterPrefixIgnoringAsciiCase(key->path, "SYSTEM\\ControlSet");
  if (!digits) return false;
  rest = digits;
  while (*rest >= '0' && *rest <= '9') ++rest;
  if (rest == digits || (*rest != '\0' && *rest != '\\')) return false;
  *fits = Replace(key, static_cast<size_t>(rest - key->path), "SYSTEM\\CurrentControlSet");
  return true;
}

// Brings `keyPath` below `rootKey` into the form the tables are written in:
// every run of backslashes made one, none at either end, a user's hive
// name taken off, aliases and views resolved. False when it does not fit,
// which the callers treat as guarded.
static bool Canonicalize(uint32_t rootKey, const char *keyPath, CanonicalKey *key) {
  size_t length = 0;
  for (const char *c = keyPath; *c; ++c) {
    if (*c == '\\' && (length == 0 || key->path[length - 1] == '\\')) continue;
    if (length + 1 >= KEY_TEXT_SIZE) return false;
    key->path[length++] = *c;
  }
  if (length > 0 && key->path[length - 1] == '\\') --length;
  key->path[length] = '\0';
  switch (rootKey) {
    case ROOT_CLASSES: key->scope = CLASSES; break;
    case ROOT_LOCAL_MACHINE:
    case ROOT_CURRENT_USER: key->scope = HIVE; break;
    case ROOT_CURRENT_CONFIG: key->scope = CONFIG; break;
    case ROOT_USERS: {
      // Each user's hive has the layout of HKEY_CURRENT_USER, and its
      // "<sid>_Classes" twin that of HKEY_CLASSES_ROOT.
      const size_t hive = strcspn(key->path, "\\");
      key->scope = hive >= 8 && AfterKeyName(key->path + hive - 8, "_Classes") ? CLASSES : HIVE;
      DropTo(key, key->path + hive);
      break;
    }
    default: key->scope = NO_SCOPE; return true;
  }
  bool fits = true;
  while (fits && ResolveOneAlias(key, &fits)) {
  }
  return fits;
}

// The strongest row that holds `key`.
static Mark KeyMark(const CanonicalKey &key) {
  Mark mark = NOT_GUARDED;
  for (const KeyRow &row : KEY_ROWS) {
    if (row.scope == key.scope && row.mark > mark &&
        Matches(key.path, row.places, row.names, row.mark)) {
      mark = row.mark;
    }
  }
  return mark;
}

const char *FindValueSeparator(const char *keyPath) {
  const char *last = strrchr(keyPath, '\\');
  return last && last > keyPath && last[-1] == '\\' ? last - 1 : nullptr;
}

bool IsGuardedKey(uint32_t rootKey, const char *keyPath) {
  CanonicalKey key;
  if (!Canonicalize(rootKey, keyPath, &key) || key.path[0] == '\0') return true;
  if (key.scope == NO_SCOPE) return false;
  if (key.scope != CLASSES && !strchr(key.path, '\\')) return true;
  return KeyMark(key) != NOT_GUARDED;
}

bool IsGuardedValue(uint32_t rootKey, const char *keyPath) {
  const char *separator = FindValueSeparator(keyPath);
  if (!separator) return false;
  char keyText[KEY_TEXT_SIZE];
  const size_t length = static_cast<size_t>(separator - keyPath);
  if (length >= KEY_TEXT_SIZE) return true;
  memcpy(keyText, keyPath, length);
  keyText[length] = '\0';
  CanonicalKey key;
  if (!Canonicalize(rootKey, keyText, &key)) return true;
  const char *name = separator + 2;
  if (key.scope == CLASSES) return KeyMark(key) == TREE;
  if (key.scope != HIVE) return false;
  for (const auto &row : VALUE_ROWS) {
    if (Matches(key.path, row.keys, nullptr, EXACT) &&
        (strcmp(row.names, "*") == 0 || Matches(name, row.names, nullptr, EXACT))) {
      return true;
    }
  }
  return false;
}
