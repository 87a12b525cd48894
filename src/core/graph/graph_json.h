// Graph JSON: the graph's own compact text form.
//
//   {"directed":true,"multi":false,"name":"","nodes":[{"id":..,"properties":{..}},..],
//    "edges":[{"source":..,"target":..,"properties":{..}},..]}
//
// The writer emits exactly that layout (no whitespace), nodes in node order
// and edges in edge order. The reader is a streaming parser that fills the
// new record while it reads: no document tree is built. It also accepts each
// record as an array of its field values ([directed, multi, name, nodes,
// edges], [id, properties], [source, target, properties]), refuses unknown
// and repeated fields, and reports every parse error as
// "{description} at line {line} column {column}".
//
// The writer is graph_json_writer.cpp (text forms from json_text.h); the
// reader is graph_json.cpp, over the JsonLexer of json_lexer.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/common/result.h"
#include "core/common/text_out.h"
#include "core/graph/graph.h"
#include "core/graph/json_lexer.h"

namespace qg {

// Arrays and objects nest at most kJsonNesting levels in a document
// (core/graph/json_lexer.h). A property value sits below four of them (the
// graph, its node or edge list, the record, the properties object), so the
// deepest value a document can hold nests kMaxValueNesting levels: the
// limit for values stored from the host too, so that whatever is read can
// be stored again.
inline constexpr int kMaxValueNesting = kJsonNesting - 4;

class GraphRecord;  // core/graph/graph_record.h

// Writes the document; never fails on a consistent record.
Result<std::string> graph_to_json(const Graph& graph);
// Appends the document to `out` (the pickle state writes its magic first).
void write_graph_json(TextOut& out, const Graph& graph);
// A first reservation for the document of `graph`.
size_t graph_json_size_hint(const Graph& graph);

// Reads a document under the caps. The byte cap is checked before anything
// is parsed; the node and edge caps once the whole text has been parsed;
// then the nodes and edges are inserted with the core's messages.
Result<GraphRecord> graph_from_json_checked(std::string_view text, uint64_t max_bytes,
                                            uint64_t max_nodes, uint64_t max_edges);

}  // namespace qg
