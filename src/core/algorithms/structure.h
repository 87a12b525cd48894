// Structure of a graph: bridges, articulation points, matchings, maximal
// cliques, density and bipartiteness.
//
// Bridges, articulation points, maximal cliques and maximum matchings read
// every graph through its undirected view (out-edge targets, then in-edge
// sources without self-loops), so their answers depend on the shape of the
// graph alone, not on edge direction or node insertion order. The greedy
// matching follows out-edges only on a directed graph. Everything walks
// with explicit stacks and per-call arrays sized by the node-slot bound; no
// function here fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/algorithms/adjacency.h"
#include "core/common/result.h"
#include "core/graph/graph.h"

namespace qg {

using NodePairs = std::vector<std::pair<NodeIndex, NodeIndex>>;

// Edges whose removal splits their weak component, in edge-index order.
// A self-loop is never a bridge, nor is an edge that has a parallel twin.
// Time O(V + E).
std::vector<EdgeIndex> bridges_core(const Graph& g);

// Cut vertices of the undirected view, sorted byte-wise by id, each once.
// Time O(V + E) plus the sort.
std::vector<NodeIndex> articulation_points_core(const Graph& g);

// Path-following greedy matching. From each unvisited live node s in node
// order, walk to the first unvisited neighbour (directed: out-edge targets;
// undirected: both lists) again and again, matching the 1st and 2nd node of
// the walk, the 3rd and 4th, ... Pairs (a, mate) with a < mate, ascending.
// Time O(V + E).
NodePairs greedy_matching_core(const Graph& g);

// A maximum matching of the undirected view (Gabow's form of Edmonds'
// blossom algorithm), started from the greedy matching of that view and
// searched from each free node in node order. Pairs as for the greedy
// matching. Time O(V^3) worst case, memory O(V).
NodePairs maximum_matching_core(const Graph& g);

// Maximal cliques of the undirected view (self-loops and parallel edges make
// no difference; an isolated node is a clique of one). Members of a clique
// in node-index order; cliques in the order found, which callers must not
// rely on. Stops after `limit` cliques. Bron-Kerbosch with pivoting over a
// degeneracy order; memory O(V + E) besides the result, time exponential
// in the worst case.
NodeGroups maximal_cliques_core(const Graph& g, size_t limit = SIZE_MAX);

// maximal_cliques with its guards: refuses a graph of more than
// max_input_nodes live nodes with the message naming both numbers, and
// returns at most max_cliques cliques (the enumeration stops there).
Result<NodeGroups> maximal_cliques_bounded(const Graph& g, uint64_t max_input_nodes,
                                           uint64_t max_cliques);

// e / (n (n - 1)), doubled on an undirected graph; 0.0 below two nodes.
// Parallel edges and self-loops count, so the value can exceed 1.
double density_core(const Graph& g);

// Two-colouring by breadth-first search over both adjacency lists (edge
// direction ignored). A self-loop makes the graph non-bipartite.
bool is_bipartite_core(const Graph& g);

}  // namespace qg
