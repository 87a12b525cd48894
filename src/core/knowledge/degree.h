// Degree queries: hubs, orphans and the degree distribution.
//
// Degree as node_degree gives it: directed, outgoing plus incoming (a
// self-loop counts twice); undirected, incident edges (a self-loop counts
// once); parallel edges count one each.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "core/graph/graph.h"

namespace qg {

// Ids of the nodes with degree > threshold, in node order (views into g).
std::vector<std::string_view> find_hub_nodes_core(const Graph& g, uint64_t threshold);
// Ids of the nodes with degree 0, in node order (views into g).
std::vector<std::string_view> find_orphan_nodes_core(const Graph& g);
// (degree, number of nodes with it) for each degree that occurs, by
// ascending degree.
std::vector<std::pair<uint64_t, uint64_t>> degree_distribution_core(const Graph& g);

}  // namespace qg
