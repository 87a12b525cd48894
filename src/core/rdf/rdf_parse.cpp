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

qg::Status parse_rdf_stream(FileSource& source, RdfFormat format, StatementSink sink,
                            const ParseOptions& options) {
  if (format == RdfFormat::RdfXml) return read_rdfxml_stream(source, options.base_iri, sink);
  // The input owns an 8 KiB buffer; keep it off the stack.
  auto input = std::make_unique<ByteInput>(source);
  return read_turtle_family(*input, turtle_syntax(format), options.base_iri, sink);
}

qg::Status parse_rdf_file(const std::string& path, RdfFormat format, StatementSink sink,
                          const ParseOptions& options) {
  const int fd = open_for_reading(path);
  if (fd < 0)
    return qg::Err(qg::ErrorKind::Refused,
                   std::string("Failed to open file: ") + std::strerror(errno));
  FileSource source(fd, FileSource::kNoCap);
  return parse_rdf_stream(source, format, sink, options);
}

}  // namespace qg::rdf
