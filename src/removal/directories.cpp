#include "directories.h"

void RemoveDirectories() {}
