#include "own_data.h"

// Stamped after linking with the executable's own length; see data_offset.h.
// Visible outside the unit, so that the whole-program build of the stub
// cannot take the unstamped 0 for a constant.
__attribute__((externally_visible)) DataOffsetField DataOffsetMarker = {{DATA_OFFSET_MARKER_BYTES}, 0};
