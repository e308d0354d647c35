#include "machine.h"

#include <windows.h>
#include <errno.h>
#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>
#include <string.h>

#include "../data/file_io.h"
#include "../data/memory.h"
#include "../data/messages.h"
#include "../data/process.h"
#include "../data/state.h"
#include "../ui/ui.h"
#include "com_server.h"
#include "rules.h"

// --- Files and folders

DWORD MachineAttributes(const char *path) { return GetFileAttributesA(path); }

void MachineSetAttributes(const char *path, DWORD attributes) {
  SetFileAttributesA(path, attributes);
}

bool MachineOpensForWriting(const char *path) {
  FileHandle file = OpenExistingFile(path, OPEN_READ_WRITE);
  if (file == InvalidFileHandle()) return false;
  CloseFile(file);
  return true;
}

// What msvcrt's remove() does, without the runtime: only EACCES is told
// apart from the other failures.
int MachineDeleteFile(const char *path) {
  if (DeleteFileA(path)) return 0;
  return IsAccessError(GetLastError()) ? EACCES : ENOENT;
}

bool MachineRemoveFolder(const char *path) { return RemoveDirectoryA(path) != FALSE; }

bool MachineEnterFolder(const char *path) { return SetCurrentDirectoryA(path) != FALSE; }

DWORD MachineCurrentFolder(char *path) { return GetCurrentDirectoryA(PATH_BUFFER_SIZE, path); }

// The runtime's _findfirst (`pattern` given) and _findnext (the search's
// next entry), of which the walk reads the attributes and the name: the
// search, or INVALID_HANDLE_VALUE, which is -1, when nothing was found.
static intptr_t FindEntry(intptr_t search, const char *pattern, _finddata_t *found) {
  WIN32_FIND_DATAA entry;
  if (pattern) {
    search = reinterpret_cast<intptr_t>(FindFirstFileA(pattern, &entry));
  } else if (!FindNextFileA(reinterpret_cast<HANDLE>(search), &entry)) {
    return -1;
  }
  if (search != -1) {
    found->attrib = entry.dwFileAttributes;
    strcpy(found->name, entry.cFileName);
  }
  return search;
}

intptr_t MachineFindFirst(const char *pattern, _finddata_t *found) {
  return FindEntry(0, pattern, found);
}

int MachineFindNext(intptr_t search, _finddata_t *found) {
  return FindEntry(search, nullptr, found) == -1 ? -1 : 0;
}

void MachineFindClose(intptr_t search) { FindClose(reinterpret_cast<HANDLE>(search)); }

// --- Registry

LONG MachineOpenKey(HKEY parent, const char *name, DWORD options, REGSAM access, HKEY *key) {
  return RegOpenKeyExA(parent, name, options, access, key);
}

void MachineCloseKey(HKEY key) { RegCloseKey(key); }

LONG MachineQueryValue(HKEY key, const char *name, DWORD *type, BYTE *data, DWORD *size) {
  return RegQueryValueExA(key, name, nullptr, type, data, size);
}

LONG MachineSetValue(HKEY key, const char *name, DWORD type, const BYTE *data, DWORD size) {
  return RegSetValueExA(key, name, 0, type, data, size);
}

LONG MachineDeleteValue(HKEY key, const char *name) { return RegDeleteValueA(key, name); }

LONG MachineEnumKey(HKEY key, DWORD index, char *name, DWORD *size) {
  return RegEnumKeyExA(key, index, name, size, nullptr, nullptr, nullptr, nullptr);
}

typedef LONG(WINAPI *NtDeleteKeyFn)(HANDLE);

// Through ntdll, which is looked up since 95/98/Me lack it.
LONG MachineDeleteOpenKey(HKEY key) {
  const NtDeleteKeyFn deleteKey =
      reinterpret_cast<NtDeleteKeyFn>(SystemFunction("ntdll.dll", "NtDeleteKey"));
  if (!deleteKey) return ERROR_PROC_NOT_FOUND;
  return deleteKey(key) == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG MachineDeleteKeyWithSubkeys(HKEY parent, const char *name) {
  return RegDeleteKeyA(parent, name);
}

// --- Servers, fonts, processes and questions

void MachineUnregisterServer(const char *path) { UnregisterComServer(path); }

void MachineRemoveFontResource(const char *path) {
  RemoveFontResourceA(path);
  SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
}

HANDLE MachineStartProcess(char *line, BOOL inherit, DWORD flags, WORD show,
                           const char *application) {
  return StartProcess(line, inherit, flags, show, application);
}

typedef DWORD(WINAPI *ModuleFileNameW)(HMODULE, LPWSTR, DWORD);

// Looked up: 95/98/Me have no such function.
DWORD MachineOwnPath(WCHAR *path, DWORD size) {
  ModuleFileNameW moduleName =
      reinterpret_cast<ModuleFileNameW>(SystemFunction("kernel32.dll", "GetModuleFileNameW"));
  return moduleName ? moduleName(AppInstance, path, size) : 0;
}

bool MachineWriteNewFile(const char *path, const char *text, DWORD length) {
  FileHandle file = CreateOutputFile(path);
  if (file == InvalidFileHandle()) return false;
  DWORD written = 0;
  const bool whole =
      WriteFile(static_cast<HANDLE>(file), text, length, &written, nullptr) && written == length;
  CloseFile(file);
  if (!whole) DeleteFileA(path);
  return whole;
}

int MachineAsk(const char *text, uint32_t style, const char *) {
  return style ? ShowMessage(text, style) : ShowQuestion(text);
}

// --- The desktop's shell

typedef BSTR(WINAPI *AllocStringFn)(const OLECHAR *);
typedef void(WINAPI *FreeStringFn)(BSTR);

// The objects on the way to the shell's automation object, each had through
// the one before it.
enum ShellObject {
  SHELL_WINDOWS,
  DESKTOP,
  SERVICES,
  BROWSER,
  VIEW,
  BACKGROUND,
  FOLDER_VIEW,
  APPLICATION,
  SHELL_OBJECT_COUNT
};

// Everything one opening through the desktop's shell holds, in one zeroed
// block from the heap rather than in the frame: a VARIANT has 8-byte members,
// and a frame that held one would first have to align the i686 stack, which
// Windows keeps aligned to 4 bytes only.
struct DesktopCall {
  IUnknown *objects[SHELL_OBJECT_COUNT];
  VARIANT location, root;  // FindWindowSW's
  VARIANT arguments[4];    // ShellExecute's, in its order: parameters, folder, verb, show
  BSTR text[4];            // file, parameters, folder, verb, as the automation library has them
};

// The shell's automation object of the desktop's folder view, which lives in
// the desktop's own process; null when there is none (no shell running, or
// one that offers no such object). The objects on the way stay in `call`.
static IShellDispatch2 *DesktopShell(DesktopCall *call) {
  IUnknown **objects = call->objects;
  IShellDispatch2 *shell = nullptr;
  call->location.vt = VT_I4;
  call->location.lVal = CSIDL_DESKTOP;
  long window = 0;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                 IID_IShellWindows,
                                 reinterpret_cast<void **>(&objects[SHELL_WINDOWS]))) &&
      static_cast<IShellWindows *>(objects[SHELL_WINDOWS])
              ->FindWindowSW(&call->location, &call->root, SWC_DESKTOP, &window,
                             SWFO_NEEDDISPATCH,
                             reinterpret_cast<IDispatch **>(&objects[DESKTOP])) == S_OK &&
      objects[DESKTOP] &&
      SUCCEEDED(objects[DESKTOP]->QueryInterface(IID_IServiceProvider,
                                                 reinterpret_cast<void **>(&objects[SERVICES]))) &&
      SUCCEEDED(static_cast<IServiceProvider *>(objects[SERVICES])
                    ->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                   reinterpret_cast<void **>(&objects[BROWSER]))) &&
      SUCCEEDED(static_cast<IShellBrowser *>(objects[BROWSER])
                    ->QueryActiveShellView(reinterpret_cast<IShellView **>(&objects[VIEW]))) &&
      SUCCEEDED(static_cast<IShellView *>(objects[VIEW])
                    ->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch,
                                    reinterpret_cast<void **>(&objects[BACKGROUND]))) &&
      SUCCEEDED(objects[BACKGROUND]->QueryInterface(
          IID_IShellFolderViewDual, reinterpret_cast<void **>(&objects[FOLDER_VIEW]))) &&
      SUCCEEDED(static_cast<IShellFolderViewDual *>(objects[FOLDER_VIEW])
                    ->get_Application(reinterpret_cast<IDispatch **>(&objects[APPLICATION]))) &&
      objects[APPLICATION]) {
    objects[APPLICATION]->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void **>(&shell));
  }
  return shell;
}

// Opens `file` through the shell of `call`, with the strings made by
// `alloc`; the objects and strings had on the way stay in `call`.
static bool OpenThroughDesktop(DesktopCall *call, AllocStringFn alloc, const char *file,
                               const char *arguments, const char *folder) {
  const char *texts[4] = {file, arguments, folder, "open"};
  for (int i = 0; i < 4; ++i) {
    if (!texts[i]) continue;
    WCHAR wide[DOCUMENT_BUFFER_SIZE];
    if (!MultiByteToWideChar(CP_ACP, 0, texts[i], -1, wide, DOCUMENT_BUFFER_SIZE) ||
        !(call->text[i] = alloc(wide))) {
      return false;
    }
    if (i > 0) {
      call->arguments[i - 1].vt = VT_BSTR;
      call->arguments[i - 1].bstrVal = call->text[i];
    }
  }
  call->arguments[3].vt = VT_I4;
  call->arguments[3].lVal = SW_SHOW;
  IShellDispatch2 *shell = DesktopShell(call);
  if (!shell) return false;
  const bool opened = shell->ShellExecute(call->text[0], call->arguments[0], call->arguments[1],
                                          call->arguments[2], call->arguments[3]) == S_OK;
  shell->Release();
  return opened;
}

// On NT 6 and later the uninstaller runs elevated, and what it starts would
// run as administrator: the desktop's shell, which runs with the signed-in
// user's own rights, is asked to open `file` (a document, or a program with
// its `arguments`) instead. False when there is no such shell or it could
// not open the file (or no memory for the call); the caller then opens it as
// before.
static bool OpenOnDesktop(const char *file, const char *arguments, const char *folder) {
  if (!IsNtVersion6) return false;
  HMODULE automation = LoadSystemLibrary("oleaut32.dll");
  if (!automation) return false;
  const AllocStringFn alloc = reinterpret_cast<AllocStringFn>(
      reinterpret_cast<void *>(GetProcAddress(automation, "SysAllocString")));
  const FreeStringFn freeString = reinterpret_cast<FreeStringFn>(
      reinterpret_cast<void *>(GetProcAddress(automation, "SysFreeString")));
  DesktopCall *call = nullptr;
  bool opened = alloc && freeString && AllocZeroed(sizeof *call, &call) &&
                OpenThroughDesktop(call, alloc, file, arguments, folder);
  if (call) {
    for (int i = SHELL_OBJECT_COUNT; i-- > 0;) {
      if (call->objects[i]) call->objects[i]->Release();
    }
    for (BSTR text : call->text) {
      if (text) freeString(text);
    }
    FreeAndClear(&call);
  }
  FreeLibrary(automation);
  return opened;
}

bool MachineShellOpen(const char *file, const char *arguments, const char *folder) {
  if (OpenOnDesktop(file, arguments, folder)) return true;
  if (arguments) return false;
  // Results of 32 and below are the shell's error codes.
  return reinterpret_cast<uintptr_t>(ShellExecuteA(nullptr, "open", file, nullptr, folder,
                                                   SW_SHOW)) > 32;
}
