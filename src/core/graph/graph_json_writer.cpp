// The graph JSON writer: the layout of graph_json.h, in node and edge order.
#include "core/graph/graph_json.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/graph/json_text.h"

namespace qg {

void write_graph_json(TextOut& out, const Graph& g) {
  const GraphStorage& st = g.storage();
  out.lit("{\"directed\":");
  out.put_bool(g.directed());
  out.lit(",\"multi\":");
  out.put_bool(g.multi());
  out.lit(",\"name\":");
  put_json_string(out, g.name());
  out.lit(",\"nodes\":[");
  // Each node's id is also rendered once into a compact side table, so that
  // the edge loop copies it from there instead of chasing the node slot and
  // the id's text at random for every endpoint.
  constexpr uint64_t kNoRef = ~uint64_t{0};
  const bool table = st.edge_count() > 0;
  std::vector<uint64_t> ref;  // offset << 24 | length, or kNoRef
  TextOut ids;
  if (table) ref.assign(st.node_bound(), kNoRef);
  bool first = true;
  for (NodeIndex i = 0; i < st.node_bound(); ++i) {
    if (!st.live(i)) continue;
    if (!first) out.put(',');
    first = false;
    out.lit("{\"id\":");
    size_t at = out.size();
    put_json_string(out, st.id(i));
    if (table) {
      size_t len = out.size() - at;
      if (len < (size_t{1} << 24) && ids.size() < (uint64_t{1} << 40)) {
        ref[i] = (uint64_t{ids.size()} << 24) | len;
        ids.put(std::string_view(out.data() + at, len));
      }
    }
    out.lit(",\"properties\":");
    put_json_properties(out, st.node_properties(i));
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
  const size_t m = st.edge_bound();
  for (EdgeIndex i = 0; i < m; ++i) {
    if (i + kAhead < m && st.edge_live(i + kAhead)) {
      __builtin_prefetch(&ref[st.source(i + kAhead)]);
      __builtin_prefetch(&ref[st.target(i + kAhead)]);
    }
    if (!st.edge_live(i)) continue;
    if (!first) out.put(',');
    first = false;
    out.lit("{\"source\":");
    put_id(st.source(i));
    out.lit(",\"target\":");
    put_id(st.target(i));
    out.lit(",\"properties\":");
    put_json_properties(out, st.edge_properties(i));
    out.put('}');
  }
  out.lit("]}");
}

size_t graph_json_size_hint(const Graph& g) {
  return 64 + g.node_count() * 40 + g.edge_count() * 64;
}

Result<std::string> graph_to_json(const Graph& g) {
  TextOut out(graph_json_size_hint(g));
  write_graph_json(out, g);
  return out.take();
}

}  // namespace qg
