#include "core/algorithms/toposort.h"

#include <gtest/gtest.h>

#include "core/graph/graph_record.h"

namespace qg {
namespace {

GraphRecord make(bool directed, bool multi, std::initializer_list<const char*> nodes) {
  GraphRecord g(directed, "", multi);
  for (const char* n : nodes) EXPECT_TRUE(add_node_core(g, n, {}));
  return g;
}

std::vector<std::string> topo_ids(const GraphRecord& g, std::string* cycle) {
  auto r = toposort(g.storage());
  std::vector<std::string> out;
  if (!r.ok()) {
    *cycle = std::string(g.storage().id(r.cycle_node));
    return out;
  }
  for (NodeIndex n : r.order) out.emplace_back(g.storage().id(n));
  return out;
}

struct TopoCase {
  std::vector<std::pair<const char*, const char*>> edges;
  std::vector<std::string> order;
  std::string cycle;
};

class Toposort : public ::testing::TestWithParam<TopoCase> {};

TEST_P(Toposort, OrderAndCycleNode) {
  GraphRecord g = make(true, false, {"a", "b", "c", "d"});
  for (auto [s, t] : GetParam().edges) ASSERT_TRUE(add_edge_core(g, s, t, {}));
  std::string cycle;
  auto order = topo_ids(g, &cycle);
  EXPECT_EQ(order, GetParam().order);
  EXPECT_EQ(cycle, GetParam().cycle);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Toposort,
    ::testing::Values(
        TopoCase{{}, {"d", "c", "b", "a"}, ""},
        TopoCase{{{"a", "b"}, {"b", "c"}}, {"d", "a", "b", "c"}, ""},
        TopoCase{{{"a", "b"}, {"a", "c"}, {"b", "d"}, {"c", "d"}}, {"a", "c", "b", "d"}, ""},
        TopoCase{{{"a", "b"}, {"b", "a"}}, {}, "b"},
        TopoCase{{{"a", "b"}, {"b", "c"}, {"c", "a"}}, {}, "c"},
        TopoCase{{{"a", "b"}, {"c", "c"}}, {}, "c"}));

TEST(Toposort, LongChainDoesNotRecurse) {
  GraphRecord g(true, "", false);
  const int n = 200000;
  for (int i = 0; i < n; ++i) ASSERT_TRUE(add_node_core(g, std::to_string(i), {}));
  for (int i = 0; i + 1 < n; ++i)
    ASSERT_TRUE(add_edge_by_index(g, static_cast<NodeIndex>(i), static_cast<NodeIndex>(i + 1), {}));
  auto r = toposort(g.storage());
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.order.front(), 0u);
  EXPECT_EQ(r.order.back(), static_cast<NodeIndex>(n - 1));
}

}  // namespace
}  // namespace qg
