// RDF/XML reader over expat.
//
// Contract:
//  - Parses one RDF/XML document (root rdf:RDF, or a single node element)
//    and calls `sink` once per statement (rdf_types.h). The whole RDF/XML
//    grammar is supported: node and property elements, typed nodes,
//    rdf:about/ID/nodeID/resource, rdf:parseType Resource/Collection/Literal
//    (Literal content becomes an rdf:XMLLiteral in exclusive canonical
//    form), property attributes, rdf:li, xml:base, xml:lang, rdf:datatype and
//    reification by rdf:ID on property elements. A repeated rdf:ID (same
//    resolved IRI) is an error.
//  - Internal DTD entities are expanded under expat's amplification guard;
//    external entities and external DTD subsets are never loaded (a
//    reference to one is an error).
//  - Names expanded by their namespaces, references resolved against a base
//    and namespaces rendered into XML literals are counted against an
//    ExpansionBudget (expansion_budget.h); past it the parse fails.
//  - Element nesting uses an explicit frame stack: depth is bounded only by
//    memory, never by the call stack.
//  - Errors carry "at line L column C". Streams are read in 8 KiB chunks.
#pragma once

#include <string_view>

#include "core/common/result.h"
#include "core/rdf/file_source.h"
#include "core/rdf/rdf_types.h"

namespace qg::rdf {

qg::Status read_rdfxml_string(std::string_view text, std::string_view base_iri, StatementSink sink);

qg::Status read_rdfxml_stream(FileSource& source, std::string_view base_iri, StatementSink sink);

// Expat's guard against entity expansion ("billion laughs"), as configured
// for every RDF/XML parse.
inline constexpr float kXmlMaxAmplification = 8.0f;
inline constexpr unsigned long long kXmlAmplificationThreshold = 1ULL << 20;

}  // namespace qg::rdf
