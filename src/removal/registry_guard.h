// Which registry entries the registry phase leaves alone. Pure text rules,
// without a registry call, so that the author's tool builds them for its host
// and warns about exactly the entries the uninstaller refuses.
#pragma once

#include <stdint.h>

#include "../data/uninstall_data.h"

enum : uint32_t {
  KEY_TEXT_SIZE = REGISTRY_STAGING_SIZE,  // the reader's limit for a keyPath
  SUBKEY_NAME_SIZE = 256,                 // a key's name: 255 characters at most
};

// The value separator of `keyPath`: its last backslash when that directly
// follows another one, returned as the first of the pair; null when the path
// names a key.
const char *FindValueSeparator(const char *keyPath);

// True when `keyPath` below the root key `rootKey` must not be deleted as a
// whole tree: the root itself, a user's hive, a first-level key of a hive or
// of HKEY_CURRENT_CONFIG, a key that the system and every product share (the
// key alone: a product's own keys below it go), or anything in a tree that is
// the system's own (the key and all below it).
// The path is first brought into one form: runs of backslashes and leading
// or trailing ones are ignored, letters compare in any case, every
// `SYSTEM\ControlSet<digits>` is `SYSTEM\CurrentControlSet`, the 32-bit view
// (`Wow6432Node`) is the key it mirrors, and the classes below a hive's
// `Software\Classes` or in a user's `<sid>_Classes` hive are those of
// HKEY_CLASSES_ROOT. A path too long for that is guarded.
bool IsGuardedKey(uint32_t rootKey, const char *keyPath);

// True when the value entry `keyPath` (the key, the value separator, the value
// name) names a value the system itself reads: a table of values by key and
// name (the program folders, the shared environment variables, the shell
// folders, the shell and logon programs), in the form IsGuardedKey brings its
// key to; below the class root every value of a tree the system owns (the
// executable classes, the system's verbs). False for a path that names a key.
bool IsGuardedValue(uint32_t rootKey, const char *keyPath);
