// The product's own program, run before anything is removed.
#pragma once

#include <stdint.h>

// Starts `command`, waiting for it to end when `wait` is not 0. Returns 1
// when it was started.
int StartPreUninstallProgram(const char *command, uint32_t wait);
