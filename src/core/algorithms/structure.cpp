#include "core/algorithms/structure.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "core/common/interrupt.h"

namespace qg {

namespace {

constexpr uint32_t kUnset = UINT32_MAX;

// The i-th slot of n's undirected view: out-list newest first, then the
// in-list newest first, removed marks included. Returns nullptr for a
// removed mark and for an in-list self-loop entry (a self-loop is seen
// once, from the out-list).
inline const AdjEntry* view_entry(const GraphStorage& st, NodeIndex n, uint32_t i) {
  std::span<const AdjEntry> out = st.out_list(n).entries();
  const AdjEntry* a;
  if (i < out.size()) {
    a = &out[out.size() - 1 - i];
  } else {
    std::span<const AdjEntry> in = st.in_list(n).entries();
    a = &in[in.size() - 1 - (i - out.size())];
    if (a->other == n) return nullptr;
  }
  return a->live() ? a : nullptr;
}

// Slots of n's undirected view (view_entry's range); out_slots: of its
// out-list alone.
inline uint32_t view_size(const GraphStorage& st, NodeIndex n) {
  return st.out_list(n).used() + st.in_list(n).used();
}
inline uint32_t out_slots(const GraphStorage& st, NodeIndex n) { return st.out_list(n).used(); }

// ---- Low-link walk shared by bridges and articulation points ----

// One depth-first walk of the undirected view from every undiscovered live
// node in node order. A node's low value is the smallest discovery time
// reachable through its subtree and one non-tree edge. Only the very edge
// that discovered a node is skipped on the way back, so a parallel twin of a
// tree edge counts as a back edge (a doubled edge is no bridge).
struct LowLink {
  std::vector<uint8_t> bridge;  // per edge slot
  std::vector<uint8_t> cut;     // per node slot
};

LowLink low_link(const GraphStorage& st) {
  const size_t bound = st.node_bound();
  LowLink out;
  out.bridge.assign(st.edge_bound(), 0);
  out.cut.assign(bound, 0);
  std::vector<uint32_t> disc(bound, kUnset), low(bound, kUnset);
  struct Frame {
    NodeIndex node;
    uint32_t pos;
    EdgeIndex via;  // the tree edge that discovered node; END for a root
    uint32_t children;
  };
  std::vector<Frame> stack;
  uint32_t clock = 0;
  for (NodeIndex root = 0; root < bound; ++root) {
    if (!st.live(root) || disc[root] != kUnset) continue;
    disc[root] = low[root] = clock++;
    stack.push_back({root, 0, END, 0});
    while (!stack.empty()) {
      Frame& f = stack.back();
      const NodeIndex n = f.node;
      if (f.pos < view_size(st, n)) {
        const AdjEntry* a = view_entry(st, n, f.pos++);
        if (!a || a->edge == f.via) continue;
        const NodeIndex w = a->other;
        if (disc[w] != kUnset) {
          low[n] = std::min(low[n], disc[w]);
        } else {
          ++f.children;
          disc[w] = low[w] = clock++;
          stack.push_back({w, 0, a->edge, 0});  // f is not used after this
        }
        continue;
      }
      const Frame done = f;
      stack.pop_back();
      if (stack.empty()) {
        if (done.children > 1) out.cut[n] = 1;
        continue;
      }
      const NodeIndex p = stack.back().node;
      low[p] = std::min(low[p], low[n]);
      if (low[n] > disc[p]) out.bridge[done.via] = 1;
      if (stack.size() > 1 && low[n] >= disc[p]) out.cut[p] = 1;
    }
  }
  return out;
}

// ---- Greedy matching ----

// Mate per node slot (END: none). `both` reads both adjacency lists;
// otherwise out-edges only.
std::vector<NodeIndex> greedy_mates(const GraphStorage& st, bool both, size_t extra = 0) {
  const size_t bound = st.node_bound();
  std::vector<NodeIndex> mate(bound + extra, END);
  std::vector<uint8_t> visited(bound, 0);
  for (NodeIndex s = 0; s < bound; ++s) {
    if (!st.live(s) || visited[s]) continue;
    NodeIndex pending = s, cur = s;
    for (;;) {
      visited[cur] = 1;
      NodeIndex t = END;
      const uint32_t size = both ? view_size(st, cur) : out_slots(st, cur);
      for (uint32_t i = 0; i < size; ++i) {
        const AdjEntry* a = view_entry(st, cur, i);
        if (a && !visited[a->other]) {
          t = a->other;
          break;
        }
      }
      if (t == END) break;
      if (pending != END) {
        mate[pending] = t;
        mate[t] = pending;
        pending = END;
      } else {
        pending = t;
      }
      cur = t;
    }
  }
  return mate;
}

NodePairs mate_pairs(const std::vector<NodeIndex>& mate, size_t bound) {
  NodePairs pairs;
  for (NodeIndex a = 0; a < bound; ++a)
    if (mate[a] != END && mate[a] > a) pairs.emplace_back(a, mate[a]);
  return pairs;
}

// ---- Maximum matching (Gabow) ----

// Labels make a node outer (start, vertex, edge) or leave it inner (none,
// flag). A vertex label names the outer node whose edge reached the mate of
// this node; an edge label names the blossom edge (a, b); a flag marks the
// inner nodes passed while two paths look for their join. The slot `dummy`
// (= node bound) stands for "no mate" and ends every path.
class Gabow {
 public:
  explicit Gabow(const GraphStorage& st)
      : st_(st),
        bound_(st.node_bound()),
        dummy_(static_cast<NodeIndex>(bound_)),
        mate_(greedy_mates(st, true, 1)),
        kind_(bound_ + 1, kNone),
        la_(bound_ + 1, 0),
        lb_(bound_ + 1, 0),
        first_inner_(bound_ + 1, END),
        visit_(bound_ + 1, 0),
        touch_(bound_ + 1, 0),
        dead_(bound_ + 1, 0) {}

  NodePairs run() {
    for (NodeIndex s = 0; s < bound_; ++s) {
      if (!st_.live(s) || mate_[s] != END) continue;
      search(s);
    }
    return mate_pairs(mate_, bound_);
  }

 private:
  enum : uint8_t { kNone, kStart, kVertex, kEdge, kFlag };

  bool outer(NodeIndex v) const {
    return kind_[v] == kStart || kind_[v] == kVertex || kind_[v] == kEdge;
  }
  void label(NodeIndex v, uint8_t kind, uint32_t a, uint32_t b = 0) {
    kind_[v] = kind;
    la_[v] = a;
    lb_[v] = b;
    if (touch_[v] != round_) {
      touch_[v] = round_;
      touched_.push_back(v);
    }
  }
  // Marks a real node visited; true the first time in this search.
  bool visit(NodeIndex v) {
    if (v == dummy_ || visit_[v] == round_) return false;
    visit_[v] = round_;
    return true;
  }
  // The inner node that follows inner node v on its path to the start.
  NodeIndex next_inner(NodeIndex v) {
    const NodeIndex m = mate_[v];
    if (v == dummy_ || m == END || kind_[m] != kVertex)
      throw InternalFault("matching: broken path");
    return first_inner(la_[m]);
  }

  void search(NodeIndex s) {
    ++round_;
    touched_.clear();
    label(s, kStart, 0);
    first_inner_[s] = dummy_;
    visit(s);
    queue_.clear();
    queue_.push_back(s);
    bool augmented = false;
    for (size_t head = 0; head < queue_.size() && !augmented; ++head) {
      const NodeIndex o = queue_[head];
      const uint32_t size = view_size(st_, o);
      poll_(1 + size);
      for (uint32_t i = 0; i < size && !augmented; ++i) {
        const AdjEntry* a = view_entry(st_, o, i);
        if (!a || a->other == o || dead_[a->other]) continue;
        const NodeIndex w = a->other;
        if (mate_[w] == END && w != s) {
          mate_[w] = o;
          augment(o, w);
          augmented = true;
        } else if (outer(w)) {
          find_join(o, w);
        } else {
          const NodeIndex m = mate_[w] == END ? dummy_ : mate_[w];
          if (!outer(m)) {
            label(m, kVertex, o);
            first_inner_[m] = w;
          }
          if (visit(m)) queue_.push_back(m);
        }
      }
    }
    for (NodeIndex v : touched_) kind_[v] = kNone;
    if (augmented) return;
    // No augmenting path from s: its tree (the outer nodes reached and their
    // mates) cannot lie on any later augmenting path either, as augmenting
    // elsewhere never opens one through it. Later searches pass it by, so a
    // failed search costs its tree once instead of once per free node.
    for (NodeIndex v : queue_) {
      dead_[v] = 1;
      if (mate_[v] != END) dead_[mate_[v]] = 1;
    }
  }

  // Blossom edge (src, tgt) between two outer nodes: walk both paths of
  // inner nodes alternately until one meets a node flagged by the other,
  // then label every inner node before that join with the edge.
  void find_join(NodeIndex src, NodeIndex tgt) {
    NodeIndex left = first_inner(src), right = first_inner(tgt);
    if (left == right) return;
    const uint32_t flag = ++flag_round_;
    label(left, kFlag, flag);
    label(right, kFlag, flag);
    NodeIndex join;
    for (size_t steps = 0;; ++steps) {
      if (steps > 2 * (bound_ + 2)) throw InternalFault("matching: no join");
      poll_();
      if (right != dummy_) std::swap(left, right);
      left = next_inner(left);
      if (kind_[left] == kFlag && la_[left] == flag) {
        join = left;
        break;
      }
      label(left, kFlag, flag);
    }
    for (NodeIndex end : {src, tgt}) {
      NodeIndex inner = first_inner(end);
      for (size_t steps = 0; inner != join; ++steps) {
        if (steps > bound_ + 2) throw InternalFault("matching: path misses join");
        poll_();
        if (visit(inner)) queue_.push_back(inner);
        const NodeIndex next = next_inner(inner);
        label(inner, kEdge, src, tgt);
        first_inner_[inner] = join;
        inner = next;
      }
    }
  }

  // The first inner node on outer node v's path. A blossom turns the inner
  // nodes on its paths outer and points them at its join; an outer node
  // whose stored first inner node has turned outer since follows those
  // pointers to the inner node they end at (and keeps it). This is the same
  // as re-pointing every such node at each blossom, without a pass over
  // the whole tree per blossom.
  NodeIndex first_inner(NodeIndex v) {
    NodeIndex r = first_inner_[v];
    while (r != dummy_ && outer(r)) r = first_inner_[r];
    for (NodeIndex x = v; first_inner_[x] != r;) {
      const NodeIndex next = first_inner_[x];
      first_inner_[x] = r;
      x = next;
    }
    return r;
  }

  // Rematches along the alternating path that ends with the new pair (o, w).
  void augment(NodeIndex o, NodeIndex w) {
    std::vector<std::pair<NodeIndex, NodeIndex>>& todo = augment_stack_;
    todo.clear();
    todo.emplace_back(o, w);
    size_t steps = 0;
    while (!todo.empty()) {
      auto [x, y] = todo.back();
      todo.pop_back();
      for (;;) {
        if (++steps > 8 * (bound_ + 2)) throw InternalFault("matching: augment does not end");
        poll_();
        const NodeIndex t = mate_[x];
        mate_[x] = y;
        if (t == END || mate_[t] != x) break;
        if (kind_[x] == kVertex) {
          const NodeIndex v = la_[x];
          mate_[t] = v;
          x = v;
          y = t;
          continue;
        }
        if (kind_[x] == kEdge) {
          const NodeIndex a = la_[x], b = lb_[x];
          todo.emplace_back(b, a);
          todo.emplace_back(a, b);
          break;
        }
        throw InternalFault("matching: unexpected label");
      }
    }
  }

  const GraphStorage& st_;
  const size_t bound_;
  const NodeIndex dummy_;
  std::vector<NodeIndex> mate_;
  std::vector<uint8_t> kind_;
  std::vector<uint32_t> la_, lb_;
  std::vector<NodeIndex> first_inner_;
  std::vector<uint32_t> visit_, touch_;  // round stamps
  std::vector<uint8_t> dead_;            // in the tree of a failed search
  std::vector<NodeIndex> touched_, queue_;
  std::vector<std::pair<NodeIndex, NodeIndex>> augment_stack_;
  uint32_t round_ = 0, flag_round_ = 0;
  Poller poll_;
};

// ---- Maximal cliques ----

// Sorted, distinct neighbour lists of the live nodes in compact numbering
// (0 .. n-1 in node order), self-loops dropped, direction ignored.
struct CompactAdjacency {
  std::vector<NodeIndex> node_of;  // compact -> node index
  std::vector<uint32_t> offset;
  std::vector<uint32_t> nbr;
  std::span<const uint32_t> of(uint32_t v) const {
    return {nbr.data() + offset[v], nbr.data() + offset[v + 1]};
  }
  bool adjacent(uint32_t u, uint32_t v) const {
    auto n = of(u);
    return std::binary_search(n.begin(), n.end(), v);
  }
};

CompactAdjacency compact_adjacency(const GraphStorage& st) {
  CompactAdjacency c;
  const size_t bound = st.node_bound();
  std::vector<uint32_t> compact(bound, kUnset);
  for (NodeIndex n = 0; n < bound; ++n) {
    if (!st.live(n)) continue;
    compact[n] = static_cast<uint32_t>(c.node_of.size());
    c.node_of.push_back(n);
  }
  const size_t n = c.node_of.size();
  c.offset.assign(n + 1, 0);
  for (const EdgeView e : st.live_edges()) {
    if (e.source == e.target) continue;
    ++c.offset[compact[e.source] + 1];
    ++c.offset[compact[e.target] + 1];
  }
  for (size_t v = 0; v < n; ++v) c.offset[v + 1] += c.offset[v];
  c.nbr.resize(c.offset[n]);
  std::vector<uint32_t> fill(c.offset.begin(), c.offset.end() - 1);
  for (const EdgeView e : st.live_edges()) {
    if (e.source == e.target) continue;
    const uint32_t a = compact[e.source], b = compact[e.target];
    c.nbr[fill[a]++] = b;
    c.nbr[fill[b]++] = a;
  }
  // Sort and drop repeats in place, packing the lists to the front.
  uint32_t at = 0;
  for (size_t v = 0; v < n; ++v) {
    auto first = c.nbr.begin() + c.offset[v], last = c.nbr.begin() + c.offset[v + 1];
    std::sort(first, last);
    last = std::unique(first, last);
    const uint32_t begin = at;
    for (auto it = first; it != last; ++it) c.nbr[at++] = *it;
    c.offset[v] = begin;
  }
  c.offset[n] = at;
  c.nbr.resize(at);
  return c;
}

// Nodes in a degeneracy order (repeatedly the node of least remaining
// degree), by bucket queue in O(V + E).
std::vector<uint32_t> degeneracy_order(const CompactAdjacency& c) {
  const size_t n = c.node_of.size();
  std::vector<uint32_t> deg(n), pos(n), vert(n);
  uint32_t maxd = 0;
  for (uint32_t v = 0; v < n; ++v)
    maxd = std::max(maxd, deg[v] = static_cast<uint32_t>(c.of(v).size()));
  std::vector<uint32_t> bin(maxd + 1, 0);
  for (uint32_t v = 0; v < n; ++v) ++bin[deg[v]];
  for (uint32_t d = 0, start = 0; d <= maxd; ++d) {
    const uint32_t num = bin[d];
    bin[d] = start;
    start += num;
  }
  for (uint32_t v = 0; v < n; ++v) {
    pos[v] = bin[deg[v]]++;
    vert[pos[v]] = v;
  }
  for (uint32_t d = maxd; d > 0; --d) bin[d] = bin[d - 1];
  bin[0] = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t v = vert[i];
    for (uint32_t u : c.of(v)) {
      if (deg[u] <= deg[v]) continue;
      const uint32_t du = deg[u], pu = pos[u], pw = bin[du], w = vert[pw];
      if (u != w) {
        pos[u] = pw;
        vert[pu] = w;
        pos[w] = pu;
        vert[pw] = u;
      }
      ++bin[du];
      --deg[u];
    }
  }
  return vert;
}

// out = a ∩ b, both sorted.
void intersect(std::span<const uint32_t> a, std::span<const uint32_t> b,
               std::vector<uint32_t>& out) {
  out.clear();
  if (a.size() * 8 < b.size()) {
    for (uint32_t x : a)
      if (std::binary_search(b.begin(), b.end(), x)) out.push_back(x);
  } else {
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  }
}

size_t intersect_count(std::span<const uint32_t> a, std::span<const uint32_t> b) {
  size_t count = 0;
  if (a.size() * 8 < b.size()) {
    for (uint32_t x : a) count += std::binary_search(b.begin(), b.end(), x);
    return count;
  }
  auto i = a.begin(), j = b.begin();
  while (i != a.end() && j != b.end()) {
    if (*i < *j) {
      ++i;
    } else if (*j < *i) {
      ++j;
    } else {
      ++count;
      ++i;
      ++j;
    }
  }
  return count;
}

// Bron-Kerbosch with Tomita's pivot, one subproblem per node of the
// degeneracy order (Eppstein, Löffler, Strash), on an explicit stack whose
// frames keep their buffers between uses.
class CliqueSearch {
 public:
  CliqueSearch(const CompactAdjacency& c, size_t limit, NodeGroups& out)
      : c_(c), limit_(limit), out_(out) {}

  void run() {
    const std::vector<uint32_t> order = degeneracy_order(c_);
    std::vector<uint32_t> rank(order.size());
    for (uint32_t i = 0; i < order.size(); ++i) rank[order[i]] = i;
    for (uint32_t v : order) {
      if (found_ >= limit_) return;
      frame(0).P.clear();
      frame(0).X.clear();
      for (uint32_t u : c_.of(v)) (rank[u] > rank[v] ? frames_[0].P : frames_[0].X).push_back(u);
      r_.assign(1, v);
      solve();
    }
  }

 private:
  struct Frame {
    std::vector<uint32_t> P, X, cand;
    size_t next = 0;
    uint32_t cur = kUnset;  // candidate whose subproblem is running
  };

  Frame& frame(size_t d) {
    if (frames_.size() <= d) frames_.resize(d + 1);
    return frames_[d];
  }

  void emit() {
    const size_t start = out_.members.size();
    for (uint32_t v : r_) out_.members.push_back(c_.node_of[v]);
    std::sort(out_.members.begin() + static_cast<ptrdiff_t>(start), out_.members.end());
    out_.close_group();
    ++found_;
  }

  // Prepares frame d for its candidates; false when it has none to try
  // (then R was emitted if it is maximal).
  bool open(size_t d) {
    Frame& f = frames_[d];
    if (f.P.empty()) {
      if (f.X.empty()) emit();
      return false;
    }
    // Pivot: the node of P or X with the most neighbours in P; no pivot
    // can leave fewer than |P| - 1 candidates, so stop looking there. That
    // search is the work of a subproblem: one poll for it.
    poll_((f.P.size() + f.X.size()) * f.P.size());
    uint32_t pivot = f.P[0];
    size_t best = 0;
    bool have = false;
    for (const std::vector<uint32_t>* set : {&f.P, &f.X}) {
      for (uint32_t u : *set) {
        const size_t k = intersect_count(f.P, c_.of(u));
        if (!have || k > best) {
          have = true;
          best = k;
          pivot = u;
        }
        if (best + 1 >= f.P.size()) break;
      }
      if (best + 1 >= f.P.size()) break;
    }
    f.cand.clear();
    for (uint32_t v : f.P)
      if (!c_.adjacent(pivot, v)) f.cand.push_back(v);
    f.next = 0;
    f.cur = kUnset;
    return true;
  }

  void solve() {
    if (!open(0)) return;
    size_t depth = 1;  // frames in use
    while (depth > 0) {
      const size_t d = depth - 1;
      Frame* f = &frames_[d];
      if (f->cur != kUnset) {
        const uint32_t v = f->cur;
        f->cur = kUnset;
        r_.pop_back();
        f->P.erase(std::lower_bound(f->P.begin(), f->P.end(), v));
        f->X.insert(std::lower_bound(f->X.begin(), f->X.end(), v), v);
      }
      if (found_ >= limit_ || f->next == f->cand.size()) {
        --depth;
        continue;
      }
      const uint32_t v = f->cand[f->next++];
      Frame& child = frame(d + 1);
      f = &frames_[d];  // frame() may have moved the frames
      intersect(f->P, c_.of(v), child.P);
      intersect(f->X, c_.of(v), child.X);
      r_.push_back(v);
      f->cur = v;
      if (open(d + 1)) ++depth;
    }
  }

  const CompactAdjacency& c_;
  const size_t limit_;
  NodeGroups& out_;
  size_t found_ = 0;
  std::vector<Frame> frames_;
  std::vector<uint32_t> r_;
  Poller poll_;
};

}  // namespace

std::vector<EdgeIndex> bridges_core(const Graph& g) {
  const GraphStorage& st = g.storage();
  LowLink ll = low_link(st);
  std::vector<EdgeIndex> out;
  for (EdgeIndex e = 0; e < st.edge_bound(); ++e)
    if (st.edge_live(e) && ll.bridge[e]) out.push_back(e);
  return out;
}

std::vector<NodeIndex> articulation_points_core(const Graph& g) {
  const GraphStorage& st = g.storage();
  LowLink ll = low_link(st);
  std::vector<NodeIndex> out;
  for (NodeIndex n = 0; n < st.node_bound(); ++n)
    if (ll.cut[n]) out.push_back(n);
  std::sort(out.begin(), out.end(), [&](NodeIndex a, NodeIndex b) { return st.id(a) < st.id(b); });
  return out;
}

NodePairs greedy_matching_core(const Graph& g) {
  return mate_pairs(greedy_mates(g.storage(), !g.directed()), g.storage().node_bound());
}

NodePairs maximum_matching_core(const Graph& g) { return Gabow(g.storage()).run(); }

NodeGroups maximal_cliques_core(const Graph& g, size_t limit) {
  NodeGroups out;
  if (limit == 0) return out;
  const CompactAdjacency c = compact_adjacency(g.storage());
  CliqueSearch(c, limit, out).run();
  return out;
}

Result<NodeGroups> maximal_cliques_bounded(const Graph& g, uint64_t max_input_nodes,
                                           uint64_t max_cliques) {
  if (g.node_count() > max_input_nodes) {
    return Err(ErrorKind::Cap,
               "maximal_cliques refuses inputs larger than max_input_nodes=" +
                   std::to_string(max_input_nodes) + " (graph has " +
                   std::to_string(g.node_count()) +
                   " nodes); Bron-Kerbosch's worst case is 3^(N/3) cliques. Raise "
                   "QuorGraphSettings.max_nodes if your input genuinely warrants it.");
  }
  const size_t limit = max_cliques > SIZE_MAX ? SIZE_MAX : static_cast<size_t>(max_cliques);
  return maximal_cliques_core(g, limit);
}

double density_core(const Graph& g) {
  const double n = static_cast<double>(g.node_count());
  if (g.node_count() < 2) return 0.0;
  const double e = static_cast<double>(g.edge_count());
  return g.directed() ? e / ((n - 1) * n) : 2.0 * e / ((n - 1) * n);
}

bool is_bipartite_core(const Graph& g) {
  const GraphStorage& st = g.storage();
  const size_t bound = st.node_bound();
  std::vector<uint8_t> colour(bound, 0);
  std::vector<NodeIndex> queue;
  for (NodeIndex s = 0; s < bound; ++s) {
    if (!st.live(s) || colour[s]) continue;
    colour[s] = 1;
    queue.clear();
    queue.push_back(s);
    for (size_t head = 0; head < queue.size(); ++head) {
      const NodeIndex u = queue[head];
      const uint8_t other = colour[u] == 1 ? 2 : 1;
      bool clash = false;
      for_each_successor(st, false, u, [&](NodeIndex w, EdgeIndex) {
        if (colour[w] == 0) {
          colour[w] = other;
          queue.push_back(w);
        } else if (colour[w] == colour[u]) {
          clash = true;
        }
      });
      if (clash) return false;
    }
  }
  return true;
}

}  // namespace qg
