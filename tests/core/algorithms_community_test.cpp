#include "core/algorithms/community.h"

#include <map>
#include <set>

#include "algorithms_fixture.h"
#include "core/algorithms/components.h"

namespace qg {
namespace {

using testing::ids;
using testing::make_graph;
using testing::random_graph;
using Strs = std::vector<std::string>;
using Groups = std::vector<Strs>;

// Edges with a "weight" property (the key Louvain reads).
GraphRecord weighted(bool directed, const Strs& nodes,
                     const std::vector<std::tuple<std::string, std::string, double>>& edges,
                     bool multi = false) {
  GraphRecord g(directed, "g", multi);
  for (const auto& n : nodes) EXPECT_TRUE(add_node_core(g, std::string_view(n), {}).has_value());
  for (const auto& [s, t, w] : edges) {
    PropertyMap props;
    props.set("weight", PropertyValue::number(w));
    EXPECT_TRUE(add_edge_core(g, s, t, std::move(props)).has_value());
  }
  return g;
}

// Every live node in exactly one group; ids sorted in groups; groups sorted.
void expect_partition(const GraphRecord& g, const Groups& groups) {
  std::multiset<std::string> seen;
  for (const Strs& c : groups) {
    ASSERT_FALSE(c.empty());
    EXPECT_TRUE(std::is_sorted(c.begin(), c.end()));
    seen.insert(c.begin(), c.end());
  }
  for (size_t i = 1; i < groups.size(); ++i) EXPECT_LT(groups[i - 1][0], groups[i][0]);
  auto live = node_id_list(g);
  EXPECT_EQ(seen, std::multiset<std::string>(live.begin(), live.end()));
}

using Core = NodeGroups (*)(const Graph&);

class BothCores : public ::testing::TestWithParam<Core> {};
INSTANTIATE_TEST_SUITE_P(Community, BothCores,
                         ::testing::Values(&louvain_communities_core, &label_propagation_core));

TEST_P(BothCores, EmptyAndIsolated) {
  for (bool directed : {true, false}) {
    GraphRecord g(directed, "", false);
    EXPECT_TRUE(GetParam()(g).empty());
    (void)add_node_core(g, std::string_view("b"), {});
    (void)add_node_core(g, std::string_view("a"), {});
    EXPECT_EQ(ids(g, GetParam()(g)).size(), 2u);
  }
}

TEST_P(BothCores, TwoTrianglesAndVacantSlots) {
  for (bool directed : {true, false}) {
    GraphRecord g = make_graph(directed, {"z", "x", "gone", "y", "c", "b", "a"},
                               {{"z", "x"},
                                {"x", "y"},
                                {"y", "z"},
                                {"a", "b"},
                                {"b", "c"},
                                {"c", "a"},
                                {"gone", "a"},
                                {"gone", "z"}});
    ASSERT_TRUE(remove_node_core(g, "gone").has_value());
    EXPECT_EQ(ids(g, GetParam()(g)), (Groups{{"a", "b", "c"}, {"x", "y", "z"}}));
    // A node re-added into the vacant slot stays on its own.
    (void)add_node_core(g, std::string_view("m"), {});
    EXPECT_EQ(ids(g, GetParam()(g)), (Groups{{"a", "b", "c"}, {"m"}, {"x", "y", "z"}}));
  }
}

TEST_P(BothCores, RandomGraphsArePartitions) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    GraphRecord g = random_graph(seed, seed % 2 == 0, 80, 200);
    Groups got = ids(g, GetParam()(g));
    expect_partition(g, got);
    EXPECT_EQ(got, ids(g, GetParam()(g)));  // deterministic
  }
}

// ---- Louvain ----

TEST(Louvain, ZeroTotalWeightKeepsNodeOrder) {
  GraphRecord none = make_graph(false, {"b", "a"}, {});
  EXPECT_EQ(ids(none, louvain_communities_core(none)), (Groups{{"b"}, {"a"}}));
  GraphRecord zero = weighted(false, {"b", "a", "c"}, {{"b", "a", 0.0}, {"a", "c", 0.0}});
  EXPECT_EQ(ids(zero, louvain_communities_core(zero)), (Groups{{"b"}, {"a"}, {"c"}}));
  GraphRecord cancel = weighted(true, {"b", "a"}, {{"b", "a", 1.0}, {"a", "b", -1.0}}, true);
  EXPECT_EQ(ids(cancel, louvain_communities_core(cancel)), (Groups{{"b"}, {"a"}}));
}

TEST(Louvain, WeightPropertyRule) {
  // A strong pair inside a 4-cycle: only "weight" counts ("w" is ignored).
  GraphRecord g = weighted(false, {"a", "b", "c", "d"},
                           {{"a", "b", 10.0}, {"b", "c", 1.0}, {"c", "d", 10.0}, {"d", "a", 1.0}});
  EXPECT_EQ(ids(g, louvain_communities_core(g)), (Groups{{"a", "b"}, {"c", "d"}}));
  GraphRecord h =
      make_graph(false, {"a", "b", "c", "d"},
                 {{"a", "b", 1.0}, {"b", "c", 10.0}, {"c", "d", 1.0}, {"d", "a", 10.0}});
  // Unit weights on a 4-cycle: every pair of neighbours is as good; the
  // result is a partition into two adjacent pairs.
  Groups got = ids(h, louvain_communities_core(h));
  expect_partition(h, got);
}

TEST(Louvain, ExtremeWeightMagnitudes) {
  // Two triangles joined by one light edge, at scales where m * m would
  // underflow or overflow a double.
  for (double scale : {1e-200, 1.0, 1e200}) {
    GraphRecord g = weighted(false, {"a", "b", "c", "d", "e", "f"},
                             {{"a", "b", scale},
                              {"b", "c", scale},
                              {"c", "a", scale},
                              {"d", "e", scale},
                              {"e", "f", scale},
                              {"f", "d", scale},
                              {"c", "d", scale * 0.1}});
    EXPECT_EQ(ids(g, louvain_communities_core(g)), (Groups{{"a", "b", "c"}, {"d", "e", "f"}}))
        << scale;
  }
}

TEST(Louvain, NegativeSelfLoopBetweenTwoCommunitiesEnds) {
  // p sits between two equal heavy pairs and carries a negative self-loop.
  // Counting that self-loop for its current community only would make every
  // move look profitable and p would swing between the pairs forever.
  GraphRecord g = weighted(
      false, {"a", "x", "b", "y", "p"},
      {{"a", "x", 10.0}, {"b", "y", 10.0}, {"p", "a", 1.0}, {"p", "b", 1.0}, {"p", "p", -0.5}});
  expect_partition(g, ids(g, louvain_communities_core(g)));
}

TEST(Louvain, SelfLoopsParallelEdgesAndDirection) {
  // Direction is ignored and parallel edges add up: a=b is heavier than b-c.
  GraphRecord g = make_graph(true, {"a", "b", "c", "d"},
                             {{"a", "b"},
                              {"b", "a"},
                              {"a", "b"},
                              {"b", "c"},
                              {"d", "c"},
                              {"c", "d"},
                              {"d", "d"},
                              {"c", "c"}},
                             true);
  EXPECT_EQ(ids(g, louvain_communities_core(g)), (Groups{{"a", "b"}, {"c", "d"}}));
}

// Modularity of a partition of the weighted undirected view.
double modularity(const GraphRecord& g, const Groups& groups) {
  std::map<std::string, size_t> comm;
  for (size_t k = 0; k < groups.size(); ++k)
    for (const auto& id : groups[k]) comm[id] = k;
  std::map<std::string, double> deg;
  double m = 0, inside = 0;
  for (const auto& e : edge_list_refs(g)) {
    const PropertyValue* v = e.properties->find("weight");
    double w = (v && v->is_number()) ? v->as_double() : 1.0;
    m += w;
    deg[std::string(e.source)] += w;
    deg[std::string(e.target)] += w;
    if (comm[std::string(e.source)] == comm[std::string(e.target)]) inside += w;
  }
  std::vector<double> tot(groups.size(), 0.0);
  for (const auto& [id, d] : deg) tot[comm[id]] += d;
  double q = inside / m;
  for (double t : tot) q -= (t / (2 * m)) * (t / (2 * m));
  return q;
}

TEST(Louvain, RingOfCliquesIsFoundWhole) {
  // Eight 5-cliques in a ring: the best partition is the cliques.
  Strs nodes;
  std::vector<testing::E> edges;
  for (int c = 0; c < 8; ++c) {
    for (int i = 0; i < 5; ++i) nodes.push_back("c" + std::to_string(c) + "_" + std::to_string(i));
    for (int i = 0; i < 5; ++i)
      for (int j = i + 1; j < 5; ++j) edges.push_back({nodes[c * 5 + i], nodes[c * 5 + j]});
    edges.push_back({"c" + std::to_string(c) + "_0", "c" + std::to_string((c + 1) % 8) + "_4"});
  }
  GraphRecord g = make_graph(false, nodes, edges);
  Groups got = ids(g, louvain_communities_core(g));
  ASSERT_EQ(got.size(), 8u);
  for (int c = 0; c < 8; ++c)
    EXPECT_EQ(got[c], (Strs(nodes.begin() + c * 5, nodes.begin() + c * 5 + 5)));
  EXPECT_GT(modularity(g, got), 0.7);
}

// ---- Label propagation ----

TEST(LabelPropagation, SingleEdgeSwapsBackAfterHundredRounds) {
  GraphRecord g = make_graph(false, {"a", "b"}, {{"a", "b"}});
  EXPECT_EQ(ids(g, label_propagation_core(g)), (Groups{{"a"}, {"b"}}));
}

TEST(LabelPropagation, TriangleSettlesIntoOne) {
  GraphRecord g = make_graph(false, {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}, {"c", "a"}});
  EXPECT_EQ(ids(g, label_propagation_core(g)), (Groups{{"a", "b", "c"}}));
}

TEST(LabelPropagation, HandWorkedStar) {
  // Star centre h (position 0) with leaves: round 1, h takes label 1 (the
  // smallest among four labels counted once each) and every leaf takes 0;
  // round 2, h takes 0 and the leaves take 1; the two states alternate, and
  // the 100th round ends in the second.
  GraphRecord g = make_graph(false, {"h", "l1", "l2", "l3", "l4"},
                             {{"h", "l1"}, {"h", "l2"}, {"h", "l3"}, {"h", "l4"}});
  EXPECT_EQ(ids(g, label_propagation_core(g)), (Groups{{"h"}, {"l1", "l2", "l3", "l4"}}));
  // A self-loop counts twice for its own node's label: h keeps its own.
  GraphRecord s = make_graph(false, {"h", "l1", "l2", "l3"},
                             {{"h", "l1"}, {"h", "l2"}, {"h", "l3"}, {"h", "h"}});
  EXPECT_EQ(ids(s, label_propagation_core(s)), (Groups{{"h", "l1", "l2", "l3"}}));
}

TEST(LabelPropagation, ParallelEdgesCountEachTime) {
  // Positions c=0, a=1, b=2. b counts a's label twice and c's once. The
  // labels alternate between (2, 2, 1) after odd rounds and (1, 1, 2) after
  // even ones; direction plays no part.
  GraphRecord g = make_graph(true, {"c", "a", "b"}, {{"a", "b"}, {"b", "a"}, {"b", "c"}}, true);
  EXPECT_EQ(ids(g, label_propagation_core(g)), (Groups{{"a", "c"}, {"b"}}));
}

// ---- k-clique communities ----

TEST(KClique, EmptyGraphAnyK) {
  GraphRecord g(false, "", false);
  for (uint64_t k : {0ull, 1ull, 2ull, 3ull, ~0ull})
    EXPECT_TRUE(k_clique_communities_core(g, k).empty());
}

TEST(KClique, PathHandWorked) {
  GraphRecord g = make_graph(false, {"c", "b", "a"}, {{"a", "b"}, {"b", "c"}});
  EXPECT_EQ(ids(g, k_clique_communities_core(g, 2)), (Groups{{"a", "b", "c"}}));
  EXPECT_TRUE(k_clique_communities_core(g, 3).empty());
  EXPECT_TRUE(k_clique_communities_core(g, ~0ull).empty());
}

TEST(KClique, BelowTwoGivesWeakComponentsUnchanged) {
  for (uint32_t seed : {3u, 4u}) {
    GraphRecord g = random_graph(seed, seed % 2 == 0, 40, 30);
    for (uint64_t k : {0ull, 1ull})
      EXPECT_EQ(ids(g, k_clique_communities_core(g, k)),
                ids(g, weakly_connected_components_core(g)));
  }
}

TEST(KClique, TrianglesSharingOneNodeOverlap) {
  GraphRecord g =
      make_graph(false, {"s", "a", "b", "c", "d"},
                 {{"s", "a"}, {"a", "b"}, {"b", "s"}, {"s", "c"}, {"c", "d"}, {"d", "s"}});
  EXPECT_EQ(ids(g, k_clique_communities_core(g, 3)), (Groups{{"a", "b", "s"}, {"c", "d", "s"}}));
  EXPECT_EQ(ids(g, k_clique_communities_core(g, 2)), (Groups{{"a", "b", "c", "d", "s"}}));
  // Same first id in both: the two keep some order, each sorted.
  GraphRecord h =
      make_graph(false, {"a", "x", "y", "z", "w"},
                 {{"a", "x"}, {"x", "y"}, {"y", "a"}, {"a", "z"}, {"z", "w"}, {"w", "a"}});
  Groups got = ids(h, k_clique_communities_core(h, 3));
  std::set<Strs> want{{"a", "x", "y"}, {"a", "w", "z"}};
  EXPECT_EQ(std::set<Strs>(got.begin(), got.end()), want);
}

TEST(KClique, FourCliquesChainedByTriangles) {
  // Two 4-cliques sharing three nodes percolate at k = 4; a third sharing
  // two with the second does not. A removed node leaves a vacant slot.
  GraphRecord g = make_graph(false, {"gone", "a", "b", "c", "d", "e", "f", "g"}, {});
  auto clique = [&](Strs m) {
    for (size_t i = 0; i < m.size(); ++i)
      for (size_t j = i + 1; j < m.size(); ++j)
        if (!has_edge_core(g, m[i], m[j])) (void)add_edge_core(g, m[i], m[j], {});
  };
  clique({"a", "b", "c", "d"});
  clique({"b", "c", "d", "e"});
  clique({"d", "e", "f", "g"});
  clique({"gone", "a", "f"});
  ASSERT_TRUE(remove_node_core(g, "gone").has_value());
  EXPECT_EQ(ids(g, k_clique_communities_core(g, 4)),
            (Groups{{"a", "b", "c", "d", "e"}, {"d", "e", "f", "g"}}));
  EXPECT_EQ(ids(g, k_clique_communities_core(g, 3)), (Groups{{"a", "b", "c", "d", "e", "f", "g"}}));
  EXPECT_TRUE(k_clique_communities_core(g, 5).empty());
}

}  // namespace
}  // namespace qg
