// The algorithms against plain reference forms (list walks, recursion, brute
// force) on seeded random multigraphs with vacant and reused slots, below and
// from the 4,096 edges at which whole-graph walks read packed successor
// lists; inputs deep enough to break a recursive walk; and the hand-worked
// orders that the Python suite does not reach. Results as users see them
// are pinned by tests/python.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/algorithms/adjacency.h"
#include "core/algorithms/centrality.h"
#include "core/algorithms/community.h"
#include "core/algorithms/components.h"
#include "core/algorithms/dag.h"
#include "core/algorithms/paths.h"
#include "core/algorithms/structure.h"
#include "core/algorithms/toposort.h"
#include "core/algorithms/traversal.h"
#include "core/common/interrupt.h"
#include "core/graph/graph_json.h"
#include "core/graph/graph_record.h"

namespace qg {
namespace {

using Strs = std::vector<std::string>;
using Nodes = std::vector<NodeIndex>;
constexpr std::string_view kW = "w";

struct E {
  std::string s, t;
  std::optional<double> w = std::nullopt;  // stored as property "w"
};

GraphRecord make_graph(bool directed, const Strs& nodes, const std::vector<E>& edges,
                       bool multi = false) {
  GraphRecord g(directed, "g", multi);
  for (const auto& n : nodes) EXPECT_TRUE(add_node_core(g, std::string_view(n), {}));
  for (const auto& e : edges) {
    PropertyMap props;
    if (e.w) props.set("w", PropertyValue::number(*e.w));
    EXPECT_TRUE(add_edge_core(g, e.s, e.t, std::move(props))) << e.s << "->" << e.t;
  }
  return g;
}

// A seeded random multigraph (self-loops and parallel edges) with vacant
// slots: nodes n0.., m random edges, then some nodes and edges removed and
// a few nodes and edges added into the freed slots.
GraphRecord random_graph(uint32_t seed, bool directed, int n, int m, double wmin = 0.0,
                         double wmax = 10.0) {
  std::mt19937 rng(seed);
  GraphRecord g(directed, "r", true);
  auto name = [](int i) { return "n" + std::to_string(i); };
  for (int i = 0; i < n; ++i) (void)add_node_core(g, name(i), {});
  std::uniform_int_distribution<int> pick(0, n - 1);
  std::uniform_real_distribution<double> wd(wmin, wmax);
  auto edge = [&] {
    PropertyMap p;
    p.set("w", PropertyValue::number(std::round(wd(rng) * 4) / 4));
    (void)add_edge_core(g, name(pick(rng)), name(pick(rng)), std::move(p));
  };
  for (int i = 0; i < m; ++i) edge();
  for (int i = 0; i < n / 10; ++i) (void)remove_node_core(g, name(pick(rng)));
  for (int i = 0; i < m / 10; ++i) (void)remove_edge_core(g, name(pick(rng)), name(pick(rng)));
  for (int i = 0; i < n / 20; ++i) (void)add_node_core(g, name(n + i), {});
  for (int i = 0; i < m / 20; ++i) edge();
  return g;
}

Strs ids(const GraphRecord& g, std::span<const NodeIndex> nodes) {
  return ids_of(g.storage(), nodes);
}

NodeIndex idx(const GraphRecord& g, std::string_view id) { return find_node(g, id); }

template <class F>
void successors(const GraphRecord& g, NodeIndex n, F&& f) {
  for_each_successor(g.storage(), g.directed(), n, [&](NodeIndex m, EdgeIndex) { f(m); });
}

// ---- Reference forms, walking the node lists ----

struct Reach {
  Nodes bfs, dfs;
  std::vector<DfsEvent> events;
  std::vector<uint64_t> depth;  // UINT64_MAX: not reached
};

void events_reference(const GraphRecord& g, NodeIndex n, std::vector<uint8_t>& seen,
                      std::vector<DfsEvent>& out) {
  seen[n] = 1;
  out.push_back({n, false});
  Nodes next;
  successors(g, n, [&](NodeIndex m) { next.push_back(m); });
  for (NodeIndex m : next)
    if (!seen[m]) events_reference(g, m, seen, out);
  out.push_back({n, true});
}

Reach reach_reference(const GraphRecord& g, NodeIndex s) {
  const size_t bound = g.storage().node_bound();
  Reach r;
  r.depth.assign(bound, UINT64_MAX);
  r.depth[s] = 0;
  r.bfs.push_back(s);
  for (size_t h = 0; h < r.bfs.size(); ++h)
    successors(g, r.bfs[h], [&](NodeIndex m) {
      if (r.depth[m] == UINT64_MAX) r.depth[m] = r.depth[r.bfs[h]] + 1, r.bfs.push_back(m);
    });
  std::vector<uint8_t> seen(bound, 0);
  Nodes stack{s};
  while (!stack.empty()) {
    NodeIndex n = stack.back();
    stack.pop_back();
    if (seen[n]) continue;
    seen[n] = 1;
    r.dfs.push_back(n);
    successors(g, n, [&](NodeIndex m) {
      if (!seen[m]) stack.push_back(m);
    });
  }
  seen.assign(bound, 0);
  events_reference(g, s, seen, r.events);
  return r;
}

// Recursive Tarjan over the out-lists, roots in slot order.
struct RefTarjan {
  const GraphStorage& st;
  std::vector<uint64_t> rank;
  uint64_t next = 1, mark = UINT64_MAX;
  Nodes stack;
  std::vector<Nodes> out;
  explicit RefTarjan(const GraphStorage& s) : st(s), rank(s.node_bound(), 0) {
    for (NodeIndex r = 0; r < st.node_bound(); ++r)
      if (st.live(r) && rank[r] == 0) visit(r);
  }
  void visit(NodeIndex v) {
    rank[v] = next++;
    bool root = true;
    for (const AdjEntry& e : st.newest_out(v)) {
      if (rank[e.other] == 0) visit(e.other);
      if (rank[e.other] < rank[v]) rank[v] = rank[e.other], root = false;
    }
    if (!root) return stack.push_back(v);
    size_t start = stack.size();
    while (start > 0 && rank[stack[start - 1]] >= rank[v]) --start;
    Nodes comp(stack.begin() + start, stack.end());
    comp.push_back(v);
    for (NodeIndex n : comp) rank[n] = mark;
    --mark;
    stack.resize(start);
    out.push_back(comp);
  }
};

std::map<NodeIndex, double> costs(const std::vector<NodeCost>& v) {
  std::map<NodeIndex, double> out;
  for (auto c : v) EXPECT_TRUE(out.emplace(c.node, c.cost).second);
  return out;
}

// Below 4,096 edges the walks read the node lists, from there packed lists.
class ListsAndPackedLists : public ::testing::TestWithParam<std::tuple<bool, bool>> {
 protected:
  GraphRecord graph() const {
    auto [directed, packed] = GetParam();
    GraphRecord g = packed ? random_graph(31, directed, 1500, 7000)
                           : random_graph(32, directed, 300, 900);
    EXPECT_EQ(g.edge_count() >= 4096, packed) << g.edge_count();
    return g;
  }
};

INSTANTIATE_TEST_SUITE_P(Kinds, ListsAndPackedLists,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()));

TEST_P(ListsAndPackedLists, WalksMatchTheReferenceWalks) {
  const GraphRecord g = graph();
  const GraphStorage& st = g.storage();
  for (NodeIndex s = 0; s < st.node_bound(); s += 37) {
    if (!st.live(s)) continue;
    const Reach want = reach_reference(g, s);
    ASSERT_EQ(bfs_from(g, s), want.bfs);
    ASSERT_EQ(dfs_from(g, s), want.dfs);
    const auto events = dfs_events_from(g, s);
    ASSERT_EQ(events.size(), want.events.size());
    for (size_t i = 0; i < events.size(); ++i)
      ASSERT_TRUE(events[i].node == want.events[i].node && events[i].exit == want.events[i].exit)
          << i;
    const auto depths = bfs_depths_from(g, s);
    ASSERT_EQ(depths.size(), want.bfs.size());
    for (size_t i = 0; i < depths.size(); ++i) {
      ASSERT_EQ(depths[i].node, want.bfs[i]);
      ASSERT_EQ(depths[i].depth, want.depth[want.bfs[i]]);
    }
    // Descendants: the reached nodes, s only when a reached node leads back to it.
    bool back = false;
    for (NodeIndex u : want.bfs) successors(g, u, [&](NodeIndex m) { back |= m == s; });
    Nodes desc = descendants_of(g, s), expect = want.bfs;
    if (!back) expect.erase(expect.begin());
    std::sort(desc.begin(), desc.end());
    std::sort(expect.begin(), expect.end());
    ASSERT_EQ(desc, expect);
    // Unit costs are the depths; weighted costs those of Bellman-Ford.
    for (auto [n, c] : costs(dijkstra_from(g, s, END, std::nullopt)))
      ASSERT_EQ(c, static_cast<double>(want.depth[n]));
    const auto weighted = costs(dijkstra_from(g, s, END, kW));
    const auto bf = costs(*bellman_ford_core(g, st.id(s), kW));
    ASSERT_EQ(weighted.size(), want.bfs.size());
    ASSERT_EQ(bf.size(), weighted.size());
    for (auto [n, c] : weighted) ASSERT_NEAR(c, bf.at(n), 1e-9);
  }
}

TEST_P(ListsAndPackedLists, StrongComponentsMatchRecursiveTarjan) {
  const GraphRecord g = graph();
  const RefTarjan ref(g.storage());
  const NodeGroups got = tarjan_scc(g.storage());
  ASSERT_EQ(got.size(), ref.out.size());
  for (size_t k = 0; k < got.size(); ++k)
    ASSERT_EQ(Nodes(got[k].begin(), got[k].end()), ref.out[k]);
}

TEST_P(ListsAndPackedLists, ClosenessMatchesOneSearchPerNode) {
  const GraphRecord g = graph();
  const GraphStorage& st = g.storage();
  std::map<NodeIndex, double> got;
  for (auto [n, x] : closeness_centrality_core(g)) got[n] = x;
  ASSERT_EQ(got.size(), g.node_count());
  for (NodeIndex s = 0; s < st.node_bound(); ++s) {
    if (!st.live(s)) continue;
    const Reach r = reach_reference(g, s);
    double total = 0;
    for (NodeIndex n : r.bfs) total += static_cast<double>(r.depth[n]);
    ASSERT_EQ(got[s], total > 0 ? static_cast<double>(r.bfs.size() - 1) / total : 0.0) << s;
  }
}

TEST_P(ListsAndPackedLists, ForwardEdgesSortTopologically) {
  GraphRecord g = graph();
  std::vector<std::pair<std::string, std::string>> back;
  for (const EdgeView e : g.storage().live_edges())
    if (e.source >= e.target) back.emplace_back(g.storage().id(e.source), g.storage().id(e.target));
  for (auto& [s, t] : back) (void)remove_edge_core(g, s, t);
  const ToposortResult r = toposort(g.storage());
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.order.size(), g.node_count());
  std::vector<size_t> pos(g.storage().node_bound(), SIZE_MAX);
  for (size_t i = 0; i < r.order.size(); ++i) pos[r.order[i]] = i;
  for (const EdgeView e : g.storage().live_edges()) ASSERT_LT(pos[e.source], pos[e.target]);
  // Any edge doubled backwards closes a cycle.
  const EdgeView e = *g.storage().live_edges().begin();
  ASSERT_TRUE(add_edge_by_index(g, e.target, e.source, {}));
  EXPECT_FALSE(toposort(g.storage()).ok());
}

// ---- Small random graphs against brute force ----

// Every simple path, by recursion over successors in adjacency order.
void paths_reference(const GraphRecord& g, NodeIndex t, Nodes& path, uint64_t max_nodes,
                     std::vector<Nodes>& out) {
  if (path.size() >= max_nodes) return;
  Nodes next;
  successors(g, path.back(), [&](NodeIndex m) { next.push_back(m); });
  for (NodeIndex m : next) {
    if (std::find(path.begin(), path.end(), m) != path.end()) continue;
    path.push_back(m);
    if (m == t) {
      out.push_back(path);
    } else {
      paths_reference(g, t, path, max_nodes, out);
    }
    path.pop_back();
  }
}

// Betweenness from all-pairs path counts, each parallel edge a path of its own.
std::vector<double> betweenness_reference(const GraphRecord& g) {
  const GraphStorage& st = g.storage();
  const size_t b = st.node_bound();
  const Nodes live = live_nodes(g);
  std::vector<std::vector<long>> dist(b, std::vector<long>(b, -1));
  std::vector<std::vector<double>> sigma(b, std::vector<double>(b, 0));
  for (NodeIndex s : live) {
    Nodes q{s};
    dist[s][s] = 0, sigma[s][s] = 1;
    for (size_t h = 0; h < q.size(); ++h)
      successors(g, q[h], [&](NodeIndex w) {
        if (dist[s][w] < 0) dist[s][w] = dist[s][q[h]] + 1, q.push_back(w);
        if (dist[s][w] == dist[s][q[h]] + 1) sigma[s][w] += sigma[s][q[h]];
      });
  }
  std::vector<double> out(b, 0);
  for (NodeIndex v : live)
    for (NodeIndex s : live)
      for (NodeIndex t : live)
        if (s != t && s != v && t != v && dist[s][v] >= 0 && dist[v][t] >= 0 &&
            dist[s][v] + dist[v][t] == dist[s][t])
          out[v] += sigma[s][v] * sigma[v][t] / sigma[s][t] / (g.directed() ? 1 : 2);
  return out;
}

class SmallRandomGraphs : public ::testing::TestWithParam<std::tuple<uint32_t, bool>> {};

INSTANTIATE_TEST_SUITE_P(Seeds, SmallRandomGraphs,
                         ::testing::Combine(::testing::Values(11u, 12u, 13u), ::testing::Bool()));

TEST_P(SmallRandomGraphs, SimplePathsComeInDepthFirstOrder) {
  auto [seed, directed] = GetParam();
  const GraphRecord g = random_graph(seed, directed, 9, 22);
  for (NodeIndex s : live_nodes(g))
    for (NodeIndex t : live_nodes(g)) {
      if (s == t) continue;
      for (uint64_t depth : {2, 3, 32}) {
        std::vector<Nodes> want;
        Nodes path{s};
        paths_reference(g, t, path, depth, want);
        const NodeGroups got = all_simple_paths_between(g, s, t, depth, 100000);
        ASSERT_EQ(got.size(), want.size());
        for (size_t k = 0; k < want.size(); ++k)
          ASSERT_EQ(Nodes(got[k].begin(), got[k].end()), want[k]);
        if (want.size() > 2) {
          ASSERT_EQ(all_simple_paths_between(g, s, t, depth, 2).size(), 2u);
        }
      }
    }
}

TEST_P(SmallRandomGraphs, BetweennessCountsEveryShortestPath) {
  auto [seed, directed] = GetParam();
  const GraphRecord g = random_graph(seed, directed, 40, 90);
  const std::vector<double> want = betweenness_reference(g);
  const double n = static_cast<double>(g.node_count());
  const double scale = (n - 1) * (n - 2) / (directed ? 1 : 2);
  for (bool normalized : {false, true})
    for (auto [v, x] : betweenness_centrality_core(g, normalized))
      ASSERT_NEAR(x, normalized ? want[v] / scale : want[v], 1e-9 * (1 + want[v])) << v;
}

TEST_P(SmallRandomGraphs, AstarRefusesOnlyWhenBellmanFordFindsANegativeCycle) {
  auto [seed, directed] = GetParam();
  const GraphRecord g = random_graph(seed, directed, 30, 70, -3.0, 10.0);
  for (NodeIndex s : live_nodes(g)) {
    const auto bf = bellman_ford_core(g, g.storage().id(s), kW);
    for (NodeIndex t : live_nodes(g)) {
      const auto r = astar_between(g, s, t, kW);
      if (!r) {
        ASSERT_EQ(r.error(), "Negative cycle detected");
        ASSERT_FALSE(bf.has_value());
      }
    }
  }
}

TEST_P(SmallRandomGraphs, ClosureHoldsExactlyTheReachablePairs) {
  auto [seed, directed] = GetParam();
  const GraphRecord g = random_graph(seed, directed, 30, 45);
  const GraphRecord c = transitive_closure_core(g);
  ASSERT_EQ(node_id_list(c), node_id_list(g));
  const size_t b = g.storage().node_bound();
  std::vector<std::vector<uint8_t>> reach(b, std::vector<uint8_t>(b, 0));
  for (NodeIndex u : live_nodes(g))
    for (NodeIndex v : reach_reference(g, u).bfs)
      if (v != u) {
        reach[u][v] = 1;
        ASSERT_TRUE(has_edge_core(c, g.storage().id(u), g.storage().id(v)));
      }
  // Nothing more: a self-loop only where the input has one.
  for (const auto& e : edge_list_refs(c)) {
    const NodeIndex s = find_node(g, e.source), t = find_node(g, e.target);
    ASSERT_TRUE(s == t ? has_edge_between(g, s, s) : reach[s][t] || (!directed && reach[t][s]))
        << e.source << "->" << e.target;
  }
}

// ---- Deep inputs need no recursion ----

TEST(DeepGraphs, ChainsRingsAndPathsOfTwoHundredThousandNodes) {
  const int n = 200000;
  GraphRecord ring(true, "", false), path(false, "", false);
  for (int i = 0; i < n; ++i) {
    (void)add_node_core(ring, std::to_string(i), {});
    (void)add_node_core(path, std::to_string(i), {});
  }
  for (int i = 0; i + 1 < n; ++i) (void)add_edge_by_index(ring, i, i + 1, {});
  for (int i = n - 1; i > 0; --i) (void)add_edge_by_index(path, i - 1, i, {});  // far end first
  const ToposortResult topo = toposort(ring.storage());
  ASSERT_TRUE(topo.ok());
  EXPECT_EQ(topo.order.back(), NodeIndex(n - 1));
  EXPECT_EQ(longest_path_core(ring)->length, uint64_t(n - 1));
  (void)add_edge_by_index(ring, n - 1, 0, {});
  const NodeGroups scc = tarjan_scc(ring.storage());
  ASSERT_EQ(scc.size(), 1u);
  EXPECT_EQ(scc[0].back(), 0u);  // the root comes last
  EXPECT_EQ(find_cycle_paths_core(ring)[0].size(), size_t(n));
  EXPECT_EQ(bridges_core(path).size(), size_t(n - 1));
  EXPECT_EQ(articulation_points_core(path).size(), size_t(n - 2));
  EXPECT_EQ(maximum_matching_core(path).size(), size_t(n / 2));
  EXPECT_TRUE(is_bipartite_core(path));
  EXPECT_EQ(maximal_cliques_core(path).size(), size_t(n - 1));
}

// ---- Hand-worked orders ----

TEST(Dijkstra, StopsAtTheTargetWithoutExpandingIt) {
  const GraphRecord g =
      make_graph(true, {"s", "a", "b", "t", "c", "d"},
                 {{"s", "a", 1}, {"s", "b", 1}, {"a", "t", 1}, {"b", "c", 1}, {"t", "d", 1}});
  for (auto key : {std::optional<std::string_view>(), std::optional<std::string_view>(kW)}) {
    const auto c = costs(dijkstra_from(g, idx(g, "s"), idx(g, "t"), key));
    EXPECT_EQ(c.at(idx(g, "t")), 2.0);
    EXPECT_FALSE(c.contains(idx(g, "d")));
  }
}

TEST(Dijkstra, NeverLowersTheCostOfAnExpandedNode) {
  // a is expanded at 1 before b offers 2 - 5.
  const GraphRecord g = make_graph(true, {"s", "a", "b"},
                                   {{"s", "a", 1}, {"s", "b", 2}, {"b", "a", -5}});
  EXPECT_EQ(costs(dijkstra_from(g, 0, END, kW)),
            (std::map<NodeIndex, double>{{0, 0}, {1, 1}, {2, 2}}));
}

TEST(Toposort, NamesTheNodeOfTheCycleFoundFirst) {
  struct Case {
    std::vector<E> edges;
    Strs order;
    std::string cycle;
  };
  const Case cases[] = {
      {{{"a", "b"}, {"a", "c"}, {"b", "d"}, {"c", "d"}}, {"a", "c", "b", "d"}, ""},
      {{{"a", "b"}, {"c", "c"}}, {}, "c"},
      // a's walk enters b's self-loop before c is a root.
      {{{"c", "c"}, {"a", "b"}, {"b", "b"}}, {}, "b"},
      // The oldest incoming edge from later in the order names the node.
      {{{"c", "a"}, {"d", "a"}, {"a", "c"}, {"a", "d"}}, {}, "c"},
  };
  for (const Case& c : cases) {
    const GraphRecord g = make_graph(true, {"a", "b", "c", "d"}, c.edges);
    const ToposortResult r = toposort(g.storage());
    EXPECT_EQ(ids(g, r.order), c.order);
    EXPECT_EQ(r.ok() ? "" : std::string(g.storage().id(r.cycle_node)), c.cycle) << c.cycle;
  }
}

TEST(LongestPath, TiesGoToTheHighestEndAndTheFirstRelaxation) {
  const GraphRecord d = make_graph(true, {"a", "b", "x", "y"}, {{"a", "x"}, {"b", "y"}});
  EXPECT_EQ(ids(d, longest_path_core(d)->path), (Strs{"b", "y"}));
  const GraphRecord f = make_graph(true, {"a", "b", "t"}, {{"a", "t"}, {"b", "t"}});
  EXPECT_EQ(ids(f, longest_path_core(f)->path), (Strs{"b", "t"}));  // order b, a, t
}

TEST(Condensation, CollidingIdsShareANodeAndPairsKeepTheirFirstEdge) {
  // The node "a,b" beside the component {a, b}: one node carries the edges of both.
  const GraphRecord g = make_graph(true, {"a", "b", "a,b", "c"},
                                   {{"a", "b"}, {"b", "a"}, {"a,b", "c"}, {"a", "c"}});
  const GraphRecord c = condensation_core(g).value();
  EXPECT_EQ(c.node_count(), 2u);
  ASSERT_EQ(edge_list_refs(c).size(), 1u);
  const GraphRecord m = make_graph(true, {"a", "b", "c"},
                                   {{"b", "c"}, {"a", "b"}, {"a", "b"}, {"b", "c"}}, true);
  const GraphRecord mc = condensation_core(m).value();
  const auto edges = edge_list_refs(mc);
  ASSERT_EQ(edges.size(), 2u);
  EXPECT_EQ(edges[0].source, "b");
  EXPECT_EQ(edges[1].source, "a");
}

// k parts of 3 nodes, every pair of parts joined: 3^k maximal cliques.
GraphRecord multipartite(int k) {
  GraphRecord g(false, "m", false);
  for (int i = 0; i < 3 * k; ++i) (void)add_node_core(g, std::to_string(i), {});
  for (int a = 0; a < 3 * k; ++a)
    for (int b = a + 1; b < 3 * k; ++b)
      if (a / 3 != b / 3) (void)add_edge_core(g, std::to_string(a), std::to_string(b), {});
  return g;
}

// Every loop whose cost can outgrow its input polls for interruption: with a
// hook that always says stop, each call below throws qg::Interrupted. (The
// other tests run the same calls without a hook, to their end.)
TEST(Interrupt, EveryLongLoopPolls) {
  const GraphRecord d = random_graph(3, true, 20000, 80000);
  const GraphRecord u = random_graph(4, false, 5000, 20000);
  const GraphRecord cliques = multipartite(7);
  const std::string json = graph_to_json(d).value();
  const uint64_t kMany = std::numeric_limits<uint64_t>::max();
  // Sources with edges; "n20000" is isolated, so searches for it visit all they reach.
  ASSERT_TRUE(d.storage().edge_live(0) && u.storage().edge_live(0));
  const NodeIndex s = d.storage().source(0), a = u.storage().source(0), b = u.storage().target(0);
  ASSERT_NE(a, b);
  const std::string source(d.storage().id(s));
  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"pagerank", [&] { (void)pagerank_core(u, 0.85, 1000); }},
      {"eigenvector", [&] { (void)eigenvector_centrality_core(u, 1000, 0.0); }},
      {"betweenness", [&] { (void)betweenness_centrality_core(u, true); }},
      {"closeness", [&] { (void)closeness_centrality_core(u); }},
      {"louvain", [&] { (void)louvain_communities_core(u); }},
      {"label propagation", [&] { (void)label_propagation_core(u); }},
      {"k-clique communities", [&] { (void)k_clique_communities_core(cliques, 3); }},
      {"maximal cliques", [&] { (void)maximal_cliques_core(cliques); }},
      {"maximum matching", [&] { (void)maximum_matching_core(u); }},
      {"dijkstra", [&] { (void)dijkstra_costs_core(d, source, std::nullopt, "w"); }},
      {"astar", [&] { (void)astar_between(d, s, find_node(d, "n20000"), "w"); }},
      {"bellman-ford", [&] { (void)bellman_ford_core(d, source, "w"); }},
      {"all simple paths", [&] { (void)all_simple_paths_between(u, a, b, 8, 1000000); }},
      {"transitive closure", [&] { (void)transitive_closure_core(d); }},
      {"condensation", [&] { (void)condensation_core(d); }},
      {"condensation, undirected", [&] { (void)condensation_core(u); }},
      {"graph json", [&] { (void)graph_from_json_checked(json, kMany, kMany, kMany); }},
  };
  for (const auto& [name, call] : calls) {
    set_interrupt_hook([](bool) noexcept { return true; });
    interrupt_detail::thread_clock = {};
    EXPECT_THROW(call(), Interrupted) << name;
  }
  set_interrupt_hook(nullptr);
}

}  // namespace
}  // namespace qg
