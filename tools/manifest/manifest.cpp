#include "manifest/manifest.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "data/state.h"
#include "data/uninstall_data.h"
#include "manifest/code_page.h"
#include "manifest/code_page_system.h"
#include "paths/backslash.h"

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

namespace {

// Ordered, so that dump prints the keys in schema order.
using Json = nlohmann::ordered_json;

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

std::string At(const std::string &parent, const std::string &key) {
  return parent.empty() ? key : parent + "." + key;
}
std::string At(const std::string &parent, size_t index) {
  return parent + "[" + std::to_string(index) + "]";
}

[[noreturn]] void Fail(const std::string &place, const std::string &problem) {
  throw ManifestError(place.empty() ? problem : place + ": " + problem);
}

void Expect(const Json &value, Json::value_t type, const char *expected, const std::string &place) {
  if (value.type() != type) {
    Fail(place, std::string("expected ") + expected + ", found " + value.type_name());
  }
}

// ---- reading -------------------------------------------------------------

// nlohmann keeps the last of two equal keys without a word; a copied line
// that overrides an earlier one must not pass unnoticed. The library's
// callback parser would say so, but it rescans each array at the end of every
// object in it, which makes a large manifest quadratic; this handler builds
// the same document in one pass and checks each object's keys as they come.
class CheckedDocument : public nlohmann::json_sax<Json> {
 public:
  Json &root() { return root_; }

  bool null() override { return Add(Json()); }
  bool boolean(bool value) override { return Add(Json(value)); }
  bool number_integer(number_integer_t value) override { return Add(Json(value)); }
  bool number_unsigned(number_unsigned_t value) override { return Add(Json(value)); }
  bool number_float(number_float_t value, const string_t &) override { return Add(Json(value)); }
  bool string(string_t &value) override { return Add(Json(std::move(value))); }
  bool binary(binary_t &value) override { return Add(Json::binary(std::move(value))); }

  bool start_object(size_t) override { return Open(Json::object()); }
  bool start_array(size_t) override { return Open(Json::array()); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }

  bool key(string_t &key) override {
    Frame &frame = frames_.back();
    if (!frame.keys.insert(key).second) Fail(Place(), "duplicate key \"" + key + "\"");
    frame.key = key;
    return true;
  }

  bool parse_error(size_t, const std::string &, const nlohmann::detail::exception &error) override {
    // Drop the library's "[json.exception.parse_error.101] " prefix.
    const std::string message = error.what();
    const size_t bracket = message.find("] ");
    Fail("", bracket == std::string::npos ? message : message.substr(bracket + 2));
  }

 private:
  struct Frame {
    Json *value;
    std::string key;                       // objects: the key being read
    std::unordered_set<std::string> keys;  // objects: the keys read so far
  };

  // Puts `value` where the innermost open container expects it.
  Json *Insert(Json value) {
    if (frames_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Frame &frame = frames_.back();
    if (frame.value->is_array()) {
      frame.value->push_back(std::move(value));
      return &frame.value->back();
    }
    return &((*frame.value)[frame.key] = std::move(value));
  }

  bool Add(Json value) {
    Insert(std::move(value));
    return true;
  }
  bool Open(Json container) {
    frames_.push_back(Frame{Insert(std::move(container)), {}, {}});
    return true;
  }
  bool Close() {
    frames_.pop_back();
    return true;
  }

  // The place of the innermost open container.
  std::string Place() const {
    std::string place;
    for (size_t i = 1; i < frames_.size(); ++i) {
      const Frame &parent = frames_[i - 1];
      place =
          parent.value->is_array() ? At(place, parent.value->size() - 1) : At(place, parent.key);
    }
    return place;
  }

  Json root_;
  std::vector<Frame> frames_;
};

Json ParseJson(const std::string &text) {
  CheckedDocument document;
  Json::sax_parse(text, &document);
  return std::move(document.root());
}

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

std::string Utf8(const std::string &bytes, unsigned codePage, const std::string &place) {
  try {
    return CodePageToUtf8(bytes, codePage);
  } catch (const CodePageError &error) {
    Fail(place, error.what());
  }
}

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

// ---- what the uninstaller can use ------------------------------------------

// The uninstaller's path buffers and document buffer, less their NUL.
constexpr size_t kPathMax = PATH_BUFFER_SIZE - 1;
constexpr size_t kDocumentMax = DOCUMENT_BUFFER_SIZE - 1;
// The shortest install folder, "C:\", and the length below the install
// folder beyond which a plausible one (up to 59 bytes) no longer leaves room.
constexpr size_t kShortestInstallFolder = 3;
constexpr size_t kRelativeWarnAbove = 200;

bool IsDrivePath(const std::string &path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         path[2] == '\\';
}

bool IsUncPath(const std::string &path) {
  if (path.compare(0, 2, "\\\\") != 0) return false;
  const size_t share = path.find('\\', 2);
  return share != std::string::npos && share > 2 && share + 1 < path.size() &&
         path[share + 1] != '\\';
}

bool IsInstallRelative(const std::string &folder) {
  return folder == "." || folder.compare(0, 2, ".\\") == 0;
}

// `name` behind `folder` as the uninstaller composes it; `folder` alone when
// the record names the folder itself.
std::string Joined(const std::string &folder, const std::string &name) {
  if (name.empty()) return folder;
  return folder.empty() || folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

std::string Bytes(size_t count) { return std::to_string(count) + " bytes"; }

// A path the uninstaller composes in a 260-byte buffer: refused when it can
// never fit; for one below the install folder, a warning when a long install
// folder would keep it from fitting.
void CheckPathLength(size_t length, bool belowInstallFolder, const std::string &place,
                     std::vector<std::string> *warnings) {
  if (!belowInstallFolder) {
    if (length > kPathMax) {
      Fail(place, "the path is " + Bytes(length) + "; the uninstaller's path buffer holds " +
                      std::to_string(kPathMax) + " and skips it");
    }
    return;
  }
  if (kShortestInstallFolder + length > kPathMax) {
    Fail(place, "the path is " + Bytes(length) + " below the install folder; with even the " +
                    "shortest install folder the uninstaller's path buffer of " +
                    std::to_string(kPathMax) + " bytes cannot hold it");
  }
  if (length > kRelativeWarnAbove) {
    warnings->push_back(place + ": the path is " + Bytes(length) +
                        " below the install folder; the uninstaller skips it when the install "
                        "folder is longer than " +
                        Bytes(kPathMax - length));
  }
}

// Case folding for comparing paths as Windows does: ASCII, Latin-1, Greek
// and Cyrillic capitals, which covers the letters of the ANSI code pages.
char32_t FoldCase(char32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
      (c >= 0x391 && c <= 0x3AB) || (c >= 0x410 && c <= 0x42F)) {
    return c + 0x20;
  }
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

std::string PathKey(const FileRecord &file, unsigned codePage) {
  std::string folder = file.folder == "." ? ".\\" : file.folder;
  while (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
  const std::string utf8 = Utf8(Joined(folder, file.fileName), codePage, "");
  std::string key;
  for (size_t pos = 0; pos < utf8.size();) AppendUtf8(&key, FoldCase(DecodeUtf8(utf8, &pos)));
  return key;
}

void CheckFiles(const std::vector<FileRecord> &files, unsigned codePage,
                std::vector<std::string> *warnings) {
  std::map<std::string, size_t> seen;
  for (size_t i = 0; i < files.size(); ++i) {
    const FileRecord &file = files[i];
    const std::string place = At("files", i);
    const bool relative = IsInstallRelative(file.folder);
    if (!relative && !IsDrivePath(file.folder) && !IsUncPath(file.folder)) {
      Fail(At(place, "folder"),
           "not a folder the uninstaller knows: \".\" or \".\\sub\" for the install folder, "
           "\"X:\\...\" or \"\\\\server\\share\\...\" for an absolute one");
    }
    // Below the install folder, which ends in a backslash, ".\\" adds nothing.
    const std::string folder = relative && file.folder.size() > 2 ? file.folder.substr(2)
                               : relative                         ? std::string()
                                                                  : file.folder;
    CheckPathLength(Joined(folder, file.fileName).size(), relative, place, warnings);
    const auto earlier = seen.emplace(PathKey(file, codePage), i);
    if (!earlier.second) {
      Fail(place, "names the same path as " + At("files", earlier.first->second) +
                      " (compared without regard to case); a shared file would lose two counts");
    }
  }
}

void CheckShortcuts(const std::vector<ShortcutRecord> &shortcuts,
                    std::vector<std::string> *warnings) {
  for (size_t i = 0; i < shortcuts.size(); ++i) {
    const ShortcutRecord &shortcut = shortcuts[i];
    const std::string place = At("shortcuts", i);
    CheckPathLength(Joined(shortcut.folder, shortcut.fileName).size(), false, place, warnings);
    CheckPathLength(shortcut.altFolder.size(), false, At(place, "altFolder"), warnings);
  }
}

// Entries without a macro are taken below the install folder; the length of
// an expanded one is known only on the target machine.
void CheckDirectories(const std::vector<std::string> &directories,
                      std::vector<std::string> *warnings) {
  for (size_t i = 0; i < directories.size(); ++i) {
    if (directories[i].find('#') != std::string::npos) continue;
    CheckPathLength(directories[i].size(), true, At("directories", i), warnings);
  }
}

// Unless it starts with a macro, the whole command text, arguments and a
// leading quote included, is put behind the install folder in a 260-byte
// path buffer before it is split into program and arguments.
void CheckProgram(const std::string &command, std::vector<std::string> *warnings) {
  const size_t start = ProgramLineStart(command.c_str());
  if (command[start] == '#') return;
  const size_t quote = command[0] == '"' ? 1 : 0;
  CheckPathLength(quote + command.size() - start, true, "settings.program", warnings);
}

}  // namespace

std::vector<std::string> CheckUsable(const ManifestDocument &document) {
  const Manifest &manifest = document.manifest;
  std::vector<std::string> warnings;
  if (manifest.messages.empty()) {
    warnings.push_back("messages: none given; every dialog of the uninstaller would be blank");
  }
  CheckFiles(manifest.files, document.codePage, &warnings);
  CheckShortcuts(manifest.shortcuts, &warnings);
  CheckDirectories(manifest.directories, &warnings);
  if (manifest.settings.program) CheckProgram(*manifest.settings.program, &warnings);
  if (manifest.settings.document && manifest.settings.document->size() > kDocumentMax) {
    Fail("settings.document", "the document is " + Bytes(manifest.settings.document->size()) +
                                  "; the uninstaller's buffer holds " +
                                  std::to_string(kDocumentMax));
  }
  return warnings;
}

ManifestDocument ParseManifest(const std::string &json, std::optional<unsigned> codePage) {
  const Json root = ParseJson(json);
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
