// UTF-8 validation that reports where and how a byte string goes wrong.
//
// error_len is the length of the invalid sequence (1 to 3 bytes), or 0 when
// the text ends inside a sequence that was valid so far ("incomplete").
// Overlong forms, surrogates and code points above U+10FFFF are invalid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qg {

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
      bool ok2 = first == 0xE0 ? (b >= 0xA0 && b <= 0xBF)
               : first == 0xED ? (b >= 0x80 && b <= 0x9F)
                               : cont(b);
      if (!ok2) return fail(1);
      if (i + 2 >= len) return fail(0);
      if (!cont(v[i + 2])) return fail(2);
      i += 3;
    } else if (first >= 0xF0 && first <= 0xF4) {
      if (i + 1 >= len) return fail(0);
      unsigned char b = v[i + 1];
      bool ok2 = first == 0xF0 ? (b >= 0x90 && b <= 0xBF)
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

}  // namespace qg
