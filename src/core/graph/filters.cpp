#include "core/graph/filters.h"

namespace qg {

namespace {

bool matches(const PropertyMap& m, std::string_view key, const PropertyValue& value) {
  if (m.empty()) return false;
  const PropertyValue* v = m.find(key);
  return v && *v == value;
}

}  // namespace

std::vector<NodeIndex> nodes_filtered_core(const Graph& g, std::string_view key,
                                           const PropertyValue& value) {
  std::vector<NodeIndex> out;
  const GraphStorage& st = g.storage();
  for (NodeIndex n = 0; n < st.node_bound(); ++n)
    if (st.live(n) && matches(st.node_properties(n), key, value)) out.push_back(n);
  return out;
}

std::vector<EdgeIndex> edges_filtered_core(const Graph& g, std::string_view key,
                                           const PropertyValue& value) {
  std::vector<EdgeIndex> out;
  for (const EdgeView e : g.storage().live_edges())
    if (matches(e.properties, key, value)) out.push_back(e.index);
  return out;
}

}  // namespace qg
