// Graph diffs: nodes added, removed and changed, and edges compared as
// stored pairs, whatever their properties or parallel copies.

#include "core/knowledge/diff.h"

#include "knowledge_fixture.h"

namespace qg {
namespace {

using namespace knowledge_test;

Pairs to_pairs(const std::vector<std::pair<std::string_view, std::string_view>>& v) {
  Pairs out;
  for (auto [s, t] : v) out.emplace_back(s, t);
  return out;
}

void expect_empty(const GraphDiff& d) {
  EXPECT_TRUE(d.added_nodes.empty());
  EXPECT_TRUE(d.removed_nodes.empty());
  EXPECT_TRUE(d.added_edges.empty());
  EXPECT_TRUE(d.removed_edges.empty());
  EXPECT_TRUE(d.changed_node_properties.empty());
}

TEST(Diff, SameGraphAndEmptyGraphsGiveNothing) {
  GraphRecord g = make(true, true, {"a", "b"}, {{"a", "b"}, {"a", "b"}});
  expect_empty(diff_graphs_core(g, g));
  GraphRecord e1, e2;
  expect_empty(diff_graphs_core(e1, e2));
}

TEST(Diff, NodesAddedRemovedChanged) {
  GraphRecord old_g(true, "", false), new_g(true, "", false);
  for (auto [id, p] :
       std::vector<std::pair<const char*, PropertyMap>>{{"gone", {}},
                                                        {"same",
                                                         props({{"a", I(1)}, {"b", S("x")}})},
                                                        {"kind", props({{"v", I(1)}})},
                                                        {"nul", {}}}) {
    ASSERT_TRUE(add_node_core(old_g, id, p));
  }
  ASSERT_TRUE(add_node_core(new_g, "nul", props({{"a", PropertyValue::null()}})));
  ASSERT_TRUE(add_node_core(new_g, "kind", props({{"v", PropertyValue::number(1.0)}})));
  ASSERT_TRUE(add_node_core(new_g, "same", props({{"b", S("x")}, {"a", I(1)}})));
  ASSERT_TRUE(add_node_core(new_g, "fresh", {}));
  GraphDiff d = diff_graphs_core(old_g, new_g);
  EXPECT_EQ(strings(d.added_nodes), (Ids{"fresh"}));
  EXPECT_EQ(strings(d.removed_nodes), (Ids{"gone"}));
  EXPECT_EQ(strings(d.changed_node_properties), (Ids{"kind", "nul"}));
}

TEST(Diff, EdgePropertiesAndParallelEdgesDoNotCount) {
  GraphRecord old_g = make(true, true, {"a", "b"}, {{"a", "b", props({{"w", I(1)}})}});
  GraphRecord new_g = make(true, true, {"a", "b"},
                           {{"a", "b", props({{"w", I(2)}})}, {"a", "b", props({{"w", I(3)}})}});
  expect_empty(diff_graphs_core(old_g, new_g));
  expect_empty(diff_graphs_core(new_g, old_g));
}

TEST(Diff, DirectedReversalIsRemovedAndAdded) {
  GraphRecord old_g = make(true, false, {"a", "b"}, {{"a", "b"}});
  GraphRecord new_g = make(true, false, {"a", "b"}, {{"b", "a"}});
  GraphDiff d = diff_graphs_core(old_g, new_g);
  EXPECT_EQ(to_pairs(d.removed_edges), (Pairs{{"a", "b"}}));
  EXPECT_EQ(to_pairs(d.added_edges), (Pairs{{"b", "a"}}));
}

TEST(Diff, UndirectedEdgeStoredTheOtherWayIsUnchanged) {
  GraphRecord old_g = make(false, false, {"a", "b", "c"}, {{"a", "b"}, {"c", "b"}});
  GraphRecord new_g = make(false, false, {"a", "b", "c"}, {{"b", "a"}, {"b", "c"}});
  expect_empty(diff_graphs_core(old_g, new_g));
}

TEST(Diff, DirectedAgainstUndirectedComparesStoredPairs) {
  GraphRecord old_g = make(true, false, {"a", "b"}, {{"a", "b"}});
  GraphRecord same = make(false, false, {"a", "b"}, {{"a", "b"}});
  expect_empty(diff_graphs_core(old_g, same));
  GraphRecord turned = make(false, false, {"a", "b"}, {{"b", "a"}});
  GraphDiff d = diff_graphs_core(old_g, turned);
  EXPECT_EQ(to_pairs(d.removed_edges), (Pairs{{"a", "b"}}));
  EXPECT_EQ(to_pairs(d.added_edges), (Pairs{{"b", "a"}}));
}

TEST(Diff, RemovedNodeTakesItsEdges) {
  GraphRecord old_g = make(true, false, {"a", "b", "c"}, {{"a", "b"}, {"c", "a"}, {"b", "c"}});
  GraphRecord new_g = make(true, false, {"a", "b", "c"}, {{"a", "b"}, {"c", "a"}, {"b", "c"}});
  ASSERT_TRUE(remove_node_core(new_g, "c"));
  GraphDiff d = diff_graphs_core(old_g, new_g);
  EXPECT_EQ(strings(d.removed_nodes), (Ids{"c"}));
  EXPECT_EQ(to_pairs(d.removed_edges), (Pairs{{"c", "a"}, {"b", "c"}}));
  EXPECT_TRUE(d.added_edges.empty());
  GraphDiff back = diff_graphs_core(new_g, old_g);
  EXPECT_EQ(strings(back.added_nodes), (Ids{"c"}));
  EXPECT_EQ(to_pairs(back.added_edges), (Pairs{{"c", "a"}, {"b", "c"}}));
}

}  // namespace
}  // namespace qg
