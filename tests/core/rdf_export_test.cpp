// RDF export core: blank labels, predicate rule, texts and messages.

#include <gtest/gtest.h>

#include <string>

#include "core/graph/graph_record.h"
#include "core/rdf/export.h"
#include "test_support.h"

namespace {

using qg::GraphRecord;
using qg::PropertyMap;
using qg::PropertyValue;
using qg::rdf::edge_predicate;
using qg::rdf::export_jsonld_core;
using qg::rdf::export_rdf_core;
using qg::rdf::is_valid_blank_label;
using qg::rdf::kDefaultPredicateIri;
using qg::rdf::RdfFormat;
using qg::tests::message;

PropertyMap props(std::initializer_list<std::pair<const char*, PropertyValue>> entries) {
  PropertyMap m;
  for (const auto& [k, v] : entries) m.set(std::string_view(k), v);
  return m;
}

void edge(GraphRecord& g, const char* s, const char* t, PropertyMap m = {}) {
  for (const char* n : {s, t})
    if (!qg::node_properties(g, n)) {
      ASSERT_TRUE(qg::add_node_core(g, n, {}));
    }
  ASSERT_TRUE(qg::add_edge_core(g, s, t, std::move(m)));
}

std::string error_of(const GraphRecord& g, RdfFormat f) {
  auto r = export_rdf_core(g, f);
  return r ? std::string("(ok)") : message(r);
}

TEST(RdfExport, BlankLabels) {
  for (const char* ok : {"b0", "0", "_", "a.b", "a-b", "x\xc2\xb7", "\xc3\xa9t\xc3\xa9",
                         "a\xe2\x80\xbf", "\xf0\x90\x80\x80"})
    EXPECT_TRUE(is_valid_blank_label(ok)) << ok;
  for (const char* bad : {"", "a.", "-a", ".a", "a b", ":a", "a:b", "\xc2\xb7x", "a\xff",
                          "\xe2\x80\xbf", "a/b", "a#b"})
    EXPECT_FALSE(is_valid_blank_label(bad)) << bad;
}

// The label rule on its own, as the export's blank-node check uses it.
TEST(RdfBlankLabel, FollowsTheTurtleLabelGrammar) {
  for (const char* ok : {"b0", "0", "_", "a.b", "a-b", "x\xc2\xb7", "\xc3\xa9t\xc3\xa9",
                         "a\xe2\x80\xbf", "\xf0\x90\x80\x80"})
    EXPECT_TRUE(is_valid_blank_label(ok)) << ok;
  for (const char* bad : {"", "a.", "-a", ".a", "a b", ":a", "a:b", "\xc2\xb7x", "a\xff",
                          "\xe2\x80\xbf", "a/b", "a#b"})
    EXPECT_FALSE(is_valid_blank_label(bad)) << bad;
}

TEST(RdfExport, PredicateRule) {
  EXPECT_EQ(edge_predicate({}), kDefaultPredicateIri);
  EXPECT_EQ(edge_predicate(props({{"type", PropertyValue::string("urn:t")},
                                  {"predicate", PropertyValue::string("urn:p")}})),
            "urn:p");
  EXPECT_EQ(edge_predicate(props({{"predicate", PropertyValue::integer(5)},
                                  {"type", PropertyValue::string("urn:t")}})),
            "urn:t");
  EXPECT_EQ(edge_predicate(props(
                {{"predicate", PropertyValue::null()}, {"type", PropertyValue::boolean(true)}})),
            kDefaultPredicateIri);
  EXPECT_EQ(edge_predicate(props({{"predicate", PropertyValue::string("")}})), "");
}

TEST(RdfExport, TurtleAndNTriples) {
  GraphRecord g(true, "", true);
  edge(g, "urn:a", "urn:b", props({{"predicate", PropertyValue::string("urn:p")}}));
  edge(g, "urn:a", "_:c", props({{"predicate", PropertyValue::string("urn:p")}}));
  edge(g, "urn:a", "urn:b",
       props({{"predicate",
               PropertyValue::string("http://www.w3.org/1999/02/22-rdf-syntax-ns#type")}}));
  edge(g, "_:c", "urn:a");
  EXPECT_EQ(*export_rdf_core(g, RdfFormat::Turtle),
            "<urn:a> <urn:p> <urn:b> , _:c ;\n"
            "\ta <urn:b> .\n"
            "_:c <http://quor-graph.dev/graph#relatedTo> <urn:a> .\n");
  EXPECT_EQ(*export_rdf_core(g, RdfFormat::NTriples),
            "<urn:a> <urn:p> <urn:b> .\n"
            "<urn:a> <urn:p> _:c .\n"
            "<urn:a> <http://www.w3.org/1999/02/22-rdf-syntax-ns#type> <urn:b> .\n"
            "_:c <http://quor-graph.dev/graph#relatedTo> <urn:a> .\n");
  EXPECT_FALSE(export_rdf_core(g, RdfFormat::RdfXml));
}

TEST(RdfExport, MessagesInCheckOrder) {
  GraphRecord g(true, "", true);
  edge(g, "urn:a", "urn:b");
  edge(g, "alice", "bob", props({{"predicate", PropertyValue::string("p")}}));
  EXPECT_EQ(error_of(g, RdfFormat::NTriples),
            "Invalid predicate IRI 'p': No scheme found in an absolute IRI");

  GraphRecord h(true, "", true);
  edge(h, "urn:a", "bob");
  edge(h, "bob", "_:x y");
  EXPECT_EQ(error_of(h, RdfFormat::Turtle),
            "Invalid object IRI 'bob': No scheme found in an absolute IRI");
  ASSERT_TRUE(qg::remove_edge_core(h, "urn:a", "bob"));
  EXPECT_EQ(error_of(h, RdfFormat::Turtle),
            "Invalid subject IRI 'bob': No scheme found in an absolute IRI");
  GraphRecord k(true, "", true);
  edge(k, "urn:a", "_:x y");
  EXPECT_EQ(error_of(k, RdfFormat::NTriples),
            "Invalid blank node id '_:x y': The blank node identifier is invalid");
}

TEST(RdfExport, JsonLd) {
  GraphRecord empty;
  EXPECT_EQ(*export_jsonld_core(empty), "{\n  \"@graph\": []\n}");

  GraphRecord g(true, "", true);
  ASSERT_TRUE(qg::add_node_core(g, "lonely", {}));
  edge(g, "b", "a", props({{"predicate", PropertyValue::string("1")}}));
  edge(g, "B", "b", props({{"predicate", PropertyValue::string("p\"")}}));
  EXPECT_EQ(*export_jsonld_core(g),
            "{\n"
            "  \"@graph\": [\n"
            "    {\n"
            "      \"@id\": \"B\",\n"
            "      \"p\\\"\": {\n"
            "        \"@id\": \"b\"\n"
            "      }\n"
            "    },\n"
            "    {\n"
            "      \"1\": {\n"
            "        \"@id\": \"a\"\n"
            "      },\n"
            "      \"@id\": \"b\"\n"
            "    },\n"
            "    {\n"
            "      \"@id\": \"a\"\n"
            "    }\n"
            "  ]\n"
            "}");
  edge(g, "b", "a", props({{"predicate", PropertyValue::string("@id")}}));
  EXPECT_EQ(export_jsonld_core(g).error(),
            "Edge 'b' -> 'a' has the predicate '@id', which JSON-LD reserves for node ids");
}

TEST(RdfExport, LargeGraphMatchesAcrossBufferGrowth) {
  // Ids that grow along the edges, so the sampled size estimate is tested
  // against regrowth of the output buffer.
  GraphRecord g(true, "", true);
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    const std::string s = "urn:s" + std::string(i / 1000, 'x') + std::to_string(i);
    const std::string t = "urn:t" + std::to_string(i % 97);
    if (!qg::node_properties(g, s)) {
      ASSERT_TRUE(qg::add_node_core(g, s, {}));
    }
    if (!qg::node_properties(g, t)) {
      ASSERT_TRUE(qg::add_node_core(g, t, {}));
    }
    ASSERT_TRUE(qg::add_edge_core(g, s, t, {}));
    expected += "<" + s + "> <" + std::string(kDefaultPredicateIri) + "> <" + t + "> .\n";
  }
  EXPECT_EQ(*export_rdf_core(g, RdfFormat::NTriples), expected);
}

}  // namespace
