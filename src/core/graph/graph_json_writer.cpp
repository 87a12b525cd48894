// The graph JSON writer: the layout of graph_json.h, in node and edge order.
#include "core/graph/graph_json.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/graph/json_text.h"

namespace qg {

void write_graph_json(TextOut& out, const GraphRecord& g) {
  const GraphStorage& st = g.inner;
  out.lit("{\"directed\":");
  out.put_bool(g.directed);
  out.lit(",\"multi\":");
  out.put_bool(g.multi);
  out.lit(",\"name\":");
  put_json_string(out, g.name);
  out.lit(",\"nodes\":[");
  // Each node's id is also rendered once into a compact side table, so that
  // the edge loop copies it from there instead of chasing the node slot and
  // the id's text at random for every endpoint.
  constexpr uint64_t kNoRef = ~uint64_t{0};
  const bool table = st.edge_count > 0;
  std::vector<uint64_t> ref;  // offset << 24 | length, or kNoRef
  TextOut ids;
  if (table) ref.assign(st.nodes.size(), kNoRef);
  bool first = true;
  for (size_t i = 0; i < st.nodes.size(); ++i) {
    const NodeSlot& slot = st.nodes[i];
    if (!slot.live()) continue;
    if (!first) out.put(',');
    first = false;
    out.lit("{\"id\":");
    size_t at = out.size();
    put_json_string(out, slot.data.id.view());
    if (table) {
      size_t len = out.size() - at;
      if (len < (size_t{1} << 24) && ids.size() < (uint64_t{1} << 40)) {
        ref[i] = (uint64_t{ids.size()} << 24) | len;
        ids.put(std::string_view(out.data() + at, len));
      }
    }
    out.lit(",\"properties\":");
    put_json_properties(out, slot.data.properties);
    out.put('}');
  }
  out.lit("],\"edges\":[");
  auto put_id = [&](NodeIndex n) {
    uint64_t r = ref[n];
    if (r == kNoRef) {
      put_json_string(out, st.id(n));
    } else {
      size_t len = r & 0xFFFFFF;
      std::memcpy(out.room(len), ids.data() + (r >> 24), len);
      out.commit(len);
    }
  };
  constexpr size_t kAhead = 16;
  first = true;
  const size_t m = st.edges.size();
  for (size_t i = 0; i < m; ++i) {
    if (i + kAhead < m) {
      const EdgeSlot& ahead = st.edges[i + kAhead];
      if (ahead.live()) {
        __builtin_prefetch(&ref[ahead.node[0]]);
        __builtin_prefetch(&ref[ahead.node[1]]);
      }
    }
    const EdgeSlot& slot = st.edges[i];
    if (!slot.live()) continue;
    if (!first) out.put(',');
    first = false;
    out.lit("{\"source\":");
    put_id(slot.node[0]);
    out.lit(",\"target\":");
    put_id(slot.node[1]);
    out.lit(",\"properties\":");
    put_json_properties(out, slot.data.properties);
    out.put('}');
  }
  out.lit("]}");
}

size_t graph_json_size_hint(const GraphRecord& g) {
  return 64 + size_t{g.inner.node_count} * 40 + size_t{g.inner.edge_count} * 64;
}

Result<std::string> graph_to_json(const GraphRecord& g) {
  TextOut out(graph_json_size_hint(g));
  write_graph_json(out, g);
  return out.take();
}

}  // namespace qg
