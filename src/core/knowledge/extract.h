// Subgraphs cut out by node attributes: the selected nodes (in node order)
// and the edges among them, as the induced subgraph gives them, with the
// source's name and flags. The input is only read.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/graph/graph.h"

namespace qg {

class GraphRecord;  // core/graph/graph_record.h

// Nodes whose property "type" is a string equal to one of `types`.
GraphRecord extract_by_types_core(const Graph& g, std::span<const std::string> types);

// Nodes that hold `key` with a value equal to `value` (kind-exact, deep).
GraphRecord extract_by_property_core(const Graph& g, std::string_view key,
                                     const PropertyValue& value);

}  // namespace qg
