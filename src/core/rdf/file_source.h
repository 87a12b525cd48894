// The bytes of a file, read in chunks under a byte cap.
//
// Contract:
//  - read() delivers the next bytes; 0 at the end of the input.
//  - The cap counts bytes as they arrive, so it holds for FIFOs, devices and
//    growing files as well as for regular files: once more than `max_bytes`
//    bytes have arrived the input ends, over_cap() is true and bytes_read()
//    is max_bytes + 1. At most max_bytes bytes are ever delivered.
//  - A read error ends the input; error() then holds its text. error() is
//    also set when the cap ends the input.
//  - Opening and reading resume after a signal once the interrupt hook has
//    been asked (interrupt.h); each chunk read counts as work for its polls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/common/interrupt.h"

namespace qg::rdf {

// open(path, O_RDONLY | O_CLOEXEC), resumed after signals; -1 with errno set
// on failure.
int open_for_reading(const std::string& path);

class FileSource {
 public:
  static constexpr uint64_t kNoCap = UINT64_MAX;

  // Takes over the open descriptor `fd` (closed by the destructor).
  FileSource(int fd, uint64_t max_bytes) noexcept : fd_(fd), max_bytes_(max_bytes) {}
  ~FileSource();
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Up to n (> 0) bytes into buf.
  size_t read(char* buf, size_t n);

  bool over_cap() const noexcept { return over_cap_; }
  uint64_t max_bytes() const noexcept { return max_bytes_; }
  uint64_t bytes_read() const noexcept { return total_; }
  const std::string& error() const noexcept { return error_; }

 private:
  int fd_;
  uint64_t max_bytes_;
  uint64_t total_ = 0;
  bool ended_ = false;
  bool over_cap_ = false;
  std::string error_;
  Poller poll_;
};

}  // namespace qg::rdf
