#include "core/algorithms/dag.h"
#include "core/graph/graph_record.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "core/algorithms/adjacency.h"
#include "core/algorithms/components.h"
#include "core/common/flat_table.h"
#include "core/common/interrupt.h"
#include "core/graph/id_limit.h"

namespace qg {

Result<std::vector<NodeIndex>> topological_sort_core(const Graph& g) {
  if (!g.directed())
    return Err(ErrorKind::Refused, "Topological sort is only defined for directed graphs");
  ToposortResult r = toposort(g.storage());
  if (!r.ok()) {
    std::string msg = "Graph has a cycle involving node '";
    msg += g.storage().id(r.cycle_node);
    msg += "'";
    return Err(ErrorKind::Refused, std::move(msg));
  }
  return std::move(r.order);
}

Result<LongestPath> longest_path_core(const Graph& g) {
  auto order = topological_sort_core(g);
  if (!order) return Err(std::move(order.error()));
  LongestPath result;
  if (order->empty()) return result;
  const GraphStorage& st = g.storage();
  std::vector<uint64_t> dist(st.node_bound(), 0);
  std::vector<NodeIndex> pred(st.node_bound(), END);
  for (NodeIndex u : *order) {
    for_each_out(st, u, [&](NodeIndex v, EdgeIndex) {
      if (dist[u] + 1 > dist[v]) {
        dist[v] = dist[u] + 1;
        pred[v] = u;
      }
    });
  }
  NodeIndex end = END;
  for (NodeIndex n = 0; n < st.node_bound(); ++n) {
    if (!st.live(n)) continue;
    if (end == END || dist[n] >= dist[end]) end = n;
  }
  for (NodeIndex n = end; n != END; n = pred[n]) result.path.push_back(n);
  std::reverse(result.path.begin(), result.path.end());
  result.length = dist[end];
  return result;
}

GraphRecord transitive_closure_core(const Graph& g) {
  const GraphStorage& st = g.storage();
  GraphRecord out(g.directed(), g.name(), false);
  // Node slots of the copy; the copy has no vacant slots, so its indices
  // differ from the input's where the input has some.
  std::vector<NodeIndex> map(st.node_bound(), END);
  for (NodeIndex n = 0; n < st.node_bound(); ++n) {
    if (!st.live(n)) continue;
    if (auto added = add_node_core(out, st.id_text(n), st.node_properties(n))) map[n] = *added;
  }
  for (const EdgeView e : st.live_edges()) {
    (void)add_edge_by_index(out, map[e.source], map[e.target], e.properties);
  }
  std::vector<NodeIndex> found, stack;
  Poller poll;
  for (NodeIndex u = 0; u < st.node_bound(); ++u) {
    if (!st.live(u)) continue;
    NodeBits reached(st.node_bound());
    found.clear();
    stack.assign(1, u);
    while (!stack.empty()) {
      NodeIndex n = stack.back();
      stack.pop_back();
      poll(1 + degree_of(g, n));
      for_each_successor(st, g.directed(), n, [&](NodeIndex m, EdgeIndex) {
        if (reached.insert(m)) {
          found.push_back(m);
          stack.push_back(m);
        }
      });
    }
    for (NodeIndex v : found) {
      if (v == u) continue;
      poll(1 + degree_of(out, map[u]));
      if (!has_edge_between(out, map[u], map[v])) (void)add_edge_by_index(out, map[u], map[v], {});
    }
  }
  return out;
}

namespace {

// The members' ids sorted and joined with ","; refused, before it is built,
// when it would be longer than kMaxIdBytes.
Result<std::string> joined_id(const GraphStorage& st, std::span<const NodeIndex> members) {
  std::vector<std::string_view> ids;
  ids.reserve(members.size());
  size_t total = 0;
  for (NodeIndex n : members) {
    ids.push_back(st.id(n));
    total += ids.back().size() + 1;
  }
  if (total > kMaxIdBytes + 1) return Err(ErrorKind::Refused, msg::id_too_long(total - 1));
  std::sort(ids.begin(), ids.end());
  std::string out;
  out.reserve(total);
  for (size_t i = 0; i < ids.size(); ++i) {
    if (i) out += ',';
    out += ids[i];
  }
  return out;
}

}  // namespace

Result<GraphRecord> condensation_core(const Graph& g) {
  const GraphStorage& st = g.storage();
  GraphRecord out(true, "", false);
  Poller poll;  // once per member of a component and per edge
  if (!g.directed()) {
    NodeGroups comps = weakly_connected_components_core(g);
    for (size_t k = 0; k < comps.size(); ++k) {
      poll(comps[k].size());
      auto id = joined_id(st, comps[k]);
      if (!id) return Err(std::move(id.error()));
      (void)add_node_core(out, *id, {});
    }
    return out;
  }
  NodeGroups comps = tarjan_scc(st);
  // Each component's node in the new record (an id met before maps to the
  // node already present).
  std::vector<NodeIndex> comp_node(comps.size(), END);
  std::vector<uint32_t> comp_of(st.node_bound(), END);
  for (size_t k = 0; k < comps.size(); ++k) {
    poll(comps[k].size());
    auto joined = joined_id(st, comps[k]);
    if (!joined) return Err(std::move(joined.error()));
    const std::string& id = *joined;
    if (add_node_core(out, std::string_view(id), {})) {
      comp_node[k] = static_cast<NodeIndex>(out.storage().node_bound() - 1);
    } else {
      comp_node[k] = find_node(out, id);
    }
    for (NodeIndex n : comps[k]) comp_of[n] = static_cast<uint32_t>(k);
  }
  FlatSet<uint64_t> seen_pairs;
  for (const EdgeView e : st.live_edges()) {
    poll();
    uint32_t a = comp_of[e.source], b = comp_of[e.target];
    if (a == b) continue;
    if (!seen_pairs.insert((uint64_t{a} << 32) | b).second) continue;
    (void)add_edge_by_index(out, comp_node[a], comp_node[b], {});
  }
  return out;
}

}  // namespace qg
