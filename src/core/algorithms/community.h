// Community detection: Louvain modularity optimisation, synchronous label
// propagation and k-clique percolation.
//
// Each function works on the live nodes of the record, numbered 0 .. n-1 in
// node-index order, and returns a community list: every group's members
// sorted by id byte-wise, the groups stably sorted by their first id. None of
// them can fail. Results are deterministic for a given graph history.
#pragma once

#include <cstdint>

#include "core/algorithms/adjacency.h"
#include "core/graph/graph.h"

namespace qg {

// Sorts each group's members by id (byte-wise), then the groups by their
// first id with a stable sort. Empty groups are dropped.
void sort_community_list(const GraphStorage& st, NodeGroups& groups);

// Louvain over the weighted undirected view (edge direction ignored; weight
// from the property "weight" by the edge weight rule; self-loops count twice
// in their node's own entry, parallel edges add up). A node moves to the
// neighbouring community of largest positive modularity gain; passes repeat
// until none moves, then communities are aggregated into nodes and the next
// level starts, until a level merges nothing.
//
// A graph of zero total weight gives one community per live node in
// node-index order, unsorted.
NodeGroups louvain_communities_core(const Graph& g);

// Synchronous label propagation: every node takes the label most frequent
// among its neighbours (each edge end counted, a self-loop twice), keeping
// its own on a tie with it, else the smallest of the most frequent; at most
// 100 rounds, stopping at the first round without a change.
NodeGroups label_propagation_core(const Graph& g);

// Clique percolation: the maximal cliques (maximal_cliques_core) of at least
// k members, joined when two share k-1 or more members; each community is
// the union of one joined set of cliques. Communities may overlap; two with
// the same first id come in the order of their first clique. Below k = 2,
// the weak components exactly as weakly_connected_components_core gives
// them, unsorted. Only cliques that share a member are compared.
NodeGroups k_clique_communities_core(const Graph& g, uint64_t k);

}  // namespace qg
