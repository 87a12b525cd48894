#include "core/knowledge/diff.h"

#include "core/common/flat_table.h"

namespace qg {

namespace {

using IdPair = std::pair<std::string_view, std::string_view>;
using PairSet = FlatSet<IdPair>;

IdPair pair_key(std::string_view s, std::string_view t, bool ordered) {
  if (!ordered && t < s) std::swap(s, t);
  return {s, t};
}

// The distinct connections of g, in edge order (first edge of each pair),
// and the set of their keys.
void connections(const Graph& g, bool ordered, std::vector<IdPair>& list, PairSet& keys) {
  std::vector<EdgeRef> edges = edge_list_refs(g);
  list.reserve(edges.size());
  keys.reserve(edges.size());
  for (const EdgeRef& e : edges)
    if (keys.insert(pair_key(e.source, e.target, ordered)).second)
      list.emplace_back(e.source, e.target);
}

}  // namespace

GraphDiff diff_graphs_core(const Graph& old_graph, const Graph& new_graph) {
  GraphDiff d;
  for (std::string_view id : node_id_list(new_graph))
    if (find_node(old_graph, id) == END) d.added_nodes.push_back(id);
  for (std::string_view id : node_id_list(old_graph)) {
    const PropertyMap* now = node_properties(new_graph, id);
    if (!now) {
      d.removed_nodes.push_back(id);
      continue;
    }
    if (!(*node_properties(old_graph, id) == *now)) d.changed_node_properties.push_back(id);
  }

  const bool ordered = old_graph.directed() || new_graph.directed();
  std::vector<IdPair> old_list, new_list;
  PairSet old_keys, new_keys;
  connections(old_graph, ordered, old_list, old_keys);
  connections(new_graph, ordered, new_list, new_keys);
  for (const IdPair& p : new_list)
    if (!old_keys.contains(pair_key(p.first, p.second, ordered))) d.added_edges.push_back(p);
  for (const IdPair& p : old_list)
    if (!new_keys.contains(pair_key(p.first, p.second, ordered))) d.removed_edges.push_back(p);
  return d;
}

}  // namespace qg
