#include "core/algorithms/centrality.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <utility>

#include "core/algorithms/adjacency.h"
#include "core/common/interrupt.h"

// Sums and products are evaluated as written, one rounding each: no fused
// multiply-add, so scores are the same on every target.
#if defined(__clang__)
#pragma clang fp contract(off)
#endif

namespace qg {

namespace {

std::vector<NodeIndex> live_nodes(const GraphStorage& st) {
  std::vector<NodeIndex> live;
  live.reserve(st.node_count());
  for (size_t n = 0; n < st.node_bound(); ++n)
    if (st.live(n)) live.push_back(static_cast<NodeIndex>(n));
  return live;
}

Scores zero_scores(const std::vector<NodeIndex>& live) {
  Scores out;
  out.reserve(live.size());
  for (NodeIndex v : live) out.emplace_back(v, 0.0);
  return out;
}

// Neighbour runs of every live node packed back to back: node v's run is
// nbr[offset[v] .. offset[v + 1]). The iterations of eigenvector centrality
// and PageRank read these instead of the nodes' own lists.
struct Packed {
  std::vector<uint32_t> offset;
  std::vector<NodeIndex> nbr;
  std::span<const NodeIndex> operator[](NodeIndex v) const noexcept {
    return {nbr.data() + offset[v], nbr.data() + offset[v + 1]};
  }
};

// Directed: the sources of v's incoming list, newest first. Undirected: the
// undirected neighbour walk (out targets, then in sources without loops).
Packed pack_in_neighbours(const Graph& g) {
  const GraphStorage& st = g.storage();
  const size_t bound = st.node_bound();
  Packed p;
  p.offset.assign(bound + 1, 0);
  uint32_t total = 0;
  for (size_t n = 0; n < bound; ++n) {
    p.offset[n] = total;
    if (!st.live(n)) continue;
    total += g.directed() ? st.in_degree(n) : st.undirected_degree(n);
  }
  p.offset[bound] = total;
  p.nbr.resize(total);
  for (size_t n = 0; n < bound; ++n) {
    if (!st.live(n)) continue;
    uint32_t at = p.offset[n];
    auto v = static_cast<NodeIndex>(n);
    if (g.directed()) {
      for (const AdjEntry& a : st.newest_in(v)) p.nbr[at++] = a.other;
    } else {
      for_each_successor(st, false, v, [&](NodeIndex w, EdgeIndex) { p.nbr[at++] = w; });
    }
  }
  return p;
}

// Per-source state of the betweenness accumulation, reused across sources.
// Only the entries of the nodes reached from a source are touched, and they
// are reset before the next source.
struct BrandesState {
  std::vector<double> sigma, delta, scale;
  std::vector<int64_t> dist;
  std::vector<uint32_t> pos;     // a reached node's place in `order`
  std::vector<NodeIndex> order;  // breadth-first order; read backwards, the stack
  std::vector<std::pair<NodeIndex, NodeIndex>> links;  // (w, v): v precedes w
  std::vector<uint32_t> pred_start;                    // by place in `order`
  std::vector<NodeIndex> preds;                        // each node's predecessors, in list order

  explicit BrandesState(size_t bound)
      : sigma(bound, 0.0), delta(bound, 0.0), dist(bound, -1), pos(bound, 0) {}

  std::span<const NodeIndex> preds_of(uint32_t place) const noexcept {
    return {preds.data() + pred_start[place], preds.data() + pred_start[place + 1]};
  }

  // Groups `links` by their w, each group in the order its links were made.
  void group_predecessors() {
    const size_t k = order.size();
    pred_start.assign(k + 1, 0);
    for (const auto& [w, v] : links) ++pred_start[pos[w] + 1];
    for (size_t i = 0; i < k; ++i) pred_start[i + 1] += pred_start[i];
    preds.resize(links.size());
    std::vector<uint32_t>& fill = fill_;
    fill.assign(pred_start.begin(), pred_start.end() - 1);
    for (const auto& [w, v] : links) preds[fill[pos[w]]++] = v;
  }

  // Path counts too large for a double: recounts them level by level, each
  // level divided by its largest count, which `scale` keeps per node. Then
  // sigma(v) / sigma(w) for a predecessor v of w is
  // sigma(v) / (sigma(w) * scale(w)), all terms finite.
  void rescale_counts() {
    if (scale.size() < sigma.size()) scale.assign(sigma.size(), 1.0);
    const size_t k = order.size();
    scale[order[0]] = 1.0;
    for (size_t a = 1; a < k;) {
      size_t b = a;
      double top = 0.0;
      for (; b < k && dist[order[b]] == dist[order[a]]; ++b) {
        double raw = 0.0;
        for (NodeIndex v : preds_of(static_cast<uint32_t>(b))) raw += sigma[v];
        sigma[order[b]] = raw;
        top = std::max(top, raw);
      }
      if (top <= 0.0) top = 1.0;
      for (size_t i = a; i < b; ++i) {
        sigma[order[i]] /= top;
        scale[order[i]] = top;
      }
      a = b;
    }
  }

 private:
  std::vector<uint32_t> fill_;
};

}  // namespace

void rank_descending(Scores& scores) {
  std::stable_sort(scores.begin(), scores.end(),
                   [](const auto& a, const auto& b) { return b.second < a.second; });
}

Scores degree_centrality_core(const Graph& g, DegreeKind kind) {
  const GraphStorage& st = g.storage();
  std::vector<NodeIndex> live = live_nodes(st);
  const size_t n = live.size();
  if (n < 2) return zero_scores(live);
  const double denom = static_cast<double>(n - 1);
  if (!g.directed()) kind = DegreeKind::Total;
  Scores out;
  out.reserve(n);
  for (NodeIndex v : live) {
    size_t d = kind == DegreeKind::In    ? st.in_degree(v)
               : kind == DegreeKind::Out ? st.out_degree(v)
                                         : degree_of(g, v);
    out.emplace_back(v, static_cast<double>(d) / denom);
  }
  return out;
}

// The breadth-first searches run 64 sources at a time: each node carries a
// word whose bit j says that source j has reached it, and one pass over the
// frontier's edges advances all 64 searches by a level. Distances are whole
// numbers, so their sum is exact (below 2^53) in whatever order it is
// taken, and r / total equals the one-search-at-a-time figure.
Scores closeness_centrality_core(const Graph& g) {
  const GraphStorage& st = g.storage();
  std::vector<NodeIndex> live = live_nodes(st);
  Scores out;
  out.reserve(live.size());
  if (live.empty()) return out;
  const size_t bound = st.node_bound();
  std::vector<uint64_t> seen(bound, 0), frontier(bound, 0), next(bound, 0);
  std::vector<NodeIndex> cur, touched, reached_nodes;
  Poller poll;
  with_successors(g, false, [&](auto&& succ) {
    for (size_t first = 0; first < live.size(); first += 64) {
      const size_t k = std::min<size_t>(64, live.size() - first);
      uint64_t reached[64] = {}, total[64] = {};
      cur.clear();
      reached_nodes.clear();
      for (size_t j = 0; j < k; ++j) {
        NodeIndex s = live[first + j];
        seen[s] |= uint64_t{1} << j;
        frontier[s] |= uint64_t{1} << j;
        cur.push_back(s);
        reached_nodes.push_back(s);
      }
      for (uint64_t depth = 1; !cur.empty(); ++depth) {
        touched.clear();
        for (NodeIndex v : cur) {
          const uint64_t f = frontier[v];
          poll();
          succ(v, [&](NodeIndex w, EdgeIndex) {
            if (next[w] == 0) touched.push_back(w);
            next[w] |= f;
          });
        }
        for (NodeIndex v : cur) frontier[v] = 0;
        cur.clear();
        for (NodeIndex w : touched) {
          const uint64_t fresh = next[w] & ~seen[w];
          next[w] = 0;
          if (!fresh) continue;
          if (!seen[w]) reached_nodes.push_back(w);
          seen[w] |= fresh;
          frontier[w] = fresh;
          cur.push_back(w);
          for (uint64_t bits = fresh; bits; bits &= bits - 1) {
            const int j = std::countr_zero(bits);
            ++reached[j];
            total[j] += depth;
          }
        }
      }
      for (NodeIndex v : reached_nodes) seen[v] = 0;
      for (size_t j = 0; j < k; ++j) {
        double score = (reached[j] > 0 && total[j] > 0)
                           ? static_cast<double>(reached[j]) / static_cast<double>(total[j])
                           : 0.0;
        out.emplace_back(live[first + j], score);
      }
    }
  });
  return out;
}

Scores betweenness_centrality_core(const Graph& g, bool normalized) {
  const GraphStorage& st = g.storage();
  std::vector<NodeIndex> live = live_nodes(st);
  const size_t n = live.size();
  if (n < 3) return zero_scores(live);
  std::vector<double> cb(st.node_bound(), 0.0);
  BrandesState b(st.node_bound());
  b.order.reserve(n);
  Poller poll;
  with_successors(g, false, [&](auto&& succ) {
    for (NodeIndex s : live) {
      b.order.clear();
      b.links.clear();
      b.order.push_back(s);
      b.sigma[s] = 1.0;
      b.dist[s] = 0;
      b.pos[s] = 0;
      bool overflow = false;
      for (size_t head = 0; head < b.order.size(); ++head) {
        const NodeIndex v = b.order[head];
        poll(2);  // the walk to v's successors and the way back
        const int64_t next = b.dist[v] + 1;
        const double sv = b.sigma[v];
        succ(v, [&](NodeIndex w, EdgeIndex) {
          if (b.dist[w] < 0) {
            b.dist[w] = next;
            b.pos[w] = static_cast<uint32_t>(b.order.size());
            b.order.push_back(w);
          }
          if (b.dist[w] == next) {
            b.sigma[w] += sv;
            overflow |= std::isinf(b.sigma[w]);
            b.links.emplace_back(w, v);
          }
        });
      }
      b.group_predecessors();
      if (overflow) b.rescale_counts();
      for (size_t i = b.order.size(); i-- > 0;) {
        const NodeIndex w = b.order[i];
        const double sw = b.sigma[w];
        const double dw = b.delta[w];
        if (!overflow) {
          for (NodeIndex v : b.preds_of(static_cast<uint32_t>(i))) {
            double t = b.sigma[v] / sw;
            t = t * (dw + 1.0);
            b.delta[v] = b.delta[v] + t;
          }
        } else {
          const double denom = sw * b.scale[w];
          for (NodeIndex v : b.preds_of(static_cast<uint32_t>(i))) {
            double t = denom > 0.0 ? b.sigma[v] / denom : 0.0;
            t = t * (dw + 1.0);
            b.delta[v] = b.delta[v] + t;
          }
        }
        if (w != s) cb[w] += dw;
      }
      for (NodeIndex v : b.order) {
        b.sigma[v] = 0.0;
        b.delta[v] = 0.0;
        b.dist[v] = -1;
      }
    }
  });
  Scores out;
  out.reserve(n);
  const uint64_t pairs = static_cast<uint64_t>(n - 1) * static_cast<uint64_t>(n - 2);
  double denom = static_cast<double>(pairs);
  if (!g.directed()) denom = denom / 2.0;
  for (NodeIndex v : live) {
    double c = cb[v];
    if (!g.directed()) c = c * 0.5;
    if (normalized) c = c / denom;
    out.emplace_back(v, c);
  }
  return out;
}

Scores eigenvector_centrality_core(const Graph& g, uint64_t iterations, double tolerance) {
  const GraphStorage& st = g.storage();
  std::vector<NodeIndex> live = live_nodes(st);
  Scores out;
  out.reserve(live.size());
  if (live.empty()) return out;
  const size_t bound = st.node_bound();
  std::vector<double> x(bound, 0.0), next(bound, 0.0);
  const double start = 1.0 / std::sqrt(static_cast<double>(live.size()));
  for (NodeIndex v : live) x[v] = start;
  if (iterations > 0) {
    const Packed in = pack_in_neighbours(g);
    Poller poll;
    for (uint64_t done = 0; done < iterations;) {
      double norm2 = 0.0;
      for (NodeIndex v : live) {
        poll(1 + in[v].size());
        double s = 0.0;
        for (NodeIndex u : in[v]) s += x[u];
        next[v] = s;
      }
      for (NodeIndex v : live) norm2 += next[v] * next[v];
      if (norm2 > 0.0) {
        const double norm = std::sqrt(norm2);
        for (NodeIndex v : live) next[v] /= norm;
      }
      double diff2 = 0.0;
      for (NodeIndex v : live) {
        const double d = next[v] - x[v];
        diff2 += d * d;
      }
      const double diff = std::sqrt(diff2);
      x.swap(next);
      ++done;
      if (diff < tolerance) break;
    }
  }
  for (NodeIndex v : live) out.emplace_back(v, x[v]);
  return out;
}

Result<Scores> pagerank_core(const Graph& g, double damping_factor, uint64_t iterations) {
  // Outside [0, 1] the rescaled ranks alternate in sign and grow by about a
  // factor d per round, soon reaching inf and then NaN.
  if (!(damping_factor >= 0.0 && damping_factor <= 1.0))
    return Err(ErrorKind::Refused, "damping_factor must be between 0 and 1");
  const GraphStorage& st = g.storage();
  std::vector<NodeIndex> live = live_nodes(st);
  Scores out;
  const size_t n = live.size();
  out.reserve(n);
  if (n == 0) return out;
  const size_t bound = st.node_bound();
  const double big_n = static_cast<double>(n);
  std::vector<double> rank(bound, 0.0);
  for (NodeIndex v : live) rank[v] = 1.0 / big_n;
  if (iterations > 0) {
    // Out-counts and, per node, the sources of the edges that pass it rank,
    // in edge-index order; on an undirected graph each edge passes rank
    // both ways (a self-loop once).
    std::vector<uint32_t> outc(bound, 0);
    std::vector<uint32_t> start(bound + 1, 0);
    uint32_t total = 0;
    for (size_t v = 0; v < bound; ++v) {
      start[v] = total;
      if (!st.live(v)) continue;
      if (g.directed()) {
        outc[v] = st.out_degree(v);
        total += st.in_degree(v);
      } else {
        outc[v] = st.undirected_degree(v);
        total += outc[v];
      }
    }
    start[bound] = total;
    std::vector<NodeIndex> sources(total);
    {
      // The lists hold edges in insertion order, which is edge-index order
      // unless a reused slot gave a newer edge a lower index: such a run is
      // sorted by edge index.
      std::vector<AdjEntry> run;
      auto by_edge = [](const AdjEntry& a, const AdjEntry& b) { return a.edge < b.edge; };
      for (NodeIndex v : live) {
        run.clear();
        for (const AdjEntry& a : st.in_list(v).entries())
          if (a.live()) run.push_back(a);
        if (!g.directed()) {
          for (const AdjEntry& a : st.out_list(v).entries())
            if (a.live() && a.other != v) run.push_back(a);
        }
        if (!std::is_sorted(run.begin(), run.end(), by_edge))
          std::sort(run.begin(), run.end(), by_edge);
        uint32_t at = start[v];
        for (const AdjEntry& a : run) sources[at++] = a.other;
      }
    }
    std::vector<NodeIndex> dangling;
    for (NodeIndex v : live)
      if (outc[v] == 0) dangling.push_back(v);
    std::vector<double> share(bound, 0.0), next(bound, 0.0);
    const double d = damping_factor;
    Poller poll;
    for (uint64_t it = 0; it < iterations; ++it) {
      double mass = 0.0;
      for (NodeIndex u : dangling) mass += rank[u];
      const double base = (1.0 - d) / big_n + (d * mass) / big_n;
      for (NodeIndex u : live)
        if (outc[u] > 0) share[u] = rank[u] / static_cast<double>(outc[u]);
      double total = 0.0;
      for (NodeIndex v : live) {
        poll(1 + start[v + 1] - start[v]);
        double s = 0.0;
        for (uint32_t i = start[v], end = start[v + 1]; i < end; ++i) s += share[sources[i]];
        next[v] = base + d * s;
      }
      for (NodeIndex v : live) total += next[v];
      if (total > 0.0)
        for (NodeIndex v : live) next[v] /= total;
      rank.swap(next);
    }
  }
  for (NodeIndex v : live) out.emplace_back(v, rank[v]);
  return out;
}

}  // namespace qg
