// JSON text forms shared by every JSON we write (graph JSON, JSON-LD).
//
// Strings: only the double quote, the backslash and bytes below 0x20 are
// escaped (\" \\ \b \t \n \f \r, others as \u00XX with lowercase hex);
// every other byte, DEL and non-ASCII included, is copied raw.
//
// Doubles: the shortest digits that read back to the same double, laid out
// in plain notation when the decimal exponent e of the first significant
// digit is in -5..15 (always with a fractional part: 1.0, 100.0, 0.00001),
// in exponent notation otherwise (1e-6, 1e+16, 1.5e+16; the sign of the
// exponent always written, no leading zeros). Zero is 0.0 / -0.0, and a
// non-finite double is written as null.
//
// JsonBuf is a growable output buffer with a raw cursor: writers reserve the
// room they need, write bytes, and commit; view() shows the text.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "core/graph/property_value.h"


namespace qg {

class JsonBuf {
 public:
  JsonBuf() = default;
  explicit JsonBuf(size_t reserve_bytes) { grow(reserve_bytes); }
  JsonBuf(const JsonBuf&) = delete;
  JsonBuf& operator=(const JsonBuf&) = delete;
  ~JsonBuf() { std::free(p_); }

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
  inline void put_double(double d);
  inline void put_string(std::string_view s);
  inline void put_value(const PropertyValue& v);
  // A property map as an object, entries in the map's own order.
  inline void put_properties(const PropertyMap& m);

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

namespace json_text_detail {

// 1 for the bytes that a JSON string must escape.
inline constexpr struct EscapeTable {
  unsigned char t[256];
  constexpr EscapeTable() : t{} {
    for (int i = 0; i < 0x20; ++i) t[i] = 1;
    t[static_cast<unsigned char>('"')] = 1;
    t[static_cast<unsigned char>('\\')] = 1;
  }
} kEscape{};

// Writes a double in its shortest round-trip digits: positional with at
// least one fractional digit ("0.001", "12.0") for exponents -5 .. 15,
// otherwise "d[.ddd]e+x" / "d[.ddd]e-x"; non-finite values as "null". The
// digits come from std::to_chars's shortest scientific form.
inline size_t format_double(char* out, double d) {
  char* p = out;
  if (!std::isfinite(d)) {
    std::memcpy(p, "null", 4);
    return 4;
  }
  if (d == 0.0) {
    if (std::signbit(d)) *p++ = '-';
    std::memcpy(p, "0.0", 3);
    return static_cast<size_t>(p + 3 - out);
  }
  char sci[32];
  char* end = std::to_chars(sci, sci + sizeof sci, d, std::chars_format::scientific).ptr;
  const char* q = sci;
  if (*q == '-') {
    *p++ = '-';
    ++q;
  }
  char digits[20];
  int nd = 0;
  digits[nd++] = *q++;
  if (*q == '.') {
    ++q;
    while (*q != 'e') digits[nd++] = *q++;
  }
  ++q;  // 'e'
  bool neg_exp = *q == '-';
  ++q;  // sign
  int e = 0;
  while (q < end) e = e * 10 + (*q++ - '0');
  if (neg_exp) e = -e;

  if (e >= -5 && e <= 15) {
    if (e < 0) {
      *p++ = '0';
      *p++ = '.';
      for (int k = 0; k < -e - 1; ++k) *p++ = '0';
      std::memcpy(p, digits, nd);
      p += nd;
    } else {
      int int_digits = e + 1;
      for (int k = 0; k < int_digits; ++k) *p++ = k < nd ? digits[k] : '0';
      *p++ = '.';
      if (nd > int_digits) {
        std::memcpy(p, digits + int_digits, nd - int_digits);
        p += nd - int_digits;
      } else {
        *p++ = '0';
      }
    }
  } else {
    *p++ = digits[0];
    if (nd > 1) {
      *p++ = '.';
      std::memcpy(p, digits + 1, nd - 1);
      p += nd - 1;
    }
    *p++ = 'e';
    *p++ = e < 0 ? '-' : '+';
    p = std::to_chars(p, p + 8, e < 0 ? -e : e).ptr;
  }
  return static_cast<size_t>(p - out);
}

}  // namespace json_text_detail

inline void JsonBuf::put_double(double d) {
  // Longest form: sign, "0.0000" and 17 digits, or 17 digits + point + exponent.
  char* p = room(40);
  len_ += json_text_detail::format_double(p, d);
}

inline void JsonBuf::put_string(std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto& esc = json_text_detail::kEscape.t;
  // Worst case: every byte becomes \u00XX.
  char* p = room(s.size() * 6 + 2);
  char* const start = p;
  *p++ = '"';
  const unsigned char* in = reinterpret_cast<const unsigned char*>(s.data());
  const unsigned char* const stop = in + s.size();
  while (in < stop) {
    const unsigned char* run = in;
    while (in < stop && !esc[*in]) ++in;
    if (in > run) {
      std::memcpy(p, run, static_cast<size_t>(in - run));
      p += in - run;
    }
    if (in == stop) break;
    unsigned char c = *in++;
    *p++ = '\\';
    switch (c) {
      case '"': *p++ = '"'; break;
      case '\\': *p++ = '\\'; break;
      case '\b': *p++ = 'b'; break;
      case '\t': *p++ = 't'; break;
      case '\n': *p++ = 'n'; break;
      case '\f': *p++ = 'f'; break;
      case '\r': *p++ = 'r'; break;
      default:
        *p++ = 'u';
        *p++ = '0';
        *p++ = '0';
        *p++ = kHex[c >> 4];
        *p++ = kHex[c & 15];
    }
  }
  *p++ = '"';
  len_ += static_cast<size_t>(p - start);
}

inline void JsonBuf::put_value(const PropertyValue& v) {
  switch (v.kind()) {
    case ValueKind::Null: lit("null"); break;
    case ValueKind::Bool: put_bool(v.as_bool()); break;
    case ValueKind::PosInt: put_u64(v.as_pos_int()); break;
    case ValueKind::NegInt: put_i64(v.as_neg_int()); break;
    case ValueKind::Float: put_double(v.as_float()); break;
    case ValueKind::String: put_string(v.as_string()); break;
    case ValueKind::Array: {
      put('[');
      bool first = true;
      for (const PropertyValue& item : v.as_array()) {
        if (!first) put(',');
        first = false;
        put_value(item);
      }
      put(']');
      break;
    }
    case ValueKind::Object: {
      put('{');
      bool first = true;
      for (const auto& [key, item] : v.as_object()) {
        if (!first) put(',');
        first = false;
        put_string(key.view());
        put(':');
        put_value(item);
      }
      put('}');
      break;
    }
  }
}

inline void JsonBuf::put_properties(const PropertyMap& m) {
  put('{');
  bool first = true;
  for (const auto& [key, value] : m) {
    if (!first) put(',');
    first = false;
    put_string(key.view());
    put(':');
    put_value(value);
  }
  put('}');
}

// Conveniences for writers that build a std::string.
inline void append_json_string(std::string& out, std::string_view s) {
  JsonBuf b;
  b.put_string(s);
  out += b.view();
}
inline void append_json_double(std::string& out, double d) {
  char tmp[48];
  out.append(tmp, json_text_detail::format_double(tmp, d));
}

}  // namespace qg
