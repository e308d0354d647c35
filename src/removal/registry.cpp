#include "registry.h"

#include <string.h>

#include "../app/state.h"
#include "../app/ui.h"
#include "../data/uninstall_data.h"
#include "../paths/ascii_case.h"

enum : uint32_t {
  SUBKEY_NAME_SIZE = 1024,
  KEY_TEXT_SIZE = REGISTRY_STAGING_SIZE,  // the reader's limit for a keyPath
};

// The predefined roots as the data stores them.
enum : uint32_t {
  ROOT_CLASSES = 0x80000000,
  ROOT_CURRENT_USER = 0x80000001,
  ROOT_LOCAL_MACHINE = 0x80000002,
  ROOT_USERS = 0x80000003,
  ROOT_CURRENT_CONFIG = 0x80000005,
};

// Keys below the class root that every product only adds to.
static const char *const SHARED_CLASS_KEYS[] = {
    "CLSID",     "Interface", "TypeLib", "AppID",       "*", "AllFilesystemObjects",
    "Directory", "Folder",    "Drive",   "Wow6432Node",
};

// Keys of a machine or user hive that belong to the system.
static const char *const SHARED_HIVE_KEYS[] = {
    "Software\\Classes",
    "Software\\Microsoft",
    "Software\\Policies",
    "Software\\Wow6432Node",
    "Software\\Microsoft\\Windows",
    "Software\\Microsoft\\Windows\\CurrentVersion",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts",
    "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
    "Software\\Microsoft\\Windows NT",
    "Software\\Microsoft\\Windows NT\\CurrentVersion",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "SYSTEM\\CurrentControlSet",
    "SYSTEM\\CurrentControlSet\\Control",
    "SYSTEM\\CurrentControlSet\\Services",
};

template <size_t N>
static bool InTable(const char *const (&table)[N], const char *key) {
  for (const char *entry : table) {
    if (EqualIgnoringAsciiCase(entry, key)) return true;
  }
  return false;
}

// `key` is a path of a machine or user hive, in the canonical form.
static bool IsSharedHiveKey(const char *key) {
  if (!strchr(key, '\\')) return true;  // a first-level key
  if (InTable(SHARED_HIVE_KEYS, key)) return true;
  const char *classKey = AfterPrefixIgnoringAsciiCase(key, "Software\\Classes\\");
  return classKey && InTable(SHARED_CLASS_KEYS, classKey);
}

// Copies `keyPath` into `key` with every run of backslashes made one and
// none at either end: the form in which the tables are written. False when
// it does not fit, which the caller treats as guarded.
static bool CanonicalKey(const char *keyPath, char *key) {
  size_t length = 0;
  for (const char *c = keyPath; *c; ++c) {
    if (*c == '\\' && (length == 0 || key[length - 1] == '\\')) continue;
    if (length + 1 >= KEY_TEXT_SIZE) return false;
    key[length++] = *c;
  }
  if (length > 0 && key[length - 1] == '\\') --length;
  key[length] = '\0';
  return true;
}

int IsGuardedKey(uint32_t rootKey, const char *keyPath) {
  char key[KEY_TEXT_SIZE];
  if (!CanonicalKey(keyPath, key) || key[0] == '\0') return 1;
  switch (rootKey) {
    case ROOT_CLASSES:
      return InTable(SHARED_CLASS_KEYS, key);
    case ROOT_LOCAL_MACHINE:
    case ROOT_CURRENT_USER:
      return IsSharedHiveKey(key);
    case ROOT_USERS: {
      // Below each user's hive lies the layout of HKEY_CURRENT_USER.
      const char *hivePath = strchr(key, '\\');
      return !hivePath || IsSharedHiveKey(hivePath + 1);
    }
    case ROOT_CURRENT_CONFIG:
      return !strchr(key, '\\');
    default:
      return 0;
  }
}

LONG DeleteKeyTree(HKEY parent, const char *name) {
  if (!name || name[0] == '\0') return ERROR_BADKEY;
  HKEY key;
  LONG result = RegOpenKeyExA(parent, name, 0, DELETE | KEY_ENUMERATE_SUB_KEYS, &key);
  if (result != ERROR_SUCCESS) return result;
  char subkey[SUBKEY_NAME_SIZE];
  for (;;) {
    DWORD size = SUBKEY_NAME_SIZE;
    result = RegEnumKeyExA(key, 0, subkey, &size, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) {
      result = RegDeleteKeyA(parent, name);
      break;
    }
    // Index 0 again after each success: the subkey just handled is gone.
    if (result == ERROR_SUCCESS) result = DeleteKeyTree(key, subkey);
    if (result != ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
  return result;
}

// The data holds a root as its 32-bit handle value; widened with its sign it
// is the same predefined handle on a 64-bit system.
static HKEY RootHandle(uint32_t rootKey) {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(rootKey)));
}

// The value separator: the last backslash directly after another one.
static char *ValueSeparator(char *keyPath) {
  char *last = strrchr(keyPath, '\\');
  return last && last > keyPath && last[-1] == '\\' ? last - 1 : nullptr;
}

// Works on a copy, so the list stays as the reader left it.
static void DeleteValueEntry(const RegistryEntry *entry) {
  char keyPath[KEY_TEXT_SIZE];
  if (strlen(entry->keyPath) >= sizeof keyPath) return;
  strcpy(keyPath, entry->keyPath);
  char *separator = ValueSeparator(keyPath);
  *separator = '\0';
  HKEY key;
  if (RegOpenKeyA(RootHandle(entry->rootKey), keyPath, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, separator + 2);
  RegCloseKey(key);
}

static void DeleteKeyEntry(const RegistryEntry *entry) {
  if (IsGuardedKey(entry->rootKey, entry->keyPath)) return;
  // The 95/98/Me family deletes a key with its subkeys in one call.
  if (IsNtPlatform) {
    DeleteKeyTree(RootHandle(entry->rootKey), entry->keyPath);
  } else {
    RegDeleteKeyA(RootHandle(entry->rootKey), entry->keyPath);
  }
}

// Progress moves after key and empty entries only; the registry's units
// follow those of the shortcuts and files.
void RemoveRegistryEntries() {
  for (uint32_t i = 0; i < RegistryListCount; ++i) {
    const RegistryEntry *entry = RegistryList[i];
    if (entry->keyPath[0] != '\0' && ValueSeparator(entry->keyPath)) {
      DeleteValueEntry(entry);
      continue;
    }
    if (entry->keyPath[0] != '\0') DeleteKeyEntry(entry);
    ReportProgress(static_cast<uint64_t>(ShortcutListCount) + FileListCount + i);
  }
}
