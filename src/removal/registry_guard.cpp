#include "registry_guard.h"

#include <stddef.h>
#include <string.h>

#include "../data/uninstall_data.h"
#include "../paths/ascii_case.h"

enum : uint32_t {
  KEY_TEXT_SIZE = REGISTRY_STAGING_SIZE,  // the reader's limit for a keyPath
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

template <size_t N> static bool InTable(const char *const (&table)[N], const char *key) {
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

const char *FindValueSeparator(const char *keyPath) {
  const char *last = strrchr(keyPath, '\\');
  return last && last > keyPath && last[-1] == '\\' ? last - 1 : nullptr;
}

int IsGuardedKey(uint32_t rootKey, const char *keyPath) {
  char key[KEY_TEXT_SIZE];
  if (!CanonicalKey(keyPath, key) || key[0] == '\0') return 1;
  switch (rootKey) {
    case ROOT_CLASSES: return InTable(SHARED_CLASS_KEYS, key);
    case ROOT_LOCAL_MACHINE:
    case ROOT_CURRENT_USER: return IsSharedHiveKey(key);
    case ROOT_USERS: {
      // Below each user's hive lies the layout of HKEY_CURRENT_USER.
      const char *hivePath = strchr(key, '\\');
      return !hivePath || IsSharedHiveKey(hivePath + 1);
    }
    case ROOT_CURRENT_CONFIG: return !strchr(key, '\\');
    default: return 0;
  }
}
