#include "core/algorithms/components.h"

#include "core/graph/disjoint_sets.h"

#include <cstdint>
#include <numeric>
#include <vector>

namespace qg {

namespace {

// Each live node's representative; vacant slots hold END.
std::vector<NodeIndex> weak_representatives(const GraphStorage& st) {
  const size_t bound = st.node_bound();
  DisjointSets sets(bound);
  for (const EdgeView e : st.live_edges()) {
    if (e.source == e.target) continue;
    sets.unite(e.source, e.target);
  }
  std::vector<NodeIndex> rep(bound, END);
  for (NodeIndex n = 0; n < bound; ++n)
    if (st.live(n)) rep[n] = sets.find(n);
  return rep;
}

bool has_self_loop(const GraphStorage& st, NodeIndex n) {
  for (const AdjEntry& e : st.newest_out(n))
    if (e.other == n) return true;
  return false;
}

}  // namespace

NodeGroups weakly_connected_components_core(const Graph& g) {
  const GraphStorage& st = g.storage();
  const size_t bound = st.node_bound();
  std::vector<NodeIndex> rep = weak_representatives(st);
  // Group numbers in order of each group's first member; sizes; offsets.
  std::vector<uint32_t> group_of_rep(bound, END);
  std::vector<size_t> sizes;
  for (NodeIndex n = 0; n < bound; ++n) {
    if (rep[n] == END) continue;
    uint32_t& gid = group_of_rep[rep[n]];
    if (gid == END) {
      gid = static_cast<uint32_t>(sizes.size());
      sizes.push_back(0);
    }
    ++sizes[gid];
  }
  NodeGroups groups;
  groups.starts.resize(sizes.size() + 1);
  groups.starts[0] = 0;
  for (size_t k = 0; k < sizes.size(); ++k) groups.starts[k + 1] = groups.starts[k] + sizes[k];
  groups.members.resize(groups.starts.back());
  std::vector<size_t> fill(groups.starts.begin(), groups.starts.end() - 1);
  for (NodeIndex n = 0; n < bound; ++n)
    if (rep[n] != END) groups.members[fill[group_of_rep[rep[n]]]++] = n;
  return groups;
}

size_t count_weak_components(const Graph& g) {
  std::vector<NodeIndex> rep = weak_representatives(g.storage());
  size_t count = 0;
  for (NodeIndex n = 0; n < rep.size(); ++n) count += (rep[n] == n);
  return count;
}

namespace {

// Out-lists read from packed runs: the cursor is a position.
struct PackedOut {
  const SuccessorCsr& csr;
  using Cursor = uint32_t;
  Cursor begin(NodeIndex n) const { return csr.offset[n]; }
  bool done(NodeIndex n, Cursor c) const { return c == csr.offset[n + 1]; }
  NodeIndex target(NodeIndex, Cursor c) const { return csr.nbr[c]; }
  Cursor next(Cursor c) const { return c + 1; }
};

// Out-lists read from the node's own list: the cursor walks its live
// entries from the newest.
struct ListOut {
  const GraphStorage& st;
  using Cursor = LiveEntries::iterator;
  Cursor begin(NodeIndex n) const { return st.newest_out(n).begin(); }
  bool done(NodeIndex, Cursor c) const { return c == LiveEntries::iterator(); }
  NodeIndex target(NodeIndex, Cursor c) const { return c->other; }
  Cursor next(Cursor c) const { return ++c; }
};

template <class Adj>
NodeGroups tarjan_walk(const GraphStorage& st, const Adj& adj) {
  const size_t bound = st.node_bound();
  // 0: not visited. Visit ranks count up from 1; a finished component's
  // members get a mark counting down from the top, above every rank.
  std::vector<uint64_t> rank(bound, 0);
  uint64_t next_rank = 1;
  uint64_t component_mark = UINT64_MAX;
  std::vector<NodeIndex> finished;  // finished nodes not yet in a component
  struct Frame {
    NodeIndex node;
    bool root;
    typename Adj::Cursor at;  // the edge being walked; on return, the one descended
  };
  std::vector<Frame> frames;
  NodeGroups out;
  out.members.reserve(st.node_count());

  auto enter = [&](NodeIndex v) {
    rank[v] = next_rank++;
    frames.push_back({v, true, adj.begin(v)});
  };
  for (NodeIndex r = 0; r < bound; ++r) {
    if (!st.live(r) || rank[r] != 0) continue;
    enter(r);
    while (!frames.empty()) {
      Frame& f = frames.back();
      if (!adj.done(f.node, f.at)) {
        NodeIndex w = adj.target(f.node, f.at);
        if (rank[w] == 0) {
          enter(w);  // f.at stays on this edge until w returns
          continue;
        }
        if (rank[w] < rank[f.node]) {
          rank[f.node] = rank[w];
          f.root = false;
        }
        f.at = adj.next(f.at);
        continue;
      }
      // f.node's walk is over.
      NodeIndex v = f.node;
      bool root = f.root;
      frames.pop_back();
      if (root) {
        size_t start = finished.size();
        while (start > 0 && rank[finished[start - 1]] >= rank[v]) --start;
        for (size_t i = start; i < finished.size(); ++i) {
          rank[finished[i]] = component_mark;
          out.members.push_back(finished[i]);
        }
        rank[v] = component_mark--;
        out.members.push_back(v);
        out.close_group();
        finished.resize(start);
      } else {
        finished.push_back(v);
      }
      if (!frames.empty()) {
        Frame& p = frames.back();
        if (rank[v] < rank[p.node]) {
          rank[p.node] = rank[v];
          p.root = false;
        }
        p.at = adj.next(p.at);
      }
    }
  }
  return out;
}

}  // namespace

NodeGroups tarjan_scc(const GraphStorage& st) {
  SuccessorCsr csr;
  if (build_successor_csr(st, true, csr, false)) return tarjan_walk(st, PackedOut{csr});
  return tarjan_walk(st, ListOut{st});
}

NodeGroups strongly_connected_components_core(const Graph& g) {
  return g.directed() ? tarjan_scc(g.storage()) : weakly_connected_components_core(g);
}

bool is_strongly_connected_core(const Graph& g) {
  if (g.node_count() == 0) return true;
  if (!g.directed()) return is_weakly_connected_uf(g);
  return tarjan_scc(g.storage()).size() == 1;
}

bool is_weakly_connected_core(const Graph& g) { return count_weak_components(g) < 2; }

NodeGroups find_cycles_core(const Graph& g) {
  NodeGroups out;
  if (!g.directed()) return out;
  const GraphStorage& st = g.storage();
  NodeGroups sccs = tarjan_scc(st);
  for (size_t k = 0; k < sccs.size(); ++k) {
    auto c = sccs[k];
    if (c.size() >= 2 || has_self_loop(st, c[0])) out.add_group(c);
  }
  return out;
}

NodeGroups find_cycle_paths_core(const Graph& g) {
  NodeGroups out;
  if (!g.directed()) return out;
  const GraphStorage& st = g.storage();
  NodeGroups sccs = tarjan_scc(st);
  std::vector<uint32_t> component(st.node_bound(), END);
  for (size_t k = 0; k < sccs.size(); ++k)
    for (NodeIndex n : sccs[k]) component[n] = static_cast<uint32_t>(k);
  std::vector<uint8_t> visited(st.node_bound(), 0);
  // The walk's entries: a node and the entry it was reached from; a path is
  // read by following `from` back to the start.
  struct Entry {
    NodeIndex node;
    uint32_t from;
  };
  std::vector<Entry> entries;
  std::vector<uint32_t> stack;
  std::vector<NodeIndex> path;
  for (size_t k = 0; k < sccs.size(); ++k) {
    auto c = sccs[k];
    if (c.size() == 1) {
      if (has_self_loop(st, c[0])) out.add_group(c);
      continue;
    }
    const NodeIndex s = c[0];
    const uint32_t comp = static_cast<uint32_t>(k);
    entries.clear();
    stack.clear();
    visited[s] = 1;
    entries.push_back({s, END});
    stack.push_back(0);
    uint32_t closing = END;  // the entry whose node has an edge back to s
    while (!stack.empty() && closing == END) {
      uint32_t at = stack.back();
      stack.pop_back();
      NodeIndex u = entries[at].node;
      for (const AdjEntry& e : st.newest_out(u)) {
        NodeIndex t = e.other;
        if (component[t] != comp) continue;
        if (t == s) {
          closing = at;
          break;
        }
        if (visited[t]) continue;
        visited[t] = 1;
        entries.push_back({t, at});
        stack.push_back(static_cast<uint32_t>(entries.size() - 1));
      }
    }
    for (NodeIndex n : c) visited[n] = 0;
    if (closing == END) continue;
    path.clear();
    for (uint32_t at = closing; at != END; at = entries[at].from) path.push_back(entries[at].node);
    out.members.insert(out.members.end(), path.rbegin(), path.rend());
    out.close_group();
  }
  return out;
}

}  // namespace qg
