#include "core/graph/derived.h"
#include "core/graph/graph_record.h"

#include <deque>
#include <utility>
#include <vector>

#include "core/common/flat_table.h"
#include "core/common/messages.h"

namespace qg {

namespace {

// Copies every live node of `src` into `dst` in node order; returns the map
// from source node index to new node index (END for vacant slots).
std::vector<NodeIndex> copy_all_nodes(const Graph& src, GraphRecord& dst) {
  const GraphStorage& st = src.storage();
  std::vector<NodeIndex> map(st.node_bound(), END);
  dst.reserve(st.node_count(), st.edge_count());
  for (NodeIndex n = 0; n < st.node_bound(); ++n) {
    if (!st.live(n)) continue;
    // Ids are unique in the source, so this cannot fail.
    map[n] = *add_node_core(dst, st.id_text(n), st.node_properties(n));
  }
  return map;
}

uint64_t pair_key(NodeIndex a, NodeIndex b, bool ordered) {
  if (!ordered && a > b) std::swap(a, b);
  return (uint64_t{a} << 32) | b;
}

template <class Id>
Result<GraphRecord> induced_subgraph_impl(const Graph& src, std::span<const Id> ids) {
  GraphRecord out(src.directed(), src.name(), src.multi());
  const GraphStorage& st = src.storage();
  std::vector<NodeIndex> map(st.node_bound(), END);
  out.reserve(ids.size(), 0);
  for (const Id& id_ref : ids) {
    std::string_view id = id_ref;
    NodeIndex n = find_node(src, id);
    if (n == END) return Err(ErrorKind::NotFound, msg::node_not_found(id));
    if (map[n] != END) return Err(ErrorKind::Refused, msg::node_exists(id));
    map[n] = *add_node_core(out, st.id_text(n), st.node_properties(n));
  }
  // Every edge among kept nodes, directed or not: a subset of a graph that
  // obeys its own multi flag obeys it too. The copied maps share their names
  // with the source, so they stay stored once.
  for (const EdgeView e : st.live_edges()) {
    NodeIndex s = map[e.source], t = map[e.target];
    if (s == END || t == END) continue;
    out.add_edge_unchecked(s, t, e.properties);
  }
  return out;
}

}  // namespace

Result<GraphRecord> induced_subgraph(const Graph& graph, std::span<const std::string_view> ids) {
  return induced_subgraph_impl(graph, ids);
}

Result<GraphRecord> induced_subgraph(const Graph& graph, std::span<const std::string> ids) {
  return induced_subgraph_impl(graph, ids);
}

Result<GraphRecord> ego_graph_core(const Graph& g, std::string_view center, uint64_t radius) {
  auto c = node_index_or_err(g, center);
  if (!c) return Err(std::move(c.error()));
  const GraphStorage& st = g.storage();
  std::vector<uint8_t> visited(st.node_bound(), 0);
  // The queue doubles as the visit order: order[head..] are still to expand.
  std::vector<std::pair<NodeIndex, uint64_t>> order;
  order.emplace_back(*c, 0);
  visited[*c] = 1;
  for (size_t head = 0; head < order.size(); ++head) {
    auto [n, depth] = order[head];
    if (depth >= radius) continue;
    for (const AdjEntry& e : st.newest_out(n)) {
      NodeIndex m = e.other;
      if (!visited[m]) {
        visited[m] = 1;
        order.emplace_back(m, depth + 1);
      }
    }
    for (const AdjEntry& e : st.newest_in(n)) {
      NodeIndex m = e.other;
      if (!visited[m]) {
        visited[m] = 1;
        order.emplace_back(m, depth + 1);
      }
    }
  }
  std::vector<std::string_view> ids;
  ids.reserve(order.size());
  for (auto [n, depth] : order) ids.push_back(st.id(n));
  return induced_subgraph(g, std::span<const std::string_view>(ids));
}

GraphRecord reverse_graph(const Graph& g) {
  GraphRecord out(g.directed(), g.name(), g.multi());
  std::vector<NodeIndex> map = copy_all_nodes(g, out);
  for (const EdgeView e : g.storage().live_edges()) {
    NodeIndex s = map[e.source], t = map[e.target];
    // Direction means nothing in an undirected graph: copy it as it is.
    if (g.directed()) std::swap(s, t);
    out.add_edge_unchecked(s, t, e.properties);
  }
  return out;
}

GraphRecord to_undirected_graph(const Graph& g) {
  GraphRecord out(false, g.name(), g.multi());
  std::vector<NodeIndex> map = copy_all_nodes(g, out);
  FlatSet<uint64_t> taken;
  taken.reserve(g.edge_count());
  for (const EdgeView e : g.storage().live_edges()) {
    NodeIndex s = map[e.source], t = map[e.target];
    if (!taken.insert(pair_key(s, t, false)).second) continue;
    out.add_edge_unchecked(s, t, e.properties);
  }
  return out;
}

}  // namespace qg
