// GraphRecord: the property graph that every PyGraph owns.
//
// Storage is a stable-slot graph: node and edge slots live in flat arrays
// indexed by 32-bit indices that survive removals; vacant slots sit on free
// lists and are reused last-in, first-out. Each node heads two singly linked
// edge lists (outgoing, incoming), each newest first. The id index maps a
// node id to its slot with one hash lookup (hash seeded per map).
//
// Core operations return a value or an error message and never throw for bad
// input; InternalFault only for an exhausted index space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <cstring>
#include <ranges>
#include <span>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "absl/container/flat_hash_map.h"
#include "absl/hash/hash.h"
#include "core/common/result.h"
#include "core/graph/adj_list.h"
#include "core/graph/property_value.h"
#include "core/graph/str.h"

namespace qg {

struct NodeData {
  Str id;  // null in a vacant slot
  PropertyMap properties;
};

struct EdgeData {
  PropertyMap properties;
};

struct NodeSlot {
  AdjList adj[2];  // [0] outgoing, [1] incoming; empty in a vacant slot
  NodeData data;
  uint32_t loop_count = 0;  // self-loops, each in both lists
  // Vacant slots only: the following and preceding vacant node.
  NodeIndex vacant_next = END;
  NodeIndex vacant_prev = END;
  bool live() const noexcept { return static_cast<bool>(data.id); }
};

struct EdgeSlot {
  // source, target. Vacant: node[0] is END and node[1] the next vacant edge.
  NodeIndex node[2] = {END, END};
  EdgeData data;
  bool live() const noexcept { return node[0] != END; }
};

// The slot arrays. `directed` only changes how adjacency is read.
//
// Adjacency order: from a node, its outgoing edges newest first, then, read
// undirected, its incoming edges newest first without self-loops.
//
// Every mutator either completes or, when an allocation fails, throws
// std::bad_alloc having changed nothing. Removals cost O(1) amortised, hubs
// included: a list entry is found through the edge's recorded positions
// once some list is long (positions are kept from the first removal out of
// such a list; graphs that never remove pay nothing for them).
struct GraphStorage {
  std::vector<NodeSlot> nodes;
  std::vector<EdgeSlot> edges;
  uint32_t node_count = 0;
  uint32_t edge_count = 0;
  NodeIndex free_node = END;
  EdgeIndex free_edge = END;
  AdjPool adj_pool;  // blocks of the nodes' adjacency lists

  // One more than the highest live node index (0 when empty).
  size_t node_bound() const noexcept { return nodes.size(); }
  NodeIndex source(EdgeIndex e) const noexcept { return edges[e].node[0]; }
  NodeIndex target(EdgeIndex e) const noexcept { return edges[e].node[1]; }
  // Oldest first, removed marks included; see newest_out/newest_in.
  const AdjList& out_list(NodeIndex n) const noexcept { return nodes[n].adj[0]; }
  const AdjList& in_list(NodeIndex n) const noexcept { return nodes[n].adj[1]; }
  std::string_view id(NodeIndex n) const noexcept { return nodes[n].data.id.view(); }
  uint32_t out_degree(NodeIndex n) const noexcept { return nodes[n].adj[0].size(); }
  uint32_t in_degree(NodeIndex n) const noexcept { return nodes[n].adj[1].size(); }

  // n's outgoing (incoming) edges, newest first: the adjacency order.
  LiveEntries newest_out(NodeIndex n) const noexcept { return nodes[n].adj[0].newest_first(); }
  LiveEntries newest_in(NodeIndex n) const noexcept { return nodes[n].adj[1].newest_first(); }

  // f(const AdjEntry&) over n's outgoing (incoming) edges, newest first.
  template <class F>
  void for_each_out(NodeIndex n, F&& f) const {
    for (const AdjEntry& a : newest_out(n)) f(a);
  }
  template <class F>
  void for_each_in(NodeIndex n, F&& f) const {
    for (const AdjEntry& a : newest_in(n)) f(a);
  }

  NodeIndex add_node(NodeData data);
  EdgeIndex add_edge(NodeIndex a, NodeIndex b, EdgeData data);

  // Bulk building: edges appended here are in the edge slots but not yet in
  // any adjacency list; link_appended(first) enters edges [first, end) in
  // slot order, as add_edge would have, sizing each list once. Until then
  // adjacency reads are incomplete, so only a builder of a fresh storage
  // (no vacant edge slots) uses this, and links before handing it out.
  EdgeIndex append_edge_unlinked(NodeIndex a, NodeIndex b, EdgeData data);
  void link_appended(EdgeIndex first);
  void remove_edge(EdgeIndex e);
  // Allocates what remove_node(n) will need; remove_node then cannot fail.
  void prepare_node_removal(NodeIndex n);
  NodeData remove_node(NodeIndex n);

  // The newest live edge a -> b, or END.
  EdgeIndex newest_edge(NodeIndex a, NodeIndex b) const noexcept;

 private:
  // Lists up to this many slots are searched for an entry; past it the
  // edges' recorded positions find it.
  static constexpr uint32_t kScanLimit = 32;
  // Where edge e sits: pos_[2e] in its source's out-list, pos_[2e + 1] in
  // its target's in-list. Empty until a removal meets a long list.
  std::vector<uint32_t> pos_;

  bool tracking() const noexcept { return !pos_.empty(); }
  void start_tracking();
  // Room for one more entry in list k of n; squeezes or grows it.
  void make_room(NodeIndex n, int k);
  void squeeze(NodeIndex n, int k) noexcept;
  void enter(EdgeIndex e, NodeIndex a, NodeIndex b) noexcept;
  // Removes e's entry from list k of n (the list must hold it).
  void drop_entry(NodeIndex n, int k, EdgeIndex e) noexcept;
  // Allocates what removing edge e will need (before anything changes).
  void prepare_removal(EdgeIndex e);
  void release_edge_slot(EdgeIndex e) noexcept;
};

// A key of the id index: a view of the id held by its node slot, with ids
// of up to kInline bytes also copied inline so that a lookup compares them
// without touching the slot's text (one cache miss fewer per lookup).
class IdKey {
 public:
  static constexpr size_t kInline = 12;
  IdKey(std::string_view s) noexcept : ptr_(s.data()), len_(static_cast<uint32_t>(s.size())) {
    if (s.size() <= kInline && !s.empty()) std::memcpy(inline_, s.data(), s.size());
  }
  std::string_view view() const noexcept {
    return len_ <= kInline ? std::string_view(inline_, len_) : std::string_view(ptr_, len_);
  }

 private:
  const char* ptr_;
  uint32_t len_;
  char inline_[kInline] = {};
};

// Seeded string hash for the id index: each map draws its own key, so
// crafted ids cannot collide on purpose across maps or processes.
struct SeededIdHash {
  using is_transparent = void;
  uint64_t seed;
  size_t operator()(std::string_view s) const {
    return absl::Hash<std::pair<uint64_t, std::string_view>>{}({seed, s});
  }
  size_t operator()(const IdKey& k) const { return (*this)(k.view()); }
};
struct IdKeyEq {
  using is_transparent = void;
  bool operator()(const IdKey& a, const IdKey& b) const { return a.view() == b.view(); }
  bool operator()(const IdKey& a, std::string_view b) const { return a.view() == b; }
  bool operator()(std::string_view a, const IdKey& b) const { return a == b.view(); }
};
uint64_t draw_hash_seed();

using NodeIndexMap = absl::flat_hash_map<IdKey, NodeIndex, SeededIdHash, IdKeyEq>;

struct GraphRecord {
  GraphStorage inner;
  std::string name;
  // Keys view the ids held by the node slots.
  NodeIndexMap node_index{0, SeededIdHash{draw_hash_seed()}};
  bool directed = true;
  bool multi = false;
  // One Str per distinct property name used in this graph.
  StrInterner keys;

  GraphRecord() = default;
  GraphRecord(bool directed_, std::string name_, bool multi_)
      : name(std::move(name_)), directed(directed_), multi(multi_) {}
  GraphRecord(GraphRecord&&) noexcept = default;
  GraphRecord& operator=(GraphRecord&&) noexcept = default;
  GraphRecord(const GraphRecord&) = delete;
  GraphRecord& operator=(const GraphRecord&) = delete;

  size_t node_count() const noexcept { return inner.node_count; }
  size_t edge_count() const noexcept { return inner.edge_count; }
};

// ---- Core operations ----

// "Node '{}' not found"
Result<NodeIndex> node_index_or_err(const GraphRecord& g, std::string_view id);
// The live node's data, or nullptr.
const NodeData* node_data(const GraphRecord& g, std::string_view id);
NodeIndex find_node(const GraphRecord& g, std::string_view id);  // END when absent
// Directed: out + in (a self-loop counts 2). Undirected: a self-loop counts 1.
Result<size_t> node_degree(const GraphRecord& g, std::string_view id);
size_t degree_of(const GraphRecord& g, NodeIndex n);

// "Node '{}' already exists". The map is stored as given: builders that make
// maps from text take their property names from g.keys (or intern_keys) so
// that each name is stored once per graph.
Status add_node_core(GraphRecord& g, std::string_view id, PropertyMap properties);
Status add_node_core(GraphRecord& g, Str id, PropertyMap properties);
// "Source node '{}' not found"; "Target node '{}' not found";
// "Edge '{}' -> '{}' already exists" (simple graphs only).
Result<EdgeIndex> add_edge_core(GraphRecord& g, std::string_view source, std::string_view target,
                                PropertyMap properties);
// By index, for builders that already hold both endpoints. Applies the same
// duplicate test; the message names the endpoints' ids.
Result<EdgeIndex> add_edge_by_index(GraphRecord& g, NodeIndex s, NodeIndex t,
                                    PropertyMap properties);
bool has_edge_core(const GraphRecord& g, std::string_view source, std::string_view target);
bool has_edge_between(const GraphRecord& g, NodeIndex s, NodeIndex t);

// Live node ids in node order (views into g).
std::vector<std::string_view> node_id_list(const GraphRecord& g);

struct EdgeRef {
  std::string_view source;
  std::string_view target;
  const PropertyMap* properties;
};
// Live edges in edge order, each once, in stored orientation.
std::vector<EdgeRef> edge_list_refs(const GraphRecord& g);

// "Node '{}' not found". Removes the node's edges with it.
Result<PropertyMap> remove_node_core(GraphRecord& g, std::string_view id);
// Removes the newest edge source -> target (undirected: or target -> source).
// "Source node '{}' not found"; "Target node '{}' not found";
// "Edge '{}' -> '{}' not found".
Status remove_edge_core(GraphRecord& g, std::string_view source, std::string_view target);

// "Node '{}' not found". Writes each entry of `properties` over the node's
// map, replacing values in place and appending new names; all or nothing.
Status update_node_core(GraphRecord& g, std::string_view id, const PropertyMap& properties);
// "Node '{}' not found". Sets one property (its name interned into g.keys).
Status set_node_property_core(GraphRecord& g, std::string_view id, std::string_view key,
                              PropertyValue value);

// Union-find over live nodes, direction ignored; true below two nodes.
bool is_weakly_connected_uf(const GraphRecord& g);

// Interns the names of `properties` into g.keys (shares one Str per name).
void intern_keys(GraphRecord& g, PropertyMap& properties);

// Approximate heap bytes held by the record (slots, ids, maps, index).
size_t record_heap_bytes(const GraphRecord& g);

}  // namespace qg
