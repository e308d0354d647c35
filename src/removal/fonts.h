// The font step of the file phase: takes an installed font out of the system
// before its file is deleted.
#pragma once

#include <stdint.h>

// Size of the buffer that takes the full font name and its registry suffix.
enum : uint32_t { FONT_NAME_BUFFER_SIZE = 520 };

// Removes the font resource of the file at `path`, deletes the registration
// value "<full name> (TrueType)" from the font key of the running platform
// family (when the file yields a full name that leaves room for the suffix,
// and the value's data names this file: its full path, or its bare name in
// the fonts folder),
// and broadcasts WM_FONTCHANGE exactly once, waiting until the top-level
// windows have handled it. Every failure is ignored.
void RemoveFont(const char *path);
