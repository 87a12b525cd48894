#include "core/algorithms/structure.h"

#include <algorithm>
#include <set>

#include "algorithms_fixture.h"

namespace qg {
namespace {

using testing::E;
using testing::ids;
using testing::make_graph;
using testing::random_graph;
using Strs = std::vector<std::string>;
using Groups = std::vector<Strs>;
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs id_pairs(const GraphRecord& g, const NodePairs& p) {
  Pairs out;
  for (auto [a, b] : p) out.emplace_back(g.storage().id(a), g.storage().id(b));
  return out;
}

Pairs bridge_ids(const GraphRecord& g) {
  Pairs out;
  for (EdgeIndex e : bridges_core(g))
    out.emplace_back(g.storage().id(g.storage().source(e)), g.storage().id(g.storage().target(e)));
  return out;
}

std::set<Strs> clique_set(const GraphRecord& g, const NodeGroups& c) {
  std::set<Strs> out;
  for (Strs s : ids(g, c)) {
    std::sort(s.begin(), s.end());
    out.insert(s);
  }
  return out;
}

// A valid matching: every pair joined by an edge (either direction), no
// node twice, pairs ascending by their lower index, lower index first.
void expect_matching(const GraphRecord& g, const NodePairs& pairs) {
  std::vector<uint8_t> used(g.storage().node_bound(), 0);
  NodeIndex last = 0;
  for (auto [a, b] : pairs) {
    EXPECT_LT(a, b);
    EXPECT_GE(a, last);
    last = a;
    EXPECT_TRUE(has_edge_between(g, a, b) || has_edge_between(g, b, a));
    EXPECT_FALSE(used[a] || used[b]);
    used[a] = used[b] = 1;
  }
}

// Size of a maximum matching by exhaustive search (small graphs only).
size_t brute_matching(const GraphRecord& g) {
  std::vector<std::pair<NodeIndex, NodeIndex>> edges;
  for (const EdgeView& e : g.storage().live_edges())
    if (e.source != e.target) edges.emplace_back(e.source, e.target);
  std::vector<uint8_t> used(g.storage().node_bound(), 0);
  size_t best = 0;
  auto rec = [&](auto&& self, size_t from, size_t size) -> void {
    best = std::max(best, size);
    for (size_t k = from; k < edges.size(); ++k) {
      auto [a, b] = edges[k];
      if (used[a] || used[b]) continue;
      used[a] = used[b] = 1;
      self(self, k + 1, size + 1);
      used[a] = used[b] = 0;
    }
  };
  rec(rec, 0, 0);
  return best;
}

TEST(Structure, EmptyGraph) {
  for (bool directed : {true, false}) {
    GraphRecord g(directed, "", false);
    EXPECT_TRUE(bridges_core(g).empty());
    EXPECT_TRUE(articulation_points_core(g).empty());
    EXPECT_TRUE(greedy_matching_core(g).empty());
    EXPECT_TRUE(maximum_matching_core(g).empty());
    EXPECT_TRUE(maximal_cliques_core(g).empty());
    EXPECT_EQ(density_core(g), 0.0);
    EXPECT_TRUE(is_bipartite_core(g));
  }
}

TEST(Structure, PathHasTwoBridgesAndOneCutVertex) {
  GraphRecord g = make_graph(false, {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}});
  EXPECT_EQ(bridge_ids(g), (Pairs{{"a", "b"}, {"b", "c"}}));
  EXPECT_EQ(ids(g, articulation_points_core(g)), (Strs{"b"}));
}

TEST(Structure, Triangle) {
  GraphRecord g = make_graph(false, {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}, {"c", "a"}});
  EXPECT_TRUE(bridges_core(g).empty());
  EXPECT_TRUE(articulation_points_core(g).empty());
  EXPECT_EQ(ids(g, maximal_cliques_core(g)), (Groups{{"a", "b", "c"}}));
  EXPECT_FALSE(is_bipartite_core(g));
}

TEST(Structure, DoubledEdgeIsNoBridge) {
  GraphRecord g = make_graph(false, {"a", "b", "c"}, {{"a", "b"}, {"a", "b"}, {"c", "b"}}, true);
  EXPECT_EQ(bridge_ids(g), (Pairs{{"c", "b"}}));
  GraphRecord d = make_graph(true, {"a", "b"}, {{"a", "b"}, {"b", "a"}}, true);
  EXPECT_TRUE(bridges_core(d).empty());
}

TEST(Structure, DirectedBridgeIgnoresDirectionAndNodeOrder) {
  for (Strs nodes : {Strs{"a", "b"}, Strs{"b", "a"}}) {
    EXPECT_EQ(bridge_ids(make_graph(true, nodes, {{"a", "b"}})), (Pairs{{"a", "b"}}));
    EXPECT_EQ(bridge_ids(make_graph(true, nodes, {{"b", "a"}})), (Pairs{{"b", "a"}}));
  }
}

TEST(Structure, SelfLoops) {
  GraphRecord g = make_graph(false, {"a", "b"}, {{"a", "a"}, {"a", "b"}});
  EXPECT_EQ(bridge_ids(g), (Pairs{{"a", "b"}}));
  EXPECT_FALSE(is_bipartite_core(g));
  EXPECT_EQ(id_pairs(g, greedy_matching_core(g)), (Pairs{{"a", "b"}}));
  GraphRecord one = make_graph(true, {"a"}, {{"a", "a"}});
  EXPECT_TRUE(bridges_core(one).empty());
  EXPECT_TRUE(greedy_matching_core(one).empty());
  EXPECT_TRUE(maximum_matching_core(one).empty());
  EXPECT_EQ(ids(one, maximal_cliques_core(one)), (Groups{{"a"}}));
  EXPECT_FALSE(is_bipartite_core(one));
}

TEST(Structure, DirectedStarCutVertex) {
  GraphRecord d = make_graph(true, {"a", "b", "c"}, {{"a", "b"}, {"a", "c"}});
  GraphRecord u = make_graph(false, {"a", "b", "c"}, {{"a", "b"}, {"a", "c"}});
  EXPECT_EQ(ids(d, articulation_points_core(d)), (Strs{"a"}));
  EXPECT_EQ(ids(u, articulation_points_core(u)), (Strs{"a"}));
}

TEST(Structure, CutVerticesSortedBytewise) {
  GraphRecord g = make_graph(false, {"z", "é", "B", "a"}, {{"z", "é"}, {"é", "B"}, {"B", "a"}});
  EXPECT_EQ(ids(g, articulation_points_core(g)), (Strs{"B", "é"}));
}

TEST(Structure, GreedyFollowsFirstUnvisitedNeighbour) {
  GraphRecord g = make_graph(false, {"a", "b", "c", "d"}, {{"a", "b"}, {"b", "c"}, {"c", "d"}});
  EXPECT_EQ(id_pairs(g, greedy_matching_core(g)), (Pairs{{"a", "b"}, {"c", "d"}}));
  // Directed: out-edges only, newest first. From a nothing; from b: c
  // (newest), then nothing from c.
  GraphRecord d = make_graph(true, {"a", "b", "c"}, {{"b", "a"}, {"b", "c"}});
  EXPECT_EQ(id_pairs(d, greedy_matching_core(d)), (Pairs{{"b", "c"}}));
}

TEST(Structure, MaximumRepairsGreedy) {
  // Path a-b-c-d, nodes added b, c, a, d: greedy from b takes b-c.
  GraphRecord g = make_graph(false, {"b", "c", "a", "d"}, {{"b", "c"}, {"a", "b"}, {"c", "d"}});
  EXPECT_EQ(greedy_matching_core(g).size(), 1u);
  NodePairs m = maximum_matching_core(g);
  EXPECT_EQ(m.size(), 2u);
  expect_matching(g, m);
}

TEST(Structure, BlossomWithTail) {
  GraphRecord g =
      make_graph(false, {"a", "b", "c", "d", "e", "f"},
                 {{"a", "b"}, {"b", "c"}, {"c", "d"}, {"d", "e"}, {"e", "a"}, {"e", "f"}});
  NodePairs m = maximum_matching_core(g);
  EXPECT_EQ(m.size(), 3u);
  expect_matching(g, m);
}

TEST(Structure, MaximumMatchingAgainstExhaustiveSearch) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 1500; ++trial) {
    const int n = 2 + static_cast<int>(rng() % 11);
    const int m = static_cast<int>(rng() % (2 * n + 1));
    GraphRecord g = random_graph(rng(), rng() % 4 == 0, n, m);
    if (g.edge_count() > 22) continue;
    NodePairs got = maximum_matching_core(g);
    expect_matching(g, got);
    ASSERT_EQ(got.size(), brute_matching(g)) << "trial " << trial;
    expect_matching(g, greedy_matching_core(g));
  }
}

TEST(Structure, LongPathNeedsNoDeepRecursion) {
  GraphRecord g(false, "", false);
  const int n = 200000;
  for (int i = 0; i < n; ++i) (void)add_node_core(g, "v" + std::to_string(i), {});
  // Edges added far end first so that greedy leaves gaps for augmentation.
  for (int i = n - 1; i > 0; --i)
    (void)add_edge_core(g, "v" + std::to_string(i - 1), "v" + std::to_string(i), {});
  EXPECT_EQ(bridges_core(g).size(), static_cast<size_t>(n - 1));
  EXPECT_EQ(articulation_points_core(g).size(), static_cast<size_t>(n - 2));
  EXPECT_EQ(maximum_matching_core(g).size(), static_cast<size_t>(n / 2));
  EXPECT_TRUE(is_bipartite_core(g));
  EXPECT_EQ(maximal_cliques_core(g).size(), static_cast<size_t>(n - 1));
}

TEST(Structure, CliquesOfTuranGraph) {
  // K(3,3,3): 27 maximal cliques of three.
  std::vector<std::string> nodes;
  std::vector<E> edges;
  for (int p = 0; p < 3; ++p)
    for (int i = 0; i < 3; ++i) nodes.push_back(std::string(1, char('x' + p)) + char('0' + i));
  for (size_t a = 0; a < nodes.size(); ++a)
    for (size_t b = a + 1; b < nodes.size(); ++b)
      if (nodes[a][0] != nodes[b][0]) edges.push_back({nodes[a], nodes[b]});
  GraphRecord g = make_graph(false, nodes, edges);
  NodeGroups all = maximal_cliques_core(g);
  EXPECT_EQ(all.size(), 27u);
  EXPECT_EQ(clique_set(g, all).size(), 27u);
  for (size_t k = 0; k < all.size(); ++k) {
    EXPECT_EQ(all[k].size(), 3u);
    EXPECT_TRUE(std::is_sorted(all[k].begin(), all[k].end()));
  }
  EXPECT_EQ(maximal_cliques_core(g, 5).size(), 5u);
  EXPECT_TRUE(maximal_cliques_core(g, 0).empty());
  EXPECT_EQ(maximal_cliques_bounded(g, 9, 10000)->size(), 27u);
  EXPECT_EQ(maximal_cliques_bounded(g, 9, 4)->size(), 4u);
  auto refused = maximal_cliques_bounded(g, 8, 10000);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error(),
            "maximal_cliques refuses inputs larger than max_input_nodes=8 (graph has 9 nodes); "
            "Bron-Kerbosch's worst case is 3^(N/3) cliques. Raise QuorGraphSettings.max_nodes "
            "if your input genuinely warrants it.");
}

TEST(Structure, DirectedCliquesIgnoreDirection) {
  GraphRecord d = make_graph(true, {"a", "b", "c", "d"},
                             {{"a", "b"}, {"c", "b"}, {"a", "c"}, {"d", "c"}});
  EXPECT_EQ(clique_set(d, maximal_cliques_core(d)), (std::set<Strs>{{"a", "b", "c"}, {"c", "d"}}));
}

TEST(Structure, CliquesSkipVacantSlots) {
  GraphRecord g = make_graph(false, {"a", "b", "c", "d"},
                             {{"a", "b"}, {"b", "c"}, {"c", "a"}, {"c", "d"}});
  ASSERT_TRUE(remove_node_core(g, "a").has_value());
  EXPECT_EQ(clique_set(g, maximal_cliques_core(g)), (std::set<Strs>{{"b", "c"}, {"c", "d"}}));
  (void)add_node_core(g, std::string_view("z"), {});  // takes a's slot, isolated
  EXPECT_EQ(clique_set(g, maximal_cliques_core(g)),
            (std::set<Strs>{{"b", "c"}, {"c", "d"}, {"z"}}));
}

TEST(Structure, Density) {
  EXPECT_EQ(density_core(make_graph(true, {"a", "b"}, {{"a", "b"}})), 0.5);
  EXPECT_EQ(density_core(make_graph(false, {"a", "b"}, {{"a", "b"}})), 1.0);
  GraphRecord m = make_graph(false, {"a", "b"}, {{"a", "b"}, {"b", "a"}, {"a", "a"}}, true);
  EXPECT_EQ(density_core(m), 3.0);
}

TEST(Structure, BipartiteIgnoresDirection) {
  GraphRecord g = make_graph(true, {"a", "b", "c", "d"},
                             {{"a", "b"}, {"c", "b"}, {"c", "d"}, {"a", "d"}});
  EXPECT_TRUE(is_bipartite_core(g));
  (void)add_edge_core(g, "d", "b", {});
  EXPECT_FALSE(is_bipartite_core(g));
}

TEST(Structure, RemovedNodesAndEdges) {
  GraphRecord g = make_graph(false, {"a", "b", "c", "d"},
                             {{"a", "b"}, {"b", "c"}, {"c", "d"}, {"d", "a"}});
  EXPECT_TRUE(bridges_core(g).empty());
  ASSERT_TRUE(remove_edge_core(g, "d", "a").has_value());
  EXPECT_EQ(bridge_ids(g), (Pairs{{"a", "b"}, {"b", "c"}, {"c", "d"}}));
  ASSERT_TRUE(remove_node_core(g, "b").has_value());
  EXPECT_EQ(bridge_ids(g), (Pairs{{"c", "d"}}));
  EXPECT_TRUE(articulation_points_core(g).empty());
  EXPECT_EQ(id_pairs(g, maximum_matching_core(g)), (Pairs{{"c", "d"}}));
}

}  // namespace
}  // namespace qg
