#include "own_data.h"

// Stamped after linking with the executable's own length; see data_offset.h.
DataOffsetField DataOffsetMarker = {{DATA_OFFSET_MARKER_BYTES}, 0};
