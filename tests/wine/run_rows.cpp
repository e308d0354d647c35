// The real packed stub run as a user runs it, as rows of the scenario runner,
// one test each: the reader's refusals, the prompts, the in-use loop, the
// closing message and the quiet switches; the product's program before the
// removal and the closing document after it, with the recorder standing in
// for both; and the uninstaller deleting itself.
#include <windows.h>

#include "resources/resource.h"
#include "scenario.h"
#include "test_messages.h"

namespace quenrid::test {
namespace {

// Blocks the reader refuses, each with the one message it then shows.
std::string Messages() { return EncodeChunk(CHUNK_MESSAGES, EncodeMessagesBody(TestMessages())); }
std::string Truncated() {  // no end chunk
  return Messages() + EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody({}));
}
std::string Rejected(uint16_t kind, const std::string &body) {
  return Messages() + EncodeChunk(kind, body, CHUNK_FLAG_REJECT) + EncodeChunk(CHUNK_END, "");
}
std::string RejectedSettings() { return Rejected(CHUNK_SETTINGS, EncodeSettingsBody({})); }
std::string RejectedDirectories() {
  return Rejected(CHUNK_DIRECTORIES, EncodeDirectoriesBody({"Data"}));
}
std::string SettingsCutShort() {  // the settings header promises more than the file holds
  const std::string chunk =
      EncodeChunk(CHUNK_SETTINGS, EncodeSettingsBody({}) + std::string(64, 'x'));
  return Messages() + chunk.substr(0, chunk.size() - 32);
}
std::string Empty() { return ""; }

// Two files: checked.dll is flagged for the in-use test, unchecked.dll is not.
const std::vector<FileRecord> kTwo = {
    {"$", "checked.dll", IN_USE}, {"$", "unchecked.dll"}, {"$", "", IN_USE}};
const std::vector<std::string> kGone = {"-$\\checked.dll", "-$\\unchecked.dll"},
                               kKept = {"+$\\checked.dll", "+$\\unchecked.dll"};
const Question kConfirm{1, IDOK}, kCancel{1, IDCANCEL}, kClosing{2, IDOK};

// clang-format off
const Row kFlows[] = {
    {"Confirmed", ALL, kTwo, {}, {}, {}, kGone, {kConfirm, kClosing}, nullptr, ""},
    {"Cancelled", NT, kTwo, {}, {}, {}, kKept, {kCancel}, nullptr, ""},
    {"EmptyClosingMessageNotShown", NT, kTwo, {}, {}, {}, kGone, {kConfirm, {2, EMPTY}}, nullptr, ""},
    // The read-only question: Enter answers Yes, the close box No.
    {"QuestionAnsweredWithEnter", NT, kTwo, {}, {}, {}, {"-$\\checked.dll", "-r:$\\unchecked.dll"},
     {kConfirm, {9, ENTER, "$\\unchecked.dll"}, kClosing}, nullptr, ""},
    {"QuestionClosed", NT, kTwo, {}, {}, {}, {"-$\\checked.dll", "+r:$\\unchecked.dll"},
     {kConfirm, {9, CLOSE_BOX, "$\\unchecked.dll"}, kClosing}, nullptr, ""},
    {"RetryUntilFree", NT, kTwo, {}, {}, {}, {"-l:$\\checked.dll", "-$\\unchecked.dll"},
     {kConfirm, {15, IDRETRY}, {15, IDRETRY, "", true}, kClosing}, nullptr, ""},
    // The in-use test makes a read-only file writable for a moment only.
    {"CancelWhileInUseKeepsEverything", NT, kTwo, {}, {}, {}, {"+rl:$\\checked.dll", "+$\\unchecked.dll"},
     {kConfirm, {15, IDCANCEL}}, nullptr, ""},
    {"UnflaggedFileInUseNotWaitedFor", NT, kTwo, {}, {}, {}, {"-$\\checked.dll", "+l:$\\unchecked.dll"},
     {kConfirm, kClosing}, nullptr, ""},
    // Quiet runs neither confirm nor test for files in use nor say goodbye;
    // how switches are read is host work (stub_parts_test.cpp).
    {"QuietQ", NT, kTwo, {}, {}, {}, {"+l:$\\checked.dll", "-$\\unchecked.dll"}, {}, nullptr, "/Q"},
    {"QuietS", NT, kTwo, {}, {}, {}, {"+l:$\\checked.dll", "-$\\unchecked.dll"}, {}, nullptr, "/S"},
    {"QuietX", NT, kTwo, {}, {}, {}, {"+l:$\\checked.dll", "-$\\unchecked.dll"}, {}, nullptr, "/X"},
    {"QuietOnWindows98", WIN9X, kTwo, {}, {}, {}, kGone, {}, nullptr, "/Q"},
    // /N answers the read-only question unasked (Yes to all) and asks nothing
    // else away; where nobody sees the window station, no box comes at all.
    {"NoQuestionsStillConfirms", NT, kTwo, {}, {}, {}, {"-$\\checked.dll", "-r:$\\unchecked.dll"},
     {kConfirm, kClosing}, nullptr, "/N"},
    {"HiddenStationAsksNothing", NT, kTwo, {}, {}, {}, {"+l:$\\checked.dll", "-r:$\\unchecked.dll"},
     {}, nullptr, "", HIDDEN},
    {"HiddenStationOnWindowsXp", XP, kTwo, {}, {}, {}, {"-r:$\\checked.dll", "-$\\unchecked.dll"},
     {}, nullptr, "", HIDDEN},
    {"HiddenStationRefusalShowsNothing", NT, kTwo, {}, {}, {}, kKept, {}, nullptr, "", HIDDEN, {},
     Truncated},
    {"SignedUninstaller", NT, kTwo, {}, {}, {}, kGone, {kConfirm, kClosing}, nullptr, "", SIGNED},
    // Refusals, silent ones included, touch nothing.
    {"ZeroOffsetFieldIsNoBlock", NT, kTwo, {}, {}, {}, kKept, {}, nullptr, "", ZERO_OFFSET, {},
     Messages},
    {"Truncated", NT, kTwo, {}, {}, {}, kKept, {{8, IDOK}}, nullptr, "", 0, {}, Truncated},
    {"TruncatedUnderSilentSwitchOnWindowsXp", XP, kTwo, {}, {}, {}, kKept, {{8, IDOK}}, nullptr,
     "/S", 0, {}, Truncated},
    {"RejectedSettingsOnWindows98", WIN9X, kTwo, {}, {}, {}, kKept, {{1, IDOK}}, nullptr, "", 0, {},
     RejectedSettings},
    {"RejectedDirectories", NT, kTwo, {}, {}, {}, kKept, {{1, IDOK}}, nullptr, "/X", 0, {},
     RejectedDirectories},
    {"SettingsBodyCutShort", NT, kTwo, {}, {}, {}, kKept, {{1, IDOK}}, nullptr, "", 0, {},
     SettingsCutShort},
    {"EmptyBeforeAnyMessages", NT, kTwo, {}, {}, {}, kKept, {{0, IDOK}}, nullptr, "", 0, {}, Empty},
};
// clang-format on

TEST_P(OneRow, Runs) { RunAll({GetParam()}); }
INSTANTIATE_TEST_SUITE_P(Flow, OneRow, ::testing::ValuesIn(kFlows), RowName);

// --- The pre-uninstall program and the closing document ------------------

// The uninstaller lists probe.txt beside it; the recorder notes whether it
// was still there when it started. Recorders that a search by a bare or
// blank-cut name would find must never start. The shell opens a ".qrdoc"
// document from its folder; it knows nothing of ".qrnone", which leaves the
// document to the ".htm" class's command, written as a row's own item.
const std::vector<FileRecord> kProbe = {{"<App>", "probe.txt"}};
const std::vector<std::string> kStage = {
    "+w:$\\my.exe", "+w:$\\readme.exe", "+w:$\\viewer.exe",
    "+w:$\\cwd\\readme.exe", "+w:$\\cwd\\viewer.exe", "+w:<App>\\readme.exe",
    "+w:<App>\\docs\\my.exe", "+<App>\\docs\\bye.qrdoc",
    "+o:HKCR\\.qrdoc\\\\=Quenrid.TestDocument", "+o:HKCR\\.htm\\\\=Quenrid.TestPage",
    "+o:HKCR\\Quenrid.TestDocument\\shell\\open\\command\\\\=\"<Viewer>\" \"%1\"",
    "+o:HKCR\\http\\shell\\open\\command\\\\=\"<Viewer>\" \"%1\"",
    "+o:HKCR\\https\\shell\\open\\command\\\\=\"<Viewer>\" \"%1\""};
// The ".htm" class with a command, and without.
const std::string kPage = "+o:HKCR\\Quenrid.TestPage\\shell\\open\\command\\\\=";
const char kNoPage[] = "+o:HKCR\\Quenrid.TestPage\\\\=";
const char kDoc[] = "<App>\\docs\\bye.qrdoc", kNone[] = "<App>\\docs\\bye.qrnone";
const char kOpened[] = "+vw:<Viewer>=<App>\\docs|\"<Viewer>\" \"<App>\\docs\\bye.qrdoc\"";
const char kNoViewer[] = "+vw:<Viewer>", kNoSetup[] = "+w:<App>\\setup.exe";
const char kStays[] = "+n:<Exe>", kGoes[] = "-n:<Exe>";
const Settings kOnlyDoc{0, std::nullopt, kDoc}, kOnlyNone{0, std::nullopt, kNone};
std::vector<std::string> Staged(const std::vector<std::string> &items) {
  return Join(Join({"-<App>\\probe.txt"}, kStage), items);
}

// clang-format off
const Row kStarts[] = {
    {"Interactive", NT, kProbe, {}, {}, {},
     Staged({"+w:<App>\\setup.exe=<App>|\"<App>\\setup.exe\" sleep=1500", kOpened, kNoPage, kGoes}),
     {kConfirm, kClosing}, "$\\cwd", "", 0,
     {SETTINGS_WAIT_FOR_PROGRAM, "\"setup.exe\" sleep=1500", kDoc}},
    {"Quiet", NT, kProbe, {}, {}, {},
     Staged({"+w:<App>\\setup.exe=<App>|\"<App>\\setup.exe\" /u", kOpened, kNoPage, kGoes}),
     {}, "$\\cwd", "/Q", 0, {0, "\"setup.exe\" /u", kDoc}},
    {"Silent", NT, kProbe, {}, {}, {},
     Staged({"+w:<App>\\setup.exe=<App>|\"<App>\\setup.exe\" /u  /v", kNoViewer, kNoPage, kStays}),
     {}, "$\\cwd", "/S", 0, {0, "\" setup.exe  \"   /u  /v", kDoc}},
    {"Partial", NT, kProbe, {}, {}, {}, Staged({kNoSetup, kNoViewer, kNoPage, kStays}),
     {}, "$\\cwd", "/X", 0, {0, "setup.exe", kDoc}},
    {"SilentAndPartial", NT, kProbe, {}, {}, {},
     Staged({"+w:<App>\\setup.exe=<App>|\"<App>\\setup.exe\"", kNoViewer, kNoPage, kStays}),
     {}, "$\\cwd", "/S /X", 0, {0, "setup.exe", std::nullopt}},
    {"Refused", NT, kProbe, {}, {}, {},
     Join(Join({"+<App>\\probe.txt"}, kStage), {kNoSetup, kNoViewer, kNoPage, kStays}),
     {kCancel}, "$\\cwd", "", 0, {0, "setup.exe", kDoc}},
    {"MacroAndBlanks", NT, kProbe, {}, {}, {},
     Staged({"+w:<App>\\a b\\c d.exe=<App>\\a b|\"<App>\\a b\\c d.exe\" /u", kNoViewer, kNoPage, kStays}),
     {}, "$\\cwd", "/S", 0, {0, "\"#InstallDir#\\a b\\c d.exe\" /u", std::nullopt}},
    {"MacroOutsideTheInstallFolder", NT, kProbe, {}, {}, {},
     Staged({"+w:<Temp>\\tool.exe=<Temp>|\"<Temp>\\tool.exe\"", kNoViewer, kNoPage, kStays}),
     {}, "$\\cwd", "/S", 0, {0, "#TEMPDIR#\\tool.exe", std::nullopt}},
    {"UnknownMacroLeavesABareName", NT, kProbe, {}, {}, {},
     Staged({"+w:<App>\\setup.exe=\"setup.exe\"", kNoViewer, kNoPage, kStays}),
     {}, "$\\cwd", "/S", 0, {0, "#None#setup.exe", std::nullopt}},
    // Unquoted, the arguments are part of the program's name: it cannot start.
    {"UnquotedArgumentsAreNoArguments", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, kNoViewer, kNoPage, kStays}), {}, "$\\cwd", "/S", 0,
     {0, "setup.exe /u", std::nullopt}},
    {"AnAbsolutePathIsStillRelative", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, kNoViewer, kNoPage, kStays}), {}, "$\\cwd", "/S", 0,
     {0, "<App>\\setup.exe", std::nullopt}},
    {"QuotedWithoutArguments", NT, kProbe, {}, {}, {},
     Staged({"+w:<App>\\setup.exe=<App>|\"<App>\\setup.exe\"", kNoViewer, kNoPage, kStays}),
     {}, "$\\cwd", "/S", 0, {0, "\"setup.exe\"", std::nullopt}},
    // The exit code that reads as "still running" must not hold the run forever.
    {"WaitedForTillExitCode259", NT, kProbe, {}, {}, {},
     Staged({"+w:<App>\\setup.exe=<App>|\"<App>\\setup.exe\" sleep=1500 exit=259", kNoViewer,
             kNoPage, kStays}),
     {}, "$\\cwd", "/S", 0,
     {SETTINGS_WAIT_FOR_PROGRAM, "\"setup.exe\" sleep=1500 exit=259", std::nullopt}},
    {"NotWaitedFor", NT, kProbe, {}, {}, {},
     Staged({"+w:<App>\\setup.exe=<App>|\"<App>\\setup.exe\" sleep=1500", kNoViewer, kNoPage, kStays}),
     {}, "$\\cwd", "/S", 0, {0, "\"setup.exe\" sleep=1500", std::nullopt}},
    // Never cut into a shorter command line.
    {"TooLongForThePathBuffer", NT, kProbe, {}, {}, {}, Staged({kNoSetup, kNoViewer, kNoPage, kStays}),
     {}, "$\\cwd", "/S", 0, {0, "\"setup.exe\" <x250>", std::nullopt}},
    {"TooLongForTheCommandLine", NT, kProbe, {}, {}, {}, Staged({kNoSetup, kNoViewer, kNoPage, kStays}),
     {}, "$\\cwd", "/S", 0, {0, "\"#InstallDir#\\setup.exe\" <x520>", std::nullopt}},
    // A web address has no folder, whatever the case of its scheme.
    {"Http", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, "+vw:<Viewer>=\"<Viewer>\" \"HTTP://q.invalid/a\\b\"", kNoPage, kGoes}),
     {}, "$\\cwd", "/Q", 0, {0, std::nullopt, "HTTP://q.invalid/a\\b"}},
    {"Https", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, "+vw:<Viewer>=\"<Viewer>\" \"hTtPs://q.invalid/a\\b\"", kNoPage, kGoes}),
     {}, "$\\cwd", "/Q", 0, {0, std::nullopt, "hTtPs://q.invalid/a\\b"}},
    // The fall-back drops the placeholder, in quotes or not, and what follows;
    // without one, it appends the document; without a command, nothing opens.
    {"FallBackQuoted", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, "+vw:<Viewer>=\"<Viewer>\" \"<App>\\docs\\bye.qrnone\"",
             kPage + "\"<Viewer>\" \"%1\" /after", kGoes}), {}, "$\\cwd", "/Q", 0, kOnlyNone},
    {"FallBackBare", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, "+vw:<Viewer>=\"<Viewer>\" /view  \"<App>\\docs\\bye.qrnone\"",
             kPage + "\"<Viewer>\" /view %1 /after", kGoes}), {}, "$\\cwd", "/Q", 0, kOnlyNone},
    {"FallBackAppends", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, "+vw:<Viewer>=\"<Viewer>\" /view \"<App>\\docs\\bye.qrnone\"",
             kPage + "\"<Viewer>\" /view", kGoes}), {}, "$\\cwd", "/Q", 0, kOnlyNone},
    {"FallBackWithoutCommand", NT, kProbe, {}, {}, {}, Staged({kNoSetup, kNoViewer, kNoPage, kGoes}),
     {}, "$\\cwd", "/Q", 0, kOnlyNone},
    // An unquoted program path is read to its ".exe", blanks and all, never
    // cut at a blank; a name that cannot be read so starts nothing.
    {"FallBackUnquotedProgram", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, "+vw:<Viewer>=\"<Viewer>\" /view  \"<App>\\docs\\bye.qrnone\"",
             kPage + "<Viewer> /view %1", kGoes}), {}, "$\\cwd", "/Q", 0, kOnlyNone},
    {"FallBackUnquotedWithoutExe", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, kNoViewer, kPage + "<App>\\docs\\my viewer %1", kGoes}),
     {}, "$\\cwd", "/Q", 0, kOnlyNone},
    {"FallBackBareProgramOnlyFromTheSystem", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, kNoViewer, kPage + "viewer.exe %1", kGoes}), {}, "$\\cwd", "/Q", 0, kOnlyNone},
    {"FallBackOnWindowsXp", XP, kProbe, {}, {}, {},
     Staged({kNoSetup, "+vw:<Viewer>=\"<Viewer>\" /view \"<App>\\docs\\bye.qrnone\"",
             kPage + "\"<Viewer>\" /view", kGoes}), {}, "$\\cwd", "/Q", 0, kOnlyNone},
    // Only a web address or a full path: a bare or relative name would be
    // looked for in the current folder.
    {"BareDocumentStartsNothing", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, kNoViewer, kPage + "\"<Viewer>\" \"%1\"", kGoes}), {}, "$\\cwd", "/Q", 0,
     {0, std::nullopt, "readme"}},
    {"RelativeDocumentStartsNothing", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, kNoViewer, kNoPage, kGoes}), {}, "$\\cwd", "/Q", 0,
     {0, std::nullopt, "docs\\bye.qrdoc"}},
    {"NamespacePathIsNotOpened", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, kNoViewer, kNoPage, kGoes}), {}, "$\\cwd", "/Q", 0,
     {0, std::nullopt, "\\\\?\\<App>\\docs\\bye.qrdoc"}},
    {"DocumentOnWindowsXp", XP, kProbe, {}, {}, {}, Staged({kNoSetup, kOpened, kNoPage, kGoes}),
     {}, "$\\cwd", "/Q", 0, kOnlyDoc},
    // Never cut into another document.
    {"TooLongADocumentIsNotOpened", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, kNoViewer, kPage + "\"<Viewer>\" \"%1\"", kGoes}), {}, "$\\cwd", "/Q", 0,
     {0, std::nullopt, "<App>\\docs\\<x520>.qrnone"}},
    {"TooLongAFallBackIsNotRun", NT, kProbe, {}, {}, {},
     Staged({kNoSetup, kNoViewer, kPage + "\"<Viewer>\" /<x100>", kGoes}), {}, "$\\cwd", "/Q", 0,
     {0, std::nullopt, "<App>\\docs\\<x240>.qrnone"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(AroundRemoval, OneRow, ::testing::ValuesIn(kStarts), RowName);

// --- Self-deletion ----------------------------------------------------------

// Quiet runs. Recorders planted as cmd.exe and ping.exe in the current folder
// and on PATH, and as qrpwn.exe on PATH (a name that a path split at "&"
// would run), must never start; nothing is written into the temporary folder.
const std::vector<std::string> kPlanted = {
    "-<App>\\probe.txt", "+w:$\\bin\\cmd.exe", "+w:$\\bin\\ping.exe", "+w:$\\bin\\qrpwn.exe",
    "+w:$\\cwd\\cmd.exe", "+w:$\\cwd\\ping.exe"};
const std::vector<std::string> kDeleted = Join(kPlanted, {kGoes, "-n:<App>\\"});
// A file of the row's folder that no path may name.
std::vector<std::string> Decoy(const char *path) { return Join(kDeleted, {path}); }

// \x93 and \x94 are curly quotes in the ANSI code page 1252; the OEM code
// page 437 has none, and its best fit makes them straight quotes.
// clang-format off
const Row kDeletions[] = {
    {"FolderWithBlanksOnWindows98", WIN9X, kProbe, {}, {}, {}, kDeleted, {}, "$\\cwd", "/Q", LOOP, {},
     nullptr, "My App"},
    {"OnWindowsXp", XP, kProbe, {}, {}, {}, kDeleted, {}, "$\\cwd", "/Q", LOOP},
    {"FolderHoldingMoreStays", NT, kProbe, {}, {}, {},
     Join(kPlanted, {kGoes, "+n:<App>\\", "+w:<App>\\cmd.exe", "+w:<App>\\ping.exe"}), {}, "$\\cwd",
     "/Q", LOOP},
    {"HeldExecutableIsWaitedFor", NT, kProbe, {}, {}, {}, kDeleted, {}, "$\\cwd", "/Q", LOOP | HELD},
    {"ExecutableThatCannotGoEndsTheLoop", NT, kProbe, {}, {}, {},
     Join(kPlanted, {kStays, "+n:<App>\\"}), {}, "$\\cwd", "/Q", LOOP | READ_ONLY_EXE},
    {"FileOnTheOldBatchName", NT, kProbe, {}, {}, {}, kDeleted, {}, "$\\cwd", "/Q", LOOP | SQUAT_FILE},
    {"LinkOnTheOldBatchName", NT, kProbe, {}, {}, {}, kDeleted, {}, "$\\cwd", "/Q", LOOP | SQUAT_LINK},
    {"FolderWithAPercentSign", NT, kProbe, {}, {}, {}, Decoy("+$\\50\\uninst.exe"), {}, "$\\cwd", "/Q",
     LOOP, {}, nullptr, "50%"},
    {"FolderWithAnAmpersand", NT, kProbe, {}, {}, {}, Decoy("+$\\a"), {}, "$\\cwd", "/Q", LOOP, {},
     nullptr, "a&b"},
    {"FolderWithBestFitQuotes", NT, kProbe, {}, {}, {}, kDeleted, {}, "$\\cwd", "/Q", LOOP, {}, nullptr,
     "a\x93&qrpwn&\x94"},
    // What delayed expansion and a parenthesised block might read as their own.
    {"FolderWithCaretBangAndParentheses", NT, kProbe, {}, {}, {}, Decoy("+$\\a"), {}, "$\\cwd", "/Q",
     LOOP, {}, nullptr, "a^b!c (x)"},
    {"FolderWithoutAnOemForm", NT, kProbe, {}, {}, {}, kDeleted, {}, "$\\cwd", "/Q", LOOP, {}, nullptr,
     "app\x80"},
    {"TemporaryFolderWithBestFitQuotes", NT, kProbe, {}, {}, {}, kDeleted, {}, "$\\cwd", "/Q", LOOP, {},
     nullptr, "app", "t\x93&qrpwn&\x94"},
    {"TemporaryFolderWithBlanksAndAnAmpersand", NT, kProbe, {}, {}, {}, Decoy("+$\\my"), {}, "$\\cwd",
     "/Q", LOOP, {}, nullptr, "app", "my t&mp"},
    // Where command.com is there, 95/98/Me write a batch for it, never one
    // that names a path without an exact OEM form.
    {"BatchForCommandComOnWindows98", WIN9X, kProbe, {}, {}, {}, Join(kPlanted, {kStays, "+n:<App>\\"}),
     {}, "$\\cwd", "/Q", LOOP | COMMAND_COM},
    {"NoBatchInATemporaryFolderWithoutAnOemForm", WIN9X, kProbe, {}, {}, {},
     Join(kPlanted, {kStays, "+n:<App>\\"}), {}, "$\\cwd", "/Q", LOOP | COMMAND_COM | NO_BATCH, {},
     nullptr, "app", "t\x80"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(SelfDeletion, OneRow, ::testing::ValuesIn(kDeletions), RowName);

}  // namespace
}  // namespace quenrid::test
