#include <windows.h>

#include "../data/state.h"
#include "../data/uninstall_data.h"
#include "own_data.h"

int ReadUninstallData() {
  uint32_t offset = DataOffsetMarker.offset;
  if (offset == 0 || !ModulePath) return 0;
  DWORD length = GetModuleFileNameA(nullptr, ModulePath, PATH_BUFFER_SIZE);
  if (length == 0 || length >= PATH_BUFFER_SIZE) return 0;
  return ReadUninstallDataFile(ModulePath, offset) == READ_OK;
}
