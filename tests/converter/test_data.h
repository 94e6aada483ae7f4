// Access to the real logs beside the checkout.
#pragma once

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "common/file_io.h"

namespace converter::testing {

inline std::string RealPath(const std::string& relative) {
  return std::string(TEST_REALDATA_DIR) + "/" + relative;
}

// The bytes of a real log; the calling test skips itself when the data is absent.
#define REAL_LOG_OR_SKIP(var, relative)                                          \
  std::optional<std::string> var##Maybe =                                        \
      common::ReadWholeFile(::converter::testing::RealPath(relative));           \
  if (!var##Maybe) GTEST_SKIP() << "real data not found: " << TEST_REALDATA_DIR; \
  [[maybe_unused]] const std::string& var = *var##Maybe

}  // namespace converter::testing
