#include "core/graph/graph.h"

#include <random>

#include "core/common/flat_table.h"
#include "core/common/messages.h"
#include "core/graph/disjoint_sets.h"

namespace qg {

uint64_t draw_hash_seed() {
  // One draw from the OS per thread, then a splitmix64 step per new map.
  thread_local uint64_t state = [] {
    std::random_device rd;
    return (static_cast<uint64_t>(rd()) << 32) ^ rd();
  }();
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

NodeIndex find_node(const Graph& g, std::string_view id) { return g.find(id); }

Result<NodeIndex> node_index_or_err(const Graph& g, std::string_view id) {
  NodeIndex n = g.find(id);
  if (n == END) return Err(ErrorKind::NotFound, msg::node_not_found(id));
  return n;
}

const PropertyMap* node_properties(const Graph& g, std::string_view id) {
  NodeIndex n = g.find(id);
  return n == END ? nullptr : &g.storage().node_properties(n);
}

size_t degree_of(const Graph& g, NodeIndex n) {
  const GraphStorage& st = g.storage();
  size_t d = size_t{st.out_degree(n)} + st.in_degree(n);
  return g.directed() ? d : d - st.loop_count(n);
}

Result<size_t> node_degree(const Graph& g, std::string_view id) {
  auto n = node_index_or_err(g, id);
  if (!n) return Err(std::move(n.error()));
  return degree_of(g, *n);
}

namespace {

// Removed marks hold END as their other end, so they never match.
bool list_has(const AdjList& l, NodeIndex other) {
  for (const AdjEntry& a : l.entries())
    if (a.other == other) return true;
  return false;
}

}  // namespace

bool has_edge_between(const Graph& g, NodeIndex s, NodeIndex t) {
  // Scans whichever side holds fewer entries; the answer is the same.
  const GraphStorage& st = g.storage();
  if (g.directed())
    return st.out_list(s).used() <= st.in_list(t).used() ? list_has(st.out_list(s), t)
                                                         : list_has(st.in_list(t), s);
  if (st.out_list(s).used() + st.in_list(s).used() <= st.out_list(t).used() + st.in_list(t).used())
    return list_has(st.out_list(s), t) || list_has(st.in_list(s), t);
  return list_has(st.out_list(t), s) || list_has(st.in_list(t), s);
}

bool has_edge_core(const Graph& g, std::string_view source, std::string_view target) {
  NodeIndex s = g.find(source);
  NodeIndex t = g.find(target);
  if (s == END || t == END) return false;
  return has_edge_between(g, s, t);
}

std::vector<NodeIndex> live_nodes(const Graph& g) {
  const GraphStorage& st = g.storage();
  std::vector<NodeIndex> out;
  out.reserve(st.node_count());
  for (size_t n = 0; n < st.node_bound(); ++n)
    if (st.live(static_cast<NodeIndex>(n))) out.push_back(static_cast<NodeIndex>(n));
  return out;
}

std::vector<std::string_view> node_id_list(const Graph& g) {
  const GraphStorage& st = g.storage();
  std::vector<std::string_view> ids;
  ids.reserve(st.node_count());
  for (size_t n = 0; n < st.node_bound(); ++n)
    if (st.live(static_cast<NodeIndex>(n))) ids.push_back(st.id(static_cast<NodeIndex>(n)));
  return ids;
}

std::vector<EdgeRef> edge_list_refs(const Graph& g) {
  const GraphStorage& st = g.storage();
  std::vector<EdgeRef> out;
  out.reserve(st.edge_count());
  for (EdgeIndex e = 0; e < st.edge_bound(); ++e) {
    if (!st.edge_live(e)) continue;
    out.push_back(EdgeRef{st.id(st.source(e)), st.id(st.target(e)), &st.edge_properties(e)});
  }
  return out;
}

std::vector<NodeIndex> adjacent_nodes(const Graph& g, NodeIndex v, Adjacent which) {
  const GraphStorage& st = g.storage();
  std::vector<NodeIndex> out;
  if (!g.directed()) {
    out.reserve(size_t{st.out_degree(v)} + st.in_degree(v));
    for (const AdjEntry& a : st.newest_out(v)) out.push_back(a.other);
    for (const AdjEntry& a : st.newest_in(v))
      if (a.other != v) out.push_back(a.other);
    return out;
  }
  if (which == Adjacent::Predecessors) {
    out.reserve(st.in_degree(v));
    for (const AdjEntry& a : st.newest_in(v)) out.push_back(a.other);
    return out;
  }
  out.reserve(st.out_degree(v));
  for (const AdjEntry& a : st.newest_out(v)) out.push_back(a.other);
  if (which == Adjacent::Neighbors && st.in_degree(v) > 0) {
    FlatSet<NodeIndex> present(out.begin(), out.end());
    for (const AdjEntry& a : st.newest_in(v))
      if (present.insert(a.other).second) out.push_back(a.other);
  }
  return out;
}

bool is_weakly_connected_uf(const Graph& g) {
  const GraphStorage& st = g.storage();
  if (st.node_count() < 2) return true;
  const size_t bound = st.node_bound();
  DisjointSets sets(bound);
  for (EdgeIndex e = 0; e < st.edge_bound(); ++e)
    if (st.edge_live(e) && st.source(e) != st.target(e)) sets.unite(st.source(e), st.target(e));
  uint32_t root = END;
  for (size_t i = 0; i < bound; ++i) {
    if (!st.live(static_cast<NodeIndex>(i))) continue;
    uint32_t r = sets.find(static_cast<uint32_t>(i));
    if (root == END) root = r;
    else if (r != root) return false;
  }
  return true;
}

bool is_tree(const Graph& g) {
  const GraphStorage& st = g.storage();
  if (st.node_count() == 0) return true;
  if (st.edge_count() != st.node_count() - 1) return false;
  // With one edge fewer than nodes, weak connectivity leaves no room for a
  // self-loop, a second edge on one pair or any cycle.
  if (!is_weakly_connected_uf(g)) return false;
  if (!g.directed()) return true;
  for (size_t v = 0; v < st.node_bound(); ++v)
    if (st.live(static_cast<NodeIndex>(v)) && st.in_degree(static_cast<NodeIndex>(v)) > 1)
      return false;
  return true;
}

}  // namespace qg
