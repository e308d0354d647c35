// Path text helpers shared by every module that builds paths.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Appends one backslash to a path that is not empty and does not end in one.
// `size` is the buffer's size. False, leaving the path as it is, when there is
// no room for the backslash.
bool AppendBackslash(char *path, uint32_t size);

// Removes the one trailing backslash of a path of at least 4 characters, so
// that a drive root such as C:\ keeps its own.
void StripTrailingBackslash(char *path);

// Appends `text` to the string in `buffer` of `size` bytes. False, leaving
// the buffer as it was, when the whole text does not fit: a path is never cut
// into a different one.
bool AppendText(char *buffer, uint32_t size, const char *text);

// AppendText with each text in turn up to a null one; false at the first
// that does not fit, the buffer then holding those before it. One call with
// its texts instead of one call each keeps the command lines small to build.
bool AppendTexts(char *buffer, uint32_t size, ...) __attribute__((sentinel));

// A drive path (X:\...) or a network path (\\server\...): a path that does
// not depend on the current directory or drive.
bool IsFullPath(const char *path);

// \\?\, \\.\ or \??\, in either slash: the system's own namespaces, in
// which no name is checked or completed, and devices.
bool HasNamespacePrefix(const char *path);

// Where the program of a pre-uninstall program line starts: after an
// optional opening quote and the blanks behind it. A "#" there makes the
// line one to expand as a whole. Inline, as the stub has one caller.
inline size_t ProgramLineStart(const char *line) {
  size_t start = line[0] == '"' ? 1 : 0;
  while (line[start] == ' ') ++start;
  return start;
}

// "http://" or "https://" at the start, letters in any case.
bool IsWebAddress(const char *text);

// What may be opened as a closing document: a web address, or a full path
// that is not a namespace or device path (\\?\, \\.\); never with a quote,
// which would end it early on a command line. A bare or relative name would
// be looked for in the current folder.
bool IsOpenablePlace(const char *text);
