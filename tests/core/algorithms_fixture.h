// Builders shared by the algorithm tests (algorithms_*_test.cpp): graphs from
// id lists with optional "w" weights, seeded random multigraphs with vacant
// and reused slots, id and index lookups, and freeing one given edge slot
// through the record's own interface. Builder failures fail the test.
#pragma once

#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/algorithms/adjacency.h"
#include "core/graph/graph_record.h"

namespace qg::testing {

struct E {
  std::string s, t;
  std::optional<double> w = std::nullopt;  // stored as property "w"
};

inline GraphRecord make_graph(bool directed, const std::vector<std::string>& nodes,
                              const std::vector<E>& edges, bool multi = false) {
  GraphRecord g(directed, "g", multi);
  for (const auto& n : nodes) EXPECT_TRUE(add_node_core(g, std::string_view(n), {}).has_value());
  for (const auto& e : edges) {
    PropertyMap props;
    if (e.w) {
      double w = *e.w;
      if (w == static_cast<double>(static_cast<int64_t>(w)))
        props.set("w", PropertyValue::integer(static_cast<int64_t>(w)));
      else props.set("w", PropertyValue::number(w));
    }
    EXPECT_TRUE(add_edge_core(g, e.s, e.t, std::move(props)).has_value()) << e.s << "->" << e.t;
  }
  return g;
}

inline std::vector<std::string> ids(const GraphRecord& g, std::span<const NodeIndex> nodes) {
  return ids_of(g.storage(), nodes);
}

inline std::vector<std::vector<std::string>> ids(const GraphRecord& g, const NodeGroups& groups) {
  std::vector<std::vector<std::string>> out;
  for (size_t k = 0; k < groups.size(); ++k) out.push_back(ids_of(g.storage(), groups[k]));
  return out;
}

inline NodeIndex idx(const GraphRecord& g, std::string_view id) {
  auto n = node_index_or_err(g, id);
  EXPECT_TRUE(n.has_value()) << id;
  return n.value_or(END);
}

// Frees edge slot e through the record's own interface: remove_edge_core
// drops the newest edge between e's ends, which must be e itself.
inline void remove_edge_slot(GraphRecord& g, EdgeIndex e) {
  const GraphStorage& st = g.storage();
  ASSERT_TRUE(st.edge_live(e)) << e;
  ASSERT_EQ(st.newest_edge(st.source(e), st.target(e)), e);
  const std::string s(st.id(st.source(e))), t(st.id(st.target(e)));
  ASSERT_TRUE(remove_edge_core(g, s, t));
  ASSERT_FALSE(st.edge_live(e)) << e;
}

// A seeded random graph with vacant slots: nodes n0..n{N-1}, M random edges
// (self-loops and parallel edges allowed when multi), then some nodes and
// edges removed and a few nodes re-added into freed slots.
inline GraphRecord random_graph(uint32_t seed, bool directed, int n, int m, bool multi = true,
                                bool weights = false, double wmin = 0.0, double wmax = 10.0) {
  std::mt19937 rng(seed);
  GraphRecord g(directed, "r", multi);
  for (int i = 0; i < n; ++i) (void)add_node_core(g, "n" + std::to_string(i), {});
  std::uniform_int_distribution<int> pick(0, n - 1);
  std::uniform_real_distribution<double> wd(wmin, wmax);
  for (int i = 0; i < m; ++i) {
    PropertyMap props;
    if (weights) props.set("w", PropertyValue::number(std::round(wd(rng) * 4) / 4));
    (void)add_edge_core(g, "n" + std::to_string(pick(rng)), "n" + std::to_string(pick(rng)),
                        std::move(props));
  }
  for (int i = 0; i < n / 10; ++i) (void)remove_node_core(g, "n" + std::to_string(pick(rng)));
  for (int i = 0; i < m / 10; ++i)
    (void)remove_edge_core(g, "n" + std::to_string(pick(rng)), "n" + std::to_string(pick(rng)));
  for (int i = 0; i < n / 20; ++i) (void)add_node_core(g, "x" + std::to_string(i), {});
  return g;
}

}  // namespace qg::testing
