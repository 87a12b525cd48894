// Helpers shared by every GoogleTest binary: the text of an error, views
// longer than any limit, and the rule for tests that read the shared
// conformance and real-document data.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace qg::tests {

// The message of a failed Result or Status, as a plain string, for tests
// that look for a part of it.
std::string message(const auto& r) { return r ? std::string() : r.error().message; }

// A view of `bytes` bytes that costs no memory and cannot be read: an
// inaccessible reservation. For input over a length limit, which must be
// refused before any of its bytes is read (a read crashes the test).
class UnreadableView {
 public:
  explicit UnreadableView(size_t bytes)
      : bytes_(bytes),
        p_(::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0)) {}
  ~UnreadableView() {
    if (p_ != MAP_FAILED) ::munmap(p_, bytes_);
  }
  UnreadableView(const UnreadableView&) = delete;
  UnreadableView& operator=(const UnreadableView&) = delete;
  bool ok() const { return p_ != MAP_FAILED; }
  std::string_view view() const { return {static_cast<const char*>(p_), bytes_}; }

 private:
  size_t bytes_;
  void* p_;
};

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
