// The machine as the run reaches it: every change the removal and the steps
// around it make, and every question they ask of files, folders and keys on
// the way. The stub links the Win32 twin (machine_win32.cpp). `quenrid plan`
// links a twin that answers from the real machine as the run would find it,
// with what earlier steps removed already gone, and records each change
// instead of making it; so a plan is the run's own decisions, not a copy of
// them.
#pragma once

#include <windows.h>
#include <io.h>
#include <stdint.h>

// --- Files and folders; relative paths are taken from the current directory.

DWORD MachineAttributes(const char *path);
void MachineSetAttributes(const char *path, DWORD attributes);
// Whether the file opens for reading and writing with others allowed to read.
bool MachineOpensForWriting(const char *path);
// 0 when the file is deleted, else the errno that remove() would give
// (EACCES: read-only, in use or a folder).
int MachineDeleteFile(const char *path);
// Removes an empty folder.
bool MachineRemoveFolder(const char *path);
bool MachineEnterFolder(const char *path);
// The current directory into `path` (PATH_BUFFER_SIZE bytes); its length, 0
// on failure, PATH_BUFFER_SIZE or more when it does not fit.
DWORD MachineCurrentFolder(char *path);
// _findfirst, _findnext and _findclose.
intptr_t MachineFindFirst(const char *pattern, _finddata_t *found);
int MachineFindNext(intptr_t search, _finddata_t *found);
void MachineFindClose(intptr_t search);

// --- Registry

LONG MachineOpenKey(HKEY parent, const char *name, DWORD options, REGSAM access, HKEY *key);
void MachineCloseKey(HKEY key);
LONG MachineQueryValue(HKEY key, const char *name, DWORD *type, BYTE *data, DWORD *size);
LONG MachineSetValue(HKEY key, const char *name, DWORD type, const BYTE *data, DWORD size);
LONG MachineDeleteValue(HKEY key, const char *name);
LONG MachineEnumKey(HKEY key, DWORD index, char *name, DWORD *size);
// The key that `key` was opened on, by its handle, not whatever took its name.
LONG MachineDeleteOpenKey(HKEY key);
// The 95/98/Me family's deletion of a key with its subkeys.
LONG MachineDeleteKeyWithSubkeys(HKEY parent, const char *name);

// --- Servers, fonts, processes and questions

void MachineUnregisterServer(const char *path);
// The font resource goes and every window hears that the fonts changed.
void MachineRemoveFontResource(const char *path);
// StartProcess (data/process.h), in the current directory.
HANDLE MachineStartProcess(char *line, BOOL inherit, DWORD flags, WORD show,
                           const char *application);
// Opens `file` (a document, or a program with its `arguments`, which may be
// null) as the signed-in user from NT 6 on, through the desktop's shell; a
// document without arguments otherwise through this process's shell. False
// when nothing opened it.
bool MachineShellOpen(const char *file, const char *arguments, const char *folder);
// The uninstaller's own path as the system stores it, in UTF-16, into `path`
// (`size` characters); its length, 0 where it cannot be read so.
DWORD MachineOwnPath(WCHAR *path, DWORD size);
// A new file holding `text` whole, never over an existing file or through a
// link; false, with nothing left behind, when it cannot be so.
bool MachineWriteNewFile(const char *path, const char *text, DWORD length);
// A question about the file at `path`, and its answer: `text` in a message
// box of `style` (ShowMessage), or, when `style` is 0, in the read-only
// question's dialog (ShowQuestion). The messages that are not about a file go
// through ShowMessage, which has a twin of its own.
int MachineAsk(const char *text, uint32_t style, const char *path);
