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

// The rows of registry_guard_rows.inc, as the stub carries them: packed
// (registry_guard_packed.inc), each list unpacked into a buffer of
// GUARD_TEXT_SIZE bytes when a key is checked.
#include "registry_guard_packed.inc"

// What byte `code` stands for, written at `text`: itself when it is
// printable ASCII, else its pair; returns the end.
static constexpr char *Unpack(unsigned char code, char *text) {
  if (code >= 0x20 && code < 0x7F) {
    *text = static_cast<char>(code);
    return text + 1;
  }
  const unsigned char *pair = GUARD_PAIRS[static_cast<unsigned char>(code - 0x7F)];
  return Unpack(pair[1], Unpack(pair[0], text));
}

// The packed list at `packed`, up to its zero byte, into `text` (whose
// GUARD_TEXT_SIZE bytes hold every list: the check below proves it); returns
// what follows the zero byte.
static constexpr const char *UnpackList(const char *packed, char *text) {
  for (; *packed; ++packed) text = Unpack(static_cast<unsigned char>(*packed), text);
  *text = '\0';
  return packed + 1;
}

// The rows as they read, for the check alone: nothing of them is in the
// program.
struct ReadableKeyRow {
  Scope scope;
  Mark mark;
  const char *places, *names;
};
struct ReadableValueRow {
  const char *keys, *names;
};
#define VALUE_ROW(keys, names)
#define KEY_ROW(scope, mark, places, names) {scope, mark, places, names},
static constexpr ReadableKeyRow READABLE_KEY_ROWS[] = {
#include "registry_guard_rows.inc"
};
#undef KEY_ROW
#undef VALUE_ROW
#define KEY_ROW(scope, mark, places, names)
#define VALUE_ROW(keys, names) {keys, names},
static constexpr ReadableValueRow READABLE_VALUE_ROWS[] = {
#include "registry_guard_rows.inc"
};
#undef KEY_ROW
#undef VALUE_ROW

static constexpr bool SameText(const char *a, const char *b) {
  for (; *a && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

// Whether the packed rows unpack to the readable ones, in order and without
// a byte more; a list longer than the buffer is no constant expression.
static constexpr bool PackedAsReadable() {
  char text[GUARD_TEXT_SIZE] = {};
  const char *packed = GUARD_KEY_ROWS;
  for (const ReadableKeyRow &row : READABLE_KEY_ROWS) {
    if (*packed++ != (row.scope << 2 | row.mark)) return false;
    packed = UnpackList(packed, text);
    if (!SameText(text, row.places)) return false;
    packed = UnpackList(packed, text);
    if (!SameText(text, row.names)) return false;
  }
  if (*packed) return false;
  packed = GUARD_VALUE_ROWS;
  for (const ReadableValueRow &row : READABLE_VALUE_ROWS) {
    if (!*packed) return false;
    packed = UnpackList(packed, text);
    if (!SameText(text, row.keys)) return false;
    packed = UnpackList(packed, text);
    if (!SameText(text, row.names)) return false;
  }
  return !*packed;
}
static_assert(PackedAsReadable(), "registry_guard_packed.inc does not hold the rows of "
                                  "registry_guard_rows.inc: run pack_registry_guard.py");

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
  char places[GUARD_TEXT_SIZE], names[GUARD_TEXT_SIZE];
  for (const char *row = GUARD_KEY_ROWS; *row;) {
    const Scope scope = static_cast<Scope>(*row >> 2);
    const Mark rowMark = static_cast<Mark>(*row & 3);
    row = UnpackList(UnpackList(row + 1, places), names);
    if (scope == key.scope && rowMark > mark &&
        Matches(key.path, places, names[0] ? names : nullptr, rowMark)) {
      mark = rowMark;
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
  char keys[GUARD_TEXT_SIZE], names[GUARD_TEXT_SIZE];
  for (const char *row = GUARD_VALUE_ROWS; *row;) {
    row = UnpackList(UnpackList(row, keys), names);
    if (Matches(key.path, keys, nullptr, EXACT) &&
        (strcmp(names, "*") == 0 || Matches(name, names, nullptr, EXACT))) {
      return true;
    }
  }
  return false;
}
