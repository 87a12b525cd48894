// Writing a graph out as RDF: Turtle, N-Triples and a JSON-LD document.
//
// Contract:
//  - Every live edge becomes one statement, in edge-index order and in its
//    stored orientation: source id -> subject, target id -> object, and the
//    predicate text chosen by edge_predicate(). Nodes are never written for
//    their own sake; node properties and other edge properties never appear.
//  - A node id that starts with "_:" is a blank node labelled by the rest of
//    the id; any other id is an IRI, written unchanged.
//  - Turtle and N-Triples validate each statement before writing it, in the
//    order predicate, subject, object; the first fault ends the export and
//    only its message is returned. Turtle groups consecutive statements
//    only (same subject: " ;", same subject and predicate: " , ") and writes
//    rdf:type as "a".
//  - The JSON-LD document copies ids and predicate texts unvalidated; its
//    objects keep their keys in byte-wise order and it is indented by two
//    spaces. A node object always keeps its own "@id": an edge whose
//    predicate text is "@id" cannot be written as a property of its source
//    without overwriting the source's identity, so it is left out.
//  - The graph is only read; each writer fills one growing buffer, reserved
//    from a sample of the edges, with no allocation per statement.
#pragma once

#include <string>
#include <string_view>

#include "core/common/result.h"
#include "core/common/text_out.h"
#include "core/graph/graph.h"
#include "core/rdf/rdf_types.h"

namespace qg::rdf {

// The predicate of every edge that names none, in Turtle, N-Triples and
// JSON-LD alike.
inline constexpr std::string_view kDefaultPredicateIri = "http://quor-graph.dev/graph#relatedTo";

// The edge's "predicate" property if it is a string, else its "type"
// property if that is a string, else kDefaultPredicateIri. A property that
// holds anything but a string counts as absent.
std::string_view edge_predicate(const PropertyMap& properties) noexcept;

// Whether `label` (without "_:") is a blank-node label that Turtle and
// N-Triples read back: not empty, first character PN_CHARS_U or a digit,
// then PN_CHARS or ".", not ending in ".".
bool is_valid_blank_label(std::string_view label) noexcept;

// Appends the graph's edges to `out` as Turtle or N-Triples text (format
// Turtle or NTriples; any other code is refused). Messages:
//   "Invalid predicate IRI '{}': {}", "Invalid blank node id '{}': {}",
//   "Invalid subject IRI '{}': {}", "Invalid object IRI '{}': {}".
// After an error `out` holds a partial text that the caller discards.
Status write_rdf(const Graph& g, RdfFormat format, TextOut& out);

// Appends the graph as a JSON-LD document: {"@graph": [...]} with a node
// object per source id (byte-wise order), then a bare reference per node
// that is only a target (node order). Never fails on the graph's content.
Status write_jsonld(const Graph& g, TextOut& out);

// The same texts as strings.
Result<std::string> export_rdf_core(const Graph& g, RdfFormat format);
Result<std::string> export_jsonld_core(const Graph& g);

}  // namespace qg::rdf
