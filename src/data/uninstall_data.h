// The UninstallData block appended to the uninstaller, and its in-memory lists.
//
// The block is a sequence of chunks, each an 8-byte ChunkHeader and a body,
// ended by CHUNK_END. The reader fills the process-wide lists below; they
// live until ReleaseUninstallData. All integers in the file are little-endian.
#pragma once

#include <stdint.h>

#include "file_io.h"

enum ChunkKind : uint16_t {
  CHUNK_MESSAGES = 0x1234,
  CHUNK_FILES = 0x1235,
  CHUNK_SHORTCUTS = 0x1236,
  CHUNK_REGISTRY = 0x1237,
  CHUNK_DIRECTORIES = 0x1239,
  CHUNK_SETTINGS = 0x123A,
  CHUNK_END = 0x7F7F,
};

// Flags byte of a ChunkHeader; looked at only for the two raw chunk kinds.
enum : uint8_t { CHUNK_FLAG_REJECT = 0x01 };

#pragma pack(push, 1)
struct ChunkHeader {
  uint16_t kind;
  uint8_t flags;
  uint8_t reserved;
  uint32_t length;  // body bytes behind the header
};
#pragma pack(pop)
static_assert(sizeof(ChunkHeader) == 8, "ChunkHeader is 8 bytes in the file");

enum FileFlags : uint8_t {
  FILE_FLAG_SHARED_DLL = 0x01,    // the shared-DLL count decides the removal
  FILE_FLAG_FONT = 0x02,          // unregistered before deletion
  FILE_FLAG_COM_SERVER = 0x04,    // unregistered before deletion
  FILE_FLAG_CHECK_IN_USE = 0x08,  // takes part in the in-use test
};

enum SettingsFlags : uint32_t {
  SETTINGS_WAIT_FOR_PROGRAM = 0x1,
  SETTINGS_THEMED_CONTROLS = 0x2,
};

// Byte offsets of the fixed fields of the settings block.
enum SettingsLayout : uint32_t {
  SETTINGS_FLAGS_AT = 0,
  SETTINGS_PROGRAM_AT = 4,
  SETTINGS_DOCUMENT_AT = 8,
  SETTINGS_FIXED_SIZE = 12,
};

// Reader results. The non-zero codes double as the number of the message shown.
enum ReadResult {
  READ_ERR_NO_FILE = -1,  // no block, or the file cannot be opened: no message
  READ_OK = 0,
  READ_ERR_BODY = 1,         // a raw body is rejected or cannot be read in full
  READ_ERR_BODY_MEMORY = 5,  // no memory for a raw body
  READ_ERR_MEMORY = 7,       // no memory for a list, record or message
  READ_ERR_HEADER = 8,  // the data ends before CHUNK_END, or a count or string runs past its chunk
};

// Per-record size limits of the strings, set by the reader's staging areas.
enum : uint32_t {
  FILE_STAGING_SIZE = 520,
  SHORTCUT_STAGING_SIZE = 780,
  REGISTRY_STAGING_SIZE = 520,
};

// One allocation: these fields, then folder and fileName with their NULs.
struct FileEntry {
  char *folder;    // "." or ".\sub" stands for the InstallFolder
  char *fileName;  // empty when the record names the folder itself
  uint8_t flags;   // FileFlags
};

// One allocation: these fields, then folder, altFolder and fileName.
struct ShortcutEntry {
  uint32_t levels;  // parent folders that may go too; counted down in place
  char *folder;
  char *altFolder;
  char *fileName;
};

// The predefined registry roots, as rootKey holds their handle values.
enum : uint32_t {
  ROOT_CLASSES = 0x80000000,
  ROOT_CURRENT_USER = 0x80000001,
  ROOT_LOCAL_MACHINE = 0x80000002,
  ROOT_USERS = 0x80000003,
  ROOT_CURRENT_CONFIG = 0x80000005,
};

// One allocation: these fields, then keyPath.
struct RegistryEntry {
  uint32_t rootKey;  // a predefined root key handle value, e.g. 0x80000002
  char *keyPath;
};

enum : int { MAX_MESSAGE_TABLES = 1 };

// Message tables: arrays of string pointers ended by a null entry.
extern char **MessageTable[MAX_MESSAGE_TABLES];
extern FileEntry **FileList;  // in file order
extern uint32_t FileListCount;
extern ShortcutEntry **ShortcutList;
extern uint32_t ShortcutListCount;
extern RegistryEntry **RegistryList;
extern uint32_t RegistryListCount;
extern char *DirectoryList;           // NUL-terminated strings, ended by an empty one
extern uint32_t DirectoryListLength;  // in bytes, final NUL included
extern uint8_t *UninstallSettings;    // the settings block exactly as read
extern uint32_t UninstallSettingsLength;

// Reads the block that starts at `offset` in the file at `path` into the lists
// and returns a ReadResult. On a failure with a message code, message `code`
// is shown, formatted with `path`. Without a settings chunk the lists get an
// all-zero settings block. Lists already built stay on failure.
int ReadUninstallDataFile(const char *path, uint32_t offset);

// Loads a raw chunk body of header->length bytes into a new allocation at
// `*body`, storing the length through `length` first when it is given.
// Returns 0, or READ_ERR_BODY for a rejected or short body (then `*body` is
// null), or READ_ERR_BODY_MEMORY.
int ReadChunkBody(FileHandle file, const ChunkHeader *header, uint8_t **body, uint32_t *length);

// Releases every list, record, message and the settings block, leaving all
// lists empty.
void ReleaseUninstallData();

// Settings fields; a block shorter than the field reads as 0.
uint32_t SettingsFlags();
// The string a settings offset field points at, or null when the offset is
// 0, outside the block, or its string has no NUL inside the block.
const char *SettingsString(uint32_t fieldAt);

#ifdef _WIN32
#endif
