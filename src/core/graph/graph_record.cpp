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

void AdjList::grow(AdjPool& pool) {
  uint32_t cls = data_ ? cls_ + 1 : 0;
  AdjEntry* fresh = pool.allocate(cls);
  if (data_) {
    std::memcpy(fresh, data_, sizeof(AdjEntry) * size_);
    pool.release(data_, cls_);
  }
  data_ = fresh;
  cls_ = cls;
}

void AdjList::reserve(uint32_t n, AdjPool& pool) {
  if (data_ && n <= (4u << cls_)) return;
  uint32_t cls = 0;
  while ((4u << cls) < n) {
    if (++cls >= AdjPool::kClasses) throw InternalFault("adjacency list too long");
  }
  AdjEntry* fresh = pool.allocate(cls);
  if (data_) {
    std::memcpy(fresh, data_, sizeof(AdjEntry) * size_);
    pool.release(data_, cls_);
  }
  data_ = fresh;
  cls_ = cls;
}

bool AdjList::erase_edge(EdgeIndex e) noexcept {
  // Removals are mostly of recent edges: search from the newest end.
  for (uint32_t i = size_; i-- > 0;) {
    if (data_[i].edge == e) {
      std::memmove(data_ + i, data_ + i + 1, sizeof(AdjEntry) * (size_ - i - 1));
      --size_;
      return true;
    }
  }
  return false;
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
    nodes.emplace_back();
    nodes.back().data = std::move(data);
  }
  ++node_count;
  return n;
}

EdgeIndex GraphStorage::add_edge(NodeIndex a, NodeIndex b, EdgeData data) {
  EdgeIndex e;
  if (free_edge != END) {
    e = free_edge;
    free_edge = edges[e].node[1];
    edges[e].data = std::move(data);
  } else {
    if (edges.size() >= END) throw InternalFault("edge index space exhausted");
    e = static_cast<EdgeIndex>(edges.size());
    edges.push_back(EdgeSlot{{END, END}, std::move(data)});
  }
  EdgeSlot& slot = edges[e];
  slot.node[0] = a;
  slot.node[1] = b;
  nodes[a].adj[0].push_back({e, b}, adj_pool);
  nodes[b].adj[1].push_back({e, a}, adj_pool);
  if (a == b) ++nodes[a].loop_count;
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
      if (uint32_t add = extra[2 * n + k]) nodes[n].adj[k].reserve(nodes[n].adj[k].size() + add, adj_pool);
    }
  }
  for (size_t e = first; e < edges.size(); ++e) {
    const NodeIndex a = edges[e].node[0], b = edges[e].node[1];
    const auto idx = static_cast<EdgeIndex>(e);
    nodes[a].adj[0].push_back({idx, b}, adj_pool);
    nodes[b].adj[1].push_back({idx, a}, adj_pool);
    if (a == b) ++nodes[a].loop_count;
  }
}

void GraphStorage::remove_edge(EdgeIndex e) {
  EdgeSlot& slot = edges[e];
  NodeIndex a = slot.node[0], b = slot.node[1];
  if (!nodes[a].adj[0].erase_edge(e) || !nodes[b].adj[1].erase_edge(e))
    throw InternalFault("edge missing from its adjacency list");
  if (a == b) --nodes[a].loop_count;
  slot.node[0] = END;
  slot.node[1] = free_edge;
  slot.data = EdgeData{};
  free_edge = e;
  --edge_count;
}

NodeData GraphStorage::remove_node(NodeIndex n) {
  NodeData data = std::move(nodes[n].data);
  nodes[n].data = NodeData{};
  // Outgoing edges newest first, then incoming newest first; a self-loop
  // goes with the outgoing ones.
  for (int k = 0; k < 2; ++k) {
    while (!nodes[n].adj[k].empty()) {
      const AdjList& l = nodes[n].adj[k];
      remove_edge(l[l.size() - 1].edge);
    }
    nodes[n].adj[k].clear(adj_pool);
  }
  NodeSlot& slot = nodes[n];
  slot.loop_count = 0;
  slot.vacant_next = free_node;
  slot.vacant_prev = END;
  if (free_node != END) nodes[free_node].vacant_prev = n;
  free_node = n;
  --node_count;
  return data;
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
  NodeIndex n = g.inner.add_node(NodeData{std::move(id), std::move(properties)});
  g.node_index.emplace(key, n);
  return {};
}

Status add_node_core(GraphRecord& g, std::string_view id, PropertyMap properties) {
  if (g.node_index.contains(id)) return Err(quoted("Node ", id, " already exists"));
  return add_node_core(g, Str::make(id), std::move(properties));
}

namespace {

bool list_has(const AdjList& l, NodeIndex other) {
  for (const AdjEntry& a : l.span())
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
  g.node_index.erase(it);  // before the id's text goes away with the slot
  NodeData data = g.inner.remove_node(n);
  return std::move(data.properties);
}

Status remove_edge_core(GraphRecord& g, std::string_view source, std::string_view target) {
  NodeIndex s = find_node(g, source);
  if (s == END) return Err(quoted("Source node ", source, " not found"));
  NodeIndex t = find_node(g, target);
  if (t == END) return Err(quoted("Target node ", target, " not found"));
  const GraphStorage& st = g.inner;
  // The newest edge source -> target; undirected, else the newest t -> s.
  EdgeIndex found = END;
  st.for_each_out(s, [&](const AdjEntry& a) {
    if (found == END && a.other == t) found = a.edge;
  });
  if (found == END && !g.directed) {
    st.for_each_in(s, [&](const AdjEntry& a) {
      if (found == END && a.other == t) found = a.edge;
    });
  }
  if (found == END) return Err(edge_message(source, target, "not found"));
  g.inner.remove_edge(found);
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
