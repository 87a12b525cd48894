#include "core/graph/graph_record.h"

#include <random>

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

// ---- GraphStorage ----

NodeIndex GraphStorage::add_node(NodeData data) {
  NodeIndex n;
  if (free_node != END) {
    n = free_node;
    NodeSlot& slot = nodes[n];
    NodeIndex following = slot.next[0];
    NodeIndex preceding = slot.next[1];
    if (preceding != END) nodes[preceding].next[0] = following;
    if (following != END) nodes[following].next[1] = preceding;
    free_node = following;
    slot.next[0] = slot.next[1] = END;
    slot.out_count = slot.in_count = slot.loop_count = 0;
    slot.data = std::move(data);
  } else {
    if (nodes.size() >= END) throw InternalFault("node index space exhausted");
    n = static_cast<NodeIndex>(nodes.size());
    nodes.push_back(NodeSlot{{END, END}, std::move(data), 0, 0, 0});
  }
  ++node_count;
  return n;
}

EdgeIndex GraphStorage::add_edge(NodeIndex a, NodeIndex b, EdgeData data) {
  EdgeIndex e;
  if (free_edge != END) {
    e = free_edge;
    free_edge = edges[e].next[0];
    edges[e].data = std::move(data);
  } else {
    if (edges.size() >= END) throw InternalFault("edge index space exhausted");
    e = static_cast<EdgeIndex>(edges.size());
    edges.push_back(EdgeSlot{{END, END}, {END, END}, std::move(data)});
  }
  EdgeSlot& slot = edges[e];
  slot.node[0] = a;
  slot.node[1] = b;
  slot.next[0] = nodes[a].next[0];
  slot.next[1] = nodes[b].next[1];
  nodes[a].next[0] = e;
  nodes[b].next[1] = e;
  ++nodes[a].out_count;
  ++nodes[b].in_count;
  if (a == b) ++nodes[a].loop_count;
  ++edge_count;
  return e;
}

void GraphStorage::remove_edge(EdgeIndex e) {
  EdgeSlot& slot = edges[e];
  for (int k = 0; k < 2; ++k) {
    NodeIndex owner = slot.node[k];
    EdgeIndex* link = &nodes[owner].next[k];
    while (*link != e) {
      if (*link == END) throw InternalFault("edge missing from its adjacency list");
      link = &edges[*link].next[k];
    }
    *link = slot.next[k];
  }
  --nodes[slot.node[0]].out_count;
  --nodes[slot.node[1]].in_count;
  if (slot.node[0] == slot.node[1]) --nodes[slot.node[0]].loop_count;
  slot.next[0] = free_edge;
  slot.next[1] = END;
  slot.node[0] = slot.node[1] = END;
  slot.data = EdgeData{};
  free_edge = e;
  --edge_count;
}

NodeData GraphStorage::remove_node(NodeIndex n) {
  NodeData data = std::move(nodes[n].data);
  nodes[n].data = NodeData{};
  for (int k = 0; k < 2; ++k) {
    while (nodes[n].next[k] != END) remove_edge(nodes[n].next[k]);
  }
  NodeSlot& slot = nodes[n];
  slot.next[0] = free_node;
  slot.next[1] = END;
  if (free_node != END) nodes[free_node].next[1] = n;
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
  size_t d = size_t{slot.out_count} + slot.in_count;
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

bool has_edge_between(const GraphRecord& g, NodeIndex s, NodeIndex t) {
  // Walks whichever side holds fewer edges; the answer is the same.
  const GraphStorage& st = g.inner;
  const NodeSlot& a = st.nodes[s];
  const NodeSlot& b = st.nodes[t];
  if (g.directed) {
    if (a.out_count <= b.in_count) {
      for (EdgeIndex e = st.first_out(s); e != END; e = st.next_out(e))
        if (st.target(e) == t) return true;
    } else {
      for (EdgeIndex e = st.first_in(t); e != END; e = st.next_in(e))
        if (st.source(e) == s) return true;
    }
    return false;
  }
  if (a.out_count + a.in_count > b.out_count + b.in_count) std::swap(s, t);
  for (EdgeIndex e = st.first_out(s); e != END; e = st.next_out(e))
    if (st.target(e) == t) return true;
  for (EdgeIndex e = st.first_in(s); e != END; e = st.next_in(e))
    if (st.source(e) == t) return true;
  return false;
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
  EdgeIndex found = END;
  for (EdgeIndex e = st.first_out(s); e != END && found == END; e = st.next_out(e))
    if (st.target(e) == t) found = e;
  if (found == END && !g.directed) {
    for (EdgeIndex e = st.first_in(s); e != END && found == END; e = st.next_in(e))
      if (st.source(e) == t) found = e;
  }
  if (found == END) return Err(edge_message(source, target, "not found"));
  g.inner.remove_edge(found);
  return {};
}

bool is_weakly_connected_uf(const GraphRecord& g) {
  const GraphStorage& st = g.inner;
  if (st.node_count < 2) return true;
  size_t bound = st.node_bound();
  std::vector<uint32_t> parent(bound);
  std::vector<uint8_t> rank(bound, 0);
  for (size_t i = 0; i < bound; ++i) parent[i] = static_cast<uint32_t>(i);
  auto find = [&](uint32_t x) {
    while (parent[x] != x) {
      parent[x] = parent[parent[x]];
      x = parent[x];
    }
    return x;
  };
  for (const EdgeSlot& e : st.edges) {
    if (!e.live() || e.node[0] == e.node[1]) continue;
    uint32_t a = find(e.node[0]), b = find(e.node[1]);
    if (a == b) continue;
    if (rank[a] < rank[b]) std::swap(a, b);
    parent[b] = a;
    if (rank[a] == rank[b]) ++rank[a];
  }
  uint32_t root = END;
  for (size_t i = 0; i < bound; ++i) {
    if (!st.nodes[i].live()) continue;
    uint32_t r = find(static_cast<uint32_t>(i));
    if (root == END) root = r;
    else if (r != root) return false;
  }
  return true;
}

size_t record_heap_bytes(const GraphRecord& g) {
  size_t bytes = g.inner.nodes.capacity() * sizeof(NodeSlot) +
                 g.inner.edges.capacity() * sizeof(EdgeSlot);
  for (const NodeSlot& n : g.inner.nodes) {
    bytes += n.data.id.heap_bytes() + n.data.properties.heap_bytes();
  }
  for (const EdgeSlot& e : g.inner.edges) bytes += e.data.properties.heap_bytes();
  bytes += g.node_index.capacity() * (sizeof(std::pair<IdKey, NodeIndex>) + 1);
  return bytes;
}

}  // namespace qg
