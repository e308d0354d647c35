#include "record_lists.h"

#include <string.h>

#include "memory.h"

const uint8_t *TakeBytes(ChunkBody *body, uint32_t n) {
  if (body->damaged || n > body->left) {
    body->damaged = true;
    return nullptr;
  }
  const uint8_t *taken = body->at;
  body->at += n;
  body->left -= n;
  return taken;
}

uint8_t TakeU8(ChunkBody *body) {
  const uint8_t *b = TakeBytes(body, 1);
  return b ? b[0] : 0;
}

uint16_t TakeU16(ChunkBody *body) {
  const uint8_t *b = TakeBytes(body, 2);
  return b ? DecodeU16(b) : 0;
}

uint32_t TakeU32(ChunkBody *body) {
  const uint8_t *b = TakeBytes(body, 4);
  return b ? DecodeU32(b) : 0;
}

// Smallest size of one record in the file: its fixed fields and empty strings.
enum : uint32_t { FILE_RECORD_MIN = 5, SHORTCUT_RECORD_MIN = 7, REGISTRY_RECORD_MIN = 6 };

// True when `count` records can stand in what is left of the body. Without
// this bound a damaged count would make the reader allocate and loop for
// billions of records that are not there.
static bool CountFits(const ChunkBody *body, uint32_t count, uint32_t minRecord) {
  return !body->damaged && count <= body->left / minRecord;
}

// Makes room for `added` more record pointers behind `count` in `*list`. The
// first chunk of a kind allocates the array; later chunks grow it. The lists
// hold pointers of one size whatever their records, so one copy of this and
// of the loops below serves all three kinds.
static bool GrowList(void **list, uint32_t count, uint32_t added) {
  // Sizes are 32-bit: the array's bytes must fit, with pointers of 4 or 8.
  const uint32_t most = 0xFFFFFFFFu / static_cast<uint32_t>(sizeof(void *));
  if (count > most || added > most - count) return false;
  uint32_t bytes = (count + added) * static_cast<uint32_t>(sizeof(void *));
  if (!*list) return AllocZeroed(bytes, list);
  return ResizeBlock(bytes, list);
}

enum { MAX_RECORD_STRINGS = 3 };

// The strings of one record as they stand in the body, and whether together,
// each with its NUL, they fit the record's staging size. A record that does
// not fit is skipped whole, so that nothing is cut into a different path.
struct RecordStrings {
  const uint8_t *text[MAX_RECORD_STRINGS];
  uint16_t length[MAX_RECORD_STRINGS];
  int count;
  uint32_t size;   // bytes of all strings with their NULs
  uint32_t limit;  // the staging size of the record's kind
};

static void TakeString(ChunkBody *body, RecordStrings *strings) {
  int n = strings->count++;
  strings->length[n] = TakeU16(body);
  strings->text[n] = TakeBytes(body, strings->length[n]);
  strings->size += strings->length[n] + 1u;
}

// One zeroed allocation of `fixed` bytes followed by the strings, each with its
// NUL; `*strings` then points at the first. Null in `*record` for a record that
// does not fit (nothing to store); false only when memory runs out.
static bool MakeRecord(const RecordStrings *s, uint32_t fixed, void **record, char **first) {
  *record = nullptr;
  if (s->size > s->limit) return true;
  if (!AllocZeroed(fixed + s->size, record)) return false;
  char *to = static_cast<char *>(*record) + fixed;
  *first = to;
  for (int i = 0; i < s->count; ++i) {
    if (s->length[i]) memcpy(to, s->text[i], s->length[i]);
    to += s->length[i] + 1u;
  }
  return true;
}

static bool ReadFileEntry(ChunkBody *body, void **record) {
  RecordStrings s = {{}, {}, 0, 0, FILE_STAGING_SIZE};
  TakeString(body, &s);
  TakeString(body, &s);
  uint8_t flags = TakeU8(body);
  char *folder = nullptr;
  if (body->damaged) return true;
  if (!MakeRecord(&s, sizeof(FileEntry), record, &folder)) return false;
  FileEntry *entry = static_cast<FileEntry *>(*record);
  if (!entry) return true;
  entry->flags = flags;
  entry->folder = folder;
  entry->fileName = folder + s.length[0] + 1;
  return true;
}

static bool ReadShortcutEntry(ChunkBody *body, void **record) {
  RecordStrings s = {{}, {}, 0, 0, SHORTCUT_STAGING_SIZE};
  uint8_t levels = TakeU8(body);
  TakeString(body, &s);
  TakeString(body, &s);
  TakeString(body, &s);
  char *folder = nullptr;
  if (body->damaged) return true;
  if (!MakeRecord(&s, sizeof(ShortcutEntry), record, &folder)) return false;
  ShortcutEntry *entry = static_cast<ShortcutEntry *>(*record);
  if (!entry) return true;
  entry->levels = levels;
  entry->folder = folder;
  entry->altFolder = folder + s.length[0] + 1;
  entry->fileName = entry->altFolder + s.length[1] + 1;
  return true;
}

static bool ReadRegistryEntry(ChunkBody *body, void **record) {
  RecordStrings s = {{}, {}, 0, 0, REGISTRY_STAGING_SIZE};
  uint32_t rootKey = TakeU32(body);
  TakeString(body, &s);
  char *keyPath = nullptr;
  if (body->damaged) return true;
  if (!MakeRecord(&s, sizeof(RegistryEntry), record, &keyPath)) return false;
  RegistryEntry *entry = static_cast<RegistryEntry *>(*record);
  if (!entry) return true;
  entry->rootKey = rootKey;
  entry->keyPath = keyPath;
  return true;
}

// Frees the records stored in `slots` by a chunk that failed half-way.
static void DropRecords(void **slots, uint32_t *count) {
  for (uint32_t i = 0; i < *count; ++i) FreeAndClear(&slots[i]);
  *count = 0;
}

typedef bool (*ReadOne)(ChunkBody *, void **);

// The loop all three kinds share: read `count` records with `readOne` into
// `slots`, keeping only the records that fit their staging size. A chunk that
// runs out before its last record is damage, and keeps none of its records.
static int ReadRecords(ChunkBody *body, void **slots, uint32_t count, uint32_t *stored,
                       ReadOne readOne) {
  *stored = 0;
  for (uint32_t i = 0; i < count; ++i) {
    void *entry = nullptr;
    if (!readOne(body, &entry)) {
      DropRecords(slots, stored);
      return READ_ERR_MEMORY;
    }
    if (body->damaged) {
      DropRecords(slots, stored);
      return READ_ERR_HEADER;
    }
    if (entry) slots[(*stored)++] = entry;
  }
  return READ_OK;
}

// Count, room in the list, records, and only then the new count. A count of
// 0 allocates the list too, unless `emptyAllocatesNothing`.
static int ReadList(ChunkBody *body, void **list, uint32_t *listCount, uint32_t minRecord,
                    ReadOne readOne, bool emptyAllocatesNothing) {
  uint32_t count = TakeU32(body);
  if (count == 0 && emptyAllocatesNothing) return body->damaged ? READ_ERR_HEADER : READ_OK;
  if (!CountFits(body, count, minRecord)) return READ_ERR_HEADER;
  if (!GrowList(list, *listCount, count)) return READ_ERR_MEMORY;
  uint32_t stored = 0;
  int code = ReadRecords(body, static_cast<void **>(*list) + *listCount, count, &stored, readOne);
  *listCount += stored;
  return code;
}

int ReadFileList(ChunkBody *body) {
  void *list = FileList;
  int code = ReadList(body, &list, &FileListCount, FILE_RECORD_MIN, ReadFileEntry, false);
  FileList = static_cast<FileEntry **>(list);
  return code;
}

int ReadShortcutList(ChunkBody *body) {
  void *list = ShortcutList;
  int code = ReadList(body, &list, &ShortcutListCount, SHORTCUT_RECORD_MIN, ReadShortcutEntry, false);
  ShortcutList = static_cast<ShortcutEntry **>(list);
  return code;
}

// Unlike files and shortcuts, an empty registry chunk allocates nothing.
int ReadRegistryList(ChunkBody *body) {
  void *list = RegistryList;
  int code = ReadList(body, &list, &RegistryListCount, REGISTRY_RECORD_MIN, ReadRegistryEntry, true);
  RegistryList = static_cast<RegistryEntry **>(list);
  return code;
}
