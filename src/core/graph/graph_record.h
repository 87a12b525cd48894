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
#include "core/graph/property_value.h"
#include "core/graph/str.h"

namespace qg {

using NodeIndex = uint32_t;
using EdgeIndex = uint32_t;
inline constexpr uint32_t END = UINT32_MAX;

struct NodeData {
  Str id;  // null in a vacant slot
  PropertyMap properties;
};

struct EdgeData {
  PropertyMap properties;
};

// One entry of a node's adjacency list: the edge and the node at its other
// end (the target in an outgoing list, the source in an incoming list).
struct AdjEntry {
  EdgeIndex edge;
  NodeIndex other;
};

// Storage for adjacency lists: blocks of 4 << k entries, carved from large
// chunks and recycled through one free list per size class, so growing a
// list costs no call to malloc and no per-block header. The pool owns all
// its blocks; they go when the pool goes.
class AdjPool {
 public:
  static constexpr uint32_t kClasses = 30;
  AdjPool() = default;
  AdjPool(AdjPool&&) noexcept = default;
  AdjPool& operator=(AdjPool&&) noexcept = default;
  AdjPool(const AdjPool&) = delete;
  AdjPool& operator=(const AdjPool&) = delete;

  AdjEntry* allocate(uint32_t cls);
  void release(AdjEntry* block, uint32_t cls) noexcept {
    *reinterpret_cast<AdjEntry**>(block) = free_[cls];
    free_[cls] = block;
  }
  size_t heap_bytes() const noexcept { return chunk_bytes_; }

 private:
  std::vector<std::unique_ptr<std::byte[]>> chunks_;
  std::byte* cur_ = nullptr;
  size_t left_ = 0;
  size_t chunk_bytes_ = 0;
  AdjEntry* free_[kClasses] = {};
};

// A node's outgoing or incoming edges, contiguous, oldest first: walked
// backwards it gives the newest-first adjacency order. 16 bytes; its block
// belongs to the storage's AdjPool.
class AdjList {
 public:
  AdjList() noexcept = default;
  AdjList(const AdjList&) = delete;
  AdjList& operator=(const AdjList&) = delete;
  AdjList(AdjList&& o) noexcept
      : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)),
        cls_(std::exchange(o.cls_, 0)) {}
  AdjList& operator=(AdjList&& o) noexcept {
    if (this != &o) {
      data_ = std::exchange(o.data_, nullptr);
      size_ = std::exchange(o.size_, 0);
      cls_ = std::exchange(o.cls_, 0);
    }
    return *this;
  }

  uint32_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  const AdjEntry& operator[](uint32_t i) const noexcept { return data_[i]; }
  const AdjEntry* data() const noexcept { return data_; }
  std::span<const AdjEntry> span() const noexcept { return {data_, size_}; }
  void push_back(AdjEntry e, AdjPool& pool) {
    if (!data_ || size_ == (4u << cls_)) grow(pool);
    data_[size_++] = e;
  }
  // Makes room for n entries in all (no growth until then).
  void reserve(uint32_t n, AdjPool& pool);
  // Removes the entry of edge e (order kept); false when absent.
  bool erase_edge(EdgeIndex e) noexcept;
  // Gives the block back to the pool.
  void clear(AdjPool& pool) noexcept {
    if (data_) pool.release(data_, cls_);
    data_ = nullptr;
    size_ = 0;
    cls_ = 0;
  }
  size_t heap_bytes() const noexcept { return data_ ? (size_t{4} << cls_) * sizeof(AdjEntry) : 0; }

 private:
  void grow(AdjPool& pool);
  AdjEntry* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t cls_ = 0;  // capacity 4 << cls_ once data_ is set
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
// Adjacency order: from a node, its outgoing edges newest first (out_list
// walked backwards), then, read undirected, its incoming edges newest first
// without self-loops.
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
  // Oldest first; see for_each_out/for_each_in for the newest-first walk.
  const AdjList& out_list(NodeIndex n) const noexcept { return nodes[n].adj[0]; }
  const AdjList& in_list(NodeIndex n) const noexcept { return nodes[n].adj[1]; }
  std::string_view id(NodeIndex n) const noexcept { return nodes[n].data.id.view(); }
  uint32_t out_degree(NodeIndex n) const noexcept { return nodes[n].adj[0].size(); }
  uint32_t in_degree(NodeIndex n) const noexcept { return nodes[n].adj[1].size(); }

  // n's outgoing (incoming) edges, newest first: the adjacency order.
  auto newest_out(NodeIndex n) const noexcept { return std::views::reverse(nodes[n].adj[0].span()); }
  auto newest_in(NodeIndex n) const noexcept { return std::views::reverse(nodes[n].adj[1].span()); }

  // f(const AdjEntry&) over n's outgoing (incoming) edges, newest first.
  template <class F>
  void for_each_out(NodeIndex n, F&& f) const {
    const AdjList& l = nodes[n].adj[0];
    for (uint32_t i = l.size(); i-- > 0;) f(l[i]);
  }
  template <class F>
  void for_each_in(NodeIndex n, F&& f) const {
    const AdjList& l = nodes[n].adj[1];
    for (uint32_t i = l.size(); i-- > 0;) f(l[i]);
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
  NodeData remove_node(NodeIndex n);
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

// Union-find over live nodes, direction ignored; true below two nodes.
bool is_weakly_connected_uf(const GraphRecord& g);

// Interns the names of `properties` into g.keys (shares one Str per name).
void intern_keys(GraphRecord& g, PropertyMap& properties);

// Approximate heap bytes held by the record (slots, ids, maps, index).
size_t record_heap_bytes(const GraphRecord& g);

}  // namespace qg
