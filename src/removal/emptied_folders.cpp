#include "emptied_folders.h"

void RemoveEmptiedFolders() {}
