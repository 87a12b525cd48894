#include "core/knowledge/degree.h"

#include <algorithm>

#include "core/common/flat_table.h"

namespace qg {

namespace {

uint64_t degree_or_zero(const Graph& g, std::string_view id) {
  auto d = node_degree(g, id);
  return d ? *d : 0;
}

}  // namespace

std::vector<std::string_view> find_hub_nodes_core(const Graph& g, uint64_t threshold) {
  std::vector<std::string_view> out;
  for (std::string_view id : node_id_list(g))
    if (degree_or_zero(g, id) > threshold) out.push_back(id);
  return out;
}

std::vector<std::string_view> find_orphan_nodes_core(const Graph& g) {
  std::vector<std::string_view> out;
  for (std::string_view id : node_id_list(g))
    if (degree_or_zero(g, id) == 0) out.push_back(id);
  return out;
}

std::vector<std::pair<uint64_t, uint64_t>> degree_distribution_core(const Graph& g) {
  FlatMap<uint64_t, uint64_t> counts;
  for (std::string_view id : node_id_list(g)) ++counts[degree_or_zero(g, id)];
  std::vector<std::pair<uint64_t, uint64_t>> out(counts.begin(), counts.end());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace qg
