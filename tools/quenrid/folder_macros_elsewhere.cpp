// The host cannot know the folders of the machine the product is installed on.
#include "quenrid/folder_macros.h"

namespace quenrid {

std::string ResolveFolderMacro(const std::string &token, const std::string &place,
                               const std::string &, unsigned) {
  throw ManifestError(place + ": \"" + token +
                      "\" is expanded only by quenrid.exe pack, on the machine the product is "
                      "installed on; this build cannot know that machine's folders");
}

}  // namespace quenrid
