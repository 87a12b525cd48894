// Merging two graphs into a new one under a conflict strategy.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/graph/graph.h"

namespace qg {

class GraphRecord;  // core/graph/graph_record.h

// How the property maps of an item present in both graphs are resolved.
//   KeepFirst:  base's map.
//   KeepLatest: other's map, whole (base-only keys are dropped).
//   Merge:      base's map with every entry of other's written over it.
enum class ConflictStrategy : uint8_t { KeepFirst, KeepLatest, Merge };

// "keep_first", "keep_latest", "merge" (exact bytes); anything else reads as
// KeepLatest.
ConflictStrategy conflict_strategy(std::string_view name) noexcept;

PropertyMap merge_properties(const PropertyMap& base, const PropertyMap& other,
                             ConflictStrategy strategy);

// A new simple graph (multi false, empty name, base's directed flag):
//  - nodes: base's in base's node order, then the ones only other has, in
//    other's node order; a shared id gets the resolved map;
//  - edges: base's in edge order, then other's where the result does not
//    connect the pair yet. A base edge whose pair other also has gets the
//    map resolved against the last such edge of other. Edges the result
//    refuses (a second edge on one pair) are left out.
// Pairs are ordered in a directed result and unordered in an undirected
// one, so an undirected edge stored a-b in base and b-a in other is one
// edge whose maps are resolved like any other.
GraphRecord merge_graphs_core(const Graph& base, const Graph& other, ConflictStrategy strategy);

}  // namespace qg
