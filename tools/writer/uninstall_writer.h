// Writer of the UninstallData format, shared by the quenrid tool and the
// tests. It builds for the Linux host and for Windows.
//
// Strings here are bytes in the target ANSI code page; conversion from UTF-8
// belongs to the manifest layer.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quenrid {

// Any input the writer cannot encode; what() is one line naming the place.
struct WriteError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct FileRecord {
  std::string folder;
  std::string fileName;
  uint8_t flags = 0;  // FILE_FLAG_* bits
};

struct ShortcutRecord {
  uint8_t levels = 0;
  std::string folder;
  std::string altFolder;
  std::string fileName;
};

struct RegistryRecord {
  uint32_t rootKey = 0;  // e.g. 0x80000001 for HKCU
  std::string keyPath;
};

struct Settings {
  uint32_t flags = 0;                   // SETTINGS_* bits
  std::optional<std::string> program;   // none: offset 0
  std::optional<std::string> document;  // none: offset 0
};

// Everything one uninstaller removes and shows.
struct Manifest {
  std::vector<std::string> messages;  // message n at index n
  std::vector<FileRecord> files;
  std::vector<ShortcutRecord> shortcuts;
  std::vector<RegistryRecord> registry;
  std::vector<std::string> directories;
  Settings settings;
};

// Bodies of the individual chunk kinds, for tests that assemble blocks by hand.
std::string EncodeMessagesBody(const std::vector<std::string> &messages);
std::string EncodeFilesBody(const std::vector<FileRecord> &files);
std::string EncodeShortcutsBody(const std::vector<ShortcutRecord> &shortcuts);
std::string EncodeRegistryBody(const std::vector<RegistryRecord> &registry);
std::string EncodeDirectoriesBody(const std::vector<std::string> &directories);
std::string EncodeSettingsBody(const Settings &settings);

// An 8-byte chunk header followed by `body`.
std::string EncodeChunk(uint16_t kind, const std::string &body, uint8_t flags = 0);

// The canonical block of a manifest: messages, files, shortcuts, registry,
// directories (each only when not empty, messages always), settings, end.
// Throws WriteError when a string or record exceeds what the format or the
// reader's staging areas allow.
std::string EncodeBlock(const Manifest &manifest);

// Offset of the u32 behind the single DataOffsetMarker in `executable`.
// Throws WriteError when the marker is missing or occurs more than once.
size_t FindDataOffsetField(const std::string &executable);
uint32_t ReadDataOffset(const std::string &executable);

// Writes the executable's own length into its offset field.
std::string StampStub(std::string stub);

// The stub followed by `block`, the field pointing at the block. A stub that
// already carries a block is cut back to the offset its field holds first.
std::string PackBlock(const std::string &stub, const std::string &block);

}  // namespace quenrid
