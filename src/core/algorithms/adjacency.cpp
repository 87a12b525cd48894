#include "core/algorithms/adjacency.h"

namespace qg {

bool build_successor_csr(const GraphStorage& st, bool directed, SuccessorCsr& out,
                         bool with_edges) {
  if (st.edge_count < 4096 || st.edges.size() >= UINT32_MAX / 2) return false;
  const size_t bound = st.node_bound();
  const bool undirected = !directed;
  // Pass 1: the order check and the run lengths (out part, then in part).
  std::vector<uint32_t> out_len(bound + 1, 0), in_len(undirected ? bound : 0, 0);
  const EdgeIndex slots = static_cast<EdgeIndex>(st.edges.size());
  for (EdgeIndex e = 0; e < slots; ++e) {
    const EdgeSlot& es = st.edges[e];
    if (!es.live()) continue;
    if ((es.next[0] != END && es.next[0] >= e) || (es.next[1] != END && es.next[1] >= e))
      return false;
    ++out_len[es.node[0]];
    if (undirected && es.node[0] != es.node[1]) ++in_len[es.node[1]];
  }
  out.offset.assign(bound + 1, 0);
  uint32_t total = 0;
  for (size_t n = 0; n < bound; ++n) {
    out.offset[n] = total;
    total += out_len[n] + (undirected ? in_len[n] : 0);
  }
  out.offset[bound] = total;
  // Cursors: out part from the run's start, in part after the out part.
  std::vector<uint32_t> out_at(bound), in_at(undirected ? bound : 0);
  for (size_t n = 0; n < bound; ++n) {
    out_at[n] = out.offset[n];
    if (undirected) in_at[n] = out.offset[n] + out_len[n];
  }
  out.nbr.resize(total);
  if (with_edges) out.edge.resize(total);
  // Pass 2: newest (highest) index first, as the lists run.
  for (EdgeIndex e = slots; e-- > 0;) {
    const EdgeSlot& es = st.edges[e];
    if (!es.live()) continue;
    NodeIndex u = es.node[0], v = es.node[1];
    uint32_t at = out_at[u]++;
    out.nbr[at] = v;
    if (with_edges) out.edge[at] = e;
    if (undirected && u != v) {
      uint32_t back = in_at[v]++;
      out.nbr[back] = u;
      if (with_edges) out.edge[back] = e;
    }
  }
  return true;
}

}  // namespace qg
