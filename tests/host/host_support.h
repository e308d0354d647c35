// Test support: temporary files, and the message of what a call throws.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

// A fresh, empty file of the test's own; `pattern` ends in XXXXXX.
inline std::string MakeTempFile(std::string pattern) {
  const int fd = mkstemp(&pattern[0]);
  EXPECT_GE(fd, 0) << pattern;
  if (fd >= 0) close(fd);
  return pattern;
}

// What `call` throws, or "" when it returns.
template <class Call>
std::string ErrorOf(Call call) {
  try {
    call();
  } catch (const std::exception &error) {
    return error.what();
  }
  return "";
}
