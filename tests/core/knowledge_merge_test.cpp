// Merging two graphs: node and edge order, parallel edges, orientation and
// the three conflict strategies for shared nodes and edges.

#include "core/knowledge/merge.h"

#include "knowledge_fixture.h"

namespace qg {
namespace {

using namespace knowledge_test;

struct StrategyCase {
  const char* name;
  PropertyMap expected;
};

class MergeStrategy : public ::testing::TestWithParam<StrategyCase> {};

TEST_P(MergeStrategy, SharedNodeResolvesItsMaps) {
  GraphRecord base(true, "b", false), other(true, "o", false);
  ASSERT_TRUE(add_node_core(base, "n", props({{"a", I(1)}, {"b", I(2)}})));
  ASSERT_TRUE(add_node_core(other, "n", props({{"b", I(3)}, {"c", I(4)}})));
  GraphRecord m = merge_graphs_core(base, other, conflict_strategy(GetParam().name));
  EXPECT_EQ(node_props(m, "n"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, MergeStrategy,
    ::testing::Values(StrategyCase{"keep_first", props({{"a", I(1)}, {"b", I(2)}})},
                      StrategyCase{"merge", props({{"a", I(1)}, {"b", I(3)}, {"c", I(4)}})},
                      StrategyCase{"keep_latest", props({{"b", I(3)}, {"c", I(4)}})},
                      StrategyCase{"", props({{"b", I(3)}, {"c", I(4)}})},
                      StrategyCase{"KEEP_FIRST", props({{"b", I(3)}, {"c", I(4)}})},
                      StrategyCase{"Merge", props({{"b", I(3)}, {"c", I(4)}})}));

TEST(ConflictStrategy, ParsesExactNamesOnly) {
  EXPECT_EQ(conflict_strategy("keep_first"), ConflictStrategy::KeepFirst);
  EXPECT_EQ(conflict_strategy("merge"), ConflictStrategy::Merge);
  EXPECT_EQ(conflict_strategy("keep_latest"), ConflictStrategy::KeepLatest);
  EXPECT_EQ(conflict_strategy(" merge"), ConflictStrategy::KeepLatest);
}

TEST(Merge, EmptyGraphsGiveEmptySimpleUnnamedGraph) {
  for (bool directed : {true, false}) {
    GraphRecord base(directed, "b", true), other(!directed, "o", true);
    GraphRecord m = merge_graphs_core(base, other, ConflictStrategy::KeepLatest);
    EXPECT_EQ(m.directed(), directed);
    EXPECT_FALSE(m.multi());
    EXPECT_EQ(m.name(), "");
    EXPECT_EQ(m.node_count(), 0u);
  }
}

TEST(Merge, NodeOrderBaseFirstThenOtherOnly) {
  GraphRecord base = make(true, false, {"x", "a", "b"}, {});
  GraphRecord other = make(true, false, {"c", "a", "d"}, {});
  ASSERT_TRUE(remove_node_core(base, "x"));
  GraphRecord m = merge_graphs_core(base, other, ConflictStrategy::KeepLatest);
  EXPECT_EQ(ids(m), (Ids{"a", "b", "c", "d"}));
}

TEST(Merge, OneSidedItemsKeepTheirOwnMapsUnderEveryStrategy) {
  for (auto s :
       {ConflictStrategy::KeepFirst, ConflictStrategy::KeepLatest, ConflictStrategy::Merge}) {
    GraphRecord base(true, "", false), other(true, "", false);
    ASSERT_TRUE(add_node_core(base, "a", props({{"k", I(1)}})));
    ASSERT_TRUE(add_node_core(base, "b", {}));
    ASSERT_TRUE(add_node_core(other, "a", {}));
    ASSERT_TRUE(add_node_core(other, "b", {}));
    ASSERT_TRUE(add_node_core(other, "c", props({{"k", I(3)}})));
    ASSERT_TRUE(add_edge_core(base, "a", "b", props({{"w", I(1)}})));
    ASSERT_TRUE(add_edge_core(other, "b", "c", props({{"w", I(2)}})));
    GraphRecord m = merge_graphs_core(base, other, s);
    EXPECT_EQ(node_props(m, "c"), props({{"k", I(3)}}));
    EXPECT_EQ(pairs(m), (Pairs{{"a", "b"}, {"b", "c"}}));
    EXPECT_EQ(edge_props(m, "a", "b"), props({{"w", I(1)}}));
    EXPECT_EQ(edge_props(m, "b", "c"), props({{"w", I(2)}}));
  }
}

TEST(Merge, LastParallelEdgeOfOtherIsMergedIntoBaseEdge) {
  GraphRecord base = make(true, false, {"a", "b"}, {{"a", "b", props({{"w", I(1)}})}});
  GraphRecord other = make(true, true, {"a", "b"},
                           {{"a", "b", props({{"w", I(2)}})}, {"a", "b", props({{"w", I(3)}})}});
  GraphRecord m = merge_graphs_core(base, other, ConflictStrategy::KeepLatest);
  EXPECT_EQ(pairs(m), (Pairs{{"a", "b"}}));
  EXPECT_EQ(edge_props(m, "a", "b"), props({{"w", I(3)}}));
}

TEST(Merge, ParallelEdgesCollapseToTheFirst) {
  GraphRecord base = make(true, true, {"a", "b"},
                          {{"a", "b", props({{"w", I(1)}})}, {"a", "b", props({{"w", I(2)}})}});
  GraphRecord other = make(true, true, {"b", "c"},
                           {{"b", "c", props({{"w", I(3)}})}, {"b", "c", props({{"w", I(4)}})}});
  GraphRecord m = merge_graphs_core(base, other, ConflictStrategy::KeepFirst);
  EXPECT_EQ(pairs(m), (Pairs{{"a", "b"}, {"b", "c"}}));
  EXPECT_EQ(edge_props(m, "a", "b"), props({{"w", I(1)}}));
  EXPECT_EQ(edge_props(m, "b", "c"), props({{"w", I(3)}}));
}

TEST(Merge, DirectedResultKeepsBothOrientations) {
  GraphRecord base = make(true, false, {"a", "b"}, {{"a", "b"}});
  GraphRecord other = make(false, false, {"a", "b"}, {{"b", "a"}});
  GraphRecord m = merge_graphs_core(base, other, ConflictStrategy::KeepLatest);
  EXPECT_TRUE(m.directed());
  EXPECT_EQ(pairs(m), (Pairs{{"a", "b"}, {"b", "a"}}));
}

TEST(Merge, UndirectedEdgeStoredEitherWayIsOneEdgeWithResolvedMap) {
  GraphRecord base = make(false, false, {"a", "b"},
                          {{"a", "b", props({{"w", I(1)}, {"x", I(0)}})}});
  GraphRecord other = make(false, false, {"a", "b"}, {{"b", "a", props({{"w", I(2)}})}});
  GraphRecord latest = merge_graphs_core(base, other, ConflictStrategy::KeepLatest);
  EXPECT_EQ(pairs(latest), (Pairs{{"a", "b"}}));
  EXPECT_EQ(edge_props(latest, "a", "b"), props({{"w", I(2)}}));
  GraphRecord merged = merge_graphs_core(base, other, ConflictStrategy::Merge);
  EXPECT_EQ(edge_props(merged, "a", "b"), props({{"w", I(2)}, {"x", I(0)}}));
  GraphRecord first = merge_graphs_core(base, other, ConflictStrategy::KeepFirst);
  EXPECT_EQ(edge_props(first, "a", "b"), props({{"w", I(1)}, {"x", I(0)}}));
}

TEST(Merge, UndirectedBaseWithDirectedOtherIsUndirected) {
  GraphRecord base = make(false, false, {"a"}, {});
  GraphRecord other = make(true, false, {"a", "b"}, {{"a", "b"}, {"b", "a"}});
  GraphRecord m = merge_graphs_core(base, other, ConflictStrategy::KeepLatest);
  EXPECT_FALSE(m.directed());
  EXPECT_EQ(pairs(m), (Pairs{{"a", "b"}}));
}

TEST(Merge, WithItselfIsACopy) {
  GraphRecord g = make(true, false, {"a", "b", "c"},
                       {{"a", "b", props({{"w", I(1)}})}, {"b", "c"}, {"c", "c"}});
  ASSERT_TRUE(add_node_core(g, "d", props({{"k", S("v")}})));
  for (auto s :
       {ConflictStrategy::KeepFirst, ConflictStrategy::KeepLatest, ConflictStrategy::Merge}) {
    GraphRecord m = merge_graphs_core(g, g, s);
    EXPECT_EQ(ids(m), ids(g));
    EXPECT_EQ(pairs(m), pairs(g));
    EXPECT_EQ(edge_props(m, "a", "b"), props({{"w", I(1)}}));
    EXPECT_EQ(node_props(m, "d"), props({{"k", S("v")}}));
  }
}

TEST(Merge, InputsAreUnchanged) {
  GraphRecord base = make(true, false, {"a", "b"}, {{"a", "b", props({{"w", I(1)}})}});
  GraphRecord other = make(true, false, {"a", "b"}, {{"a", "b", props({{"v", I(2)}})}});
  GraphRecord m = merge_graphs_core(base, other, ConflictStrategy::Merge);
  EXPECT_EQ(edge_props(m, "a", "b"), props({{"w", I(1)}, {"v", I(2)}}));
  EXPECT_EQ(edge_props(base, "a", "b"), props({{"w", I(1)}}));
  EXPECT_EQ(edge_props(other, "a", "b"), props({{"v", I(2)}}));
}

}  // namespace
}  // namespace qg
