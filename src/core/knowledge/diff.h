// Comparing two states of a graph: nodes and connections added or removed,
// and surviving nodes whose properties changed.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "core/graph/graph.h"

namespace qg {

// Ids and endpoint pairs are views into the two compared records.
struct GraphDiff {
  std::vector<std::string_view> added_nodes;                                 // in new's node order
  std::vector<std::string_view> removed_nodes;                               // in old's node order
  std::vector<std::pair<std::string_view, std::string_view>> added_edges;    // new's edge order
  std::vector<std::pair<std::string_view, std::string_view>> removed_edges;  // old's edge order
  std::vector<std::string_view> changed_node_properties;                     // in old's node order
};

// A connection is an edge's (source, target) pair; parallel edges are one
// connection and edge properties play no part. When both graphs are
// undirected the pair is unordered (an edge stored a-b in one and b-a in the
// other is unchanged); otherwise it is ordered. Each pair is reported once,
// in the orientation of its first edge. Property maps compare entry by entry
// with kind-exact equality, ignoring key order.
GraphDiff diff_graphs_core(const Graph& old_graph, const Graph& new_graph);

}  // namespace qg
