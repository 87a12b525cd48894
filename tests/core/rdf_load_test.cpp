// The RDF load core: format tables, path extensions, the debug form of an
// extension, local names, and the mapping of statements onto a new graph.
#include <gtest/gtest.h>

#include <string>

#include "core/graph/id_limit.h"
#include "core/rdf/load.h"
#include "test_support.h"

namespace {

using qg::rdf::RdfFormat;
using qg::tests::message;

TEST(RdfLoadNames, LocalName) {
  EXPECT_EQ(qg::rdf::iri_local_name("http://a/b#c/d"), "c/d");
  EXPECT_EQ(qg::rdf::iri_local_name("http://a/b/c"), "c");
  EXPECT_EQ(qg::rdf::iri_local_name("http://a/b/"), "");
  EXPECT_EQ(qg::rdf::iri_local_name("http://a/b#"), "");
  EXPECT_EQ(qg::rdf::iri_local_name("urn:isbn:123"), "urn:isbn:123");
  EXPECT_EQ(qg::rdf::iri_local_name("_:b0"), "_:b0");
  EXPECT_EQ(qg::rdf::iri_local_name(""), "");
}

TEST(RdfLoadNames, KeywordAndExtensionTablesDiffer) {
  EXPECT_EQ(qg::rdf::rdf_format_from_keyword("xml"), RdfFormat::RdfXml);
  EXPECT_EQ(qg::rdf::rdf_format_from_extension("xml"), std::nullopt);
  EXPECT_EQ(qg::rdf::rdf_format_from_extension("rdf"), RdfFormat::RdfXml);
  EXPECT_EQ(qg::rdf::rdf_format_from_keyword("rdf"), std::nullopt);
  EXPECT_EQ(qg::rdf::rdf_format_from_keyword("ttl"), RdfFormat::Turtle);
  EXPECT_EQ(qg::rdf::rdf_format_from_keyword("TTL"), std::nullopt);
  EXPECT_EQ(qg::rdf::rdf_format_from_extension("trig"), RdfFormat::TriG);
  EXPECT_EQ(qg::rdf::rdf_format_from_keyword("nq"), RdfFormat::NQuads);
}

struct ExtCase {
  const char* path;
  const char* extension;  // nullptr: none
};

class PathExtension : public ::testing::TestWithParam<ExtCase> {};

TEST_P(PathExtension, FollowsThePathRules) {
  const auto got = qg::rdf::path_extension(GetParam().path);
  if (GetParam().extension == nullptr) {
    EXPECT_EQ(got, std::nullopt) << GetParam().path;
  } else {
    ASSERT_TRUE(got.has_value()) << GetParam().path;
    EXPECT_EQ(*got, GetParam().extension);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathExtension,
    ::testing::Values(ExtCase{"dir/g.ttl", "ttl"}, ExtCase{"g.ttl.gz", "gz"},
                      ExtCase{"dir.old/graph", nullptr}, ExtCase{".ttl", nullptr},
                      ExtCase{"x..ttl", "ttl"}, ExtCase{"g.", ""}, ExtCase{"", nullptr},
                      ExtCase{"/", nullptr}, ExtCase{".", nullptr}, ExtCase{"./", nullptr},
                      ExtCase{"..", nullptr}, ExtCase{"a/..", nullptr}, ExtCase{"a.ttl/.", "ttl"},
                      ExtCase{"a.ttl//", "ttl"}, ExtCase{"./g.nt", "nt"},
                      ExtCase{"a/./b.owl", "owl"}, ExtCase{"/abs/dir/.hidden", nullptr},
                      ExtCase{"..ttl", "ttl"}));

TEST(RdfLoadNames, DebugQuoted) {
  EXPECT_EQ(qg::rdf::debug_quoted(""), "\"\"");
  EXPECT_EQ(qg::rdf::debug_quoted("ttl"), "\"ttl\"");
  EXPECT_EQ(qg::rdf::debug_quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(qg::rdf::debug_quoted(std::string("\t\r\n\0", 4)), "\"\\t\\r\\n\\0\"");
  EXPECT_EQ(qg::rdf::debug_quoted("\x01\x7f"), "\"\\u{1}\\u{7f}\"");
  EXPECT_EQ(qg::rdf::debug_quoted("\xc3\xa9"), "\"\xc3\xa9\"");       // é kept
  EXPECT_EQ(qg::rdf::debug_quoted("\xe2\x80\x8b"), "\"\\u{200b}\"");  // zero width space
  EXPECT_EQ(qg::rdf::debug_quoted("\xcc\x81"), "\"\\u{301}\"");       // combining accent
  EXPECT_EQ(qg::rdf::debug_quoted("a\xff"
                                  "b"),
            "\"a\\u{ff}b\"");  // not UTF-8: the byte
}

// The quoting of an unknown extension in the load error.
TEST(RdfLoadNames, ExtensionsAreShownInDebugQuotes) {
  EXPECT_EQ(qg::rdf::debug_quoted(""), "\"\"");
  EXPECT_EQ(qg::rdf::debug_quoted("ttl"), "\"ttl\"");
  EXPECT_EQ(qg::rdf::debug_quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(qg::rdf::debug_quoted(std::string("\t\r\n\0", 4)), "\"\\t\\r\\n\\0\"");
  EXPECT_EQ(qg::rdf::debug_quoted("\x01\x7f"), "\"\\u{1}\\u{7f}\"");
  EXPECT_EQ(qg::rdf::debug_quoted("\xc3\xa9"), "\"\xc3\xa9\"");       // é kept
  EXPECT_EQ(qg::rdf::debug_quoted("\xe2\x80\x8b"), "\"\\u{200b}\"");  // zero width space
  EXPECT_EQ(qg::rdf::debug_quoted("\xcc\x81"), "\"\\u{301}\"");       // combining accent
}

TEST(RdfLoadCore, MapsStatements) {
  auto r = qg::rdf::load_rdf_string_core(
      "@prefix e: <http://e/> . e:a e:p e:b , _:x , \"lit\"@en . _:x e:p e:a .", RdfFormat::Turtle,
      UINT64_MAX, UINT64_MAX);
  ASSERT_TRUE(r.has_value()) << r.error();
  const auto& g = r->graph;
  EXPECT_TRUE(g.directed());
  EXPECT_TRUE(g.multi());
  EXPECT_EQ(g.name(), "");
  EXPECT_EQ(r->stats.total_triples, 4u);
  EXPECT_EQ(r->stats.nodes, 3u);
  EXPECT_EQ(r->stats.edges, 3u);
  EXPECT_EQ(r->stats.literal_properties, 1u);
  const auto ids = qg::node_id_list(g);
  ASSERT_EQ(ids.size(), 3u);
  EXPECT_EQ(ids[0], "http://e/a");
  EXPECT_EQ(ids[1], "http://e/b");
  EXPECT_EQ(ids[2], "_:x");
  const auto edges = qg::edge_list_refs(g);
  ASSERT_EQ(edges.size(), 3u);
  EXPECT_EQ(edges[2].source, "_:x");
  EXPECT_EQ(edges[2].properties->find("predicate")->as_string(), "http://e/p");
  EXPECT_EQ(edges[2].properties->find("label")->as_string(), "p");
  EXPECT_EQ(edges[2].properties->find("type")->as_string(), "p");
  // Predicate strings are shared by every edge that carries them.
  EXPECT_EQ(edges[0].properties->find("predicate")->string_handle()->c_str(),
            edges[2].properties->find("predicate")->string_handle()->c_str());
  EXPECT_EQ(qg::node_properties(g, "_:x")->find("label")->as_string(), "_:x");
  EXPECT_EQ(qg::node_properties(g, "http://e/b")->find("label")->as_string(), "b");
}

TEST(RdfLoadCore, Caps) {
  const std::string doc =
      "<http://e/a> <http://e/p> \"1\" .\n<http://e/a> <http://e/p> <http://e/b> .\n";
  EXPECT_TRUE(qg::rdf::load_rdf_string_core(doc, RdfFormat::NTriples, doc.size(), 2));
  auto bytes = qg::rdf::load_rdf_string_core(doc, RdfFormat::NTriples, doc.size() - 1, 2);
  ASSERT_FALSE(bytes);
  EXPECT_EQ(bytes.error(), "RDF string is " + std::to_string(doc.size()) +
                               " bytes; refusing to parse above " + std::to_string(doc.size() - 1) +
                               " bytes (raise QuorGraphSettings.max_bytes if intended).");
  auto triples = qg::rdf::load_rdf_string_core(doc + "garbage", RdfFormat::NTriples, UINT64_MAX, 1);
  ASSERT_FALSE(triples);
  EXPECT_EQ(triples.error(),
            "RDF parse exceeded triple_cap=1 (raise QuorGraphSettings.max_triples if intended).");
  auto parse = qg::rdf::load_rdf_string_core(doc + "garbage", RdfFormat::NTriples, UINT64_MAX, 2);
  ASSERT_FALSE(parse);
  EXPECT_EQ(message(parse).rfind("Parse error: ", 0), 0u) << message(parse);
}

// The load's id table keeps lengths in 32 bits: a subject or object id over
// the limit ("_:" counted) stops the parse and refuses the load before any
// of its bytes is read (the views are unreadable). A literal is no id.
TEST(RdfLoadCore, IdsOverTheLengthLimitAreRefusedUnread) {
  using qg::rdf::Term, qg::rdf::TermKind;
  qg::tests::UnreadableView big(qg::kMaxIdBytes + 1);
  ASSERT_TRUE(big.ok());
  const std::string_view label = big.view().substr(2);  // "_:" makes it one too long
  const Term iri{TermKind::Iri, "http://e/a"}, p{TermKind::Iri, "http://e/p"};
  struct Case {
    Term subject, object;
  };
  for (const Case& c :
       {Case{{TermKind::Iri, big.view()}, iri}, Case{iri, {TermKind::Iri, big.view()}},
        Case{{TermKind::BlankNode, label}, iri}, Case{iri, {TermKind::BlankNode, label}}}) {
    bool went_on = true;
    auto r = qg::rdf::load_statements_core(
        [&](qg::rdf::StatementSink sink) -> qg::Status {
          went_on = sink({iri, p, iri, {}}) && sink({c.subject, p, c.object, {}});
          return {};
        },
        UINT64_MAX);
    EXPECT_FALSE(went_on);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind, qg::ErrorKind::Refused);
    EXPECT_EQ(r.error(), qg::msg::id_too_long(qg::kMaxIdBytes + 1));
  }
  auto literal = qg::rdf::load_statements_core(
      [&](qg::rdf::StatementSink sink) -> qg::Status {
        (void)sink({iri, p, {TermKind::Literal, big.view(), qg::rdf::kXsdString}, {}});
        return {};
      },
      UINT64_MAX);
  ASSERT_TRUE(literal) << literal.error();
  EXPECT_EQ(literal->stats.literal_properties, 1u);
}

TEST(RdfLoadCore, FileChecksInOrder) {
  auto ext = qg::rdf::load_rdf_file_core("/no/such/dir/g.xml", 0, 0);
  ASSERT_FALSE(ext);
  EXPECT_EQ(message(ext).rfind("Unknown RDF file extension for \"xml\";", 0), 0u);
  auto missing = qg::rdf::load_rdf_file_core("/no/such/dir/g.ttl", 0, 0);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "Failed to stat file: No such file or directory (os error 2)");
}

}  // namespace
