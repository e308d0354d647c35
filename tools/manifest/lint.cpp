#include "manifest/lint.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>

#include "data/messages.h"
#include "data/uninstall_data.h"
#include "manifest/limits.h"
#include "manifest/manifest.h"
#include "manifest/places.h"
#include "paths/backslash.h"
#include "paths/macro_names.h"
#include "removal/registry_guard.h"

namespace quenrid {

namespace {

struct Findings {
  std::vector<std::string> lines;
  void Add(const std::string &place, const std::string &reason) {
    lines.push_back(place + ": " + reason);
  }
};

// The name as the uninstaller writes it, or null for a token it does not know.
const char *KnownMacro(const std::string &token) {
  const int macro = FindPathMacro(token.c_str());
  return macro < 0 ? nullptr : MACRO_NAMES[macro];
}

// A path as far as it is known before it reaches the target machine, its
// tokens found as the uninstaller finds them.
struct MacroPath {
  std::string text;     // known macros kept as tokens, unknown ones gone
  std::string literal;  // the text outside the tokens
  size_t shortest = 0;  // its length with every known macro a drive root
  std::string unknown;  // the first unknown token, if any
};

MacroPath ReadMacros(const std::string &source) {
  MacroPath path;
  const char *at = source.c_str();
  const char *end;
  while (const char *open = FindMacroToken(at, &end)) {
    path.text.append(at, open);
    path.literal.append(at, open);
    path.shortest += open - at;
    const std::string token(open, end);
    if (const char *name = KnownMacro(token)) {
      path.text += name;
      path.shortest += kShortestFolder;
    } else if (path.unknown.empty()) {
      path.unknown = token;
    }
    at = end;
  }
  path.text += at;
  path.literal += at;
  path.shortest += std::strlen(at);
  return path;
}

bool IsDriveRoot(const std::string &folder) {
  size_t end = folder.size();
  while (end > 0 && folder[end - 1] == '\\') --end;
  return end == 0 ||
         (end == 2 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':');
}

bool IsAbsolute(const std::string &path) {
  return path.compare(0, 2, "\\\\") == 0 ||
         (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':');
}

bool ClimbsUp(const std::string &folder) {
  for (size_t start = 0; start <= folder.size();) {
    const size_t end = std::min(folder.find('\\', start), folder.size());
    if (folder.compare(start, end - start, "..") == 0 && end - start == 2) return true;
    start = end + 1;
  }
  return false;
}

// The folder that an entry cleans, written with its macros.
void LintDirectory(const std::string &entry, const std::string &place, Findings *findings) {
  const bool expanded = entry.find('#') != std::string::npos;
  const MacroPath path = expanded ? ReadMacros(entry) : MacroPath{entry, entry, entry.size(), {}};
  if (!path.unknown.empty()) {
    findings->Add(place, "\"" + path.unknown +
                             "\" is no macro the uninstaller knows; it vanishes from the path, "
                             "which then names another folder");
  }
  const size_t slash = path.text.rfind('\\');
  const std::string folder =
      slash == std::string::npos ? std::string() : path.text.substr(0, slash);
  std::string macroFolder = folder;
  while (!macroFolder.empty() && macroFolder.back() == '\\') macroFolder.pop_back();
  if (expanded && slash != std::string::npos && IsDriveRoot(folder)) {
    findings->Add(place,
                  "names a drive root: the whole drive, which the uninstaller's "
                  "protected-folder test refuses, so the entry does nothing");
  } else if (const int macro = expanded ? FindPathMacro(macroFolder.c_str()) : -1;
             macro >= 0 && macro != MACRO_INSTALL_DIR) {
    findings->Add(place, "cleans the whole folder that " + macroFolder +
                             " names and every folder below it, not a folder of the product");
  } else if (!expanded && IsAbsolute(entry)) {
    findings->Add(place, "has no macro, so it is taken below the install folder, where \"" +
                             entry.substr(0, 2) + "\" names no folder; the entry does nothing");
  }
  if (ClimbsUp(folder)) {
    findings->Add(place,
                  "climbs with \"..\" above the folder it starts from; the folder it "
                  "reaches is cleaned, whatever product it belongs to, unless it is one "
                  "of the system's");
  }
  if (expanded && path.shortest > kPathMax) {
    findings->Add(place, "the path is " + std::to_string(path.shortest) +
                             " bytes even with every macro as short as \"C:\\\"; the "
                             "uninstaller's path buffer holds " +
                             std::to_string(kPathMax) + " and skips it");
  }
}

// A component in the 8.3 form that the system gives a long name: at most
// eight characters and three after a dot, with a "~" that is not the first.
bool LooksShort(const std::string &component) {
  const size_t dot = component.find('.');
  const std::string base = component.substr(0, dot);
  const size_t extension = dot == std::string::npos ? 0 : component.size() - dot - 1;
  const size_t tilde = base.find('~');
  return tilde != std::string::npos && tilde > 0 && tilde + 1 < base.size() && base.size() <= 8 &&
         extension <= 3 && component.find('.', dot + 1) == std::string::npos;
}

// The drive letter of a path written "X:...", upper case, or 0.
char DriveOf(const std::string &path) {
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0]))) {
    return 0;
  }
  return static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
}

// The install folder's drive as far as the data tells: the one most file
// folders name (files are installed in and beside it); 0 when none does.
char InstallDrive(const Manifest &manifest) {
  std::map<char, size_t> uses;
  for (const FileRecord &file : manifest.files) {
    if (const char drive = DriveOf(file.folder)) ++uses[drive];
  }
  char drive = 0;
  size_t most = 0;
  for (const auto &[letter, count] : uses) {
    if (count > most) drive = letter, most = count;
  }
  return drive;
}

// Spellings of a folder that the uninstaller resolves on the machine before
// it removes anything: worth a look, since what they name is not what they
// show.
void LintSpelling(const std::string &path, const std::string &place, char installDrive,
                  Findings *findings) {
  if (HasNamespacePrefix(path.c_str())) {
    findings->Add(place, "starts with \"" + path.substr(0, 4) +
                             "\", a namespace of the system rather than a folder; the "
                             "uninstaller removes nothing there");
    return;
  }
  for (size_t start = 0; start < path.size();) {
    const size_t end = std::min(path.find_first_of("\\/", start), path.size());
    const std::string component = path.substr(start, end - start);
    if (LooksShort(component)) {
      findings->Add(place, "\"" + component +
                               "\" looks like a short (8.3) name; the machine gives it its own "
                               "long name, so write that");
      break;
    }
    start = end + 1;
  }
  const char drive = DriveOf(path);
  if (drive && installDrive && drive != installDrive) {
    findings->Add(place, std::string("is on drive ") + drive + ":, not on " + installDrive +
                             ": with the install folder; a letter that another stands for "
                             "(subst, a mapped drive) names the same folders");
  }
}

void LintSpellings(const Manifest &manifest, Findings *findings) {
  const char installDrive = InstallDrive(manifest);
  for (size_t i = 0; i < manifest.files.size(); ++i) {
    LintSpelling(manifest.files[i].folder, At("files", i) + ".folder", installDrive, findings);
  }
  for (size_t i = 0; i < manifest.shortcuts.size(); ++i) {
    const ShortcutRecord &shortcut = manifest.shortcuts[i];
    LintSpelling(shortcut.folder, At("shortcuts", i) + ".folder", installDrive, findings);
    LintSpelling(shortcut.altFolder, At("shortcuts", i) + ".altFolder", installDrive, findings);
  }
  for (size_t i = 0; i < manifest.directories.size(); ++i) {
    std::string entry = manifest.directories[i];
    // "##" and unknown macros vanish: the path is what follows them.
    entry = entry.find('#') == std::string::npos ? entry : ReadMacros(entry).text;
    LintSpelling(entry, At("directories", i), installDrive, findings);
  }
}


void LintRegistry(const std::vector<RegistryRecord> &registry, Findings *findings) {
  for (size_t i = 0; i < registry.size(); ++i) {
    const RegistryRecord &entry = registry[i];
    const std::string place = At("registry", i) + ".keyPath";
    // The value name starts after the last backslash that follows another;
    // a name that holds a backslash of its own moves that split.
    const size_t doubled = entry.keyPath.find("\\\\");
    const char *separator = FindValueSeparator(entry.keyPath.c_str());
    if (entry.keyPath.empty()) {
      findings->Add(place, "is empty: the entry names no key and does nothing");
    } else if (doubled != std::string::npos &&
               (!separator || separator != entry.keyPath.c_str() + doubled)) {
      findings->Add(place, "names a value whose name holds a backslash, which an entry cannot "
                           "express: the uninstaller reads " +
                               (separator ? "the value \"" + std::string(separator + 2) +
                                                "\" of a key named with an empty part"
                                          : std::string("a key named with an empty part")) +
                               ", which is not there, and removes nothing");
    } else if (!FindValueSeparator(entry.keyPath.c_str()) &&
               IsGuardedKey(entry.rootKey, entry.keyPath.c_str())) {
      findings->Add(place, RootName(entry.rootKey) + "\\" + entry.keyPath +
                               " is a key the system or many products share; the uninstaller's "
                               "registry guard refuses to delete it, so the entry does nothing");
    } else if (IsGuardedValue(entry.rootKey, entry.keyPath.c_str())) {
      findings->Add(place, RootName(entry.rootKey) + "\\" + entry.keyPath +
                               " is a value the system reads; the uninstaller's registry guard "
                               "refuses to delete it, so the entry does nothing");
    }
  }
}

// Messages the uninstaller formats with one argument: reader codes 1, 5, 7
// and 8 with its own path, 9 and 10 with a file's.
bool TakesArgument(size_t number) {
  return number == MSG_CONFIRM || number == MSG_BUTTON_NO || number == MSG_OUT_OF_MEMORY ||
         number == MSG_DATA_TRUNCATED || number == MSG_READ_ONLY_FILE || number == MSG_SHARED_FILE;
}

// The first "%" form that will not show as its author meant: the uninstaller
// fills the first "%s" of a message that takes an argument, turns "%%" into
// "%" there, and shows everything else as written.
void LintPercentForms(const std::string &message, size_t number, const std::string &place,
                      Findings *findings) {
  const bool fills = TakesArgument(number) && message.find("%s") != std::string::npos;
  bool filled = false;
  for (size_t i = 0; i + 1 < message.size(); ++i) {
    if (message[i] != '%') continue;
    const char next = message[i + 1];
    const std::string form = message.substr(i, 2);
    if (fills && next == '%') {
      ++i;
    } else if (fills && next == 's' && !filled) {
      filled = true;
      ++i;
    } else if (next == '%' || next == 's' || std::isalnum(static_cast<unsigned char>(next))) {
      std::string reason = "\"" + form + "\" is shown as written: ";
      if (!TakesArgument(number)) {
        reason += "this message is shown without an argument";
      } else if (next == 's') {
        reason += "only the first \"%s\" is filled";
      } else if (next == '%') {
        reason += "\"%%\" becomes \"%\" only in a message that holds \"%s\"";
      } else {
        reason += "the uninstaller fills only \"%s\"";
      }
      findings->Add(place, reason);
      return;
    }
  }
}

// A message formatted into the message buffer with the longest path in
// place of its "%s".
void LintMessageLength(const std::string &message, size_t number, const std::string &place,
                       Findings *findings) {
  if (!TakesArgument(number)) return;
  const bool fills = message.find("%s") != std::string::npos;
  const size_t longest = message.size() + (fills ? kPathMax - 2 : 0);
  if (longest > kMessageMax) {
    const std::string path = "with a path of " + std::to_string(kPathMax) + " bytes, ";
    findings->Add(place, "formatted " + (fills ? path : std::string()) + "it is " +
                             std::to_string(longest) +
                             " bytes; the uninstaller's message buffer holds " +
                             std::to_string(kMessageMax) + " and cuts it");
  }
}

struct ShownMessage {
  size_t number;
  const char *role;
};

// What an interactive run shows whatever the data holds, and what it shows
// only for some data.
const ShownMessage kAlwaysShown[] = {
    {MSG_CAPTION, "the caption of every window"}, {MSG_CONFIRM, "the confirmation"},
    {MSG_PROGRESS_FILES, "a progress caption"},   {MSG_PROGRESS_SHORTCUTS, "a progress caption"},
    {MSG_PROGRESS_FOLDERS, "a progress caption"}, {MSG_PROGRESS_REGISTRY, "a progress caption"}};
const ShownMessage kButtons[] = {{MSG_BUTTON_YES, "a button of the read-only question"},
                                 {MSG_BUTTON_YES_TO_ALL, "a button of the read-only question"},
                                 {MSG_BUTTON_NO, "a button of the read-only question"},
                                 {MSG_BUTTON_NO_TO_ALL, "a button of the read-only question"}};

void LintEmptyMessages(const Manifest &manifest, Findings *findings) {
  const auto &messages = manifest.messages;
  const auto empty = [&messages](size_t number) {
    return number >= messages.size() || messages[number].empty();
  };
  std::vector<ShownMessage> shown(std::begin(kAlwaysShown), std::end(kAlwaysShown));
  // The question comes only for a read-only file, and only when it has a text.
  if (!manifest.files.empty() && !empty(MSG_READ_ONLY_FILE)) {
    shown.insert(shown.end(), std::begin(kButtons), std::end(kButtons));
  }
  for (const FileRecord &file : manifest.files) {
    if (file.flags & FILE_FLAG_CHECK_IN_USE) {
      shown.push_back({MSG_FILES_IN_USE, "the warning that files are in use"});
      break;
    }
  }
  for (const ShownMessage &message : shown) {
    if (!empty(message.number)) continue;
    findings->Add(At("messages", message.number),
                  std::string(message.role) + " is empty; an interactive run shows it blank");
  }
  // The file phase's two questions come in quiet runs too.
  const bool shared = std::any_of(manifest.files.begin(), manifest.files.end(),
                                  [](const FileRecord &file) { return file.flags & FILE_FLAG_SHARED_DLL; });
  const struct {
    int number;
    bool asked;
    const char *about, *answer;
  } questions[] = {
      {MSG_READ_ONLY_FILE, !manifest.files.empty(), "a read-only file", "Yes to all: it goes"},
      {MSG_SHARED_FILE, shared, "a shared file whose count has run out", "No: it stays"}};
  for (const auto &question : questions) {
    if (!question.asked || empty(question.number)) continue;
    findings->Add(At("messages", question.number),
                  std::string("is set, so a /S or /Q run may stop to ask about ") + question.about +
                      "; unattended runs need /N, which answers " + question.answer);
  }
}

// The pre-uninstall program line, read from where the uninstaller finds its program.
void LintProgram(const std::string &command, Findings *findings) {
  const std::string place = "settings.program";
  const bool quoted = command[0] == '"';
  // Below the install folder the command's length is checked with the paths.
  const bool expanded = command[ProgramLineStart(command.c_str())] == '#';
  const MacroPath path = expanded ? ReadMacros(command) : MacroPath{command, command, 0, {}};
  // A blank inside a macro's name ("#Program Files#") is no blank of the path.
  if (!quoted && path.literal.find(' ') != std::string::npos) {
    findings->Add(place,
                  "holds a blank but its program is not in quotes: the whole text is "
                  "taken as one program name, with no arguments; write "
                  "\"\\\"program\\\" arguments\"");
  }
  if (!expanded) return;
  if (!path.unknown.empty()) {
    findings->Add(place, "\"" + path.unknown +
                             "\" is no macro the uninstaller knows; it vanishes from the command");
  }
  // The program, without its quotes, must fit a path buffer; in quotes, with
  // a blank and the arguments, the command line.
  const size_t close = quoted ? command.find('"', 1) : std::string::npos;
  const std::string program =
      close == std::string::npos ? command.substr(quoted) : command.substr(1, close - 1);
  const size_t programShortest = ReadMacros(program).shortest;
  const size_t lineShortest = path.shortest + (close == std::string::npos ? 2 - quoted : 0);
  if (programShortest > kPathMax) {
    findings->Add(place, "the program path is " + std::to_string(programShortest) +
                             " bytes even with every macro as short as \"C:\\\"; the "
                             "uninstaller's path buffer holds " +
                             std::to_string(kPathMax));
  } else if (lineShortest > kCommandMax) {
    findings->Add(place, "the command line is " + std::to_string(lineShortest) +
                             " bytes even with every macro as short as \"C:\\\"; the "
                             "uninstaller's command line holds " +
                             std::to_string(kCommandMax));
  }
}

}  // namespace

std::vector<std::string> LintManifest(const Manifest &manifest) {
  Findings findings;
  for (size_t i = 0; i < manifest.messages.size(); ++i) {
    LintPercentForms(manifest.messages[i], i, At("messages", i), &findings);
    LintMessageLength(manifest.messages[i], i, At("messages", i), &findings);
  }
  if (!manifest.messages.empty()) LintEmptyMessages(manifest, &findings);
  LintRegistry(manifest.registry, &findings);
  LintSpellings(manifest, &findings);
  for (size_t i = 0; i < manifest.directories.size(); ++i) {
    LintDirectory(manifest.directories[i], At("directories", i), &findings);
  }
  if (manifest.settings.program) LintProgram(*manifest.settings.program, &findings);
  const std::optional<std::string> &document = manifest.settings.document;
  if (document && !document->empty() && !IsOpenablePlace(document->c_str())) {
    findings.Add("settings.document",
                 "is neither a web address nor a full path (X:\\... or \\\\server\\...): the "
                 "uninstaller does not open it");
  }
  return findings.lines;
}

}  // namespace quenrid
