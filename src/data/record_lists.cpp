#include "record_lists.h"

#include <string.h>

#include "memory.h"

uint16_t ReadU16(FileHandle file) {
  uint8_t bytes[2] = {0, 0};
  ReadExact(file, bytes, sizeof bytes);
  return DecodeU16(bytes);
}

uint32_t ReadU32(FileHandle file) {
  uint8_t bytes[4] = {0, 0, 0, 0};
  ReadExact(file, bytes, sizeof bytes);
  return DecodeU32(bytes);
}

// Smallest size of one record in the file: its fixed fields and empty strings.
enum : uint32_t { FILE_RECORD_MIN = 5, SHORTCUT_RECORD_MIN = 7, REGISTRY_RECORD_MIN = 6 };

// True when `count` records can stand in what is left of the chunk's body
// behind its u32 count, and in what is left of the file. Without this bound a
// damaged count would make the reader allocate and loop for billions of
// records that are not there.
static bool CountFits(FileHandle file, uint32_t length, uint32_t count, uint32_t minRecord) {
  uint32_t position = GetFilePos(file);
  uint32_t fileLength = GetFileLength(file);
  uint32_t inFile = fileLength > position ? fileLength - position : 0;
  uint32_t body = length < inFile ? length : inFile;
  uint32_t room = body > 4 ? body - 4 : 0;
  return count <= room / minRecord;
}

// Makes room for `added` more pointers behind `count` in `*list`. The first
// chunk of a kind allocates the array; later chunks grow it.
template <class T> static bool GrowList(T ***list, uint32_t count, uint32_t added) {
  if (added > 0x3FFFFFFFu - count) return false;
  uint32_t bytes = (count + added) * static_cast<uint32_t>(sizeof(T *));
  if (!*list) return AllocZeroed(bytes, list);
  return ResizeBlock(bytes, list);
}

// The strings of one record gathered behind each other, each with its NUL.
struct Staging {
  char *buffer;
  uint32_t size;
  uint32_t used;
  bool fits;  // false once a string did not fit: the record is skipped
};

// Reads one length-prefixed string into the staging area. A string that does
// not fit is skipped in the file, so the following records still line up,
// and the record is marked so that nothing is cut into a different path.
static uint16_t StageString(FileHandle file, Staging *staging) {
  uint16_t length = ReadU16(file);
  if (staging->fits && staging->used + length + 1u <= staging->size) {
    if (length) ReadExact(file, staging->buffer + staging->used, length);
    staging->used += length + 1u;
  } else {
    staging->fits = false;
    SetFilePos(file, GetFilePos(file) + length);
  }
  return length;
}

static void StartRecord(Staging *staging) {
  memset(staging->buffer, 0, staging->size);
  staging->used = 0;
  staging->fits = true;
}

// One allocation of `fixed` bytes followed by the staged strings.
static bool MakeRecord(const Staging *staging, uint32_t fixed, void **record) {
  if (!AllocZeroed(fixed + staging->used, record)) return false;
  memcpy(static_cast<char *>(*record) + fixed, staging->buffer, staging->used);
  return true;
}

// Frees the records stored in `slots` by a chunk that failed half-way.
template <class T> static void DropRecords(T **slots, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) FreeAndClear(&slots[i]);
}

static bool ReadFileEntry(FileHandle file, Staging *staging, FileEntry **entry) {
  StartRecord(staging);
  uint16_t folderLength = StageString(file, staging);
  StageString(file, staging);
  uint8_t flags = 0;
  ReadExact(file, &flags, 1);
  *entry = nullptr;
  if (!staging->fits) return true;
  if (!MakeRecord(staging, sizeof(FileEntry), reinterpret_cast<void **>(entry))) return false;
  (*entry)->flags = flags;
  (*entry)->folder = reinterpret_cast<char *>(*entry + 1);
  (*entry)->fileName = (*entry)->folder + folderLength + 1;
  return true;
}

static bool ReadShortcutEntry(FileHandle file, Staging *staging, ShortcutEntry **entry) {
  StartRecord(staging);
  uint8_t levels = 0;
  ReadExact(file, &levels, 1);
  uint16_t folderLength = StageString(file, staging);
  uint16_t altLength = StageString(file, staging);
  StageString(file, staging);
  *entry = nullptr;
  if (!staging->fits) return true;
  if (!MakeRecord(staging, sizeof(ShortcutEntry), reinterpret_cast<void **>(entry))) return false;
  (*entry)->levels = levels;
  (*entry)->folder = reinterpret_cast<char *>(*entry + 1);
  (*entry)->altFolder = (*entry)->folder + folderLength + 1;
  (*entry)->fileName = (*entry)->altFolder + altLength + 1;
  return true;
}

static bool ReadRegistryEntry(FileHandle file, Staging *staging, RegistryEntry **entry) {
  StartRecord(staging);
  uint32_t rootKey = ReadU32(file);
  StageString(file, staging);
  *entry = nullptr;
  if (!staging->fits) return true;
  if (!MakeRecord(staging, sizeof(RegistryEntry), reinterpret_cast<void **>(entry))) return false;
  (*entry)->rootKey = rootKey;
  (*entry)->keyPath = reinterpret_cast<char *>(*entry + 1);
  return true;
}

// The loop all three kinds share: read `count` records with `readOne` into
// `slots`, keeping only the records that fit their staging area.
template <class T>
static int ReadRecords(FileHandle file, uint32_t stagingSize, T **slots, uint32_t count,
                       uint32_t *stored, bool (*readOne)(FileHandle, Staging *, T **)) {
  Staging staging = {nullptr, stagingSize, 0, true};
  *stored = 0;
  if (!AllocZeroed(stagingSize, &staging.buffer)) return READ_ERR_MEMORY;
  for (uint32_t i = 0; i < count; ++i) {
    T *entry = nullptr;
    if (!readOne(file, &staging, &entry)) {
      DropRecords(slots, *stored);
      *stored = 0;
      FreeAndClear(&staging.buffer);
      return READ_ERR_MEMORY;
    }
    if (entry) slots[(*stored)++] = entry;
  }
  FreeAndClear(&staging.buffer);
  return READ_OK;
}

// Count, room in the list, records, and only then the new count.
template <class T>
static int ReadList(FileHandle file, uint32_t length, T ***list, uint32_t *listCount,
                    uint32_t minRecord, uint32_t stagingSize,
                    bool (*readOne)(FileHandle, Staging *, T **)) {
  uint32_t count = ReadU32(file);
  if (!CountFits(file, length, count, minRecord)) return READ_ERR_HEADER;
  if (!GrowList(list, *listCount, count)) return READ_ERR_MEMORY;
  uint32_t stored = 0;
  int code = ReadRecords(file, stagingSize, *list + *listCount, count, &stored, readOne);
  *listCount += stored;
  return code;
}

int ReadFileList(FileHandle file, uint32_t length) {
  return ReadList(file, length, &FileList, &FileListCount, FILE_RECORD_MIN, FILE_STAGING_SIZE,
                  ReadFileEntry);
}

int ReadShortcutList(FileHandle file, uint32_t length) {
  return ReadList(file, length, &ShortcutList, &ShortcutListCount, SHORTCUT_RECORD_MIN,
                  SHORTCUT_STAGING_SIZE, ReadShortcutEntry);
}

int ReadRegistryEntries(FileHandle file, RegistryEntry **slots, uint32_t count, uint32_t *stored) {
  return ReadRecords(file, REGISTRY_STAGING_SIZE, slots, count, stored, ReadRegistryEntry);
}

// Unlike files and shortcuts, an empty registry chunk allocates nothing.
int ReadRegistryList(FileHandle file, uint32_t length) {
  uint32_t count = ReadU32(file);
  if (count == 0) return READ_OK;
  if (!CountFits(file, length, count, REGISTRY_RECORD_MIN)) return READ_ERR_HEADER;
  if (!GrowList(&RegistryList, RegistryListCount, count)) return READ_ERR_MEMORY;
  uint32_t stored = 0;
  int code = ReadRegistryEntries(file, RegistryList + RegistryListCount, count, &stored);
  RegistryListCount += stored;
  return code;
}
