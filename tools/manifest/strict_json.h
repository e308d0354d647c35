// The JSON under a manifest, read so that no object holds a key twice.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace quenrid {

// Ordered, so that dump prints the keys in schema order.
using Json = nlohmann::ordered_json;

// Parses `text` as one JSON document. Throws ManifestError for text that is
// no JSON ("parse error at line 3, column 20: ...") and for a key that its
// object already holds, at that object's place (files[1]: duplicate key
// "folder").
Json ParseStrictJson(const std::string &text);

}  // namespace quenrid
