// Hub, orphan and degree-distribution queries: self-loops, parallel edges,
// the strict threshold and node order after removals.

#include "core/knowledge/degree.h"

#include "knowledge_fixture.h"

namespace qg {
namespace {

using namespace knowledge_test;
using Dist = std::vector<std::pair<uint64_t, uint64_t>>;

TEST(Degree, EmptyGraph) {
  GraphRecord g;
  EXPECT_TRUE(find_hub_nodes_core(g, 0).empty());
  EXPECT_TRUE(find_orphan_nodes_core(g).empty());
  EXPECT_TRUE(degree_distribution_core(g).empty());
}

TEST(Degree, SelfLoopCountsTwiceDirectedOnceUndirected) {
  GraphRecord d = make(true, false, {"a"}, {{"a", "a"}});
  EXPECT_EQ(strings(find_hub_nodes_core(d, 1)), (Ids{"a"}));
  EXPECT_EQ(degree_distribution_core(d), (Dist{{2, 1}}));
  EXPECT_TRUE(find_orphan_nodes_core(d).empty());
  GraphRecord u = make(false, false, {"a"}, {{"a", "a"}});
  EXPECT_TRUE(find_hub_nodes_core(u, 1).empty());
  EXPECT_EQ(degree_distribution_core(u), (Dist{{1, 1}}));
}

TEST(Degree, ThresholdIsStrict) {
  GraphRecord g = make(true, false, {"a", "b"}, {{"a", "b"}});
  EXPECT_EQ(strings(find_hub_nodes_core(g, 0)), (Ids{"a", "b"}));
  EXPECT_TRUE(find_hub_nodes_core(g, 1).empty());
  EXPECT_TRUE(find_hub_nodes_core(g, UINT64_MAX).empty());
}

TEST(Degree, ParallelEdgesEachCount) {
  GraphRecord g = make(true, true, {"a", "b"}, {{"a", "b"}, {"a", "b"}});
  EXPECT_EQ(degree_distribution_core(g), (Dist{{2, 2}}));
}

TEST(Degree, MixedGraphWithRemovals) {
  GraphRecord g = make(false, false, {"hub", "x", "y", "z", "lone", "gone"},
                       {{"hub", "x"}, {"hub", "y"}, {"z", "hub"}, {"gone", "lone"}, {"x", "y"}});
  ASSERT_TRUE(remove_node_core(g, "gone"));
  ASSERT_TRUE(add_node_core(g, "new", {}));  // takes gone's slot, after lone
  EXPECT_EQ(strings(find_hub_nodes_core(g, 1)), (Ids{"hub", "x", "y"}));
  EXPECT_EQ(strings(find_orphan_nodes_core(g)), (Ids{"lone", "new"}));
  Dist dist = degree_distribution_core(g);
  EXPECT_EQ(dist, (Dist{{0, 2}, {1, 1}, {2, 2}, {3, 1}}));
  uint64_t total = 0;
  for (auto [deg, count] : dist) total += count;
  EXPECT_EQ(total, g.node_count());
}

}  // namespace
}  // namespace qg
