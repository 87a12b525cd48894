#include "core/algorithms/traversal.h"

#include "core/algorithms/adjacency.h"

namespace qg {

std::vector<NodeIndex> bfs_from(const Graph& g, NodeIndex source) {
  const GraphStorage& st = g.storage();
  NodeBits discovered(st.node_bound());
  // The output doubles as the FIFO queue: a node is emitted in the order in
  // which it was discovered.
  std::vector<NodeIndex> order;
  order.reserve(st.node_count());
  discovered.set(source);
  order.push_back(source);
  with_successors(g, false, [&](auto&& successors) {
    for (size_t head = 0; head < order.size(); ++head) {
      successors(order[head], [&](NodeIndex m, EdgeIndex) {
        if (discovered.insert(m)) order.push_back(m);
      });
    }
  });
  return order;
}

std::vector<NodeIndex> dfs_from(const Graph& g, NodeIndex source) {
  const GraphStorage& st = g.storage();
  NodeBits discovered(st.node_bound());
  std::vector<NodeIndex> order;
  std::vector<NodeIndex> stack{source};
  with_successors(g, false, [&](auto&& successors) {
    while (!stack.empty()) {
      NodeIndex n = stack.back();
      stack.pop_back();
      if (!discovered.insert(n)) continue;
      // Pushed in adjacency order, so the oldest edge's end is on top.
      successors(n, [&](NodeIndex m, EdgeIndex) {
        if (!discovered.test(m)) stack.push_back(m);
      });
      order.push_back(n);
    }
  });
  return order;
}

std::vector<DfsEvent> dfs_events_from(const Graph& g, NodeIndex source) {
  const GraphStorage& st = g.storage();
  NodeBits visited(st.node_bound());
  std::vector<DfsEvent> events;
  std::vector<DfsEvent> stack{{source, false}};
  std::vector<NodeIndex> successors;
  while (!stack.empty()) {
    DfsEvent top = stack.back();
    stack.pop_back();
    if (top.exit) {
      events.push_back(top);
      continue;
    }
    if (!visited.insert(top.node)) continue;
    events.push_back({top.node, false});
    stack.push_back({top.node, true});
    successors.clear();
    for_each_successor(st, g.directed(), top.node,
                       [&](NodeIndex m, EdgeIndex) { successors.push_back(m); });
    // Last to first, so the first in adjacency order (the newest edge) is
    // entered first.
    for (size_t i = successors.size(); i-- > 0;) {
      if (!visited.test(successors[i])) stack.push_back({successors[i], false});
    }
  }
  return events;
}

std::vector<NodeDepth> bfs_depths_from(const Graph& g, NodeIndex source) {
  const GraphStorage& st = g.storage();
  NodeBits visited(st.node_bound());
  std::vector<NodeDepth> order;  // also the queue
  order.reserve(st.node_count());
  visited.set(source);
  order.push_back({source, 0});
  with_successors(g, false, [&](auto&& successors) {
    for (size_t head = 0; head < order.size(); ++head) {
      NodeDepth cur = order[head];
      successors(cur.node, [&](NodeIndex m, EdgeIndex) {
        if (visited.insert(m)) order.push_back({m, cur.depth + 1});
      });
    }
  });
  return order;
}

namespace {

// The start node is not marked at the outset: it joins the result only
// when a walk comes back to it.
template <bool kBackward>
std::vector<NodeIndex> reach_from(const Graph& g, NodeIndex start) {
  const GraphStorage& st = g.storage();
  NodeBits visited(st.node_bound());
  std::vector<NodeIndex> found;
  std::vector<NodeIndex> stack{start};
  auto step = [&](NodeIndex m, EdgeIndex) {
    if (visited.insert(m)) {
      found.push_back(m);
      stack.push_back(m);
    }
  };
  while (!stack.empty()) {
    NodeIndex n = stack.back();
    stack.pop_back();
    if (kBackward) {
      for_each_predecessor(st, g.directed(), n, step);
    } else {
      for_each_successor(st, g.directed(), n, step);
    }
  }
  return found;
}

}  // namespace

std::vector<NodeIndex> ancestors_of(const Graph& g, NodeIndex n) { return reach_from<true>(g, n); }
std::vector<NodeIndex> descendants_of(const Graph& g, NodeIndex n) {
  return reach_from<false>(g, n);
}

namespace {

// Looks `id` up and runs `walk` on its node.
template <class F>
auto from_id(const Graph& g, std::string_view id, F&& walk) -> Result<decltype(walk(NodeIndex{}))> {
  auto n = node_index_or_err(g, id);
  if (!n) return Err(std::move(n.error()));
  return walk(*n);
}

}  // namespace

Result<std::vector<NodeIndex>> bfs_core(const Graph& g, std::string_view source) {
  return from_id(g, source, [&](NodeIndex s) { return bfs_from(g, s); });
}
Result<std::vector<NodeIndex>> dfs_core(const Graph& g, std::string_view source) {
  return from_id(g, source, [&](NodeIndex s) { return dfs_from(g, s); });
}
Result<std::vector<DfsEvent>> dfs_events_core(const Graph& g, std::string_view source) {
  return from_id(g, source, [&](NodeIndex s) { return dfs_events_from(g, s); });
}
Result<std::vector<NodeDepth>> bfs_with_depth_core(const Graph& g, std::string_view source) {
  return from_id(g, source, [&](NodeIndex s) { return bfs_depths_from(g, s); });
}
Result<std::vector<NodeIndex>> bfs_at_depth_core(const Graph& g, std::string_view source,
                                                 uint64_t depth) {
  auto pairs = bfs_with_depth_core(g, source);
  if (!pairs) return Err(std::move(pairs.error()));
  std::vector<NodeIndex> out;
  for (const NodeDepth& p : *pairs)
    if (p.depth == depth) out.push_back(p.node);
  return out;
}
Result<std::vector<NodeIndex>> ancestors_core(const Graph& g, std::string_view id) {
  return from_id(g, id, [&](NodeIndex n) { return ancestors_of(g, n); });
}
Result<std::vector<NodeIndex>> descendants_core(const Graph& g, std::string_view id) {
  return from_id(g, id, [&](NodeIndex n) { return descendants_of(g, n); });
}

}  // namespace qg
