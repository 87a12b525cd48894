#include "core/algorithms/dag.h"

#include <algorithm>
#include <set>

#include "algorithms_fixture.h"
#include "core/algorithms/traversal.h"

namespace qg {
namespace {

using testing::E;
using testing::ids;
using testing::make_graph;
using Strs = std::vector<std::string>;

Strs topo_ids(const GraphRecord& g) { return ids(g, *topological_sort_core(g)); }

TEST(Topo, SpecifiedOrders) {
  EXPECT_EQ(topo_ids(make_graph(true, {"a", "b", "c"}, {})), (Strs{"c", "b", "a"}));
  EXPECT_EQ(topo_ids(make_graph(true, {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}})),
            (Strs{"a", "b", "c"}));
  EXPECT_EQ(topo_ids(make_graph(true, {"a", "b", "c", "d"},
                                {{"a", "b"}, {"a", "c"}, {"b", "d"}, {"c", "d"}})),
            (Strs{"a", "c", "b", "d"}));
  EXPECT_TRUE(topological_sort_core(GraphRecord(true, "", false))->empty());
}

TEST(Topo, Errors) {
  EXPECT_EQ(topological_sort_core(GraphRecord(false, "", false)).error(),
            "Topological sort is only defined for directed graphs");
  EXPECT_EQ(topological_sort_core(make_graph(true, {"a", "b"}, {{"a", "b"}, {"b", "a"}})).error(),
            "Graph has a cycle involving node 'b'");
  EXPECT_EQ(topological_sort_core(
                make_graph(true, {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}, {"c", "a"}}))
                .error(),
            "Graph has a cycle involving node 'c'");
  EXPECT_EQ(
      topological_sort_core(make_graph(true, {"a", "b", "c"}, {{"a", "b"}, {"c", "c"}})).error(),
      "Graph has a cycle involving node 'c'");
  // The first self-loop that the walk enters: a's walk reaches b before c is a root.
  EXPECT_EQ(topological_sort_core(
                make_graph(true, {"a", "b", "c"}, {{"c", "c"}, {"a", "b"}, {"b", "b"}}))
                .error(),
            "Graph has a cycle involving node 'b'");
  EXPECT_EQ(longest_path_core(make_graph(true, {"a"}, {{"a", "a"}})).error(),
            "Graph has a cycle involving node 'a'");
  EXPECT_EQ(longest_path_core(GraphRecord(false, "", false)).error(),
            "Topological sort is only defined for directed graphs");
}

TEST(Topo, RandomDagsWithVacantSlotsAreOrdered) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    GraphRecord g = testing::random_graph(seed, true, 60, 140);
    // Keep only forward edges (by index) to make it acyclic.
    std::vector<std::pair<std::string, std::string>> back;
    for (const EdgeView& e : g.storage().live_edges())
      if (e.source >= e.target)
        back.emplace_back(g.storage().id(e.source), g.storage().id(e.target));
    for (auto& [s, t] : back) (void)remove_edge_core(g, s, t);
    auto order = *topological_sort_core(g);
    ASSERT_EQ(order.size(), g.storage().node_count());
    std::vector<size_t> pos(g.storage().node_bound(), SIZE_MAX);
    for (size_t i = 0; i < order.size(); ++i) pos[order[i]] = i;
    for (const EdgeView& e : g.storage().live_edges()) {
      EXPECT_LT(pos[e.source], pos[e.target]);
    }
    // Longest path: a real path, no edge leads past its length from any node.
    LongestPath lp = *longest_path_core(g);
    ASSERT_EQ(lp.path.size(), lp.length + 1);
    for (size_t i = 0; i + 1 < lp.path.size(); ++i)
      EXPECT_TRUE(has_edge_between(g, lp.path[i], lp.path[i + 1]));
    std::vector<uint64_t> best(g.storage().node_bound(), 0);
    uint64_t top = 0;
    for (NodeIndex u : order)
      for (const AdjEntry& e : g.storage().newest_out(u)) {
        best[e.other] = std::max(best[e.other], best[u] + 1);
        top = std::max(top, best[e.other]);
      }
    EXPECT_EQ(lp.length, top);
  }
}

TEST(LongestPath, Examples) {
  LongestPath lp = *longest_path_core(make_graph(true, {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}}));
  EXPECT_EQ(lp.length, 2u);
  GraphRecord g = make_graph(true, {"a", "b", "c"}, {});
  lp = *longest_path_core(g);
  EXPECT_EQ(lp.length, 0u);
  EXPECT_EQ(ids(g, lp.path), Strs{"c"});
  EXPECT_TRUE(longest_path_core(GraphRecord(true, "", false))->path.empty());
  // Equal distances: the end node of highest index; the first relaxation stays.
  GraphRecord d = make_graph(true, {"a", "b", "x", "y"}, {{"a", "x"}, {"b", "y"}});
  lp = *longest_path_core(d);
  EXPECT_EQ(ids(d, lp.path), (Strs{"b", "y"}));
  GraphRecord f = make_graph(true, {"a", "b", "t"}, {{"a", "t"}, {"b", "t"}});
  // T = b, a, t (reverse index roots): b relaxes t first and stays.
  EXPECT_EQ(topo_ids(f), (Strs{"b", "a", "t"}));
  EXPECT_EQ(ids(f, longest_path_core(f)->path), (Strs{"b", "t"}));
}

std::set<std::pair<std::string, std::string>> edge_set(const GraphRecord& g) {
  std::set<std::pair<std::string, std::string>> out;
  for (auto& e : edge_list_refs(g)) out.emplace(e.source, e.target);
  return out;
}

TEST(Closure, ChainKeepsPropertiesAndAddsBareEdges) {
  GraphRecord g = make_graph(true, {"a", "b", "c"}, {{"a", "b", 1}, {"b", "c", 2}});
  g.set_name("chain");
  PropertyMap np;
  np.set("k", PropertyValue::integer(7));
  (void)add_node_core(g, std::string_view("z"), std::move(np));
  GraphRecord c = transitive_closure_core(g);
  EXPECT_EQ(c.name(), "chain");
  EXPECT_TRUE(c.directed());
  EXPECT_FALSE(c.multi());
  EXPECT_EQ(node_id_list(c), (std::vector<std::string_view>{"a", "b", "c", "z"}));
  auto edges = edge_list_refs(c);
  ASSERT_EQ(edges.size(), 3u);
  EXPECT_EQ(edges[0].source, "a");
  EXPECT_EQ(edges[0].properties->find("w")->as_double(), 1.0);
  EXPECT_EQ(edges[2].source, "a");
  EXPECT_EQ(edges[2].target, "c");
  EXPECT_TRUE(edges[2].properties->empty());
  EXPECT_EQ(node_properties(c, "z")->find("k")->as_double(), 7.0);
}

TEST(Closure, CyclesMultiAndUndirected) {
  GraphRecord cyc = make_graph(true, {"a", "b"}, {{"a", "b"}, {"b", "a"}});
  EXPECT_EQ(transitive_closure_core(cyc).edge_count(), 2u);  // no self-loops added
  GraphRecord loop = make_graph(true, {"a"}, {{"a", "a"}});
  EXPECT_EQ(transitive_closure_core(loop).edge_count(), 1u);  // copied, not added
  GraphRecord multi = make_graph(true, {"a", "b"}, {{"a", "b", 1}, {"a", "b", 2}}, true);
  GraphRecord mc = transitive_closure_core(multi);
  ASSERT_EQ(mc.edge_count(), 1u);
  EXPECT_EQ(edge_list_refs(mc)[0].properties->find("w")->as_double(), 1.0);
  GraphRecord u = make_graph(false, {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}});
  GraphRecord uc = transitive_closure_core(u);
  EXPECT_FALSE(uc.directed());
  EXPECT_EQ(edge_set(uc),
            (std::set<std::pair<std::string, std::string>>{{"a", "b"}, {"b", "c"}, {"a", "c"}}));
  GraphRecord empty = transitive_closure_core(GraphRecord(false, "e", false));
  EXPECT_EQ(empty.name(), "e");
  EXPECT_FALSE(empty.directed());
}

TEST(Closure, RandomMatchesReachability) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    GraphRecord g = testing::random_graph(seed, seed % 2, 30, 45);
    GraphRecord c = transitive_closure_core(g);
    EXPECT_EQ(c.node_count(), g.node_count());
    for (NodeIndex u = 0; u < g.storage().node_bound(); ++u) {
      if (!g.storage().live(u)) continue;
      std::string uid(g.storage().id(u));
      for (NodeIndex v : bfs_from(g, u)) {
        if (v != u) {
          EXPECT_TRUE(has_edge_core(c, uid, g.storage().id(v)));
        }
      }
    }
    // No edge of the closure leads where the input does not reach.
    for (auto& e : edge_list_refs(c)) {
      NodeIndex s = find_node(g, e.source), t = find_node(g, e.target);
      auto r = bfs_from(g, s);
      bool ok = std::find(r.begin(), r.end(), t) != r.end();
      if (!g.directed() && !ok) {
        auto back = bfs_from(g, t);
        ok = std::find(back.begin(), back.end(), s) != back.end();
      }
      EXPECT_TRUE(ok) << e.source << "->" << e.target;
    }
  }
}

TEST(Condensation, Examples) {
  GraphRecord cyc = make_graph(true, {"a", "b"}, {{"a", "b"}, {"b", "a"}});
  GraphRecord c = condensation_core(cyc).value();
  EXPECT_EQ(node_id_list(c), (std::vector<std::string_view>{"a,b"}));
  EXPECT_EQ(c.edge_count(), 0u);
  EXPECT_EQ(c.name(), "");
  EXPECT_TRUE(c.directed());
  GraphRecord g = make_graph(true, {"a", "b", "c"}, {{"a", "b"}, {"b", "a"}, {"b", "c"}});
  c = condensation_core(g).value();
  EXPECT_EQ(node_id_list(c), (std::vector<std::string_view>{"c", "a,b"}));
  EXPECT_EQ(edge_set(c), (std::set<std::pair<std::string, std::string>>{{"a,b", "c"}}));
  // Byte-wise sorting of member ids.
  GraphRecord s = make_graph(true, {"b", "B", "a10", "a2"},
                             {{"b", "B"}, {"B", "a10"}, {"a10", "a2"}, {"a2", "b"}});
  EXPECT_EQ(node_id_list(condensation_core(s).value()),
            (std::vector<std::string_view>{"B,a10,a2,b"}));
  // Undirected input: weak components, directed output, no edges.
  GraphRecord u = make_graph(false, {"x", "y", "z"}, {{"y", "x"}});
  GraphRecord uc = condensation_core(u).value();
  EXPECT_TRUE(uc.directed());
  std::vector<std::string_view> got = node_id_list(uc);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string_view>{"x,y", "z"}));
  EXPECT_EQ(condensation_core(GraphRecord(true, "n", false)).value().node_count(), 0u);
}

TEST(Condensation, CollidingIdsShareANode) {
  // Node "a,b" beside the component {a, b}: one node, edges of both attach to it.
  GraphRecord g = make_graph(true, {"a", "b", "a,b", "c"},
                             {{"a", "b"}, {"b", "a"}, {"a,b", "c"}, {"a", "c"}});
  GraphRecord c = condensation_core(g).value();
  EXPECT_EQ(c.node_count(), 2u);
  EXPECT_EQ(edge_set(c), (std::set<std::pair<std::string, std::string>>{{"a,b", "c"}}));
}

TEST(Condensation, ParallelPairsGiveOneEdgeInFirstEdgeOrder) {
  GraphRecord g = make_graph(true, {"a", "b", "c"},
                             {{"b", "c"}, {"a", "b"}, {"a", "b"}, {"b", "c"}}, true);
  GraphRecord c = condensation_core(g).value();
  auto edges = edge_list_refs(c);
  ASSERT_EQ(edges.size(), 2u);
  EXPECT_EQ(edges[0].source, "b");
  EXPECT_EQ(edges[1].source, "a");
}

}  // namespace
}  // namespace qg
