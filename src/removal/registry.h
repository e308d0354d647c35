// The registry phase.
#pragma once

#include <windows.h>

#include <stdint.h>

// Deletes the RegistryList's keys and values, from the first entry to the
// last. A key path whose last backslash follows another names a value (a
// trailing pair: the default value); any other names a key, which goes with
// everything below it. Keys that the system or many products share are never
// deleted whole (IsGuardedKey). Nothing is reported.
void RemoveRegistryEntries();

// Deletes `parent`\`name` with all its subkeys, depth first, as the NT family
// needs. Returns 0 or the first system error, which ends the whole deletion:
// what went before it stays deleted, the rest stays in place. An empty or
// null name returns ERROR_BADKEY and touches nothing.
LONG DeleteKeyTree(HKEY parent, const char *name);

// 1 when `keyPath` below the root key `rootKey` must not be deleted as a
// whole tree: the root itself, a first-level key of HKEY_LOCAL_MACHINE,
// HKEY_CURRENT_USER, HKEY_USERS (a user's hive and its first-level keys) or
// HKEY_CURRENT_CONFIG, or one of a short table of keys that no product owns.
// Runs of backslashes and leading or trailing ones are ignored, letters
// compare in any case.
int IsGuardedKey(uint32_t rootKey, const char *keyPath);
