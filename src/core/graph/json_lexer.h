// JsonLexer: the tokens and plain values of a JSON text held in memory, for
// the readers built on it (the graph JSON reader derives from it).
//
// A cursor over the text and the first error. Every function returns false
// (next_key and next_elem: -1) on error, after recording a message and the
// place; a later error never replaces the first, and positioned_message()
// gives "{description} at line {line} column {column}". A string read comes
// back as a view into the text when it holds no escape, else into the
// caller's scratch string, and is checked to be UTF-8. Numbers keep their
// kind (unsigned, negative, double). Arrays and objects nest at most
// kJsonNesting deep (enter() and leave()); one more is "recursion limit
// exceeded". The typed reads (parse_bool_field, ...) and
// the field errors word their messages the way the reader reports them.
//
// Not here: record layouts, caps, building a graph (the reader's), writing
// JSON (json_text.h). Depends on property_value.h and core/common/utf8.h.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "core/common/interrupt.h"
#include "core/graph/property_value.h"

namespace qg {

// Nesting levels of arrays and objects in one document, the outermost
// counting as the first.
inline constexpr int kJsonNesting = 127;

class JsonLexer {
 public:
  explicit JsonLexer(std::string_view text) : s_(text.data()), n_(text.size()) {}

  // ---- errors ----
  bool fail_at(size_t index, std::string message) {
    if (!failed_) {
      failed_ = true;
      msg_ = std::move(message);
      err_index_ = std::min(index, n_);
    }
    return false;
  }
  bool fail_here(std::string message) { return fail_at(i_, std::move(message)); }
  bool fail_peek(std::string message) { return fail_at(i_ + 1, std::move(message)); }
  std::string positioned_message() const;

  // ---- lexing ----
  // The next byte after whitespace, or -1 at the end of the text.
  int peek_ws() {
    while (i_ < n_) {
      char c = s_[i_];
      if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
        ++i_;
        continue;
      }
      return static_cast<unsigned char>(c);
    }
    return -1;
  }
  // At '[' or '{': one level deeper. leave() at the closing bracket.
  bool enter() {
    if (--depth_ == 0) return fail_peek("recursion limit exceeded");
    ++i_;
    return true;
  }
  void leave() {
    ++i_;
    ++depth_;
  }
  bool ident(std::string_view rest) {
    for (char expected : rest) {
      if (i_ >= n_) return fail_here("EOF while parsing a value");
      if (s_[i_++] != expected) return fail_here("expected ident");
    }
    return true;
  }
  bool parse_str(std::string& scratch, std::string_view& out);
  bool parse_escape(std::string& scratch);
  bool hex4(uint32_t& out);
  bool parse_number(PropertyValue& out);
  // 1: a key was read into `key`; 0: the object ends here; false on error (-1).
  int next_key(bool& first, std::string& scratch, std::string_view& key);
  bool colon();
  // 1: an element follows; 0: the array ends here; -1 on error.
  int next_elem(bool& first);
  // At '{': the object's members, calling member(key) as each key is read
  // (the key may view scratch_); member reads the colon and the value and
  // returns false on error. Polls once per member.
  template <class Member>
  bool parse_members(Member&& member) {
    if (!enter()) return false;
    bool first = true;
    while (true) {
      std::string_view key;
      int r = next_key(first, scratch_, key);
      if (r < 0) return false;
      if (r == 0) break;
      poll_();
      if (!member(key)) return false;
    }
    leave();
    return true;
  }
  // At '[': element() for each element, which reads it and returns false on
  // error. Polls once per element.
  template <class Element>
  bool parse_elements(Element&& element) {
    if (!enter()) return false;
    bool first = true;
    while (true) {
      int r = next_elem(first);
      if (r < 0) return false;
      if (r == 0) break;
      poll_();
      if (!element()) return false;
    }
    leave();
    return true;
  }
  bool end_struct_seq();
  bool invalid_type(std::string_view expected);
  bool invalid_length(size_t index, std::string_view expected);
  bool unknown_field(std::string_view key, std::string_view expected) {
    peek_ws();
    return fail_here("unknown field `" + std::string(key) + "`, expected " + std::string(expected));
  }
  bool duplicate_field(std::string_view key) {
    peek_ws();
    return fail_here("duplicate field `" + std::string(key) + "`");
  }
  bool missing_field(const char* key) {
    return fail_here(std::string("missing field `") + key + "`");
  }

  // ---- values ----
  bool parse_value(PropertyValue& out);
  bool parse_bool_field(bool& out);
  bool parse_string_field(std::string& scratch, std::string_view& out);

  // ---- the text ----
  // Bytes not yet read.
  size_t remaining() const { return n_ - i_; }
  // Whether `v` views the text itself (not a scratch copy).
  bool in_text(std::string_view v) const {
    return v.data() >= s_ && v.data() + v.size() <= s_ + n_;
  }

 protected:
  std::string scratch_;  // strings that are copied before the next one is read
  Poller poll_;          // readers poll once per record, property and item of a value

 private:
  static constexpr int kDepthBudget = kJsonNesting + 1;  // levels 1..kJsonNesting allowed

  const char* s_;
  size_t n_;
  size_t i_ = 0;
  int depth_ = kDepthBudget;
  bool failed_ = false;
  std::string msg_;
  size_t err_index_ = 0;
};

}  // namespace qg
