// Clean-up of the folders that the file phase emptied.
#pragma once

// For each FileList entry but fonts, removes the folder that held its file
// (or the folder it names) and then its parents, for as long as they are
// empty and not protected. The parent of the InstallFolder is current while
// it runs, so that the current directory keeps none of these folders.
void RemoveEmptiedFolders();
