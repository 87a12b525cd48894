// Graph: a property graph as its readers see it.
//
// A Graph is its slot storage (core/graph/graph_storage.h), the id index
// that finds a node's slot from its id, a name and two flags. Nothing here
// changes a graph: GraphRecord (core/graph/graph_record.h), the graph every
// PyGraph owns, adds the changes and keeps the index in step with the slots.
// Units that only read a graph (the algorithms, the writers) depend on this
// header alone.
//
// The neighbour orders below are the ones PyGraph's queries return:
//   successors   directed: out-edge targets, newest first; undirected: the
//                out-edge targets, then the in-edge sources without
//                self-loops, each newest first. Repeats are kept.
//   predecessors directed: in-edge sources, newest first; undirected: as
//                successors.
//   neighbors    directed: successors, then the predecessors not listed
//                yet, each once; undirected: as successors.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/result.h"
#include "core/graph/graph_storage.h"
#include "core/graph/id_index.h"

namespace qg {

class Graph {
 public:
  const GraphStorage& storage() const noexcept { return st_; }
  bool directed() const noexcept { return directed_; }
  bool multi() const noexcept { return multi_; }
  const std::string& name() const noexcept { return name_; }
  size_t node_count() const noexcept { return st_.node_count(); }
  size_t edge_count() const noexcept { return st_.edge_count(); }

  // The slot of node `id`, or END (at once for an id no node can have).
  NodeIndex find(std::string_view id) const {
    if (id.size() > kMaxIdBytes) return END;
    auto it = index_.find(id);
    return it == index_.end() ? END : it->second;
  }
  // Starts loading what find(id) will read.
  void prefetch(std::string_view id) const { index_.prefetch(id); }

 protected:
  Graph() = default;
  Graph(bool directed, std::string name, bool multi)
      : name_(std::move(name)), directed_(directed), multi_(multi) {}
  Graph(Graph&&) noexcept = default;
  Graph& operator=(Graph&&) noexcept = default;
  ~Graph() = default;

  GraphStorage st_;
  // Keys view the ids held by the node slots.
  NodeIndexMap index_{0, SeededIdHash{draw_hash_seed()}};
  std::string name_;
  bool directed_ = true;
  bool multi_ = false;
};

// ---- Reading ----

NodeIndex find_node(const Graph& g, std::string_view id);  // END when absent
// "Node '{}' not found"
Result<NodeIndex> node_index_or_err(const Graph& g, std::string_view id);
// The node's properties, or nullptr when there is no such node.
const PropertyMap* node_properties(const Graph& g, std::string_view id);

// Directed: out + in (a self-loop counts 2). Undirected: a self-loop counts 1.
size_t degree_of(const Graph& g, NodeIndex n);
// "Node '{}' not found"
Result<size_t> node_degree(const Graph& g, std::string_view id);

// Whether an edge s -> t exists (undirected: either way round).
bool has_edge_between(const Graph& g, NodeIndex s, NodeIndex t);
bool has_edge_core(const Graph& g, std::string_view source, std::string_view target);

// Live node slots, in node order.
std::vector<NodeIndex> live_nodes(const Graph& g);
// Live node ids in node order (views into g).
std::vector<std::string_view> node_id_list(const Graph& g);

struct EdgeRef {
  std::string_view source;
  std::string_view target;
  const PropertyMap* properties;
};
// Live edges in edge order, each once, in stored orientation.
std::vector<EdgeRef> edge_list_refs(const Graph& g);

enum class Adjacent { Successors, Predecessors, Neighbors };
// The neighbours of live node v in the order given above.
std::vector<NodeIndex> adjacent_nodes(const Graph& g, NodeIndex v, Adjacent which);

// Union-find over live nodes, direction ignored; true below two nodes.
bool is_weakly_connected_uf(const Graph& g);
// Empty, or weakly connected with one edge fewer than nodes; directed, also
// no node with two incoming edges.
bool is_tree(const Graph& g);

}  // namespace qg
