#include "core/graph/graph_storage.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <utility>

#include "core/common/result.h"

namespace qg {

// ---- Adjacency lists ----

AdjEntry* AdjPool::allocate(uint32_t cls) {
  if (cls >= kClasses) throw InternalFault("adjacency list too long");
  if (AdjEntry* block = free_[cls]) {
    free_[cls] = link(block);
    return block;
  }
  const size_t bytes = (size_t{4} << cls) * sizeof(AdjEntry);
  constexpr size_t kChunk = size_t{1} << 18;
  if (bytes > kChunk / 4) {  // large blocks get a chunk of their own
    chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(bytes));
    return reinterpret_cast<AdjEntry*>(chunks_.back().get());
  }
  if (left_ < bytes) {
    chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(kChunk));
    cur_ = chunks_.back().get();
    left_ = kChunk;
  }
  auto* block = reinterpret_cast<AdjEntry*>(cur_);
  cur_ += bytes;
  left_ -= bytes;
  return block;
}

void AdjList::reserve_more(uint32_t more, AdjPool& pool) {
  const uint64_t want = uint64_t{used_} + more;
  if (data_ && want <= capacity()) return;
  uint32_t cls = data_ ? cls_ + 1 : 0;
  while ((uint64_t{4} << cls) < want) {
    if (++cls >= AdjPool::kClasses) throw InternalFault("adjacency list too long");
  }
  AdjEntry* fresh = pool.allocate(cls);  // the only step that may fail
  if (data_) {
    std::memcpy(fresh, data_, sizeof(AdjEntry) * used_);
    pool.release(data_, cls_);
  }
  data_ = fresh;
  cls_ = cls;
}

// ---- GraphStorage ----

NodeIndex GraphStorage::add_node(Str id, PropertyMap properties) {
  NodeIndex n;
  if (free_node_ != END) {
    n = free_node_;
    NodeSlot& slot = nodes_[n];
    NodeIndex following = slot.vacant_next;
    NodeIndex preceding = slot.vacant_prev;
    if (preceding != END) nodes_[preceding].vacant_next = following;
    if (following != END) nodes_[following].vacant_prev = preceding;
    free_node_ = following;
    slot.vacant_next = slot.vacant_prev = END;
    slot.loop_count = 0;
    slot.id = std::move(id);
    slot.properties = std::move(properties);
  } else {
    if (nodes_.size() >= END) throw InternalFault("node index space exhausted");
    n = static_cast<NodeIndex>(nodes_.size());
    nodes_.emplace_back();  // strong: nothing changes if it throws
    nodes_.back().id = std::move(id);
    nodes_.back().properties = std::move(properties);
  }
  ++node_count_;
  return n;
}

void GraphStorage::start_tracking() {
  std::vector<uint32_t> pos(2 * edges_.size(), END);
  for (const NodeSlot& slot : nodes_) {
    for (int k = 0; k < 2; ++k) {
      std::span<const AdjEntry> l = slot.adj[k].entries();
      for (uint32_t i = 0; i < l.size(); ++i)
        if (l[i].live()) pos[2 * size_t{l[i].edge} + k] = i;
    }
  }
  pos_ = std::move(pos);
}

void GraphStorage::squeeze(NodeIndex n, int k) noexcept {
  if (tracking()) {
    nodes_[n].adj[k].squeeze(
        [&](const AdjEntry& a, uint32_t at) { pos_[2 * size_t{a.edge} + k] = at; });
  } else {
    nodes_[n].adj[k].squeeze([](const AdjEntry&, uint32_t) {});
  }
}

void GraphStorage::make_room(NodeIndex n, int k) {
  AdjList& l = nodes_[n].adj[k];
  if (l.has_room()) return;
  if (l.wants_squeeze_for_room()) squeeze(n, k);
  else l.reserve_more(1, adj_pool_);
}

void GraphStorage::enter(EdgeIndex e, NodeIndex a, NodeIndex b) noexcept {
  const uint32_t at_out = nodes_[a].adj[0].push_back_unchecked({e, b});
  const uint32_t at_in = nodes_[b].adj[1].push_back_unchecked({e, a});
  if (tracking()) {
    pos_[2 * size_t{e}] = at_out;
    pos_[2 * size_t{e} + 1] = at_in;
  }
  if (a == b) ++nodes_[a].loop_count;
}

EdgeIndex GraphStorage::add_edge(NodeIndex a, NodeIndex b, PropertyMap properties) {
  // Everything that may allocate comes first, so that a failure changes
  // nothing visible (a squeeze only drops removed marks).
  const bool fresh_slot = free_edge_ == END;
  if (fresh_slot) {
    if (edges_.size() >= END) throw InternalFault("edge index space exhausted");
    if (edges_.size() == edges_.capacity()) edges_.reserve(std::max<size_t>(16, 2 * edges_.size()));
  }
  const EdgeIndex e = fresh_slot ? static_cast<EdgeIndex>(edges_.size()) : free_edge_;
  if (tracking() && pos_.size() < 2 * (size_t{e} + 1)) pos_.resize(2 * edges_.capacity(), END);
  make_room(a, 0);
  make_room(b, 1);
  if (fresh_slot) {
    edges_.push_back(EdgeSlot{{a, b}, std::move(properties)});
  } else {
    free_edge_ = edges_[e].node[1];
    edges_[e].node[0] = a;
    edges_[e].node[1] = b;
    edges_[e].properties = std::move(properties);
  }
  enter(e, a, b);
  ++edge_count_;
  return e;
}

EdgeIndex GraphStorage::append_edge_unlinked(NodeIndex a, NodeIndex b, PropertyMap properties) {
  if (free_edge_ != END) throw InternalFault("bulk edges_ need a storage without vacant edges_");
  if (edges_.size() >= END) throw InternalFault("edge index space exhausted");
  const auto e = static_cast<EdgeIndex>(edges_.size());
  edges_.push_back(EdgeSlot{{a, b}, std::move(properties)});
  ++edge_count_;
  return e;
}

void GraphStorage::link_appended(EdgeIndex first) {
  const size_t bound = nodes_.size();
  std::vector<uint32_t> extra(2 * bound, 0);  // out, in per node
  for (size_t e = first; e < edges_.size(); ++e) {
    ++extra[2 * size_t{edges_[e].node[0]}];
    ++extra[2 * size_t{edges_[e].node[1]} + 1];
  }
  for (size_t n = 0; n < bound; ++n) {
    for (int k = 0; k < 2; ++k) {
      if (uint32_t add = extra[2 * n + k]) nodes_[n].adj[k].reserve_more(add, adj_pool_);
    }
  }
  if (tracking()) pos_.resize(2 * edges_.size(), END);
  for (size_t e = first; e < edges_.size(); ++e)
    enter(static_cast<EdgeIndex>(e), edges_[e].node[0], edges_[e].node[1]);
}

void GraphStorage::drop_entry(NodeIndex n, int k, EdgeIndex e) noexcept {
  AdjList& l = nodes_[n].adj[k];
  uint32_t at = END;
  if (tracking()) {
    at = pos_[2 * size_t{e} + k];
  } else {
    // Short lists only (prepare_removal saw to it); removals are mostly of
    // recent edges_, so search from the newest end.
    std::span<const AdjEntry> entries = l.entries();
    for (uint32_t i = static_cast<uint32_t>(entries.size()); i-- > 0;) {
      if (entries[i].edge == e) {
        at = i;
        break;
      }
    }
  }
  if (l.remove_at(at)) squeeze(n, k);
}

void GraphStorage::prepare_removal(EdgeIndex e) {
  if (tracking()) return;
  if (nodes_[edges_[e].node[0]].adj[0].used() > kScanLimit ||
      nodes_[edges_[e].node[1]].adj[1].used() > kScanLimit)
    start_tracking();
}

void GraphStorage::release_edge_slot(EdgeIndex e) noexcept {
  EdgeSlot& slot = edges_[e];
  if (slot.node[0] == slot.node[1]) --nodes_[slot.node[0]].loop_count;
  slot.node[0] = END;
  slot.node[1] = free_edge_;
  slot.properties = PropertyMap();
  free_edge_ = e;
  --edge_count_;
}

void GraphStorage::remove_edge(EdgeIndex e) {
  prepare_removal(e);
  drop_entry(edges_[e].node[0], 0, e);
  drop_entry(edges_[e].node[1], 1, e);
  release_edge_slot(e);
}

void GraphStorage::prepare_node_removal(NodeIndex n) {
  if (tracking()) return;
  for (int k = 0; k < 2; ++k) {
    for (const AdjEntry& a : nodes_[n].adj[k].newest_first()) {
      if (nodes_[a.other].adj[1 - k].used() > kScanLimit) {
        start_tracking();
        return;
      }
    }
  }
}

PropertyMap GraphStorage::remove_node(NodeIndex n) {
  prepare_node_removal(n);
  // Nothing below allocates. Edges go outgoing newest first, then incoming
  // newest first (their slots are freed in that order); a self-loop goes
  // with the outgoing ones. n's own lists are dropped whole at the end.
  for (int k = 0; k < 2; ++k) {
    const AdjList& own = nodes_[n].adj[k];
    for (uint32_t i = own.used(); i-- > 0;) {
      const AdjEntry a = own.entries()[i];
      if (!a.live()) continue;
      if (k == 0 && a.other == n) drop_entry(n, 1, a.edge);  // the loop's incoming entry
      else if (a.other != n) drop_entry(a.other, 1 - k, a.edge);
      release_edge_slot(a.edge);
    }
  }
  NodeSlot& slot = nodes_[n];
  PropertyMap properties = std::move(slot.properties);
  slot.id = Str();
  slot.adj[0].clear(adj_pool_);
  slot.adj[1].clear(adj_pool_);
  slot.loop_count = 0;
  slot.vacant_next = free_node_;
  slot.vacant_prev = END;
  if (free_node_ != END) nodes_[free_node_].vacant_prev = n;
  free_node_ = n;
  --node_count_;
  return properties;
}

EdgeIndex GraphStorage::newest_edge(NodeIndex a, NodeIndex b) const noexcept {
  // The newest a -> b edge is the last matching entry of a's out-list and
  // of b's in-list alike: search the shorter one.
  const bool from_a = nodes_[a].adj[0].used() <= nodes_[b].adj[1].used();
  const NodeIndex want = from_a ? b : a;
  for (const AdjEntry& x : nodes_[from_a ? a : b].adj[from_a ? 0 : 1].newest_first())
    if (x.other == want) return x.edge;
  return END;
}

void GraphStorage::reserve(size_t nodes, size_t edges) {
  nodes_.reserve(nodes);
  edges_.reserve(edges);
}

}  // namespace qg
