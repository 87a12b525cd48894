#include "core/rdf/iri.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "core/rdf/unicode.h"

namespace qg::rdf {
namespace {

// ASCII character classes of RFC 3986/3987.
enum : uint8_t {
  kUnreserved = 1,  // ALPHA DIGIT - . _ ~
  kSubDelim = 2,    // ! $ & ' ( ) * + , ; =
  kColon = 4,
  kAt = 8,
  kSlash = 16,
  kQuestion = 32,
};

constexpr std::array<uint8_t, 128> make_ascii_classes() {
  std::array<uint8_t, 128> t{};
  for (int c = 'a'; c <= 'z'; ++c) t[c] = kUnreserved;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = kUnreserved;
  for (int c = '0'; c <= '9'; ++c) t[c] = kUnreserved;
  t['-'] = t['.'] = t['_'] = t['~'] = kUnreserved;
  for (char c : std::string_view("!$&'()*+,;=")) t[static_cast<unsigned char>(c)] = kSubDelim;
  t[':'] = kColon;
  t['@'] = kAt;
  t['/'] = kSlash;
  t['?'] = kQuestion;
  return t;
}
constexpr std::array<uint8_t, 128> kAscii = make_ascii_classes();

constexpr uint8_t kUserinfoSet = kUnreserved | kSubDelim | kColon;
constexpr uint8_t kRegNameSet = kUnreserved | kSubDelim;
constexpr uint8_t kPathSet = kUnreserved | kSubDelim | kColon | kAt | kSlash;
constexpr uint8_t kQuerySet = kPathSet | kQuestion;

bool is_ucschar(int32_t c) {
  if (c < 0xA0) return false;
  if (c <= 0xD7FF) return true;
  if (c >= 0xF900 && c <= 0xFDCF) return true;
  if (c >= 0xFDF0 && c <= 0xFFEF) return true;
  if (c >= 0x10000 && c <= 0xEFFFD) {
    if (c >= 0xE0000 && c < 0xE1000) return false;
    return (c & 0xFFFF) <= 0xFFFD;
  }
  return false;
}

bool is_iprivate(int32_t c) {
  return (c >= 0xE000 && c <= 0xF8FF) || (c >= 0xF0000 && c <= 0xFFFFD) ||
         (c >= 0x100000 && c <= 0x10FFFD);
}

std::string code_point_text(uint32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", c);
  return buf;
}

qg::Status bad_char(int32_t c) {
  if (c > 0x20 && c < 0x7F)
    return qg::Err(qg::ErrorKind::Parse,
                   std::string("Invalid IRI character '") + static_cast<char>(c) + "'");
  return qg::Err(qg::ErrorKind::Parse,
                 "Invalid IRI code point " + code_point_text(static_cast<uint32_t>(c)));
}

// Checks s[begin, end) against the ASCII class set `allowed`, with
// percent-encodings, ucschar and (when `private_ok`) iprivate.
qg::Status check_chars(std::string_view s, size_t begin, size_t end, uint8_t allowed,
                       bool private_ok) {
  const char* p = s.data() + begin;
  const char* const e = s.data() + end;
  while (p < e) {
    const unsigned c = static_cast<unsigned char>(*p);
    if (c < 0x80) {
      if (kAscii[c] & allowed) {
        ++p;
        continue;
      }
      if (c == '%') {
        if (e - p < 3 || !is_hex_digit(static_cast<unsigned char>(p[1])) ||
            !is_hex_digit(static_cast<unsigned char>(p[2]))) {
          const size_t n = std::min<size_t>(3, static_cast<size_t>(e - p));
          return qg::Err(qg::ErrorKind::Parse,
                         "Invalid IRI percent encoding '" + std::string(p, n) + "'");
        }
        p += 3;
        continue;
      }
      return bad_char(static_cast<int32_t>(c));
    }
    int len = 0;
    const int32_t cp = decode_utf8(p, e, &len);
    if (cp < 0) return qg::Err(qg::ErrorKind::Parse, "Invalid UTF-8 byte sequence in an IRI");
    if (!is_ucschar(cp) && !(private_ok && is_iprivate(cp))) return bad_char(cp);
    p += len;
  }
  return {};
}

bool is_dec_octet(std::string_view s) {
  if (s.empty() || s.size() > 3) return false;
  for (char c : s)
    if (!is_ascii_digit(c)) return false;
  if (s.size() > 1 && s[0] == '0') return false;
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v <= 255;
}

bool is_ipv4(std::string_view s) {
  for (int i = 0; i < 4; ++i) {
    const size_t dot = s.find('.');
    if (i < 3) {
      if (dot == std::string_view::npos || !is_dec_octet(s.substr(0, dot))) return false;
      s.remove_prefix(dot + 1);
    } else {
      return dot == std::string_view::npos && is_dec_octet(s);
    }
  }
  return false;
}

bool is_ipv6(std::string_view s) {
  int groups = 0;
  bool compressed = false;
  size_t i = 0;
  if (s.size() >= 2 && s[0] == ':' && s[1] == ':') {
    compressed = true;
    i = 2;
    if (i == s.size()) return true;
  } else if (!s.empty() && s[0] == ':') {
    return false;
  }
  while (i < s.size()) {
    size_t j = i;
    while (j < s.size() && s[j] != ':') ++j;
    const std::string_view part = s.substr(i, j - i);
    if (part.find('.') != std::string_view::npos) {
      // An embedded IPv4 address ends the address.
      if (j != s.size() || !is_ipv4(part)) return false;
      groups += 2;
      break;
    }
    if (part.empty() || part.size() > 4) return false;
    for (char c : part)
      if (!is_hex_digit(static_cast<unsigned char>(c))) return false;
    ++groups;
    if (j == s.size()) break;
    // j is at ':'.
    if (j + 1 < s.size() && s[j + 1] == ':') {
      if (compressed) return false;
      compressed = true;
      i = j + 2;
      if (i == s.size()) break;
    } else {
      i = j + 1;
      if (i == s.size()) return false;  // trailing single ':'
    }
  }
  return compressed ? groups < 8 : groups == 8;
}

bool is_ipvfuture(std::string_view s) {
  if (s.size() < 4 || (s[0] != 'v' && s[0] != 'V')) return false;
  size_t i = 1;
  while (i < s.size() && is_hex_digit(static_cast<unsigned char>(s[i]))) ++i;
  if (i == 1 || i >= s.size() || s[i] != '.') return false;
  ++i;
  if (i == s.size()) return false;
  for (; i < s.size(); ++i) {
    const unsigned c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80 || !(kAscii[c] & (kUnreserved | kSubDelim | kColon))) return false;
  }
  return true;
}

qg::Status check_authority(std::string_view s, size_t begin, size_t end) {
  std::string_view auth = s.substr(begin, end - begin);
  size_t host_begin = begin;
  const size_t at = auth.find('@');
  if (at != std::string_view::npos) {
    QG_TRY(check_chars(s, begin, begin + at, kUserinfoSet, false));
    host_begin = begin + at + 1;
  }
  std::string_view hostport = s.substr(host_begin, end - host_begin);
  size_t port_begin = std::string_view::npos;
  if (!hostport.empty() && hostport[0] == '[') {
    const size_t close = hostport.find(']');
    if (close == std::string_view::npos)
      return qg::Err(qg::ErrorKind::Parse, "Invalid IRI host: unterminated IP literal");
    const std::string_view lit = hostport.substr(1, close - 1);
    if (!is_ipv6(lit) && !is_ipvfuture(lit))
      return qg::Err(qg::ErrorKind::Parse, "Invalid host IP '" + std::string(lit) + "'");
    if (close + 1 < hostport.size()) {
      if (hostport[close + 1] != ':')
        return bad_char(static_cast<unsigned char>(hostport[close + 1]));
      port_begin = host_begin + close + 2;
    }
  } else {
    const size_t colon = hostport.find(':');
    const size_t host_end = colon == std::string_view::npos ? end : host_begin + colon;
    QG_TRY(check_chars(s, host_begin, host_end, kRegNameSet, false));
    if (colon != std::string_view::npos) port_begin = host_end + 1;
  }
  if (port_begin != std::string_view::npos) {
    for (size_t i = port_begin; i < end; ++i) {
      if (!is_ascii_digit(s[i])) {
        const unsigned c = static_cast<unsigned char>(s[i]);
        if (c > 0x20 && c < 0x7F)
          return qg::Err(qg::ErrorKind::Parse,
                         std::string("Invalid IRI port character '") + s[i] + "'");
        return qg::Err(qg::ErrorKind::Parse, "Invalid IRI port: it must contain only digits");
      }
    }
  }
  return {};
}

bool is_scheme_char(char c) {
  return is_ascii_alpha(c) || is_ascii_digit(c) || c == '+' || c == '-' || c == '.';
}

// Length of the scheme of `s` (without ':'), or npos when there is none.
size_t scheme_length(std::string_view s) {
  if (s.empty() || !is_ascii_alpha(s[0])) return std::string_view::npos;
  size_t i = 1;
  while (i < s.size() && is_scheme_char(s[i])) ++i;
  if (i < s.size() && s[i] == ':') return i;
  return std::string_view::npos;
}

// Scans s from i over characters of `allowed` (plus percent-encodings,
// ucschar and, when `private_ok`, iprivate) and returns the index of the
// first other ASCII byte, or s.size(). A malformed character sets `fault`.
size_t scan_component(std::string_view s, size_t i, uint8_t allowed, bool private_ok,
                      qg::Status& fault) {
  const unsigned char* const b = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  while (i < n) {
    const unsigned c = b[i];
    if (c < 0x80) {
      if (kAscii[c] & allowed) {
        ++i;
        continue;
      }
      if (c != '%') return i;
      if (n - i < 3 || !is_hex_digit(b[i + 1]) || !is_hex_digit(b[i + 2])) {
        fault = qg::Err(qg::ErrorKind::Parse,
                        "Invalid IRI percent encoding '" + std::string(s.substr(i, 3)) + "'");
        return n;
      }
      i += 3;
      continue;
    }
    int len = 0;
    const int32_t cp = decode_utf8(s.data() + i, s.data() + n, &len);
    if (cp < 0) {
      fault = qg::Err(qg::ErrorKind::Parse, "Invalid UTF-8 byte sequence in an IRI");
      return n;
    }
    if (!is_ucschar(cp) && !(private_ok && is_iprivate(cp))) {
      fault = bad_char(cp);
      return n;
    }
    i += static_cast<size_t>(len);
  }
  return n;
}

}  // namespace

bool has_iri_scheme(std::string_view ref) { return scheme_length(ref) != std::string_view::npos; }

qg::Status validate_absolute_iri(std::string_view s) {
  const size_t scheme_len = scheme_length(s);
  if (scheme_len == std::string_view::npos)
    return qg::Err(qg::ErrorKind::Parse, "No scheme found in an absolute IRI");
  size_t i = scheme_len + 1;
  const size_t n = s.size();
  if (n - i >= 2 && s[i] == '/' && s[i + 1] == '/') {
    const size_t auth_begin = i + 2;
    size_t auth_end = auth_begin;
    while (auth_end < n && s[auth_end] != '/' && s[auth_end] != '?' && s[auth_end] != '#')
      ++auth_end;
    QG_TRY(check_authority(s, auth_begin, auth_end));
    i = auth_end;
  }
  qg::Status fault;
  // ipath, then "?" iquery, then "#" ifragment.
  i = scan_component(s, i, kPathSet, false, fault);
  if (!fault) return fault;
  if (i < n && s[i] == '?') {
    i = scan_component(s, i + 1, kQuerySet, true, fault);
    if (!fault) return fault;
  }
  if (i < n && s[i] == '#') {
    i = scan_component(s, i + 1, kQuerySet, false, fault);
    if (!fault) return fault;
  }
  if (i < n) return bad_char(static_cast<unsigned char>(s[i]));
  return {};
}

IriComponents split_iri_reference(std::string_view ref) {
  IriComponents c;
  size_t i = 0;
  const size_t scheme_len = scheme_length(ref);
  if (scheme_len != std::string_view::npos) {
    c.has_scheme = true;
    c.scheme = ref.substr(0, scheme_len);
    i = scheme_len + 1;
  }
  if (ref.size() - i >= 2 && ref[i] == '/' && ref[i + 1] == '/') {
    size_t j = i + 2;
    while (j < ref.size() && ref[j] != '/' && ref[j] != '?' && ref[j] != '#') ++j;
    c.has_authority = true;
    c.authority = ref.substr(i + 2, j - i - 2);
    i = j;
  }
  size_t j = i;
  while (j < ref.size() && ref[j] != '?' && ref[j] != '#') ++j;
  c.path = ref.substr(i, j - i);
  i = j;
  if (i < ref.size() && ref[i] == '?') {
    j = i + 1;
    while (j < ref.size() && ref[j] != '#') ++j;
    c.has_query = true;
    c.query = ref.substr(i + 1, j - i - 1);
    i = j;
  }
  if (i < ref.size()) {
    c.has_fragment = true;
    c.fragment = ref.substr(i + 1);
  }
  return c;
}

void remove_dot_segments(std::string_view in, std::string& out) {
  // Output segments are appended to `out`; `floor` keeps what was there.
  const size_t floor = out.size();
  while (!in.empty()) {
    if (in.starts_with("../")) {
      in.remove_prefix(3);
    } else if (in.starts_with("./")) {
      in.remove_prefix(2);
    } else if (in.starts_with("/./")) {
      in.remove_prefix(2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.starts_with("/../") || in == "/..") {
      if (in.size() == 3) {
        in = "/";
      } else {
        in.remove_prefix(3);
      }
      const size_t last = out.rfind('/');
      if (last != std::string::npos && last >= floor) {
        out.resize(last);
      } else {
        out.resize(floor);
      }
    } else if (in == "." || in == "..") {
      in = {};
    } else {
      size_t seg_end = in[0] == '/' ? 1 : 0;
      while (seg_end < in.size() && in[seg_end] != '/') ++seg_end;
      out.append(in.substr(0, seg_end));
      in.remove_prefix(seg_end);
    }
  }
}

qg::Result<BaseIri> BaseIri::parse(std::string_view iri) {
  QG_TRY(validate_absolute_iri(iri));
  BaseIri b;
  b.text_.assign(iri);
  const IriComponents c = split_iri_reference(b.text_);
  auto off = [&](std::string_view part) {
    return static_cast<size_t>(part.data() - b.text_.data());
  };
  b.scheme_end_ = c.scheme.size();
  b.has_authority_ = c.has_authority;
  if (c.has_authority) {
    b.authority_begin_ = off(c.authority);
    b.authority_end_ = b.authority_begin_ + c.authority.size();
  }
  b.path_begin_ = c.path.data() == nullptr ? b.text_.size() : off(c.path);
  b.path_end_ = b.path_begin_ + c.path.size();
  b.has_query_ = c.has_query;
  if (c.has_query) {
    b.query_begin_ = off(c.query);
    b.query_end_ = b.query_begin_ + c.query.size();
  }
  return b;
}

qg::Status BaseIri::resolve(std::string_view ref, std::string& out) const {
  const IriComponents r = split_iri_reference(ref);
  const std::string_view t(text_);
  out.clear();
  out.reserve(text_.size() + ref.size());
  auto append_authority = [&](std::string_view auth) {
    out.append("//");
    out.append(auth);
  };
  bool has_authority = false;
  if (r.has_scheme) {
    out.append(r.scheme);
    out.push_back(':');
    if (r.has_authority) {
      append_authority(r.authority);
      has_authority = true;
    }
    remove_dot_segments(r.path, out);
    if (r.has_query) {
      out.push_back('?');
      out.append(r.query);
    }
  } else {
    out.append(t.substr(0, scheme_end_ + 1));
    if (r.has_authority) {
      append_authority(r.authority);
      has_authority = true;
      remove_dot_segments(r.path, out);
      if (r.has_query) {
        out.push_back('?');
        out.append(r.query);
      }
    } else {
      if (has_authority_) {
        append_authority(t.substr(authority_begin_, authority_end_ - authority_begin_));
        has_authority = true;
      }
      const std::string_view base_path = t.substr(path_begin_, path_end_ - path_begin_);
      if (r.path.empty()) {
        out.append(base_path);
        if (r.has_query) {
          out.push_back('?');
          out.append(r.query);
        } else if (has_query_) {
          out.push_back('?');
          out.append(t.substr(query_begin_, query_end_ - query_begin_));
        }
      } else {
        if (r.path[0] == '/') {
          remove_dot_segments(r.path, out);
        } else {
          // Merge (section 5.2.3), then remove dot segments.
          std::string merged;
          if (has_authority_ && base_path.empty()) {
            merged.reserve(r.path.size() + 1);
            merged.push_back('/');
          } else {
            const size_t slash = base_path.rfind('/');
            if (slash != std::string_view::npos) merged.append(base_path.substr(0, slash + 1));
          }
          merged.append(r.path);
          remove_dot_segments(merged, out);
        }
        if (r.has_query) {
          out.push_back('?');
          out.append(r.query);
        }
      }
    }
  }
  if (r.has_fragment) {
    out.push_back('#');
    out.append(r.fragment);
  }
  if (!has_authority) {
    const size_t path_at = scheme_length(out) + 1;
    if (out.size() - path_at >= 2 && out[path_at] == '/' && out[path_at + 1] == '/')
      return qg::Err(qg::ErrorKind::Parse, "An IRI path is not allowed to start with //");
  }
  return validate_absolute_iri(out);
}

}  // namespace qg::rdf
