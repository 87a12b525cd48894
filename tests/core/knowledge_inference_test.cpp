// Densify: the transitive closure of one relation, added as new edges.

#include "core/knowledge/inference.h"

#include <algorithm>

#include "knowledge_fixture.h"

namespace qg {
namespace {

using namespace knowledge_test;

PropertyMap added(std::string_view p) { return props({{"predicate", S(p)}, {"type", S(p)}}); }

Pairs tail(const GraphRecord& g, size_t from) {
  Pairs all = pairs(g);
  return Pairs(all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end());
}

TEST(Densify, ChainGetsFullClosure) {
  GraphRecord g = make(true, false, {"a", "b", "c", "d"},
                       {{"a", "b", label("p")}, {"b", "c", label("p")}, {"c", "d", label("p")}});
  GraphRecord d = densify_core(g, "p");
  EXPECT_EQ(tail(d, 3), (Pairs{{"a", "c"}, {"a", "d"}, {"b", "d"}}));
  EXPECT_EQ(edge_props(d, "a", "d"), added("p"));
  GraphRecord again = densify_core(d, "p");
  EXPECT_EQ(pairs(again), pairs(d));
  EXPECT_EQ(g.edge_count(), 3u);  // the input is untouched
}

TEST(Densify, ChainListedBackwardsStillCloses) {
  GraphRecord g = make(true, false, {"a", "b", "c", "d", "e"},
                       {{"d", "e", label("p")},
                        {"c", "d", label("p")},
                        {"b", "c", label("p")},
                        {"a", "b", label("p")}});
  GraphRecord d = densify_core(g, "p");
  EXPECT_EQ(d.edge_count(), 10u);  // 4 + 6 closure pairs
  for (auto [s, t] : Pairs{{"a", "e"}, {"b", "e"}, {"a", "c"}}) EXPECT_TRUE(has_edge_core(d, s, t));
}

TEST(Densify, TypeAndNonStringPredicate) {
  GraphRecord g = make(true, false, {"a", "b", "c"},
                       {{"a", "b", props({{"type", S("p")}})},
                        {"b", "c", props({{"predicate", I(3)}, {"type", S("p")}})}});
  EXPECT_EQ(tail(densify_core(g, "p"), 2), (Pairs{{"a", "c"}}));
}

TEST(Densify, EmptyLabelClosesUnlabelledEdges) {
  GraphRecord g =
      make(true, false, {"a", "b", "c", "x"},
           {{"a", "b"}, {"b", "c", props({{"predicate", I(1)}})}, {"c", "x", label("q")}});
  GraphRecord d = densify_core(g, "");
  EXPECT_EQ(tail(d, 3), (Pairs{{"a", "c"}}));
  EXPECT_EQ(edge_props(d, "a", "c"), added(""));
}

TEST(Densify, CycleAddsSelfLoops) {
  GraphRecord g = make(true, false, {"a", "b"}, {{"a", "b", label("p")}, {"b", "a", label("p")}});
  EXPECT_EQ(tail(densify_core(g, "p"), 2), (Pairs{{"a", "a"}, {"b", "b"}}));
}

TEST(Densify, PairsAlreadyJoinedAreSkipped) {
  GraphRecord g = make(true, false, {"a", "b", "c"},
                       {{"a", "b", label("p")}, {"b", "c", label("p")}, {"a", "c", label("q")}});
  EXPECT_EQ(densify_core(g, "p").edge_count(), 3u);
}

TEST(Densify, UndirectedFollowsStoredOrientation) {
  GraphRecord apart = make(false, false, {"a", "b", "c"},
                           {{"a", "b", label("p")}, {"c", "b", label("p")}});
  EXPECT_EQ(densify_core(apart, "p").edge_count(), 2u);
  GraphRecord chain = make(false, false, {"a", "b", "c"},
                           {{"a", "b", label("p")}, {"b", "c", label("p")}});
  EXPECT_EQ(tail(densify_core(chain, "p"), 2), (Pairs{{"a", "c"}}));
  // a-b, b-a would give the self-loops, b -> a is blocked as already joined.
  GraphRecord both = make(false, true, {"a", "b"},
                          {{"a", "b", label("p")}, {"b", "a", label("p")}});
  EXPECT_EQ(tail(densify_core(both, "p"), 2), (Pairs{{"a", "a"}, {"b", "b"}}));
}

TEST(Densify, UndirectedAddedEdgeBlocksItsReverse) {
  GraphRecord g = make(false, false, {"a", "b", "c", "d"},
                       {{"a", "b", label("p")},
                        {"b", "c", label("p")},
                        {"c", "d", label("p")},
                        {"d", "a", label("p")}});
  EXPECT_EQ(tail(densify_core(g, "p"), 4),
            (Pairs{{"a", "c"}, {"a", "a"}, {"b", "d"}, {"b", "b"}, {"c", "c"}, {"d", "d"}}));
  GraphRecord directed = make(true, false, {"a", "b", "c", "d"},
                              {{"a", "b", label("p")},
                               {"b", "c", label("p")},
                               {"c", "d", label("p")},
                               {"d", "a", label("p")}});
  EXPECT_EQ(densify_core(directed, "p").edge_count(), 16u);  // every ordered pair, loops included
}

TEST(Densify, AddedEdgesGoIntoASimpleGraphThatStaysSimple) {
  GraphRecord g = make(true, false, {"a", "b", "c"},
                       {{"a", "b", label("p")}, {"b", "c", label("p")}});
  GraphRecord d = densify_core(g, "p");
  EXPECT_FALSE(d.multi());
  EXPECT_FALSE(add_edge_core(d, "a", "c", {}));
}

TEST(Densify, CopyKeepsHeaderNodesEdgesAndProperties) {
  GraphRecord g = make(
      false, true, {"x", "a", "b", "c"},
      {{"a", "b", props({{"w", PropertyValue::number(1.5)}})}, {"a", "b"}, {"b", "c"}}, "named");
  ASSERT_TRUE(remove_node_core(g, "x"));
  ASSERT_TRUE(
      add_node_core(g, "n", props({{"k", S("v")}, {"big", PropertyValue::pos_int(UINT64_MAX)}})));
  GraphRecord d = densify_core(g, "none");
  EXPECT_EQ(d.name(), "named");
  EXPECT_FALSE(d.directed());
  EXPECT_TRUE(d.multi());
  EXPECT_EQ(ids(d), ids(g));
  EXPECT_EQ(pairs(d), pairs(g));
  EXPECT_EQ(node_props(d, "n"), node_props(g, "n"));
  EXPECT_EQ(edge_props(d, "a", "b"), props({{"w", PropertyValue::number(1.5)}}));
}

TEST(Densify, ParallelRelationEdgesGiveOnePair) {
  GraphRecord g = make(true, true, {"a", "b", "c"},
                       {{"a", "b", label("p")}, {"a", "b", label("p")}, {"b", "c", label("p")}});
  EXPECT_EQ(tail(densify_core(g, "p"), 3), (Pairs{{"a", "c"}}));
}

TEST(Densify, LongChainClosesQuadratically) {
  GraphRecord g(true, "", false);
  const int n = 200;
  for (int i = 0; i < n; ++i) ASSERT_TRUE(add_node_core(g, std::to_string(i), {}));
  for (int i = n - 1; i > 0; --i)
    ASSERT_TRUE(add_edge_core(g, std::to_string(i - 1), std::to_string(i), label("p")));
  GraphRecord d = densify_core(g, "p");
  EXPECT_EQ(d.edge_count(), static_cast<size_t>(n * (n - 1) / 2));
}

}  // namespace
}  // namespace qg
