// A fresh, empty file of the test's own under /tmp.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

// `pattern` ends in XXXXXX, which mkstemp makes unique.
inline std::string MakeTempFile(std::string pattern) {
  const int fd = mkstemp(&pattern[0]);
  EXPECT_GE(fd, 0) << pattern;
  if (fd >= 0) close(fd);
  return pattern;
}
