#include "data_offset.h"

// Stamped after linking with the executable's own length; see data_offset.h.
// The only place the marker bytes occur in the executable.
DataOffsetField DataOffsetMarker = {{0x77, 0x77, 0x67, 0x54, 0x29, 0x48}, 0};
