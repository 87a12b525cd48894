#include "core/algorithms/paths.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <queue>
#include <utility>

#include "core/common/interrupt.h"

namespace qg {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

using HeapEntry = std::pair<double, NodeIndex>;
using MinHeap = std::priority_queue<HeapEntry, std::vector<HeapEntry>, std::greater<HeapEntry>>;

// Unit weights: Dijkstra with first-in, first-out ties is a breadth-first
// walk (labels are final when first set), stopped when the target leaves
// the queue.
std::vector<NodeCost> unit_dijkstra(const Graph& g, NodeIndex source, NodeIndex target) {
  const GraphStorage& st = g.storage();
  NodeBits labelled(st.node_bound());
  std::vector<NodeCost> out;  // also the queue
  out.reserve(target == END ? st.node_count() : 16);
  labelled.set(source);
  out.push_back({source, 0.0});
  auto walk = [&](auto&& successors) {
    for (size_t head = 0; head < out.size(); ++head) {
      NodeCost cur = out[head];
      if (cur.node == target) break;
      double next = cur.cost + 1.0;
      successors(cur.node, [&](NodeIndex m, EdgeIndex) {
        if (labelled.insert(m)) out.push_back({m, next});
      });
    }
  };
  // A search stopped at a target may touch little of the graph: walk the
  // lists then, rather than packing them all first.
  if (target == END) {
    with_successors(g, false, walk);
  } else {
    walk([&](NodeIndex n, auto&& f) { for_each_successor(st, g.directed(), n, f); });
  }
  return out;
}

struct Labels {
  std::vector<double> label;        // +inf: no label yet
  std::vector<NodeIndex> labelled;  // in order of first label
};

Labels weighted_dijkstra(const Graph& g, NodeIndex source, NodeIndex target, std::string_view key) {
  const GraphStorage& st = g.storage();
  Labels L;
  L.label.assign(st.node_bound(), kInf);
  NodeBits expanded(st.node_bound());
  MinHeap heap;
  L.label[source] = 0.0;
  L.labelled.push_back(source);
  heap.push({0.0, source});
  Poller poll;
  auto search = [&](auto&& successors, auto&& weight) {
    while (!heap.empty()) {
      poll();
      auto [d, n] = heap.top();
      heap.pop();
      if (expanded.test(n)) continue;
      if (n == target) break;
      expanded.set(n);
      double base = L.label[n];
      successors(n, [&](NodeIndex m, EdgeIndex e) {
        if (expanded.test(m)) return;
        double cand = base + weight(e);
        double& lm = L.label[m];
        if (lm == kInf) {
          L.labelled.push_back(m);
          lm = cand;
          heap.push({cand, m});
        } else if (cand < lm) {
          lm = cand;
          heap.push({cand, m});
        }
      });
    }
  };
  SuccessorCsr csr;
  if (target == END && build_successor_csr(st, g.directed(), csr, true)) {
    // A full search reads every weight: read them once, in slot order.
    std::vector<double> weight(st.edge_bound(), 1.0);
    for (EdgeIndex e = 0; e < st.edge_bound(); ++e)
      if (st.edge_live(e)) weight[e] = edge_weight(st, e, key);
    search(
        [&](NodeIndex n, auto&& f) {
          for (uint32_t i = csr.offset[n], end = csr.offset[n + 1]; i < end; ++i)
            f(csr.nbr[i], csr.edge[i]);
        },
        [&](EdgeIndex e) { return weight[e]; });
  } else {
    search([&](NodeIndex n, auto&& f) { for_each_successor(st, g.directed(), n, f); },
           [&](EdgeIndex e) { return edge_weight(st, e, key); });
  }
  return L;
}

}  // namespace

std::vector<NodeCost> dijkstra_from(const Graph& g, NodeIndex source, NodeIndex target,
                                    std::optional<std::string_view> weight_key) {
  if (!weight_key) return unit_dijkstra(g, source, target);
  Labels L = weighted_dijkstra(g, source, target, *weight_key);
  std::vector<NodeCost> out;
  out.reserve(L.labelled.size());
  for (NodeIndex n : L.labelled) out.push_back({n, L.label[n]});
  return out;
}

Result<std::vector<NodeCost>> dijkstra_costs_core(const Graph& g, std::string_view source,
                                                  std::optional<std::string_view> target,
                                                  std::optional<std::string_view> weight_key) {
  auto s = node_index_or_err(g, source);
  if (!s) return Err(std::move(s.error()));
  NodeIndex t = END;
  if (target) {
    auto found = node_index_or_err(g, *target);
    if (!found) return Err(std::move(found.error()));
    t = *found;
  }
  return dijkstra_from(g, *s, t, weight_key);
}

std::optional<double> shortest_path_length_between(const Graph& g, NodeIndex source,
                                                   NodeIndex target,
                                                   std::optional<std::string_view> weight_key) {
  if (!weight_key) {
    std::vector<NodeCost> costs = unit_dijkstra(g, source, target);
    // The target, when reached, is labelled last or earlier; scan from the end.
    for (size_t i = costs.size(); i-- > 0;)
      if (costs[i].node == target) return costs[i].cost;
    return std::nullopt;
  }
  Labels L = weighted_dijkstra(g, source, target, *weight_key);
  if (L.label[target] == kInf) return std::nullopt;
  return L.label[target];
}

Result<std::optional<AstarPath>> astar_between(const Graph& g, NodeIndex source, NodeIndex target,
                                               std::optional<std::string_view> weight_key) {
  const GraphStorage& st = g.storage();
  const size_t bound = st.node_bound();
  const uint64_t node_count = st.node_count();
  std::vector<double> cost(bound, kInf);
  std::vector<NodeIndex> pred(bound, END);
  std::vector<uint64_t> hops(bound, 0);  // edges on the recorded path
  MinHeap heap;
  cost[source] = 0.0;
  heap.push({0.0, source});
  bool negative_cycle = false;
  Poller poll;
  while (!heap.empty()) {
    poll();
    auto [p, n] = heap.top();
    heap.pop();
    if (n == target) {
      AstarPath result{cost[n], {}};
      for (NodeIndex x = n; x != END; x = pred[x]) {
        // A predecessor chain longer than the node count can only come
        // from a negative cycle.
        if (result.path.size() > node_count)
          return Err(ErrorKind::Refused, "Negative cycle detected");
        result.path.push_back(x);
        if (x == source) break;
      }
      std::reverse(result.path.begin(), result.path.end());
      return std::optional<AstarPath>(std::move(result));
    }
    if (p > cost[n]) continue;  // stale entry
    double base = cost[n];
    uint64_t next_hops = hops[n] + 1;
    for_each_successor(st, g.directed(), n, [&](NodeIndex m, EdgeIndex e) {
      if (negative_cycle) return;
      double cand = base + edge_weight(st, e, weight_key);
      if (cost[m] <= cand) return;
      cost[m] = cand;
      pred[m] = n;
      hops[m] = next_hops;
      // Lowering the source's cost needs a closed walk of negative cost.
      if (next_hops >= node_count || m == source) negative_cycle = true;
      heap.push({cand, m});
    });
    if (negative_cycle) return Err(ErrorKind::Refused, "Negative cycle detected");
  }
  return std::optional<AstarPath>();
}

Result<std::vector<NodeCost>> bellman_ford_core(const Graph& g, std::string_view source,
                                                std::optional<std::string_view> weight_key) {
  auto s = node_index_or_err(g, source);
  if (!s) return Err(std::move(s.error()));
  const GraphStorage& st = g.storage();
  struct WEdge {
    NodeIndex u, v;
    double w;
  };
  std::vector<WEdge> edges;
  edges.reserve(st.edge_count());
  for (EdgeIndex e = 0; e < st.edge_bound(); ++e)
    if (st.edge_live(e))
      edges.push_back({st.source(e), st.target(e), edge_weight(st, e, weight_key)});
  std::vector<double> dist(st.node_bound(), kInf);
  dist[*s] = 0.0;
  const bool both_ways = !g.directed();
  auto relax = [&](NodeIndex u, NodeIndex v, double w) {
    double cand = dist[u] + w;
    if (cand < dist[v]) {
      dist[v] = cand;
      return true;
    }
    return false;
  };
  const uint64_t n = st.node_count();
  Poller poll;
  for (uint64_t round = 1; n >= 2 && round <= n - 1; ++round) {
    poll(1 + edges.size());
    bool changed = false;
    for (const WEdge& e : edges) {
      changed |= relax(e.u, e.v, e.w);
      if (both_ways) changed |= relax(e.v, e.u, e.w);
    }
    if (!changed) break;
  }
  for (const WEdge& e : edges) {
    if (dist[e.u] + e.w < dist[e.v] || (both_ways && dist[e.v] + e.w < dist[e.u]))
      return Err(ErrorKind::Refused, "Negative cycle detected");
  }
  std::vector<NodeCost> out;
  for (NodeIndex i = 0; i < st.node_bound(); ++i) {
    if (!st.live(i)) continue;
    double d = dist[i];
    if (d != kInf && d == d) out.push_back({i, d});
  }
  return out;
}

bool has_path_between(const Graph& g, NodeIndex source, NodeIndex target) {
  if (source == target) return true;
  const GraphStorage& st = g.storage();
  NodeBits seen(st.node_bound());
  std::vector<NodeIndex> stack{source};
  seen.set(source);
  while (!stack.empty()) {
    NodeIndex n = stack.back();
    stack.pop_back();
    for (const AdjEntry& e : st.newest_out(n)) {
      NodeIndex m = e.other;
      if (m == target) return true;
      if (seen.insert(m)) stack.push_back(m);
    }
    if (!g.directed()) {
      for (const AdjEntry& e : st.newest_in(n)) {
        NodeIndex m = e.other;
        if (m == target) return true;
        if (seen.insert(m)) stack.push_back(m);
      }
    }
  }
  return false;
}

namespace {

// A resumable position in a node's successor sequence: slots left in the
// list being walked (walked from its end, newest first; removed marks are
// passed over).
struct Cursor {
  NodeIndex node;
  uint32_t left;
  bool incoming;  // walking the incoming list (undirected only)
};

Cursor open_cursor(const GraphStorage& st, NodeIndex n) {
  return {n, st.out_list(n).used(), false};
}

// The next successor, or END when the sequence is exhausted.
NodeIndex advance(const GraphStorage& st, bool directed, Cursor& c) {
  if (!c.incoming) {
    std::span<const AdjEntry> out = st.out_list(c.node).entries();
    while (c.left > 0)
      if (const AdjEntry& a = out[--c.left]; a.live()) return a.other;
    if (directed) return END;
    c.incoming = true;
    c.left = st.in_list(c.node).used();
  }
  std::span<const AdjEntry> in = st.in_list(c.node).entries();
  while (c.left > 0) {
    const AdjEntry& a = in[--c.left];
    if (a.live() && a.other != c.node) return a.other;
  }
  return END;
}

}  // namespace

NodeGroups all_simple_paths_between(const Graph& g, NodeIndex source, NodeIndex target,
                                    uint64_t max_depth, uint64_t max_paths) {
  NodeGroups paths;
  if (source == target || max_paths == 0) return paths;
  const GraphStorage& st = g.storage();
  // Nodes a partial path may hold before its last step.
  const uint64_t limit = (max_depth >= 2 ? max_depth - 2 : 0) + 1;
  std::vector<uint8_t> on_path(st.node_bound(), 0);
  std::vector<NodeIndex> path{source};
  std::vector<Cursor> cursors{open_cursor(st, source)};
  on_path[source] = 1;
  uint64_t produced = 0;
  auto produce = [&] {
    paths.members.insert(paths.members.end(), path.begin(), path.end());
    paths.members.push_back(target);
    paths.close_group();
    ++produced;
  };
  auto drop_last = [&] {
    cursors.pop_back();
    on_path[path.back()] = 0;
    path.pop_back();
  };
  Poller poll;
  while (!cursors.empty() && produced < max_paths) {
    poll();
    NodeIndex c = advance(st, g.directed(), cursors.back());
    if (c == END) {
      drop_last();
      continue;
    }
    if (path.size() < limit) {
      if (c == target) {
        produce();
      } else if (!on_path[c]) {
        on_path[c] = 1;
        path.push_back(c);
        cursors.push_back(open_cursor(st, c));
      }
      continue;
    }
    // The path is full: only a direct step to the target can finish it.
    bool found = (c == target);
    while (!found) {
      poll();
      NodeIndex later = advance(st, g.directed(), cursors.back());
      if (later == END) break;
      found = (later == target);
    }
    if (found) {
      produce();
    } else {
      drop_last();
    }
  }
  return paths;
}

}  // namespace qg
