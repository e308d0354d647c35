// Installs a small product the way installers do, for the capture test:
//   test_installer INSTALL-DIR COM-SERVER-DLL PRODUCT-NAME
// files in the install folder and below it, an empty folder, a file in the
// common files with a shared count, a TrueType font in the fonts folder with
// its registration, a COM server with its class key, shortcuts in the start
// menu and on the desktop, settings in the application data, keys of its own
// and a value in a key that was there. Exits with 0 when all of it was made.
#include <windows.h>

#include <shlobj.h>

#include <string>

#include "../host/truetype_file.h"

namespace {

bool Write(const std::string &path, const std::string &bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool whole = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                     written == bytes.size();
  CloseHandle(file);
  return whole;
}

std::string ShellPath(int folder) {
  char path[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

bool Set(HKEY root, const std::string &key, const char *name, const std::string &data) {
  return RegSetKeyValueA(root, key.c_str(), name, REG_SZ, data.c_str(), DWORD(data.size() + 1)) ==
         ERROR_SUCCESS;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) return 2;
  const std::string dir = argv[1], product = argv[3];
  const std::string common = ShellPath(CSIDL_PROGRAM_FILES_COMMON) + "\\" + product;
  const std::string appData = ShellPath(CSIDL_APPDATA) + "\\" + product;
  const std::string menu = ShellPath(CSIDL_PROGRAMS) + "\\" + product;
  const std::string fonts = ShellPath(CSIDL_FONTS);
  const std::string font = product + ".ttf";
  char clsid[80];
  wsprintfA(clsid, "Software\\Classes\\CLSID\\{5D1C2A3B-7E4F-4A21-9C3D-%012lX}",
            GetCurrentProcessId());
  const std::string server = dir + "\\bin\\server.dll", shared = common + "\\shared.dll";
  const DWORD count = 1;
  bool made = true;
  for (const std::string &folder : {dir, dir + "\\bin", dir + "\\data", dir + "\\data\\empty",
                                    common, appData, menu}) {
    made = (CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) &&
           made;
  }
  made = Write(dir + "\\app.exe", "app") && Write(dir + "\\data\\readme.txt", "readme") &&
         CopyFileA(argv[2], server.c_str(), FALSE) && Write(shared, "shared") &&
         Write(appData + "\\settings.ini", "[settings]") && Write(menu + "\\Product.lnk", "lnk") &&
         Write(ShellPath(CSIDL_DESKTOPDIRECTORY) + "\\" + product + ".lnk", "lnk") &&
         Write(fonts + "\\" + font,
               quenrid::test::BuildFont({{{quenrid::test::kMacintosh, quenrid::test::kFullName,
                                           product + " Sans"}}})) &&
         made;
  made = Set(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts",
             (product + " Sans (TrueType)").c_str(), font) &&
         RegSetKeyValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                         shared.c_str(), REG_DWORD, &count, sizeof count) == ERROR_SUCCESS &&
         Set(HKEY_LOCAL_MACHINE, clsid, nullptr, product) &&
         Set(HKEY_LOCAL_MACHINE, std::string(clsid) + "\\InprocServer32", nullptr, server) &&
         Set(HKEY_LOCAL_MACHINE, "Software\\" + product + "\\Settings", "Home", dir) &&
         Set(HKEY_CURRENT_USER, "Software\\" + product, "Last", "1") &&
         Set(HKEY_LOCAL_MACHINE,
             "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product, "DisplayName",
             product) &&
         Set(HKEY_CURRENT_USER, "Environment", ("QUENRID_HOME_" + product).c_str(), dir) && made;
  return made ? 0 : 1;
}
