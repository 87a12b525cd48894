#include "bindings/graph_class.h"

#include <memory>
#include <new>

#include "bindings/convert.h"
#include "bindings/frame.h"
#include "core/algorithms/toposort.h"
#include "core/graph/graph_record.h"

namespace qgpy {

namespace {

using qg::END;
using qg::GraphRecord;
using qg::NodeIndex;

PyGraphObject* as_graph(PyObject* self) { return reinterpret_cast<PyGraphObject*>(self); }

// ---- Construction and slots ----

constexpr const char* kNewParams[] = {"directed", "name", "multi"};
constexpr FnDesc kNew{"__new__", "PyGraph", kNewParams, 0};

PyObject* pygraph_new_impl(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  PyObject* a[3];
  if (!bind_tuple_dict(kNew, args, kwargs, a)) return nullptr;
  bool directed = true, multi = false, has_name = false;
  std::string_view name;
  if (a[0] && !arg_bool(a[0], "directed", directed)) return nullptr;
  if (!arg_opt_str(a[1], "name", name, has_name)) return nullptr;
  if (a[2] && !arg_bool(a[2], "multi", multi)) return nullptr;
  auto* record = new GraphRecord(directed, std::string(name), multi);
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* self = alloc(type, 0);
  if (!self) {
    delete record;
    return nullptr;
  }
  new (&as_graph(self)->borrow_flag) std::atomic<uintptr_t>(0);
  as_graph(self)->graph = record;
  return self;
}

PyObject* pygraph_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded<PyObject*>(nullptr, [&] { return pygraph_new_impl(type, args, kwargs); });
}

void pygraph_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  free_id_cache(as_graph(self));
  delete as_graph(self)->graph;
  as_graph(self)->graph = nullptr;
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(type);
}

PyObject* pygraph_repr_impl(PyObject* self) {
  GraphBorrow g;
  if (!self_graph(self, g)) return nullptr;
  const qg::Graph& r = g.graph();
  return PyUnicode_FromFormat("PyGraph(nodes=%zu, edges=%zu, directed=%s)", r.node_count(),
                              r.edge_count(), r.directed() ? "true" : "false");
}

Py_ssize_t pygraph_len_impl(PyObject* self) {
  GraphBorrow g;
  if (!self_graph(self, g)) return -1;
  return static_cast<Py_ssize_t>(g.graph().node_count());
}

int pygraph_contains_impl(PyObject* self, PyObject* key) {
  GraphBorrow g;
  if (!self_graph(self, g)) return -1;
  std::string_view id;
  if (!arg_str(key, "id", id)) return -1;
  return qg::find_node(g.graph(), id) != END ? 1 : 0;
}

// Slot entry points, under the guard as methods are.
PyObject* pygraph_repr(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&] { return pygraph_repr_impl(self); });
}

Py_ssize_t pygraph_len(PyObject* self) {
  return guarded<Py_ssize_t>(-1, [&] { return pygraph_len_impl(self); });
}

int pygraph_contains(PyObject* self, PyObject* key) {
  return guarded(-1, [&] { return pygraph_contains_impl(self, key); });
}

// ---- Getters ----

template <PyObject* (*Read)(const qg::Graph&)>
PyObject* getter(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    GraphBorrow g;
    if (!self_graph(self, g)) return nullptr;
    return Read(g.graph());
  });
}

PyObject* read_n_nodes(const qg::Graph& r) { return PyLong_FromSize_t(r.node_count()); }
PyObject* read_n_edges(const qg::Graph& r) { return PyLong_FromSize_t(r.edge_count()); }
PyObject* read_is_directed(const qg::Graph& r) { return py_bool(r.directed()); }
PyObject* read_is_multi(const qg::Graph& r) { return py_bool(r.multi()); }
PyObject* read_name(const qg::Graph& r) { return py_str(r.name()); }

PyGetSetDef kGetSet[] = {
    {"n_nodes", getter<read_n_nodes>, nullptr, "Number of nodes.", nullptr},
    {"n_edges", getter<read_n_edges>, nullptr, "Number of edges.", nullptr},
    {"is_directed", getter<read_is_directed>, nullptr, "Whether the graph is directed.", nullptr},
    {"is_multi", getter<read_is_multi>, nullptr,
     "Whether the graph allows parallel edges (multi-graph).", nullptr},
    {"name", getter<read_name>, nullptr, "Graph name.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ---- Node and edge methods ----

constexpr const char* kIdProps[] = {"id", "properties"};
constexpr const char* kEdgeProps[] = {"source", "target", "properties"};
constexpr const char* kId[] = {"id"};
constexpr const char* kEdge[] = {"source", "target"};
constexpr const char* kIdKeyValue[] = {"id", "key", "value"};

constexpr FnDesc kAddNode{"add_node", "PyGraph", kIdProps, 1};
constexpr FnDesc kAddEdge{"add_edge", "PyGraph", kEdgeProps, 2};
constexpr FnDesc kRemoveNode{"remove_node", "PyGraph", kId, 1};
constexpr FnDesc kRemoveEdge{"remove_edge", "PyGraph", kEdge, 2};
constexpr FnDesc kUpdateNode{"update_node", "PyGraph", kIdProps, 1};
constexpr FnDesc kSetNodeProperty{"set_node_property", "PyGraph", kIdKeyValue, 3};
constexpr FnDesc kNode{"node", "PyGraph", kId, 1};
constexpr FnDesc kSuccessors{"successors", "PyGraph", kId, 1};
constexpr FnDesc kPredecessors{"predecessors", "PyGraph", kId, 1};
constexpr FnDesc kNeighbors{"neighbors", "PyGraph", kId, 1};
constexpr FnDesc kDegree{"degree", "PyGraph", kId, 1};
constexpr FnDesc kHasNode{"has_node", "PyGraph", kId, 1};
constexpr FnDesc kHasEdge{"has_edge", "PyGraph", kEdge, 2};

PyObject* add_node(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  GraphWriteBorrow g;
  if (!bind_self(kAddNode, self, args, n, kw, a, g)) return nullptr;
  std::string_view id;
  qg::PropertyMap props;
  if (!arg_str(a[0], "id", id) || !arg_properties(a[1], "properties", props, &g.record().keys()))
    return nullptr;
  auto r = qg::add_node_core(g.record(), id, std::move(props));
  if (!r) return raise_error(r.error());
  // The caller's str is the node's id object from now on.
  remember_node_id(g.object(), qg::find_node(g.record(), id), a[0]);
  Py_RETURN_NONE;
}

PyObject* add_edge(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[3];
  GraphWriteBorrow g;
  if (!bind_self(kAddEdge, self, args, n, kw, a, g)) return nullptr;
  std::string_view source, target;
  qg::PropertyMap props;
  if (!arg_str(a[0], "source", source) || !arg_str(a[1], "target", target) ||
      !arg_properties(a[2], "properties", props, &g.record().keys()))
    return nullptr;
  auto r = qg::add_edge_core(g.record(), source, target, std::move(props));
  // Every refused edge is a ValueError, unknown endpoints included.
  if (!r) return raise_error(r.error(), {qg::ErrorKind::NotFound, PyExc_ValueError});
  Py_RETURN_NONE;
}

PyObject* remove_node(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphWriteBorrow g;
  if (!bind_self(kRemoveNode, self, args, n, kw, a, g)) return nullptr;
  std::string_view id;
  if (!arg_str(a[0], "id", id)) return nullptr;
  auto slot = qg::node_index_or_err(g.record(), id);
  if (!slot) return raise_error(slot.error());
  // The returned dict is made first: nothing can fail once the node is gone.
  Ref properties(properties_to_pydict(g.record().storage().node_properties(*slot)));
  if (!properties) return nullptr;
  auto r = qg::remove_node_core(g.record(), id);
  if (!r) return raise_error(r.error());
  forget_node_id(g.object(), *slot);
  return properties.release();
}

PyObject* remove_edge(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  GraphWriteBorrow g;
  if (!bind_self(kRemoveEdge, self, args, n, kw, a, g)) return nullptr;
  std::string_view source, target;
  if (!arg_str(a[0], "source", source) || !arg_str(a[1], "target", target)) return nullptr;
  auto r = qg::remove_edge_core(g.record(), source, target);
  if (!r) return raise_error(r.error());
  Py_RETURN_NONE;
}

PyObject* update_node(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  GraphWriteBorrow g;
  if (!bind_self(kUpdateNode, self, args, n, kw, a, g)) return nullptr;
  std::string_view id;
  qg::PropertyMap props;
  if (!arg_str(a[0], "id", id) || !arg_properties(a[1], "properties", props, &g.record().keys()))
    return nullptr;
  auto r = qg::update_node_core(g.record(), id, props);
  if (!r) return raise_error(r.error());
  Py_RETURN_NONE;
}

PyObject* set_node_property(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[3];
  GraphWriteBorrow g;
  if (!bind_self(kSetNodeProperty, self, args, n, kw, a, g)) return nullptr;
  std::string_view id, key;
  qg::PropertyValue value;
  if (!arg_str(a[0], "id", id) || !arg_str(a[1], "key", key)) return nullptr;
  if (!py_to_property_value(a[2], value)) return nullptr;
  auto r = qg::set_node_property_core(g.record(), id, key, std::move(value));
  if (!r) return raise_error(r.error());
  Py_RETURN_NONE;
}

PyObject* node(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_self(kNode, self, args, n, kw, a, g)) return nullptr;
  std::string_view id;
  if (!arg_str(a[0], "id", id)) return nullptr;
  const qg::PropertyMap* properties = qg::node_properties(g.graph(), id);
  if (!properties) Py_RETURN_NONE;
  return properties_to_pydict(*properties);
}

PyObject* node_ids(PyObject* self) {
  GraphBorrow g;
  if (!self_graph(self, g)) return nullptr;
  return id_list(NodeIds(g), qg::live_nodes(g.graph()));
}

PyObject* edges(PyObject* self) {
  GraphBorrow g;
  if (!self_graph(self, g)) return nullptr;
  const qg::GraphStorage& st = g.graph().storage();
  Ref list(PyList_New(static_cast<Py_ssize_t>(st.edge_count())));
  if (!list) return nullptr;
  Py_ssize_t i = 0;
  NodeIds ids(g);
  for (const qg::EdgeView e : st.live_edges()) {
    Ref s(ids(e.source));
    Ref t(ids(e.target));
    Ref p(properties_to_pydict(e.properties));
    if (!s || !t || !p) return nullptr;
    PyObject* tuple = PyTuple_Pack(3, s.get(), t.get(), p.get());
    if (!tuple) return nullptr;
    PyList_SetItem(list.get(), i++, tuple);
  }
  return list.release();
}

template <const FnDesc& Desc, qg::Adjacent Which>
PyObject* adjacency_method(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_self(Desc, self, args, n, kw, a, g)) return nullptr;
  std::string_view id;
  if (!arg_str(a[0], "id", id)) return nullptr;
  const qg::Graph& r = g.graph();
  auto v = qg::node_index_or_err(r, id);
  if (!v) return raise_error(v.error());
  return id_list(NodeIds(g), qg::adjacent_nodes(r, *v, Which));
}

PyObject* degree(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_self(kDegree, self, args, n, kw, a, g)) return nullptr;
  std::string_view id;
  if (!arg_str(a[0], "id", id)) return nullptr;
  auto d = qg::node_degree(g.graph(), id);
  if (!d) return raise_error(d.error());
  return PyLong_FromSize_t(*d);
}

PyObject* has_node(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_self(kHasNode, self, args, n, kw, a, g)) return nullptr;
  std::string_view id;
  if (!arg_str(a[0], "id", id)) return nullptr;
  return py_bool(qg::find_node(g.graph(), id) != END);
}

PyObject* has_edge(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  GraphBorrow g;
  if (!bind_self(kHasEdge, self, args, n, kw, a, g)) return nullptr;
  std::string_view source, target;
  if (!arg_str(a[0], "source", source) || !arg_str(a[1], "target", target)) return nullptr;
  return py_bool(qg::has_edge_core(g.graph(), source, target));
}

PyObject* is_dag(PyObject* self) {
  GraphBorrow g;
  if (!self_graph(self, g)) return nullptr;
  const qg::Graph& r = g.graph();
  if (!r.directed()) Py_RETURN_FALSE;
  return py_bool(qg::toposort(r.storage()).ok());
}

PyObject* is_connected(PyObject* self) {
  GraphBorrow g;
  if (!self_graph(self, g)) return nullptr;
  return py_bool(qg::is_weakly_connected_uf(g.graph()));
}

PyObject* is_tree(PyObject* self) {
  GraphBorrow g;
  if (!self_graph(self, g)) return nullptr;
  return py_bool(qg::is_tree(g.graph()));
}

constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef kMethods[] = {
    {"add_node", QG_FASTCALL(add_node), kFast,
     "add_node($self, id, properties=None)\n--\n\n"
     "Add a node with the given ID and optional properties dict."},
    {"add_edge", QG_FASTCALL(add_edge), kFast,
     "add_edge($self, source, target, properties=None)\n--\n\n"
     "Add an edge from source to target with optional properties dict."},
    {"remove_node", QG_FASTCALL(remove_node), kFast,
     "remove_node($self, id)\n--\n\n"
     "Remove a node and all its incident edges. Returns the node's properties."},
    {"remove_edge", QG_FASTCALL(remove_edge), kFast,
     "remove_edge($self, source, target)\n--\n\nRemove an edge from source to target."},
    {"update_node", QG_FASTCALL(update_node), kFast,
     "update_node($self, id, properties=None)\n--\n\n"
     "Merge properties into an existing node. Existing properties are\n"
     "preserved unless overwritten by the new values."},
    {"set_node_property", QG_FASTCALL(set_node_property), kFast,
     "set_node_property($self, id, key, value)\n--\n\nSet a single property on an existing node."},
    {"node", QG_FASTCALL(node), kFast,
     "node($self, id)\n--\n\nGet a node's properties dict, or None if not found."},
    {"node_ids", QG_NOARGS(node_ids), METH_NOARGS, "node_ids($self)\n--\n\nList all node IDs."},
    {"edges", QG_NOARGS(edges), METH_NOARGS,
     "edges($self)\n--\n\nList all edges as (source, target, properties) tuples."},
    {"successors", QG_FASTCALL((adjacency_method<kSuccessors, qg::Adjacent::Successors>)), kFast,
     "successors($self, id)\n--\n\nGet successors (outgoing neighbors) of a node."},
    {"predecessors", QG_FASTCALL((adjacency_method<kPredecessors, qg::Adjacent::Predecessors>)),
     kFast, "predecessors($self, id)\n--\n\nGet predecessors (incoming neighbors) of a node."},
    {"neighbors", QG_FASTCALL((adjacency_method<kNeighbors, qg::Adjacent::Neighbors>)), kFast,
     "neighbors($self, id)\n--\n\nGet all neighbors (both directions) of a node."},
    {"degree", QG_FASTCALL(degree), kFast,
     "degree($self, id)\n--\n\nDegree of a node (in + out for directed)."},
    {"has_node", QG_FASTCALL(has_node), kFast,
     "has_node($self, id)\n--\n\nCheck if a node exists."},
    {"has_edge", QG_FASTCALL(has_edge), kFast,
     "has_edge($self, source, target)\n--\n\nCheck if an edge exists."},
    {"is_dag", QG_NOARGS(is_dag), METH_NOARGS,
     "is_dag($self)\n--\n\nWhether the graph is a DAG (no cycles)."},
    {"to_json", QG_NOARGS(graph_to_json_method), METH_NOARGS,
     "to_json($self)\n--\n\nSerialize to JSON string."},
    {"from_json", QG_FASTCALL(graph_from_json_method), kFast | METH_STATIC,
     "from_json(data, max_bytes, max_nodes, max_edges)\n--\n\n"
     "Deserialize from a JSON string with explicit caps.\n\n"
     "All four arguments are required at this boundary: the host package's\n"
     "wrappers in `quor_graph.graph` resolve max_bytes, max_nodes and max_edges\n"
     "from `QuorGraphSettings` before calling."},
    {"__getstate__", QG_NOARGS(graph_getstate_method), METH_NOARGS, "__getstate__($self)\n--\n\n"},
    {"__setstate__", QG_FASTCALL(graph_setstate_method), kFast,
     "__setstate__($self, state)\n--\n\n"},
    {"nodes_filtered", QG_FASTCALL(graph_nodes_filtered_method), kFast,
     "nodes_filtered($self, key, value)\n--\n\n"
     "Return node IDs where the property `key` equals `value`."},
    {"edges_filtered", QG_FASTCALL(graph_edges_filtered_method), kFast,
     "edges_filtered($self, key, value)\n--\n\n"
     "Return edges where the property `key` equals `value`.\n"
     "Each entry is (source, target, properties_dict)."},
    {"subgraph", QG_FASTCALL(graph_subgraph_method), kFast,
     "subgraph($self, node_ids)\n--\n\n"
     "Extract a subgraph containing only the specified node IDs and edges between them."},
    {"ego_graph", QG_FASTCALL(graph_ego_graph_method), kFast,
     "ego_graph($self, center, radius)\n--\n\n"
     "Extract the ego graph: all nodes within `radius` hops of `center`, plus their edges."},
    {"is_connected", QG_NOARGS(is_connected), METH_NOARGS,
     "is_connected($self)\n--\n\nWhether the graph is (weakly) connected."},
    {"is_tree", QG_NOARGS(is_tree), METH_NOARGS,
     "is_tree($self)\n--\n\nWhether the graph is a tree (connected, |E| = |V| - 1, acyclic)."},
    {"reverse", QG_NOARGS(graph_reverse_method), METH_NOARGS,
     "reverse($self)\n--\n\nReturn a new graph with all edge directions reversed."},
    {"to_undirected", QG_NOARGS(graph_to_undirected_method), METH_NOARGS,
     "to_undirected($self)\n--\n\nConvert to an undirected graph (add reverse edges where "
     "missing)."},
    {nullptr, nullptr, 0, nullptr},
};

constexpr const char kClassDoc[] =
    "PyGraph(directed=True, name=None, multi=False)\n--\n\n"
    "A property graph backed by a stable-index graph store.\n\n"
    "Nodes have string IDs and arbitrary JSON-compatible properties.\n"
    "Edges have arbitrary JSON-compatible properties.\n\n"
    "Args:\n"
    "    directed: Whether the graph is directed (default True).\n"
    "    name: Optional name for the graph.";

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(pygraph_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(pygraph_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(pygraph_repr)},
    {Py_sq_length, reinterpret_cast<void*>(pygraph_len)},
    {Py_mp_length, reinterpret_cast<void*>(pygraph_len)},
    {Py_sq_contains, reinterpret_cast<void*>(pygraph_contains)},
    {Py_tp_methods, kMethods},
    {Py_tp_getset, kGetSet},
    {Py_tp_doc, const_cast<char*>(kClassDoc)},
    {0, nullptr},
};

PyType_Spec kSpec = {
    "quor_graph._rust.graph.PyGraph",
    static_cast<int>(sizeof(PyGraphObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    kSlots,
};

}  // namespace

PyTypeObject* pygraph_type() {
  static std::atomic<PyObject*> type{nullptr};
  return reinterpret_cast<PyTypeObject*>(
      process_object(type, [] { return PyType_FromSpec(&kSpec); }));
}

PyObject* new_pygraph(GraphRecord&& record) {
  PyTypeObject* type = pygraph_type();
  if (!type) return nullptr;
  // The record's home first: if it cannot be had, there is no object to
  // give back yet.
  auto owned = std::make_unique<GraphRecord>(std::move(record));
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* self = alloc(type, 0);
  if (!self) return nullptr;
  new (&as_graph(self)->borrow_flag) std::atomic<uintptr_t>(0);
  as_graph(self)->graph = owned.release();
  return self;
}

}  // namespace qgpy
