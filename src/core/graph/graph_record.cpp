#include "core/graph/graph_record.h"

#include <random>

#include "core/graph/disjoint_sets.h"

namespace qg {

uint64_t draw_hash_seed() {
  // One draw from the OS per thread, then a splitmix64 step per new map.
  thread_local uint64_t state = [] {
    std::random_device rd;
    return (static_cast<uint64_t>(rd()) << 32) ^ rd();
  }();
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// ---- Adjacency lists ----

AdjEntry* AdjPool::allocate(uint32_t cls) {
  if (cls >= kClasses) throw InternalFault("adjacency list too long");
  if (AdjEntry* block = free_[cls]) {
    free_[cls] = *reinterpret_cast<AdjEntry**>(block);
    return block;
  }
  const size_t bytes = (size_t{4} << cls) * sizeof(AdjEntry);
  constexpr size_t kChunk = size_t{1} << 18;
  if (bytes > kChunk / 4) {  // large blocks get a chunk of their own
    chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(bytes));
    chunk_bytes_ += bytes;
    return reinterpret_cast<AdjEntry*>(chunks_.back().get());
  }
  if (left_ < bytes) {
    chunks_.push_back(std::make_unique_for_overwrite<std::byte[]>(kChunk));
    chunk_bytes_ += kChunk;
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

NodeIndex GraphStorage::add_node(NodeData data) {
  NodeIndex n;
  if (free_node != END) {
    n = free_node;
    NodeSlot& slot = nodes[n];
    NodeIndex following = slot.vacant_next;
    NodeIndex preceding = slot.vacant_prev;
    if (preceding != END) nodes[preceding].vacant_next = following;
    if (following != END) nodes[following].vacant_prev = preceding;
    free_node = following;
    slot.vacant_next = slot.vacant_prev = END;
    slot.loop_count = 0;
    slot.data = std::move(data);
  } else {
    if (nodes.size() >= END) throw InternalFault("node index space exhausted");
    n = static_cast<NodeIndex>(nodes.size());
    nodes.emplace_back();  // strong: nothing changes if it throws
    nodes.back().data = std::move(data);
  }
  ++node_count;
  return n;
}

void GraphStorage::start_tracking() {
  std::vector<uint32_t> pos(2 * edges.size(), END);
  for (const NodeSlot& slot : nodes) {
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
    nodes[n].adj[k].squeeze([&](const AdjEntry& a, uint32_t at) { pos_[2 * size_t{a.edge} + k] = at; });
  } else {
    nodes[n].adj[k].squeeze([](const AdjEntry&, uint32_t) {});
  }
}

void GraphStorage::make_room(NodeIndex n, int k) {
  AdjList& l = nodes[n].adj[k];
  if (l.has_room()) return;
  if (l.wants_squeeze_for_room()) squeeze(n, k);
  else l.reserve_more(1, adj_pool);
}

void GraphStorage::enter(EdgeIndex e, NodeIndex a, NodeIndex b) noexcept {
  const uint32_t at_out = nodes[a].adj[0].push_back_unchecked({e, b});
  const uint32_t at_in = nodes[b].adj[1].push_back_unchecked({e, a});
  if (tracking()) {
    pos_[2 * size_t{e}] = at_out;
    pos_[2 * size_t{e} + 1] = at_in;
  }
  if (a == b) ++nodes[a].loop_count;
}

EdgeIndex GraphStorage::add_edge(NodeIndex a, NodeIndex b, EdgeData data) {
  // Everything that may allocate comes first, so that a failure changes
  // nothing visible (a squeeze only drops removed marks).
  const bool fresh_slot = free_edge == END;
  if (fresh_slot) {
    if (edges.size() >= END) throw InternalFault("edge index space exhausted");
    if (edges.size() == edges.capacity()) edges.reserve(std::max<size_t>(16, 2 * edges.size()));
  }
  const EdgeIndex e = fresh_slot ? static_cast<EdgeIndex>(edges.size()) : free_edge;
  if (tracking() && pos_.size() < 2 * (size_t{e} + 1)) pos_.resize(2 * edges.capacity(), END);
  make_room(a, 0);
  make_room(b, 1);
  if (fresh_slot) {
    edges.push_back(EdgeSlot{{a, b}, std::move(data)});
  } else {
    free_edge = edges[e].node[1];
    edges[e].node[0] = a;
    edges[e].node[1] = b;
    edges[e].data = std::move(data);
  }
  enter(e, a, b);
  ++edge_count;
  return e;
}

EdgeIndex GraphStorage::append_edge_unlinked(NodeIndex a, NodeIndex b, EdgeData data) {
  if (free_edge != END) throw InternalFault("bulk edges need a storage without vacant edges");
  if (edges.size() >= END) throw InternalFault("edge index space exhausted");
  const auto e = static_cast<EdgeIndex>(edges.size());
  edges.push_back(EdgeSlot{{a, b}, std::move(data)});
  ++edge_count;
  return e;
}

void GraphStorage::link_appended(EdgeIndex first) {
  const size_t bound = nodes.size();
  std::vector<uint32_t> extra(2 * bound, 0);  // out, in per node
  for (size_t e = first; e < edges.size(); ++e) {
    ++extra[2 * size_t{edges[e].node[0]}];
    ++extra[2 * size_t{edges[e].node[1]} + 1];
  }
  for (size_t n = 0; n < bound; ++n) {
    for (int k = 0; k < 2; ++k) {
      if (uint32_t add = extra[2 * n + k]) nodes[n].adj[k].reserve_more(add, adj_pool);
    }
  }
  if (tracking()) pos_.resize(2 * edges.size(), END);
  for (size_t e = first; e < edges.size(); ++e)
    enter(static_cast<EdgeIndex>(e), edges[e].node[0], edges[e].node[1]);
}

void GraphStorage::drop_entry(NodeIndex n, int k, EdgeIndex e) noexcept {
  AdjList& l = nodes[n].adj[k];
  uint32_t at = END;
  if (tracking()) {
    at = pos_[2 * size_t{e} + k];
  } else {
    // Short lists only (prepare_removal saw to it); removals are mostly of
    // recent edges, so search from the newest end.
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
  if (nodes[edges[e].node[0]].adj[0].used() > kScanLimit ||
      nodes[edges[e].node[1]].adj[1].used() > kScanLimit)
    start_tracking();
}

void GraphStorage::release_edge_slot(EdgeIndex e) noexcept {
  EdgeSlot& slot = edges[e];
  if (slot.node[0] == slot.node[1]) --nodes[slot.node[0]].loop_count;
  slot.node[0] = END;
  slot.node[1] = free_edge;
  slot.data = EdgeData{};
  free_edge = e;
  --edge_count;
}

void GraphStorage::remove_edge(EdgeIndex e) {
  prepare_removal(e);
  drop_entry(edges[e].node[0], 0, e);
  drop_entry(edges[e].node[1], 1, e);
  release_edge_slot(e);
}

void GraphStorage::prepare_node_removal(NodeIndex n) {
  if (tracking()) return;
  for (int k = 0; k < 2; ++k) {
    for (const AdjEntry& a : nodes[n].adj[k].newest_first()) {
      if (nodes[a.other].adj[1 - k].used() > kScanLimit) {
        start_tracking();
        return;
      }
    }
  }
}

NodeData GraphStorage::remove_node(NodeIndex n) {
  prepare_node_removal(n);
  // Nothing below allocates. Edges go outgoing newest first, then incoming
  // newest first (their slots are freed in that order); a self-loop goes
  // with the outgoing ones. n's own lists are dropped whole at the end.
  for (int k = 0; k < 2; ++k) {
    const AdjList& own = nodes[n].adj[k];
    for (uint32_t i = own.used(); i-- > 0;) {
      const AdjEntry a = own.entries()[i];
      if (!a.live()) continue;
      if (k == 0 && a.other == n) drop_entry(n, 1, a.edge);  // the loop's incoming entry
      else if (a.other != n) drop_entry(a.other, 1 - k, a.edge);
      release_edge_slot(a.edge);
    }
  }
  NodeSlot& slot = nodes[n];
  NodeData data = std::move(slot.data);
  slot.data = NodeData{};
  slot.adj[0].clear(adj_pool);
  slot.adj[1].clear(adj_pool);
  slot.loop_count = 0;
  slot.vacant_next = free_node;
  slot.vacant_prev = END;
  if (free_node != END) nodes[free_node].vacant_prev = n;
  free_node = n;
  --node_count;
  return data;
}

EdgeIndex GraphStorage::newest_edge(NodeIndex a, NodeIndex b) const noexcept {
  // The newest a -> b edge is the last matching entry of a's out-list and
  // of b's in-list alike: search the shorter one.
  const bool from_a = nodes[a].adj[0].used() <= nodes[b].adj[1].used();
  const NodeIndex want = from_a ? b : a;
  for (const AdjEntry& x : nodes[from_a ? a : b].adj[from_a ? 0 : 1].newest_first())
    if (x.other == want) return x.edge;
  return END;
}

// ---- Core operations ----

namespace {

std::string quoted(std::string_view prefix, std::string_view id, std::string_view suffix) {
  std::string s;
  s.reserve(prefix.size() + id.size() + suffix.size() + 2);
  s.append(prefix).append("'").append(id).append("'").append(suffix);
  return s;
}

std::string node_not_found(std::string_view id) { return quoted("Node ", id, " not found"); }

std::string edge_message(std::string_view s, std::string_view t, std::string_view tail) {
  return "Edge '" + std::string(s) + "' -> '" + std::string(t) + "' " + std::string(tail);
}

}  // namespace

NodeIndex find_node(const GraphRecord& g, std::string_view id) {
  auto it = g.node_index.find(id);
  return it == g.node_index.end() ? END : it->second;
}

Result<NodeIndex> node_index_or_err(const GraphRecord& g, std::string_view id) {
  NodeIndex n = find_node(g, id);
  if (n == END) return Err(node_not_found(id));
  return n;
}

const NodeData* node_data(const GraphRecord& g, std::string_view id) {
  NodeIndex n = find_node(g, id);
  if (n == END || n >= g.inner.nodes.size() || !g.inner.nodes[n].live()) return nullptr;
  return &g.inner.nodes[n].data;
}

size_t degree_of(const GraphRecord& g, NodeIndex n) {
  const NodeSlot& slot = g.inner.nodes[n];
  size_t d = size_t{slot.adj[0].size()} + slot.adj[1].size();
  return g.directed ? d : d - slot.loop_count;
}

Result<size_t> node_degree(const GraphRecord& g, std::string_view id) {
  auto n = node_index_or_err(g, id);
  if (!n) return Err(std::move(n.error()));
  return degree_of(g, *n);
}

void intern_keys(GraphRecord& g, PropertyMap& properties) { properties.intern_keys(g.keys); }

Status add_node_core(GraphRecord& g, Str id, PropertyMap properties) {
  if (g.node_index.contains(id.view())) return Err(quoted("Node ", id.view(), " already exists"));
  std::string_view key = id.view();  // stays valid: the slot holds the text
  g.node_index.reserve(g.node_index.size() + 1);  // so that emplace cannot fail below
  NodeIndex n = g.inner.add_node(NodeData{std::move(id), std::move(properties)});
  g.node_index.emplace(key, n);
  return {};
}

Status add_node_core(GraphRecord& g, std::string_view id, PropertyMap properties) {
  if (g.node_index.contains(id)) return Err(quoted("Node ", id, " already exists"));
  return add_node_core(g, Str::make(id), std::move(properties));
}

namespace {

// Removed marks hold END as their other end, so they never match.
bool list_has(const AdjList& l, NodeIndex other) {
  for (const AdjEntry& a : l.entries())
    if (a.other == other) return true;
  return false;
}

}  // namespace

bool has_edge_between(const GraphRecord& g, NodeIndex s, NodeIndex t) {
  // Scans whichever side holds fewer entries; the answer is the same.
  const NodeSlot& a = g.inner.nodes[s];
  const NodeSlot& b = g.inner.nodes[t];
  if (g.directed)
    return a.adj[0].size() <= b.adj[1].size() ? list_has(a.adj[0], t) : list_has(b.adj[1], s);
  if (a.adj[0].size() + a.adj[1].size() <= b.adj[0].size() + b.adj[1].size())
    return list_has(a.adj[0], t) || list_has(a.adj[1], t);
  return list_has(b.adj[0], s) || list_has(b.adj[1], s);
}

Result<EdgeIndex> add_edge_by_index(GraphRecord& g, NodeIndex s, NodeIndex t,
                                    PropertyMap properties) {
  if (!g.multi && has_edge_between(g, s, t))
    return Err(edge_message(g.inner.id(s), g.inner.id(t), "already exists"));
  return g.inner.add_edge(s, t, EdgeData{std::move(properties)});
}

Result<EdgeIndex> add_edge_core(GraphRecord& g, std::string_view source, std::string_view target,
                                PropertyMap properties) {
  NodeIndex s = find_node(g, source);
  if (s == END) return Err(quoted("Source node ", source, " not found"));
  NodeIndex t = find_node(g, target);
  if (t == END) return Err(quoted("Target node ", target, " not found"));
  if (!g.multi && has_edge_between(g, s, t)) return Err(edge_message(source, target, "already exists"));
  return g.inner.add_edge(s, t, EdgeData{std::move(properties)});
}

bool has_edge_core(const GraphRecord& g, std::string_view source, std::string_view target) {
  NodeIndex s = find_node(g, source);
  NodeIndex t = find_node(g, target);
  if (s == END || t == END) return false;
  return has_edge_between(g, s, t);
}

std::vector<std::string_view> node_id_list(const GraphRecord& g) {
  std::vector<std::string_view> ids;
  ids.reserve(g.inner.node_count);
  for (const NodeSlot& slot : g.inner.nodes)
    if (slot.live()) ids.push_back(slot.data.id.view());
  return ids;
}

std::vector<EdgeRef> edge_list_refs(const GraphRecord& g) {
  std::vector<EdgeRef> out;
  out.reserve(g.inner.edge_count);
  for (const EdgeSlot& slot : g.inner.edges) {
    if (!slot.live()) continue;
    out.push_back(EdgeRef{g.inner.id(slot.node[0]), g.inner.id(slot.node[1]), &slot.data.properties});
  }
  return out;
}

Result<PropertyMap> remove_node_core(GraphRecord& g, std::string_view id) {
  auto it = g.node_index.find(id);
  if (it == g.node_index.end()) return Err(node_not_found(id));
  NodeIndex n = it->second;
  g.inner.prepare_node_removal(n);  // may allocate: before anything changes
  g.node_index.erase(it);           // before the id's text goes away with the slot
  NodeData data = g.inner.remove_node(n);
  return std::move(data.properties);
}

Status remove_edge_core(GraphRecord& g, std::string_view source, std::string_view target) {
  NodeIndex s = find_node(g, source);
  if (s == END) return Err(quoted("Source node ", source, " not found"));
  NodeIndex t = find_node(g, target);
  if (t == END) return Err(quoted("Target node ", target, " not found"));
  // The newest edge source -> target; undirected, else the newest t -> s.
  EdgeIndex found = g.inner.newest_edge(s, t);
  if (found == END && !g.directed) found = g.inner.newest_edge(t, s);
  if (found == END) return Err(edge_message(source, target, "not found"));
  g.inner.remove_edge(found);
  return {};
}

Status update_node_core(GraphRecord& g, std::string_view id, const PropertyMap& properties) {
  auto n = node_index_or_err(g, id);
  if (!n) return Err(std::move(n.error()));
  g.inner.nodes[*n].data.properties.update(properties);
  return {};
}

Status set_node_property_core(GraphRecord& g, std::string_view id, std::string_view key,
                              PropertyValue value) {
  auto n = node_index_or_err(g, id);
  if (!n) return Err(std::move(n.error()));
  g.inner.nodes[*n].data.properties.set(g.keys.get(key), std::move(value));
  return {};
}

bool is_weakly_connected_uf(const GraphRecord& g) {
  const GraphStorage& st = g.inner;
  if (st.node_count < 2) return true;
  const size_t bound = st.node_bound();
  DisjointSets sets(bound);
  for (const EdgeSlot& e : st.edges)
    if (e.live() && e.node[0] != e.node[1]) sets.unite(e.node[0], e.node[1]);
  uint32_t root = END;
  for (size_t i = 0; i < bound; ++i) {
    if (!st.nodes[i].live()) continue;
    uint32_t r = sets.find(static_cast<uint32_t>(i));
    if (root == END) root = r;
    else if (r != root) return false;
  }
  return true;
}

size_t record_heap_bytes(const GraphRecord& g) {
  size_t bytes = g.inner.nodes.capacity() * sizeof(NodeSlot) +
                 g.inner.edges.capacity() * sizeof(EdgeSlot);
  for (const NodeSlot& n : g.inner.nodes)
    bytes += n.data.id.heap_bytes() + n.data.properties.heap_bytes();
  bytes += g.inner.adj_pool.heap_bytes();
  for (const EdgeSlot& e : g.inner.edges) bytes += e.data.properties.heap_bytes();
  bytes += g.node_index.capacity() * (sizeof(std::pair<IdKey, NodeIndex>) + 1);
  return bytes;
}

}  // namespace qg
