#include "machine.h"

#include <windows.h>
#include <direct.h>
#include <errno.h>
#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include "../data/file_io.h"
#include "../data/messages.h"
#include "../data/process.h"
#include "../data/state.h"
#include "../ui/ui.h"
#include "com_server.h"

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

int MachineDeleteFile(const char *path) { return remove(path) == 0 ? 0 : errno; }

bool MachineRemoveFolder(const char *path) { return _rmdir(path) == 0; }

bool MachineEnterFolder(const char *path) { return SetCurrentDirectoryA(path) != FALSE; }

DWORD MachineCurrentFolder(char *path) { return GetCurrentDirectoryA(PATH_BUFFER_SIZE, path); }

intptr_t MachineFindFirst(const char *pattern, _finddata_t *found) {
  return _findfirst(pattern, found);
}

int MachineFindNext(intptr_t search, _finddata_t *found) { return _findnext(search, found); }

void MachineFindClose(intptr_t search) { _findclose(search); }

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

// The strings of one call, as the automation library allocates them.
struct ShellStrings {
  AllocStringFn alloc;
  FreeStringFn free;
  BSTR text[4];  // file, arguments, folder, verb
};

static bool SetString(ShellStrings *strings, int index, const char *text, VARIANT *variant) {
  if (!text) return true;
  WCHAR wide[DOCUMENT_BUFFER_SIZE];
  if (!MultiByteToWideChar(CP_ACP, 0, text, -1, wide, DOCUMENT_BUFFER_SIZE)) return false;
  strings->text[index] = strings->alloc(wide);
  if (!strings->text[index]) return false;
  if (variant) {
    variant->vt = VT_BSTR;
    variant->bstrVal = strings->text[index];
  }
  return true;
}

// The shell's automation object of the desktop's folder view, which lives in
// the desktop's own process; null when there is none (no shell running, or
// one that offers no such object).
static IShellDispatch2 *DesktopShell() {
  IShellWindows *windows = nullptr;
  IDispatch *desktop = nullptr, *background = nullptr, *application = nullptr;
  IServiceProvider *services = nullptr;
  IShellBrowser *browser = nullptr;
  IShellView *view = nullptr;
  IShellFolderViewDual *folderView = nullptr;
  IShellDispatch2 *shell = nullptr;
  VARIANT location, root;
  memset(&location, 0, sizeof location);
  memset(&root, 0, sizeof root);
  location.vt = VT_I4;
  location.lVal = CSIDL_DESKTOP;
  long window = 0;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                 IID_IShellWindows, reinterpret_cast<void **>(&windows))) &&
      windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                            &desktop) == S_OK &&
      desktop &&
      SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider,
                                        reinterpret_cast<void **>(&services))) &&
      SUCCEEDED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                       reinterpret_cast<void **>(&browser))) &&
      SUCCEEDED(browser->QueryActiveShellView(&view)) &&
      SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch,
                                    reinterpret_cast<void **>(&background))) &&
      SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual,
                                           reinterpret_cast<void **>(&folderView))) &&
      SUCCEEDED(folderView->get_Application(&application)) && application) {
    application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void **>(&shell));
  }
  IUnknown *used[] = {application, folderView, background, view, browser, services, desktop,
                      windows};
  for (IUnknown *object : used) {
    if (object) object->Release();
  }
  return shell;
}

// On NT 6 and later the uninstaller runs elevated, and what it starts would
// run as administrator: the desktop's shell, which runs with the signed-in
// user's own rights, is asked to open `file` (a document, or a program with
// its `arguments`) instead. False when there is no such shell or it could
// not open the file; the caller then opens it as before.
static bool OpenOnDesktop(const char *file, const char *arguments, const char *folder) {
  if (!IsNtVersion6) return false;
  char path[PATH_BUFFER_SIZE];
  HMODULE automation =
      FileInFolder(path, GetSystemDirectoryA, "oleaut32.dll") ? LoadLibraryA(path) : nullptr;
  if (!automation) return false;
  ShellStrings strings;
  memset(&strings, 0, sizeof strings);
  strings.alloc = reinterpret_cast<AllocStringFn>(
      reinterpret_cast<void *>(GetProcAddress(automation, "SysAllocString")));
  strings.free = reinterpret_cast<FreeStringFn>(
      reinterpret_cast<void *>(GetProcAddress(automation, "SysFreeString")));
  VARIANT parameters, directory, verb, show;
  memset(&parameters, 0, sizeof parameters);
  memset(&directory, 0, sizeof directory);
  memset(&verb, 0, sizeof verb);
  memset(&show, 0, sizeof show);
  show.vt = VT_I4;
  show.lVal = SW_SHOW;
  bool opened = false;
  if (strings.alloc && strings.free && SetString(&strings, 0, file, nullptr) &&
      SetString(&strings, 1, arguments, &parameters) &&
      SetString(&strings, 2, folder, &directory) && SetString(&strings, 3, "open", &verb)) {
    IShellDispatch2 *shell = DesktopShell();
    if (shell) {
      opened = shell->ShellExecute(strings.text[0], parameters, directory, verb, show) == S_OK;
      shell->Release();
    }
  }
  for (BSTR text : strings.text) {
    if (text) strings.free(text);
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
