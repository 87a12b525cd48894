// GraphStorage: the slot arrays behind every graph.
//
// Node and edge slots live in flat arrays indexed by 32-bit indices that
// survive removals; vacant slots sit on free lists and are reused last-in,
// first-out. Each node keeps its outgoing and incoming edges in two
// adjacency lists (core/graph/adj_list.h). `directed` is not stored here: it
// only changes how adjacency is read.
//
// Adjacency order: from a node, its outgoing edges newest first, then, read
// undirected, its incoming edges newest first without self-loops.
//
// Everyone reads through the const accessors; only GraphRecord holds a
// mutable storage (it keeps the id index in step with the slots). Every change either
// completes or, when an allocation fails, throws std::bad_alloc having
// changed nothing. Removals cost O(1) amortised, hubs included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/graph/adj_list.h"
#include "core/graph/property_value.h"
#include "core/graph/str.h"

namespace qg {

// A live edge as live_edges() gives it.
struct EdgeView {
  EdgeIndex index;
  NodeIndex source;
  NodeIndex target;
  const PropertyMap& properties;
};

class GraphStorage {
 public:
  GraphStorage() = default;
  GraphStorage(GraphStorage&&) noexcept = default;
  GraphStorage& operator=(GraphStorage&&) noexcept = default;
  GraphStorage(const GraphStorage&) = delete;
  GraphStorage& operator=(const GraphStorage&) = delete;

  uint32_t node_count() const noexcept { return node_count_; }
  uint32_t edge_count() const noexcept { return edge_count_; }
  // One more than the highest node (edge) slot in use; slots below it may be
  // vacant.
  size_t node_bound() const noexcept { return nodes_.size(); }
  size_t edge_bound() const noexcept { return edges_.size(); }
  bool live(NodeIndex n) const noexcept { return static_cast<bool>(nodes_[n].id); }
  bool edge_live(EdgeIndex e) const noexcept { return edges_[e].node[0] != END; }

  std::string_view id(NodeIndex n) const noexcept { return nodes_[n].id.view(); }
  const Str& id_text(NodeIndex n) const noexcept { return nodes_[n].id; }
  const PropertyMap& node_properties(NodeIndex n) const noexcept { return nodes_[n].properties; }
  const PropertyMap& edge_properties(EdgeIndex e) const noexcept { return edges_[e].properties; }
  NodeIndex source(EdgeIndex e) const noexcept { return edges_[e].node[0]; }
  NodeIndex target(EdgeIndex e) const noexcept { return edges_[e].node[1]; }

  // Oldest first, removed marks included; see newest_out/newest_in.
  const AdjList& out_list(NodeIndex n) const noexcept { return nodes_[n].adj[0]; }
  const AdjList& in_list(NodeIndex n) const noexcept { return nodes_[n].adj[1]; }
  uint32_t out_degree(NodeIndex n) const noexcept { return nodes_[n].adj[0].size(); }
  uint32_t in_degree(NodeIndex n) const noexcept { return nodes_[n].adj[1].size(); }
  // Self-loops of n (each is in both of its lists).
  uint32_t loop_count(NodeIndex n) const noexcept { return nodes_[n].loop_count; }
  // Entries of n's undirected view: out-list, then in-list without loops.
  uint32_t undirected_degree(NodeIndex n) const noexcept {
    return nodes_[n].adj[0].size() + nodes_[n].adj[1].size() - nodes_[n].loop_count;
  }

  // n's outgoing (incoming) edges, newest first: the adjacency order.
  LiveEntries newest_out(NodeIndex n) const noexcept { return nodes_[n].adj[0].newest_first(); }
  LiveEntries newest_in(NodeIndex n) const noexcept { return nodes_[n].adj[1].newest_first(); }

  // The live edges in slot (edge) order, as EdgeView values.
  class LiveEdges;
  LiveEdges live_edges() const noexcept;

  // The newest live edge a -> b, or END.
  EdgeIndex newest_edge(NodeIndex a, NodeIndex b) const noexcept;

  // Starts loading node n's slot (before reading many nodes at random).
  void prefetch(NodeIndex n) const noexcept { __builtin_prefetch(&nodes_[n]); }

  // ---- Changes ----
  // Only GraphRecord holds a mutable storage (and keeps its id index in step).
  void reserve(size_t nodes, size_t edges);
  NodeIndex add_node(Str id, PropertyMap properties);
  EdgeIndex add_edge(NodeIndex a, NodeIndex b, PropertyMap properties);
  // Bulk building: edges appended here are in the edge slots but not yet in
  // any adjacency list; link_appended(first) enters edges [first, end) in
  // slot order, as add_edge would have, sizing each list once. Until then
  // adjacency reads are incomplete. Needs a storage without vacant edges.
  EdgeIndex append_edge_unlinked(NodeIndex a, NodeIndex b, PropertyMap properties);
  void link_appended(EdgeIndex first);
  void remove_edge(EdgeIndex e);
  // Allocates what remove_node(n) will need; remove_node then cannot fail.
  void prepare_node_removal(NodeIndex n);
  // Removes n and its edges; returns n's properties.
  PropertyMap remove_node(NodeIndex n);
  PropertyMap& properties_of(NodeIndex n) noexcept { return nodes_[n].properties; }

 private:
  struct NodeSlot {
    AdjList adj[2];  // [0] outgoing, [1] incoming; empty in a vacant slot
    Str id;          // null in a vacant slot
    PropertyMap properties;
    uint32_t loop_count = 0;
    // Vacant slots only: the following and preceding vacant node.
    NodeIndex vacant_next = END;
    NodeIndex vacant_prev = END;
  };
  struct EdgeSlot {
    // source, target. Vacant: node[0] is END and node[1] the next vacant edge.
    NodeIndex node[2] = {END, END};
    PropertyMap properties;
  };

  // Lists up to this many slots are searched for an entry; past it the
  // edges' recorded positions find it.
  static constexpr uint32_t kScanLimit = 32;

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

  std::vector<NodeSlot> nodes_;
  std::vector<EdgeSlot> edges_;
  uint32_t node_count_ = 0;
  uint32_t edge_count_ = 0;
  NodeIndex free_node_ = END;
  EdgeIndex free_edge_ = END;
  AdjPool adj_pool_;  // blocks of the nodes' adjacency lists
  // Where edge e sits: pos_[2e] in its source's out-list, pos_[2e + 1] in
  // its target's in-list. Empty until a removal meets a long list; graphs
  // that never remove pay nothing for it.
  std::vector<uint32_t> pos_;
};

class GraphStorage::LiveEdges {
 public:
  class iterator {
   public:
    iterator(const EdgeSlot* slots, size_t at, size_t end) noexcept
        : slots_(slots), at_(at), end_(end) {
      skip();
    }
    EdgeView operator*() const noexcept {
      const EdgeSlot& e = slots_[at_];
      return {static_cast<EdgeIndex>(at_), e.node[0], e.node[1], e.properties};
    }
    iterator& operator++() noexcept {
      ++at_;
      skip();
      return *this;
    }
    bool operator==(const iterator& o) const noexcept { return at_ == o.at_; }

   private:
    void skip() noexcept {
      while (at_ < end_ && slots_[at_].node[0] == END) ++at_;
    }
    const EdgeSlot* slots_;
    size_t at_, end_;
  };
  explicit LiveEdges(const std::vector<EdgeSlot>& slots) noexcept : slots_(slots) {}
  iterator begin() const noexcept { return {slots_.data(), 0, slots_.size()}; }
  iterator end() const noexcept { return {slots_.data(), slots_.size(), slots_.size()}; }

 private:
  const std::vector<EdgeSlot>& slots_;
};

inline GraphStorage::LiveEdges GraphStorage::live_edges() const noexcept {
  return LiveEdges(edges_);
}

}  // namespace qg
