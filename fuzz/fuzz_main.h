// Shared body of the fuzz targets: one target per reader, each a single
// QG_FUZZ_* line in its own file, built either for libFuzzer (make fuzz) or
// with fuzz_replay.cpp, which runs a fixed corpus through it (make
// fuzz-smoke). Besides crashes and sanitizer reports, each target checks what
// must hold for every input the reader accepts, so that a wrong result is a
// finding too:
//  - RDF: the load succeeds exactly when the parser does (else both give a
//    parse error with the same message, which names a line and column inside
//    the document); reading the text from a file gives the same statements
//    or error; a syntax whose grammar contains the target's (Turtle for
//    N-Triples, TriG for Turtle, ...) reads the same statements; the counts
//    agree with the statements and the graph; a byte or triple cap one below
//    the document refuses it with a cap error; the graph passes the graph
//    JSON round trip below; a graph that exports to N-Triples loads back
//    from that text, and from its Turtle export, to the same N-Triples.
//  - Graph JSON and pickle state: an accepted record is written, read back
//    and written again to the same text; caps one below the document refuse
//    it with a cap error; the pickle state of a JSON text reads exactly as
//    the text does (same value, or same error kind and message).
// A failed check prints what differs and aborts; libFuzzer saves the input,
// the replay driver names it.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/common/flat_table.h"
#include "core/common/result.h"
#include "core/graph/graph_json.h"
#include "core/graph/pickle_state.h"
#include "core/rdf/export.h"
#include "core/rdf/file_source.h"
#include "core/rdf/load.h"
#include "core/rdf/rdf_parse.h"

namespace qg::fuzz {

inline constexpr uint64_t kNoCap = UINT64_MAX;

[[noreturn]] inline void fail(const char* check, std::string_view a = {}, std::string_view b = {}) {
  std::fprintf(stderr, "fuzz check failed: %s\n<<< %.*s\n>>> %.*s\n", check,
               static_cast<int>(a.size()), a.data(), static_cast<int>(b.size()), b.data());
  std::abort();
}
#define QG_CHECK(cond, ...)                                          \
  do {                                                               \
    if (!(cond)) ::qg::fuzz::fail(#cond __VA_OPT__(, ) __VA_ARGS__); \
  } while (0)

// What a result holds, for the messages of failed checks.
inline std::string_view shown(const Result<std::string>& r) {
  return r ? std::string_view(*r) : std::string_view(r.error().message);
}

// Two errors are the same when kind and message are.
inline bool same_error(const Error& a, const Error& b) {
  return a.kind == b.kind && a.message == b.message;
}
inline bool same(const Result<std::string>& a, const Result<std::string>& b) {
  return a.has_value() == b.has_value() && (a ? *a == *b : same_error(a.error(), b.error()));
}

// A refusal by one of the caps.
template <class T>
bool refused_by_cap(const Result<T>& r) {
  return !r && r.error().kind == ErrorKind::Cap;
}

inline void check_counts(const GraphRecord& g) {
  QG_CHECK(node_id_list(g).size() == g.node_count());
  QG_CHECK(edge_list_refs(g).size() == g.edge_count());
}

inline std::string ntriples_of(const GraphRecord& g) {
  auto text = rdf::export_rdf_core(g, rdf::RdfFormat::NTriples);
  return text ? std::move(*text) : std::string();
}

// Writes `g`, reads it back and checks the second writing is the first.
inline void check_json_round_trip(const GraphRecord& g) {
  check_counts(g);
  auto json = graph_to_json(g);
  QG_CHECK(json);
  auto back = graph_from_json_checked(*json, kNoCap, kNoCap, kNoCap);
  QG_CHECK(back, back.error().message, *json);
  auto again = graph_to_json(*back);
  QG_CHECK(again && *again == *json, again.value_or(""), *json);
  auto state = pickle_state_bytes(g);
  QG_CHECK(state && *state == std::string(kPickleMagic) + *json);
}

// The statements of a document, one line each, with each blank-node label
// replaced by its rank of first appearance (generated labels differ between
// parses), or the parse error. `count` gets the statements seen. With
// `stream`, the text is read from a file descriptor in the reader's chunks.
inline Result<std::string> statements_of(std::string_view text, rdf::RdfFormat format,
                                         uint64_t& count, bool stream = false) {
  FlatMap<std::string, size_t> blanks;
  std::string out;
  auto put = [&](const rdf::Term& t) {
    out += static_cast<char>('0' + static_cast<int>(t.kind));
    if (t.kind == rdf::TermKind::BlankNode)
      out += std::to_string(blanks.try_emplace(std::string(t.value), blanks.size()).first->second);
    else if (t.kind != rdf::TermKind::None)  // (the default graph: no other field is set)
      out.append(t.value).append("\x1f").append(t.datatype).append("\x1f").append(t.language);
    out += '\x1e';
  };
  count = 0;
  auto sink = [&](const rdf::Statement& st) {
    ++count;
    for (const rdf::Term* t : {&st.subject, &st.predicate, &st.object, &st.graph}) put(*t);
    out += '\n';
    return true;
  };
  Status parsed;
  if (stream) {
    // An anonymous in-memory file holding the text, read from its start.
    const int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    QG_CHECK(fd >= 0);
    rdf::FileSource source(fd, rdf::FileSource::kNoCap);
    QG_CHECK(write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()));
    QG_CHECK(lseek(fd, 0, SEEK_SET) == 0);
    parsed = rdf::parse_rdf_stream(source, format, sink);
  } else {
    parsed = rdf::parse_rdf_string(text, format, sink);
  }
  if (!parsed) return Err(parsed.error());
  return out;
}

// A parse error ends with " at line L column C", a place in `text`: lines
// count from 1 ('\n' ends a line; in XML also "\r\n" and a lone '\r'),
// columns from 1 up to one past the line's last byte. (Expat counts in the
// encoding it detects, so XML that could be UTF-16 is not placed.)
inline void check_position(std::string_view error, std::string_view text, bool xml) {
  const size_t at = error.rfind(" at line ");
  QG_CHECK(at != std::string_view::npos, error);
  unsigned long long line = 0, column = 0;
  int end = 0;
  const std::string tail(error.substr(at));
  QG_CHECK(std::sscanf(tail.c_str(), " at line %llu column %llu%n", &line, &column, &end) == 2 &&
               static_cast<size_t>(end) == tail.size(),
           error);
  constexpr std::string_view kUtf16Bytes("\0\xfe\xff", 3);
  if (xml && text.find_first_of(kUtf16Bytes) != std::string_view::npos) return;
  const char* breaks = xml ? "\r\n" : "\n";
  std::string_view rest = text;
  for (unsigned long long l = 1; l < line; ++l) {
    size_t cut = rest.find_first_of(breaks);
    QG_CHECK(cut != std::string_view::npos, error);
    if (rest.substr(cut, 2) == "\r\n") ++cut;
    rest.remove_prefix(cut + 1);
  }
  const size_t length = rest.substr(0, rest.find_first_of(breaks)).size();
  QG_CHECK(line >= 1 && column >= 1 && column <= length + 1, error);
}

// `format` reads `text`; each of `wider` (syntaxes whose grammar contains
// that of `format`) must then read it to the same statements.
inline void rdf_target(std::string_view text, rdf::RdfFormat format,
                       std::initializer_list<rdf::RdfFormat> wider = {}) {
  using rdf::RdfFormat;
  uint64_t statements = 0;
  const auto parsed = statements_of(text, format, statements);
  auto load = rdf::load_rdf_string_core(text, format, kNoCap, kNoCap);
  uint64_t n = 0;
  const auto streamed = statements_of(text, format, n, true);
  QG_CHECK(same(streamed, parsed), shown(streamed), shown(parsed));
  if (!parsed) {
    const Error& e = parsed.error();
    QG_CHECK(e.kind == ErrorKind::Parse, e.message);
    check_position(e.message, text, format == RdfFormat::RdfXml);
    QG_CHECK(!load, e.message);
    QG_CHECK(same_error(load.error(), Error{ErrorKind::Parse, "Parse error: " + e.message}),
             load.error().message, e.message);
    return;
  }
  QG_CHECK(load, load.error().message);
  for (RdfFormat w : wider) {
    const auto other = statements_of(text, w, n);
    QG_CHECK(other && *other == *parsed, shown(other), *parsed);
  }
  const rdf::RdfLoadStats& s = load->stats;
  QG_CHECK(s.total_triples == statements);
  QG_CHECK(s.nodes == load->graph.node_count() && s.edges == load->graph.edge_count());
  QG_CHECK(s.edges + s.literal_properties == s.total_triples);
  check_json_round_trip(load->graph);
  if (statements > 0)
    QG_CHECK(refused_by_cap(rdf::load_rdf_string_core(text, format, kNoCap, statements - 1)));
  if (!text.empty())
    QG_CHECK(refused_by_cap(rdf::load_rdf_string_core(text, format, text.size() - 1, kNoCap)));

  auto nt = rdf::export_rdf_core(load->graph, RdfFormat::NTriples);
  auto ttl = rdf::export_rdf_core(load->graph, RdfFormat::Turtle);
  QG_CHECK(nt.has_value() == ttl.has_value());
  if (!nt) return;
  for (auto [again, syntax] : {std::pair{*nt, RdfFormat::NTriples}, {*ttl, RdfFormat::Turtle}}) {
    auto back = rdf::load_rdf_string_core(again, syntax, kNoCap, kNoCap);
    QG_CHECK(back, back.error().message, again);
    QG_CHECK(back->stats.edges == s.edges && back->stats.literal_properties == 0);
    QG_CHECK(ntriples_of(back->graph) == *nt, ntriples_of(back->graph), *nt);
  }
}

inline void graph_json_target(std::string_view text) {
  auto g = graph_from_json_checked(text, kNoCap, kNoCap, kNoCap);
  if (g) {
    check_json_round_trip(*g);
    const uint64_t n = g->node_count(), m = g->edge_count();
    QG_CHECK(refused_by_cap(graph_from_json_checked(text, text.size() - 1, kNoCap, kNoCap)));
    if (n > 0) QG_CHECK(refused_by_cap(graph_from_json_checked(text, kNoCap, n - 1, kNoCap)));
    if (m > 0) QG_CHECK(refused_by_cap(graph_from_json_checked(text, kNoCap, kNoCap, m - 1)));
  }
  // The same text as a pickle state reads the same, unless it is not UTF-8
  // (which the state refuses first).
  auto p = graph_from_pickle_state(std::string(kPickleMagic) + std::string(text));
  if (!p && p.error().message.find("is not UTF-8") != std::string::npos) return;
  QG_CHECK(p.has_value() == g.has_value(), p ? "" : p.error().message, g ? "" : g.error().message);
  if (!g) QG_CHECK(same_error(p.error(), g.error()), p.error().message, g.error().message);
  else QG_CHECK(*graph_to_json(*p) == *graph_to_json(*g));
}

inline void pickle_state_target(std::string_view state) {
  auto g = graph_from_pickle_state(state);
  if (g) check_json_round_trip(*g);
}

}  // namespace qg::fuzz

// One target: its reader call on the input as text.
#define QG_FUZZ_TARGET(...)                                                 \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { \
    const std::string_view text(reinterpret_cast<const char*>(data), size); \
    __VA_ARGS__;                                                            \
    return 0;                                                               \
  }
// An RDF target: its syntax, then the syntaxes that must read its documents
// the same way (format names of RdfFormat).
#define QG_FUZZ_RDF(format, ...)                         \
  QG_FUZZ_TARGET({                                       \
    using enum ::qg::rdf::RdfFormat;                     \
    ::qg::fuzz::rdf_target(text, format, {__VA_ARGS__}); \
  })
