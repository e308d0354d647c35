// The real packed stub run as a user runs it, as rows of the scenario runner,
// one test each: the reader's refusals, the prompts, the in-use loop, the
// closing message and the quiet switches; the product's program before the
// removal and the closing document after it, with the recorder standing in
// for both; and the uninstaller deleting itself.
#include <windows.h>

#include "resources/resource.h"
#include "scenario.h"

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
// A row of these names the fate and kinds of each ("-", "+rl"...).
const std::vector<FileRecord> kTwo = {
    {"$", "checked.dll", IN_USE}, {"$", "unchecked.dll"}, {"$", "", IN_USE}};
const Question kConfirm{1, IDOK}, kCancel{1, IDCANCEL}, kClosing{2, IDOK};
// clang-format off
Row Flow(const char *name, int systems, const std::string &checked, const std::string &unchecked,
         std::vector<Question> dialogue, const char *switches = "", int options = 0,
         std::string (*block)() = nullptr) {
  return {name, systems, kTwo, {}, {}, {},
          {checked + ":$\\checked.dll", unchecked + ":$\\unchecked.dll"}, dialogue, nullptr,
          switches, options, {}, block};
}

const Row kFlows[] = {
    Flow("Confirmed", ALL, "-", "-", {kConfirm, kClosing}),
    Flow("Cancelled", NT, "+", "+", {kCancel}),
    Flow("EmptyClosingMessageNotShown", NT, "-", "-", {kConfirm, {2, EMPTY}}),
    // The read-only question: Enter answers Yes, the close box No.
    Flow("QuestionAnsweredWithEnter", NT, "-", "-r",
         {kConfirm, {9, ENTER, "$\\unchecked.dll"}, kClosing}),
    Flow("QuestionClosed", NT, "-", "+r", {kConfirm, {9, CLOSE_BOX, "$\\unchecked.dll"}, kClosing}),
    Flow("RetryUntilFree", NT, "-l", "-",
         {kConfirm, {15, IDRETRY}, {15, IDRETRY, "", true}, kClosing}),
    // The in-use test makes a read-only file writable for a moment only.
    Flow("CancelWhileInUseKeepsEverything", NT, "+rl", "+", {kConfirm, {15, IDCANCEL}}),
    Flow("UnflaggedFileInUseNotWaitedFor", NT, "-", "+l", {kConfirm, kClosing}),
    // Quiet runs neither confirm nor test for files in use nor say goodbye;
    // how switches are read is host work (stub_parts_test.cpp).
    Flow("QuietQ", NT, "+l", "-", {}, "/Q"),
    Flow("QuietS", NT, "+l", "-", {}, "/S"),
    Flow("QuietX", NT, "+l", "-", {}, "/X"),
    Flow("QuietOnWindows98", WIN9X, "-", "-", {}, "/Q"),
    // /N answers the read-only question unasked (Yes to all) and asks nothing
    // else away; where nobody sees the window station, no box comes at all.
    Flow("NoQuestionsStillConfirms", NT, "-", "-r", {kConfirm, kClosing}, "/N"),
    Flow("HiddenStationAsksNothing", NT, "+l", "-r", {}, "", HIDDEN),
    Flow("HiddenStationOnWindowsXp", XP, "-r", "-", {}, "", HIDDEN),
    Flow("HiddenStationRefusalShowsNothing", NT, "+", "+", {}, "", HIDDEN, Truncated),
    // Refusals, silent ones included, touch nothing.
    Flow("ZeroOffsetFieldIsNoBlock", NT, "+", "+", {}, "", ZERO_OFFSET, Messages),
    Flow("Truncated", NT, "+", "+", {{8, IDOK}}, "", 0, Truncated),
    Flow("TruncatedUnderSilentSwitchOnWindowsXp", XP, "+", "+", {{8, IDOK}}, "/S", 0, Truncated),
    Flow("RejectedSettingsOnWindows98", WIN9X, "+", "+", {{1, IDOK}}, "", 0, RejectedSettings),
    Flow("RejectedDirectories", NT, "+", "+", {{1, IDOK}}, "/X", 0, RejectedDirectories),
    Flow("SettingsBodyCutShort", NT, "+", "+", {{1, IDOK}}, "", 0, SettingsCutShort),
    Flow("EmptyBeforeAnyMessages", NT, "+", "+", {{0, IDOK}}, "", 0, Empty),
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
Settings Program(const char *line) { return {0, line, std::nullopt}; }
Settings Document(const char *path) { return {0, std::nullopt, path}; }
const Settings kOnlyDoc = Document(kDoc), kOnlyNone = Document(kNone);
// The recorder as setup.exe, started from its folder with `arguments`.
std::string Setup(const std::string &arguments) {
  return "+w:<App>\\setup.exe=<App>|\"<App>\\setup.exe\"" + arguments;
}
// What a run starts (`setup`, nothing else, the uninstaller stays), or opens
// (`viewer` and `page`, nothing started, the uninstaller goes).
std::vector<std::string> Starts(const std::string &setup) {
  return {setup, kNoViewer, kNoPage, kStays};
}
std::vector<std::string> Opens(const std::string &viewer, const std::string &page) {
  return {kNoSetup, viewer, page, kGoes};
}
const std::vector<std::string> kNothing = Starts(kNoSetup);
// clang-format off
// A row of the staged folder, run in $\cwd.
Row Start(const char *name, int systems, const char *switches, Settings settings,
          const std::vector<std::string> &items, std::vector<Question> dialogue = {},
          const char *probe = "-<App>\\probe.txt") {
  return {name, systems, kProbe, {}, {}, {}, Join(Join({probe}, kStage), items), dialogue,
          "$\\cwd", switches, 0, settings};
}

const Row kStarts[] = {
    Start("Interactive", NT, "", {SETTINGS_WAIT_FOR_PROGRAM, "\"setup.exe\" sleep=1500", kDoc},
          {Setup(" sleep=1500"), kOpened, kNoPage, kGoes}, {kConfirm, kClosing}),
    Start("Quiet", NT, "/Q", {0, "\"setup.exe\" /u", kDoc},
          {Setup(" /u"), kOpened, kNoPage, kGoes}),
    Start("Silent", NT, "/S", {0, "\" setup.exe  \"   /u  /v", kDoc}, Starts(Setup(" /u  /v"))),
    Start("Partial", NT, "/X", {0, "setup.exe", kDoc}, kNothing),
    Start("SilentAndPartial", NT, "/S /X", Program("setup.exe"), Starts(Setup(""))),
    Start("Refused", NT, "", {0, "setup.exe", kDoc}, kNothing, {kCancel}, "+<App>\\probe.txt"),
    Start("MacroAndBlanks", NT, "/S", Program("\"#InstallDir#\\a b\\c d.exe\" /u"),
          Starts("+w:<App>\\a b\\c d.exe=<App>\\a b|\"<App>\\a b\\c d.exe\" /u")),
    Start("MacroOutsideTheInstallFolder", NT, "/S", Program("#TEMPDIR#\\tool.exe"),
          Starts("+w:<Temp>\\tool.exe=<Temp>|\"<Temp>\\tool.exe\"")),
    Start("UnknownMacroLeavesABareName", NT, "/S", Program("#None#setup.exe"),
          Starts("+w:<App>\\setup.exe=\"setup.exe\"")),
    // Unquoted, the arguments are part of the program's name: it cannot start.
    Start("UnquotedArgumentsAreNoArguments", NT, "/S", Program("setup.exe /u"), kNothing),
    Start("AnAbsolutePathIsStillRelative", NT, "/S", Program("<App>\\setup.exe"), kNothing),
    Start("QuotedWithoutArguments", NT, "/S", Program("\"setup.exe\""), Starts(Setup(""))),
    // The exit code that reads as "still running" must not hold the run forever.
    Start("WaitedForTillExitCode259", NT, "/S",
          {SETTINGS_WAIT_FOR_PROGRAM, "\"setup.exe\" sleep=1500 exit=259", std::nullopt},
          Starts(Setup(" sleep=1500 exit=259"))),
    Start("NotWaitedFor", NT, "/S", Program("\"setup.exe\" sleep=1500"),
          Starts(Setup(" sleep=1500"))),
    // Never cut into a shorter command line.
    Start("TooLongForThePathBuffer", NT, "/S", Program("\"setup.exe\" <x250>"), kNothing),
    Start("TooLongForTheCommandLine", NT, "/S", Program("\"#InstallDir#\\setup.exe\" <x520>"),
          kNothing),
    // A web address has no folder, whatever the case of its scheme.
    Start("Http", NT, "/Q", Document("HTTP://q.invalid/a\\b"),
          Opens("+vw:<Viewer>=\"<Viewer>\" \"HTTP://q.invalid/a\\b\"", kNoPage)),
    Start("Https", NT, "/Q", Document("hTtPs://q.invalid/a\\b"),
          Opens("+vw:<Viewer>=\"<Viewer>\" \"hTtPs://q.invalid/a\\b\"", kNoPage)),
    // The fall-back drops the placeholder, in quotes or not, and what follows;
    // without one, it appends the document; without a command, nothing opens.
    Start("FallBackQuoted", NT, "/Q", kOnlyNone,
          Opens("+vw:<Viewer>=\"<Viewer>\" \"<App>\\docs\\bye.qrnone\"",
                kPage + "\"<Viewer>\" \"%1\" /after")),
    Start("FallBackBare", NT, "/Q", kOnlyNone,
          Opens("+vw:<Viewer>=\"<Viewer>\" /view  \"<App>\\docs\\bye.qrnone\"",
                kPage + "\"<Viewer>\" /view %1 /after")),
    Start("FallBackAppends", NT, "/Q", kOnlyNone,
          Opens("+vw:<Viewer>=\"<Viewer>\" /view \"<App>\\docs\\bye.qrnone\"",
                kPage + "\"<Viewer>\" /view")),
    Start("FallBackWithoutCommand", NT, "/Q", kOnlyNone, Opens(kNoViewer, kNoPage)),
    // An unquoted program path is read to its ".exe", blanks and all, never
    // cut at a blank; a name that cannot be read so starts nothing.
    Start("FallBackUnquotedProgram", NT, "/Q", kOnlyNone,
          Opens("+vw:<Viewer>=\"<Viewer>\" /view  \"<App>\\docs\\bye.qrnone\"",
                kPage + "<Viewer> /view %1")),
    Start("FallBackUnquotedWithoutExe", NT, "/Q", kOnlyNone,
          Opens(kNoViewer, kPage + "<App>\\docs\\my viewer %1")),
    Start("FallBackBareProgramOnlyFromTheSystem", NT, "/Q", kOnlyNone,
          Opens(kNoViewer, kPage + "viewer.exe %1")),
    Start("FallBackOnWindowsXp", XP, "/Q", kOnlyNone,
          Opens("+vw:<Viewer>=\"<Viewer>\" /view \"<App>\\docs\\bye.qrnone\"",
                kPage + "\"<Viewer>\" /view")),
    // Only a web address or a full path: a bare or relative name would be
    // looked for in the current folder.
    Start("BareDocumentStartsNothing", NT, "/Q", Document("readme"),
          Opens(kNoViewer, kPage + "\"<Viewer>\" \"%1\"")),
    Start("RelativeDocumentStartsNothing", NT, "/Q", Document("docs\\bye.qrdoc"),
          Opens(kNoViewer, kNoPage)),
    Start("NamespacePathIsNotOpened", NT, "/Q", Document("\\\\?\\<App>\\docs\\bye.qrdoc"),
          Opens(kNoViewer, kNoPage)),
    Start("DocumentOnWindowsXp", XP, "/Q", kOnlyDoc, Opens(kOpened, kNoPage)),
    // Never cut into another document.
    Start("TooLongADocumentIsNotOpened", NT, "/Q", Document("<App>\\docs\\<x520>.qrnone"),
          Opens(kNoViewer, kPage + "\"<Viewer>\" \"%1\"")),
    Start("TooLongAFallBackIsNotRun", NT, "/Q", Document("<App>\\docs\\<x240>.qrnone"),
          Opens(kNoViewer, kPage + "\"<Viewer>\" /<x250>")),
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
const std::vector<std::string> kDeleted = Join(kPlanted, {kGoes, "-n:<App>\\"}),
                               kLeft = Join(kPlanted, {kStays, "+n:<App>\\"});
// A file of the row's folder that no path may name.
std::vector<std::string> Decoy(const char *path) { return Join(kDeleted, {path}); }
// clang-format off
// A quiet run in $\cwd whose self-deletion is watched, from folder `app`
// with temporary folder `temp`.
Row Deletes(const char *name, int systems, const std::vector<std::string> &items, int options = 0,
            const char *app = "app", const char *temp = "temp") {
  return {name, systems, kProbe, {}, {}, {}, items, {}, "$\\cwd", "/Q", LOOP | options, {},
          nullptr, app, temp};
}

// \x93 and \x94 are curly quotes in the ANSI code page 1252; the OEM code
// page 437 has none, and its best fit makes them straight quotes.
const Row kDeletions[] = {
    Deletes("FolderWithBlanksOnWindows98", WIN9X, kDeleted, 0, "My App"),
    Deletes("OnWindowsXp", XP, kDeleted),
    Deletes("FolderHoldingMoreStays", NT,
            Join(kPlanted, {kGoes, "+n:<App>\\", "+w:<App>\\cmd.exe", "+w:<App>\\ping.exe"})),
    Deletes("HeldExecutableIsWaitedFor", NT, kDeleted, HELD),
    Deletes("ExecutableThatCannotGoEndsTheLoop", NT, kLeft, READ_ONLY_EXE),
    Deletes("FileOnTheOldBatchName", NT, kDeleted, SQUAT_FILE),
    Deletes("LinkOnTheOldBatchName", NT, kDeleted, SQUAT_LINK),
    Deletes("FolderWithAPercentSign", NT, Decoy("+$\\50\\uninst.exe"), 0, "50%"),
    Deletes("FolderWithAnAmpersand", NT, Decoy("+$\\a"), 0, "a&b"),
    Deletes("FolderWithBestFitQuotes", NT, kDeleted, 0, "a\x93&qrpwn&\x94"),
    // What delayed expansion and a parenthesised block might read as their own.
    Deletes("FolderWithCaretBangAndParentheses", NT, Decoy("+$\\a"), 0, "a^b!c (x)"),
    Deletes("FolderWithoutAnOemForm", NT, kDeleted, 0, "app\x80"),
    Deletes("TemporaryFolderWithBestFitQuotes", NT, kDeleted, 0, "app", "t\x93&qrpwn&\x94"),
    Deletes("TemporaryFolderWithBlanksAndAnAmpersand", NT, Decoy("+$\\my"), 0, "app", "my t&mp"),
    // Where command.com is there, 95/98/Me write a batch for it, never one
    // that names a path without an exact OEM form.
    Deletes("BatchForCommandComOnWindows98", WIN9X, kLeft, COMMAND_COM),
    Deletes("NoBatchInATemporaryFolderWithoutAnOemForm", WIN9X, kLeft, COMMAND_COM | NO_BATCH, "app",
            "t\x80"),
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(SelfDeletion, OneRow, ::testing::ValuesIn(kDeletions), RowName);

}  // namespace
}  // namespace quenrid::test
