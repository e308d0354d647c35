// Where the folder lookups of macro expansion and of the protected-folder
// test come from. They all go through `Folders`, so that a test can make a
// single source fail or name a folder of its choice; nothing else does.
#pragma once

#include <windows.h>

#include <stdint.h>

// The Win32 calls behind each source, with their own signatures.
struct FolderSources {
  UINT(WINAPI *windowsDirectory)(LPSTR buffer, UINT size);  // GetWindowsDirectoryA
  UINT(WINAPI *systemDirectory)(LPSTR buffer, UINT size);   // GetSystemDirectoryA
  DWORD(WINAPI *tempPath)(DWORD size, LPSTR buffer);        // GetTempPathA
  LONG(WINAPI *openKey)
  (HKEY root, LPCSTR subKey, DWORD options, REGSAM access,
   PHKEY key);  // RegOpenKeyExA
  LONG(WINAPI *queryValue)
  (HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
   LPDWORD size);                                     // RegQueryValueExA
  LONG(WINAPI *closeKey)(HKEY key);                   // RegCloseKey
  bool (*shellFolderPath)(char *buffer, int folder);  // GetShellFolderPath
};

extern FolderSources Folders;  // the sources in use; the Win32 calls unless a test replaced one

// Fetches the Windows or the system directory, or the temporary folder, into
// a 260-byte `buffer`. False when the call fails or the folder does not fit.
bool ReadWindowsDirectory(char *buffer);
bool ReadSystemDirectory(char *buffer);
bool ReadTempPath(char *buffer);

// Opens HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion for
// reading; the key is closed with Folders.closeKey. False when it cannot be.
bool OpenCurrentVersionKey(HKEY *key);

// Reads the string value `name` of that key into a 260-byte `buffer`, type
// unexamined, and makes sure it is terminated. False when it cannot be read
// or fills all 260 bytes without a terminator (it is then no path that fits).
bool ReadCurrentVersionValue(HKEY key, const char *name, char *buffer);
