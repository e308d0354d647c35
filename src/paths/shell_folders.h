// The shell's special folders by their CSIDL numbers.
#pragma once

// Writes the file-system path of special folder `folder` into a 260-byte
// `buffer`: true when it did. When the shell does not know the
// folder the buffer is untouched; when the folder has no file-system path the
// buffer holds whatever the shell left there.
bool GetShellFolderPath(char *buffer, int folder);
