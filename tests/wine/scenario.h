// The one runner of the real packed stub: a row holds the uninstall data,
// what exists before the run, the Windows versions, the switches, the boxes
// and their answers, and what must be gone or still be there after it. Every
// run is first planned by `quenrid plan` for its switches, and the plan must
// say what the run then did; and every run leaves the user's and the shell's
// places as they were.
#pragma once

#include <string>
#include <vector>

#include "data/uninstall_data.h"
#include "harness.h"
#include "writer/uninstall_writer.h"

namespace quenrid::test {

// The Windows versions a row runs under: wine's default NT 6, Windows XP
// (NT 5) and Windows 98.
enum Systems { NT = 1, WIN9X = 2, BOTH = 3, XP = 4, ALL = 7 };
enum : uint32_t { HKCR = 0x80000000, HKCU = 0x80000001, HKLM = 0x80000002 };
enum : uint8_t {
  SHARED = FILE_FLAG_SHARED_DLL, FONT = FILE_FLAG_FONT, COM = FILE_FLAG_COM_SERVER,
  IN_USE = FILE_FLAG_CHECK_IN_USE
};
// How a row's run differs from a plain one.
enum Options {
  LIST_UNCLOSED = 1,           // the directory list lacks its closing empty string
  LIST_LAST_UNTERMINATED = 2,  // and its last string its terminator
  ZERO_OFFSET = 4,             // the stub's offset field zeroed after packing
  HIDDEN = 16,                 // run in a window station nobody sees
  HELD = 32,                   // the executable held open a while after the run
  READ_ONLY_EXE = 64,          // the executable read-only: it cannot delete itself
  SQUAT_FILE = 128,            // a file of another's lies where the old batch went
  SQUAT_LINK = 256,            // a dangling link lies there
  COMMAND_COM = 512,           // the recorder as the Windows folder's command.com
  NO_BATCH = 1024,             // where command.com is, no batch can be written either
  LOOP = 2048,                 // the loop of cmd.exe that deletes the uninstaller is watched
  CAPTURED = 4096,             // the block is what `quenrid capture` finds the items to add,
                               // packed by quenrid.exe, which expands its macros here
};
// A box or question the run must show next, and how it is answered: a button,
// IDCANCEL as Esc gives it to the read-only question, ENTER or the CLOSE_BOX;
// EMPTY for a message left empty in the row's data, so never shown. Message 9
// is the read-only question, 10 the run-out shared file's Yes/No box, 0 a box
// shown before any message was read; `path` is the file a question names.
enum { EMPTY = 0, ENTER = -1, CLOSE_BOX = -2 };
struct Question {
  int message, answer;
  const char *path = "";
  bool release = false;  // the files held open are let go first
};

// Placeholders in every string of a row:
//   $          the row's own folder
//   <App>      the uninstaller's folder, $\app unless the row names another
//   <Exe>      the uninstaller itself
//   <Temp>     the runs' temporary folder, $\temp unless the row names another
//   <K>        a registry key of the row's own, below Software
//   <T>        a first-level key name of the row's own
//   <id>       a name unique to the row and run
//   <Docs> <Desktop> <StartUp> <ProgramFiles> <PublicDesktop>...  the shell and
//              program folders, moved by each run into $ (the public ones into
//              <Public>), out of a faulty phase's reach of the prefix's own
//   <Q> <Z>    the row's own folder on another drive letter that names it, and
//              on Z:, wine's letter for the host's root
//   ~{path}    the short form the machine gives `path`, once it exists
//   <CV>       Software\Microsoft\Windows\CurrentVersion
//   <Fonts> <OtherFonts>  below HKLM, the running family's font key, the other's
//   <Viewer>   the recorder that stands in for the document viewer
//   <WinFonts> the Windows folder's Fonts
//   <xN>       N letters x
// An item is "-" (must be gone after the run) or "+" (must still be there),
// then a path, with these before it and a colon:
//   r   a read-only file, still read-only if it stays
//   l h a file held open by another process; with h, that lets others read it
//   q   a shared file whose counts' key the run may only read
//   k   a registry subkey that is a link: to the key of the item before it when
//       that is a t, else nowhere, so that it can be neither opened nor deleted
//   t   a registry key below HKLM, or a value's key, that the next k links to
//   o   a value that the prefix may hold already: kept as it is, or set to
//       what follows "=", and put back after the row (or deleted, if new)
//   sB>A  a shared file with count B before and A after (none if empty)
//   c x e  a copy of the COM server that records its calls, crashes, or lacks the
//       export: each c and x is unregistered once, by regsvr32 on NT 6, else by the stub
//   f   a TrueType file whose Macintosh full name is "Quenrid <id> <stem>"
//   n   something the plan does not speak of
//   d   a copy of the server that imports qrdep.dll by its bare name, with
//       qrdep.dll (a recording server too) beside it; unregistered like c
//   p   a copy of qrdep.dll planted where a search for a program or library
//       by its bare name would find it: never loaded or run
//   j   a link from the path before "=" to the one after it (a folder when that
//       ends in a backslash), made as wine makes one: a symbolic link of the host
//   w   the recorder, standing in for a program: after "=" the one command
//       line it must be started with, as "directory|line" when the directory
//       counts too; without, it must never start. The plan starts it likewise
//   v   with w, the viewer: started by the desktop's shell where that answers
//       on NT 6, else by the uninstaller; the plan opens the row's document
// A registry value may be followed by "=" and its data ("x" without).
// A path ending in a backslash is a folder; one starting with HK a registry
// key, or a value after a double backslash (the default value if none follows).
// Items that are to go may go after the run has ended: they are waited for.
struct Row {
  const char *name;
  int systems;
  std::vector<FileRecord> files;
  std::vector<ShortcutRecord> shortcuts;
  std::vector<RegistryRecord> registry;
  std::vector<std::string> directories;
  std::vector<std::string> items;
  std::vector<Question> dialogue = {};
  const char *startIn = nullptr;  // the run's current directory
  const char *switches = "/S";
  int options = 0;
  Settings settings = {};         // program and document lines expanded too
  std::string (*block)() = nullptr;  // a block the reader refuses, with all of its boxes
  const char *app = "app", *temp = "temp";
};

// The items of `a` and then of `b`.
std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string> &b);

// Runs each row under each Windows version it names, in a folder of its own.
void RunAll(const std::vector<Row> &rows);

// One row a test, for rows that ctest lists one by one.
class OneRow : public ::testing::TestWithParam<Row> {};
std::string RowName(const ::testing::TestParamInfo<Row> &info);
void PrintTo(const Row &row, std::ostream *os);

}  // namespace quenrid::test
