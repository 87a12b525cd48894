// Character classes of the RDF grammars (Turtle, N-Triples, XML names, IRIs).
//
// Code points as decode_utf8 gives them; ASCII classes take a byte value or
// -1 (end of input), for which every test is false. UTF-8 itself (checking,
// decoding, encoding) is core/common/utf8.h, included here for the readers.
#pragma once

#include <cstdint>

#include "core/common/utf8.h"

namespace qg::rdf {

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
