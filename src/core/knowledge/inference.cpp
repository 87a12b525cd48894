#include "core/knowledge/inference.h"
#include "core/graph/graph_record.h"

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "core/common/flat_table.h"
#include "core/common/interrupt.h"
#include "core/graph/graph_json.h"
#include "core/knowledge/triples.h"

namespace qg {

namespace {

// Node by node and edge by edge; the source obeys its own flags, so nothing
// is refused.
GraphRecord copy_by_insertion(const Graph& g) {
  GraphRecord out(g.directed(), g.name(), g.multi());
  const GraphStorage& st = g.storage();
  for (NodeIndex n : live_nodes(g)) (void)add_node_core(out, st.id_text(n), st.node_properties(n));
  for (const EdgeRef& e : edge_list_refs(g))
    (void)add_edge_core(out, e.source, e.target, *e.properties);
  return out;
}

// The copy goes through graph JSON (its reader builds the record in bulk).
// Writing and reading back a consistent record cannot fail; should it ever,
// the copy is made by plain insertion rather than losing the input.
GraphRecord copy_graph(const Graph& g) {
  constexpr uint64_t kNoCap = std::numeric_limits<uint64_t>::max();
  if (auto text = graph_to_json(g)) {
    if (auto copy = graph_from_json_checked(*text, kNoCap, kNoCap, kNoCap)) return std::move(*copy);
  }
  return copy_by_insertion(g);
}

// The relation as adjacency over dense numbers: ids[i] is node i's id and
// targets[i] its distinct relation targets in edge order; sources lists the
// nodes with at least one target, in order of first appearance.
struct Relation {
  std::vector<std::string_view> ids;
  FlatMap<std::string_view, uint32_t> number;  // id -> i
  std::vector<std::vector<uint32_t>> targets;
  std::vector<uint32_t> sources;
};

uint64_t pair_key(uint32_t a, uint32_t b) { return (uint64_t{a} << 32) | b; }

Relation build_relation(const Graph& g, std::string_view label) {
  Relation r;
  FlatSet<uint64_t> pairs;
  auto number_of = [&](std::string_view id) {
    auto [it, fresh] = r.number.try_emplace(id, static_cast<uint32_t>(r.ids.size()));
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
    if (!pairs.insert(pair_key(s, t)).second) continue;
    if (r.targets[s].empty()) r.sources.push_back(s);
    r.targets[s].push_back(t);
  }
  return r;
}

// The pairs among relation nodes that some edge of g joins: (s, t) for an
// edge s -> t, and (t, s) too when g is undirected.
FlatSet<uint64_t> joined_pairs(const Graph& g, const Relation& r) {
  FlatSet<uint64_t> joined;
  for (const EdgeRef& e : edge_list_refs(g)) {
    auto s = r.number.find(e.source);
    if (s == r.number.end()) continue;
    auto t = r.number.find(e.target);
    if (t == r.number.end()) continue;
    joined.insert(pair_key(s->second, t->second));
    if (!g.directed()) joined.insert(pair_key(t->second, s->second));
  }
  return joined;
}

}  // namespace

GraphRecord densify_core(const Graph& g, std::string_view label) {
  GraphRecord out = copy_graph(g);
  Relation r = build_relation(g, label);
  if (r.sources.empty()) return out;

  PropertyMap props;
  {
    PropertyValue v = PropertyValue::string(label);
    props.append_new(out.keys().get("predicate"), v);
    props.append_new(out.keys().get("type"), std::move(v));
  }

  // Whether the copy joins a pair is kept here rather than asked of the copy
  // edge by edge: the closure can add edges in the order of n squared.
  FlatSet<uint64_t> joined = joined_pairs(g, r);
  std::vector<NodeIndex> at(r.ids.size(), END);  // relation node -> copy node
  auto node_at = [&](uint32_t i) {
    if (at[i] == END) {
      at[i] = find_node(out, r.ids[i]);
      if (at[i] == END) {  // only when the copy fell back to an empty record
        (void)add_node_core(out, r.ids[i], PropertyMap());
        at[i] = find_node(out, r.ids[i]);
      }
    }
    return at[i];
  };

  // Breadth-first from each source over the relation; a node is taken when
  // first reached, so the source itself counts only when a cycle leads back.
  std::vector<uint32_t> seen(r.ids.size(), UINT32_MAX);
  std::vector<uint32_t> reached;
  Poller poll;
  for (uint32_t k = 0; k < r.sources.size(); ++k) {
    const uint32_t a = r.sources[k];
    reached.clear();
    for (uint32_t t : r.targets[a])
      if (seen[t] != k) {
        seen[t] = k;
        reached.push_back(t);
      }
    for (size_t head = 0; head < reached.size(); ++head) {
      poll(1 + r.targets[reached[head]].size());
      for (uint32_t t : r.targets[reached[head]])
        if (seen[t] != k) {
          seen[t] = k;
          reached.push_back(t);
        }
    }
    // Within one source the reached nodes are distinct, so a directed copy
    // cannot meet an added pair twice; an undirected one meets (c, a) later
    // when c's turn comes.
    for (uint32_t c : reached) {
      poll();
      if (joined.contains(pair_key(a, c))) continue;
      NodeIndex na = node_at(a), nc = node_at(c);
      // New to the copy (checked against `joined`): no duplicate test needed.
      out.add_edge_unchecked(na, nc, props);
      if (!out.directed()) joined.insert(pair_key(c, a));
    }
  }
  return out;
}

}  // namespace qg
