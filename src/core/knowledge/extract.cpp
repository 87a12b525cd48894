#include "core/knowledge/extract.h"
#include "core/graph/graph_record.h"

#include <utility>
#include <vector>

#include "core/common/flat_table.h"
#include "core/graph/derived.h"

namespace qg {

namespace {

template <class Match>
GraphRecord extract(const Graph& g, Match&& match) {
  std::vector<std::string_view> kept;
  for (std::string_view id : node_id_list(g))
    if (match(*node_properties(g, id))) kept.push_back(id);
  auto sub = induced_subgraph(g, std::span<const std::string_view>(kept));
  // Ids taken from g itself are known and distinct, so this cannot fail.
  if (!sub) return GraphRecord(g.directed(), std::string(), false);
  return std::move(*sub);
}

}  // namespace

GraphRecord extract_by_types_core(const Graph& g, std::span<const std::string> types) {
  FlatSet<std::string_view> wanted(types.begin(), types.end());
  return extract(g, [&](const PropertyMap& p) {
    const PropertyValue* t = p.find("type");
    return t && t->is_string() && wanted.contains(t->as_string());
  });
}

GraphRecord extract_by_property_core(const Graph& g, std::string_view key,
                                     const PropertyValue& value) {
  return extract(g, [&](const PropertyMap& p) {
    const PropertyValue* v = p.find(key);
    return v && *v == value;
  });
}

}  // namespace qg
