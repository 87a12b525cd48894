// Transitive inference over one labelled relation.
#pragma once

#include <string_view>

#include "core/graph/graph.h"

namespace qg {

class GraphRecord;  // core/graph/graph_record.h

// A copy of g with the transitive closure of one relation added as edges.
//
// An edge's label is its predicate (core/knowledge/triples.h) or "" when it
// has none; the relation is the edges whose label equals `label`, taken in
// their stored direction (an undirected edge stored a-b gives a -> b only).
// For every pair (a, c) with c reachable from a along one or more relation
// edges (a itself included when it lies on a cycle), an edge a -> c with
// {"predicate": label, "type": label} is added, unless the copy already
// joins a and c by some edge (either way round when undirected).
//
// The copy keeps g's name, flags, live nodes and edges in order, with their
// properties; the added edges follow, grouped by source in the order in
// which sources first appear on relation edges, each group in breadth-first
// order from its source. The input is only read.
GraphRecord densify_core(const Graph& g, std::string_view label);

}  // namespace qg
