// Feeds arbitrary bytes to the reader as the block behind a one-byte stub and
// walks everything it built, so that ASan sees any string left without its
// NUL or any record pointing outside its allocation.
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "data/messages.h"
#include "data/uninstall_data.h"

// The block lives in an unlinked file, reached through /proc so that the
// reader can open it by path, and gone with the process however it ends.
static int BlockFd = -1;
static char BlockPath[64];

static void OpenBlockFile() {
  char name[] = "/dev/shm/quenrid-fuzz-XXXXXX";
  BlockFd = mkstemp(name);
  if (BlockFd < 0) abort();
  unlink(name);
  snprintf(BlockPath, sizeof BlockPath, "/proc/self/fd/%d", BlockFd);
}

// Rewriting one file in place is much cheaper than creating one per input.
static void WriteBlock(const uint8_t *data, size_t size) {
  if (BlockFd < 0) OpenBlockFile();
  if (ftruncate(BlockFd, 0) != 0 || pwrite(BlockFd, "S", 1, 0) != 1 ||
      pwrite(BlockFd, data, size, 1) != static_cast<ssize_t>(size)) {
    abort();
  }
}

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  WriteBlock(data, size);
  if (ReadUninstallDataFile(BlockPath, 1) == READ_OK) WalkLists();
  ReleaseUninstallData();
  return 0;
}
