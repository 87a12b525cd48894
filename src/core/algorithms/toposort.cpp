#include "core/algorithms/toposort.h"

namespace qg {

ToposortResult toposort(const GraphStorage& st) {
  ToposortResult result;
  const size_t bound = st.node_bound();
  std::vector<uint8_t> state(bound, 0);  // bit 1: discovered, bit 2: finished
  std::vector<NodeIndex> finish;
  finish.reserve(st.node_count);
  std::vector<NodeIndex> stack;
  for (NodeIndex root = 0; root < bound; ++root) {
    if (!st.nodes[root].live() || (state[root] & 1)) continue;
    stack.push_back(root);
    while (!stack.empty()) {
      NodeIndex x = stack.back();
      if (!(state[x] & 1)) {
        state[x] |= 1;
        for (EdgeIndex e = st.first_out(x); e != END; e = st.next_out(e)) {
          NodeIndex t = st.target(e);
          if (t == x) {
            result.cycle_node = x;
            return result;
          }
          if (!(state[t] & 1)) stack.push_back(t);
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
  // Cycle check: every edge must lead forward in the order.
  std::vector<uint8_t> seen(bound, 0);
  for (NodeIndex i : result.order) {
    seen[i] = 1;
    NodeIndex last_kept = END;
    for (EdgeIndex e = st.first_in(i); e != END; e = st.next_in(e)) {
      NodeIndex s = st.source(e);
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
