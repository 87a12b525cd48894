#include "core/knowledge/triples.h"
#include "core/graph/graph_record.h"

#include <utility>

#include "core/common/flat_table.h"
#include "core/common/interrupt.h"

namespace qg {

std::optional<std::string_view> edge_predicate(const PropertyMap& properties) noexcept {
  for (std::string_view key : {std::string_view("predicate"), std::string_view("type")}) {
    const PropertyValue* v = properties.find(key);
    if (v && v->is_string()) return v->as_string();
  }
  return std::nullopt;
}

std::vector<Triple> project_triples_core(const Graph& g) {
  std::vector<EdgeRef> edges = edge_list_refs(g);
  std::vector<Triple> out;
  out.reserve(edges.size());
  for (const EdgeRef& e : edges)
    out.push_back({e.source, edge_predicate(*e.properties).value_or(kDefaultPredicate), e.target});
  return out;
}

namespace {

Result<NodeIndex> ensure_node(GraphRecord& g, std::string_view id) {
  NodeIndex n = find_node(g, id);
  if (n != END) return n;
  return add_node_core(g, id, PropertyMap());  // new, so refused only when too long
}

}  // namespace

Result<GraphRecord> from_triples_core(std::span<const Triple> triples, bool directed) {
  GraphRecord g(directed, std::string(), false);
  const Str predicate_key = g.keys().get("predicate");
  const Str type_key = g.keys().get("type");
  // One map per distinct predicate; the edges share it until one changes.
  FlatMap<std::string_view, PropertyMap> maps;
  Poller poll;
  for (const Triple& t : triples) {
    poll();
    auto s = ensure_node(g, t.subject);
    if (!s) return Err(std::move(s.error()));
    auto o = ensure_node(g, t.object);
    if (!o) return Err(std::move(o.error()));
    auto [it, fresh] = maps.try_emplace(t.predicate);
    if (fresh) {
      PropertyValue p = PropertyValue::string(t.predicate);
      it->second.reserve(2);
      it->second.append_new(predicate_key, p);
      it->second.append_new(type_key, std::move(p));
    }
    (void)add_edge_by_index(g, *s, *o, it->second);  // refused on a joined pair
  }
  return g;
}

}  // namespace qg
