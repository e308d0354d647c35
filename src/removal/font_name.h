// The TrueType reader of the font phase: the full font name that a font file
// carries in its 'name' table. It uses nothing but the file helpers, so it
// builds for the Linux host too, where it is tested and fuzzed.
#pragma once

#include <stdint.h>

// Writes into `name`, a buffer of `size` bytes (at least 1), the text of the
// last Macintosh full-name record (platform 1, name 4) of the first 'name'
// table among the file's first 40 table records, with a zero byte after it;
// an empty string when there is none or the file cannot be opened. The bytes
// are copied as they stand; a name with a zero byte inside counts as none. A name too long for the
// buffer with its zero byte is ignored, never cut. A record or a string that cannot be read whole
// ends the search; a name found whole before it remains the result.
void ReadFontFullName(const char *path, char *name, uint32_t size);
