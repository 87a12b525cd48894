#include "core/knowledge/inference.h"

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "absl/container/flat_hash_map.h"
#include "absl/container/flat_hash_set.h"
#include "core/graph/graph_json.h"
#include "core/knowledge/triples.h"

namespace qg {

namespace {

// Node by node and edge by edge; the source obeys its own flags, so nothing
// is refused.
GraphRecord copy_by_insertion(const GraphRecord& g) {
  GraphRecord out(g.directed, g.name, g.multi);
  for (std::string_view id : node_id_list(g)) {
    const NodeData* n = node_data(g, id);
    (void)add_node_core(out, n->id, n->properties);
  }
  for (const EdgeRef& e : edge_list_refs(g))
    (void)add_edge_core(out, e.source, e.target, *e.properties);
  return out;
}

// The copy goes through graph JSON (its reader builds the record in bulk).
// Writing and reading back a consistent record cannot fail; should it ever,
// the copy is made by plain insertion rather than losing the input.
GraphRecord copy_graph(const GraphRecord& g) {
  constexpr uint64_t kNoCap = std::numeric_limits<uint64_t>::max();
  if (auto text = graph_to_json(g)) {
    if (auto copy = graph_from_json_checked(*text, kNoCap, kNoCap, kNoCap))
      return std::move(*copy);
  }
  return copy_by_insertion(g);
}

// The relation as adjacency over dense numbers: ids[i] is node i's id and
// targets[i] its distinct relation targets in edge order; sources lists the
// nodes with at least one target, in order of first appearance.
struct Relation {
  std::vector<std::string_view> ids;
  std::vector<std::vector<uint32_t>> targets;
  std::vector<uint32_t> sources;
};

Relation build_relation(const GraphRecord& g, std::string_view label) {
  Relation r;
  absl::flat_hash_map<std::string_view, uint32_t> number;
  absl::flat_hash_set<uint64_t> pairs;
  auto number_of = [&](std::string_view id) {
    auto [it, fresh] = number.try_emplace(id, static_cast<uint32_t>(r.ids.size()));
    if (fresh) {
      r.ids.push_back(id);
      r.targets.emplace_back();
    }
    return it->second;
  };
  for (const EdgeRef& e : edge_list_refs(g)) {
    if (edge_predicate(*e.properties).value_or(std::string_view()) != label) continue;
    uint32_t s = number_of(e.source);
    uint32_t t = number_of(e.target);
    if (!pairs.insert((uint64_t{s} << 32) | t).second) continue;
    if (r.targets[s].empty()) r.sources.push_back(s);
    r.targets[s].push_back(t);
  }
  return r;
}

}  // namespace

GraphRecord densify_core(const GraphRecord& g, std::string_view label) {
  GraphRecord out = copy_graph(g);
  Relation r = build_relation(g, label);
  if (r.sources.empty()) return out;

  PropertyMap props;
  {
    PropertyValue v = PropertyValue::string(label);
    props.append_new(out.keys.get("predicate"), v);
    props.append_new(out.keys.get("type"), std::move(v));
  }

  // Breadth-first from each source over the relation; a node is taken when
  // first reached, so the source itself counts only when a cycle leads back.
  std::vector<uint32_t> seen(r.ids.size(), UINT32_MAX);
  std::vector<uint32_t> reached;
  for (uint32_t k = 0; k < r.sources.size(); ++k) {
    const uint32_t a = r.sources[k];
    reached.clear();
    for (uint32_t t : r.targets[a])
      if (seen[t] != k) {
        seen[t] = k;
        reached.push_back(t);
      }
    for (size_t head = 0; head < reached.size(); ++head)
      for (uint32_t t : r.targets[reached[head]])
        if (seen[t] != k) {
          seen[t] = k;
          reached.push_back(t);
        }
    const std::string_view a_id = r.ids[a];
    for (uint32_t c : reached) {
      const std::string_view c_id = r.ids[c];
      if (has_edge_core(out, a_id, c_id)) continue;
      if (find_node(out, a_id) == END) (void)add_node_core(out, a_id, PropertyMap());
      if (find_node(out, c_id) == END) (void)add_node_core(out, c_id, PropertyMap());
      (void)add_edge_core(out, a_id, c_id, props);
    }
  }
  return out;
}

}  // namespace qg
