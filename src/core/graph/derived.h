// Graphs derived from a graph: induced subgraph, ego graph, reversed and
// undirected copies. Each result is a new record with copied nodes, edges
// and property maps (node ids and values are shared by reference count) and
// a fresh id index; the source is only read.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/common/result.h"
#include "core/graph/graph.h"

namespace qg {

class GraphRecord;  // core/graph/graph_record.h

// The listed nodes, in list order, and every edge among them in edge order,
// parallel edges and self-loops included (directed or not). Keeps the
// source's name, directed and multi flags.
// "Node '{}' not found" for the first unknown id, "Node '{}' already exists"
// for the first id listed twice, whichever comes first in the list.
Result<GraphRecord> induced_subgraph(const Graph& graph, std::span<const std::string_view> ids);
Result<GraphRecord> induced_subgraph(const Graph& graph, std::span<const std::string> ids);

// Nodes within `radius` hops of `center`, every edge walked both ways, and
// the edges among them. Nodes come in breadth-first order from the center.
// "Node '{}' not found" when the center is unknown.
Result<GraphRecord> ego_graph_core(const Graph& graph, std::string_view center, uint64_t radius);

// Directed: every edge turned around, nodes and edge order kept.
// Undirected: a plain copy with all edges, parallel ones included.
GraphRecord reverse_graph(const Graph& graph);

// Undirected copy keeping the first edge (lowest edge index) of each
// unordered endpoint pair, in its stored orientation.
GraphRecord to_undirected_graph(const Graph& graph);

}  // namespace qg
