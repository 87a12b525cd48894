#include "core/rdf/byte_input.h"

#include <cstring>

namespace qg::rdf {

std::string position_suffix(TextPosition pos) {
  return " at line " + std::to_string(pos.line) + " column " + std::to_string(pos.column);
}

ByteInput::ByteInput(std::string_view text)
    : cur(text.data()), end(text.data() + text.size()), window_begin_(text.data()), eof_(true) {}

ByteInput::ByteInput(FileSource& source)
    : cur(buffer_), end(buffer_), window_begin_(buffer_), source_(&source) {}

bool ByteInput::ensure_slow(size_t n) {
  while (static_cast<size_t>(end - cur) < n) {
    if (eof_) return false;
    // Keep the unread tail (shorter than n <= kMaxLookahead) at the front.
    const size_t keep = static_cast<size_t>(end - cur);
    window_offset_ += static_cast<uint64_t>(cur - window_begin_);
    if (keep > 0 && cur != buffer_) std::memmove(buffer_, cur, keep);
    cur = buffer_;
    window_begin_ = buffer_;
    const size_t got = source_->read(buffer_ + keep, kChunkSize);
    end = buffer_ + keep + got;
    if (got == 0) {
      eof_ = true;
      io_error_ = source_->error();
      if (!io_error_.empty()) return false;
    }
  }
  return true;
}

}  // namespace qg::rdf
