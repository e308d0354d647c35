// The removal phases through the real packed stub, as rows of the scenario
// runner, one test per phase; and the uninstaller that `quenrid capture`
// makes of an installation.
#include <windows.h>

#include "resources/resource.h"
#include "scenario.h"

namespace quenrid::test {
namespace {

// clang-format off
TEST(RemovalPhases, FilesAndTheirFolders) {
  RunAll({
      {"files go in reverse order before their folders; protected and busy folders stay", BOTH,
       {{"$\\sub", ""}, {"$\\sub", "a.txt"}, {"$\\kept", ""}, {"<Public>\\Documents", ""},
        {".", ""}},
       {}, {}, {},
       {"-$\\sub\\a.txt", "-$\\sub\\", "+$\\kept\\unlisted.txt", "+<Public>\\Documents\\"}},
      {"a count above one is lowered and asks nothing; one in use keeps its last", NT,
       {{"$", "busy.dll", SHARED}, {"$", "three.dll", SHARED}, {"$", "locked.dll", SHARED}},
       {}, {}, {}, {"+ls5>4:$\\busy.dll", "+s3>2:$\\three.dll", "+ls1>1:$\\locked.dll"}},
      {"a count whose key the run may only read counts as run out, and the plan's too", NT,
       {{"$", "counted.dll", SHARED}}, {}, {}, {}, {"-qs3>3:$\\counted.dll"}, {{10, EMPTY}}},
      // No value has run out too.
      {"a run-out count asks: Yes removes value and file, No leaves a count of zero", NT,
       {{"$", "novalue.dll", SHARED}, {"$", "kept.dll", SHARED}, {"$", "last.dll", SHARED}},
       {}, {}, {}, {"-s1>:$\\last.dll", "+s1>0:$\\kept.dll", "-s>:$\\novalue.dll"},
       {{10, IDYES, "$\\last.dll"}, {10, IDNO, "$\\kept.dll"}, {10, IDYES, "$\\novalue.dll"}}},
      {"read-only files follow each answer, the last entry asked first; Yes to all holds", BOTH,
       {{"$", "all2.txt"}, {"$", "all.txt"}, {"$", "esc.txt"}, {"$", "no.txt"}, {"$", "yes.txt"}},
       {}, {}, {},
       {"-r:$\\yes.txt", "+r:$\\no.txt", "+r:$\\esc.txt", "-r:$\\all.txt", "-r:$\\all2.txt"},
       {{9, IDYES, "$\\yes.txt"}, {9, IDNO, "$\\no.txt"}, {9, IDCANCEL, "$\\esc.txt"},
        {9, IDC_YES_TO_ALL, "$\\all.txt"}}},
      {"No to all holds for every later read-only file", NT,
       {{"$", "a.txt"}, {"$", "b.txt"}, {"$", "c.txt"}}, {}, {}, {},
       {"+r:$\\a.txt", "+r:$\\b.txt", "+r:$\\c.txt"}, {{9, IDC_NO_TO_ALL, "$\\c.txt"}}},
      {"read-only and run-out files go unasked when their message is empty", NT,
       {{"$", "plain.txt"}, {"$", "last.dll", SHARED}}, {}, {}, {},
       {"-r:$\\plain.txt", "-s1>:$\\last.dll"}, {{9, EMPTY}, {10, EMPTY}}},
      {"a read-only font is never asked about; a read-only file in use stays read-only", NT,
       {{"$", "font.ttf", FONT}, {"$", "held.txt"}, {"$", "read.txt"}}, {}, {}, {},
       {"-r:$\\font.ttf", "+rl:$\\held.txt", "+rh:$\\read.txt"}},
      // A server that crashes, lacks the export or is no library is left to
      // itself and the run goes on; read-only, servers go unasked.
      {"COM servers are unregistered, and the blanks of a path kept in one argument", ALL,
       {{"$", "my server.dll", COM}, {"$", "crash.dll", COM}, {"$", "none.dll", COM},
        {"$", "text.dll", COM}, {"$", "missing.dll", COM}}, {}, {}, {},
       {"-rc:$\\my server.dll", "-x:$\\crash.dll", "-e:$\\none.dll", "-$\\text.dll"}},
      // Only the name in the file counts, and only in the running family's key.
      // A program planted as regsvr32 that ran would fail to start (it is a
      // library), and the stub would unregister the server itself on NT 6.
      // A server's own libraries come from its folder, not the uninstaller's
      // folder nor the current one.
      {"nothing is started or loaded by a bare name from the install folder or the current one",
       ALL, {{"$", "srv.dll", COM}, {"<App>\\bin", "dep.dll", COM}}, {}, {}, {},
       {"-c:$\\srv.dll", "-d:<App>\\bin\\dep.dll", "+p:<App>\\regsvr32.exe",
        "+p:<App>\\uxtheme.dll", "+p:<App>\\qrdep.dll", "+p:$\\cw\\regsvr32.exe",
        "+p:$\\cw\\uxtheme.dll", "+p:$\\cw\\qrdep.dll"}, {}, "$\\cw"},
      // Only when it names this file: another font's file of the same name stays registered.
      {"a font's registration goes with it", ALL, {{"$", "m.ttf", FONT}, {"$", "o.ttf", FONT}},
       {}, {}, {},
       {"-f:$\\m.ttf", "-n:HKLM\\<Fonts>\\\\Quenrid <id> m (TrueType)=$\\M.TTF",
        "+n:HKLM\\<OtherFonts>\\\\Quenrid <id> m (TrueType)=$\\m.ttf",
        "+n:HKLM\\<Fonts>\\\\m (TrueType)=$\\m.ttf", "-f:$\\o.ttf",
        "+n:HKLM\\<Fonts>\\\\Quenrid <id> o (TrueType)=o.ttf"}},
      {"emptied folders go upwards until one is not empty", BOTH,
       {{"$\\p\\Sub\\Deep", "f.txt"}, {"$\\q", "f.txt"}, {".\\bin", "tool.dll"},
        {".\\bin\\plugins", "p.dll"}}, {}, {}, {},
       {"-$\\p\\Sub\\Deep\\f.txt", "-$\\p\\", "-$\\q\\f.txt", "+$\\q\\keep.txt",
        "-<App>\\bin\\plugins\\p.dll", "-<App>\\bin\\tool.dll", "-<App>\\bin\\"}},
      // Any spelling of an empty protected folder is that folder; a prefix
      // names no folder, and a link is never removed.
      {"protected folders in other spellings, on other letters and through links stay", BOTH,
       {{"$\\user\\\\Start Menu\\Programs\\StartUp", ""}, {"<Desktop>.", ""}, {"<Desktop> ", ""},
        {"$/user/Desktop", ""}, {"$\\user\\x\\..\\Desktop", ""}, {"$\\user\\.\\Desktop\\", ""},
        {"\\\\?\\<StartUp>", ""}, {"\\\\.\\<StartUp>", ""}, {"~{<StartUp>}", ""},
        {"<Q>\\user\\Desktop", ""}, {"<Z>\\user\\Desktop", ""}, {"$\\desklink", ""},
        {"$\\user\\\\Start Menu", ""}, {"<Q>\\app\\kept", ""}},
       {}, {}, {},
       {"+<StartUp>\\", "+<Desktop>\\", "+<StartMenu>\\", "+j:$\\desklink\\=<Desktop>\\",
        "-<App>\\kept\\"}},
      {"the all users' desktop in another spelling", NT,
       {{"<PublicDesktop>\\\\", ""}, {"~{<PublicDesktop>}", ""}}, {}, {}, {}, {"+<PublicDesktop>\\"}},
      {"the emptied-folder walk climbs the folders as they are, not as they are spelt", BOTH,
       {{"$\\user\\Desktop.\\Grp", "f.txt"}, {"~{<StartUp>}\\Grp", "f.txt"},
        {"<Q>\\user\\Start Menu\\Grp", "f.txt"}, {"<Z>\\user\\Roaming", "f.txt"},
        {"$\\romlink\\Grp", "f.txt"}},
       {}, {}, {},
       {"-<Desktop>\\Grp\\", "-<StartUp>\\Grp\\", "-<StartMenu>\\Grp\\",
        "+<Desktop>\\", "+<StartUp>\\", "+<StartMenu>\\", "+<AppData>\\",
        "+j:$\\romlink\\=$\\other\\", "+$\\other\\Grp\\", "+$\\other\\keep.txt"}},
      {"a folder entry stands for itself; fonts keep their folder", NT,
       {{"$\\r\\x", ""}, {"$\\r\\x\\y", "f.txt"}, {"$\\font", "x.ttf", FONT}}, {}, {}, {},
       {"-$\\r\\x\\y\\f.txt", "-$\\r\\", "-$\\font\\x.ttf", "+$\\font\\"}},
  });
}

// /N answers both file questions unasked: Yes to all for the read-only file,
// No for the shared one, whose count is left at zero.
TEST(RemovalPhases, NoQuestions) {
  RunAll({{"a read-only file goes, a run-out shared file stays", ALL,
           {{"$", "plain.txt"}, {"$", "last.dll", SHARED}}, {}, {}, {},
           {"-r:$\\plain.txt", "+s1>0:$\\last.dll"}, {}, nullptr, "/S /N"}});
}

TEST(RemovalPhases, Directories) {
  RunAll({
      {"a tree with a read-only file, a file held open and protected subfolders", BOTH, {}, {}, {},
       {"..\\user\\*.*"},
       {"-$\\user\\a.txt", "-$\\user\\sub\\b.dat", "-$\\user\\sub\\deep\\c.txt", "-$\\user\\sub\\",
        "-$\\user\\empty\\", "+r:$\\user\\ro\\ro.txt", "+l:$\\user\\held.txt", "+<Docs>\\mine.txt",
        "+<Docs>\\inner\\x.txt", "+<Docs>\\empty\\", "+<Local>\\x.txt", "+<Desktop>\\",
        "+<Programs>\\p.lnk"}},
      {"a pattern that matches some files; a tree that empties goes whole", BOTH, {}, {}, {},
       {"#InstallDir#\\logs\\*.log", "#installdir#\\cache\\*.*", "#InstallDir#\\none\\*.*"},
       {"-<App>\\logs\\a.log", "-<App>\\logs\\old\\b.log", "-<App>\\logs\\old\\",
        "+<App>\\logs\\keep.txt", "-<App>\\cache\\x\\y\\z.bin", "-<App>\\cache\\"}},
      {"an entry without a backslash is a pattern in the install folder", NT, {}, {}, {},
       {"*.tmp"},
       {"-<App>\\x.tmp", "-<App>\\sub\\y.tmp", "+<App>\\sub\\z.txt", "+<App>\\keep.txt"}},
      {"folders that macros name and users keep their data in are protected", BOTH, {}, {}, {},
       {"#MyDocuments#\\*.*", "#LocalAppData#\\*.*", "#AllUsersDir#\\*.*", "#AppData#\\*.*",
        "#Desktop#\\*.*"},
       {"+<Docs>\\a.txt", "+<Docs>\\empty\\", "+<Local>\\a.txt", "+<Public>\\a.txt",
        "+<Public>\\empty\\", "+<AppData>\\a.txt", "+<Desktop>\\a.txt"}},
      {"a protected folder written in another form is still protected", NT, {}, {}, {},
       {"#MyDocuments#\\..\\Documents\\*.*", "#LocalAppData#\\.\\*.*",
        "#InstallDir#\\..\\user\\\\Desktop\\*.*", "#AllUsersDocuments#\\.\\*.*"},
       {"+<Docs>\\a.txt", "+<Local>\\a.txt", "+<Desktop>\\a.txt", "+<Public>\\Documents\\"}},
      // "##" is a macro that vanishes: the entries are taken as written.
      {"short names, other drive letters and Z: name the protected folders they lead to", BOTH,
       {}, {}, {},
       {"##~{<ProgramFiles>}\\*.*", "##~{<CommonFiles>}\\*.*", "##~{<Docs>}\\*.*",
        "##~{<PublicAppData>}\\*.*", "##<Q>\\user\\Desktop\\*.*", "##<Z>\\user\\Start Menu\\*.*",
        "##$\\user\\Local.\\*.*", "##\\\\?\\<AppData>\\*.*", "##<Q>\\app\\ok\\*.*"},
       {"+<ProgramFiles>\\a.txt", "+<CommonFiles>\\a.txt", "+<Docs>\\a.txt", "+<PublicAppData>\\a.txt",
        "+<Desktop>\\a.txt", "+<StartMenu>\\a.txt", "+<Local>\\a.txt", "+<AppData>\\a.txt",
        "-<App>\\ok\\a.txt"}},
      {"no walk enters or deletes through a link; the links stay", BOTH, {}, {}, {},
       {"#InstallDir#\\data\\*.*", "#InstallDir#\\dlink\\*.*", "#InstallDir#\\through\\sub\\*.*",
        "##$\\desklink\\*.*"},
       {"-<App>\\data\\a.txt", "-<App>\\data\\sub\\b.txt", "-<App>\\data\\sub\\",
        "+<App>\\data\\", "+j:<App>\\data\\lnk\\=$\\outside\\", "+$\\outside\\canary.txt",
        "+j:<App>\\data\\flink.txt=$\\outside\\file.txt", "+$\\outside\\file.txt",
        "+j:<App>\\dlink\\=$\\outside2\\", "+$\\outside2\\c.txt",
        "+j:<App>\\through\\=$\\outside3\\", "+$\\outside3\\sub\\c.txt",
        "+j:$\\desklink\\=<Desktop>\\", "+<Desktop>\\d.txt"}},
      {"below a protected folder, and in the temporary folder, patterns apply", NT, {}, {}, {},
       {"#MyDocuments#\\Product\\*.*", "#TempDir#\\quenrid-<id>-*.tmp"},
       {"-<Docs>\\Product\\a.txt", "-<Docs>\\Product\\", "+<Docs>\\keep.txt",
        "-<Temp>\\quenrid-<id>-1.tmp", "+<Temp>\\quenrid-<id>.keep"}},
      {"unknown macros vanish; a path that is then not a full one is skipped", NT, {}, {}, {},
       {"#InstallDir#\\first\\*.none", "#Nope#$\\victim\\*.*", "#Nope#second\\*.*", "#Nope#\\*.*"},
       {"+<App>\\first\\f.txt", "-$\\victim\\a.txt", "+<App>\\second\\a.txt"}},
      {"paths too long for their buffer are skipped, not cut", NT, {}, {}, {},
       {"#InstallDir#\\cut\\" + std::string(300, '*'), "cut2\\" + std::string(300, '*'),
        "#InstallDir#\\ok\\*.*"},
       {"+<App>\\cut\\a.txt", "+<App>\\cut2\\a.txt", "-<App>\\ok\\a.txt"}},
      {"a list without its closing empty string", NT, {}, {}, {}, {"d1\\*.*", "d2\\*.*"},
       {"-<App>\\d1\\a.txt", "-<App>\\d2\\a.txt"}, {}, nullptr, "/S", LIST_UNCLOSED},
      {"a last string without its terminator is not used", NT, {}, {}, {}, {"d1\\*.*", "d2\\*.*"},
       {"-<App>\\d1\\a.txt", "+<App>\\d2\\a.txt"}, {}, nullptr, "/S", LIST_LAST_UNTERMINATED},
  });
}

TEST(RemovalPhases, Shortcuts) {
  RunAll({
      {"files go before folders; levels walk both sides in step", BOTH, {},
       {{1, "$\\menu\\group", "$\\alt\\group", "a.lnk"}, {0, "$\\menu\\group", "", "b.lnk"},
        {1, "$\\m\\a\\b", "", "c.lnk"}}, {}, {},
       {"-$\\menu\\group\\a.lnk", "-$\\menu\\group\\b.lnk", "-$\\menu\\", "-$\\alt\\group\\",
        "-$\\alt\\", "-$\\m\\a\\b\\c.lnk", "-$\\m\\a\\", "+$\\m\\"}},
      {"nothing at or above a protected folder, on either side", BOTH, {},
       {{3, "<Programs>\\Quenrid\\Group", "", "p.lnk"}, {2, "<Desktop>", "$\\y\\grp", "d.lnk"},
        {2, "$\\x\\grp", "<Desktop>", ""}}, {}, {},
       {"-<Programs>\\Quenrid\\Group\\p.lnk", "-<Programs>\\Quenrid\\", "+<Programs>\\",
        "-<Desktop>\\d.lnk", "+$\\y\\grp\\", "+$\\x\\grp\\"}},
      {"levels stop at a protected folder in any spelling, and at a link", BOTH, {},
       {{1, "$\\user\\Desktop.\\G1", "", ""}, {1, "~{<StartUp>}\\G2", "", ""},
        {2, "<Q>\\user\\Start Menu\\G3\\Sub", "", ""}, {0, "<Z>\\user\\Desktop", "", ""},
        {0, "$\\user\\\\Desktop", "", ""}, {0, "\\\\?\\<Desktop>", "", ""},
        {1, "$\\deskGrp\\G5", "", ""}}, {}, {},
       {"-<Desktop>\\G1\\", "-<StartUp>\\G2\\", "-<StartMenu>\\G3\\",
        "+<Desktop>\\", "+<StartUp>\\", "+<StartMenu>\\",
        "+j:$\\deskGrp\\=$\\grp\\", "+$\\grp\\G5\\"}},
      {"a folder with other files stays, and its parents too", NT, {},
       {{2, "$\\n\\grp", "", "s.lnk"}, {0, "$\\e\\grp", "", ""}}, {}, {},
       {"-$\\n\\grp\\s.lnk", "+$\\n\\grp\\other.txt", "-$\\e\\grp\\"}},
      {"the current directory is left before its folder goes", NT, {},
       {{0, "$\\CW\\GRP", "", "c.lnk"}}, {}, {},
       {"-$\\cw\\grp\\c.lnk", "-$\\cw\\grp\\", "+$\\cw\\"}, {}, "$\\cw\\grp"},
  });
}

TEST(RemovalPhases, Registry) {
  const std::string tree = "<K>\\Vendor\\Product";
  RunAll({
      {"values by the last double backslash; a trailing pair is the default", BOTH, {}, {},
       {{HKCU, "<K>\\App\\\\Version"}, {HKCU, "<K>\\App\\\\"}, {HKCU, "<K>\\Gone\\\\Missing"},
        {HKCU, ""}}, {},
       {"-HKCU\\<K>\\App\\\\Version", "-HKCU\\<K>\\App\\\\", "+HKCU\\<K>\\App\\\\Other",
        "+HKCU\\<K>\\App"}},
      {"a key goes with its whole tree on NT", NT, {}, {},
       {{HKCU, tree}, {HKLM, "<K>\\Machine\\"}, {HKCR, ".quenrid-<id>"}}, {},
       {"-HKCU\\" + tree + "\\Sub\\Deep\\\\Value", "-HKCU\\" + tree, "+HKCU\\<K>\\Vendor",
        "-HKLM\\<K>\\Machine\\Sub", "-HKCR\\.quenrid-<id>\\shell\\open"}},
      {"95/98/Me deletes a key with its subkeys in one call", WIN9X, {}, {},
       {{HKCU, "<K>\\Leaf"}, {HKCU, tree}}, {},
       {"-HKCU\\<K>\\Leaf\\\\Value", "-HKCU\\" + tree + "\\Sub\\Deep", "+HKCU\\<K>\\Vendor"}},
      {"the first failure ends a tree; what went before it stays gone", NT, {}, {},
       {{HKCU, "<K>\\X"}}, {},
       {"-HKCU\\<K>\\X\\a\\child", "-HKCU\\<K>\\X\\a", "+k:HKCU\\<K>\\X\\b", "+HKCU\\<K>\\X\\c",
        "+HKCU\\<K>\\X"}},
      {"first-level and shared keys are never deleted whole", BOTH, {}, {},
       {{HKCU, "<T>"}, {HKCU, "\\\\<T>\\"}, {HKCU, "Software\\\\Microsoft\\"},
        {HKCU, "<CV>\\Run\\"}, {HKCU, "<CV>\\Uninstall\\Quenrid <id>"},
        {HKCU, "<CV>\\Run\\\\Quenrid <id>"}}, {},
       {"+HKCU\\<T>", "+HKCU\\<T>\\\\Marker", "+HKCU\\Software\\Microsoft\\Quenrid <id>",
        "+HKCU\\<CV>\\Run\\\\Other <id>", "-HKCU\\<CV>\\Uninstall\\Quenrid <id>",
        "-HKCU\\<CV>\\Run\\\\Quenrid <id>"}},
      {"aliases of guarded keys are refused in any spelling; a product's key below one goes", BOTH,
       {}, {},
       {{HKLM, "system\\controlset001\\control\\\\Session Manager\\"},
        {HKLM, "SYSTEM\\ControlSet002\\Services\\Quenrid <id>"}, {HKCR, "*\\shell\\Quenrid <id>"}},
       {},
       {"+HKLM\\SYSTEM\\ControlSet001\\Control\\Session Manager\\Quenrid <id>\\\\Canary",
        "-HKLM\\SYSTEM\\ControlSet002\\Services\\Quenrid <id>\\Parameters",
        "-HKCR\\*\\shell\\Quenrid <id>\\command"}},
      {"the 32-bit views of guarded keys are refused; a product's key in one goes", BOTH, {}, {},
       {{HKLM, "Software\\Wow6432Node\\Microsoft"}, {HKCR, "Wow6432Node\\CLSID"},
        {HKLM, "SOFTWARE\\WOW6432NODE\\Classes\\CLSID\\"},
        {HKLM, "Software\\Wow6432Node\\Quenrid <id>"}},
       {},
       {"+HKLM\\Software\\Wow6432Node\\Microsoft\\Quenrid <id>",
        "+HKCR\\Wow6432Node\\CLSID\\{Quenrid <id>}",
        "-HKLM\\Software\\Wow6432Node\\Quenrid <id>\\Sub"}},
      {"keys in the system's own trees are refused, and values in the classes that start programs",
       BOTH, {}, {},
       {{HKLM, "SYSTEM\\CurrentControlSet\\Enum\\Quenrid <id>"},
        {HKCU, "Software\\Policies\\Quenrid <id>"},
        {HKCU, "Software\\Classes\\exefile\\shell\\open\\Quenrid <id>"},
        {HKCU, "Software\\Classes\\exefile\\shell\\open\\Quenrid <id>\\\\Canary"}},
       {},
       {"+HKLM\\SYSTEM\\CurrentControlSet\\Enum\\Quenrid <id>\\\\Canary",
        "+HKCU\\Software\\Policies\\Quenrid <id>",
        "+HKCU\\Software\\Classes\\exefile\\shell\\open\\Quenrid <id>\\\\Canary"}},
      {"values the system reads are refused, through aliases and views; a product's own goes", BOTH,
       {}, {},
       {{HKCU, "Environment\\\\TEMP"}, {HKCU, "environment\\\\\\tmp"},
        {HKLM, "SYSTEM\\ControlSet001\\Control\\Session Manager\\Environment\\\\ComSpec"},
        {HKLM, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\\\ProgramFilesDir"},
        {HKCU, "Environment\\\\QUENRID_<id>_HOME"}},
       {},
       {"+o:HKCU\\Environment\\\\TEMP", "+o:HKCU\\Environment\\\\TMP",
        "+o:HKLM\\SYSTEM\\ControlSet001\\Control\\Session Manager\\Environment\\\\ComSpec",
        "+o:HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\\\ProgramFilesDir",
        "-HKCU\\Environment\\\\QUENRID_<id>_HOME"}},
      // The 95/98/Me family has no registry links.
      {"a link is neither followed nor deleted: a tree ends at it, an entry on it is refused", NT,
       {}, {},
       {{HKLM, "<K>\\Tree"}, {HKLM, "<K>\\Link"}, {HKLM, "<K>\\Link\\\\Canary"}}, {},
       {"-HKLM\\<K>\\Tree\\a\\child", "+HKLM\\<K>\\Outside\\Sub", "+t:HKLM\\<K>\\Outside\\\\Canary",
        "+k:HKLM\\<K>\\Tree\\b\\deep\\link", "+HKLM\\<K>\\Tree\\c", "+HKLM\\<K>\\Target\\Sub",
        "+t:HKLM\\<K>\\Target\\\\Canary", "+k:HKLM\\<K>\\Link"}},
  });
}

// What an installation adds, found by `quenrid capture` (a COM server and its
// class key, a shared file, a font and its registration, shortcuts, keys and a
// value in a key that was there) and packed where the product lies: its
// uninstaller takes all of it, and deletes itself with the install folder.
TEST(RemovalPhases, Captured) {
  const std::string clsid = "-HKLM\\Software\\Classes\\CLSID\\{Quenrid <id>}";
  RunAll({{"all that an installation added", NT, {}, {}, {}, {},
           {"-<App>\\app.exe", "-<App>\\data\\readme.txt", "-<App>\\data\\empty\\",
            "-c:<App>\\bin\\server.dll", clsid,
            clsid + "\\InprocServer32\\\\=<App>\\bin\\server.dll",
            "-s1>:<CommonFiles>\\Quenrid <id>\\shared.dll", "-<CommonFiles>\\Quenrid <id>\\",
            "-<AppData>\\Quenrid <id>\\settings.ini", "-<AppData>\\Quenrid <id>\\",
            "-<Programs>\\Quenrid <id>\\Product.lnk", "-<Programs>\\Quenrid <id>\\",
            "-<Desktop>\\Quenrid <id>.lnk", "-f:<WinFonts>\\qr<id>.ttf",
            "-n:HKLM\\<Fonts>\\\\Quenrid <id> qr<id> (TrueType)=qr<id>.ttf",
            "-HKLM\\Software\\Quenrid <id>\\Settings\\\\Home=<App>",
            "-HKCU\\Software\\Quenrid <id>\\\\Last=1",
            "-HKLM\\<CV>\\Uninstall\\Quenrid <id>\\\\DisplayName=Quenrid",
            "-HKCU\\Environment\\\\QUENRID_<id>_HOME=<App>", "-n:<App>\\"},
           {}, nullptr, "/Q", CAPTURED, {}, nullptr, "Program Files Q\\Product"}});
}
// clang-format on

}  // namespace
}  // namespace quenrid::test
