#include "core/knowledge/merge.h"
#include "core/graph/graph_record.h"

#include <utility>

#include "core/common/flat_table.h"
#include "core/common/interrupt.h"

namespace qg {

namespace {

using IdPair = std::pair<std::string_view, std::string_view>;

IdPair pair_key(std::string_view s, std::string_view t, bool ordered) {
  if (!ordered && t < s) std::swap(s, t);
  return {s, t};
}

}  // namespace

ConflictStrategy conflict_strategy(std::string_view name) noexcept {
  if (name == "keep_first") return ConflictStrategy::KeepFirst;
  if (name == "merge") return ConflictStrategy::Merge;
  return ConflictStrategy::KeepLatest;
}

PropertyMap merge_properties(const PropertyMap& base, const PropertyMap& other,
                             ConflictStrategy strategy) {
  switch (strategy) {
    case ConflictStrategy::KeepFirst: return base;
    case ConflictStrategy::Merge: {
      PropertyMap out = base;
      out.update(other);
      return out;
    }
    case ConflictStrategy::KeepLatest: break;
  }
  return other;
}

GraphRecord merge_graphs_core(const Graph& base, const Graph& other, ConflictStrategy strategy) {
  GraphRecord out(base.directed(), std::string(), false);

  const GraphStorage& mine = base.storage();
  const GraphStorage& theirs = other.storage();
  Poller poll;  // once per node and edge met
  for (NodeIndex n : live_nodes(base)) {
    poll();
    const NodeIndex m = other.find(mine.id(n));
    PropertyMap props = m != END ? merge_properties(mine.node_properties(n),
                                                    theirs.node_properties(m), strategy)
                                 : mine.node_properties(n);
    (void)add_node_core(out, mine.id_text(n), std::move(props));
  }
  for (NodeIndex m : live_nodes(other)) {
    poll();
    if (base.find(theirs.id(m)) != END) continue;
    (void)add_node_core(out, theirs.id_text(m), theirs.node_properties(m));
  }

  // other's edges by pair, the last edge of each pair winning.
  const bool ordered = out.directed();
  std::vector<EdgeRef> other_edges = edge_list_refs(other);
  FlatMap<IdPair, const PropertyMap*> other_by_pair;
  other_by_pair.reserve(other_edges.size());
  for (const EdgeRef& e : other_edges) {
    poll();
    other_by_pair.insert_or_assign(pair_key(e.source, e.target, ordered), e.properties);
  }

  for (const EdgeRef& e : edge_list_refs(base)) {
    poll();
    auto it = other_by_pair.find(pair_key(e.source, e.target, ordered));
    PropertyMap props = it != other_by_pair.end()
                            ? merge_properties(*e.properties, *it->second, strategy)
                            : *e.properties;
    // Refused when the result already joins the pair: the later edge goes.
    (void)add_edge_core(out, e.source, e.target, std::move(props));
  }
  for (const EdgeRef& e : other_edges) {
    poll();
    if (has_edge_core(out, e.source, e.target)) continue;
    (void)add_edge_core(out, e.source, e.target, *e.properties);
  }
  return out;
}

}  // namespace qg
