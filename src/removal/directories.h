// The directory phase: files selected by pattern in listed directory trees.
#pragma once

// Removes what the DirectoryList selects, and the folders emptied by that.
void RemoveDirectories();
