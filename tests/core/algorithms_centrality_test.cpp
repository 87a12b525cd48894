#include "core/algorithms/centrality.h"

#include <cmath>
#include <map>
#include <string>

#include "algorithms_fixture.h"

namespace qg {
namespace {

using testing::E;
using testing::make_graph;
using testing::random_graph;
using Named = std::vector<std::pair<std::string, double>>;

Named named(const GraphRecord& g, Scores s, bool rank = true) {
  if (rank) rank_descending(s);
  Named out;
  for (auto [v, x] : s) out.emplace_back(std::string(g.storage().id(v)), x);
  return out;
}

std::map<std::string, double> by_id(const GraphRecord& g, const Scores& s) {
  std::map<std::string, double> out;
  for (auto [v, x] : s) out[std::string(g.storage().id(v))] = x;
  return out;
}

GraphRecord path3(bool directed) {
  return make_graph(directed, {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}});
}

TEST(Centrality, EmptyGraphGivesNothing) {
  for (bool directed : {true, false}) {
    GraphRecord g(directed, "", false);
    EXPECT_TRUE(degree_centrality_core(g, DegreeKind::Total).empty());
    EXPECT_TRUE(degree_centrality_core(g, DegreeKind::In).empty());
    EXPECT_TRUE(closeness_centrality_core(g).empty());
    EXPECT_TRUE(betweenness_centrality_core(g, true).empty());
    EXPECT_TRUE(eigenvector_centrality_core(g, 100, 1e-6).empty());
    EXPECT_TRUE(pagerank_core(g, 0.85, 100)->empty());
  }
}

TEST(Centrality, SingleNode) {
  GraphRecord g = make_graph(true, {"a"}, {});
  Named zero{{"a", 0.0}}, one{{"a", 1.0}};
  EXPECT_EQ(named(g, degree_centrality_core(g, DegreeKind::Total)), zero);
  EXPECT_EQ(named(g, closeness_centrality_core(g)), zero);
  EXPECT_EQ(named(g, betweenness_centrality_core(g, false)), zero);
  EXPECT_EQ(named(g, *pagerank_core(g, 0.85, 100)), one);
  EXPECT_EQ(named(g, eigenvector_centrality_core(g, 100, 1e-6)), zero);
  GraphRecord loop = make_graph(true, {"a"}, {{"a", "a"}});
  EXPECT_EQ(named(loop, eigenvector_centrality_core(loop, 100, 1e-6)), one);
  EXPECT_EQ(named(loop, *pagerank_core(loop, 0.85, 100)), one);
}

TEST(Centrality, BetweennessOnPaths) {
  GraphRecord d = path3(true);
  EXPECT_EQ(named(d, betweenness_centrality_core(d, true)),
            (Named{{"b", 0.5}, {"a", 0}, {"c", 0}}));
  EXPECT_EQ(named(d, betweenness_centrality_core(d, false)), (Named{{"b", 1}, {"a", 0}, {"c", 0}}));
  GraphRecord u = path3(false);
  EXPECT_EQ(named(u, betweenness_centrality_core(u, true)), (Named{{"b", 1}, {"a", 0}, {"c", 0}}));
  EXPECT_EQ(named(u, betweenness_centrality_core(u, false)), (Named{{"b", 1}, {"a", 0}, {"c", 0}}));
  // Below three nodes nothing is normalised.
  GraphRecord two = make_graph(true, {"a", "b"}, {{"a", "b"}, {"b", "a"}});
  EXPECT_EQ(named(two, betweenness_centrality_core(two, false)), (Named{{"a", 0}, {"b", 0}}));
}

TEST(Centrality, BetweennessCountsParallelEdgesAsPaths) {
  // s->a->t with a->t doubled, s->b->t: three shortest s-t paths, two via a.
  GraphRecord g = make_graph(true, {"s", "a", "b", "t"},
                             {{"s", "a"}, {"a", "t"}, {"a", "t"}, {"s", "b"}, {"b", "t"}}, true);
  auto raw = by_id(g, betweenness_centrality_core(g, false));
  EXPECT_DOUBLE_EQ(raw["a"], 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(raw["b"], 1.0 / 3.0);
  EXPECT_EQ(raw["s"], 0.0);
  EXPECT_EQ(raw["t"], 0.0);
  auto norm = by_id(g, betweenness_centrality_core(g, true));
  EXPECT_DOUBLE_EQ(norm["a"], 2.0 / 3.0 / 6.0);
}

// A directed chain c0 -> {a_i, b_i} -> c_i of k diamonds has 2^k shortest
// paths from c0 to c_k: beyond 1023 diamonds the counts leave the double
// range. Every pair separated by c_j passes it; a diamond's side node carries
// half of the pairs whose paths cross its diamond.
TEST(Centrality, BetweennessStaysFiniteWhenPathCountsOverflow) {
  for (int k : {12, 1100}) {
    GraphRecord g(true, "", false);
    auto node = [&](std::string id) { (void)add_node_core(g, std::string_view(id), {}); };
    auto edge = [&](std::string s, std::string t) {
      ASSERT_TRUE(add_edge_core(g, s, t, {}).has_value());
    };
    node("c0");
    for (int i = 1; i <= k; ++i) {
      std::string a = "a" + std::to_string(i), b = "b" + std::to_string(i),
                  c = "c" + std::to_string(i);
      node(a), node(b), node(c);
      std::string p = "c" + std::to_string(i - 1);
      edge(p, a), edge(p, b), edge(a, c), edge(b, c);
    }
    auto raw = by_id(g, betweenness_centrality_core(g, false));
    const double total = 3.0 * k + 1;
    for (int j : {1, k / 2, k - 1}) {
      // Sources up to c_j's diamond (c0..c_{j-1}, a/b 1..j) times targets after c_j.
      double before = 3.0 * j, after = total - 3.0 * j - 1;
      EXPECT_NEAR(raw["c" + std::to_string(j)], before * after, 1e-9 * before * after)
          << k << " " << j;
      // a_j: sources c0..c_{j-1} and both sides of earlier diamonds; targets c_j onwards.
      double src = 3.0 * (j - 1) + 1, dst = total - 3.0 * j;
      EXPECT_NEAR(raw["a" + std::to_string(j)], 0.5 * src * dst, 1e-9 * src * dst) << k << " " << j;
    }
    for (const auto& [id, x] : raw) ASSERT_TRUE(std::isfinite(x)) << id;
  }
}

TEST(Centrality, ClosenessOnPath) {
  GraphRecord d = path3(true);
  auto c = named(d, closeness_centrality_core(d));
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0], (std::pair<std::string, double>{"b", 1.0}));
  EXPECT_EQ(c[1].first, "a");
  EXPECT_DOUBLE_EQ(c[1].second, 2.0 / 3.0);
  EXPECT_EQ(c[2], (std::pair<std::string, double>{"c", 0.0}));
  // One reached neighbour scores 1 whatever the graph's size.
  GraphRecord g = make_graph(true, {"a", "b", "x", "y", "z"}, {{"a", "b"}});
  EXPECT_EQ(by_id(g, closeness_centrality_core(g))["a"], 1.0);
  GraphRecord u = path3(false);
  auto cu = by_id(u, closeness_centrality_core(u));
  EXPECT_EQ(cu["b"], 1.0);
  EXPECT_DOUBLE_EQ(cu["a"], 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(cu["c"], 2.0 / 3.0);
}

TEST(Centrality, DegreeFamilyWithParallelEdgesAndLoops) {
  GraphRecord g = make_graph(true, {"a", "b"}, {{"a", "b"}, {"a", "b"}}, true);
  EXPECT_EQ(named(g, degree_centrality_core(g, DegreeKind::Total)), (Named{{"a", 2}, {"b", 2}}));
  EXPECT_EQ(named(g, degree_centrality_core(g, DegreeKind::Out)), (Named{{"a", 2}, {"b", 0}}));
  EXPECT_EQ(named(g, degree_centrality_core(g, DegreeKind::In)), (Named{{"b", 2}, {"a", 0}}));
  // A directed self-loop counts twice in the total, once in each list.
  GraphRecord l = make_graph(true, {"a", "b"}, {{"a", "a"}});
  EXPECT_EQ(by_id(l, degree_centrality_core(l, DegreeKind::Total))["a"], 2.0);
  EXPECT_EQ(by_id(l, degree_centrality_core(l, DegreeKind::In))["a"], 1.0);
  // Undirected: a self-loop once, and in/out are the total.
  GraphRecord u = make_graph(false, {"a", "b", "c"}, {{"a", "a"}, {"a", "b"}});
  for (auto kind : {DegreeKind::Total, DegreeKind::In, DegreeKind::Out})
    EXPECT_EQ(named(u, degree_centrality_core(u, kind)), (Named{{"a", 1}, {"b", 0.5}, {"c", 0}}));
}

TEST(Centrality, DegreeUsesLiveCount) {
  GraphRecord g = make_graph(true, {"x", "y", "a", "b", "c"}, {{"a", "b"}, {"a", "c"}});
  ASSERT_TRUE(remove_node_core(g, "x").has_value());
  ASSERT_TRUE(remove_node_core(g, "y").has_value());
  EXPECT_EQ(named(g, degree_centrality_core(g, DegreeKind::Total)),
            (Named{{"a", 1.0}, {"b", 0.5}, {"c", 0.5}}));
}

TEST(Centrality, TiesKeepNodeIndexOrder) {
  GraphRecord g = make_graph(true, {"p", "q", "r", "s"}, {});
  ASSERT_TRUE(remove_node_core(g, "q").has_value());
  ASSERT_TRUE(add_node_core(g, std::string_view("z"), {}).has_value());  // takes q's slot
  Named expect{{"p", 0}, {"z", 0}, {"r", 0}, {"s", 0}};
  EXPECT_EQ(named(g, degree_centrality_core(g, DegreeKind::Total)), expect);
  EXPECT_EQ(named(g, closeness_centrality_core(g)), expect);
  EXPECT_EQ(named(g, betweenness_centrality_core(g, true)), expect);
  auto pr = named(g, *pagerank_core(g, 0.85, 10));
  for (size_t i = 0; i < expect.size(); ++i) EXPECT_EQ(pr[i].first, expect[i].first);
  auto ev = named(g, eigenvector_centrality_core(g, 10, 1e-6));
  for (size_t i = 0; i < expect.size(); ++i) EXPECT_EQ(ev[i].first, expect[i].first);
}

TEST(Centrality, PagerankOneRoundByHand) {
  // a -> b, b dangling: D = 0.5, base = 0.15/2 + 0.85*0.5/2 = 0.2875.
  GraphRecord g = make_graph(true, {"a", "b"}, {{"a", "b"}});
  auto r = by_id(g, *pagerank_core(g, 0.85, 1));
  EXPECT_DOUBLE_EQ(r["a"], 0.2875);
  EXPECT_DOUBLE_EQ(r["b"], 0.7125);
  auto zero = by_id(g, *pagerank_core(g, 0.85, 0));
  EXPECT_EQ(zero["a"], 0.5);
  EXPECT_EQ(zero["b"], 0.5);
}

TEST(Centrality, PagerankUndirectedEdgesPassRankBothWays) {
  GraphRecord ab = make_graph(false, {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}});
  GraphRecord ba = make_graph(false, {"a", "b", "c"}, {{"b", "a"}, {"c", "b"}});
  auto x = by_id(ab, *pagerank_core(ab, 0.85, 50));
  auto y = by_id(ba, *pagerank_core(ba, 0.85, 50));
  for (auto id : {"a", "b", "c"}) EXPECT_DOUBLE_EQ(x[id], y[id]);
  EXPECT_DOUBLE_EQ(x["a"], x["c"]);
  EXPECT_GT(x["b"], x["a"]);
  GraphRecord one = make_graph(false, {"a", "b"}, {{"a", "b"}});
  auto r = by_id(one, *pagerank_core(one, 0.85, 100));
  EXPECT_DOUBLE_EQ(r["a"], 0.5);
  EXPECT_DOUBLE_EQ(r["b"], 0.5);
}

TEST(Centrality, PagerankRefusesDampingOutsideUnitRange) {
  GraphRecord g = path3(true);
  for (double d : {-0.1, 1.5, std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    auto r = pagerank_core(g, d, 100);
    ASSERT_FALSE(r.has_value()) << d;
    EXPECT_EQ(r.error(), "damping_factor must be between 0 and 1");
  }
  for (double d : {0.0, 1.0}) {
    auto r = pagerank_core(g, d, 100);
    ASSERT_TRUE(r.has_value());
    double sum = 0;
    for (auto [v, x] : *r) sum += x;
    EXPECT_NEAR(sum, 1.0, 1e-12);
  }
  // d = 0: every node 1/N.
  Scores flat = *pagerank_core(g, 0.0, 7);
  for (auto [v, x] : flat) EXPECT_DOUBLE_EQ(x, 1.0 / 3.0);
}

TEST(Centrality, PagerankSumsToOneOnRandomGraphs) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    GraphRecord g = random_graph(seed, seed % 2 == 0, 80, 240);
    auto r = *pagerank_core(g, 0.85, 60);
    EXPECT_EQ(r.size(), g.node_count());
    double sum = 0;
    for (auto [v, x] : r) {
      EXPECT_GT(x, 0.0);
      sum += x;
    }
    EXPECT_NEAR(sum, 1.0, 1e-9);
  }
}

TEST(Centrality, EigenvectorStartAndTolerance) {
  GraphRecord g = path3(false);
  for (auto [v, x] : eigenvector_centrality_core(g, 0, 1e-6))
    EXPECT_DOUBLE_EQ(x, 1.0 / std::sqrt(3.0));
  // Path a-b-c (bipartite): the iteration alternates; the result after k
  // rounds is the k-th vector, with no error.
  auto after = [&](uint64_t k, double tol) {
    return by_id(g, eigenvector_centrality_core(g, k, tol));
  };
  auto r1 = after(1, 1e-6);
  double s = 1.0 / std::sqrt(3.0), n1 = std::sqrt(s * s + 4 * s * s + s * s);
  EXPECT_DOUBLE_EQ(r1["b"], 2 * s / n1);
  EXPECT_DOUBLE_EQ(r1["a"], s / n1);
  EXPECT_NE(after(100, 1e-6)["b"], after(101, 1e-6)["b"]);
  // A negative or NaN tolerance never stops early.
  EXPECT_EQ(after(37, -1.0), after(37, 0.0));
  EXPECT_EQ(after(37, std::nan("")), after(37, 0.0));
}

TEST(Centrality, EigenvectorDirectedReadsIncomingEdges) {
  // A directed triangle plus a tail x -> a: x gets nothing in and ends at 0.
  GraphRecord g = make_graph(true, {"a", "b", "c", "x"},
                             {{"a", "b"}, {"b", "c"}, {"c", "a"}, {"x", "a"}});
  auto r = by_id(g, eigenvector_centrality_core(g, 1000, 1e-12));
  EXPECT_EQ(r["x"], 0.0);
  for (auto [id, x] : r) EXPECT_TRUE(std::isfinite(x));
}

// Brute force: all-pairs path counts (each edge a path of its own), then
// the pair dependencies summed over every (s, t).
std::map<std::string, double> brute_betweenness(const GraphRecord& g) {
  const GraphStorage& st = g.storage();
  std::vector<NodeIndex> live;
  for (size_t n = 0; n < st.node_bound(); ++n)
    if (st.live(n)) live.push_back(static_cast<NodeIndex>(n));
  size_t b = st.node_bound();
  std::vector<std::vector<long>> dist(b, std::vector<long>(b, -1));
  std::vector<std::vector<double>> sigma(b, std::vector<double>(b, 0));
  for (NodeIndex s : live) {
    std::vector<NodeIndex> q{s};
    dist[s][s] = 0;
    sigma[s][s] = 1;
    for (size_t h = 0; h < q.size(); ++h) {
      NodeIndex v = q[h];
      for_each_successor(st, g.directed(), v, [&](NodeIndex w, EdgeIndex) {
        if (dist[s][w] < 0) dist[s][w] = dist[s][v] + 1, q.push_back(w);
        if (dist[s][w] == dist[s][v] + 1) sigma[s][w] += sigma[s][v];
      });
    }
  }
  std::map<std::string, double> out;
  for (NodeIndex v : live) {
    double c = 0;
    for (NodeIndex s : live)
      for (NodeIndex t : live) {
        if (s == t || s == v || t == v || dist[s][t] < 0 || dist[s][v] < 0 || dist[v][t] < 0)
          continue;
        if (dist[s][v] + dist[v][t] == dist[s][t]) c += sigma[s][v] * sigma[v][t] / sigma[s][t];
      }
    out[std::string(st.id(v))] = g.directed() ? c : c / 2;
  }
  return out;
}

std::map<std::string, double> brute_closeness(const GraphRecord& g) {
  const GraphStorage& st = g.storage();
  std::map<std::string, double> out;
  for (size_t s = 0; s < st.node_bound(); ++s) {
    if (!st.live(s)) continue;
    std::map<NodeIndex, long> dist{{static_cast<NodeIndex>(s), 0}};
    std::vector<NodeIndex> q{static_cast<NodeIndex>(s)};
    for (size_t h = 0; h < q.size(); ++h)
      for_each_successor(st, g.directed(), q[h], [&](NodeIndex w, EdgeIndex) {
        if (dist.emplace(w, dist[q[h]] + 1).second) q.push_back(w);
      });
    double total = 0;
    for (auto [w, d] : dist) total += d;
    out[std::string(st.id(static_cast<NodeIndex>(s)))] = total > 0 ? (dist.size() - 1) / total
                                                                   : 0.0;
  }
  return out;
}

class RandomGraphs : public ::testing::TestWithParam<std::tuple<uint32_t, bool>> {};

TEST_P(RandomGraphs, BetweennessAndClosenessMatchBruteForce) {
  auto [seed, directed] = GetParam();
  GraphRecord g = random_graph(seed, directed, 40, 90);
  auto fast = by_id(g, betweenness_centrality_core(g, false));
  auto slow = brute_betweenness(g);
  ASSERT_EQ(fast.size(), slow.size());
  for (auto& [id, x] : slow) EXPECT_NEAR(fast[id], x, 1e-9 * (1 + x)) << id;
  auto normed = by_id(g, betweenness_centrality_core(g, true));
  double n = static_cast<double>(g.node_count());
  double denom = directed ? (n - 1) * (n - 2) : (n - 1) * (n - 2) / 2;
  for (auto& [id, x] : slow) EXPECT_NEAR(normed[id], x / denom, 1e-12) << id;
  auto close = by_id(g, closeness_centrality_core(g));
  for (auto& [id, x] : brute_closeness(g)) EXPECT_NEAR(close[id], x, 1e-12) << id;
}

// Closeness searches 64 sources at a time: several batches, the last short.
TEST_P(RandomGraphs, ClosenessOverSeveralBatches) {
  auto [seed, directed] = GetParam();
  GraphRecord g = random_graph(seed, directed, 150, 260);
  auto close = by_id(g, closeness_centrality_core(g));
  ASSERT_EQ(close.size(), g.node_count());
  for (auto& [id, x] : brute_closeness(g)) EXPECT_EQ(close[id], x) << id;
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomGraphs,
                         ::testing::Combine(::testing::Values(3u, 5u, 8u, 13u), ::testing::Bool()));

}  // namespace
}  // namespace qg
