#include "registry.h"

#include <string.h>

#include "../data/state.h"
#include "../data/uninstall_data.h"
#include "../ui/ui.h"
#include "machine.h"
#include "rules.h"

LONG DeleteKeyTree(HKEY parent, const char *name) {
  if (!name || name[0] == '\0') return ERROR_BADKEY;
  HKEY key;
  LONG result = OpenKeyUnlessLink(parent, name, DELETE | KEY_ENUMERATE_SUB_KEYS, &key);
  if (result != ERROR_SUCCESS) return result;
  char subkey[SUBKEY_NAME_SIZE];
  for (;;) {
    DWORD size = SUBKEY_NAME_SIZE;
    result = MachineEnumKey(key, 0, subkey, &size);
    if (result == ERROR_NO_MORE_ITEMS) {
      // The key it was opened on, not whatever took its name since.
      result = MachineDeleteOpenKey(key);
      break;
    }
    // Index 0 again after each success: the subkey just handled is gone.
    if (result == ERROR_SUCCESS) result = DeleteKeyTree(key, subkey);
    if (result != ERROR_SUCCESS) break;
  }
  MachineCloseKey(key);
  return result;
}

// Works on a copy, so the list stays as the reader left it.
static void DeleteValueEntry(const RegistryEntry *entry) {
  char keyPath[KEY_TEXT_SIZE];
  const char *valueName;
  if (IsGuardedValue(entry->rootKey, entry->keyPath)) return;
  if (!SplitValueEntry(entry, keyPath, &valueName)) return;
  HKEY key;
  if (OpenKeyUnlessLink(RootHandle(entry->rootKey), keyPath, KEY_SET_VALUE, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  MachineDeleteValue(key, valueName);
  MachineCloseKey(key);
}

static void DeleteKeyEntry(const RegistryEntry *entry) {
  if (IsGuardedKey(entry->rootKey, entry->keyPath)) return;
  // The 95/98/Me family deletes a key with its subkeys in one call.
  if (IsNtPlatform) {
    DeleteKeyTree(RootHandle(entry->rootKey), entry->keyPath);
  } else {
    MachineDeleteKeyWithSubkeys(RootHandle(entry->rootKey), entry->keyPath);
  }
}

// Progress moves after key and empty entries only; the registry's units
// follow those of the shortcuts and files.
void RemoveRegistryEntries() {
  for (uint32_t i = 0; i < RegistryListCount; ++i) {
    const RegistryEntry *entry = RegistryList[i];
    if (entry->keyPath[0] != '\0' && FindValueSeparator(entry->keyPath)) {
      DeleteValueEntry(entry);
      continue;
    }
    if (entry->keyPath[0] != '\0') DeleteKeyEntry(entry);
    ReportProgress(static_cast<uint64_t>(ShortcutListCount) + FileListCount + i);
  }
}
