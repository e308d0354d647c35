#include <string.h>

#include "memory.h"
#include "messages.h"
#include "record_lists.h"
#include "uninstall_data.h"

char **MessageTable[MAX_MESSAGE_TABLES];
FileEntry **FileList;
uint32_t FileListCount;
ShortcutEntry **ShortcutList;
uint32_t ShortcutListCount;
RegistryEntry **RegistryList;
uint32_t RegistryListCount;
char *DirectoryList;
uint32_t DirectoryListLength;
uint8_t *UninstallSettings;
uint32_t UninstallSettingsLength;

// MessageBoxA's MB_OK | MB_ICONINFORMATION.
enum : uint32_t { READ_ERROR_STYLE = 0x40 };

int ReadChunkBody(FileHandle file, const ChunkHeader *header, uint8_t **body, uint32_t *length) {
  if (length) *length = header->length;
  *body = nullptr;
  if (header->flags & CHUNK_FLAG_REJECT) return READ_ERR_BODY;
  // A body longer than the rest of the file cannot be read in full; finding
  // that out before allocating spares a damaged length a huge allocation.
  uint32_t position = GetFilePos(file);
  uint32_t fileLength = GetFileLength(file);
  if (position > fileLength || header->length > fileLength - position) return READ_ERR_BODY;
  if (!AllocBlock(header->length, body)) return READ_ERR_BODY_MEMORY;
  if (ReadExact(file, *body, header->length) != 0) {
    FreeAndClear(body);
    return READ_ERR_BODY;
  }
  return READ_OK;
}

static void FreeStrings(char ***strings) {
  if (!*strings) return;
  for (uint32_t i = 0; (*strings)[i]; ++i) FreeAndClear(&(*strings)[i]);
  FreeAndClear(strings);
}

static void FreeMessageTable(int table) { FreeStrings(&MessageTable[table]); }

// Reads `stringCount` strings into a fresh table that replaces slot `table`
// once it is whole: a table that fails half-way is dropped, and the one read
// before stays to word the failure. Every string takes at least its two
// length bytes, so a count the body cannot hold is damage before anything is
// allocated, as is a string that runs past the body.
static int ReadMessageTable(ChunkBody *body, int table, uint16_t stringCount) {
  if (stringCount > body->left / 2) return READ_ERR_HEADER;
  char **strings = nullptr;
  if (!AllocZeroed((stringCount + 1u) * static_cast<uint32_t>(sizeof(char *)), &strings)) {
    return READ_ERR_MEMORY;
  }
  int code = READ_OK;
  for (uint32_t i = 0; i < stringCount && code == READ_OK; ++i) {
    uint16_t length = TakeU16(body);
    const uint8_t *text = TakeBytes(body, length);
    if (!text) {
      code = READ_ERR_HEADER;
    } else if (!AllocZeroed(length + 1u, &strings[i])) {
      code = READ_ERR_MEMORY;
    } else {
      memcpy(strings[i], text, length);
    }
  }
  if (code != READ_OK) {
    FreeStrings(&strings);
    return code;
  }
  FreeMessageTable(table);
  MessageTable[table] = strings;
  return READ_OK;
}

// Only the first MAX_MESSAGE_TABLES tables are loaded; the rest of the body is
// skipped by the caller. A table of no strings keeps the one read before.
static int ReadMessages(ChunkBody *body) {
  uint16_t tableCount = TakeU16(body);
  for (int table = 0; table < tableCount && table < MAX_MESSAGE_TABLES; ++table) {
    uint16_t stringCount = TakeU16(body);
    if (body->damaged) return READ_ERR_HEADER;
    if (stringCount == 0) continue;
    int code = ReadMessageTable(body, table, stringCount);
    if (code != READ_OK) return code;
  }
  return body->damaged ? READ_ERR_HEADER : READ_OK;
}

// Joins a further directories body to the list, replacing the list's closing
// empty string, so that the list still ends in exactly one.
static int AppendDirectories(uint8_t *body, uint32_t length) {
  if (!DirectoryList) {
    DirectoryList = reinterpret_cast<char *>(body);
    DirectoryListLength = length;
    return READ_OK;
  }
  uint32_t old = DirectoryListLength;
  if (length > 0xFFFFFFFFu - old || !ResizeBlock(old + length, &DirectoryList)) {
    FreeAndClear(&body);
    return READ_ERR_MEMORY;
  }
  if (DirectoryList[old - 1] == '\0') {
    memcpy(DirectoryList + old - 1, body, length);
    DirectoryListLength = old + length - 1;
  }
  FreeAndClear(&body);
  return READ_OK;
}

static int ReadDirectories(FileHandle file, const ChunkHeader *header) {
  uint8_t *body = nullptr;
  uint32_t length = 0;
  int code = ReadChunkBody(file, header, &body, &length);
  if (code != READ_OK) return code;
  return AppendDirectories(body, length);
}

// The last settings chunk replaces any earlier one.
static int ReadSettings(FileHandle file, const ChunkHeader *header) {
  FreeAndClear(&UninstallSettings);
  UninstallSettingsLength = 0;
  uint32_t length = 0;
  int code = ReadChunkBody(file, header, &UninstallSettings, &length);
  if (code == READ_OK) UninstallSettingsLength = length;
  return code;
}

// The body of a list or messages chunk, read in one piece: bounded by what
// is left of the file before anything is allocated, and parsed in memory.
// A body the file does not hold in full is the data ending early.
static int LoadBody(FileHandle file, uint32_t length, uint8_t **bytes) {
  uint32_t position = GetFilePos(file);
  uint32_t fileLength = GetFileLength(file);
  if (position > fileLength || length > fileLength - position) return READ_ERR_HEADER;
  if (!AllocBlock(length, bytes)) return READ_ERR_MEMORY;
  if (ReadExact(file, *bytes, length) != 0) {
    FreeAndClear(bytes);
    return READ_ERR_HEADER;
  }
  return READ_OK;
}

static int ReadParsedChunk(FileHandle file, const ChunkHeader *header, int (*parse)(ChunkBody *)) {
  uint8_t *bytes = nullptr;
  int code = LoadBody(file, header->length, &bytes);
  if (code != READ_OK) return code;
  ChunkBody body = {bytes, header->length, false};
  code = parse(&body);
  FreeAndClear(&bytes);
  return code;
}

static int ReadChunk(FileHandle file, const ChunkHeader *header) {
  switch (header->kind) {
    case CHUNK_MESSAGES: return ReadParsedChunk(file, header, ReadMessages);
    case CHUNK_FILES: return ReadParsedChunk(file, header, ReadFileList);
    case CHUNK_SHORTCUTS: return ReadParsedChunk(file, header, ReadShortcutList);
    case CHUNK_REGISTRY: return ReadParsedChunk(file, header, ReadRegistryList);
    case CHUNK_DIRECTORIES: return ReadDirectories(file, header);
    case CHUNK_SETTINGS: return ReadSettings(file, header);
    default: return READ_OK;  // unknown kinds are skipped by their length
  }
}

static bool ReadHeader(FileHandle file, ChunkHeader *header) {
  uint8_t bytes[sizeof(ChunkHeader)];
  if (ReadExact(file, bytes, sizeof bytes) != 0) return false;
  header->kind = DecodeU16(bytes);
  header->flags = bytes[2];
  header->reserved = bytes[3];
  header->length = DecodeU32(bytes + 4);
  return true;
}

// The chunk loop. Each chunk's end is taken from its header, whatever its
// handler consumed, so a handler that stops short does not disturb the next.
static int ReadChunks(FileHandle file, uint32_t offset) {
  SetFilePos(file, offset);
  for (;;) {
    ChunkHeader header;
    if (!ReadHeader(file, &header)) return READ_ERR_HEADER;
    if (header.length == 0) {
      if (header.kind == CHUNK_END) return READ_OK;
      continue;
    }
    if (header.kind == CHUNK_END) return READ_OK;
    uint32_t position = GetFilePos(file);
    // A length that runs past 4 GB would wrap the position backwards and
    // read the same chunks forever; no file can hold it.
    if (header.length > 0xFFFFFFFFu - position) return READ_ERR_HEADER;
    int code = ReadChunk(file, &header);
    if (code != READ_OK) return code;
    SetFilePos(file, position + header.length);
  }
}

// Later phases read the settings without asking whether there were any.
static int EnsureSettings() {
  if (UninstallSettings) return READ_OK;
  if (!AllocZeroed(SETTINGS_FIXED_SIZE, &UninstallSettings)) return READ_ERR_MEMORY;
  UninstallSettingsLength = SETTINGS_FIXED_SIZE;
  return READ_OK;
}

static void ReportReadError(int code, const char *path) {
  char *text = nullptr;
  if (!AllocZeroed(MESSAGE_BUFFER_SIZE, &text)) return;
  FormatMessageArg(text, code, path);
  ShowMessage(text, READ_ERROR_STYLE);
  FreeAndClear(&text);
}

int ReadUninstallDataFile(const char *path, uint32_t offset) {
  if (offset == 0) return READ_ERR_NO_FILE;
  FileHandle file = OpenExistingFile(path, OPEN_READ);
  if (file == InvalidFileHandle()) return READ_ERR_NO_FILE;
  int code = ReadChunks(file, offset);
  CloseFile(file);
  if (code == READ_OK) code = EnsureSettings();
  if (code != READ_OK) ReportReadError(code, path);
  return code;
}

template <class T> static void FreeList(T ***list, uint32_t *count) {
  for (uint32_t i = 0; *list && i < *count; ++i) FreeAndClear(&(*list)[i]);
  FreeAndClear(list);
  *count = 0;
}

void ReleaseUninstallData() {
  FreeAndClear(&DirectoryList);
  DirectoryListLength = 0;
  FreeList(&RegistryList, &RegistryListCount);
  FreeList(&ShortcutList, &ShortcutListCount);
  FreeList(&FileList, &FileListCount);
  FreeAndClear(&UninstallSettings);
  UninstallSettingsLength = 0;
  for (int table = 0; table < MAX_MESSAGE_TABLES; ++table) FreeMessageTable(table);
}

uint32_t SettingsFlags() {
  if (!UninstallSettings || UninstallSettingsLength < SETTINGS_FLAGS_AT + 4) return 0;
  return DecodeU32(UninstallSettings + SETTINGS_FLAGS_AT);
}

const char *SettingsString(uint32_t fieldAt) {
  if (!UninstallSettings || fieldAt > UninstallSettingsLength ||
      UninstallSettingsLength - fieldAt < 4) {
    return nullptr;
  }
  uint32_t offset = DecodeU32(UninstallSettings + fieldAt);
  if (offset == 0 || offset >= UninstallSettingsLength) return nullptr;
  const char *text = reinterpret_cast<const char *>(UninstallSettings) + offset;
  if (!memchr(text, '\0', UninstallSettingsLength - offset)) return nullptr;
  return text;
}
