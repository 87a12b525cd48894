// Traversals from one node: breadth-first, depth-first (preorder and
// enter/exit events), breadth-first with depths, ancestors, descendants.
//
// Walks run on the storage with explicit queues and stacks, so a long path
// cannot exhaust the call stack. Results are node indices; callers map them
// to ids. The *_from functions take a live start node; the others look the
// id up first and fail with "Node '{}' not found".
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/graph/graph.h"

namespace qg {

// Breadth-first visit order: each reachable node once, in discovery order.
std::vector<NodeIndex> bfs_from(const Graph& g, NodeIndex source);
// Depth-first preorder; from each node the branch of its oldest edge first.
std::vector<NodeIndex> dfs_from(const Graph& g, NodeIndex source);

struct DfsEvent {
  NodeIndex node;
  bool exit;  // false: "enter"
};
// Depth-first enter/exit events; from each node the newest edge first.
std::vector<DfsEvent> dfs_events_from(const Graph& g, NodeIndex source);

struct NodeDepth {
  NodeIndex node;
  uint64_t depth;
};
// Breadth-first order with the unweighted distance from the source.
std::vector<NodeDepth> bfs_depths_from(const Graph& g, NodeIndex source);

// Nodes that reach `n` (ancestors) or that `n` reaches (descendants) by one
// or more edges; `n` itself only when a walk leads back to it. Undirected:
// both follow every edge. The order is unspecified.
std::vector<NodeIndex> ancestors_of(const Graph& g, NodeIndex n);
std::vector<NodeIndex> descendants_of(const Graph& g, NodeIndex n);

Result<std::vector<NodeIndex>> bfs_core(const Graph& g, std::string_view source);
Result<std::vector<NodeIndex>> dfs_core(const Graph& g, std::string_view source);
Result<std::vector<DfsEvent>> dfs_events_core(const Graph& g, std::string_view source);
Result<std::vector<NodeDepth>> bfs_with_depth_core(const Graph& g, std::string_view source);
// The nodes at exactly `depth`, in breadth-first order (a full walk).
Result<std::vector<NodeIndex>> bfs_at_depth_core(const Graph& g, std::string_view source,
                                                 uint64_t depth);
Result<std::vector<NodeIndex>> ancestors_core(const Graph& g, std::string_view id);
Result<std::vector<NodeIndex>> descendants_core(const Graph& g, std::string_view id);

}  // namespace qg
