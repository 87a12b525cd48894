// Node centralities: degree (total, in, out), closeness, betweenness,
// eigenvector and PageRank.
//
// Every function scores each live node once and returns the (node, score)
// pairs in node-index order; rank_descending then orders them for the
// caller. Per-call arrays are flat and indexed by node slot (sized to the
// node bound); vacant slots are never read into a result. n below is the
// live node count, never the bound.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "core/graph/graph.h"

namespace qg {

using Scores = std::vector<std::pair<NodeIndex, double>>;

// Stable sort by score, highest first, no tie-break: equal scores keep their
// order (node-index order here). A NaN never compares before or after.
void rank_descending(Scores& scores);

enum class DegreeKind { Total, In, Out };

// degree / (n - 1); 0.0 for everyone below two nodes. Total: directed out +
// in (a self-loop twice), undirected incident edges (a self-loop once). In
// and Out count one list of a directed graph; on an undirected graph both
// are Total. Parallel edges count each, so scores can exceed 1.
Scores degree_centrality_core(const Graph& g, DegreeKind kind);

// r / total, where r is the number of nodes a breadth-first search from the
// node reaches (directed: along out-edges) and total the sum of their
// distances; 0.0 when it reaches none. Not scaled by r / (n - 1).
Scores closeness_centrality_core(const Graph& g);

// Brandes' accumulation over unweighted shortest paths, each parallel edge a
// path of its own. Undirected sums are halved; normalized divides by
// (n-1)(n-2) (directed) or (n-1)(n-2)/2 (undirected). 0.0 below three nodes.
// Path counts too large for a double are carried level by level as ratios,
// so long chains of alternatives give finite scores instead of NaN.
Scores betweenness_centrality_core(const Graph& g, bool normalized);

// Power iteration from 1/sqrt(n), each round summing the scores of the
// in-neighbours (undirected: all neighbours) and scaling to unit length
// (left unscaled when all zero). Stops after `iterations` rounds or once the
// change (Euclidean) is below `tolerance`; no error when it does not settle.
Scores eigenvector_centrality_core(const Graph& g, uint64_t iterations, double tolerance);

// Exactly `iterations` power-iteration rounds from 1/n, with the rank of
// dangling nodes spread evenly and each round rescaled to sum 1. A directed
// edge passes rank from source to target; an undirected edge both ways (a
// self-loop once). "damping_factor must be between 0 and 1" for a damping
// outside [0, 1] or NaN, which would make the ranks diverge.
Result<Scores> pagerank_core(const Graph& g, double damping_factor, uint64_t iterations);

}  // namespace qg
