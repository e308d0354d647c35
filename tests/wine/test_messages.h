// The message table the tests pack: every number distinct and recognisable,
// "%s" where the uninstaller fills in a path.
#pragma once

#include <string>
#include <vector>

namespace quenrid::test {

inline std::vector<std::string> TestMessages() {
  return {
      "Quenrid Test Uninstall",                // 0: caption
      "Remove %s and all of its components?",  // 1: confirmation, reader code 1
      "Quenrid Test was removed.",             // 2: closing message
      "&Yes",
      "Yes to &all",
      "&No",
      "No to a&ll",                                     // 3-6: the read-only question's buttons
      "Not enough memory to read %s.",                  // 7
      "The uninstall data in %s is damaged.",           // 8
      "%s is read-only. Remove it anyway?",             // 9
      "No other program uses %s any more. Remove it?",  // 10
      "Removing files...",
      "Removing shortcuts...",  // 11-12
      "Removing folders...",
      "Removing registry entries...",                     // 13-14
      "Some files are still in use. Close the program.",  // 15
  };
}

// `text` with its "%s" replaced by `argument`, as the uninstaller formats it.
inline std::string WithArgument(std::string text, const std::string &argument) {
  std::string::size_type at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

}  // namespace quenrid::test
