// Helpers shared by every GoogleTest binary: the text of an error, and the
// rule for tests that read the shared conformance and real-document data.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace qg::tests {

// The message of a failed Result or Status, as a plain string, for tests
// that look for a part of it.
std::string message(const auto& r) { return r ? std::string() : r.error().message; }

// Where the shared data lives (../shared/data beside the checkout).
inline const std::filesystem::path kSharedData = QG_SHARED_DATA;

inline bool running_in_ci() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string_view(ci) == "true";
}

}  // namespace qg::tests

// Skips the current test when `path` is missing; under CI=true a missing
// file fails it instead, so that a run without the data is never green.
#define QG_REQUIRE_SHARED_FILE(path)                                         \
  do {                                                                       \
    if (!std::filesystem::exists(path)) {                                    \
      if (::qg::tests::running_in_ci())                                      \
        FAIL() << "CI=true but the shared test data is missing: " << (path); \
      GTEST_SKIP() << "shared test data not present: " << (path);            \
    }                                                                        \
  } while (0)
