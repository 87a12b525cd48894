// toposort: orders a directed graph and detects a cycle.
//
// Depth-first over roots in node-index order, successors in adjacency order
// (newest edge first), with an explicit stack; the order is the reversed
// finish list. A self-loop fails at once naming its node; otherwise a second
// pass fails naming the source of the oldest incoming edge, from a node later
// in the order, of the first node that has one. O(V + E).
#pragma once

#include <vector>

#include "core/graph/graph.h"

namespace qg {

struct ToposortResult {
  std::vector<NodeIndex> order;  // valid when cycle_node == END
  NodeIndex cycle_node = END;
  bool ok() const { return cycle_node == END; }
};

// Reads the storage as directed, whatever the record's flag.
ToposortResult toposort(const GraphStorage& storage);

}  // namespace qg
