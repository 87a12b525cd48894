// Components and cycles: weak components (union-find), strong components
// (Tarjan, iterative), connectivity tests, and the cycles found through the
// strong components.
#pragma once

#include <cstddef>

#include "core/algorithms/adjacency.h"
#include "core/graph/graph.h"

namespace qg {

// Weak components of either kind of graph, edge direction ignored. Each
// group holds its members in node-index order. The order of the groups is
// unspecified (here: by their first member).
NodeGroups weakly_connected_components_core(const Graph& g);
size_t count_weak_components(const Graph& g);

// Strong components of the storage read as directed, in Tarjan order: a
// component is emitted when its root finishes, so it comes after every
// component it reaches; members in finishing order, the root last. The walk
// tries roots in node-index order and follows out-edges newest first. It
// uses an explicit stack and visits exactly as the recursive form does.
NodeGroups tarjan_scc(const GraphStorage& st);

// Undirected: the weak components. Directed: Tarjan's components.
NodeGroups strongly_connected_components_core(const Graph& g);
bool is_strongly_connected_core(const Graph& g);
bool is_weakly_connected_core(const Graph& g);

// Directed only (undirected: none). Each strong component of two or more
// members, members in Tarjan order; a single member with a self-loop.
NodeGroups find_cycles_core(const Graph& g);
// Directed only. One cycle per component that has one: a self-loop node
// alone, or a path starting at the component's first member whose last node
// has an edge back to the first.
NodeGroups find_cycle_paths_core(const Graph& g);

}  // namespace qg
