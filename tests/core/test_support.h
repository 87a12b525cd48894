// Helpers shared by every GoogleTest binary: the text of an error, views
// longer than any limit, and the rule for tests that read the shared
// conformance and real-document data.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

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

// A read-only text of `head`, `fill` repeated, then `tail`, `bytes` long in
// all, that costs a few MiB however long it is: the same MiB of fill is
// mapped again and again. For readers that must scan past a limit.
class RepeatedText {
 public:
  static constexpr size_t kChunk = size_t{1} << 20;
  RepeatedText(std::string_view head, char fill, size_t bytes, std::string_view tail)
      : chunks_((bytes + kChunk - 1) / kChunk), bytes_(bytes) {
    if (chunks_ < 3 || head.size() > kChunk || tail.size() > kChunk) return;
    // The file: the first chunk, a chunk of fill, the last chunk.
    std::string file(3 * kChunk, fill);
    file.replace(0, head.size(), head);
    const size_t last_used = bytes - (chunks_ - 1) * kChunk;
    file.replace(2 * kChunk + last_used - tail.size(), tail.size(), tail);
    const int fd = ::memfd_create("repeated-text", 0);
    if (fd < 0) return;
    bool ok = ::write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size());
    void* base = ::mmap(nullptr, chunks_ * kChunk, PROT_NONE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ok = ok && base != MAP_FAILED;
    for (size_t k = 0; ok && k < chunks_; ++k) {
      const off_t from = k == 0 ? 0 : k + 1 < chunks_ ? kChunk : 2 * kChunk;
      ok = ::mmap(static_cast<char*>(base) + k * kChunk, kChunk, PROT_READ, MAP_SHARED | MAP_FIXED,
                  fd, from) != MAP_FAILED;
    }
    ::close(fd);
    if (base != MAP_FAILED) p_ = static_cast<char*>(base);
    ok_ = ok;
  }
  ~RepeatedText() {
    if (p_) ::munmap(p_, chunks_ * kChunk);
  }
  RepeatedText(const RepeatedText&) = delete;
  RepeatedText& operator=(const RepeatedText&) = delete;
  bool ok() const { return ok_; }
  std::string_view view() const { return {p_, bytes_}; }

 private:
  size_t chunks_, bytes_;
  char* p_ = nullptr;
  bool ok_ = false;
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
