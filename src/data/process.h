// Starting other programs: the pre-uninstall program, regsvr32 and the
// self-deleting batch all start the same way.
#pragma once

#include <windows.h>

enum : WORD { SHOW_DEFAULT_WINDOW = 0xFFFF };  // the system's default placement and show state

// Runs CreateProcessA on `line` (which it may write into) with `inherit` and
// `flags` as given, showing the first window as `show` unless that is
// SHOW_DEFAULT_WINDOW. `application`, when given, is the program's full path,
// so that the system does not find the program in the line's first words.
// Returns the process handle, for the caller to close, or null when nothing
// started; the thread handle is closed here.
HANDLE StartProcess(char *line, BOOL inherit, DWORD flags, WORD show,
                    const char *application = nullptr);

// A function of the already loaded system DLL `module` ("kernel32.dll",
// "ntdll.dll") that older systems lack, found at run time so that the stub
// still starts there; null where the system has none.
void *SystemFunction(const char *module, const char *name);

// The full path of file `name` in the folder that `getFolder` gives
// (GetSystemDirectoryA, GetWindowsDirectoryA), in the PATH_BUFFER_SIZE-byte
// `path`: the system's own programs and libraries are named this way, never
// by a bare name that a search could answer from elsewhere. False when it
// does not fit.
bool FileInFolder(char *path, UINT(WINAPI *getFolder)(LPSTR, UINT), const char *name);

// Loads the system library `name` by its full path in the system folder
// (its own imports then come from the search restricted at start); null when
// it cannot be.
HMODULE LoadSystemLibrary(const char *name);
