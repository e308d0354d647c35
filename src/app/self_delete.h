// Removal of the uninstaller itself after it has exited.
#pragma once

#include "../data/file_io.h"

// Starts a hidden command interpreter that deletes the executable once this
// process has let go of it, then removes its folder when that is empty.
//
// Under cmd.exe (the NT family, and wherever there is no command.com) no file
// is written: the loop is the interpreter's own command line, fixed text, and
// the paths reach it through its environment, read only by delayed expansion,
// so that no path is converted to another code page or parsed as commands and
// nothing on disk can be changed under it. The loop tries for about a minute,
// a second apart, and then gives up.
//
// Under command.com (the 95/98/Me family) a batch in the temporary folder
// does the same and deletes itself at the end; each path is named only when
// it converts to the OEM code page and back unchanged. Changes InstallFolder
// and WorkPath in place. Both leave the system (NT) or Windows folder current.
void ScheduleSelfDeletion();

