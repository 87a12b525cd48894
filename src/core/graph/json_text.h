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
// Values: a property value as its JSON value, arrays and objects in their
// own order; a property map as an object, entries in the map's order.
//
// Everything is written into a TextOut (core/common/text_out.h); reading
// JSON is json_lexer.h's. Depends on property_value.h for the values.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/common/text_out.h"
#include "core/graph/property_value.h"

namespace qg {

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

// Lays out a double as described at the top of this file, from the
// shortest scientific form produced by std::to_chars ("d[.ddd]e[+-]xx").
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

inline void put_json_double(TextOut& out, double d) {
  // Longest form: sign, "0.0000" and 17 digits, or 17 digits + point + exponent.
  char* p = out.room(40);
  out.commit(json_text_detail::format_double(p, d));
}

inline void put_json_string(TextOut& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto& esc = json_text_detail::kEscape.t;
  // Worst case: every byte becomes \u00XX.
  char* p = out.room(s.size() * 6 + 2);
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
  out.commit(static_cast<size_t>(p - start));
}

inline void put_json_value(TextOut& out, const PropertyValue& v) {
  switch (v.kind()) {
    case ValueKind::Null: out.lit("null"); break;
    case ValueKind::Bool: out.put_bool(v.as_bool()); break;
    case ValueKind::PosInt: out.put_u64(v.as_pos_int()); break;
    case ValueKind::NegInt: out.put_i64(v.as_neg_int()); break;
    case ValueKind::Float: put_json_double(out, v.as_float()); break;
    case ValueKind::String: put_json_string(out, v.as_string()); break;
    case ValueKind::Array: {
      out.put('[');
      bool first = true;
      for (const PropertyValue& item : v.as_array()) {
        if (!first) out.put(',');
        first = false;
        put_json_value(out, item);
      }
      out.put(']');
      break;
    }
    case ValueKind::Object: {
      out.put('{');
      bool first = true;
      for (const auto& [key, item] : v.as_object()) {
        if (!first) out.put(',');
        first = false;
        put_json_string(out, key.view());
        out.put(':');
        put_json_value(out, item);
      }
      out.put('}');
      break;
    }
  }
}

// A property map as an object, entries in the map's own order.
inline void put_json_properties(TextOut& out, const PropertyMap& m) {
  out.put('{');
  bool first = true;
  for (const auto& [key, value] : m) {
    if (!first) out.put(',');
    first = false;
    put_json_string(out, key.view());
    out.put(':');
    put_json_value(out, value);
  }
  out.put('}');
}

}  // namespace qg
