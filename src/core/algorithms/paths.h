// Shortest paths and reachability: Dijkstra, A* (zero estimate),
// Bellman-Ford, reachability and bounded enumeration of simple paths.
//
// Edges are followed as the traversals follow them: out-edges on a directed
// graph, both ways on an undirected one. Costs use the edge weight rule
// (edge_weight in adjacency.h). The *_core functions take ids and fail with
// "Node '{}' not found" (source checked first); the others take live nodes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/algorithms/adjacency.h"
#include "core/graph/graph.h"

namespace qg {

struct NodeCost {
  NodeIndex node;
  double cost;
};

// Dijkstra from `source`. Every node that received a label, with its last
// label, in the order in which the nodes were first labelled. With a
// `target` (END for none) the search stops when the target is popped,
// before expanding it, so the result also holds the frontier's tentative
// labels. A node's label is never lowered once it has been expanded, so the
// search ends with negative weights too (the labels then need not be least
// costs).
std::vector<NodeCost> dijkstra_from(const Graph& g, NodeIndex source, NodeIndex target,
                                    std::optional<std::string_view> weight_key);
Result<std::vector<NodeCost>> dijkstra_costs_core(const Graph& g, std::string_view source,
                                                  std::optional<std::string_view> target,
                                                  std::optional<std::string_view> weight_key);
// The target's label from a search stopped at the target; none when the
// target is not reached.
std::optional<double> shortest_path_length_between(const Graph& g, NodeIndex source,
                                                   NodeIndex target,
                                                   std::optional<std::string_view> weight_key);

struct AstarPath {
  double cost;
  std::vector<NodeIndex> path;  // source first, target last
};
// A* with an estimate of zero: nodes are expanded in order of recorded cost,
// a node is re-expanded when its cost drops, and the search returns when the
// target is popped (never expanding it). Among equal-cost paths the first
// found stays. None when the target is not reached.
//
// Negative weights are allowed. A negative cycle that the search can enter
// would make it run forever; so the search stops with "Negative cycle
// detected" once it records, for some node, a path of as many edges as the
// graph has nodes: such a path repeats a node, and a recorded path only
// comes back to a node at a strictly lower cost, so the repeated stretch is
// a negative cycle reachable from the source. Without a negative cycle the
// bound is never hit and the result is that of the plain search.
Result<std::optional<AstarPath>> astar_between(const Graph& g, NodeIndex source, NodeIndex target,
                                               std::optional<std::string_view> weight_key);

// Bellman-Ford from `source` (the system's own loop): up to n - 1 rounds over
// the live edges in edge order, stopping after a round without change, then
// one check pass. Directed edges relax from source to target; undirected
// edges relax both ways (forward first), so a negative undirected edge that
// the source reaches is a negative cycle. Result: the reached nodes in node
// order. Errors: "Node '{}' not found"; "Negative cycle detected".
Result<std::vector<NodeCost>> bellman_ford_core(const Graph& g, std::string_view source,
                                                std::optional<std::string_view> weight_key);

// True when `target` is reachable from `source` (a node reaches itself).
bool has_path_between(const Graph& g, NodeIndex source, NodeIndex target);

// Simple paths from `source` to `target` in depth-first order of adjacency
// order, at most max(max_depth, 2) nodes each, stopping after `max_paths`
// paths. k parallel edges into the target give k equal paths; source equal
// to target gives none. The walk is lazy: it stops at the cap.
NodeGroups all_simple_paths_between(const Graph& g, NodeIndex source, NodeIndex target,
                                    uint64_t max_depth, uint64_t max_paths);

}  // namespace qg
