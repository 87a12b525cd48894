#include "core/algorithms/adjacency.h"

namespace qg {

bool build_successor_csr(const GraphStorage& st, bool directed, SuccessorCsr& out,
                         bool with_edges) {
  if (st.edge_count() < 4096 || st.edge_bound() >= UINT32_MAX / 2) return false;
  const size_t bound = st.node_bound();
  out.offset.assign(bound + 1, 0);
  uint32_t total = 0;
  for (size_t n = 0; n < bound; ++n) {
    out.offset[n] = total;
    if (!st.live(n)) continue;
    total += directed ? st.out_degree(n) : st.undirected_degree(n);
  }
  out.offset[bound] = total;
  out.nbr.resize(total);
  if (with_edges) out.edge.resize(total);
  for (size_t n = 0; n < bound; ++n) {
    if (!st.live(n)) continue;
    uint32_t at = out.offset[n];
    auto put = [&](const AdjEntry& a) {
      out.nbr[at] = a.other;
      if (with_edges) out.edge[at] = a.edge;
      ++at;
    };
    for (const AdjEntry& a : st.newest_out(static_cast<NodeIndex>(n))) put(a);
    if (!directed) {
      for (const AdjEntry& a : st.newest_in(static_cast<NodeIndex>(n)))
        if (a.other != n) put(a);
    }
  }
  return true;
}

}  // namespace qg
