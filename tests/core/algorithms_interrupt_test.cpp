// Every loop whose cost can outgrow its input polls for interruption: with a
// hook that always says stop, each call below throws qg::Interrupted. (The
// other tests run the same calls without a hook, to their end.)
#include <functional>
#include <limits>

#include "algorithms_fixture.h"
#include "core/algorithms/centrality.h"
#include "core/algorithms/community.h"
#include "core/algorithms/dag.h"
#include "core/algorithms/paths.h"
#include "core/algorithms/structure.h"
#include "core/common/interrupt.h"
#include "core/graph/graph_json.h"

namespace {

using namespace qg;
using qg::testing::random_graph;

// k parts of 3 nodes, every pair of parts joined: 3^k maximal cliques.
GraphRecord multipartite(int k) {
  GraphRecord g(false, "m", false);
  for (int i = 0; i < 3 * k; ++i) (void)add_node_core(g, std::to_string(i), {});
  for (int a = 0; a < 3 * k; ++a)
    for (int b = a + 1; b < 3 * k; ++b)
      if (a / 3 != b / 3) (void)add_edge_core(g, std::to_string(a), std::to_string(b), {});
  return g;
}

TEST(Interrupt, EveryLongLoopPolls) {
  const GraphRecord d = random_graph(3, true, 20000, 80000, true, true);
  const GraphRecord u = random_graph(4, false, 5000, 20000, true, true);
  const GraphRecord cliques = multipartite(7);
  const std::string json = graph_to_json(d).value();
  const uint64_t kMany = std::numeric_limits<uint64_t>::max();
  // Sources with edges; "x0" is isolated, so searches for it visit all they reach.
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
      {"astar", [&] { (void)astar_between(d, s, find_node(d, "x0"), "w"); }},
      {"bellman-ford", [&] { (void)bellman_ford_core(d, source, "w"); }},
      {"all simple paths", [&] { (void)all_simple_paths_between(u, a, b, 8, 1000000); }},
      {"transitive closure", [&] { (void)transitive_closure_core(d); }},
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
