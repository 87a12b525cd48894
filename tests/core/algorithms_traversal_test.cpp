#include "core/algorithms/traversal.h"

#include <algorithm>
#include <functional>

#include "algorithms_fixture.h"

namespace qg {
namespace {

using testing::E;
using testing::ids;
using testing::idx;
using testing::make_graph;
using Strs = std::vector<std::string>;

Strs sorted(Strs v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(Traversal, SourceAlone) {
  GraphRecord g = make_graph(true, {"s", "x"}, {});
  EXPECT_EQ(ids(g, *bfs_core(g, "s")), Strs{"s"});
  EXPECT_EQ(ids(g, *dfs_core(g, "s")), Strs{"s"});
  auto ev = *dfs_events_core(g, "s");
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_FALSE(ev[0].exit);
  EXPECT_TRUE(ev[1].exit);
  auto d = *bfs_with_depth_core(g, "s");
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].depth, 0u);
  EXPECT_EQ(ids(g, *bfs_at_depth_core(g, "s", 0)), Strs{"s"});
  EXPECT_TRUE(bfs_at_depth_core(g, "s", 1)->empty());
  EXPECT_TRUE(ancestors_core(g, "s")->empty());
  EXPECT_TRUE(descendants_core(g, "s")->empty());
}

TEST(Traversal, NewestEdgeFirstAndDfsOrders) {
  GraphRecord g = make_graph(true, {"a", "b", "c"}, {{"a", "b"}, {"a", "c"}});
  EXPECT_EQ(ids(g, *bfs_core(g, "a")), (Strs{"a", "c", "b"}));
  EXPECT_EQ(ids(g, *dfs_core(g, "a")), (Strs{"a", "b", "c"}));
  auto ev = *dfs_events_core(g, "a");
  std::vector<std::pair<std::string, bool>> got;
  for (auto e : ev) got.emplace_back(std::string(g.storage().id(e.node)), e.exit);
  std::vector<std::pair<std::string, bool>> want = {{"a", false}, {"c", false}, {"c", true},
                                                    {"b", false}, {"b", true},  {"a", true}};
  EXPECT_EQ(got, want);
}

TEST(Traversal, DfsFollowsOldestBranchToItsEnd) {
  // a->b, a->c, b->d, c->d: oldest branch b first, then d under b, then c.
  GraphRecord g = make_graph(true, {"a", "b", "c", "d"},
                             {{"a", "b"}, {"a", "c"}, {"b", "d"}, {"c", "d"}});
  EXPECT_EQ(ids(g, *dfs_core(g, "a")), (Strs{"a", "b", "d", "c"}));
  EXPECT_EQ(ids(g, *bfs_core(g, "a")), (Strs{"a", "c", "b", "d"}));
}

TEST(Traversal, DfsStackMayHoldANodeTwice) {
  // a->c, a->b, b->c: the oldest edge's end, c, is explored first by dfs,
  // the newest edge's end, b, first by the event walk.
  GraphRecord g = make_graph(true, {"a", "b", "c"}, {{"a", "c"}, {"a", "b"}, {"b", "c"}});
  // pop a: push b (newest), then c (oldest) -> c on top. pop c: emit. pop b.
  EXPECT_EQ(ids(g, *dfs_core(g, "a")), (Strs{"a", "c", "b"}));
  // events: newest first: b entered first, c under b.
  auto ev = *dfs_events_core(g, "a");
  Strs order;
  for (auto e : ev)
    order.push_back(std::string(e.exit ? "-" : "+") + std::string(g.storage().id(e.node)));
  EXPECT_EQ(order, (Strs{"+a", "+b", "+c", "-c", "-b", "-a"}));
}

TEST(Traversal, SelfLoopAndDirections) {
  GraphRecord g = make_graph(true, {"a", "b", "p"}, {{"a", "a"}, {"a", "b"}, {"p", "a"}});
  EXPECT_EQ(sorted(ids(g, *descendants_core(g, "a"))), (Strs{"a", "b"}));
  EXPECT_EQ(sorted(ids(g, *ancestors_core(g, "a"))), (Strs{"a", "p"}));
  EXPECT_EQ(ids(g, *bfs_core(g, "a")), (Strs{"a", "b"}));
  EXPECT_EQ(ids(g, *bfs_core(g, "b")), (Strs{"b"}));  // incoming edges not followed
  EXPECT_TRUE(ancestors_core(g, "p")->empty());
}

TEST(Traversal, UndirectedStartNodeIsItsOwnDescendant) {
  GraphRecord g = make_graph(false, {"a", "b"}, {{"a", "b"}});
  EXPECT_EQ(sorted(ids(g, *descendants_core(g, "a"))), (Strs{"a", "b"}));
  EXPECT_EQ(sorted(ids(g, *ancestors_core(g, "a"))), (Strs{"a", "b"}));
  // Undirected: outgoing targets then incoming sources.
  GraphRecord h = make_graph(false, {"a", "b", "c"}, {{"b", "a"}, {"a", "c"}});
  EXPECT_EQ(ids(h, *bfs_core(h, "a")), (Strs{"a", "c", "b"}));
}

TEST(Traversal, ParallelEdgesListedOnce) {
  GraphRecord g = make_graph(true, {"a", "b"}, {{"a", "b"}, {"a", "b"}}, true);
  EXPECT_EQ(ids(g, *bfs_core(g, "a")), (Strs{"a", "b"}));
  EXPECT_EQ(ids(g, *dfs_core(g, "a")), (Strs{"a", "b"}));
  EXPECT_EQ(dfs_events_core(g, "a")->size(), 4u);
  auto d = *bfs_with_depth_core(g, "a");
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[1].depth, 1u);
}

TEST(Traversal, DepthsAndAtDepth) {
  GraphRecord g = make_graph(true, {"a", "b", "c", "d", "e"},
                             {{"a", "b"}, {"b", "c"}, {"a", "c"}, {"c", "d"}, {"e", "a"}});
  auto d = *bfs_with_depth_core(g, "a");
  std::vector<std::pair<std::string, uint64_t>> got;
  for (auto p : d) got.emplace_back(std::string(g.storage().id(p.node)), p.depth);
  std::vector<std::pair<std::string, uint64_t>> want = {{"a", 0}, {"c", 1}, {"b", 1}, {"d", 2}};
  EXPECT_EQ(got, want);
  EXPECT_EQ(ids(g, *bfs_at_depth_core(g, "a", 1)), (Strs{"c", "b"}));
  EXPECT_EQ(ids(g, *bfs_at_depth_core(g, "a", 2)), (Strs{"d"}));
  EXPECT_TRUE(bfs_at_depth_core(g, "a", 3)->empty());
  EXPECT_TRUE(bfs_at_depth_core(g, "a", UINT64_MAX)->empty());
}

TEST(Traversal, UnknownAndRemovedIds) {
  GraphRecord g = make_graph(true, {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}});
  ASSERT_TRUE(remove_node_core(g, "b").has_value());
  for (auto r : {bfs_core(g, "b"), dfs_core(g, "b"), ancestors_core(g, "b"),
                 descendants_core(g, "b"), bfs_at_depth_core(g, "b", 0)}) {
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), "Node 'b' not found");
  }
  EXPECT_EQ(dfs_events_core(g, "zz").error(), "Node 'zz' not found");
  EXPECT_EQ(bfs_with_depth_core(g, "").error(), "Node '' not found");
  EXPECT_EQ(ids(g, *bfs_core(g, "a")), Strs{"a"});
  // A new node takes b's slot; walks see it at that index.
  ASSERT_TRUE(add_node_core(g, std::string_view("d"), {}).has_value());
  ASSERT_TRUE(add_edge_core(g, "a", "d", {}).has_value());
  ASSERT_TRUE(add_edge_core(g, "d", "c", {}).has_value());
  EXPECT_EQ(idx(g, "d"), 1u);
  EXPECT_EQ(ids(g, *bfs_core(g, "a")), (Strs{"a", "d", "c"}));
}

TEST(Traversal, LongChainNeedsNoRecursion) {
  GraphRecord g(true, "chain", false);
  const int n = 300000;
  for (int i = 0; i < n; ++i) (void)add_node_core(g, std::to_string(i), {});
  for (int i = 0; i + 1 < n; ++i) (void)add_edge_by_index(g, i, i + 1, {});
  EXPECT_EQ(dfs_from(g, 0).size(), size_t(n));
  auto ev = dfs_events_from(g, 0);
  ASSERT_EQ(ev.size(), size_t(2 * n));
  EXPECT_EQ(ev[n - 1].node, NodeIndex(n - 1));
  EXPECT_TRUE(ev[n].exit);
  EXPECT_EQ(ancestors_of(g, n - 1).size(), size_t(n - 1));
}

// Recursive reference of the event walk, for small graphs.
void events_reference(const GraphRecord& g, NodeIndex n, std::vector<uint8_t>& seen,
                      std::vector<DfsEvent>& out) {
  seen[n] = 1;
  out.push_back({n, false});
  std::vector<NodeIndex> succ;
  for_each_successor(g.storage(), g.directed(), n,
                     [&](NodeIndex m, EdgeIndex) { succ.push_back(m); });
  for (NodeIndex m : succ)
    if (!seen[m]) events_reference(g, m, seen, out);
  out.push_back({n, true});
}

class TraversalRandom : public ::testing::TestWithParam<std::tuple<uint32_t, bool>> {};

TEST_P(TraversalRandom, AgreesWithReferences) {
  auto [seed, directed] = GetParam();
  GraphRecord g = testing::random_graph(seed, directed, 60, 150);
  const GraphStorage& st = g.storage();
  for (NodeIndex s = 0; s < st.node_bound(); ++s) {
    if (!st.live(s)) continue;
    // Events against the recursive form.
    std::vector<uint8_t> seen(st.node_bound(), 0);
    std::vector<DfsEvent> want;
    events_reference(g, s, seen, want);
    auto got = dfs_events_from(g, s);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].node, want[i].node);
      EXPECT_EQ(got[i].exit, want[i].exit);
    }
    // bfs, dfs, events and depths all reach the same set.
    auto b = bfs_from(g, s);
    auto d = dfs_from(g, s);
    auto depths = bfs_depths_from(g, s);
    ASSERT_EQ(b.size(), d.size());
    ASSERT_EQ(b.size() * 2, got.size());
    ASSERT_EQ(b.size(), depths.size());
    EXPECT_EQ(b.front(), s);
    EXPECT_EQ(d.front(), s);
    std::vector<uint64_t> depth(st.node_bound(), UINT64_MAX);
    for (size_t i = 0; i < b.size(); ++i) {
      EXPECT_EQ(depths[i].node, b[i]);
      depth[b[i]] = depths[i].depth;
    }
    EXPECT_TRUE(std::is_sorted(depths.begin(), depths.end(),
                               [](auto x, auto y) { return x.depth < y.depth; }));
    // Every edge out of a reached node lands at most one level deeper.
    for (NodeIndex u : b)
      for_each_successor(st, g.directed(), u,
                         [&](NodeIndex m, EdgeIndex) { EXPECT_LE(depth[m], depth[u] + 1); });
    // Descendants: the reached set minus s, plus s when s is on a cycle.
    auto desc = descendants_of(g, s);
    bool back = false;
    for (NodeIndex u : b)
      for_each_successor(st, g.directed(), u, [&](NodeIndex m, EdgeIndex) { back |= (m == s); });
    EXPECT_EQ(desc.size(), b.size() - 1 + (back ? 1 : 0));
  }
}

TEST_P(TraversalRandom, AncestorsAreReverseDescendants) {
  auto [seed, directed] = GetParam();
  GraphRecord g = testing::random_graph(seed + 100, directed, 40, 80);
  const GraphStorage& st = g.storage();
  for (NodeIndex a = 0; a < st.node_bound(); ++a) {
    if (!st.live(a)) continue;
    auto desc = descendants_of(g, a);
    for (NodeIndex b = 0; b < st.node_bound(); ++b) {
      if (!st.live(b)) continue;
      auto anc = ancestors_of(g, b);
      bool in_desc = std::find(desc.begin(), desc.end(), b) != desc.end();
      bool in_anc = std::find(anc.begin(), anc.end(), a) != anc.end();
      EXPECT_EQ(in_desc, in_anc) << a << " " << b;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, TraversalRandom,
                         ::testing::Combine(::testing::Values(1u, 2u, 3u, 4u), ::testing::Bool()));

}  // namespace
}  // namespace qg

namespace qg {
namespace {

// List-walking references of the walks that may read packed lists.
std::vector<NodeIndex> bfs_reference(const GraphRecord& g, NodeIndex s) {
  std::vector<uint8_t> seen(g.storage().node_bound(), 0);
  std::vector<NodeIndex> order{s};
  seen[s] = 1;
  for (size_t h = 0; h < order.size(); ++h)
    for_each_successor(g.storage(), g.directed(), order[h], [&](NodeIndex m, EdgeIndex) {
      if (!seen[m]) {
        seen[m] = 1;
        order.push_back(m);
      }
    });
  return order;
}

std::vector<NodeIndex> dfs_reference(const GraphRecord& g, NodeIndex s) {
  std::vector<uint8_t> seen(g.storage().node_bound(), 0);
  std::vector<NodeIndex> order, stack{s};
  while (!stack.empty()) {
    NodeIndex n = stack.back();
    stack.pop_back();
    if (seen[n]) continue;
    seen[n] = 1;
    for_each_successor(g.storage(), g.directed(), n, [&](NodeIndex m, EdgeIndex) {
      if (!seen[m]) stack.push_back(m);
    });
    order.push_back(n);
  }
  return order;
}

class PackedLists : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

// Large enough to read packed lists; with a reused edge slot the lists are
// no longer in index order and the walks fall back to the linked lists.
TEST_P(PackedLists, SameOrdersAsTheLinkedLists) {
  auto [directed, reuse] = GetParam();
  std::mt19937 rng(5);
  GraphRecord g(directed, "big", true);
  const int n = 2000;
  for (int i = 0; i < n; ++i) (void)add_node_core(g, "v" + std::to_string(i), {});
  std::uniform_int_distribution<int> pick(0, n - 1);
  for (int i = 0; i < 9000; ++i) (void)add_edge_by_index(g, pick(rng), pick(rng), {});
  if (reuse) {
    for (int i = 0; i < 50; ++i) testing::remove_edge_slot(g, static_cast<EdgeIndex>(i * 37));
    for (int i = 0; i < 50; ++i) (void)add_edge_by_index(g, pick(rng), pick(rng), {});
  }
  for (NodeIndex s : {0u, 7u, 1999u}) {
    EXPECT_EQ(bfs_from(g, s), bfs_reference(g, s));
    EXPECT_EQ(dfs_from(g, s), dfs_reference(g, s));
    auto depths = bfs_depths_from(g, s);
    auto ref = bfs_reference(g, s);
    ASSERT_EQ(depths.size(), ref.size());
    for (size_t i = 0; i < ref.size(); ++i) EXPECT_EQ(depths[i].node, ref[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, PackedLists,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()));

}  // namespace
}  // namespace qg
