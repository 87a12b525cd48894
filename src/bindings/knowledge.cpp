// Wrappers of the functions of the submodule `knowledge`, in registration order.
//
// Each wrapper binds its arguments, checks and borrows its graphs (shared)
// in parameter order, converts the rest, then runs the core operation. The
// operations themselves raise nothing: what a new graph refuses is left out.
#include <string>
#include <string_view>
#include <vector>

#include "bindings/convert.h"
#include "bindings/frame.h"
#include "bindings/submodules.h"
#include "core/graph/graph_record.h"
#include "core/knowledge/degree.h"
#include "core/knowledge/diff.h"
#include "core/knowledge/extract.h"
#include "core/knowledge/inference.h"
#include "core/knowledge/merge.h"
#include "core/knowledge/triples.h"

namespace qgpy {

namespace {

using qg::GraphRecord;

bool type_error_prefixed(const std::string& message, const char* name) {
  PyErr_SetString(PyExc_TypeError, message.c_str());
  prefix_argument_error(name);
  return false;
}

// The frame's wording: "'None' is not ..." for None, else "'{type}' object is not ...".
bool not_an_instance(PyObject* o, const char* type_name, const char* name) {
  std::string found = o == Py_None ? "'None'" : "'" + type_qualname(o) + "' object";
  return type_error_prefixed(found + " is not an instance of '" + type_name + "'", name);
}

using IdPairs = std::vector<std::pair<std::string_view, std::string_view>>;

PyObject* pair_list(const IdPairs& pairs) {
  Ref list(PyList_New(static_cast<Py_ssize_t>(pairs.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < pairs.size(); ++i) {
    Ref s(py_str(pairs[i].first)), t(py_str(pairs[i].second));
    if (!s || !t) return nullptr;
    PyObject* item = PyTuple_Pack(2, s.get(), t.get());
    if (!item) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

bool set_item(PyObject* dict, const char* key, PyObject* value) {
  Ref v(value);
  return v && PyDict_SetItemString(dict, key, v.get()) == 0;
}

// ---- merge_graphs, diff_graphs ----

constexpr const char* kMergeParams[] = {"base", "other", "conflict"};
constexpr FnDesc kMerge{"merge_graphs", nullptr, kMergeParams, 2};

PyObject* merge_graphs(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[3];
  if (!bind_args(kMerge, args, n, kw, a)) return nullptr;
  GraphBorrow base, other;
  std::string_view conflict = "keep_latest";
  if (!arg_graph(a[0], "base", base) || !arg_graph(a[1], "other", other) ||
      (a[2] && !arg_str(a[2], "conflict", conflict)))
    return nullptr;
  return new_pygraph(
      qg::merge_graphs_core(base.graph(), other.graph(), qg::conflict_strategy(conflict)));
}

constexpr const char* kDiffParams[] = {"old", "new"};
constexpr FnDesc kDiff{"diff_graphs", nullptr, kDiffParams, 2};

PyObject* diff_graphs(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  if (!bind_args(kDiff, args, n, kw, a)) return nullptr;
  GraphBorrow old_graph, new_graph;
  if (!arg_graph(a[0], "old", old_graph) || !arg_graph(a[1], "new", new_graph)) return nullptr;
  qg::GraphDiff d = qg::diff_graphs_core(old_graph.graph(), new_graph.graph());
  Ref dict(PyDict_New());
  if (!dict || !set_item(dict.get(), "added_nodes", str_list(d.added_nodes)) ||
      !set_item(dict.get(), "removed_nodes", str_list(d.removed_nodes)) ||
      !set_item(dict.get(), "added_edges", pair_list(d.added_edges)) ||
      !set_item(dict.get(), "removed_edges", pair_list(d.removed_edges)) ||
      !set_item(dict.get(), "changed_node_properties", str_list(d.changed_node_properties)))
    return nullptr;
  return dict.release();
}

// ---- extraction ----

// The value to match, by the host-to-value tests without the list and dict
// ones: a list or dict is matched by its str() text.
bool match_value(PyObject* o, qg::PropertyValue& out) {
  if (!PyList_Check(o) && !PyDict_Check(o)) return py_to_property_value(o, out);
  if (int found = py_number_value(o, out)) return found > 0;
  Ref text(PyObject_Str(o));
  if (!text) return false;
  Ref exact(PyUnicode_FromObject(text.get()));  // an exact str, converted as a string
  return exact && py_to_property_value(exact.get(), out);
}

constexpr const char* kByPropertyParams[] = {"graph", "key", "value"};
constexpr FnDesc kByProperty{"extract_subgraph_by_property", nullptr, kByPropertyParams, 3};

PyObject* extract_subgraph_by_property(PyObject*, PyObject* const* args, Py_ssize_t n,
                                       PyObject* kw) {
  PyObject* a[3];
  GraphBorrow g;
  std::string_view key;
  qg::PropertyValue value;
  if (!bind_graph(kByProperty, args, n, kw, a, g) || !arg_str(a[1], "key", key) ||
      !match_value(a[2], value))
    return nullptr;
  return new_pygraph(qg::extract_by_property_core(g.graph(), key, value));
}

constexpr const char* kByTypesParams[] = {"graph", "types"};
constexpr FnDesc kByTypes{"extract_subgraph_by_types", nullptr, kByTypesParams, 2};

PyObject* extract_subgraph_by_types(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  GraphBorrow g;
  std::vector<std::string> types;
  if (!bind_graph(kByTypes, args, n, kw, a, g) || !arg_str_seq(a[1], "types", types))
    return nullptr;
  return new_pygraph(qg::extract_by_types_core(g.graph(), types));
}

// ---- triples ----

constexpr const char* kGraphParam[] = {"graph"};
constexpr FnDesc kProjectTriples{"project_triples", nullptr, kGraphParam, 1};

PyObject* project_triples(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_graph(kProjectTriples, args, n, kw, a, g)) return nullptr;
  std::vector<qg::Triple> triples = qg::project_triples_core(g.graph());
  Ref list(PyList_New(static_cast<Py_ssize_t>(triples.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < triples.size(); ++i) {
    Ref s(py_str(triples[i].subject)), p(py_str(triples[i].predicate)),
        o(py_str(triples[i].object));
    if (!s || !p || !o) return nullptr;
    PyObject* item = PyTuple_Pack(3, s.get(), p.get(), o.get());
    if (!item) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

// `triples` as views into the items' str objects; `keep` holds the tuples
// (and so their strings) for as long as the views are used.
bool arg_triples(PyObject* o, std::vector<Ref>& keep, std::vector<qg::Triple>& out) {
  constexpr const char* kName = "triples";
  auto reserve = [&](size_t n) {
    out.reserve(n);
    keep.reserve(n);
  };
  return read_sequence(o, kName, SeqLimit{}, reserve, [&](PyObject* item) {
    if (!PyTuple_Check(item)) return not_an_instance(item, "tuple", kName);
    Py_ssize_t len = PyTuple_Size(item);
    if (len != 3) {
      PyErr_Format(PyExc_ValueError, "expected tuple of length 3, but got tuple of length %zd",
                   len);
      return false;
    }
    std::string_view parts[3];
    for (Py_ssize_t k = 0; k < 3; ++k) {
      PyObject* s = PyTuple_GetItem(item, k);  // borrowed, held by the tuple
      if (!s) {
        prefix_argument_error(kName);
        return false;
      }
      if (!arg_str(s, kName, parts[k])) return false;
    }
    out.push_back({parts[0], parts[1], parts[2]});
    keep.push_back(Ref::borrowed(item));
    return true;
  });
}

constexpr const char* kFromTriplesParams[] = {"triples", "directed"};
constexpr FnDesc kFromTriples{"from_triples", nullptr, kFromTriplesParams, 1};

PyObject* from_triples(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  if (!bind_args(kFromTriples, args, n, kw, a)) return nullptr;
  std::vector<Ref> keep;
  std::vector<qg::Triple> triples;
  bool directed = true;
  if (!arg_triples(a[0], keep, triples) || (a[1] && !arg_bool(a[1], "directed", directed)))
    return nullptr;
  auto g = qg::from_triples_core(triples, directed);
  if (!g) return raise_error(g.error());
  return new_pygraph(std::move(*g));
}

// ---- transitive inference ----

template <const FnDesc& Desc>
PyObject* densify_like(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  GraphBorrow g;
  std::string_view label;
  if (!bind_graph(Desc, args, n, kw, a, g) || !arg_str(a[1], Desc.params[1], label)) return nullptr;
  return new_pygraph(qg::densify_core(g.graph(), label));
}

constexpr const char* kInferParams[] = {"graph", "predicate_iri"};
constexpr FnDesc kInferTypes{"infer_types", nullptr, kInferParams, 2};
constexpr const char* kDensifyParams[] = {"graph", "predicate"};
constexpr FnDesc kDensify{"densify", nullptr, kDensifyParams, 2};

// ---- degree queries ----

constexpr FnDesc kOrphans{"find_orphan_nodes", nullptr, kGraphParam, 1};

PyObject* find_orphan_nodes(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_graph(kOrphans, args, n, kw, a, g)) return nullptr;
  return str_list(qg::find_orphan_nodes_core(g.graph()));
}

constexpr const char* kHubParams[] = {"graph", "threshold"};
constexpr FnDesc kHubs{"find_hub_nodes", nullptr, kHubParams, 2};

PyObject* find_hub_nodes(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  GraphBorrow g;
  uint64_t threshold;
  if (!bind_graph(kHubs, args, n, kw, a, g) || !arg_u64(a[1], "threshold", threshold))
    return nullptr;
  return str_list(qg::find_hub_nodes_core(g.graph(), threshold));
}

constexpr FnDesc kDistribution{"degree_distribution", nullptr, kGraphParam, 1};

PyObject* degree_distribution(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_graph(kDistribution, args, n, kw, a, g)) return nullptr;
  Ref dict(PyDict_New());
  if (!dict) return nullptr;
  for (auto [degree, count] : qg::degree_distribution_core(g.graph())) {
    Ref k(PyLong_FromUnsignedLongLong(degree)), v(PyLong_FromUnsignedLongLong(count));
    if (!k || !v || PyDict_SetItem(dict.get(), k.get(), v.get()) < 0) return nullptr;
  }
  return dict.release();
}

constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef kMethods[] = {
    {"merge_graphs", QG_FASTCALL(merge_graphs), kFast,
     "merge_graphs(base, other, conflict=\"keep_latest\")\n--\n\n"
     "Merge two graphs with a configurable conflict strategy.\n\n"
     "Strategies:\n"
     "- \"keep_first\": keep the properties of `base` for items present in both.\n"
     "- \"keep_latest\" (default): take the properties of `other`.\n"
     "- \"merge\": combine both; on a shared key the value of `other` wins."},
    {"diff_graphs", QG_FASTCALL(diff_graphs), kFast,
     "diff_graphs(old, new)\n--\n\n"
     "Diff two graphs. Returns a dict with keys:\n"
     "added_nodes, removed_nodes, added_edges, removed_edges, changed_node_properties."},
    {"extract_subgraph_by_property", QG_FASTCALL(extract_subgraph_by_property), kFast,
     "extract_subgraph_by_property(graph, key, value)\n--\n\n"
     "Extract subgraph by filtering nodes on a property value."},
    {"extract_subgraph_by_types", QG_FASTCALL(extract_subgraph_by_types), kFast,
     "extract_subgraph_by_types(graph, types)\n--\n\n"
     "Extract subgraph containing nodes whose \"type\" property matches any value in the list."},
    {"project_triples", QG_FASTCALL(project_triples), kFast,
     "project_triples(graph)\n--\n\n"
     "Project graph edges as (subject, predicate, object) triples."},
    {"from_triples", QG_FASTCALL(from_triples), kFast,
     "from_triples(triples, directed=True)\n--\n\n"
     "Build a graph from (subject, predicate, object) triples."},
    {"infer_types", QG_FASTCALL(densify_like<kInferTypes>), kFast,
     "infer_types(graph, predicate_iri)\n--\n\n"
     "Infer transitive types via a specific predicate (e.g., \"subClassOf\")."},
    {"densify", QG_FASTCALL(densify_like<kDensify>), kFast,
     "densify(graph, predicate)\n--\n\n"
     "Add transitive closure edges for a specific relationship type.\n\n"
     "If A->B and B->C both have the given predicate, add A->C."},
    {"find_orphan_nodes", QG_FASTCALL(find_orphan_nodes), kFast,
     "find_orphan_nodes(graph)\n--\n\n"
     "Find orphan nodes (degree 0)."},
    {"find_hub_nodes", QG_FASTCALL(find_hub_nodes), kFast,
     "find_hub_nodes(graph, threshold)\n--\n\n"
     "Find hub nodes (degree > threshold)."},
    {"degree_distribution", QG_FASTCALL(degree_distribution), kFast,
     "degree_distribution(graph)\n--\n\n"
     "Degree distribution: returns dict of {degree: count}."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* knowledge_methods() { return kMethods; }

}  // namespace qgpy
