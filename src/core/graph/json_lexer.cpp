// The JSON lexer: strings and escapes, numbers, keys and elements, plain values.
#include "core/graph/json_lexer.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>
#include <vector>

#include "core/common/utf8.h"

namespace qg {

namespace {

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// How a string looks inside an "invalid type" message: in double quotes,
// with quotes, backslashes and control characters escaped.
std::string debug_quoted(std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          out += "\\u{";
          if (c >= 16) out += kHex[c >> 4];
          out += kHex[c & 15];
          out += '}';
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

// A double as the value found in an "invalid type" message: plain decimal,
// shortest digits, with ".0" when there is no fractional part.
std::string float_description(double d) {
  char buf[400];
  char* end = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed).ptr;
  std::string s(buf, end);
  if (s.find('.') == std::string::npos) s += ".0";
  return s;
}

}  // namespace

std::string JsonLexer::positioned_message() const {
  size_t line_start = 0;
  size_t line = 1;
  for (size_t k = 0; k < err_index_; ++k) {
    if (s_[k] == '\n') {
      ++line;
      line_start = k + 1;
    }
  }
  return msg_ + " at line " + std::to_string(line) + " column " +
         std::to_string(err_index_ - line_start);
}

// ---- lexing ----

bool JsonLexer::hex4(uint32_t& out) {
  if (n_ - i_ < 4) {
    i_ = n_;
    return fail_here("EOF while parsing a string");
  }
  uint32_t v = 0;
  bool ok = true;
  for (int k = 0; k < 4; ++k) {
    char c = s_[i_ + k];
    uint32_t d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else {
      ok = false;
      d = 0;
    }
    v = v * 16 + d;
  }
  i_ += 4;
  if (!ok) return fail_here("invalid escape");
  out = v;
  return true;
}

bool JsonLexer::parse_escape(std::string& scratch) {
  // s_[i_] is the character after the backslash.
  if (i_ >= n_) return fail_here("EOF while parsing a string");
  char c = s_[i_++];
  switch (c) {
    case '"': scratch += '"'; return true;
    case '\\': scratch += '\\'; return true;
    case '/': scratch += '/'; return true;
    case 'b': scratch += '\b'; return true;
    case 'f': scratch += '\f'; return true;
    case 'n': scratch += '\n'; return true;
    case 'r': scratch += '\r'; return true;
    case 't': scratch += '\t'; return true;
    case 'u': break;
    default: return fail_here("invalid escape");
  }
  uint32_t cp;
  if (!hex4(cp)) return false;
  if (cp >= 0xDC00 && cp <= 0xDFFF) return fail_here("lone leading surrogate in hex escape");
  if (cp >= 0xD800 && cp <= 0xDBFF) {
    if (i_ >= n_) return fail_here("EOF while parsing a string");
    if (s_[i_++] != '\\') return fail_here("unexpected end of hex escape");
    if (i_ >= n_) return fail_here("EOF while parsing a string");
    if (s_[i_++] != 'u') return fail_here("unexpected end of hex escape");
    uint32_t low;
    if (!hex4(low)) return false;
    if (low < 0xDC00 || low > 0xDFFF) return fail_here("lone leading surrogate in hex escape");
    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
  }
  append_utf8(scratch, cp);
  return true;
}

// At the opening quote. `out` views the input when the string has no
// escapes, else `scratch`.
bool JsonLexer::parse_str(std::string& scratch, std::string_view& out) {
  ++i_;
  const size_t start = i_;
  bool high = false;
  while (i_ < n_) {
    unsigned char c = static_cast<unsigned char>(s_[i_]);
    if (c == '"') {
      out = std::string_view(s_ + start, i_ - start);
      ++i_;
      if (high && !check_utf8(out).ok) return fail_here("invalid unicode code point");
      return true;
    }
    if (c == '\\') break;
    if (c < 0x20) {
      ++i_;
      return fail_here("control character (\\u0000-\\u001F) found while parsing a string");
    }
    high |= c >= 0x80;
    ++i_;
  }
  if (i_ >= n_) return fail_here("EOF while parsing a string");
  scratch.assign(s_ + start, i_ - start);
  while (true) {
    if (i_ >= n_) return fail_here("EOF while parsing a string");
    unsigned char c = static_cast<unsigned char>(s_[i_]);
    if (c == '"') {
      ++i_;
      out = scratch;
      if (high && !check_utf8(out).ok) return fail_here("invalid unicode code point");
      return true;
    }
    if (c == '\\') {
      ++i_;
      if (!parse_escape(scratch)) return false;
      continue;
    }
    if (c < 0x20) {
      ++i_;
      return fail_here("control character (\\u0000-\\u001F) found while parsing a string");
    }
    const size_t run = i_;
    while (i_ < n_) {
      unsigned char d = static_cast<unsigned char>(s_[i_]);
      if (d == '"' || d == '\\' || d < 0x20) break;
      high |= d >= 0x80;
      ++i_;
    }
    scratch.append(s_ + run, i_ - run);
  }
}

// At '-' or a digit. Integers keep their kind (unsigned, or signed when
// negative); a fraction, an exponent or an integer beyond 64 bits gives a
// double. "-0" is the double -0.0.
bool JsonLexer::parse_number(PropertyValue& out) {
  const size_t start = i_;
  const bool negative = s_[i_] == '-';
  if (negative) ++i_;
  if (i_ >= n_) return fail_here("EOF while parsing a value");
  char c = s_[i_++];
  uint64_t mant = 0;
  bool overflow = false;
  size_t int_digits = 0;  // significant integer digits (no leading zero)
  if (c == '0') {
    if (i_ < n_ && is_digit(s_[i_])) return fail_peek("invalid number");
  } else if (c >= '1' && c <= '9') {
    mant = static_cast<uint64_t>(c - '0');
    int_digits = 1;
    while (i_ < n_ && is_digit(s_[i_])) {
      uint64_t d = static_cast<uint64_t>(s_[i_] - '0');
      if (!overflow) {
        if (mant > (UINT64_MAX - d) / 10) overflow = true;
        else mant = mant * 10 + d;
      }
      ++int_digits;
      ++i_;
    }
  } else {
    return fail_here("invalid number");
  }
  bool is_float = overflow;
  long leading_frac_zeros = 0;  // zeros after the point before the first other digit
  bool frac_nonzero = false;
  if (i_ < n_ && s_[i_] == '.') {
    ++i_;
    size_t digits = 0;
    while (i_ < n_ && is_digit(s_[i_])) {
      if (!frac_nonzero) {
        if (s_[i_] == '0') ++leading_frac_zeros;
        else frac_nonzero = true;
      }
      ++digits;
      ++i_;
    }
    if (digits == 0) {
      if (i_ < n_) return fail_peek("invalid number");
      return fail_peek("EOF while parsing a value");
    }
    is_float = true;
  }
  long exp10 = 0;
  if (i_ < n_ && (s_[i_] == 'e' || s_[i_] == 'E')) {
    ++i_;
    bool exp_neg = false;
    if (i_ < n_ && (s_[i_] == '+' || s_[i_] == '-')) exp_neg = s_[i_++] == '-';
    if (i_ >= n_) return fail_here("EOF while parsing a value");
    if (!is_digit(s_[i_++])) return fail_here("invalid number");
    exp10 = s_[i_ - 1] - '0';
    while (i_ < n_ && is_digit(s_[i_])) {
      if (exp10 < 1000000000) exp10 = exp10 * 10 + (s_[i_] - '0');
      ++i_;
    }
    if (exp_neg) exp10 = -exp10;
    is_float = true;
  }
  if (!is_float) {
    if (!negative) {
      out = PropertyValue::pos_int(mant);
    } else if (mant == 0) {
      out = PropertyValue::number(-0.0);
    } else if (mant <= (uint64_t{1} << 63)) {
      out = PropertyValue::neg_int(static_cast<int64_t>(0 - mant));
    } else {
      out = PropertyValue::number(-static_cast<double>(mant));
    }
    return true;
  }
  double d = 0;
  auto r = std::from_chars(s_ + start, s_ + i_, d);
  if (r.ec == std::errc::result_out_of_range) {
    // Too small rounds to zero; too large is refused.
    long magnitude = int_digits > 0 ? static_cast<long>(int_digits) - 1
                     : frac_nonzero ? -leading_frac_zeros - 1
                                    : std::numeric_limits<long>::min() / 4;
    if (magnitude + exp10 < 0) {
      d = negative ? -0.0 : 0.0;
    } else {
      return fail_here("number out of range");
    }
  } else if (r.ec != std::errc() || !std::isfinite(d)) {
    return fail_here("number out of range");
  }
  out = PropertyValue::number(d);
  return true;
}

int JsonLexer::next_key(bool& first, std::string& scratch, std::string_view& key) {
  int c = peek_ws();
  if (c == '}') return 0;
  if (c == ',' && !first) {
    ++i_;
    c = peek_ws();
    if (c == '"') return parse_str(scratch, key) ? 1 : -1;
    if (c == '}') return fail_peek("trailing comma"), -1;
    if (c < 0) return fail_peek("EOF while parsing a value"), -1;
    return fail_peek("key must be a string"), -1;
  }
  if (c < 0) return fail_peek("EOF while parsing an object"), -1;
  if (!first) return fail_peek("expected `,` or `}`"), -1;
  first = false;
  if (c == '"') return parse_str(scratch, key) ? 1 : -1;
  return fail_peek("key must be a string"), -1;
}

bool JsonLexer::colon() {
  int c = peek_ws();
  if (c == ':') {
    ++i_;
    return true;
  }
  if (c < 0) return fail_peek("EOF while parsing an object");
  return fail_peek("expected `:`");
}

int JsonLexer::next_elem(bool& first) {
  int c = peek_ws();
  if (c == ']') return 0;
  if (c == ',' && !first) {
    ++i_;
    c = peek_ws();
    if (c == ']') return fail_peek("trailing comma"), -1;
    if (c < 0) return fail_peek("EOF while parsing a value"), -1;
    return 1;
  }
  if (c < 0) return fail_peek("EOF while parsing a list"), -1;
  if (!first) return fail_peek("expected `,` or `]`"), -1;
  first = false;
  return 1;
}

// After the last field of a record written as an array.
bool JsonLexer::end_struct_seq() {
  int c = peek_ws();
  if (c == ']') {
    leave();
    return true;
  }
  if (c == ',') {
    ++i_;
    if (peek_ws() == ']') return fail_peek("trailing comma");
    return fail_peek("trailing characters");
  }
  if (c < 0) return fail_peek("EOF while parsing a list");
  return fail_peek("trailing characters");
}

bool JsonLexer::invalid_length(size_t index, std::string_view expected) {
  if (peek_ws() == ']') ++i_;
  return fail_here("invalid length " + std::to_string(index) + ", expected " +
                   std::string(expected));
}

// The value at the cursor is of the wrong JSON type: read a scalar to name
// it; a container is named without being read.
bool JsonLexer::invalid_type(std::string_view expected) {
  int c = peek_ws();
  std::string found;
  switch (c) {
    case -1: return fail_peek("EOF while parsing a value");
    case 'n':
      ++i_;
      if (!ident("ull")) return false;
      found = "null";
      break;
    case 't':
      ++i_;
      if (!ident("rue")) return false;
      found = "boolean `true`";
      break;
    case 'f':
      ++i_;
      if (!ident("alse")) return false;
      found = "boolean `false`";
      break;
    case '"': {
      std::string_view sv;
      if (!parse_str(scratch_, sv)) return false;
      found = "string " + debug_quoted(sv);
      break;
    }
    case '[': found = "sequence"; break;
    case '{': found = "map"; break;
    default: {
      if (c != '-' && !is_digit(c)) return fail_peek("expected value");
      PropertyValue v;
      if (!parse_number(v)) return false;
      switch (v.kind()) {
        case ValueKind::PosInt: found = "integer `" + std::to_string(v.as_pos_int()) + "`"; break;
        case ValueKind::NegInt: found = "integer `" + std::to_string(v.as_neg_int()) + "`"; break;
        default: found = "floating point `" + float_description(v.as_float()) + "`"; break;
      }
    }
  }
  return fail_here("invalid type: " + found + ", expected " + std::string(expected));
}

// ---- values ----

bool JsonLexer::parse_value(PropertyValue& out) {
  int c = peek_ws();
  switch (c) {
    case -1: return fail_peek("EOF while parsing a value");
    case 'n':
      ++i_;
      if (!ident("ull")) return false;
      out = PropertyValue::null();
      return true;
    case 't':
      ++i_;
      if (!ident("rue")) return false;
      out = PropertyValue::boolean(true);
      return true;
    case 'f':
      ++i_;
      if (!ident("alse")) return false;
      out = PropertyValue::boolean(false);
      return true;
    case '"': {
      std::string_view sv;
      if (!parse_str(scratch_, sv)) return false;
      out = PropertyValue::string(sv);
      return true;
    }
    case '[': {
      std::vector<PropertyValue> items;
      if (!parse_elements([&] {
            PropertyValue item;
            if (!parse_value(item)) return false;
            items.push_back(std::move(item));
            return true;
          }))
        return false;
      out = PropertyValue::array(std::move(items));
      return true;
    }
    case '{': {
      std::vector<ObjectEntry> entries;
      if (!parse_members([&](std::string_view key) {
            Str k = Str::make(key);
            PropertyValue item;
            if (!colon() || !parse_value(item)) return false;
            entries.emplace_back(std::move(k), std::move(item));
            return true;
          }))
        return false;
      out = PropertyValue::object(std::move(entries));
      return true;
    }
    default:
      if (c == '-' || is_digit(c)) return parse_number(out);
      return fail_peek("expected value");
  }
}

bool JsonLexer::parse_bool_field(bool& out) {
  int c = peek_ws();
  if (c == 't') {
    ++i_;
    out = true;
    return ident("rue");
  }
  if (c == 'f') {
    ++i_;
    out = false;
    return ident("alse");
  }
  return invalid_type("a boolean");
}

bool JsonLexer::parse_string_field(std::string& scratch, std::string_view& out) {
  if (peek_ws() == '"') return parse_str(scratch, out);
  return invalid_type("a string");
}

}  // namespace qg
