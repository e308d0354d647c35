// The uninstaller's limits as the checks of a manifest measure against them:
// its buffers less their NUL, from the product's own headers, and the
// shortest folder a macro or the install folder can stand for.
#pragma once

#include <stddef.h>

#include "data/messages.h"
#include "data/state.h"

namespace quenrid {

constexpr size_t kPathMax = PATH_BUFFER_SIZE - 1;
constexpr size_t kCommandMax = PROGRAM_LINE_SIZE - 1;
constexpr size_t kDocumentMax = DOCUMENT_BUFFER_SIZE - 1;
constexpr size_t kMessageMax = MESSAGE_BUFFER_SIZE - 1;
constexpr size_t kShortestFolder = 3;  // a drive root, "C:\"

}  // namespace quenrid
