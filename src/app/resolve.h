// What the steps around the removal resolve before they start anything: the
// pre-uninstall program line, the closing document's folder, the interpreter
// of the self-deletion batch. The steps and `quenrid plan` both call these;
// nothing here starts a process or changes the machine.
#pragma once

#include "closing_document.h"  // DOCUMENT_BUFFER_SIZE
#include "pre_uninstall.h"     // PROGRAM_LINE_SIZE

// Resolves `command`, the settings' program line, into `program` and
// `arguments`. A line whose first character after an optional opening quote
// and blanks is "#" is expanded as a whole; any other line is taken relative
// to InstallFolder, also when it looks absolute. A program in quotes may carry
// arguments after its closing quote; an unquoted line is all program. The
// quotes of a program without arguments or without a closing quote are
// dropped. Both point into WorkPath or into a working buffer returned in
// `expansion` (null otherwise), which the caller frees with FreeWorkingBuffer.
// False when the line does not fit its buffer: nothing is to be started.
bool ResolveProgramLine(const char *command, char **expansion, char **program, char **arguments);

// "program" or "program" arguments, into `line` of PROGRAM_LINE_SIZE bytes;
// false when the program path has 260 characters or more or the line would
// not fit.
bool BuildProgramLine(char *line, const char *program, const char *arguments);

// The program's folder, the folder it is started from, into `folder`
// (PATH_BUFFER_SIZE bytes); false when the path has no backslash.
bool ProgramFolder(char *folder, const char *program);

// A closing document that may be opened: not empty, below
// DOCUMENT_BUFFER_SIZE characters, and an openable place (IsOpenablePlace).
bool IsOpenableDocument(const char *document);

// The document's folder, built in `folder` (DOCUMENT_BUFFER_SIZE bytes); null
// for a web address or a document without a backslash.
const char *DocumentFolder(char *folder, const char *document);

// The batch's interpreter into `path` (PATH_BUFFER_SIZE bytes): command.com
// from the Windows folder on the 95/98/Me family, where it lives; otherwise
// cmd.exe from the system folder, with `isCmd` set. False when no folder fits.
bool FindBatchInterpreter(char *path, bool *isCmd);
