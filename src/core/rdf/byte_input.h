// Byte input shared by the text readers: a window over an in-memory buffer
// or over a FileSource refilled in 8 KiB chunks, with line/column tracking.
//
// Contract:
//  - [cur, end) is the window of bytes available now. Scanners may advance
//    `cur` inside it directly. A refill (refill(), ensure(), peek() at the
//    window's end) may move the bytes, so no pointer into the window is kept
//    across a call that can refill: copy a token's bytes out first.
//  - ensure(n) makes n bytes available (n <= kMaxLookahead) unless the input
//    ends earlier; it is how a reader looks ahead across a chunk boundary.
//  - Lines count '\n'; the reader calls new_line() after consuming one.
//    Columns count bytes from 1.
//  - A read error (or the source's byte cap) ends the input; io_error() then
//    holds its text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/rdf/file_source.h"

namespace qg::rdf {

struct TextPosition {
  uint64_t line = 1;
  uint64_t column = 1;
};

// " at line L column C"
std::string position_suffix(TextPosition pos);

class ByteInput {
 public:
  static constexpr size_t kChunkSize = 8192;
  static constexpr size_t kMaxLookahead = 16;

  explicit ByteInput(std::string_view text);
  // Reads the source in kChunkSize chunks; the caller keeps ownership.
  explicit ByteInput(FileSource& source);

  ByteInput(const ByteInput&) = delete;
  ByteInput& operator=(const ByteInput&) = delete;

  const char* cur = nullptr;
  const char* end = nullptr;

  // Next byte (0..255) or -1 at the end of the input.
  int peek() {
    if (cur < end) return static_cast<unsigned char>(*cur);
    return refill() ? static_cast<unsigned char>(*cur) : -1;
  }
  // Byte k positions ahead, or -1 (k < kMaxLookahead).
  int peek_at(size_t k) {
    if (static_cast<size_t>(end - cur) > k || ensure(k + 1))
      return static_cast<unsigned char>(cur[k]);
    return -1;
  }
  bool eat(char c) {
    if (peek() == static_cast<unsigned char>(c)) {
      ++cur;
      return true;
    }
    return false;
  }
  void advance(size_t n = 1) { cur += n; }

  // Makes at least n bytes available; false when the input ends first.
  bool ensure(size_t n) {
    if (static_cast<size_t>(end - cur) >= n) return true;
    return ensure_slow(n);
  }
  // Fetches more input when the window is exhausted (cur == end).
  bool refill() { return ensure_slow(1); }

  void new_line() {
    ++line_;
    line_start_ = offset();
  }
  uint64_t offset() const { return window_offset_ + static_cast<uint64_t>(cur - window_begin_); }
  TextPosition position() const { return {line_, offset() - line_start_ + 1}; }
  const std::string& io_error() const { return io_error_; }

 private:
  bool ensure_slow(size_t n);

  const char* window_begin_ = nullptr;
  uint64_t window_offset_ = 0;  // absolute offset of window_begin_
  uint64_t line_ = 1;
  uint64_t line_start_ = 0;
  FileSource* source_ = nullptr;
  bool eof_ = false;
  std::string io_error_;
  char buffer_[kChunkSize + kMaxLookahead];
};

}  // namespace qg::rdf
