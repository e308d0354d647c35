// Places in a manifest, written as in its JSON (files[2].fileName,
// settings.flags[1]), and the failure that names one: what the manifest's
// parse, its print, its usability checks and its lint share.
#pragma once

#include <string>

#include "manifest/manifest.h"

namespace quenrid {

inline std::string At(const std::string &parent, const std::string &key) {
  return parent.empty() ? key : parent + "." + key;
}
inline std::string At(const std::string &parent, size_t index) {
  return parent + "[" + std::to_string(index) + "]";
}

// Throws ManifestError with "place: problem", or the problem alone for the
// manifest as a whole (an empty place).
[[noreturn]] inline void Fail(const std::string &place, const std::string &problem) {
  throw ManifestError(place.empty() ? problem : place + ": " + problem);
}

// The data's `bytes` in UTF-8; fails at `place` when they have no meaning in
// `codePage`.
std::string Utf8(const std::string &bytes, unsigned codePage, const std::string &place);

}  // namespace quenrid
