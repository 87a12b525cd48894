#include "core/graph/filters.h"

namespace qg {

namespace {

bool matches(const PropertyMap& m, std::string_view key, const PropertyValue& value) {
  if (m.empty()) return false;
  const PropertyValue* v = m.find(key);
  return v && *v == value;
}

}  // namespace

std::vector<NodeIndex> nodes_filtered_core(const GraphRecord& g, std::string_view key,
                                           const PropertyValue& value) {
  std::vector<NodeIndex> out;
  const auto& nodes = g.inner.nodes;
  for (size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i].live() && matches(nodes[i].data.properties, key, value))
      out.push_back(static_cast<NodeIndex>(i));
  return out;
}

std::vector<EdgeIndex> edges_filtered_core(const GraphRecord& g, std::string_view key,
                                           const PropertyValue& value) {
  std::vector<EdgeIndex> out;
  const auto& edges = g.inner.edges;
  for (size_t i = 0; i < edges.size(); ++i)
    if (edges[i].live() && matches(edges[i].data.properties, key, value))
      out.push_back(static_cast<EdgeIndex>(i));
  return out;
}

}  // namespace qg
