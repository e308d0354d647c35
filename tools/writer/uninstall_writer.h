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

// Where the image of a PE32 or PE32+ executable ends in its file: the end of
// the section whose raw data ends last. What follows is not loaded. Throws
// WriteError for a file that is not such an executable.
size_t ImageEnd(const std::string &executable);

// True when the executable carries an Authenticode signature: its
// certificate table (data directory 4) is not empty.
bool IsSigned(const std::string &executable);

// Where an executable's data offset field is and what it holds.
struct DataLayout {
  size_t imageEnd = 0;  // ImageEnd
  size_t field = 0;     // offset of the u32 behind the DataOffsetMarker
  uint32_t offset = 0;  // the value of that u32
};

// Finds the single DataOffsetMarker inside the image; the data behind the
// image is not searched. Throws WriteError when the marker is missing, occurs
// more than once in the image, or its field is cut off.
DataLayout LocateData(const std::string &executable);
size_t FindDataOffsetField(const std::string &executable);
uint32_t ReadDataOffset(const std::string &executable);

// Writes the executable's own length into its offset field. Refuses a packed
// uninstaller, whose block would stay in the file unseen, and a signed stub.
std::string StampStub(std::string stub);

// The stub followed by `block`, the field pointing at the block. A stub that
// already carries a block is cut back to the offset its field holds, but only
// when the bytes from there on are one whole block behind the image and
// ending at the end of the file; any other tail is refused, never dropped.
// A signed stub or uninstaller is refused: its signature covers the file as
// it is, so the uninstaller is packed unsigned and signed afterwards.
std::string PackBlock(const std::string &stub, const std::string &block);

}  // namespace quenrid
