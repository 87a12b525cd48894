#include "core/rdf/turtle_reader.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <array>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <utility>

#include "core/common/flat_table.h"
#include "core/common/interrupt.h"
#include "core/rdf/blank_ids.h"
#include "core/rdf/expansion_budget.h"
#include "core/rdf/iri.h"
#include "core/rdf/lang_tag.h"
#include "core/rdf/unicode.h"

namespace qg::rdf {
namespace {

// ---------------------------------------------------------------------------
// Byte classes

constexpr std::array<bool, 256> make_iri_plain() {
  // IRIREF ::= '<' ([^#x00-#x20<>"{}|^`\] | UCHAR)* '>'
  std::array<bool, 256> t{};
  for (int c = 0x21; c < 256; ++c) t[c] = true;
  for (char c : std::string_view("<>\"{}|^`\\")) t[static_cast<unsigned char>(c)] = false;
  return t;
}
constexpr auto kIriPlain = make_iri_plain();

// The first byte of [p, e) that kIriPlain rejects, or e. Sixteen bytes at a
// time where SSE2 is there: IRIs are most of an N-Triples document.
const char* skip_iri_plain(const char* p, const char* e) {
#ifdef __SSE2__
  const __m128i space = _mm_set1_epi8(0x20);
  while (e - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i bad = _mm_cmpeq_epi8(_mm_max_epu8(v, space), space);  // <= 0x20
    for (char c : {'<', '>', '"', '{', '}', '|', '^', '`', '\\'})
      bad = _mm_or_si128(bad, _mm_cmpeq_epi8(v, _mm_set1_epi8(c)));
    const int mask = _mm_movemask_epi8(bad);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p < e && kIriPlain[static_cast<unsigned char>(*p)]) ++p;
  return p;
}

constexpr std::array<bool, 256> make_string_plain(char quote, bool long_form) {
  std::array<bool, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = true;
  t[static_cast<unsigned char>(quote)] = false;
  t['\\'] = false;
  t['\n'] = false;
  if (!long_form) t['\r'] = false;
  return t;
}
constexpr auto kShortDouble = make_string_plain('"', false);
constexpr auto kShortSingle = make_string_plain('\'', false);
constexpr auto kLongDouble = make_string_plain('"', true);
constexpr auto kLongSingle = make_string_plain('\'', true);

constexpr std::array<bool, 128> make_pn_chars_ascii() {
  std::array<bool, 128> t{};
  for (int c = 'a'; c <= 'z'; ++c) t[c] = true;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = true;
  for (int c = '0'; c <= '9'; ++c) t[c] = true;
  t['_'] = t['-'] = true;
  return t;
}
constexpr auto kPnCharsAscii = make_pn_chars_ascii();

bool is_pn_chars_u(int32_t c) { return c == '_' || is_pn_chars_base(c); }
bool is_pn_chars(int32_t c) {
  if (c < 0x80) return kPnCharsAscii[c];
  return c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040) ||
         is_pn_chars_base(c);
}
bool is_pn_local_esc(int c) {
  return c >= 0 && std::strchr("_~.-!$&'()*+,;=/?#@%", c) != nullptr && c != 0;
}
// A byte that may continue a name after a '.', judged on its first byte.
bool may_continue_name(int c) {
  if (c < 0) return false;
  if (c >= 0x80) return true;
  return kPnCharsAscii[c] || c == '.' || c == ':' || c == '%' || c == '\\';
}

// ALPHA / DIGIT / "-" / "." / "_" / "~" / "%": valid in every component of
// an IRI that follows its authority (percent signs come checked by the lexer).
bool is_unreserved_ascii(std::string_view s) {
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (!(c < 0x80 && (kPnCharsAscii[c] || c == '.' || c == '~' || c == '%'))) return false;
  }
  return true;
}

std::string describe_byte(int c) {
  if (c < 0) return "end of input";
  if (c > 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
  char buf[16];
  std::snprintf(buf, sizeof buf, "byte 0x%02X", c);
  return buf;
}

// ---------------------------------------------------------------------------
// Terms under construction

enum class Dt : uint8_t { Explicit, String, LangString, Integer, Decimal, Double, Boolean };

struct TermBuf {
  TermKind kind = TermKind::None;
  Dt dt = Dt::String;
  std::string value;
  std::string datatype;
  std::string lang;
  std::string last_valid;  // the last IRI validated in this slot
  // The sink's word for the term in this slot (rdf_types.h): every write to
  // kind or value calls rewrite() first.
  mutable uint64_t memo = 0;

  Term view() const {
    Term t;
    t.kind = kind;
    t.value = value;
    if (kind == TermKind::Literal) {
      switch (dt) {
        case Dt::Explicit: t.datatype = datatype; break;
        case Dt::String: t.datatype = kXsdString; break;
        case Dt::LangString:
          t.datatype = kRdfLangString;
          t.language = lang;
          break;
        case Dt::Integer: t.datatype = kXsdInteger; break;
        case Dt::Decimal: t.datatype = kXsdDecimal; break;
        case Dt::Double: t.datatype = kXsdDouble; break;
        case Dt::Boolean: t.datatype = kXsdBoolean; break;
      }
    }
    return t;
  }
  // The sink's memo of the old term no longer applies.
  void rewrite() { memo = 0; }
  // No term (the default graph): no value left over from an earlier one.
  void set_none() {
    rewrite();
    kind = TermKind::None;
    value.clear();
  }
  void set_iri(std::string_view iri) {
    rewrite();
    kind = TermKind::Iri;
    value.assign(iri);
  }
};

// The subject and predicate in force at one nesting level.
struct Level {
  TermBuf subject;
  TermBuf predicate;
};

// ---------------------------------------------------------------------------

class TurtleReader {
 public:
  TurtleReader(ByteInput& in, TurtleSyntax syntax, StatementSink sink)
      : in_(in), syntax_(syntax), sink_(sink) {
    first_.set_iri(kRdfFirst);
    rest_.set_iri(kRdfRest);
    nil_.set_iri(kRdfNil);
    type_.set_iri(kRdfType);
  }

  qg::Status run(std::string_view base) {
    if (!base.empty()) {
      auto parsed = BaseIri::parse(base);
      if (!parsed)
        return qg::Err(qg::ErrorKind::Refused,
                       "Invalid base IRI <" + std::string(base) + ">: " + parsed.error().message);
      base_ = std::move(*parsed);
    }
    // A UTF-8 byte order mark is skipped.
    if (in_.peek() == 0xEF && in_.peek_at(1) == 0xBB && in_.peek_at(2) == 0xBF) in_.advance(3);
    bool ok = false;
    switch (syntax_) {
      case TurtleSyntax::NTriples:
      case TurtleSyntax::NQuads: ok = ntriplesDoc(); break;
      case TurtleSyntax::Turtle: ok = turtleDoc(); break;
      case TurtleSyntax::TriG: ok = trigDoc(); break;
    }
    if (ok || stopped_) return {};
    return qg::Err(qg::ErrorKind::Parse, std::move(error_));
  }

 private:
  bool line_based() const {
    return syntax_ == TurtleSyntax::NTriples || syntax_ == TurtleSyntax::NQuads;
  }

  // ---- errors ------------------------------------------------------------

  bool fail_at(TextPosition pos, std::string message) {
    if (error_.empty()) error_ = std::move(message) + position_suffix(pos);
    return false;
  }
  bool fail(std::string message) { return fail_at(in_.position(), std::move(message)); }
  bool fail_unexpected(std::string_view expected) {
    const int c = in_.peek();
    if (c < 0 && !in_.io_error().empty()) return fail(in_.io_error());
    return fail("Expected " + std::string(expected) + ", found " + describe_byte(c));
  }
  // Consumes `c` or fails naming what was expected.
  bool expect(char c, std::string_view what) {
    if (in_.eat(c)) return true;
    return fail_unexpected(what);
  }
  bool end_of_input() {
    if (!in_.io_error().empty()) return fail(in_.io_error());
    return true;
  }

  // ---- whitespace --------------------------------------------------------

  // Turtle WS and comments.
  void skip_ws() {
    for (;;) {
      while (in_.cur < in_.end) {
        const char c = *in_.cur;
        if (c == ' ' || c == '\t' || c == '\r') {
          ++in_.cur;
        } else if (c == '\n') {
          ++in_.cur;
          in_.new_line();
        } else if (c == '#') {
          skip_comment();
        } else {
          return;
        }
      }
      if (!in_.refill()) return;
    }
  }
  // Spaces and tabs inside an N-Triples line.
  void skip_blanks() {
    for (;;) {
      while (in_.cur < in_.end && (*in_.cur == ' ' || *in_.cur == '\t')) ++in_.cur;
      if (in_.cur < in_.end || !in_.refill()) return;
    }
  }
  // Skips to the end of the line, leaving the '\n' unread. Comment text
  // must be UTF-8 too: at a malformed sequence the skip stops there with the
  // error recorded; no production can consume that byte, so the parse fails
  // with this first error.
  void skip_comment() {
    for (;;) {
      const size_t avail = static_cast<size_t>(in_.end - in_.cur);
      const void* nl = std::memchr(in_.cur, '\n', avail);
      const size_t len = nl != nullptr ? static_cast<size_t>(static_cast<const char*>(nl) - in_.cur)
                                       : avail;
      const size_t bad = find_invalid_utf8(std::string_view(in_.cur, len));
      if (bad != std::string_view::npos) {
        in_.advance(bad);
        int n = 0;
        // A sequence cut by the end of the window is judged once complete.
        if (nl == nullptr) in_.ensure(4);
        if (nl != nullptr || decode_utf8(in_.cur, in_.end, &n) < 0) {
          fail("Invalid UTF-8 in a comment");
          return;
        }
        in_.advance(static_cast<size_t>(n));
        continue;
      }
      in_.advance(len);
      if (nl != nullptr) return;
      if (!in_.refill()) return;
    }
  }

  // ---- statements out ----------------------------------------------------

  // The subject and predicate carry their slot's memo: one read once and
  // reused with ';' or ',' is then known to the sink without its text.
  bool emit(const TermBuf& s, const TermBuf& p, const TermBuf& o) {
    poll_();
    Statement st{s.view(), p.view(), o.view(), graph_.view()};
    st.subject.memo = &s.memo;
    st.predicate.memo = &p.memo;
    if (!sink_(st)) {
      stopped_ = true;
      return false;
    }
    return true;
  }

  void fresh_blank(TermBuf& t) {
    t.rewrite();
    t.kind = TermKind::BlankNode;
    ids_.next(t.value);
  }

  Level& level(int depth) {
    while (levels_.size() <= static_cast<size_t>(depth)) levels_.emplace_back();
    return levels_[static_cast<size_t>(depth)];
  }

  // Counts an IRI built from a prefix or the base against the budget.
  bool count_expansion(size_t bytes, TextPosition pos) {
    if (expansion_.spend(bytes, in_.offset())) return true;
    return fail_at(pos, expansion_limit_message());
  }

  bool check_depth(int depth) {
    if (depth > kMaxTurtleNesting)
      return fail("Nesting deeper than " + std::to_string(kMaxTurtleNesting) +
                  " levels of [ ] or ( )");
    return true;
  }

  // ---- N-Triples / N-Quads -----------------------------------------------

  // ntriplesDoc ::= triple? (EOL triple)* EOL?   (nquadsDoc alike)
  bool ntriplesDoc() {
    const bool quads = syntax_ == TurtleSyntax::NQuads;
    TermBuf& s = level(0).subject;
    TermBuf& p = level(0).predicate;
    for (;;) {
      skip_blanks();
      const int c = in_.peek();
      if (c < 0) return end_of_input();
      if (c == '\n') {
        in_.advance();
        in_.new_line();
        continue;
      }
      if (c == '\r') {
        in_.advance();
        continue;
      }
      if (c == '#') {
        skip_comment();
        continue;
      }
      // subject ::= IRIREF | BLANK_NODE_LABEL
      if (c == '<') {
        if (!IRIREF(s)) return false;
      } else if (c == '_') {
        if (!BLANK_NODE_LABEL(s)) return false;
      } else {
        return fail_unexpected("a subject IRI or blank node");
      }
      skip_blanks();
      // predicate ::= IRIREF
      if (in_.peek() != '<') return fail_unexpected("a predicate IRI");
      if (!IRIREF(p)) return false;
      skip_blanks();
      // object ::= IRIREF | BLANK_NODE_LABEL | literal
      const int o = in_.peek();
      if (o == '<') {
        if (!IRIREF(obj_)) return false;
      } else if (o == '_') {
        if (!BLANK_NODE_LABEL(obj_)) return false;
      } else if (o == '"') {
        if (!RDFLiteral(obj_)) return false;
      } else {
        return fail_unexpected("an object IRI, blank node or literal");
      }
      skip_blanks();
      if (quads) {
        // graphLabel ::= IRIREF | BLANK_NODE_LABEL
        const int g = in_.peek();
        if (g == '<') {
          if (!IRIREF(graph_)) return false;
        } else if (g == '_') {
          if (!BLANK_NODE_LABEL(graph_)) return false;
        } else {
          graph_.set_none();
        }
        skip_blanks();
      }
      if (!expect('.', "'.' at the end of the statement")) return false;
      skip_blanks();
      const int e = in_.peek();
      if (e == '#') {
        skip_comment();
      } else if (e >= 0 && e != '\n' && e != '\r') {
        return fail_unexpected("the end of the line");
      }
      if (!emit(s, p, obj_)) return false;
    }
  }

  // ---- Turtle ------------------------------------------------------------

  // turtleDoc ::= statement*
  bool turtleDoc() {
    for (;;) {
      skip_ws();
      if (in_.peek() < 0) return end_of_input();
      if (!statement()) return false;
    }
  }

  // statement ::= directive | triples '.'
  bool statement() {
    if (directive()) return true;
    if (!error_.empty()) return false;
    if (!triples()) return false;
    skip_ws();
    if (!expect('.', "'.' at the end of the statement")) return false;
    return true;
  }

  // directive ::= prefixID | base | sparqlPrefix | sparqlBase
  // Returns false without an error when no directive starts here.
  bool directive() {
    const int c = in_.peek();
    if (c == '@') {
      const TextPosition pos = in_.position();
      if (at_keyword_ahead("@prefix")) {
        in_.advance(7);
        if (!prefix_body()) return false;
      } else if (at_keyword_ahead("@base")) {
        in_.advance(5);
        if (!base_body()) return false;
      } else {
        return fail_at(pos, "Expected @prefix or @base");
      }
      skip_ws();
      if (!expect('.', "'.' after the directive")) return false;
      return true;
    }
    if (c == 'P' || c == 'p') {
      if (!keyword_ahead("PREFIX", 0, true)) return false;
      in_.advance(6);
      return prefix_body();
    }
    if (c == 'B' || c == 'b') {
      if (!keyword_ahead("BASE", 0, true)) return false;
      in_.advance(4);
      return base_body();
    }
    return false;
  }

  // True when `kw` (the first `exact` bytes compared exactly, the rest
  // exactly or ignoring ASCII case) is next and is not followed by a name
  // character.
  bool keyword_ahead(std::string_view kw, size_t exact, bool ignore_case) {
    if (!in_.ensure(kw.size())) return false;
    for (size_t i = 0; i < kw.size(); ++i) {
      char a = in_.cur[i];
      char b = kw[i];
      if (i >= exact && ignore_case) {
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
      }
      if (a != b) return false;
    }
    const int next = in_.peek_at(kw.size());
    return !may_continue_name(next);
  }

  // "@prefix" or "@base" next, not followed by a letter, digit or '-'.
  bool at_keyword_ahead(std::string_view kw) {
    if (!in_.ensure(kw.size()) || std::memcmp(in_.cur, kw.data(), kw.size()) != 0) return false;
    const int next = in_.peek_at(kw.size());
    return !(is_ascii_alpha(next) || is_ascii_digit(next) || next == '-');
  }

  // prefixID / sparqlPrefix after the keyword: PNAME_NS IRIREF
  bool prefix_body() {
    skip_ws();
    std::string name;
    if (in_.peek() != ':') {
      if (!PN_PREFIX(name)) return false;
    }
    if (!expect(':', "':' after the prefix name")) return false;
    skip_ws();
    if (in_.peek() != '<') return fail_unexpected("an IRI for the prefix");
    if (!IRIREF(scratch_term_)) return false;
    // A local name of unreserved ASCII characters appended to this IRI keeps
    // it valid, unless the IRI ends inside its authority (a port, say).
    const IriComponents parts = split_iri_reference(scratch_term_.value);
    const bool ends_in_authority = parts.has_authority && parts.path.empty() && !parts.has_query &&
                                   !parts.has_fragment;
    prefixes_[name] = PrefixNs{scratch_term_.value, !ends_in_authority};
    return true;
  }

  // base / sparqlBase after the keyword: IRIREF
  bool base_body() {
    skip_ws();
    if (in_.peek() != '<') return fail_unexpected("an IRI for the base");
    const TextPosition pos = in_.position();
    if (!IRIREF(scratch_term_)) return false;
    auto parsed = BaseIri::parse(scratch_term_.value);
    if (!parsed) return fail_at(pos, "Invalid base IRI: " + parsed.error().message);
    base_ = std::move(*parsed);
    return true;
  }

  // triples ::= subject predicateObjectList | blankNodePropertyList predicateObjectList?
  bool triples() {
    TermBuf& subject = level(0).subject;
    const int c = in_.peek();
    if (c == '[') {
      in_.advance();
      skip_ws();
      fresh_blank(subject);
      if (in_.eat(']')) return predicateObjectList(0);
      // blankNodePropertyList as subject
      if (!predicateObjectList(0)) return false;
      skip_ws();
      if (!expect(']', "']'")) return false;
      skip_ws();
      const int n = in_.peek();
      if (n == '.' || (n == '}' && syntax_ == TurtleSyntax::TriG)) return true;
      return predicateObjectList(0);
    }
    if (c == '(') {
      if (!collection(1, false)) return false;
      return predicateObjectList(0);
    }
    if (!subject_term(subject)) return false;
    return predicateObjectList(0);
  }

  // subject ::= iri | BlankNode   (the collection case is handled by callers)
  bool subject_term(TermBuf& t) {
    const int c = in_.peek();
    if (c == '<') return IRIREF(t);
    if (c == '_') return BLANK_NODE_LABEL(t);
    if (c == ':' || c >= 0x80 || is_ascii_alpha(c)) return PrefixedName(t);
    return fail_unexpected("a subject");
  }

  // predicateObjectList ::= verb objectList (';' (verb objectList)?)*
  bool predicateObjectList(int depth) {
    skip_ws();
    if (!verb(level(depth).predicate)) return false;
    if (!objectList(depth)) return false;
    for (;;) {
      skip_ws();
      if (in_.peek() != ';') return true;
      while (in_.eat(';')) skip_ws();
      const int c = in_.peek();
      if (c == '.' || c == ']' || c == '}' || c < 0) return true;
      if (!verb(level(depth).predicate)) return false;
      if (!objectList(depth)) return false;
    }
  }

  // objectList ::= object (',' object)*
  bool objectList(int depth) {
    if (!object(depth)) return false;
    for (;;) {
      skip_ws();
      if (!in_.eat(',')) return true;
      if (!object(depth)) return false;
    }
  }

  // verb ::= predicate | 'a'
  bool verb(TermBuf& t) {
    skip_ws();
    const int c = in_.peek();
    if (c == 'a' && !may_continue_name(in_.peek_at(1))) {
      in_.advance();
      t.set_iri(kRdfType);
      return true;
    }
    if (c == '<') return IRIREF(t);
    if (c == ':' || c >= 0x80 || is_ascii_alpha(c)) return PrefixedName(t);
    return fail_unexpected("a predicate");
  }

  // object ::= iri | BlankNode | collection | blankNodePropertyList | literal
  bool object(int depth) {
    skip_ws();
    const int c = in_.peek();
    Level& here = level(depth);
    switch (c) {
      case '<':
        if (!IRIREF(obj_)) return false;
        break;
      case '_':
        if (!BLANK_NODE_LABEL(obj_)) return false;
        break;
      case '[': return blankNodePropertyList(depth);
      case '(': return collection(depth + 1, true);
      case '"':
      case '\'':
        if (!RDFLiteral(obj_)) return false;
        break;
      case '+':
      case '-':
      case '.':
      case '0':
      case '1':
      case '2':
      case '3':
      case '4':
      case '5':
      case '6':
      case '7':
      case '8':
      case '9':
        if (!NumericLiteral(obj_)) return false;
        break;
      default:
        if (c == ':' || c >= 0x80 || is_ascii_alpha(c)) {
          if (!name_or_boolean(obj_)) return false;
        } else {
          return fail_unexpected("an object");
        }
    }
    return emit(here.subject, here.predicate, obj_);
  }

  // blankNodePropertyList ::= '[' predicateObjectList ']'   (and ANON)
  // in object position at `depth`.
  bool blankNodePropertyList(int depth) {
    in_.advance();  // '['
    skip_ws();
    if (in_.eat(']')) {
      fresh_blank(obj_);
      Level& here = level(depth);
      return emit(here.subject, here.predicate, obj_);
    }
    if (!check_depth(depth + 1)) return false;
    Level& inner = level(depth + 1);
    Level& here = level(depth);
    fresh_blank(inner.subject);
    if (!emit(here.subject, here.predicate, inner.subject)) return false;
    if (!predicateObjectList(depth + 1)) return false;
    skip_ws();
    if (!expect(']', "']'")) return false;
    return true;
  }

  // collection ::= '(' object* ')'
  // Items are objects at `depth`, whose subject is the current list node.
  // As an object, the head is the object of level depth-1; otherwise it
  // becomes the subject of level depth-1.
  bool collection(int depth, bool as_object) {
    if (!check_depth(depth)) return false;
    in_.advance();  // '('
    skip_ws();
    Level& outer = level(depth - 1);
    if (in_.eat(')')) {
      if (as_object) return emit(outer.subject, outer.predicate, nil_);
      outer.subject.set_iri(kRdfNil);
      return true;
    }
    Level& node = level(depth);
    fresh_blank(node.subject);
    if (as_object) {
      if (!emit(outer.subject, outer.predicate, node.subject)) return false;
    } else {
      outer.subject.rewrite();
      outer.subject.kind = TermKind::BlankNode;
      outer.subject.value = node.subject.value;
    }
    node.predicate.set_iri(kRdfFirst);
    for (;;) {
      if (!object(depth)) return false;
      skip_ws();
      const int c = in_.peek();
      if (c == ')') {
        in_.advance();
        return emit(node.subject, rest_, nil_);
      }
      if (c < 0) return fail_unexpected("')'");
      fresh_blank(next_node_);
      if (!emit(node.subject, rest_, next_node_)) return false;
      node.subject.rewrite();
      next_node_.rewrite();
      std::swap(node.subject.value, next_node_.value);
      // Nested objects may have used the predicate slot's level; restore.
      node.predicate.set_iri(kRdfFirst);
    }
  }

  // ---- TriG --------------------------------------------------------------

  // trigDoc ::= (directive | block)*
  bool trigDoc() {
    for (;;) {
      skip_ws();
      if (in_.peek() < 0) return end_of_input();
      if (directive()) continue;
      if (!error_.empty()) return false;
      if (!block()) return false;
    }
  }

  // block ::= triplesOrGraph | wrappedGraph | triples2 | "GRAPH" labelOrSubject wrappedGraph
  bool block() {
    const int c = in_.peek();
    TermBuf& subject = level(0).subject;
    if ((c == 'G' || c == 'g') && keyword_ahead("GRAPH", 0, true)) {
      in_.advance(5);
      skip_ws();
      if (!labelOrSubject(subject)) return false;
      skip_ws();
      if (in_.peek() != '{') return fail_unexpected("'{' after the graph name");
      return wrappedGraph(&subject);
    }
    if (c == '{') return wrappedGraph(nullptr);
    if (c == '[') {
      // ANON as a graph name or subject, or triples2 with a property list.
      in_.advance();
      skip_ws();
      fresh_blank(subject);
      if (in_.eat(']')) {
        skip_ws();
        if (in_.peek() == '{') return wrappedGraph(&subject);
        if (!predicateObjectList(0)) return false;
      } else {
        if (!predicateObjectList(0)) return false;
        skip_ws();
        if (!expect(']', "']'")) return false;
        skip_ws();
        if (in_.peek() != '.' && !predicateObjectList(0)) return false;
      }
    } else if (c == '(') {
      if (!collection(1, false)) return false;
      if (!predicateObjectList(0)) return false;
    } else {
      // triplesOrGraph ::= labelOrSubject (wrappedGraph | predicateObjectList '.')
      if (!labelOrSubject(subject)) return false;
      skip_ws();
      if (in_.peek() == '{') return wrappedGraph(&subject);
      if (!predicateObjectList(0)) return false;
    }
    skip_ws();
    if (!expect('.', "'.' at the end of the statement")) return false;
    return true;
  }

  // labelOrSubject ::= iri | BlankNode
  bool labelOrSubject(TermBuf& t) {
    if (in_.peek() == '[') {
      in_.advance();
      skip_ws();
      if (!expect(']', "']' of an anonymous graph name")) return false;
      fresh_blank(t);
      return true;
    }
    return subject_term(t);
  }

  // wrappedGraph ::= '{' triplesBlock? '}'
  // triplesBlock ::= triples ('.' triplesBlock?)?
  bool wrappedGraph(const TermBuf* name) {
    in_.advance();  // '{'
    if (name != nullptr) {
      graph_.rewrite();
      graph_.kind = name->kind;
      graph_.value = name->value;
    } else {
      graph_.set_none();
    }
    for (;;) {
      skip_ws();
      if (in_.eat('}')) break;
      if (!triples()) return false;
      skip_ws();
      if (in_.eat('.')) continue;
      if (in_.eat('}')) break;
      return fail_unexpected("'.' or '}'");
    }
    graph_.set_none();
    return true;
  }

  // ---- terminals ---------------------------------------------------------

  // IRIREF ::= '<' ([^#x00-#x20<>"{}|^`\] | UCHAR)* '>'
  // Leaves the resolved, validated IRI in t.
  bool IRIREF(TermBuf& t) {
    const TextPosition pos = in_.position();
    in_.advance();  // '<'
    std::string& out = raw_;
    out.clear();
    for (;;) {
      const char* p = in_.cur;
      const char* const e = in_.end;
      p = skip_iri_plain(p, e);
      out.append(in_.cur, static_cast<size_t>(p - in_.cur));
      in_.cur = p;
      if (p == e) {
        if (!in_.refill()) return fail_unexpected("'>' closing the IRI");
        continue;
      }
      if (*p == '>') {
        in_.advance();
        break;
      }
      if (*p == '\\') {
        if (!UCHAR(out)) return false;
        continue;
      }
      return fail("Invalid character " + describe_byte(static_cast<unsigned char>(*p)) +
                  " in an IRI");
    }
    return finish_iri(t, out, pos);
  }

  // Resolves `ref` against the base when relative and validates it.
  bool finish_iri(TermBuf& t, std::string& ref, TextPosition pos) {
    t.rewrite();
    t.kind = TermKind::Iri;
    if (has_iri_scheme(ref)) {
      std::swap(t.value, ref);
    } else {
      if (line_based())
        return fail_at(pos, "Relative IRI <" + ref + "> is not allowed in this syntax");
      if (base_.empty())
        return fail_at(pos, "Relative IRI <" + ref + "> with no base IRI in scope");
      auto st = base_.resolve(ref, t.value);
      if (!st) return fail_at(pos, "Invalid IRI <" + ref + ">: " + st.error().message);
      if (!count_expansion(t.value.size(), pos)) return false;
      t.last_valid = t.value;
      return true;
    }
    if (t.value != t.last_valid) {
      auto st = validate_absolute_iri(t.value);
      if (!st) return fail_at(pos, "Invalid IRI <" + t.value + ">: " + st.error().message);
      t.last_valid = t.value;
    }
    return true;
  }

  // UCHAR ::= '\u' HEX HEX HEX HEX | '\U' HEX HEX HEX HEX HEX HEX HEX HEX
  bool UCHAR(std::string& out) {
    const int kind = in_.peek_at(1);
    size_t digits = kind == 'u' ? 4 : kind == 'U' ? 8 : 0;
    if (digits == 0) return fail("Invalid escape sequence");
    in_.ensure(2 + digits);
    uint32_t cp = 0;
    for (size_t i = 0; i < digits; ++i) {
      const int h = in_.peek_at(2 + i);
      if (!is_hex_digit(h)) return fail("Invalid hexadecimal digit in a \\u escape");
      cp = cp * 16 + static_cast<uint32_t>(hex_value(h));
    }
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return fail("Escape for an invalid code point");
    in_.advance(2 + digits);
    append_utf8(out, cp);
    return true;
  }

  // ECHAR ::= '\' [tbnrf"'\]   (or UCHAR)
  bool string_escape(std::string& out) {
    const int c = in_.peek_at(1);
    char v;
    switch (c) {
      case 't': v = '\t'; break;
      case 'b': v = '\b'; break;
      case 'n': v = '\n'; break;
      case 'r': v = '\r'; break;
      case 'f': v = '\f'; break;
      case '"': v = '"'; break;
      case '\'': v = '\''; break;
      case '\\': v = '\\'; break;
      case 'u':
      case 'U': return UCHAR(out);
      default: return fail("Invalid escape sequence in a string");
    }
    in_.advance(2);
    out.push_back(v);
    return true;
  }

  // BLANK_NODE_LABEL ::= '_:' (PN_CHARS_U | [0-9]) ((PN_CHARS | '.')* PN_CHARS)?
  bool BLANK_NODE_LABEL(TermBuf& t) {
    if (in_.peek_at(1) != ':') return fail_unexpected("'_:' of a blank node label");
    in_.advance(2);
    t.rewrite();
    t.kind = TermKind::BlankNode;
    std::string& out = t.value;
    out.clear();
    int len = 0;
    int32_t cp = peek_code_point(&len);
    if (cp == -2) return fail("Invalid UTF-8 in a blank node label");
    if (!(is_pn_chars_u(cp) || is_ascii_digit(cp))) return fail_unexpected("a blank node label");
    return name_tail(out, /*allow_colon_plx=*/false);
  }

  // Reads the rest of a name: (PN_CHARS | '.' [| ':' | PLX])* not ending in '.'.
  // The first character, already checked by the caller, is at the cursor
  // (unless the caller consumed it).
  bool name_tail(std::string& out, bool local) {
    const size_t start = out.size();
    for (;;) {
      const char* p = in_.cur;
      const char* const e = in_.end;
      while (p < e && static_cast<unsigned char>(*p) < 0x80 &&
             kPnCharsAscii[static_cast<unsigned char>(*p)])
        ++p;
      out.append(in_.cur, static_cast<size_t>(p - in_.cur));
      in_.cur = p;
      const int c = in_.peek();
      if (c < 0) break;
      if (c < 0x80 && kPnCharsAscii[c]) continue;  // the run stopped at a refill
      if (c == '.') {
        if (!may_continue_name(in_.peek_at(1))) break;
        out.push_back('.');
        in_.advance();
        continue;
      }
      if (local && c == ':') {
        out.push_back(':');
        in_.advance();
        continue;
      }
      if (local && c == '%') {
        if (!is_hex_digit(in_.peek_at(1)) || !is_hex_digit(in_.peek_at(2)))
          return fail("Invalid percent encoding in a local name");
        out.append(in_.cur, 3);
        in_.advance(3);
        continue;
      }
      if (local && c == '\\') {
        const int esc = in_.peek_at(1);
        if (!is_pn_local_esc(esc)) return fail("Invalid escape in a local name");
        out.push_back(static_cast<char>(esc));
        in_.advance(2);
        continue;
      }
      if (c < 0x80) break;
      int len = 0;
      const int32_t cp = peek_code_point(&len);
      if (cp == -2) return fail("Invalid UTF-8 in a name");
      if (!is_pn_chars(cp)) break;
      out.append(in_.cur, static_cast<size_t>(len));
      in_.advance(static_cast<size_t>(len));
    }
    if (out.size() > start && out.back() == '.') return fail("A name must not end with '.'");
    return true;
  }

  // Code point at the cursor without consuming it: -1 at the end, -2 when
  // the bytes are not UTF-8.
  int32_t peek_code_point(int* len) {
    const int c = in_.peek();
    if (c < 0) return -1;
    if (c < 0x80) {
      *len = 1;
      return c;
    }
    in_.ensure(4);
    const int32_t cp = decode_utf8(in_.cur, in_.end, len);
    return cp < 0 ? -2 : cp;
  }

  // PN_PREFIX ::= PN_CHARS_BASE ((PN_CHARS | '.')* PN_CHARS)?
  bool PN_PREFIX(std::string& out) {
    out.clear();
    int len = 0;
    const int32_t cp = peek_code_point(&len);
    if (cp == -2) return fail("Invalid UTF-8 in a prefix name");
    if (!is_pn_chars_base(cp)) return fail_unexpected("a prefix name");
    return name_tail(out, false);
  }

  // PN_LOCAL ::= (PN_CHARS_U | ':' | [0-9] | PLX) ((PN_CHARS | '.' | ':' | PLX)* (PN_CHARS | ':' |
  // PLX))? Appends the unescaped local name to `out`; it may be empty.
  bool PN_LOCAL(std::string& out) {
    const int c = in_.peek();
    if (c < 0) return true;
    bool starts = c == ':' || c == '%' || c == '\\' || is_ascii_digit(c);
    if (!starts) {
      int len = 0;
      const int32_t cp = peek_code_point(&len);
      if (cp == -2) return fail("Invalid UTF-8 in a local name");
      starts = cp >= 0 && is_pn_chars_u(cp);
    }
    if (!starts) return true;
    return name_tail(out, true);
  }

  // PrefixedName ::= PNAME_LN | PNAME_NS
  bool PrefixedName(TermBuf& t) {
    const TextPosition pos = in_.position();
    if (in_.peek() == ':') {
      prefix_name_.clear();
    } else if (!PN_PREFIX(prefix_name_)) {
      return false;
    }
    if (!expect(':', "':' of a prefixed name")) return false;
    return prefixed_name_rest(t, pos);
  }

  bool prefixed_name_rest(TermBuf& t, TextPosition pos) {
    auto it = prefixes_.find(prefix_name_);
    if (it == prefixes_.end()) return fail_at(pos, "Undefined prefix '" + prefix_name_ + ":'");
    const PrefixNs& ns = it->second;
    raw_.assign(ns.iri);
    if (!PN_LOCAL(raw_)) return false;
    t.rewrite();
    t.kind = TermKind::Iri;
    std::swap(t.value, raw_);
    if (!count_expansion(t.value.size(), pos)) return false;
    if (ns.appendable && is_unreserved_ascii(std::string_view(t.value).substr(ns.iri.size()))) {
      return true;  // the namespace IRI was validated when it was declared
    }
    if (t.value != t.last_valid) {
      auto st = validate_absolute_iri(t.value);
      if (!st) return fail_at(pos, "Invalid IRI <" + t.value + ">: " + st.error().message);
      t.last_valid = t.value;
    }
    return true;
  }

  // A prefixed name, or the keywords true and false.
  bool name_or_boolean(TermBuf& t) {
    const TextPosition pos = in_.position();
    if (in_.peek() == ':') {
      prefix_name_.clear();
    } else if (!PN_PREFIX(prefix_name_)) {
      return false;
    }
    if (in_.eat(':')) return prefixed_name_rest(t, pos);
    if (prefix_name_ == "true" || prefix_name_ == "false") {
      // BooleanLiteral ::= 'true' | 'false'
      t.rewrite();
      t.kind = TermKind::Literal;
      t.dt = Dt::Boolean;
      t.value = prefix_name_;
      return true;
    }
    return fail_at(pos, "Unexpected name '" + prefix_name_ + "'");
  }

  // RDFLiteral ::= String (LANGTAG | '^^' iri)?
  bool RDFLiteral(TermBuf& t) {
    const TextPosition pos = in_.position();
    t.rewrite();
    if (!String(t.value)) return false;
    const size_t bad = find_invalid_utf8(t.value);
    if (bad != std::string::npos) return fail_at(pos, "Invalid UTF-8 in a string");
    t.kind = TermKind::Literal;
    t.dt = Dt::String;
    const int c = in_.peek();
    if (c == '@') return LANGTAG(t);
    if (c == '^') {
      if (in_.peek_at(1) != '^') return fail_unexpected("'^^'");
      in_.advance(2);
      const int d = in_.peek();
      if (d == '<') {
        if (!IRIREF(dt_term_)) return false;
      } else if (!line_based() && (d == ':' || d >= 0x80 || is_ascii_alpha(d))) {
        if (!PrefixedName(dt_term_)) return false;
      } else {
        return fail_unexpected("a datatype IRI");
      }
      t.dt = Dt::Explicit;
      t.datatype = dt_term_.value;
    }
    return true;
  }

  // LANGTAG ::= '@' [a-zA-Z]+ ('-' [a-zA-Z0-9]+)*
  bool LANGTAG(TermBuf& t) {
    const TextPosition pos = in_.position();
    in_.advance();  // '@'
    std::string& tag = t.lang;
    tag.clear();
    while (is_ascii_alpha(in_.peek())) {
      tag.push_back(static_cast<char>(in_.peek()));
      in_.advance();
    }
    if (tag.empty()) return fail_unexpected("a language tag");
    while (in_.peek() == '-') {
      const int n = in_.peek_at(1);
      if (!is_ascii_alpha(n) && !is_ascii_digit(n)) return fail("Invalid language tag");
      tag.push_back('-');
      in_.advance();
      while (is_ascii_alpha(in_.peek()) || is_ascii_digit(in_.peek())) {
        tag.push_back(static_cast<char>(in_.peek()));
        in_.advance();
      }
    }
    if (!is_well_formed_language_tag(tag))
      return fail_at(pos, "Language tag '" + tag + "' is not well-formed");
    t.dt = Dt::LangString;
    return true;
  }

  // String ::= STRING_LITERAL_QUOTE | STRING_LITERAL_SINGLE_QUOTE
  //          | STRING_LITERAL_LONG_SINGLE_QUOTE | STRING_LITERAL_LONG_QUOTE
  bool String(std::string& out) {
    const int q = in_.peek();
    out.clear();
    if (!line_based() && in_.peek_at(1) == q && in_.peek_at(2) == q) {
      in_.advance(3);
      return long_string(static_cast<char>(q), out);
    }
    if (q == '\'' && line_based()) return fail_unexpected("'\"'");
    in_.advance();
    const auto& plain = q == '"' ? kShortDouble : kShortSingle;
    for (;;) {
      const char* p = in_.cur;
      const char* const e = in_.end;
      while (p < e && plain[static_cast<unsigned char>(*p)]) ++p;
      out.append(in_.cur, static_cast<size_t>(p - in_.cur));
      in_.cur = p;
      if (p == e) {
        if (!in_.refill()) return fail_unexpected("the closing quote of the string");
        continue;
      }
      const char c = *p;
      if (c == q) {
        in_.advance();
        return true;
      }
      if (c == '\\') {
        if (!string_escape(out)) return false;
        continue;
      }
      return fail("Line break inside a string");
    }
  }

  bool long_string(char q, std::string& out) {
    const auto& plain = q == '"' ? kLongDouble : kLongSingle;
    for (;;) {
      const char* p = in_.cur;
      const char* const e = in_.end;
      while (p < e && plain[static_cast<unsigned char>(*p)]) ++p;
      out.append(in_.cur, static_cast<size_t>(p - in_.cur));
      in_.cur = p;
      if (p == e) {
        if (!in_.refill()) return fail_unexpected("the closing quotes of the string");
        continue;
      }
      const char c = *p;
      if (c == '\n') {
        out.push_back('\n');
        in_.advance();
        in_.new_line();
      } else if (c == '\\') {
        if (!string_escape(out)) return false;
      } else {  // the quote character
        if (in_.peek_at(1) == q && in_.peek_at(2) == q) {
          in_.advance(3);
          return true;
        }
        out.push_back(q);
        in_.advance();
      }
    }
  }

  // NumericLiteral ::= INTEGER | DECIMAL | DOUBLE
  bool NumericLiteral(TermBuf& t) {
    t.rewrite();
    std::string& out = t.value;
    out.clear();
    t.kind = TermKind::Literal;
    int c = in_.peek();
    if (c == '+' || c == '-') {
      out.push_back(static_cast<char>(c));
      in_.advance();
    }
    const size_t int_digits = digits(out);
    size_t frac_digits = 0;
    bool dot = false;
    c = in_.peek();
    if (c == '.') {
      const int n = in_.peek_at(1);
      bool take = is_ascii_digit(n);
      if (!take && int_digits > 0 && (n == 'e' || n == 'E')) {
        const int n2 = in_.peek_at(2);
        take = is_ascii_digit(n2) || ((n2 == '+' || n2 == '-') && is_ascii_digit(in_.peek_at(3)));
      }
      if (take) {
        dot = true;
        out.push_back('.');
        in_.advance();
        frac_digits = digits(out);
      }
    }
    if (int_digits == 0 && frac_digits == 0) return fail_unexpected("a number");
    c = in_.peek();
    if (c == 'e' || c == 'E') {
      out.push_back(static_cast<char>(c));
      in_.advance();
      c = in_.peek();
      if (c == '+' || c == '-') {
        out.push_back(static_cast<char>(c));
        in_.advance();
      }
      if (digits(out) == 0) return fail_unexpected("the digits of an exponent");
      t.dt = Dt::Double;
      return true;
    }
    t.dt = dot ? Dt::Decimal : Dt::Integer;
    return true;
  }

  size_t digits(std::string& out) {
    size_t n = 0;
    while (is_ascii_digit(in_.peek())) {
      out.push_back(static_cast<char>(in_.peek()));
      in_.advance();
      ++n;
    }
    return n;
  }

  // ---- state -------------------------------------------------------------

  ByteInput& in_;
  const TurtleSyntax syntax_;
  StatementSink sink_;
  BlankIdGenerator ids_;
  BaseIri base_;
  ExpansionBudget expansion_;
  struct PrefixNs {
    std::string iri;
    bool appendable;
  };
  FlatMap<std::string, PrefixNs> prefixes_;
  std::deque<Level> levels_;  // stable references while it grows
  TermBuf obj_, graph_, dt_term_, scratch_term_, next_node_;
  TermBuf first_, rest_, nil_, type_;
  std::string raw_;
  std::string prefix_name_;
  std::string error_;
  bool stopped_ = false;
  Poller poll_;  // once per statement
};

}  // namespace

qg::Status read_turtle_family(ByteInput& input, TurtleSyntax syntax, std::string_view base_iri,
                              StatementSink sink) {
  TurtleReader reader(input, syntax, sink);
  return reader.run(base_iri);
}

}  // namespace qg::rdf
