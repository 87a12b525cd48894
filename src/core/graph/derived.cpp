#include "core/graph/derived.h"

#include <deque>
#include <utility>
#include <vector>

#include "absl/container/flat_hash_set.h"

namespace qg {

namespace {

// Copies every live node of `src` into `dst` in node order; returns the map
// from source node index to new node index (END for vacant slots).
std::vector<NodeIndex> copy_all_nodes(const GraphRecord& src, GraphRecord& dst) {
  std::vector<NodeIndex> map(src.inner.nodes.size(), END);
  dst.inner.nodes.reserve(src.inner.node_count);
  dst.node_index.reserve(src.inner.node_count);
  NodeIndex next = 0;
  for (size_t i = 0; i < src.inner.nodes.size(); ++i) {
    const NodeSlot& slot = src.inner.nodes[i];
    if (!slot.live()) continue;
    // Ids are unique in the source, so this cannot fail.
    (void)add_node_core(dst, slot.data.id, slot.data.properties);
    map[i] = next++;
  }
  return map;
}

// Adds an edge that the caller knows to be admissible in `dst` (the pair is
// new, or the graph is multi): the storage insertion of add_edge_core
// without its duplicate test. The copied map shares its names with the
// source, so they stay stored once.
void append_edge(GraphRecord& dst, NodeIndex s, NodeIndex t, const PropertyMap& properties) {
  dst.inner.add_edge(s, t, EdgeData{properties});
}

uint64_t pair_key(NodeIndex a, NodeIndex b, bool ordered) {
  if (!ordered && a > b) std::swap(a, b);
  return (uint64_t{a} << 32) | b;
}

template <class Id>
Result<GraphRecord> induced_subgraph_impl(const GraphRecord& src, std::span<const Id> ids) {
  GraphRecord out(src.directed, src.name, src.multi);
  std::vector<NodeIndex> map(src.inner.nodes.size(), END);
  out.inner.nodes.reserve(ids.size());
  out.node_index.reserve(ids.size());
  NodeIndex next = 0;
  for (const Id& id_ref : ids) {
    std::string_view id = id_ref;
    NodeIndex n = find_node(src, id);
    if (n == END) return Err("Node '" + std::string(id) + "' not found");
    if (map[n] != END) return Err("Node '" + std::string(id) + "' already exists");
    const NodeData& data = src.inner.nodes[n].data;
    (void)add_node_core(out, data.id, data.properties);
    map[n] = next++;
  }
  // Every edge among kept nodes, directed or not: a subset of a graph that
  // obeys its own multi flag obeys it too.
  const GraphStorage& st = src.inner;
  for (const EdgeSlot& e : st.edges) {
    if (!e.live()) continue;
    NodeIndex s = map[e.node[0]], t = map[e.node[1]];
    if (s == END || t == END) continue;
    append_edge(out, s, t, e.data.properties);
  }
  return out;
}

}  // namespace

Result<GraphRecord> induced_subgraph(const GraphRecord& graph, std::span<const std::string_view> ids) {
  return induced_subgraph_impl(graph, ids);
}

Result<GraphRecord> induced_subgraph(const GraphRecord& graph, std::span<const std::string> ids) {
  return induced_subgraph_impl(graph, ids);
}

Result<GraphRecord> ego_graph_core(const GraphRecord& g, std::string_view center, uint64_t radius) {
  auto c = node_index_or_err(g, center);
  if (!c) return Err(std::move(c.error()));
  const GraphStorage& st = g.inner;
  std::vector<uint8_t> visited(st.nodes.size(), 0);
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

GraphRecord reverse_graph(const GraphRecord& g) {
  GraphRecord out(g.directed, g.name, g.multi);
  std::vector<NodeIndex> map = copy_all_nodes(g, out);
  out.inner.edges.reserve(g.inner.edge_count);
  for (const EdgeSlot& e : g.inner.edges) {
    if (!e.live()) continue;
    NodeIndex s = map[e.node[0]], t = map[e.node[1]];
    // Direction means nothing in an undirected graph: copy it as it is.
    if (g.directed) std::swap(s, t);
    append_edge(out, s, t, e.data.properties);
  }
  return out;
}

GraphRecord to_undirected_graph(const GraphRecord& g) {
  GraphRecord out(false, g.name, g.multi);
  std::vector<NodeIndex> map = copy_all_nodes(g, out);
  out.inner.edges.reserve(g.inner.edge_count);
  absl::flat_hash_set<uint64_t> taken;
  taken.reserve(g.inner.edge_count);
  for (const EdgeSlot& e : g.inner.edges) {
    if (!e.live()) continue;
    NodeIndex s = map[e.node[0]], t = map[e.node[1]];
    if (!taken.insert(pair_key(s, t, false)).second) continue;
    append_edge(out, s, t, e.data.properties);
  }
  return out;
}

}  // namespace qg
