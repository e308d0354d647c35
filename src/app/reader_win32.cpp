#include <windows.h>

#include "../data/state.h"
#include "../data/uninstall_data.h"
#include "own_data.h"

bool ReadUninstallData() {
  uint32_t offset = DataOffsetMarker.offset;
  if (offset == 0 || !ModulePath) return false;
  DWORD length = GetModuleFileNameA(nullptr, ModulePath, PATH_BUFFER_SIZE);
  if (length == 0 || length >= PATH_BUFFER_SIZE) return false;
  return ReadUninstallDataFile(ModulePath, offset) == READ_OK;
}
