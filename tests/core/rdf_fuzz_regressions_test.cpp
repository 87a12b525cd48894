// Faults that the fuzz targets (fuzz/) found in the RDF readers, one test
// each, named after the behaviour that was wrong.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/rdf/rdf_parse.h"

namespace {

using qg::rdf::RdfFormat;

std::string error_of(const qg::Status& st) { return st ? "(no error)" : st.error(); }

// The error of `text` read in memory and read through a FILE* in chunks.
std::pair<std::string, std::string> errors(std::string& text, RdfFormat format) {
  auto sink = [](const qg::rdf::Statement&) { return true; };
  const std::string in_memory = error_of(qg::rdf::parse_rdf_string(text, format, sink));
  std::FILE* file = fmemopen(text.data(), text.size(), "r");
  const std::string streamed = error_of(qg::rdf::parse_rdf_stream(file, format, sink));
  std::fclose(file);
  return {in_memory, streamed};
}

// Expat hands a run of text over in pieces wherever a read ends; the error
// must not depend on where that was.
TEST(RdfXmlFuzzRegression, StrayTextIsPlacedAlikeWhereverTheReadSplitsIt) {
  std::string doc = "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n<!--";
  doc.append(8192 - 2 - 4 - doc.size(), 'x');
  doc += "-->\n\t\tstray</rdf:RDF>";  // the read ends after the two tabs
  const auto [in_memory, streamed] = errors(doc, RdfFormat::RdfXml);
  EXPECT_EQ(in_memory, "Text is not allowed here at line 3 column 3");
  EXPECT_EQ(streamed, in_memory);
}

}  // namespace
