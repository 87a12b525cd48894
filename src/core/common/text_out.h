// TextOut: the output buffer of every text writer in the core (graph JSON,
// the pickle state, Turtle, N-Triples, JSON-LD).
//
// A growable byte buffer with a raw cursor: a writer reserves the room it
// needs, writes bytes there and commits them; put() and lit() append text,
// put_bool() and the integer forms append the usual decimal text; view()
// shows what was written. It knows no format: JSON strings, doubles and
// values are written by core/graph/json_text.h. Running out of memory
// throws std::bad_alloc. Standard library only.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

namespace qg {

class TextOut {
 public:
  TextOut() = default;
  explicit TextOut(size_t reserve_bytes) { grow(reserve_bytes); }
  TextOut(const TextOut&) = delete;
  TextOut& operator=(const TextOut&) = delete;
  ~TextOut() { std::free(p_); }

  size_t size() const noexcept { return len_; }
  const char* data() const noexcept { return p_; }
  std::string_view view() const noexcept { return std::string_view(p_, len_); }
  // A copy of the text written so far.
  std::string take() const { return std::string(view()); }

  // Room for n more bytes; write them at the returned pointer, then commit.
  char* room(size_t n) {
    if (cap_ - len_ < n) grow(n);
    return p_ + len_;
  }
  void commit(size_t n) noexcept { len_ += n; }

  void put(char c) {
    *room(1) = c;
    ++len_;
  }
  void put(std::string_view text) {
    if (text.empty()) return;
    std::memcpy(room(text.size()), text.data(), text.size());
    len_ += text.size();
  }
  // A literal known at compile time.
  template <size_t N>
  void lit(const char (&text)[N]) {
    std::memcpy(room(N - 1), text, N - 1);
    len_ += N - 1;
  }

  void put_bool(bool b) {
    if (b) lit("true");
    else lit("false");
  }
  void put_u64(uint64_t v) {
    char* p = room(20);
    len_ += static_cast<size_t>(std::to_chars(p, p + 20, v).ptr - p);
  }
  void put_i64(int64_t v) {
    char* p = room(20);
    len_ += static_cast<size_t>(std::to_chars(p, p + 20, v).ptr - p);
  }

 private:
  // Large buffers grow by realloc, which remaps their pages instead of
  // copying and faulting them in again.
  void grow(size_t n) {
    size_t want = len_ + n;
    size_t cap = cap_ < 256 ? 256 : cap_ * 2;
    if (cap < want) cap = want;
    char* p = static_cast<char*>(std::realloc(p_, cap));
    if (!p) throw std::bad_alloc();
    p_ = p;
    cap_ = cap;
  }

  char* p_ = nullptr;
  size_t len_ = 0;
  size_t cap_ = 0;
};

}  // namespace qg
