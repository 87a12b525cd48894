// PyGraph methods over whole graphs: graph JSON, pickle state, derived
// graphs (subgraph, ego graph, reversed and undirected copies) and the
// property filters. Listed in the class's method table in graph_class.cpp.
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "bindings/convert.h"
#include "bindings/frame.h"
#include "bindings/graph_class.h"
#include "core/graph/derived.h"
#include "core/graph/filters.h"
#include "core/graph/graph_json.h"
#include "core/graph/graph_record.h"
#include "core/graph/pickle_state.h"

namespace qgpy {

namespace {

constexpr const char* kFromJsonParams[] = {"data", "max_bytes", "max_nodes", "max_edges"};
constexpr FnDesc kFromJson{"from_json", "PyGraph", kFromJsonParams, 4};
constexpr const char* kStateParams[] = {"state"};
constexpr FnDesc kSetState{"__setstate__", "PyGraph", kStateParams, 1};
constexpr const char* kKeyValueParams[] = {"key", "value"};
constexpr FnDesc kNodesFiltered{"nodes_filtered", "PyGraph", kKeyValueParams, 2};
constexpr FnDesc kEdgesFiltered{"edges_filtered", "PyGraph", kKeyValueParams, 2};
constexpr const char* kSubgraphParams[] = {"node_ids"};
constexpr FnDesc kSubgraph{"subgraph", "PyGraph", kSubgraphParams, 1};
constexpr const char* kEgoParams[] = {"center", "radius"};
constexpr FnDesc kEgoGraph{"ego_graph", "PyGraph", kEgoParams, 2};

void refuse_state_size(uint64_t size) {
  raise_message(PyExc_ValueError, qg::pickle_state_too_large(size));
}

// The pickle state argument as bytes: bytes and bytearray (and their
// subclasses) by content, any other sequence but str item by item, each an
// integer in 0..255. `view` points into `o` or into `storage`. A sequence is
// read up to one item past the size cap, then refused with the cap's error.
bool state_bytes(PyObject* o, std::string& storage, std::string_view& view) {
  if (PyBytes_Check(o)) {
    char* data = nullptr;
    Py_ssize_t len = 0;
    if (PyBytes_AsStringAndSize(o, &data, &len) < 0) return false;
    view = std::string_view(data, static_cast<size_t>(len));
    return true;
  }
  if (PyByteArray_Check(o)) {
    const auto size = static_cast<size_t>(PyByteArray_Size(o));
    if (size > qg::kPickleStateCap) {  // refused unread, as the cap would
      refuse_state_size(size);
      return false;
    }
    storage.assign(PyByteArray_AsString(o), size);
    view = storage;
    return true;
  }
  const bool read = read_sequence(
      o, "state", SeqLimit{qg::kPickleStateCap, refuse_state_size},
      [&](size_t n) { storage.reserve(n); },
      [&](PyObject* item) {
        long v = PyLong_AsLong(item);
        if (v == -1 && PyErr_Occurred()) {
          prefix_argument_error("state");  // a TypeError gets the prefix, an OverflowError not
          return false;
        }
        if (v < 0 || v > 255) {
          PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
          return false;
        }
        storage.push_back(static_cast<char>(v));
        return true;
      });
  view = storage;
  return read;
}

PyObject* edge_tuple(const qg::GraphStorage& st, qg::EdgeIndex e) {
  Ref s(py_str(st.id(st.source(e))));
  Ref t(py_str(st.id(st.target(e))));
  Ref p(properties_to_pydict(st.edge_properties(e)));
  if (!s || !t || !p) return nullptr;
  return PyTuple_Pack(3, s.get(), t.get(), p.get());
}

// Shared front of the two filters: the borrow, `key`, and `value` converted
// once before the scan.
bool filter_args(const FnDesc& fn, PyObject* self, PyObject* const* args, Py_ssize_t n,
                 PyObject* kw, GraphBorrow& g, std::string_view& key, qg::PropertyValue& value) {
  PyObject* a[2];
  if (!bind_self(fn, self, args, n, kw, a, g)) return false;
  if (!arg_str(a[0], "key", key)) return false;
  return py_to_property_value(a[1], value);
}

}  // namespace

PyObject* graph_to_json_method(PyObject* self) {
  GraphBorrow g;
  if (!self_graph(self, g)) return nullptr;
  // Written straight into one buffer and copied once into the str (the
  // writer cannot fail on a consistent record).
  qg::TextOut text(qg::graph_json_size_hint(g.graph()));
  qg::write_graph_json(text, g.graph());
  return py_str(text.view());
}

PyObject* graph_from_json_method(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[4];
  if (!bind_args(kFromJson, args, n, kw, a)) return nullptr;
  std::string_view data;
  uint64_t max_bytes, max_nodes, max_edges;
  if (!arg_str(a[0], "data", data) || !arg_u64(a[1], "max_bytes", max_bytes) ||
      !arg_u64(a[2], "max_nodes", max_nodes) || !arg_u64(a[3], "max_edges", max_edges))
    return nullptr;
  auto record = qg::graph_from_json_checked(data, max_bytes, max_nodes, max_edges);
  if (!record) return raise_error(record.error());
  return new_pygraph(std::move(*record));
}

PyObject* graph_getstate_method(PyObject* self) {
  GraphBorrow g;
  if (!self_graph(self, g)) return nullptr;
  qg::TextOut state(4 + qg::graph_json_size_hint(g.graph()));
  qg::write_pickle_state(state, g.graph());
  return PyBytes_FromStringAndSize(state.data(), static_cast<Py_ssize_t>(state.size()));
}

PyObject* graph_setstate_method(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphWriteBorrow g;
  if (!bind_self(kSetState, self, args, n, kw, a, g)) return nullptr;
  std::string storage;
  std::string_view state;
  if (!state_bytes(a[0], storage, state)) return nullptr;
  auto record = qg::graph_from_pickle_state(state);
  if (!record) return raise_error(record.error());
  // Only now is the old record replaced; every refusal above (and any fault
  // or interruption) left it alone, and the swap itself cannot fail.
  static_assert(std::is_nothrow_move_assignable_v<qg::GraphRecord>);
  g.record() = std::move(*record);
  Py_RETURN_NONE;
}

PyObject* graph_nodes_filtered_method(PyObject* self, PyObject* const* args, Py_ssize_t n,
                                      PyObject* kw) {
  GraphBorrow g;
  std::string_view key;
  qg::PropertyValue value;
  if (!filter_args(kNodesFiltered, self, args, n, kw, g, key, value)) return nullptr;
  const qg::Graph& r = g.graph();
  std::vector<qg::NodeIndex> hits = qg::nodes_filtered_core(r, key, value);
  Ref list(PyList_New(static_cast<Py_ssize_t>(hits.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < hits.size(); ++i) {
    PyObject* s = py_str(r.storage().id(hits[i]));
    if (!s) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), s);
  }
  return list.release();
}

PyObject* graph_edges_filtered_method(PyObject* self, PyObject* const* args, Py_ssize_t n,
                                      PyObject* kw) {
  GraphBorrow g;
  std::string_view key;
  qg::PropertyValue value;
  if (!filter_args(kEdgesFiltered, self, args, n, kw, g, key, value)) return nullptr;
  const qg::Graph& r = g.graph();
  std::vector<qg::EdgeIndex> hits = qg::edges_filtered_core(r, key, value);
  Ref list(PyList_New(static_cast<Py_ssize_t>(hits.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < hits.size(); ++i) {
    PyObject* t = edge_tuple(r.storage(), hits[i]);
    if (!t) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), t);
  }
  return list.release();
}

PyObject* graph_subgraph_method(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_self(kSubgraph, self, args, n, kw, a, g)) return nullptr;
  std::vector<std::string> ids;
  if (!arg_str_seq(a[0], "node_ids", ids)) return nullptr;
  auto record = qg::induced_subgraph(g.graph(), std::span<const std::string>(ids));
  // Every refused id list is a ValueError, unknown ids included.
  if (!record) return raise_error(record.error(), {qg::ErrorKind::NotFound, PyExc_ValueError});
  return new_pygraph(std::move(*record));
}

PyObject* graph_ego_graph_method(PyObject* self, PyObject* const* args, Py_ssize_t n,
                                 PyObject* kw) {
  PyObject* a[2];
  GraphBorrow g;
  if (!bind_self(kEgoGraph, self, args, n, kw, a, g)) return nullptr;
  std::string_view center;
  uint64_t radius;
  if (!arg_str(a[0], "center", center) || !arg_u64(a[1], "radius", radius)) return nullptr;
  auto record = qg::ego_graph_core(g.graph(), center, radius);
  // An unknown center is a ValueError here.
  if (!record) return raise_error(record.error(), {qg::ErrorKind::NotFound, PyExc_ValueError});
  return new_pygraph(std::move(*record));
}

PyObject* graph_reverse_method(PyObject* self) {
  GraphBorrow g;
  if (!self_graph(self, g)) return nullptr;
  return new_pygraph(qg::reverse_graph(g.graph()));
}

PyObject* graph_to_undirected_method(PyObject* self) {
  GraphBorrow g;
  if (!self_graph(self, g)) return nullptr;
  return new_pygraph(qg::to_undirected_graph(g.graph()));
}

}  // namespace qgpy
