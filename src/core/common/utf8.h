// UTF-8: the one place that checks, decodes and encodes it.
//
// Well-formed means no overlong form, no surrogate (U+D800..U+DFFF), nothing
// above U+10FFFF and no sequence cut short; every function here applies that
// same rule. check_utf8 and find_invalid_utf8 scan a whole text, ASCII runs
// eight bytes at a time; decode_utf8 reads one code point and never reads
// past `end`; append_utf8 writes one scalar value.
//
// Not here: character classes (each grammar keeps its own), normalisation,
// replacement of bad bytes. Header-only, standard library only, so that the
// per-byte loops inline into the readers that call them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qg {

// Where and how a byte string stops being UTF-8. error_len is the length of
// the invalid sequence (1 to 3 bytes), or 0 when the text ends inside a
// sequence that was valid so far ("incomplete").
struct Utf8Check {
  bool ok = true;
  size_t valid_up_to = 0;
  size_t error_len = 0;  // 0: incomplete sequence at the end
};

inline Utf8Check check_utf8(std::string_view text) {
  const auto* v = reinterpret_cast<const unsigned char*>(text.data());
  const size_t len = text.size();
  size_t i = 0;
  auto cont = [](unsigned char b) { return (b & 0xC0) == 0x80; };
  while (i < len) {
    // ASCII runs, eight bytes at a time.
    while (i + 8 <= len) {
      uint64_t w;
      __builtin_memcpy(&w, v + i, 8);
      if (w & 0x8080808080808080ull) break;
      i += 8;
    }
    if (i >= len) break;
    unsigned char first = v[i];
    if (first < 0x80) {
      ++i;
      continue;
    }
    const size_t start = i;
    auto fail = [&](size_t n) { return Utf8Check{false, start, n}; };
    if (first >= 0xC2 && first <= 0xDF) {
      if (i + 1 >= len) return fail(0);
      if (!cont(v[i + 1])) return fail(1);
      i += 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
      if (i + 1 >= len) return fail(0);
      unsigned char b = v[i + 1];
      bool ok2 = first == 0xE0   ? (b >= 0xA0 && b <= 0xBF)
                 : first == 0xED ? (b >= 0x80 && b <= 0x9F)
                                 : cont(b);
      if (!ok2) return fail(1);
      if (i + 2 >= len) return fail(0);
      if (!cont(v[i + 2])) return fail(2);
      i += 3;
    } else if (first >= 0xF0 && first <= 0xF4) {
      if (i + 1 >= len) return fail(0);
      unsigned char b = v[i + 1];
      bool ok2 = first == 0xF0   ? (b >= 0x90 && b <= 0xBF)
                 : first == 0xF4 ? (b >= 0x80 && b <= 0x8F)
                                 : cont(b);
      if (!ok2) return fail(1);
      if (i + 2 >= len) return fail(0);
      if (!cont(v[i + 2])) return fail(2);
      if (i + 3 >= len) return fail(0);
      if (!cont(v[i + 3])) return fail(3);
      i += 4;
    } else {
      return fail(1);
    }
  }
  return Utf8Check{true, len, 0};
}

// Returns the offset of the first malformed byte, or npos when the whole
// text is well-formed UTF-8.
inline size_t find_invalid_utf8(std::string_view text) {
  const Utf8Check check = check_utf8(text);
  return check.ok ? std::string_view::npos : check.valid_up_to;
}

// Decodes one code point at p (p < end). On success stores its byte length
// in *len and returns the code point; on malformed input returns -1.
inline int32_t decode_utf8(const char* p, const char* end, int* len) {
  const auto* s = reinterpret_cast<const unsigned char*>(p);
  const size_t avail = static_cast<size_t>(end - p);
  const unsigned c0 = s[0];
  if (c0 < 0x80) {
    *len = 1;
    return static_cast<int32_t>(c0);
  }
  if (c0 < 0xC2) return -1;  // continuation byte or overlong 2-byte lead
  if (c0 < 0xE0) {
    if (avail < 2 || (s[1] & 0xC0) != 0x80) return -1;
    *len = 2;
    return static_cast<int32_t>(((c0 & 0x1F) << 6) | (s[1] & 0x3F));
  }
  if (c0 < 0xF0) {
    if (avail < 3 || (s[1] & 0xC0) != 0x80 || (s[2] & 0xC0) != 0x80) return -1;
    const int32_t cp = static_cast<int32_t>(((c0 & 0x0F) << 12) | ((s[1] & 0x3F) << 6) |
                                            (s[2] & 0x3F));
    if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    *len = 3;
    return cp;
  }
  if (c0 < 0xF5) {
    if (avail < 4 || (s[1] & 0xC0) != 0x80 || (s[2] & 0xC0) != 0x80 || (s[3] & 0xC0) != 0x80)
      return -1;
    const int32_t cp = static_cast<int32_t>(((c0 & 0x07) << 18) | ((s[1] & 0x3F) << 12) |
                                            ((s[2] & 0x3F) << 6) | (s[3] & 0x3F));
    if (cp < 0x10000 || cp > 0x10FFFF) return -1;
    *len = 4;
    return cp;
  }
  return -1;
}

// Appends the UTF-8 form of a valid scalar value.
inline void append_utf8(std::string& out, uint32_t cp) {
  char buf[4];
  size_t n;
  if (cp < 0x80) {
    buf[0] = static_cast<char>(cp);
    n = 1;
  } else if (cp < 0x800) {
    buf[0] = static_cast<char>(0xC0 | (cp >> 6));
    buf[1] = static_cast<char>(0x80 | (cp & 0x3F));
    n = 2;
  } else if (cp < 0x10000) {
    buf[0] = static_cast<char>(0xE0 | (cp >> 12));
    buf[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    buf[2] = static_cast<char>(0x80 | (cp & 0x3F));
    n = 3;
  } else {
    buf[0] = static_cast<char>(0xF0 | (cp >> 18));
    buf[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    buf[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    buf[3] = static_cast<char>(0x80 | (cp & 0x3F));
    n = 4;
  }
  out.append(buf, n);
}

}  // namespace qg
