// Feeds arbitrary bytes to the reader as the block behind a one-byte stub and
// walks everything it built, so that ASan sees any string left without its
// NUL or any record pointing outside its allocation. Each chunk's body is
// parsed in an allocation of its own, so a read past it is ASan's to see too.
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *path = WriteInputFile("S", data, size);
  if (ReadUninstallDataFile(path, 1) == READ_OK) WalkLists();
  ReleaseUninstallData();
  return 0;
}
