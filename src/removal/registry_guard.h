// Which registry entries the registry phase leaves alone. Pure text rules,
// without a registry call, so that the author's tool builds them for its host
// and warns about exactly the entries the uninstaller refuses.
#pragma once

#include <stdint.h>

// The value separator of `keyPath`: its last backslash when that directly
// follows another one, returned as the first of the pair; null when the path
// names a key.
const char *FindValueSeparator(const char *keyPath);

// 1 when `keyPath` below the root key `rootKey` must not be deleted as a
// whole tree: the root itself, a first-level key of HKEY_LOCAL_MACHINE,
// HKEY_CURRENT_USER, HKEY_USERS (a user's hive and its first-level keys) or
// HKEY_CURRENT_CONFIG, or one of a short table of keys that no product owns.
// Runs of backslashes and leading or trailing ones are ignored, letters
// compare in any case.
int IsGuardedKey(uint32_t rootKey, const char *keyPath);
