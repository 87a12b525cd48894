// UTF-8 helpers shared by the RDF readers and the IRI validator.
//
// Contract: decode_utf8 never reads past `end` and reports malformed input
// (overlong forms, surrogates, code points above U+10FFFF, truncated
// sequences) as -1; it is the only place that decodes raw bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace qg::rdf {

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
    if (avail < 4 || (s[1] & 0xC0) != 0x80 || (s[2] & 0xC0) != 0x80 ||
        (s[3] & 0xC0) != 0x80)
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

// Returns the offset of the first malformed byte, or npos when the whole
// text is well-formed UTF-8. ASCII runs are skipped eight bytes at a time.
inline size_t find_invalid_utf8(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    while (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      if (word & 0x8080808080808080ULL) break;
      p += 8;
    }
    if (p >= end) break;
    if (static_cast<unsigned char>(*p) < 0x80) {
      ++p;
      continue;
    }
    int len = 0;
    if (decode_utf8(p, end, &len) < 0) return static_cast<size_t>(p - text.data());
    p += len;
  }
  return std::string_view::npos;
}

// PN_CHARS_BASE of Turtle and N-Triples (also XML's NameStartChar less
// '_' and ':'): ASCII letters and the listed non-ASCII ranges.
inline bool is_pn_chars_base(int32_t c) noexcept {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
         (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0xEFFFF);
}

inline bool is_hex_digit(int c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

inline int hex_value(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

inline bool is_ascii_alpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool is_ascii_digit(int c) { return c >= '0' && c <= '9'; }

}  // namespace qg::rdf
