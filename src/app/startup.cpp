#include "startup.h"

#include <commctrl.h>
#include <ole2.h>
#include <string.h>

#include "../data/memory.h"
#include "../data/process.h"
#include "../data/state.h"
#include "../paths/backslash.h"
#include "../ui/ui.h"

typedef HRESULT(WINAPI *SetThemeAppPropertiesFn)(DWORD);

static HMODULE ThemeLibrary;                        // "uxtheme.dll" while loaded
static SetThemeAppPropertiesFn SetThemeProperties;  // may be missing even then

typedef BOOL(WINAPI *SetDefaultDllDirectoriesFn)(DWORD directories);
typedef BOOL(WINAPI *SetDllDirectoryFn)(LPCSTR directory);

void RestrictDllSearch() {
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      SystemFunction("kernel32.dll", "SetDefaultDllDirectories"));
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Takes the current directory out of the search where the above is missing.
  const auto setDirectory =
      reinterpret_cast<SetDllDirectoryFn>(SystemFunction("kernel32.dll", "SetDllDirectoryA"));
  if (setDirectory) setDirectory("");
}

// The theme library exists only from XP on, so it is looked up, not linked.
static void LoadThemeLibrary() {
  ThemeLibrary = LoadSystemLibrary("uxtheme.dll");
  if (ThemeLibrary) {
    SetThemeProperties = reinterpret_cast<SetThemeAppPropertiesFn>(
        reinterpret_cast<void *>(GetProcAddress(ThemeLibrary, "SetThemeAppProperties")));
  }
}

static void InitCommonUi() {
  LoadThemeLibrary();
  InitCommonControls();
}

// The folder of the executable with exactly one trailing backslash.
static void FindInstallFolder(HINSTANCE instance) {
  if (!InstallFolder) return;
  GetModuleFileNameA(instance, InstallFolder, PATH_BUFFER_SIZE);
  InstallFolder[PATH_BUFFER_SIZE - 1] = '\0';
  char *lastBackslash = strrchr(InstallFolder, '\\');
  if (lastBackslash) *lastBackslash = '\0';
  AppendBackslash(InstallFolder, PATH_BUFFER_SIZE);
}

bool StartUp(HINSTANCE instance) {
  AppInstance = instance;
  OleInitialize(nullptr);
  InitCommonUi();
  AllocZeroed(PATH_BUFFER_SIZE, &ModulePath);
  AllocZeroed(PATH_BUFFER_SIZE, &WorkPath);
  AllocZeroed(PATH_BUFFER_SIZE, &InstallFolder);
  FindInstallFolder(instance);
  return true;
}

void RestrictThemeToFrames() {
  const DWORD STAP_ALLOW_NONCLIENT = 1;
  if (SetThemeProperties) SetThemeProperties(STAP_ALLOW_NONCLIENT);
}

static void ReleaseUiResources() {
  if (DialogFont) {
    DeleteObject(DialogFont);
    DialogFont = nullptr;
  }
  if (ThemeLibrary) {
    FreeLibrary(ThemeLibrary);
    ThemeLibrary = nullptr;
    SetThemeProperties = nullptr;
  }
}

void ShutDown() {
  OleUninitialize();
  FreeAndClear(&ModulePath);
  FreeAndClear(&InstallFolder);
  FreeAndClear(&WorkPath);
  ReleaseUiResources();
}
