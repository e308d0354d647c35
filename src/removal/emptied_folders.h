// Clean-up of the folders that the file phase emptied.
#pragma once

// Removes the FileList's folders that are now empty, up to the InstallFolder.
void RemoveEmptiedFolders();
