// Edges as (subject, predicate, object) triples and graphs built from them.

#include "core/knowledge/triples.h"

#include "core/graph/id_limit.h"
#include "knowledge_fixture.h"
#include "test_support.h"

namespace qg {
namespace {

using namespace knowledge_test;

struct PredicateCase {
  PropertyMap p;
  std::optional<std::string> expected;
};

class EdgePredicate : public ::testing::TestWithParam<PredicateCase> {};

TEST_P(EdgePredicate, PredicateThenType) {
  auto got = edge_predicate(GetParam().p);
  if (GetParam().expected) {
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, *GetParam().expected);
  } else {
    EXPECT_FALSE(got);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Maps, EdgePredicate,
    ::testing::Values(PredicateCase{props({{"predicate", S("p")}, {"type", S("t")}}), "p"},
                      PredicateCase{props({{"type", S("t")}}), "t"},
                      PredicateCase{props({{"predicate", I(5)}, {"type", S("subClassOf")}}),
                                    "subClassOf"},
                      PredicateCase{props({{"predicate", I(5)}}), std::nullopt},
                      PredicateCase{props({{"predicate", PropertyValue::null()}}), std::nullopt},
                      PredicateCase{props({{"predicate", S("")}}), ""},
                      PredicateCase{PropertyMap(), std::nullopt}));

std::vector<std::tuple<std::string, std::string, std::string>> projected(const GraphRecord& g) {
  std::vector<std::tuple<std::string, std::string, std::string>> out;
  for (const Triple& t : project_triples_core(g))
    out.emplace_back(std::string(t.subject), std::string(t.predicate), std::string(t.object));
  return out;
}

TEST(ProjectTriples, OnePerEdgeInEdgeOrderWithDefault) {
  GraphRecord g =
      make(true, true, {"a", "b", "c", "lonely"},
           {{"a", "b", label("p")}, {"b", "c", props({{"x", I(1)}})}, {"a", "b", label("")}});
  using T = std::tuple<std::string, std::string, std::string>;
  EXPECT_EQ(projected(g),
            (std::vector<T>{{"a", "p", "b"}, {"b", "relatedTo", "c"}, {"a", "", "b"}}));
  GraphRecord empty = make(true, false, {"a"}, {});
  EXPECT_TRUE(project_triples_core(empty).empty());
}

TEST(FromTriples, EmptyKeepsDirection) {
  for (bool directed : {true, false}) {
    GraphRecord g = from_triples_core({}, directed).value();
    EXPECT_EQ(g.directed(), directed);
    EXPECT_FALSE(g.multi());
    EXPECT_EQ(g.name(), "");
    EXPECT_EQ(g.node_count(), 0u);
  }
}

TEST(FromTriples, FirstMentionOrderAndFirstPredicatePerPair) {
  std::vector<Triple> ts = {{"b", "p", "a"}, {"b", "q", "a"}, {"c", "p", "c"}, {"a", "r", "b"}};
  GraphRecord g = from_triples_core(ts, true).value();
  EXPECT_EQ(ids(g), (Ids{"b", "a", "c"}));
  EXPECT_EQ(pairs(g), (Pairs{{"b", "a"}, {"c", "c"}, {"a", "b"}}));
  EXPECT_EQ(edge_props(g, "b", "a"), props({{"predicate", S("p")}, {"type", S("p")}}));
  EXPECT_EQ(node_props(g, "a"), PropertyMap());

  GraphRecord u = from_triples_core(ts, false).value();
  EXPECT_EQ(pairs(u), (Pairs{{"b", "a"}, {"c", "c"}}));
}

TEST(FromTriples, PredicateKeptWhole) {
  std::vector<Triple> ts = {{"s", "http://x.org/ns#subClassOf", "o"}};
  GraphRecord g = from_triples_core(ts, true).value();
  PropertyValue iri = S("http://x.org/ns#subClassOf");
  EXPECT_EQ(edge_props(g, "s", "o"), props({{"predicate", iri}, {"type", iri}}));
}

TEST(FromTriples, RoundTripKeepsFirstTriplePerPair) {
  std::vector<Triple> ts = {{"a", "p", "b"}, {"b", "q", "c"}, {"a", "r", "b"}, {"c", "s", "b"}};
  using T = std::tuple<std::string, std::string, std::string>;
  EXPECT_EQ(projected(from_triples_core(ts, true).value()),
            (std::vector<T>{{"a", "p", "b"}, {"b", "q", "c"}, {"c", "s", "b"}}));
  EXPECT_EQ(projected(from_triples_core(ts, false).value()),
            (std::vector<T>{{"a", "p", "b"}, {"b", "q", "c"}}));
}

// An over-long subject or object refuses the build before any of its bytes
// is read (the view is unreadable).
TEST(FromTriples, IdsOverTheLengthLimitAreRefusedUnread) {
  tests::UnreadableView big(kMaxIdBytes + 1);
  ASSERT_TRUE(big.ok());
  for (const std::vector<Triple>& ts :
       {std::vector<Triple>{{"a", "p", "b"}, {big.view(), "p", "a"}},
        std::vector<Triple>{{"a", "p", big.view()}}}) {
    auto g = from_triples_core(ts, true);
    ASSERT_FALSE(g);
    EXPECT_EQ(g.error(), msg::id_too_long(kMaxIdBytes + 1));
  }
}

}  // namespace
}  // namespace qg
