// The document or web page opened at the end of the run.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "../data/state.h"  // DOCUMENT_BUFFER_SIZE

enum : uint32_t {
  CLASS_VALUE_SIZE = 260,  // room for a value read from the classes root
};

// Hands `document` to the shell, from the document's folder unless it is a
// web address ("http://" or "https://", letters in any case). When the shell
// cannot open it, runs the open command of `extension`'s class with the
// document in place of its "%1" placeholder, or appended when there is none.
// An empty document, one of DOCUMENT_BUFFER_SIZE characters or more, or a
// fall-back command that would not fit that size, is not opened. Reports
// nothing.
void OpenClosingDocument(const char *document, const char *extension);

// Opens `subKey` under `root` and reads its default value into `output`
// (CLASS_VALUE_SIZE bytes; may be `subKey` itself). Returns 0 when the key was
// opened, with the value in `output`, or the empty string there when the key
// has no readable value; otherwise the error code of the open, `output`
// untouched.
LONG QueryClassesRootDefault(HKEY root, const char *subKey, char *output);
