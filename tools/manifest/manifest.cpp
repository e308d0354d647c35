// The manifest read from its JSON and printed back.
#include "manifest/manifest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <vector>

#include "data/uninstall_data.h"
#include "manifest/code_page.h"
#include "manifest/places.h"
#include "manifest/strict_json.h"

namespace quenrid {

const NamedValue kRegistryRoots[5] = {{"HKCR", 0x80000000u}, {"HKCU", 0x80000001u},
                                      {"HKLM", 0x80000002u}, {"HKU", 0x80000003u},
                                      {"HKCC", 0x80000005u}};

std::string RootName(uint32_t rootKey) {
  for (const NamedValue &root : kRegistryRoots) {
    if (root.value == rootKey) return root.name;
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(rootKey));
  return hex;
}

std::string Utf8(const std::string &bytes, unsigned codePage, const std::string &place) {
  try {
    return CodePageToUtf8(bytes, codePage);
  } catch (const CodePageError &error) {
    Fail(place, error.what());
  }
}

namespace {

using Name = NamedValue;

const Name kFileFlags[] = {{"sharedDll", FILE_FLAG_SHARED_DLL},
                           {"font", FILE_FLAG_FONT},
                           {"comServer", FILE_FLAG_COM_SERVER},
                           {"checkInUse", FILE_FLAG_CHECK_IN_USE}};
const Name kSettingsFlags[] = {{"waitForProgram", SETTINGS_WAIT_FOR_PROGRAM},
                               {"themedControls", SETTINGS_THEMED_CONTROLS}};

template <size_t N> std::string NameList(const Name (&names)[N]) {
  std::string list;
  for (size_t i = 0; i < N; ++i) {
    list += std::string(i == 0 ? "" : i + 1 == N ? " or " : ", ") + names[i].name;
  }
  return list;
}

void Expect(const Json &value, Json::value_t type, const char *expected, const std::string &place) {
  if (value.type() != type) {
    Fail(place, std::string("expected ") + expected + ", found " + value.type_name());
  }
}

// ---- reading -------------------------------------------------------------

void CheckKeys(const Json &object, std::initializer_list<const char *> known,
               const std::string &place) {
  for (const auto &item : object.items()) {
    if (std::find(known.begin(), known.end(), item.key()) != known.end()) continue;
    std::string list;
    for (const char *key : known) list += std::string(list.empty() ? "" : ", ") + key;
    Fail(place, "unknown key \"" + item.key() + "\" (known: " + list + ")");
  }
}

const Json *Optional(const Json &object, const char *key) {
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

const Json &Required(const Json &object, const char *key, const std::string &place) {
  const Json *value = Optional(object, key);
  if (!value) Fail(place, std::string("missing key \"") + key + "\"");
  return *value;
}

bool IsHexString(const Json &value) {
  if (!value.is_string()) return false;
  const std::string &text = value.get_ref<const std::string &>();
  return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

[[noreturn]] void OutOfRange(const std::string &number, uint32_t max, const std::string &place) {
  Fail(place, number + " is out of range (0-" + std::to_string(max) + ")");
}

// A JSON integer, or a "0x..." string for values that read better in hex.
uint32_t Number(const Json &value, uint32_t max, const std::string &place) {
  if (IsHexString(value)) {
    const std::string &text = value.get_ref<const std::string &>();
    uint64_t number = 0;
    for (size_t i = 2; i < text.size(); ++i) {
      const int digit = HexDigit(text[i]);
      if (digit < 0) Fail(place, "\"" + text + "\" is not a hexadecimal number");
      number = number * 16 + static_cast<uint64_t>(digit);
      if (number > max) OutOfRange(text, max, place);
    }
    return static_cast<uint32_t>(number);
  }
  if (!value.is_number()) Fail(place, std::string("expected a number, found ") + value.type_name());
  // JSON has one kind of number: 1e0 and 2.0 are whole numbers, -0 is 0.
  if (value.is_number_float()) {
    const double number = value.get<double>();
    if (!std::isfinite(number) || number != std::floor(number)) {
      Fail(place, value.dump() + " is not a whole number");
    }
    if (number < 0 || number > max) OutOfRange(value.dump(), max, place);
    return static_cast<uint32_t>(number);
  }
  if (!value.is_number_unsigned() && value.get<int64_t>() < 0) OutOfRange(value.dump(), max, place);
  if (value.get<uint64_t>() > max) OutOfRange(value.dump(), max, place);
  return static_cast<uint32_t>(value.get<uint64_t>());
}

std::string Text(const Json &value, unsigned codePage, const std::string &place) {
  Expect(value, Json::value_t::string, "a string", place);
  try {
    return Utf8ToCodePage(value.get_ref<const std::string &>(), codePage);
  } catch (const CodePageError &error) {
    Fail(place, error.what());
  }
}

std::string OptionalText(const Json &object, const char *key, unsigned codePage,
                         const std::string &place) {
  const Json *value = Optional(object, key);
  return value ? Text(*value, codePage, At(place, key)) : std::string();
}

// A name from `names`, or a number for a value that has none.
template <size_t N> uint32_t NamedNumber(const Json &value, const Name (&names)[N], uint32_t max,
                                         const char *what, const std::string &place) {
  if (value.is_string() && !IsHexString(value)) {
    for (const Name &name : names) {
      if (value.get_ref<const std::string &>() == name.name) return name.value;
    }
    Fail(place, "unknown " + std::string(what) + " \"" + value.get<std::string>() +
                    "\" (known: " + NameList(names) + ", or a number)");
  }
  return Number(value, max, place);
}

template <size_t N>
uint32_t Flags(const Json *value, const Name (&names)[N], uint32_t max, const std::string &place) {
  if (!value) return 0;
  Expect(*value, Json::value_t::array, "an array of flags", place);
  uint32_t flags = 0;
  for (size_t i = 0; i < value->size(); ++i) {
    flags |= NamedNumber((*value)[i], names, max, "flag", At(place, i));
  }
  return flags;
}

// The array under `key`, each element parsed by `parse(element, codePage, place)`.
template <class Parse>
auto List(const Json &root, const char *key, unsigned codePage, Parse parse) {
  std::vector<decltype(parse(root, codePage, std::string()))> items;
  const Json *value = Optional(root, key);
  if (!value) return items;
  Expect(*value, Json::value_t::array, "an array", key);
  for (size_t i = 0; i < value->size(); ++i) {
    items.push_back(parse((*value)[i], codePage, At(key, i)));
  }
  return items;
}

FileRecord ParseFile(const Json &value, unsigned codePage, const std::string &place) {
  Expect(value, Json::value_t::object, "an object", place);
  CheckKeys(value, {"folder", "fileName", "flags"}, place);
  FileRecord file;
  file.folder = Text(Required(value, "folder", place), codePage, At(place, "folder"));
  file.fileName = OptionalText(value, "fileName", codePage, place);
  file.flags =
      static_cast<uint8_t>(Flags(Optional(value, "flags"), kFileFlags, 0xFF, At(place, "flags")));
  return file;
}

ShortcutRecord ParseShortcut(const Json &value, unsigned codePage, const std::string &place) {
  Expect(value, Json::value_t::object, "an object", place);
  CheckKeys(value, {"levels", "folder", "altFolder", "fileName"}, place);
  ShortcutRecord shortcut;
  if (const Json *levels = Optional(value, "levels")) {
    shortcut.levels = static_cast<uint8_t>(Number(*levels, 0xFF, At(place, "levels")));
  }
  shortcut.folder = Text(Required(value, "folder", place), codePage, At(place, "folder"));
  shortcut.altFolder = OptionalText(value, "altFolder", codePage, place);
  shortcut.fileName = OptionalText(value, "fileName", codePage, place);
  return shortcut;
}

RegistryRecord ParseRegistry(const Json &value, unsigned codePage, const std::string &place) {
  Expect(value, Json::value_t::object, "an object", place);
  CheckKeys(value, {"root", "keyPath"}, place);
  RegistryRecord entry;
  entry.rootKey =
      NamedNumber(Required(value, "root", place), kRegistryRoots, 0xFFFFFFFF, "root", At(place, "root"));
  entry.keyPath = Text(Required(value, "keyPath", place), codePage, At(place, "keyPath"));
  return entry;
}

Settings ParseSettings(const Json *value, unsigned codePage) {
  Settings settings;
  if (!value) return settings;
  const std::string place = "settings";
  Expect(*value, Json::value_t::object, "an object", place);
  CheckKeys(*value, {"flags", "program", "document"}, place);
  settings.flags = Flags(Optional(*value, "flags"), kSettingsFlags, 0xFFFFFFFF, At(place, "flags"));
  if (const Json *program = Optional(*value, "program")) {
    settings.program = Text(*program, codePage, At(place, "program"));
  }
  if (const Json *document = Optional(*value, "document")) {
    settings.document = Text(*document, codePage, At(place, "document"));
  }
  return settings;
}

unsigned ParseCodePage(const Json &root, std::optional<unsigned> override) {
  unsigned codePage = kDefaultCodePage;
  if (const Json *value = Optional(root, "codePage")) codePage = Number(*value, 0xFFFF, "codePage");
  if (override) codePage = *override;
  try {
    CheckCodePage(codePage);
  } catch (const CodePageError &error) {
    Fail("codePage", error.what());
  }
  return codePage;
}

// ---- writing -------------------------------------------------------------

// The JSON library escapes only the controls below U+0020. DEL and the C1
// controls (U+0080-U+009F, which code page 1252 gives its unassigned bytes)
// would reach a terminal raw, where some start escape sequences; in valid
// UTF-8 their bytes occur nowhere else.
std::string EscapeControls(const std::string &json) {
  std::string out;
  for (size_t i = 0; i < json.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(json[i]);
    const unsigned char next = i + 1 < json.size() ? static_cast<unsigned char>(json[i + 1]) : 0;
    char escape[8];
    if (c == 0x7F || (c == 0xC2 && next >= 0x80 && next <= 0x9F)) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c == 0x7F ? 0x7Fu : unsigned(next));
      out += escape;
      i += c == 0x7F ? 0 : 1;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

// Named bits by name, in table order, then every other set bit as a number.
template <size_t N> Json FlagsJson(uint32_t flags, const Name (&names)[N]) {
  Json list = Json::array();
  for (const Name &name : names) {
    if (flags & name.value) list.push_back(name.name);
    flags &= ~name.value;
  }
  for (uint32_t bit = 1; bit != 0; bit <<= 1) {
    if (flags & bit) list.push_back(bit);
  }
  return list;
}

Json RootJson(uint32_t rootKey) { return RootName(rootKey); }

Json FileJson(const FileRecord &file, unsigned codePage, const std::string &place) {
  Json json = Json::object();
  json["folder"] = Utf8(file.folder, codePage, At(place, "folder"));
  json["fileName"] = Utf8(file.fileName, codePage, At(place, "fileName"));
  json["flags"] = FlagsJson(file.flags, kFileFlags);
  return json;
}

Json ShortcutJson(const ShortcutRecord &shortcut, unsigned codePage, const std::string &place) {
  Json json = Json::object();
  json["levels"] = shortcut.levels;
  json["folder"] = Utf8(shortcut.folder, codePage, At(place, "folder"));
  json["altFolder"] = Utf8(shortcut.altFolder, codePage, At(place, "altFolder"));
  json["fileName"] = Utf8(shortcut.fileName, codePage, At(place, "fileName"));
  return json;
}

Json RegistryJson(const RegistryRecord &entry, unsigned codePage, const std::string &place) {
  Json json = Json::object();
  json["root"] = RootJson(entry.rootKey);
  json["keyPath"] = Utf8(entry.keyPath, codePage, At(place, "keyPath"));
  return json;
}

Json SettingsJson(const Settings &settings, unsigned codePage) {
  Json json = Json::object();
  json["flags"] = FlagsJson(settings.flags, kSettingsFlags);
  if (settings.program) json["program"] = Utf8(*settings.program, codePage, "settings.program");
  if (settings.document) json["document"] = Utf8(*settings.document, codePage, "settings.document");
  return json;
}

template <class Item, class ToJson>
Json ListJson(const std::vector<Item> &items, const char *key, unsigned codePage, ToJson toJson) {
  Json list = Json::array();
  for (size_t i = 0; i < items.size(); ++i) list.push_back(toJson(items[i], codePage, At(key, i)));
  return list;
}

}  // namespace

ManifestDocument ParseManifest(const std::string &json, std::optional<unsigned> codePage) {
  const Json root = ParseStrictJson(json);
  Expect(root, Json::value_t::object, "the manifest to be an object", "");
  CheckKeys(root,
            {"codePage", "messages", "files", "shortcuts", "registry", "directories", "settings"},
            "");
  ManifestDocument document;
  const unsigned cp = document.codePage = ParseCodePage(root, codePage);
  Manifest &manifest = document.manifest;
  manifest.messages = List(root, "messages", cp, Text);
  manifest.files = List(root, "files", cp, ParseFile);
  manifest.shortcuts = List(root, "shortcuts", cp, ParseShortcut);
  manifest.registry = List(root, "registry", cp, ParseRegistry);
  manifest.directories = List(root, "directories", cp, Text);
  manifest.settings = ParseSettings(Optional(root, "settings"), cp);
  return document;
}

std::string FormatManifest(const Manifest &manifest, unsigned codePage) {
  Json json = Json::object();
  json["codePage"] = codePage;
  json["messages"] = ListJson(manifest.messages, "messages", codePage, Utf8);
  json["files"] = ListJson(manifest.files, "files", codePage, FileJson);
  json["shortcuts"] = ListJson(manifest.shortcuts, "shortcuts", codePage, ShortcutJson);
  json["registry"] = ListJson(manifest.registry, "registry", codePage, RegistryJson);
  json["directories"] = ListJson(manifest.directories, "directories", codePage, Utf8);
  json["settings"] = SettingsJson(manifest.settings, codePage);
  return EscapeControls(json.dump(2)) + "\n";
}

}  // namespace quenrid
