// RDF loading: statements from the parsers mapped onto a new graph.
//
// Every subject, and every object that is an IRI or a blank node, becomes a
// node whose id is the term's text (an IRI as the parser resolved it; a blank
// node as "_:" plus its label, document labels unchanged). A statement with
// such an object becomes one directed edge carrying "predicate" (the full
// IRI), "label" and "type" (both the predicate's local name). A statement
// whose object is a literal is only counted. Graph names are ignored.
//
// A load is all or nothing: the byte cap is checked before anything is
// parsed (for a file, against its reported size, and again as its bytes are
// read, which is what holds for FIFOs, devices and growing files), the
// triple cap as each statement arrives (so a document far over the cap is
// refused just past it, without reading the rest), as is a node id longer
// than kMaxIdBytes, and any error drops the half-built graph. The readers
// also refuse a document whose prefix, namespace and base expansion
// outgrows it (expansion_budget.h): the IRIs a load builds add up to at most
// 100 times the document's size, or 8 MiB. Nothing here touches the host: a
// caller may run a load detached from its interpreter.
//
// Memory: node and edge property names come from the record's `keys`; each
// distinct predicate IRI and its local name are stored once per load and
// shared by every edge that carries them. A node's label shares the id's
// text when the two are equal (blank nodes, IRIs without "#" or "/").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "absl/functional/function_ref.h"
#include "core/common/result.h"
#include "core/graph/graph_record.h"
#include "core/rdf/rdf_types.h"

namespace qg::rdf {

struct RdfLoadStats {
  uint64_t total_triples = 0;
  uint64_t nodes = 0;
  uint64_t edges = 0;
  uint64_t literal_properties = 0;
  unsigned __int128 load_time_ms = 0;
};

struct RdfLoad {
  GraphRecord graph;
  RdfLoadStats stats;
};

// The text after the last "#", else after the last "/", else the whole
// text. May be empty. The view points into `iri`.
std::string_view iri_local_name(std::string_view iri);

// load_rdf_string's keywords: turtle ttl ntriples nt rdfxml xml owl nquads
// nq trig (exact, case-sensitive).
std::optional<RdfFormat> rdf_format_from_keyword(std::string_view keyword);
// load_rdf_file's extensions: nt nq ttl rdf owl trig (exact, case-sensitive).
std::optional<RdfFormat> rdf_format_from_extension(std::string_view extension);

// "Unknown RDF format: '{}'. Supported: ..."
std::string unknown_format_message(std::string_view keyword);

// The extension of a path's file name, by the usual path rules: components
// split on "/", empty and "." components skipped; no file name for an empty
// path, "/" alone, "." alone or a trailing ".."; no extension for a name
// without ".", or whose only "." is its first character. "g." gives "".
std::optional<std::string_view> path_extension(std::string_view path);

// A string in double quotes with quotes, backslashes, control, format and
// combining characters escaped (\t \r \n \0 \" \\ \u{hex}).
std::string debug_quoted(std::string_view text);

// The mapping alone: a new graph from the statements that parse(sink)
// hands to its sink, under the triple cap; parse returns the reader's
// status. The first error is the triple cap's, then that of an id longer
// than kMaxIdBytes (id_limit.h), then the reader's ("Parse error: ...").
// Both loads below map their statements through it.
Result<RdfLoad> load_statements_core(absl::FunctionRef<Status(StatementSink)> parse,
                                     uint64_t triple_cap);

// The whole load of an in-memory document: byte cap, parse, mapping.
Result<RdfLoad> load_rdf_string_core(std::string_view text, RdfFormat format, uint64_t max_bytes,
                                     uint64_t triple_cap);

// The whole load of a file: extension, metadata, size cap, open, streamed
// parse and mapping. Each failure is the message of its step; a file that
// delivers more than max_bytes bytes gets the size cap's message with
// max_bytes + 1 as its size, whatever the parse made of the bytes before.
Result<RdfLoad> load_rdf_file_core(std::string_view path, uint64_t max_bytes, uint64_t triple_cap);

}  // namespace qg::rdf
