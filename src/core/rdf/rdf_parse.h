// Entry points of the RDF parsers: text or file in, statements out.
//
// Contract:
//  - Each function parses one document in `format` and calls `sink` once per
//    statement (terms and their lifetimes: rdf_types.h). It returns success
//    at the end of the document or as soon as the sink returns false, and
//    otherwise an error text with its position ("... at line L column C"),
//    without any "Parse error: " prefix. Statements delivered before an
//    error stay delivered; a caller that wants all-or-nothing discards them.
//  - Defaults: no base IRI, no predeclared prefixes, strict validation,
//    statements of named graphs delivered with their graph term, document
//    blank-node labels delivered unchanged. `options.base_iri` (absolute)
//    sets the starting base.
//  - Files are read in 8 KiB chunks and never held whole in memory; a read
//    error (or the source's byte cap) is reported like a syntax error.
//  - No exception is thrown for bad input; an exception thrown by the sink
//    propagates to the caller unchanged.
#pragma once

#include <string>
#include <string_view>

#include "core/common/result.h"
#include "core/rdf/file_source.h"
#include "core/rdf/rdf_types.h"

namespace qg::rdf {

struct ParseOptions {
  std::string_view base_iri;  // "" for none
};

// Parses an in-memory document.
qg::Status parse_rdf_string(std::string_view text, RdfFormat format, StatementSink sink,
                            const ParseOptions& options = {});

// Parses what the source delivers, to its end. The caller keeps ownership of
// `source` (and reports open failures itself).
qg::Status parse_rdf_stream(FileSource& source, RdfFormat format, StatementSink sink,
                            const ParseOptions& options = {});

// Opens `path` read-only and parses it. An open failure returns
// "Failed to open file: <system text>".
qg::Status parse_rdf_file(const std::string& path, RdfFormat format, StatementSink sink,
                          const ParseOptions& options = {});

}  // namespace qg::rdf
