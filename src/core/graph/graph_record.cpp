#include "core/graph/graph_record.h"

#include "core/common/messages.h"
#include "core/graph/id_limit.h"

namespace qg {

void GraphRecord::reserve(size_t nodes, size_t edges) {
  st_.reserve(nodes, edges);
  index_.reserve(nodes);
}

Result<NodeIndex> add_node_core(GraphRecord& g, Str id, PropertyMap properties) {
  if (id.size() > kMaxIdBytes) return Err(ErrorKind::Refused, msg::id_too_long(id.size()));
  if (g.index_.contains(id.view())) return Err(ErrorKind::Refused, msg::node_exists(id.view()));
  std::string_view key = id.view();       // stays valid: the slot holds the text
  g.index_.reserve(g.index_.size() + 1);  // so that emplace cannot fail below
  NodeIndex n = g.st_.add_node(std::move(id), std::move(properties));
  g.index_.emplace(key, n);
  return n;
}

Result<NodeIndex> add_node_core(GraphRecord& g, std::string_view id, PropertyMap properties) {
  // Before the id is hashed or copied.
  if (id.size() > kMaxIdBytes) return Err(ErrorKind::Refused, msg::id_too_long(id.size()));
  if (g.find(id) != END) return Err(ErrorKind::Refused, msg::node_exists(id));
  return add_node_core(g, Str::make(id), std::move(properties));
}

Result<EdgeIndex> add_edge_by_index(GraphRecord& g, NodeIndex s, NodeIndex t,
                                    PropertyMap properties) {
  if (!g.multi() && has_edge_between(g, s, t))
    return Err(ErrorKind::Refused, msg::edge_exists(g.st_.id(s), g.st_.id(t)));
  return g.st_.add_edge(s, t, std::move(properties));
}

Result<EdgeIndex> add_edge_core(GraphRecord& g, std::string_view source, std::string_view target,
                                PropertyMap properties) {
  NodeIndex s = g.find(source);
  if (s == END) return Err(ErrorKind::NotFound, msg::source_not_found(source));
  NodeIndex t = g.find(target);
  if (t == END) return Err(ErrorKind::NotFound, msg::target_not_found(target));
  return add_edge_by_index(g, s, t, std::move(properties));
}

Result<PropertyMap> remove_node_core(GraphRecord& g, std::string_view id) {
  auto it = g.index_.find(id);
  if (it == g.index_.end()) return Err(ErrorKind::NotFound, msg::node_not_found(id));
  NodeIndex n = it->second;
  g.st_.prepare_node_removal(n);  // may allocate: before anything changes
  g.index_.erase(it);             // before the id's text goes away with the slot
  return g.st_.remove_node(n);
}

Status remove_edge_core(GraphRecord& g, std::string_view source, std::string_view target) {
  NodeIndex s = g.find(source);
  if (s == END) return Err(ErrorKind::NotFound, msg::source_not_found(source));
  NodeIndex t = g.find(target);
  if (t == END) return Err(ErrorKind::NotFound, msg::target_not_found(target));
  EdgeIndex found = g.st_.newest_edge(s, t);
  if (found == END && !g.directed()) found = g.st_.newest_edge(t, s);
  if (found == END) return Err(ErrorKind::NotFound, msg::edge_not_found(source, target));
  g.st_.remove_edge(found);
  return {};
}

Status update_node_core(GraphRecord& g, std::string_view id, const PropertyMap& properties) {
  auto n = node_index_or_err(g, id);
  if (!n) return Err(std::move(n.error()));
  g.st_.properties_of(*n).update(properties);
  return {};
}

Status set_node_property_core(GraphRecord& g, std::string_view id, std::string_view key,
                              PropertyValue value) {
  auto n = node_index_or_err(g, id);
  if (!n) return Err(std::move(n.error()));
  g.st_.properties_of(*n).set(g.keys_.get(key), std::move(value));
  return {};
}

}  // namespace qg
