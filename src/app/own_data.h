// The stub's own block: the field the build stamps and the reader's entry.
#pragma once

#include "../data/data_offset.h"

// The stub's field; app/data_offset.cpp is the one object that holds it, so
// the marker occurs once in the executable.
extern DataOffsetField DataOffsetMarker;

// Reads the block that DataOffsetMarker points at from the running
// executable, whose path goes into ModulePath. True when the whole block was
// read.
bool ReadUninstallData();
