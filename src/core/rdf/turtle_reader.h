// Reader for the Turtle family: Turtle, TriG, N-Triples and N-Quads.
//
// Contract:
//  - read_turtle_family() parses one whole document from `input` and calls
//    `sink` once per statement (see rdf_types.h for the term conventions).
//  - Strict RDF 1.1 grammar of each syntax. N-Triples and N-Quads are
//    line-based, take absolute IRIs only and know no directives.
//  - `base_iri` ("" for none) is the initial base; Turtle/TriG documents can
//    change it with @base/BASE. A relative IRI with no base in scope is an
//    error. Prefixes start empty. Every IRI is validated as an absolute IRI
//    and every language tag as a BCP 47 tag.
//  - Nesting of [ ... ] and ( ... ) is limited to kMaxTurtleNesting levels;
//    deeper input is a parse error, never a stack overflow.
//  - IRIs built from prefixes and base IRIs are counted against an
//    ExpansionBudget (expansion_budget.h); a document that expands past it
//    is a parse error. N-Triples and N-Quads expand nothing.
//  - Errors name their position: "... at line L column C".
#pragma once

#include <cstdint>
#include <string_view>

#include "core/common/result.h"
#include "core/rdf/byte_input.h"
#include "core/rdf/rdf_types.h"

namespace qg::rdf {

enum class TurtleSyntax : uint8_t { NTriples, NQuads, Turtle, TriG };

inline constexpr int kMaxTurtleNesting = 512;

qg::Status read_turtle_family(ByteInput& input, TurtleSyntax syntax, std::string_view base_iri,
                              StatementSink sink);

}  // namespace qg::rdf
