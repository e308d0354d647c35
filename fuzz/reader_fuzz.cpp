// Feeds arbitrary bytes to the reader as the block behind a one-byte stub and
// walks everything it built, so that ASan sees any string left without its
// NUL or any record pointing outside its allocation. Whatever is accepted must
// also fit the chunks it came from: what was built is weighed against the
// chunk lengths, found by walking the headers independently of the reader.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "data/messages.h"
#include "data/uninstall_data.h"
#include "input_file.h"

static size_t Touch(const char *text) { return strlen(text); }

static void WalkLists() {
  size_t total = 0;
  for (int n = -1; n < 20; ++n) total += Touch(LookupMessage(0, n));
  for (uint32_t i = 0; i < FileListCount; ++i) {
    total += Touch(FileList[i]->folder) + Touch(FileList[i]->fileName);
  }
  for (uint32_t i = 0; i < ShortcutListCount; ++i) {
    const ShortcutEntry *e = ShortcutList[i];
    total += Touch(e->folder) + Touch(e->altFolder) + Touch(e->fileName);
  }
  for (uint32_t i = 0; i < RegistryListCount; ++i) total += Touch(RegistryList[i]->keyPath);
  for (uint32_t i = 0; i < DirectoryListLength; ++i) total += DirectoryList[i] != 0;
  if (const char *program = SettingsString(SETTINGS_PROGRAM_AT)) total += Touch(program);
  if (const char *document = SettingsString(SETTINGS_DOCUMENT_AT)) total += Touch(document);
  char formatted[MESSAGE_BUFFER_SIZE];
  for (int n = 0; n < 16; ++n) FormatMessageArg(formatted, n, "C:\\Program Files\\x\\uninst.exe");
  if (total == SIZE_MAX) abort();  // keeps the walk from being optimised away
}

// Body bytes per chunk kind, as the headers declare them up to CHUNK_END.
struct ChunkBytes {
  uint64_t largestMessages = 0, files = 0, shortcuts = 0, registry = 0;
};

static ChunkBytes WalkHeaders(const uint8_t *data, size_t size) {
  ChunkBytes bytes;
  for (size_t at = 0; at + 8 <= size;) {
    const uint32_t kind = data[at] | data[at + 1] << 8;
    const uint64_t length = data[at + 4] | data[at + 5] << 8 | data[at + 6] << 16 |
                            static_cast<uint64_t>(data[at + 7]) << 24;
    at += 8;
    if (kind == CHUNK_END && length != 0) break;
    if (kind == CHUNK_MESSAGES && length > bytes.largestMessages) bytes.largestMessages = length;
    if (kind == CHUNK_FILES) bytes.files += length;
    if (kind == CHUNK_SHORTCUTS) bytes.shortcuts += length;
    if (kind == CHUNK_REGISTRY) bytes.registry += length;
    if (kind == CHUNK_END) break;
    at += length;
  }
  return bytes;
}

// Each string stands in the file behind its u16 length; each record has its
// fixed fields besides. Records skipped as too long only make the sums smaller.
static void CheckAgainstChunks(const ChunkBytes &chunks) {
  uint64_t used = 4;  // the table and string counts
  for (char **s = MessageTable[0]; s && *s; ++s) used += 2 + strlen(*s);
  if (MessageTable[0] && used > chunks.largestMessages) abort();
  used = 0;
  for (uint32_t i = 0; i < FileListCount; ++i) {
    used += 5 + strlen(FileList[i]->folder) + strlen(FileList[i]->fileName);
  }
  if (used > chunks.files) abort();
  used = 0;
  for (uint32_t i = 0; i < ShortcutListCount; ++i) {
    const ShortcutEntry *e = ShortcutList[i];
    used += 7 + strlen(e->folder) + strlen(e->altFolder) + strlen(e->fileName);
  }
  if (used > chunks.shortcuts) abort();
  used = 0;
  for (uint32_t i = 0; i < RegistryListCount; ++i) used += 6 + strlen(RegistryList[i]->keyPath);
  if (used > chunks.registry) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *path = WriteInputFile("S", data, size);
  if (ReadUninstallDataFile(path, 1) == READ_OK) {
    WalkLists();
    CheckAgainstChunks(WalkHeaders(data, size));
  }
  ReleaseUninstallData();
  return 0;
}
