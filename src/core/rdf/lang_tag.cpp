#include "core/rdf/lang_tag.h"

#include <array>
#include <cstddef>

#include "core/rdf/unicode.h"

namespace qg::rdf {
namespace {

bool all_alpha(std::string_view s) {
  for (char c : s)
    if (!is_ascii_alpha(c)) return false;
  return true;
}
bool all_digit(std::string_view s) {
  for (char c : s)
    if (!is_ascii_digit(c)) return false;
  return true;
}
bool all_alnum(std::string_view s) {
  for (char c : s)
    if (!is_ascii_alpha(c) && !is_ascii_digit(c)) return false;
  return true;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Irregular grandfathered tags, which do not follow the langtag form.
constexpr std::array<std::string_view, 17> kIrregular = {"en-GB-oed", "i-ami",      "i-bnn",
                                                         "i-default", "i-enochian", "i-hak",
                                                         "i-klingon", "i-lux",      "i-mingo",
                                                         "i-navajo",  "i-pwn",      "i-tao",
                                                         "i-tay",     "i-tsu",      "sgn-BE-FR",
                                                         "sgn-BE-NL", "sgn-CH-DE"};

// Splits `tag` on '-' into at most `cap` subtags; false on an empty subtag.
template <size_t N>
bool split_subtags(std::string_view tag, std::array<std::string_view, N>& parts, size_t& count) {
  count = 0;
  size_t start = 0;
  while (true) {
    const size_t dash = tag.find('-', start);
    const std::string_view part = tag.substr(start, dash == std::string_view::npos
                                                        ? std::string_view::npos
                                                        : dash - start);
    if (part.empty() || part.size() > 8 || count == N) return false;
    parts[count++] = part;
    if (dash == std::string_view::npos) return true;
    start = dash + 1;
  }
}

}  // namespace

bool is_well_formed_language_tag(std::string_view tag) {
  for (std::string_view g : kIrregular)
    if (iequals(tag, g)) return true;
  std::array<std::string_view, 64> sub;
  size_t n = 0;
  if (!split_subtags(tag, sub, n)) return false;
  for (size_t k = 0; k < n; ++k)
    if (!all_alnum(sub[k])) return false;
  size_t i = 0;
  auto is_x = [](std::string_view s) { return s.size() == 1 && (s[0] == 'x' || s[0] == 'X'); };
  auto privateuse_from = [&](size_t at) {
    // "x" 1*("-" 1*8alphanum)
    return at + 1 < n;
  };
  if (is_x(sub[0])) return privateuse_from(0);
  // language
  const std::string_view lang = sub[i];
  if (!all_alpha(lang) || lang.size() < 2) return false;
  ++i;
  if (lang.size() <= 3) {
    // extlang: up to three 3-letter subtags
    int ext = 0;
    while (i < n && ext < 3 && sub[i].size() == 3 && all_alpha(sub[i])) {
      ++i;
      ++ext;
    }
  }
  // script
  if (i < n && sub[i].size() == 4 && all_alpha(sub[i])) ++i;
  // region
  if (i < n &&
      ((sub[i].size() == 2 && all_alpha(sub[i])) || (sub[i].size() == 3 && all_digit(sub[i]))))
    ++i;
  // variants
  while (i < n && ((sub[i].size() >= 5) || (sub[i].size() == 4 && is_ascii_digit(sub[i][0])))) ++i;
  // extensions
  while (i < n && sub[i].size() == 1 && !is_x(sub[i])) {
    ++i;
    size_t count = 0;
    while (i < n && sub[i].size() >= 2) {
      ++i;
      ++count;
    }
    if (count == 0) return false;
  }
  if (i < n && is_x(sub[i])) return privateuse_from(i);
  return i == n;
}

}  // namespace qg::rdf
