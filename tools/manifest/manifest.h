// The manifest: the JSON form of everything one uninstaller removes and
// shows, as the quenrid tool reads and prints it. Its schema is described in
// tools/README.md. Strings are UTF-8 here and bytes of an ANSI code page in
// the Manifest record.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "writer/uninstall_writer.h"

namespace quenrid {

// A manifest that cannot be used; what() is one line, "place: problem", with
// places written as in the JSON (files[2].fileName, settings.flags[1]).
struct ManifestError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ManifestDocument {
  unsigned codePage = 0;  // the code page the Manifest's strings are in
  Manifest manifest;
};

// The registry roots by the names that manifests, lint, plan and capture give
// them; a root without a name is written as its handle value in hexadecimal.
struct NamedValue {
  const char *name;
  uint32_t value;
};
extern const NamedValue kRegistryRoots[5];  // values: the predefined handles as the data stores them
std::string RootName(uint32_t rootKey);

// Parses manifest JSON. `codePage`, when given, takes the place of the
// manifest's own "codePage". Throws ManifestError for bad JSON, a duplicate
// or unknown key, a wrong type, a number out of range, an unknown name or a
// character the code page lacks. The limits of the format itself are left to
// EncodeBlock.
ManifestDocument ParseManifest(const std::string &json,
                               std::optional<unsigned> codePage = std::nullopt);

// What the uninstaller can do with an encodable manifest. Throws ManifestError,
// with the place, for data it would skip or resolve elsewhere than meant: a
// file folder in none of its forms (".", ".\sub", "X:\...",
// "\\server\share\..."), two file records for the same path (compared
// without regard to case), a path that cannot fit its 260-byte buffers, a
// program or document longer than theirs. Returns warnings ("place: text")
// for what only a long install folder would break, and for a manifest
// without messages.
std::vector<std::string> CheckUsable(const ManifestDocument &document);

// The manifest as indented JSON in schema order, ending with a newline. Every
// field is written but an absent program or document, so ParseManifest gives
// back the same Manifest. Throws
// ManifestError when a string has no meaning in `codePage`.
std::string FormatManifest(const Manifest &manifest, unsigned codePage);

}  // namespace quenrid
