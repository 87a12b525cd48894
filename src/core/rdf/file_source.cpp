#include "core/rdf/file_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qg::rdf {

int open_for_reading(const std::string& path) {
  for (;;) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 || errno != EINTR) return fd;
    check_interrupt();  // a FIFO waits here for its writer
  }
}

FileSource::~FileSource() {
  if (fd_ >= 0) ::close(fd_);
}

size_t FileSource::read(char* buf, size_t n) {
  if (ended_) return 0;
  // One byte beyond the cap tells a file of exactly max_bytes bytes from a
  // longer one.
  const uint64_t room = max_bytes_ - total_;
  const size_t want = room < n ? static_cast<size_t>(room) + 1 : n;
  poll_(want / 64 + 1);  // about what a parser counts for as many bytes
  for (;;) {
    const ssize_t got = ::read(fd_, buf, want);
    if (got > 0) {
      total_ += static_cast<uint64_t>(got);
      if (total_ <= max_bytes_) return static_cast<size_t>(got);
      total_ = max_bytes_ + 1;
      over_cap_ = true;
      ended_ = true;
      error_ = "input longer than " + std::to_string(max_bytes_) + " bytes";
      return 0;
    }
    if (got == 0) {
      ended_ = true;
      return 0;
    }
    const int err = errno;
    if (err == EINTR) {
      check_interrupt();
      continue;
    }
    ended_ = true;
    error_ = std::string("I/O error while reading: ") + std::strerror(err);
    return 0;
  }
}

}  // namespace qg::rdf
