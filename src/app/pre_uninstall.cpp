#include "pre_uninstall.h"

int StartPreUninstallProgram(const char *, uint32_t) { return 0; }
