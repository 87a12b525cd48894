// Graphs as (subject, predicate, object) triples, and back.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/graph/graph.h"

namespace qg {

class GraphRecord;  // core/graph/graph_record.h

// An edge's predicate: its property "predicate" if that is a string, else
// its property "type" if that is a string, else nothing. A present value of
// another kind counts as absent.
std::optional<std::string_view> edge_predicate(const PropertyMap& properties) noexcept;

struct Triple {
  std::string_view subject;
  std::string_view predicate;
  std::string_view object;
};

// The word used for an edge without a predicate.
inline constexpr std::string_view kDefaultPredicate = "relatedTo";

// One triple per live edge, in edge order; views into g (or into
// kDefaultPredicate).
std::vector<Triple> project_triples_core(const Graph& g);

// A new simple graph (multi false, empty name). Nodes are made on first
// mention with empty maps, subject before object; each triple adds the edge
// subject -> object with {"predicate": p, "type": p}. A triple whose pair
// the graph already joins (either way round when undirected) adds nothing.
// A subject or object longer than kMaxIdBytes refuses the whole build
// (msg::id_too_long, id_limit.h).
Result<GraphRecord> from_triples_core(std::span<const Triple> triples, bool directed);

}  // namespace qg
