// Small helpers shared by the algorithm units: adjacency walks in the order
// every algorithm visits neighbours, the edge weight rule, id lookups, a
// flat list-of-groups container and a visited bit set.
//
// Adjacency order: from a node, its outgoing list (targets), newest edge
// first; on an undirected graph then its incoming list (sources), newest
// first, skipping self-loops there so that a self-loop is seen once. k
// parallel edges to one neighbour are seen k times.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/graph/graph.h"

namespace qg {

// f(neighbour, edge) for each out-edge of n, newest first.
template <class F>
inline void for_each_out(const GraphStorage& st, NodeIndex n, F&& f) {
  for (const AdjEntry& a : st.newest_out(n)) f(a.other, a.edge);
}

// f(neighbour, edge) for each in-edge of n, newest first.
template <class F>
inline void for_each_in(const GraphStorage& st, NodeIndex n, F&& f) {
  for (const AdjEntry& a : st.newest_in(n)) f(a.other, a.edge);
}

// Successors: directed, out-edge targets; undirected, out-edge targets then
// in-edge sources with self-loops skipped in the second part.
template <class F>
inline void for_each_successor(const GraphStorage& st, bool directed, NodeIndex n, F&& f) {
  for (const AdjEntry& a : st.newest_out(n)) f(a.other, a.edge);
  if (!directed) {
    for (const AdjEntry& a : st.newest_in(n))
      if (a.other != n) f(a.other, a.edge);
  }
}

// Predecessors: directed, in-edge sources; undirected, the successors.
template <class F>
inline void for_each_predecessor(const GraphStorage& st, bool directed, NodeIndex n, F&& f) {
  if (directed) {
    for_each_in(st, n, f);
  } else {
    for_each_successor(st, false, n, f);
  }
}

// The weight of edge e for `weight_key`: the property's number as a double;
// 1.0 without a key, without the property, or for a non-number.
inline double edge_weight(const GraphStorage& st, EdgeIndex e,
                          std::optional<std::string_view> weight_key) {
  if (!weight_key) return 1.0;
  const PropertyValue* v = st.edge_properties(e).find(*weight_key);
  return (v && v->is_number()) ? v->as_double() : 1.0;
}

// Index lists mapped to id lists (copies); mostly for tests and builders.
inline std::vector<std::string> ids_of(const GraphStorage& st, std::span<const NodeIndex> nodes) {
  std::vector<std::string> out;
  out.reserve(nodes.size());
  for (NodeIndex n : nodes) out.emplace_back(st.id(n));
  return out;
}

// A list of node groups stored back to back: group k is
// members[starts[k] .. starts[k + 1]).
struct NodeGroups {
  std::vector<NodeIndex> members;
  std::vector<size_t> starts{0};

  size_t size() const noexcept { return starts.size() - 1; }
  bool empty() const noexcept { return size() == 0; }
  std::span<const NodeIndex> operator[](size_t k) const noexcept {
    return {members.data() + starts[k], members.data() + starts[k + 1]};
  }
  // Closes the group made of the members appended since the last close.
  void close_group() { starts.push_back(members.size()); }
  void add_group(std::span<const NodeIndex> group) {
    members.insert(members.end(), group.begin(), group.end());
    close_group();
  }
};

// Successor lists of all nodes packed back to back (node n's run is
// nbr[offset[n] .. offset[n + 1])), in adjacency order, with the edge of
// each entry. A whole-graph walk reads one dense array instead of reaching
// every node's own list through its slot.
struct SuccessorCsr {
  std::vector<uint32_t> offset;
  std::vector<NodeIndex> nbr;
  std::vector<EdgeIndex> edge;
};

// Packs the successor lists (undirected: out-list targets, then in-list
// sources without self-loops). Skipped, returning false, below a few
// thousand edges, where it does not pay; callers then walk the node lists.
bool build_successor_csr(const GraphStorage& st, bool directed, SuccessorCsr& out, bool with_edges);

// Runs walk(succ), where succ(n, f) calls f(neighbour, edge) for each
// successor of n in adjacency order, from packed lists on large graphs.
// Without with_edges the edge passed is END.
template <class Walk>
decltype(auto) with_successors(const Graph& g, bool with_edges, Walk&& walk) {
  SuccessorCsr csr;
  if (build_successor_csr(g.storage(), g.directed(), csr, with_edges)) {
    return walk([&](NodeIndex n, auto&& f) {
      for (uint32_t i = csr.offset[n], end = csr.offset[n + 1]; i < end; ++i)
        f(csr.nbr[i], with_edges ? csr.edge[i] : END);
    });
  }
  return walk([&](NodeIndex n, auto&& f) { for_each_successor(g.storage(), g.directed(), n, f); });
}

// A bit per node slot.
class NodeBits {
 public:
  explicit NodeBits(size_t bound) : words_((bound + 63) / 64, 0) {}
  bool test(NodeIndex n) const noexcept { return (words_[n >> 6] >> (n & 63)) & 1u; }
  void set(NodeIndex n) noexcept { words_[n >> 6] |= uint64_t{1} << (n & 63); }
  // Sets the bit; true when it was clear.
  bool insert(NodeIndex n) noexcept {
    uint64_t& w = words_[n >> 6];
    uint64_t bit = uint64_t{1} << (n & 63);
    if (w & bit) return false;
    w |= bit;
    return true;
  }

 private:
  std::vector<uint64_t> words_;
};

}  // namespace qg
