// quenrid dump: what a packed uninstaller will remove and show, read with the
// uninstaller's own reader and printed as a manifest, so that packing the
// output onto the same stub gives the same bytes.
#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>

#include "data/uninstall_data.h"
#include "manifest/code_page.h"
#include "manifest/manifest.h"
#include "quenrid/commands.h"
#include "writer/uninstall_writer.h"

namespace quenrid {

namespace {

struct DumpOptions {
  std::string file;
  unsigned codePage = kDefaultCodePage;
  const CLI::Option *codePageOption = nullptr;
};

std::string ReadFailureText(int code) {
  switch (code) {
    case READ_ERR_NO_FILE: return "the file cannot be opened";
    case READ_ERR_BODY: return "a directories or settings chunk is refused or cut short";
    case READ_ERR_BODY_MEMORY: return "no memory for a chunk body";
    case READ_ERR_MEMORY: return "no memory for a list, record or message";
    case READ_ERR_HEADER: return "the data ends before its end chunk";
    default: return "the data cannot be read";
  }
}

}  // namespace

uint32_t BlockOffset(const std::string &path) {
  RequireRegularFile(path);
  const std::string executable = ReadWholeFile(path);
  const DataLayout layout = Within(path, [&] { return LocateData(executable); });
  if (layout.offset == 0) throw ToolError(path + ": not stamped: the data offset field is 0");
  if (layout.offset > executable.size()) {
    throw ToolError(path + ": the data offset field holds " + std::to_string(layout.offset) +
                    ", beyond the end of the file (" + std::to_string(executable.size()) +
                    " bytes)");
  }
  if (layout.offset == executable.size()) {
    throw ToolError(path + ": carries no uninstall data (a stamped stub)");
  }
  if (layout.offset < layout.imageEnd) {
    throw ToolError(path + ": the data offset field holds " + std::to_string(layout.offset) +
                    ", inside the image, which ends at " + std::to_string(layout.imageEnd));
  }
  return layout.offset;
}

namespace {

std::vector<std::string> CollectMessages() {
  std::vector<std::string> messages;
  for (char **entry = MessageTable[0]; entry && *entry; ++entry) messages.emplace_back(*entry);
  return messages;
}

std::vector<std::string> CollectDirectories() {
  std::vector<std::string> directories;
  // A list from another tool need not end in its empty string: every string
  // is bounded by the list's length, not by a NUL that may be missing.
  for (uint32_t at = 0; at < DirectoryListLength && DirectoryList[at] != '\0';) {
    const char *start = DirectoryList + at;
    const void *nul = std::memchr(start, '\0', DirectoryListLength - at);
    const uint32_t length = nul ? static_cast<uint32_t>(static_cast<const char *>(nul) - start)
                                : DirectoryListLength - at;
    directories.emplace_back(start, length);
    at += length + 1;
  }
  return directories;
}

std::optional<std::string> CollectSettingsString(uint32_t fieldAt) {
  const char *text = SettingsString(fieldAt);
  return text ? std::optional<std::string>(text) : std::nullopt;
}

// The reader's process-wide lists as a Manifest.
Manifest CollectLists() {
  Manifest manifest;
  manifest.messages = CollectMessages();
  for (uint32_t i = 0; i < FileListCount; ++i) {
    const FileEntry &file = *FileList[i];
    manifest.files.push_back(FileRecord{file.folder, file.fileName, file.flags});
  }
  for (uint32_t i = 0; i < ShortcutListCount; ++i) {
    const ShortcutEntry &shortcut = *ShortcutList[i];
    manifest.shortcuts.push_back(ShortcutRecord{static_cast<uint8_t>(shortcut.levels),
                                                shortcut.folder, shortcut.altFolder,
                                                shortcut.fileName});
  }
  for (uint32_t i = 0; i < RegistryListCount; ++i) {
    manifest.registry.push_back(RegistryRecord{RegistryList[i]->rootKey, RegistryList[i]->keyPath});
  }
  manifest.directories = CollectDirectories();
  manifest.settings.flags = SettingsFlags();
  manifest.settings.program = CollectSettingsString(SETTINGS_PROGRAM_AT);
  manifest.settings.document = CollectSettingsString(SETTINGS_DOCUMENT_AT);
  return manifest;
}

bool HasHighBytes(const Manifest &manifest) {
  const auto high = [](const std::string &text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return c & 0x80; });
  };
  bool found = std::any_of(manifest.messages.begin(), manifest.messages.end(), high) ||
               std::any_of(manifest.directories.begin(), manifest.directories.end(), high);
  for (const FileRecord &file : manifest.files)
    found = found || high(file.folder) || high(file.fileName);
  for (const ShortcutRecord &shortcut : manifest.shortcuts) {
    found = found || high(shortcut.folder) || high(shortcut.altFolder) || high(shortcut.fileName);
  }
  for (const RegistryRecord &entry : manifest.registry) found = found || high(entry.keyPath);
  return found || high(manifest.settings.program.value_or("")) ||
         high(manifest.settings.document.value_or(""));
}

void Dump(const DumpOptions &options) {
  const unsigned codePage = CheckedCodePage(options.codePage);
  const uint32_t offset = BlockOffset(options.file);
  const Manifest manifest = ReadBlock(options.file, offset);
  const std::string json = Within(options.file, [&] { return FormatManifest(manifest, codePage); });
  WriteStdout(json);
  // The block does not say which code page its strings are in.
  if (options.codePageOption->count() == 0 && HasHighBytes(manifest)) {
    ReportLine("quenrid dump", options.file + ": note: strings were read as code page " +
                                   std::to_string(codePage) +
                                   "; if they were packed in another, give its --code-page");
  }
}

}  // namespace

void LoadBlock(const std::string &path, uint32_t offset) {
  const int code = ReadUninstallDataFile(path.c_str(), offset);
  if (code == READ_OK) return;
  ReleaseUninstallData();
  throw ToolError(path + ": " + ReadFailureText(code) + " (reader code " + std::to_string(code) +
                  ")");
}

Manifest ReadBlock(const std::string &path, uint32_t offset) {
  LoadBlock(path, offset);
  const Manifest manifest = CollectLists();
  ReleaseUninstallData();
  return manifest;
}

void AddDumpCommand(CLI::App &app) {
  auto options = std::make_shared<DumpOptions>();
  CLI::App *command =
      app.add_subcommand("dump", "Print the manifest of a packed uninstaller as JSON");
  command->add_option("file", options->file, "Packed uninstaller")->required();
  options->codePageOption =
      command->add_option("--code-page", options->codePage, "ANSI code page of the strings")
          ->default_val(kDefaultCodePage);
  command->callback([options] { Dump(*options); });
}

}  // namespace quenrid
