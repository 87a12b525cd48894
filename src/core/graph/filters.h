// Property filters: the nodes or edges whose property `key` equals a value
// (kind-exact, deep equality). Linear scans in index order.
#pragma once

#include <string_view>
#include <vector>

#include "core/graph/graph.h"

namespace qg {

std::vector<NodeIndex> nodes_filtered_core(const Graph& graph, std::string_view key,
                                           const PropertyValue& value);
std::vector<EdgeIndex> edges_filtered_core(const Graph& graph, std::string_view key,
                                           const PropertyValue& value);

}  // namespace qg
