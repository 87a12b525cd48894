// DAG operations: topological order, longest path (in edges), transitive
// closure and condensation. The two builders return a new record built
// through add_node_core / add_edge_by_index; a node or edge that the new
// record refuses is dropped silently (an over-long id aside: see
// condensation_core).
#pragma once

#include <cstdint>
#include <vector>

#include "core/algorithms/toposort.h"
#include "core/graph/graph.h"

namespace qg {

class GraphRecord;  // core/graph/graph_record.h

// The topological order of a directed record. Errors: "Topological sort is
// only defined for directed graphs"; "Graph has a cycle involving node '{}'".
Result<std::vector<NodeIndex>> topological_sort_core(const Graph& g);

struct LongestPath {
  uint64_t length = 0;          // edges
  std::vector<NodeIndex> path;  // first node to last
};
// Longest path by edge count over the topological order; among equal
// distances the relaxation seen first stays, and the end node is the one of
// highest index. Errors as topological_sort_core.
Result<LongestPath> longest_path_core(const Graph& g);

// A copy of `g` (name, directed, multi = false; nodes and edges with their
// properties) plus an edge u -> v, without properties, for every v reachable
// from u in one or more steps that has no edge with u yet. No self-loop is
// added. The added edges' order is unspecified.
GraphRecord transitive_closure_core(const Graph& g);

// One node per strong component (weak component on an undirected input),
// named by its members' ids sorted byte-wise and joined with ","; no
// properties. Directed: nodes in Tarjan order, and one edge per pair of
// distinct components joined by an input edge, in the order of the first
// such edge. The result is directed, simple and unnamed. A joined id longer
// than kMaxIdBytes refuses the whole result (msg::id_too_long, id_limit.h).
Result<GraphRecord> condensation_core(const Graph& g);

}  // namespace qg
