#include "core/algorithms/toposort.h"

#include "core/algorithms/adjacency.h"

namespace qg {

ToposortResult toposort(const GraphStorage& st) {
  ToposortResult result;
  const size_t bound = st.node_bound();
  std::vector<uint8_t> state(bound, 0);  // bit 1: discovered, bit 2: finished
  std::vector<NodeIndex> finish;
  finish.reserve(st.node_count());
  std::vector<NodeIndex> stack;
  // Out-lists from packed arrays on large graphs (same order).
  SuccessorCsr csr;
  const bool packed = build_successor_csr(st, true, csr, false);
  auto for_out = [&](NodeIndex x, auto&& f) {
    if (packed) {
      for (uint32_t i = csr.offset[x], end = csr.offset[x + 1]; i < end; ++i)
        if (!f(csr.nbr[i])) return;
    } else {
      for (const AdjEntry& e : st.newest_out(x))
        if (!f(e.other)) return;
    }
  };
  for (NodeIndex root = 0; root < bound; ++root) {
    if (!st.live(root) || (state[root] & 1)) continue;
    stack.push_back(root);
    while (!stack.empty()) {
      NodeIndex x = stack.back();
      if (!(state[x] & 1)) {
        state[x] |= 1;
        bool self_loop = false;
        for_out(x, [&](NodeIndex t) {
          if (t == x) return !(self_loop = true);
          if (!(state[t] & 1)) stack.push_back(t);
          return true;
        });
        if (self_loop) {
          result.cycle_node = x;
          return result;
        }
      } else {
        stack.pop_back();
        if (!(state[x] & 2)) {
          state[x] |= 2;
          finish.push_back(x);
        }
      }
    }
  }
  result.order.assign(finish.rbegin(), finish.rend());
  // Cycle check: every edge must lead forward in the order. One sequential
  // pass over the edge slots settles it; only when some edge leads backward
  // does the walk below find the node to name.
  std::vector<uint32_t> position(bound, 0);
  for (size_t i = 0; i < result.order.size(); ++i)
    position[result.order[i]] = static_cast<uint32_t>(i);
  bool backward = false;
  for (const EdgeView e : st.live_edges()) {
    if (position[e.source] > position[e.target]) {
      backward = true;
      break;
    }
  }
  if (!backward) return result;
  std::vector<uint8_t> seen(bound, 0);
  for (NodeIndex i : result.order) {
    seen[i] = 1;
    NodeIndex last_kept = END;
    for (const AdjEntry& e : st.newest_in(i)) {
      NodeIndex s = e.other;
      if (!seen[s]) last_kept = s;
    }
    if (last_kept != END) {
      result.order.clear();
      result.cycle_node = last_kept;
      return result;
    }
  }
  return result;
}

}  // namespace qg
