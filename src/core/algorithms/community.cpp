#include "core/algorithms/community.h"

#include "core/graph/disjoint_sets.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/algorithms/components.h"
#include "core/algorithms/structure.h"
#include "core/common/interrupt.h"

namespace qg {

namespace {

// Live nodes numbered 0 .. n-1 in node-index order, and back.
struct Positions {
  std::vector<NodeIndex> node;  // position -> node index
  std::vector<uint32_t> pos;    // node index -> position (END for vacant slots)

  explicit Positions(const GraphStorage& st) : pos(st.node_bound(), END) {
    node.reserve(st.node_count());
    for (NodeIndex i = 0; i < st.node_bound(); ++i) {
      if (!st.live(i)) continue;
      pos[i] = static_cast<uint32_t>(node.size());
      node.push_back(i);
    }
  }
  uint32_t size() const noexcept { return static_cast<uint32_t>(node.size()); }
};

// Groups positions by a label in [0, n): one group per used label, in label
// order, members in position order, mapped to node indices.
NodeGroups groups_by_label(const Positions& P, const std::vector<uint32_t>& label) {
  const uint32_t n = P.size();
  std::vector<size_t> start(size_t{n} + 1, 0);
  for (uint32_t p = 0; p < n; ++p) ++start[label[p] + 1];
  std::partial_sum(start.begin(), start.end(), start.begin());
  NodeGroups groups;
  groups.members.resize(n);
  std::vector<size_t> at(start.begin(), start.end() - 1);
  for (uint32_t p = 0; p < n; ++p) groups.members[at[label[p]]++] = P.node[p];
  for (uint32_t c = 0; c < n; ++c)
    if (start[c + 1] > start[c]) groups.starts.push_back(start[c + 1]);
  return groups;
}

// A dense accumulator over keys [0, n) that remembers which keys it touched,
// in order of first touch, so a reset costs only what was used.
template <class V>
class SparseAccumulator {
 public:
  explicit SparseAccumulator(size_t n) : value_(n), seen_(n, 0) {}
  V& operator[](uint32_t key) {
    if (!seen_[key]) {
      seen_[key] = 1;
      value_[key] = V{};
      keys_.push_back(key);
    }
    return value_[key];
  }
  bool contains(uint32_t key) const noexcept { return seen_[key] != 0; }
  V get(uint32_t key) const noexcept { return seen_[key] ? value_[key] : V{}; }
  const std::vector<uint32_t>& keys() const noexcept { return keys_; }
  void clear() noexcept {
    for (uint32_t k : keys_) seen_[k] = 0;
    keys_.clear();
  }

 private:
  std::vector<V> value_;
  std::vector<uint8_t> seen_;
  std::vector<uint32_t> keys_;
};

// Polls once per block of nodes, for the nodes' entries in CSR rows given
// by `start`: in this register-starved loop a poll per node shows.
void poll_block(Poller& poll, uint32_t p, uint32_t n, const std::vector<size_t>& start) {
  constexpr uint32_t kBlock = 256;
  if (p % kBlock == 0) {
    const uint32_t end = std::min(p + kBlock, n);
    poll(end - p + start[end] - start[p]);
  }
}

// ---- Louvain ----

// The weight maps of one level: row p lists (neighbour, weight) with
// distinct neighbours in ascending order; p's own entry is its self-loop
// weight, counted from both ends.
struct WeightRows {
  std::vector<size_t> start;  // n + 1
  std::vector<uint32_t> col;
  std::vector<double> wt;

  uint32_t size() const noexcept { return static_cast<uint32_t>(start.size() - 1); }
};

// Level 0: every live edge adds its weight to both ends' maps (a self-loop
// twice to its node's own entry). Returns the total weight m, each edge once.
double level0_rows(const Graph& g, const Positions& P, WeightRows& rows) {
  const GraphStorage& st = g.storage();
  const uint32_t n = P.size();
  const std::optional<std::string_view> key("weight");
  // Entries per row in edge-index order, then per row sorted by neighbour
  // (stable, so equal neighbours add up in edge-index order) and merged.
  std::vector<size_t> count(size_t{n} + 1, 0);
  for (const EdgeView e : st.live_edges()) {
    ++count[P.pos[e.source] + 1];
    ++count[P.pos[e.target] + 1];
  }
  std::partial_sum(count.begin(), count.end(), count.begin());
  std::vector<std::pair<uint32_t, double>> raw(count[n]);
  std::vector<size_t> at(count.begin(), count.end() - 1);
  double m = 0.0;
  for (const EdgeView e : st.live_edges()) {
    const uint32_t u = P.pos[e.source], v = P.pos[e.target];
    const double w = edge_weight(st, e.index, key);
    // A self-loop takes both of its slots in its node's row: 2w in all.
    raw[at[u]++] = {v, w};
    raw[at[v]++] = {u, w};
    m += w;
  }
  rows.start.assign(1, 0);
  rows.col.clear();
  rows.wt.clear();
  rows.col.reserve(raw.size());
  rows.wt.reserve(raw.size());
  for (uint32_t p = 0; p < n; ++p) {
    auto first = raw.begin() + static_cast<ptrdiff_t>(count[p]);
    auto last = raw.begin() + static_cast<ptrdiff_t>(count[p + 1]);
    std::stable_sort(first, last, [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto it = first; it != last; ++it) {
      if (rows.col.size() > rows.start.back() && rows.col.back() == it->first) {
        rows.wt.back() += it->second;
      } else {
        rows.col.push_back(it->first);
        rows.wt.push_back(it->second);
      }
    }
    rows.start.push_back(rows.col.size());
  }
  return m;
}

// Local moves of one level. label[p] is p's community (a current node);
// returns whether any node moved.
//
// The gain of moving p from its community A to a neighbouring community C
// is the change in modularity:
//   (W(C) - W(A\p)) / m - k(p) * (sigma(C) - sigma(A\p)) / (2 m^2)
// where W(X) is p's weight to the members of X other than p itself. p's
// self-loop weight stays inside whichever community p joins, so it takes no
// part: counting it for A alone would favour staying, and with a negative
// self-loop it would make p hop between two neighbours forever.
bool local_moves(const WeightRows& rows, const std::vector<double>& k, double m,
                 std::vector<uint32_t>& label) {
  const uint32_t n = rows.size();
  std::vector<double> sigma(k);  // by community label
  for (uint32_t p = 0; p < n; ++p) label[p] = p;
  SparseAccumulator<double> W(n);
  // k * sigma / (2 m^2), computed without forming m^2, which can overflow
  // or underflow for weights of extreme magnitude.
  auto term = [m](double w, double kp, double s) { return w / m - (kp / m) * (s / m) * 0.5; };
  // Modularity rises with every move, so the passes end; the bound only
  // guards against rounding letting a node swing between two communities
  // of equal gain.
  constexpr int kMaxPasses = 1000;
  bool moved_any = false;
  Poller poll;
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    bool moved = false;
    for (uint32_t p = 0; p < n; ++p) {
      poll_block(poll, p, n, rows.start);
      const uint32_t own = label[p];
      for (size_t i = rows.start[p]; i < rows.start[p + 1]; ++i)
        if (rows.col[i] != p) W[label[rows.col[i]]] += rows.wt[i];
      const double kp = k[p];
      const double remove = term(W.get(own), kp, sigma[own] - kp);
      uint32_t best = own;
      double best_gain = 0.0;
      for (uint32_t c : W.keys()) {
        if (c == own) continue;
        const double gain = term(W.get(c), kp, sigma[c]) - remove;
        if (gain > best_gain) {
          best = c;
          best_gain = gain;
        }
      }
      W.clear();
      if (best != own) {
        label[p] = best;
        sigma[own] -= kp;
        sigma[best] += kp;
        moved = true;
      }
    }
    if (!moved) break;
    moved_any = true;
  }
  return moved_any;
}

// Renumbers the communities 0 .. K-1 in ascending label order and builds
// their weight maps: every entry (i, j, w) adds w to (label(i), label(j)),
// so weight inside a community becomes its self-loop weight. label[p]
// becomes p's new node number. Returns K.
uint32_t aggregate(const WeightRows& rows, std::vector<uint32_t>& label, WeightRows& next) {
  const uint32_t n = rows.size();
  std::vector<uint32_t> renum(n, END);
  for (uint32_t p = 0; p < n; ++p) renum[label[p]] = 0;
  uint32_t K = 0;
  for (uint32_t c = 0; c < n; ++c)
    if (renum[c] != END) renum[c] = K++;
  for (uint32_t p = 0; p < n; ++p) label[p] = renum[label[p]];
  // Members of each new node, in ascending order of the current node.
  std::vector<size_t> mstart(size_t{K} + 1, 0);
  for (uint32_t p = 0; p < n; ++p) ++mstart[label[p] + 1];
  std::partial_sum(mstart.begin(), mstart.end(), mstart.begin());
  std::vector<uint32_t> members(n);
  std::vector<size_t> at(mstart.begin(), mstart.end() - 1);
  for (uint32_t p = 0; p < n; ++p) members[at[label[p]]++] = p;

  next.start.assign(1, 0);
  next.col.clear();
  next.wt.clear();
  SparseAccumulator<double> acc(K);
  std::vector<uint32_t> cols;
  for (uint32_t c = 0; c < K; ++c) {
    for (size_t mi = mstart[c]; mi < mstart[c + 1]; ++mi) {
      const uint32_t p = members[mi];
      for (size_t i = rows.start[p]; i < rows.start[p + 1]; ++i)
        acc[label[rows.col[i]]] += rows.wt[i];
    }
    cols = acc.keys();
    std::sort(cols.begin(), cols.end());
    for (uint32_t j : cols) {
      next.col.push_back(j);
      next.wt.push_back(acc.get(j));
    }
    acc.clear();
    next.start.push_back(next.col.size());
  }
  return K;
}

std::vector<double> row_sums(const WeightRows& rows) {
  std::vector<double> k(rows.size(), 0.0);
  for (uint32_t p = 0; p < rows.size(); ++p)
    for (size_t i = rows.start[p]; i < rows.start[p + 1]; ++i) k[p] += rows.wt[i];
  return k;
}

// ---- Label propagation ----

constexpr int kLabelRounds = 100;

// ---- k-clique communities ----

}  // namespace

void sort_community_list(const GraphStorage& st, NodeGroups& groups) {
  auto by_id = [&st](NodeIndex a, NodeIndex b) { return st.id(a) < st.id(b); };
  std::vector<size_t> order;
  order.reserve(groups.size());
  for (size_t k = 0; k < groups.size(); ++k) {
    auto first = groups.members.begin() + static_cast<ptrdiff_t>(groups.starts[k]);
    auto last = groups.members.begin() + static_cast<ptrdiff_t>(groups.starts[k + 1]);
    std::sort(first, last, by_id);
    if (first != last) order.push_back(k);
  }
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return by_id(groups.members[groups.starts[a]], groups.members[groups.starts[b]]);
  });
  NodeGroups sorted;
  sorted.members.reserve(groups.members.size());
  for (size_t k : order) sorted.add_group(groups[k]);
  groups = std::move(sorted);
}

NodeGroups louvain_communities_core(const Graph& g) {
  const Positions P(g.storage());
  const uint32_t n0 = P.size();
  if (n0 == 0) return {};
  WeightRows rows;
  const double m = level0_rows(g, P, rows);
  if (m == 0.0) {
    // No weight to divide by: every node on its own, in node-index order.
    NodeGroups singles;
    for (NodeIndex v : P.node) singles.add_group(std::span<const NodeIndex>(&v, 1));
    return singles;
  }
  // comm[p0]: the current node that level-0 position p0 belongs to.
  std::vector<uint32_t> comm(n0);
  std::iota(comm.begin(), comm.end(), 0u);
  std::vector<uint32_t> label(n0);
  WeightRows next;
  while (true) {
    const uint32_t n = rows.size();
    const std::vector<double> k = row_sums(rows);
    label.resize(n);
    if (!local_moves(rows, k, m, label)) break;
    const uint32_t K = aggregate(rows, label, next);
    for (uint32_t& c : comm) c = label[c];
    std::swap(rows, next);
    if (K == n) break;
  }
  NodeGroups groups = groups_by_label(P, comm);
  sort_community_list(g.storage(), groups);
  return groups;
}

NodeGroups label_propagation_core(const Graph& g) {
  const Positions P(g.storage());
  const uint32_t n = P.size();
  if (n == 0) return {};
  const GraphStorage& st = g.storage();
  // Neighbour lists: each edge puts each end into the other's list (a
  // self-loop puts its node into its own list twice). Counting does not
  // depend on the order within a list.
  std::vector<size_t> start(size_t{n} + 1, 0);
  for (const EdgeView e : st.live_edges()) {
    ++start[P.pos[e.source] + 1];
    ++start[P.pos[e.target] + 1];
  }
  std::partial_sum(start.begin(), start.end(), start.begin());
  std::vector<uint32_t> nbr(start[n]);
  {
    std::vector<size_t> at(start.begin(), start.end() - 1);
    for (const EdgeView e : st.live_edges()) {
      const uint32_t u = P.pos[e.source], v = P.pos[e.target];
      nbr[at[u]++] = v;
      nbr[at[v]++] = u;
    }
  }
  std::vector<uint32_t> prev(n), cur(n);
  std::iota(prev.begin(), prev.end(), 0u);
  SparseAccumulator<uint64_t> count(n);
  Poller poll;
  for (int round = 0; round < kLabelRounds; ++round) {
    poll(n + start[n]);  // a round is linear, and there are at most kLabelRounds
    cur = prev;
    bool changed = false;
    for (uint32_t p = 0; p < n; ++p) {
      if (start[p] == start[p + 1]) continue;
      for (size_t i = start[p]; i < start[p + 1]; ++i) ++count[prev[nbr[i]]];
      uint64_t maxc = 0;
      for (uint32_t l : count.keys()) maxc = std::max(maxc, count.get(l));
      if (count.get(prev[p]) != maxc) {
        uint32_t best = END;
        for (uint32_t l : count.keys())
          if (count.get(l) == maxc) best = std::min(best, l);
        cur[p] = best;
        changed = true;
      }
      count.clear();
    }
    std::swap(prev, cur);
    if (!changed) break;
  }
  NodeGroups groups = groups_by_label(P, prev);
  sort_community_list(st, groups);
  return groups;
}

NodeGroups k_clique_communities_core(const Graph& g, uint64_t k) {
  if (k < 2) return weakly_connected_components_core(g);
  const GraphStorage& st = g.storage();
  const NodeGroups all = maximal_cliques_core(g);
  // The cliques of k or more members, in the order found.
  std::vector<size_t> kept;
  for (size_t c = 0; c < all.size(); ++c)
    if (all[c].size() >= k) kept.push_back(c);
  if (kept.empty()) return {};
  const uint32_t K = static_cast<uint32_t>(kept.size());

  // The kept cliques of each node, in ascending clique number.
  const size_t bound = st.node_bound();
  std::vector<size_t> start(bound + 1, 0);
  for (uint32_t i = 0; i < K; ++i)
    for (NodeIndex v : all[kept[i]]) ++start[v + 1];
  std::partial_sum(start.begin(), start.end(), start.begin());
  std::vector<uint32_t> of_node(start[bound]);
  {
    std::vector<size_t> at(start.begin(), start.end() - 1);
    for (uint32_t i = 0; i < K; ++i)
      for (NodeIndex v : all[kept[i]]) of_node[at[v]++] = i;
  }

  // Two cliques share as many members as the member lists of the first
  // name the second; cliques sharing none cannot be joined, as k - 1 >= 1.
  DisjointSets sets(K);
  SparseAccumulator<uint64_t> shared(K);
  Poller poll;
  for (uint32_t i = 0; i < K; ++i) {
    for (NodeIndex v : all[kept[i]])
      for (size_t x = start[v]; x < start[v + 1]; ++x)
        if (of_node[x] > i) ++shared[of_node[x]];
    poll(all[kept[i]].size() + shared.keys().size());
    for (uint32_t j : shared.keys())
      if (shared.get(j) >= k - 1) sets.unite(i, j);
    shared.clear();
  }

  // Groups in order of their first clique; each the union of its cliques.
  std::vector<uint32_t> group_of_root(K, END);
  std::vector<std::vector<uint32_t>> group_cliques;
  for (uint32_t i = 0; i < K; ++i) {
    uint32_t& gid = group_of_root[sets.find(i)];
    if (gid == END) {
      gid = static_cast<uint32_t>(group_cliques.size());
      group_cliques.emplace_back();
    }
    group_cliques[gid].push_back(i);
  }
  NodeGroups groups;
  std::vector<uint32_t> stamp(bound, END);
  for (uint32_t gid = 0; gid < group_cliques.size(); ++gid) {
    for (uint32_t i : group_cliques[gid])
      for (NodeIndex v : all[kept[i]])
        if (stamp[v] != gid) {
          stamp[v] = gid;
          groups.members.push_back(v);
        }
    groups.close_group();
  }
  sort_community_list(st, groups);
  return groups;
}

}  // namespace qg
