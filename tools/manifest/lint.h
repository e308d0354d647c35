// The lint of a manifest: data the uninstaller accepts and acts on, but that
// is dangerous or is not what its author can have meant.
#pragma once

#include <string>
#include <vector>

#include "writer/uninstall_writer.h"

namespace quenrid {

// One "place: reason" line per finding, places written as in the JSON
// (directories[2], settings.program), in manifest order:
// - a directory entry that cleans a drive root, the whole folder a macro
//   names, a folder above the one it starts from (".."), or that holds an
//   unknown macro or an absolute path without a macro;
// - a registry key entry that the uninstaller's registry guard refuses;
// - a file, shortcut or directory folder with a namespace prefix, a short
//   (8.3) name, or a drive letter other than the one most file folders name
//   (taken for the install folder's);
// - a path or message that may not fit the uninstaller's buffers, where its
//   length depends on the machine (macros, the formatted argument);
// - a message with a "%" form other than the one "%s" it fills;
// - a program with a blank that is not in quotes (one program name, no
//   arguments);
// - a message an interactive run shows that the data leaves empty.
// A manifest without any message gets none of the last kind: CheckUsable
// warns about it as a whole.
std::vector<std::string> LintManifest(const Manifest &manifest);

}  // namespace quenrid
