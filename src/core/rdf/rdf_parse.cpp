#include "core/rdf/rdf_parse.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "core/rdf/byte_input.h"
#include "core/rdf/rdfxml_reader.h"
#include "core/rdf/turtle_reader.h"

namespace qg::rdf {
namespace {

TurtleSyntax turtle_syntax(RdfFormat format) {
  switch (format) {
    case RdfFormat::NQuads: return TurtleSyntax::NQuads;
    case RdfFormat::NTriples: return TurtleSyntax::NTriples;
    case RdfFormat::TriG: return TurtleSyntax::TriG;
    default: return TurtleSyntax::Turtle;
  }
}

}  // namespace

qg::Status parse_rdf_string(std::string_view text, RdfFormat format, StatementSink sink,
                            const ParseOptions& options) {
  if (format == RdfFormat::RdfXml) return read_rdfxml_string(text, options.base_iri, sink);
  ByteInput input(text);
  return read_turtle_family(input, turtle_syntax(format), options.base_iri, sink);
}

qg::Status parse_rdf_stream(std::FILE* file, RdfFormat format, StatementSink sink,
                            const ParseOptions& options) {
  if (format == RdfFormat::RdfXml) return read_rdfxml_stream(file, options.base_iri, sink);
  // The input owns an 8 KiB buffer; keep it off the stack.
  auto input = std::make_unique<ByteInput>(file);
  return read_turtle_family(*input, turtle_syntax(format), options.base_iri, sink);
}

qg::Status parse_rdf_file(const std::string& path, RdfFormat format, StatementSink sink,
                          const ParseOptions& options) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return qg::Err(std::string("Failed to open file: ") + std::strerror(errno));
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
  return parse_rdf_stream(file, format, sink, options);
}

}  // namespace qg::rdf
