#include "registry.h"

void RemoveRegistryEntries() {}
