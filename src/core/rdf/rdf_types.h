// RDF terms and statements as the parsers deliver them.
//
// Contract:
//  - A parser calls a StatementSink once per statement, in document order.
//  - Every string_view in a Term or Statement is valid only for the duration
//    of that sink call; a sink copies whatever it keeps.
//  - IRIs are absolute (already resolved and validated). Blank nodes carry
//    their label without "_:". Literals carry lexical form, datatype IRI
//    (xsd:string or rdf:langString when the document gave none) and the
//    language tag exactly as written ("" when there is none).
//  - graph.kind is TermKind::None for a statement of the default graph.
//  - A term may carry `memo`: a word the parser keeps with the slot the
//    term was read into, set to 0 whenever the slot's kind or value changes
//    and otherwise left as the sink last stored it. A nonzero value the sink
//    stored there thus says the slot still holds the same term, and a term
//    read once and reused for many statements (Turtle's ';' and ',', the
//    properties of one RDF/XML node element) is recognised without comparing
//    its text. Null when the parser offers none.
//  - A sink returns true to continue and false to stop the parse at once;
//    the parse then ends successfully without reading further.
#pragma once

#include <cstdint>
#include <string_view>

#include "absl/functional/function_ref.h"

namespace qg::rdf {

// One-byte code of an RDF syntax; shared by the loaders and the exporters.
enum class RdfFormat : uint8_t {
  NQuads = 1,
  NTriples = 2,
  RdfXml = 3,
  TriG = 4,
  Turtle = 5,
};

enum class TermKind : uint8_t { None = 0, Iri = 1, BlankNode = 2, Literal = 3 };

struct Term {
  TermKind kind = TermKind::None;
  std::string_view value;     // IRI text, blank-node label or lexical form
  std::string_view datatype;  // literals only
  std::string_view language;  // literals only; "" when absent
  uint64_t* memo = nullptr;   // see above
};

struct Statement {
  Term subject;
  Term predicate;
  Term object;
  Term graph;  // kind None: default graph
};

using StatementSink = absl::FunctionRef<bool(const Statement&)>;

inline constexpr std::string_view kRdfNs = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
inline constexpr std::string_view kXsdNs = "http://www.w3.org/2001/XMLSchema#";
inline constexpr std::string_view kXsdString = "http://www.w3.org/2001/XMLSchema#string";
inline constexpr std::string_view kXsdInteger = "http://www.w3.org/2001/XMLSchema#integer";
inline constexpr std::string_view kXsdDecimal = "http://www.w3.org/2001/XMLSchema#decimal";
inline constexpr std::string_view kXsdDouble = "http://www.w3.org/2001/XMLSchema#double";
inline constexpr std::string_view kXsdBoolean = "http://www.w3.org/2001/XMLSchema#boolean";
inline constexpr std::string_view kRdfLangString =
    "http://www.w3.org/1999/02/22-rdf-syntax-ns#langString";
inline constexpr std::string_view kRdfXmlLiteral =
    "http://www.w3.org/1999/02/22-rdf-syntax-ns#XMLLiteral";
inline constexpr std::string_view kRdfType = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";
inline constexpr std::string_view kRdfFirst = "http://www.w3.org/1999/02/22-rdf-syntax-ns#first";
inline constexpr std::string_view kRdfRest = "http://www.w3.org/1999/02/22-rdf-syntax-ns#rest";
inline constexpr std::string_view kRdfNil = "http://www.w3.org/1999/02/22-rdf-syntax-ns#nil";

}  // namespace qg::rdf
