#include "core/graph/derived.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/graph/filters.h"
#include "core/graph/graph_record.h"

namespace qg {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs edge_pairs(const GraphRecord& g) {
  Pairs out;
  for (const auto& e : edge_list_refs(g)) out.emplace_back(e.source, e.target);
  return out;
}

std::vector<std::string> ids(const GraphRecord& g) {
  std::vector<std::string> out;
  for (auto id : node_id_list(g)) out.emplace_back(id);
  return out;
}

PropertyMap weight(int64_t w) {
  PropertyMap p;
  p.set("w", PropertyValue::integer(w));
  return p;
}

GraphRecord make(bool directed, bool multi, std::initializer_list<const char*> nodes,
                 std::initializer_list<std::pair<const char*, const char*>> edges) {
  GraphRecord g(directed, "g", multi);
  for (const char* n : nodes) EXPECT_TRUE(add_node_core(g, n, {}));
  int64_t w = 0;
  for (auto [s, t] : edges) EXPECT_TRUE(add_edge_core(g, s, t, weight(++w)));
  return g;
}

Result<GraphRecord> sub(const GraphRecord& g, std::vector<std::string_view> list) {
  return induced_subgraph(g, std::span<const std::string_view>(list));
}

TEST(InducedSubgraph, KeepsListOrderAndEdgeOrder) {
  GraphRecord g = make(true, true, {"a", "b", "c"},
                       {{"a", "b"}, {"b", "a"}, {"a", "b"}, {"b", "c"}, {"a", "a"}});
  auto s = sub(g, {"b", "a"});
  ASSERT_TRUE(s);
  EXPECT_EQ(ids(*s), (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(edge_pairs(*s), (Pairs{{"a", "b"}, {"b", "a"}, {"a", "b"}, {"a", "a"}}));
  EXPECT_EQ(s->name(), "g");
  EXPECT_TRUE(s->multi());
}

TEST(InducedSubgraph, UndirectedMultigraphKeepsEveryParallelEdge) {
  GraphRecord g = make(false, true, {"a", "b"}, {{"a", "b"}, {"b", "a"}, {"a", "b"}});
  auto s = sub(g, {"a", "b"});
  ASSERT_TRUE(s);
  EXPECT_EQ(edge_pairs(*s), (Pairs{{"a", "b"}, {"b", "a"}, {"a", "b"}}));
  EXPECT_EQ(*s->storage().edge_properties(1).find("w"), PropertyValue::integer(2));
}

TEST(InducedSubgraph, FirstBadIdDecides) {
  GraphRecord g = make(true, false, {"a", "b"}, {});
  EXPECT_EQ(sub(g, {"a", "z", "a"}).error(), "Node 'z' not found");
  EXPECT_EQ(sub(g, {"a", "a", "z"}).error(), "Node 'a' already exists");
  auto empty = sub(g, {});
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->node_count(), 0u);
}

TEST(EgoGraph, WalksEdgesBothWaysUpToTheRadius) {
  GraphRecord g = make(true, true, {"a", "b", "c", "x"},
                       {{"a", "b"}, {"b", "c"}, {"c", "c"}, {"x", "a"}, {"x", "a"}});
  auto e0 = ego_graph_core(g, "c", 0);
  ASSERT_TRUE(e0);
  EXPECT_EQ(ids(*e0), (std::vector<std::string>{"c"}));
  EXPECT_EQ(edge_pairs(*e0), (Pairs{{"c", "c"}}));
  auto e1 = ego_graph_core(g, "a", 1);
  ASSERT_TRUE(e1);
  EXPECT_EQ(e1->node_count(), 3u);  // a, b, x
  EXPECT_EQ(edge_pairs(*e1), (Pairs{{"a", "b"}, {"x", "a"}, {"x", "a"}}));
  auto e2 = ego_graph_core(g, "c", 2);
  ASSERT_TRUE(e2);
  EXPECT_EQ(e2->node_count(), 3u);  // c, b, a
  EXPECT_EQ(ego_graph_core(g, "q", 1).error(), "Node 'q' not found");
}

TEST(ReverseGraph, DirectedTurnsEveryEdge) {
  GraphRecord g = make(true, true, {"a", "b"}, {{"a", "b"}, {"a", "b"}, {"b", "b"}});
  GraphRecord r = reverse_graph(g);
  EXPECT_TRUE(r.directed());
  EXPECT_EQ(edge_pairs(r), (Pairs{{"b", "a"}, {"b", "a"}, {"b", "b"}}));
  EXPECT_EQ(edge_pairs(reverse_graph(r)), edge_pairs(g));
}

TEST(ReverseGraph, UndirectedIsAFullCopy) {
  GraphRecord g = make(false, true, {"a", "b"}, {{"a", "b"}, {"b", "a"}});
  GraphRecord r = reverse_graph(g);
  EXPECT_FALSE(r.directed());
  EXPECT_TRUE(r.multi());
  EXPECT_EQ(edge_pairs(r), (Pairs{{"a", "b"}, {"b", "a"}}));
}

TEST(ToUndirected, FirstEdgeOfEachPairWins) {
  GraphRecord g = make(true, true, {"a", "b", "c"},
                       {{"b", "a"}, {"a", "b"}, {"a", "b"}, {"c", "c"}, {"c", "c"}});
  ASSERT_TRUE(remove_node_core(g, "c"));
  ASSERT_TRUE(add_node_core(g, "d", {}));
  ASSERT_TRUE(add_edge_core(g, "d", "d", {}));
  ASSERT_TRUE(add_edge_core(g, "d", "d", {}));
  GraphRecord u = to_undirected_graph(g);
  EXPECT_FALSE(u.directed());
  EXPECT_TRUE(u.multi());
  EXPECT_EQ(ids(u), (std::vector<std::string>{"a", "b", "d"}));
  EXPECT_EQ(edge_pairs(u), (Pairs{{"b", "a"}, {"d", "d"}}));
  EXPECT_EQ(*u.storage().edge_properties(0).find("w"), PropertyValue::integer(1));
}

TEST(Filters, KindExactMatchesInIndexOrder) {
  GraphRecord g(true, "", true);
  PropertyMap one = weight(1), real;
  real.set("w", PropertyValue::number(1.0));
  ASSERT_TRUE(add_node_core(g, "a", one));
  ASSERT_TRUE(add_node_core(g, "b", real));
  ASSERT_TRUE(add_node_core(g, "c", {}));
  ASSERT_TRUE(add_node_core(g, "d", one));
  EXPECT_EQ(nodes_filtered_core(g, "w", PropertyValue::integer(1)), (std::vector<NodeIndex>{0, 3}));
  EXPECT_EQ(nodes_filtered_core(g, "w", PropertyValue::number(1.0)), (std::vector<NodeIndex>{1}));
  EXPECT_TRUE(nodes_filtered_core(g, "w", PropertyValue::null()).empty());
  ASSERT_TRUE(add_edge_core(g, "a", "b", one));
  ASSERT_TRUE(add_edge_core(g, "a", "b", real));
  EXPECT_EQ(edges_filtered_core(g, "w", PropertyValue::number(1.0)), (std::vector<EdgeIndex>{1}));
}

}  // namespace
}  // namespace qg
