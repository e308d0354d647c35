// Removal of the uninstaller itself after it has exited.
#pragma once

#include "../data/file_io.h"

// Writes a batch into the temporary folder and starts it hidden: it deletes
// the executable as soon as this process has let go of it, then removes its
// folder when that is empty, then itself. The batch runs under command.com
// from the Windows folder on the 95/98/Me family, and under cmd.exe from the
// system folder on the NT family and wherever there is no command.com. It
// names each path so that it cannot name any other file: in quotes (under
// command.com only a path with a blank, as its short paths have none), every
// "%" doubled, and not at all when a path does not survive the conversion to
// the OEM code page that batches are read in. Changes InstallFolder and
// WorkPath in place and leaves the system (NT) or Windows folder current.
void ScheduleSelfDeletion();

// Creates the first free name of `pattern` (one "%d", numbered 1 to 998) in
// the temporary folder, empty and open for writing, with its path in `path`
// (PATH_BUFFER_SIZE bytes). A name that can be opened is taken and skipped. Returns
// InvalidFileHandle() when no name can be created.
FileHandle CreateSelfDeleteBatch(char *path, const char *pattern);
