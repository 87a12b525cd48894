#include "core/rdf/byte_input.h"

#include <cerrno>
#include <cstring>

namespace qg::rdf {

std::string position_suffix(TextPosition pos) {
  return " at line " + std::to_string(pos.line) + " column " + std::to_string(pos.column);
}

ByteInput::ByteInput(std::string_view text)
    : cur(text.data()), end(text.data() + text.size()), window_begin_(text.data()), eof_(true) {}

ByteInput::ByteInput(std::FILE* file)
    : cur(buffer_), end(buffer_), window_begin_(buffer_), file_(file) {}

bool ByteInput::ensure_slow(size_t n) {
  while (static_cast<size_t>(end - cur) < n) {
    if (eof_) return false;
    // Keep the unread tail (shorter than n <= kMaxLookahead) at the front.
    const size_t keep = static_cast<size_t>(end - cur);
    window_offset_ += static_cast<uint64_t>(cur - window_begin_);
    if (keep > 0 && cur != buffer_) std::memmove(buffer_, cur, keep);
    cur = buffer_;
    window_begin_ = buffer_;
    const size_t got = std::fread(buffer_ + keep, 1, kChunkSize, file_);
    end = buffer_ + keep + got;
    if (got < kChunkSize) {
      if (std::ferror(file_)) {
        const int err = errno;
        io_error_ = std::string("I/O error while reading: ") +
                    (err != 0 ? std::strerror(err) : "read failed");
        eof_ = true;
        return false;
      }
      if (got == 0) eof_ = true;
    }
  }
  return true;
}

}  // namespace qg::rdf
