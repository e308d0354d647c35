// The registry phase.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "rules.h"  // IsGuardedKey

// Deletes the RegistryList's keys and values, from the first entry to the
// last. A key path whose last backslash follows another names a value (a
// trailing pair: the default value); any other names a key, which goes with
// everything below it. Keys that the system or many products share are never
// deleted whole (IsGuardedKey), values that the system reads never deleted
// (IsGuardedValue), and an entry whose own key is a registry link is left.
// Nothing is reported.
void RemoveRegistryEntries();

// Deletes `parent`\`name` with all its subkeys, depth first, as the NT family
// needs, each key through the handle it was opened with. Returns 0 or the
// first system error, which ends the whole deletion: what went before it
// stays deleted, the rest stays in place. A registry link is such an error
// (ERROR_SYMLINK_NOT_SUPPORTED): it is neither followed nor deleted, so its
// target and the keys above it stay. An empty or null name returns
// ERROR_BADKEY and touches nothing.
LONG DeleteKeyTree(HKEY parent, const char *name);
