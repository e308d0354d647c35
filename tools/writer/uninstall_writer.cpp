#include "writer/uninstall_writer.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "data/data_offset.h"
#include "data/uninstall_data.h"

namespace quenrid {

namespace {

const char kMarker[] = {DATA_OFFSET_MARKER_BYTES};
constexpr size_t kMarkerSize = sizeof kMarker;
constexpr size_t kFieldSize = sizeof(DataOffsetField) - kMarkerSize;

// Longest string pieces a record may carry: the staging area less one NUL per
// string, so the reader never cuts or skips a record we wrote.
constexpr size_t kFileStringsMax = FILE_STAGING_SIZE - 2;
constexpr size_t kShortcutStringsMax = SHORTCUT_STAGING_SIZE - 3;
constexpr size_t kRegistryStringMax = REGISTRY_STAGING_SIZE - 1;

std::string Indexed(const char *list, size_t index) {
  return std::string(list) + "[" + std::to_string(index) + "]";
}

void PutU8(std::string &out, uint8_t value) { out.push_back(static_cast<char>(value)); }

void PutU16(std::string &out, uint16_t value) {
  PutU8(out, static_cast<uint8_t>(value));
  PutU8(out, static_cast<uint8_t>(value >> 8));
}

void PutU32(std::string &out, uint32_t value) {
  PutU16(out, static_cast<uint16_t>(value));
  PutU16(out, static_cast<uint16_t>(value >> 16));
}

void SetU32(std::string &out, size_t at, uint32_t value) {
  std::string bytes;
  PutU32(bytes, value);
  out.replace(at, bytes.size(), bytes);
}

uint32_t GetU32(const std::string &in, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= uint32_t(static_cast<uint8_t>(in[at + i])) << (8 * i);
  return value;
}

uint32_t CheckedU32(size_t value, const std::string &what) {
  if (value > std::numeric_limits<uint32_t>::max()) {
    throw WriteError(what + " exceeds the 4 GiB the format can address");
  }
  return static_cast<uint32_t>(value);
}

// Every in-memory string ends at its first NUL, so one inside would silently
// cut the text short.
void CheckNoNul(const std::string &text, const std::string &place) {
  if (text.find('\0') != std::string::npos) throw WriteError(place + ": contains a NUL byte");
}

// Every string obeys the u16 limit of the counted ones, so the raw chunks'
// strings are no exception.
void CheckString(const std::string &text, const std::string &place) {
  CheckNoNul(text, place);
  if (text.size() > std::numeric_limits<uint16_t>::max()) {
    throw WriteError(place + ": " + std::to_string(text.size()) +
                     " bytes exceed the 65535 a string may hold");
  }
}

// A string stored with a u16 length prefix.
void PutCounted(std::string &out, const std::string &text, const std::string &place) {
  CheckString(text, place);
  PutU16(out, static_cast<uint16_t>(text.size()));
  out += text;
}

void PutRecordCount(std::string &out, size_t count, const char *list) {
  PutU32(out, CheckedU32(count, std::string("the number of ") + list));
}

}  // namespace

std::string EncodeMessagesBody(const std::vector<std::string> &messages) {
  if (messages.size() > std::numeric_limits<uint16_t>::max()) {
    throw WriteError("messages: " + std::to_string(messages.size()) +
                     " messages exceed the 65535 a table may hold");
  }
  std::string body;
  PutU16(body, 1);  // one table: the reader loads no other
  PutU16(body, static_cast<uint16_t>(messages.size()));
  for (size_t i = 0; i < messages.size(); ++i) {
    PutCounted(body, messages[i], Indexed("messages", i));
  }
  return body;
}

std::string EncodeFilesBody(const std::vector<FileRecord> &files) {
  std::string body;
  PutRecordCount(body, files.size(), "files");
  for (size_t i = 0; i < files.size(); ++i) {
    const FileRecord &file = files[i];
    const std::string place = Indexed("files", i);
    if (file.folder.size() + file.fileName.size() > kFileStringsMax) {
      throw WriteError(place + ": folder and fileName together exceed " +
                       std::to_string(kFileStringsMax) + " bytes");
    }
    PutCounted(body, file.folder, place + ".folder");
    PutCounted(body, file.fileName, place + ".fileName");
    PutU8(body, file.flags);
  }
  return body;
}

std::string EncodeShortcutsBody(const std::vector<ShortcutRecord> &shortcuts) {
  std::string body;
  PutRecordCount(body, shortcuts.size(), "shortcuts");
  for (size_t i = 0; i < shortcuts.size(); ++i) {
    const ShortcutRecord &shortcut = shortcuts[i];
    const std::string place = Indexed("shortcuts", i);
    if (shortcut.folder.size() + shortcut.altFolder.size() + shortcut.fileName.size() >
        kShortcutStringsMax) {
      throw WriteError(place + ": folder, altFolder and fileName together exceed " +
                       std::to_string(kShortcutStringsMax) + " bytes");
    }
    PutU8(body, shortcut.levels);
    PutCounted(body, shortcut.folder, place + ".folder");
    PutCounted(body, shortcut.altFolder, place + ".altFolder");
    PutCounted(body, shortcut.fileName, place + ".fileName");
  }
  return body;
}

std::string EncodeRegistryBody(const std::vector<RegistryRecord> &registry) {
  std::string body;
  PutRecordCount(body, registry.size(), "registry");
  for (size_t i = 0; i < registry.size(); ++i) {
    const RegistryRecord &entry = registry[i];
    const std::string place = Indexed("registry", i) + ".keyPath";
    if (entry.keyPath.size() > kRegistryStringMax) {
      throw WriteError(place + ": " + std::to_string(entry.keyPath.size()) + " bytes exceed " +
                       std::to_string(kRegistryStringMax));
    }
    PutU32(body, entry.rootKey);
    PutCounted(body, entry.keyPath, place);
  }
  return body;
}

std::string EncodeDirectoriesBody(const std::vector<std::string> &directories) {
  std::string body;
  for (size_t i = 0; i < directories.size(); ++i) {
    const std::string place = Indexed("directories", i);
    // An empty entry would read as the end of the list.
    if (directories[i].empty()) throw WriteError(place + ": is empty");
    CheckString(directories[i], place);
    body += directories[i];
    body.push_back('\0');
  }
  body.push_back('\0');
  return body;
}

std::string EncodeSettingsBody(const Settings &settings) {
  std::string body;
  PutU32(body, settings.flags);
  PutU32(body, 0);
  PutU32(body, 0);
  auto putString = [&body](const std::optional<std::string> &text, uint32_t fieldAt,
                           const char *place) {
    if (!text) return;
    CheckString(*text, place);
    SetU32(body, fieldAt, CheckedU32(body.size(), place));
    body += *text;
    body.push_back('\0');
  };
  putString(settings.program, SETTINGS_PROGRAM_AT, "settings.program");
  putString(settings.document, SETTINGS_DOCUMENT_AT, "settings.document");
  return body;
}

std::string EncodeChunk(uint16_t kind, const std::string &body, uint8_t flags) {
  std::string chunk;
  PutU16(chunk, kind);
  PutU8(chunk, flags);
  PutU8(chunk, 0);
  PutU32(chunk, CheckedU32(body.size(), "a chunk body"));
  return chunk + body;
}

std::string EncodeBlock(const Manifest &manifest) {
  std::string block = EncodeChunk(CHUNK_MESSAGES, EncodeMessagesBody(manifest.messages));
  if (!manifest.files.empty()) block += EncodeChunk(CHUNK_FILES, EncodeFilesBody(manifest.files));
  if (!manifest.shortcuts.empty()) {
    block += EncodeChunk(CHUNK_SHORTCUTS, EncodeShortcutsBody(manifest.shortcuts));
  }
  if (!manifest.registry.empty()) {
    block += EncodeChunk(CHUNK_REGISTRY, EncodeRegistryBody(manifest.registry));
  }
  if (!manifest.directories.empty()) {
    block += EncodeChunk(CHUNK_DIRECTORIES, EncodeDirectoriesBody(manifest.directories));
  }
  block += EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody(manifest.settings));
  block += EncodeChunk(CHUNK_END, std::string());
  return block;
}

namespace {

uint16_t GetU16(const std::string &in, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(in[at]) | static_cast<uint8_t>(in[at + 1])
                                                                  << 8);
}

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr size_t kSectionHeaderSize = 40;

// The end of the chunks that begin at `at`: just behind the first end chunk,
// or npos when a header or body runs past the end of `bytes` first.
size_t BlockEnd(const std::string &bytes, size_t at) {
  while (at <= bytes.size() && bytes.size() - at >= 8) {
    const uint16_t kind = GetU16(bytes, at);
    const uint64_t next = uint64_t(at) + 8 + GetU32(bytes, at + 4);
    if (next > bytes.size()) return std::string::npos;
    if (kind == CHUNK_END) return static_cast<size_t>(next);
    at = static_cast<size_t>(next);
  }
  return std::string::npos;
}

// True when the field points at a block that ends exactly at the end of the
// file, behind the image: the only tail that may be replaced.
bool CarriesBlock(const std::string &executable, const DataLayout &layout) {
  return layout.offset >= layout.imageEnd && layout.offset < executable.size() &&
         BlockEnd(executable, layout.offset) == executable.size();
}

}  // namespace

size_t ImageEnd(const std::string &executable) {
  const auto need = [&executable](uint64_t end, const char *what) {
    if (end > executable.size()) throw WriteError(std::string("not a Windows executable: ") + what);
  };
  need(0x40, "shorter than an MZ header");
  if (executable.compare(0, 2, "MZ") != 0)
    throw WriteError("not a Windows executable: no MZ header");
  const uint64_t pe = GetU32(executable, 0x3C);
  need(pe + 24 + 2, "the PE header lies beyond the end of the file");
  if (executable.compare(static_cast<size_t>(pe), 4, std::string("PE\0\0", 4)) != 0) {
    throw WriteError("not a Windows executable: no PE signature");
  }
  const size_t coff = static_cast<size_t>(pe) + 4;
  const uint16_t sections = GetU16(executable, coff + 2);
  const uint16_t optionalSize = GetU16(executable, coff + 16);
  const size_t optional = coff + 20;
  const uint16_t magic = GetU16(executable, optional);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%03X", static_cast<unsigned>(magic));
    throw WriteError(std::string("not a PE32 or PE32+ image: optional header magic ") + hex);
  }
  const uint64_t table = uint64_t(optional) + optionalSize;
  need(table + uint64_t(sections) * kSectionHeaderSize, "its section table is cut off");
  uint64_t end = table + uint64_t(sections) * kSectionHeaderSize;
  for (size_t i = 0; i < sections; ++i) {
    const size_t header = static_cast<size_t>(table) + i * kSectionHeaderSize;
    const uint32_t rawSize = GetU32(executable, header + 16);
    if (rawSize == 0) continue;
    end = std::max(end, uint64_t(GetU32(executable, header + 20)) + rawSize);
  }
  if (end > executable.size()) {
    throw WriteError("the image's sections end at " + std::to_string(end) +
                     ", beyond the end of the file (" + std::to_string(executable.size()) +
                     " bytes)");
  }
  return static_cast<size_t>(end);
}

bool IsSigned(const std::string &executable) {
  ImageEnd(executable);  // refuses what is no PE32 or PE32+ image
  const size_t optional = static_cast<size_t>(GetU32(executable, 0x3C)) + 24;
  const bool plus = GetU16(executable, optional) == kPe32PlusMagic;
  const uint64_t count = optional + (plus ? 108 : 92), table = optional + (plus ? 112 : 96);
  const uint16_t optionalSize = GetU16(executable, optional - 4);
  // The certificate table's entry, when the optional header holds one.
  constexpr uint32_t kCertificateTable = 4;
  const uint64_t entry = table + 8 * kCertificateTable;
  if (count + 4 > optional + optionalSize || GetU32(executable, count) <= kCertificateTable ||
      entry + 8 > optional + optionalSize) {
    return false;
  }
  return GetU32(executable, static_cast<size_t>(entry) + 4) != 0;
}

// What every refusal of a signed file says.
constexpr char kSignedAdvice[] =
    "is signed, and its signature covers the file as it is; pack the unsigned stub, then sign the "
    "packed uninstaller (osslsigncode sign ... -in packed.exe -out signed.exe)";

DataLayout LocateData(const std::string &executable) {
  DataLayout layout;
  layout.imageEnd = ImageEnd(executable);
  // Only the image is searched: the data behind it may hold the same six bytes.
  const std::string marker(kMarker, kMarkerSize);
  const std::string image = executable.substr(0, layout.imageEnd);
  const size_t first = image.find(marker);
  if (first == std::string::npos) throw WriteError("no data offset marker in the image");
  if (image.find(marker, first + 1) != std::string::npos) {
    throw WriteError("the data offset marker occurs more than once in the image");
  }
  layout.field = first + kMarkerSize;
  if (layout.field + kFieldSize > layout.imageEnd) {
    throw WriteError("the data offset field is cut off by the end of the image");
  }
  layout.offset = GetU32(executable, layout.field);
  return layout;
}

size_t FindDataOffsetField(const std::string &executable) { return LocateData(executable).field; }

uint32_t ReadDataOffset(const std::string &executable) { return LocateData(executable).offset; }

std::string StampStub(std::string stub) {
  if (IsSigned(stub)) throw WriteError(kSignedAdvice);
  const DataLayout layout = LocateData(stub);
  // Stamping a packed uninstaller would leave its block in the file, unseen.
  if (CarriesBlock(stub, layout)) {
    throw WriteError("carries uninstall data at offset " + std::to_string(layout.offset) +
                     "; stamp the bare stub, not a packed uninstaller");
  }
  SetU32(stub, layout.field, CheckedU32(stub.size(), "the stub"));
  return stub;
}

std::string PackBlock(const std::string &stub, const std::string &block) {
  if (IsSigned(stub)) throw WriteError(kSignedAdvice);
  const DataLayout layout = LocateData(stub);
  if (layout.offset == 0) throw WriteError("not stamped: the data offset field is 0");
  if (layout.offset > stub.size()) {
    throw WriteError("not stamped for this file: the data offset field holds " +
                     std::to_string(layout.offset) + ", beyond the end of the file (" +
                     std::to_string(stub.size()) + " bytes)");
  }
  size_t keep = stub.size();
  if (layout.offset < stub.size()) {
    // Only a block of our own is cut off; anything else behind the field's
    // offset (the image itself, a signature) would be lost.
    if (layout.offset < layout.imageEnd) {
      throw WriteError("the data offset field holds " + std::to_string(layout.offset) +
                       ", inside the image, which ends at " + std::to_string(layout.imageEnd));
    }
    if (!CarriesBlock(stub, layout)) {
      throw WriteError("the " + std::to_string(stub.size() - layout.offset) +
                       " bytes from offset " + std::to_string(layout.offset) +
                       " to the end of the file are not an uninstall data block; they are not "
                       "cut off");
    }
    keep = layout.offset;
  }
  std::string packed = stub.substr(0, keep) + block;
  SetU32(packed, layout.field, CheckedU32(keep, "the stub"));
  // Tests pack damaged blocks on purpose; the block is the caller's to check.
  const DataLayout check = LocateData(packed);
  if (check.field != layout.field || check.offset != keep) {
    throw WriteError("the packed file's data offset field does not read back");
  }
  return packed;
}

}  // namespace quenrid
