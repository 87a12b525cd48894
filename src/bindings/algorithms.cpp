// Wrappers of the functions of the submodule `algorithms`, in registration order.
//
// Each wrapper binds its arguments, borrows `graph` shared, converts the
// remaining arguments in order, then looks node ids up (source before
// target) and runs the core walk. Unknown ids raise KeyError, except in
// bellman_ford_paths (ValueError). Results are built from node indices here,
// so ids are turned into str objects once, at the end.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>
#include <string_view>

#include "bindings/frame.h"
#include "bindings/results.h"
#include "bindings/submodules.h"
#include "core/algorithms/components.h"
#include "core/algorithms/dag.h"
#include "core/algorithms/paths.h"
#include "core/algorithms/traversal.h"
#include "core/graph/graph_record.h"

namespace qgpy {

namespace {

using qg::GraphRecord;
using qg::GraphStorage;
using qg::NodeGroups;
using qg::NodeIndex;

// ---- Result builders ----

PyObject* cost_dict(const NodeIds& ids, std::span<const qg::NodeCost> costs) {
  Ref dict(PyDict_New());
  if (!dict) return nullptr;
  FloatPool floats;
  constexpr size_t kBatch = 32;
  std::vector<NodeIndex> batch;
  batch.reserve(kBatch);
  for (size_t i = 0; i < costs.size(); ++i) {
    const qg::NodeCost& c = costs[i];
    if (i % kBatch == 0) {
      batch.clear();
      for (size_t k = i; k < std::min(costs.size(), i + kBatch); ++k)
        batch.push_back(costs[k].node);
      ids.prefetch(batch);
    }
    Ref key(ids(c.node));
    if (!key) return nullptr;
    Ref value(floats.get(c.cost));
    if (!value || PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return nullptr;
  }
  return dict.release();
}

// Looks an id up; KeyError when it is unknown.
bool lookup(const qg::Graph& g, std::string_view id, NodeIndex& out) {
  auto n = qg::node_index_or_err(g, id);
  if (!n) {
    raise_error(n.error());
    return false;
  }
  out = *n;
  return true;
}

std::optional<std::string_view> key_or_none(bool present, std::string_view key) {
  return present ? std::optional<std::string_view>(key) : std::nullopt;
}

// ---- Traversal ----

constexpr const char* kGraphSource[] = {"graph", "source"};
constexpr const char* kGraphId[] = {"graph", "id"};
constexpr const char* kGraphSourceDepth[] = {"graph", "source", "depth"};

constexpr FnDesc kBfs{"bfs", nullptr, kGraphSource, 2};
constexpr FnDesc kDfs{"dfs", nullptr, kGraphSource, 2};
constexpr FnDesc kDfsEvents{"dfs_events", nullptr, kGraphSource, 2};
constexpr FnDesc kBfsWithDepth{"bfs_with_depth", nullptr, kGraphSource, 2};
constexpr FnDesc kBfsAtDepth{"bfs_at_depth", nullptr, kGraphSourceDepth, 3};
constexpr FnDesc kAncestors{"ancestors", nullptr, kGraphId, 2};
constexpr FnDesc kDescendants{"descendants", nullptr, kGraphId, 2};

// Functions of (graph, node) that return a list of node ids.
using NodeWalk = std::vector<NodeIndex> (*)(const qg::Graph&, NodeIndex);

template <const FnDesc& Desc, NodeWalk Walk>
PyObject* node_walk(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  GraphBorrow g;
  std::string_view id;
  if (!bind_graph(Desc, args, n, kw, a, g) || !arg_str(a[1], Desc.params[1], id)) return nullptr;
  const qg::Graph& r = g.graph();
  NodeIndex start;
  if (!lookup(r, id, start)) return nullptr;
  return id_list(NodeIds(g), Walk(r, start));
}

PyObject* dfs_events(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  GraphBorrow g;
  std::string_view source;
  if (!bind_graph(kDfsEvents, args, n, kw, a, g) || !arg_str(a[1], "source", source))
    return nullptr;
  const qg::Graph& r = g.graph();
  NodeIndex s;
  if (!lookup(r, source, s)) return nullptr;
  std::vector<qg::DfsEvent> events = qg::dfs_events_from(r, s);
  Ref enter(PyUnicode_FromString("enter")), exit(PyUnicode_FromString("exit"));
  if (!enter || !exit) return nullptr;
  Ref list(PyList_New(static_cast<Py_ssize_t>(events.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < events.size(); ++i) {
    PyObject* tag = events[i].exit ? exit.get() : enter.get();
    PyObject* item = pair(NodeIds(g)(events[i].node), Py_NewRef(tag));
    if (!item) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

PyObject* bfs_with_depth(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  GraphBorrow g;
  std::string_view source;
  if (!bind_graph(kBfsWithDepth, args, n, kw, a, g) || !arg_str(a[1], "source", source))
    return nullptr;
  const qg::Graph& r = g.graph();
  auto pairs = qg::bfs_with_depth_core(r, source);
  if (!pairs) return raise_error(pairs.error());
  Ref list(PyList_New(static_cast<Py_ssize_t>(pairs->size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < pairs->size(); ++i) {
    const qg::NodeDepth& p = (*pairs)[i];
    PyObject* item = pair(NodeIds(g)(p.node), PyLong_FromUnsignedLongLong(p.depth));
    if (!item) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

PyObject* bfs_at_depth(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[3];
  GraphBorrow g;
  std::string_view source;
  uint64_t depth;
  if (!bind_graph(kBfsAtDepth, args, n, kw, a, g) || !arg_str(a[1], "source", source) ||
      !arg_u64(a[2], "depth", depth))
    return nullptr;
  const qg::Graph& r = g.graph();
  auto nodes = qg::bfs_at_depth_core(r, source, depth);
  if (!nodes) return raise_error(nodes.error());
  return id_list(NodeIds(g), *nodes);
}

// ---- Paths ----

constexpr const char* kShortestPathsParams[] = {"graph", "source", "target", "weight_key"};
constexpr const char* kGraphSourceTarget[] = {"graph", "source", "target"};
constexpr const char* kBellmanFordParams[] = {"graph", "source", "weight_key"};
constexpr const char* kSimplePathsParams[] = {"graph", "source", "target", "max_depth",
                                              "max_paths"};

constexpr FnDesc kShortestPaths{"shortest_paths", nullptr, kShortestPathsParams, 2};
constexpr FnDesc kShortestPathLength{"shortest_path_length", nullptr, kShortestPathsParams, 3};
constexpr FnDesc kHasPath{"has_path", nullptr, kGraphSourceTarget, 3};
constexpr FnDesc kAstarPath{"astar_path", nullptr, kShortestPathsParams, 3};
constexpr FnDesc kBellmanFord{"bellman_ford_paths", nullptr, kBellmanFordParams, 2};
constexpr FnDesc kAllSimplePaths{"all_simple_paths", nullptr, kSimplePathsParams, 3};

PyObject* shortest_paths(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[4];
  GraphBorrow g;
  std::string_view source, target, key;
  bool has_target = false, has_key = false;
  if (!bind_graph(kShortestPaths, args, n, kw, a, g) || !arg_str(a[1], "source", source) ||
      !arg_opt_str(a[2], "target", target, has_target) ||
      !arg_opt_str(a[3], "weight_key", key, has_key))
    return nullptr;
  const qg::Graph& r = g.graph();
  auto costs = qg::dijkstra_costs_core(r, source, key_or_none(has_target, target),
                                       key_or_none(has_key, key));
  if (!costs) return raise_error(costs.error());
  return cost_dict(NodeIds(g), *costs);
}

// The arguments of a query between two nodes: graph, source, target and,
// when the function has it, weight_key; both ids looked up, source first.
struct PairQuery {
  GraphBorrow g;
  NodeIndex s = qg::END, t = qg::END;
  std::optional<std::string_view> key;
};

bool bind_pair(const FnDesc& fn, PyObject* const* args, Py_ssize_t n, PyObject* kw, PairQuery& q) {
  PyObject* a[4];
  std::string_view source, target, key;
  bool has_key = false;
  if (!bind_graph(fn, args, n, kw, a, q.g) || !arg_str(a[1], "source", source) ||
      !arg_str(a[2], "target", target))
    return false;
  if (fn.params.size() > 3 && !arg_opt_str(a[3], "weight_key", key, has_key)) return false;
  q.key = key_or_none(has_key, key);
  return lookup(q.g.graph(), source, q.s) && lookup(q.g.graph(), target, q.t);
}

PyObject* shortest_path_length(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PairQuery q;
  if (!bind_pair(kShortestPathLength, args, n, kw, q)) return nullptr;
  std::optional<double> d = qg::shortest_path_length_between(q.g.graph(), q.s, q.t, q.key);
  if (!d) Py_RETURN_NONE;
  return PyFloat_FromDouble(*d);
}

PyObject* has_path(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PairQuery q;
  if (!bind_pair(kHasPath, args, n, kw, q)) return nullptr;
  return py_bool(qg::has_path_between(q.g.graph(), q.s, q.t));
}

// A negative cycle that the search enters raises ValueError "Negative cycle
// detected" instead of looping (see astar_between).
PyObject* astar_path(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PairQuery q;
  if (!bind_pair(kAstarPath, args, n, kw, q)) return nullptr;
  const GraphBorrow& g = q.g;
  auto found = qg::astar_between(g.graph(), q.s, q.t, q.key);
  if (!found) return raise_error(found.error());
  if (!*found) Py_RETURN_NONE;
  Ref dict(PyDict_New());
  if (!dict) return nullptr;
  Ref cost(PyFloat_FromDouble((*found)->cost));
  if (!cost || PyDict_SetItemString(dict.get(), "cost", cost.get()) < 0) return nullptr;
  Ref path(id_list(NodeIds(g), (*found)->path));
  if (!path || PyDict_SetItemString(dict.get(), "path", path.get()) < 0) return nullptr;
  return dict.release();
}

PyObject* bellman_ford_paths(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[3];
  GraphBorrow g;
  std::string_view source, key;
  bool has_key = false;
  if (!bind_graph(kBellmanFord, args, n, kw, a, g) || !arg_str(a[1], "source", source) ||
      !arg_opt_str(a[2], "weight_key", key, has_key))
    return nullptr;
  const qg::Graph& r = g.graph();
  auto costs = qg::bellman_ford_core(r, source, key_or_none(has_key, key));
  // An unknown source is a ValueError here, unlike the other searches.
  if (!costs) return raise_error(costs.error(), {qg::ErrorKind::NotFound, PyExc_ValueError});
  return cost_dict(NodeIds(g), *costs);
}

PyObject* all_simple_paths(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[5];
  GraphBorrow g;
  std::string_view source, target;
  uint64_t max_depth = 32, max_paths = 10000;
  if (!bind_graph(kAllSimplePaths, args, n, kw, a, g) || !arg_str(a[1], "source", source) ||
      !arg_str(a[2], "target", target) || (a[3] && !arg_u64(a[3], "max_depth", max_depth)) ||
      (a[4] && !arg_u64(a[4], "max_paths", max_paths)))
    return nullptr;
  const qg::Graph& r = g.graph();
  NodeIndex s, t;
  if (!lookup(r, source, s) || !lookup(r, target, t)) return nullptr;
  return group_list(NodeIds(g), qg::all_simple_paths_between(r, s, t, max_depth, max_paths));
}

// ---- Components, cycles, DAG operations: functions of the graph alone ----

constexpr const char* kGraphOnly[] = {"graph"};

#define QG_GRAPH_FN(name) \
  constexpr FnDesc k_##name { #name, nullptr, kGraphOnly, 1 }

QG_GRAPH_FN(find_cycles);
QG_GRAPH_FN(find_cycle_paths);
QG_GRAPH_FN(strongly_connected_components);
QG_GRAPH_FN(num_connected_components);
QG_GRAPH_FN(weakly_connected_components);
QG_GRAPH_FN(is_strongly_connected);
QG_GRAPH_FN(is_weakly_connected);
QG_GRAPH_FN(topological_sort);
QG_GRAPH_FN(longest_path);
QG_GRAPH_FN(transitive_closure);
QG_GRAPH_FN(condensation);

PyObject* find_cycles_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return group_list(NodeIds(g), qg::find_cycles_core(r));
}
PyObject* find_cycle_paths_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return group_list(NodeIds(g), qg::find_cycle_paths_core(r));
}
PyObject* scc_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return group_list(NodeIds(g), qg::strongly_connected_components_core(r));
}
PyObject* num_components_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return PyLong_FromSize_t(qg::count_weak_components(r));
}
PyObject* wcc_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return group_list(NodeIds(g), qg::weakly_connected_components_core(r));
}
PyObject* is_strong_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return py_bool(qg::is_strongly_connected_core(r));
}
PyObject* is_weak_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return py_bool(qg::is_weakly_connected_core(r));
}

PyObject* topological_sort_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  auto order = qg::topological_sort_core(r);
  if (!order) return raise_error(order.error());
  return id_list(NodeIds(g), *order);
}

PyObject* longest_path_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  auto lp = qg::longest_path_core(r);
  if (!lp) return raise_error(lp.error());
  Ref dict(PyDict_New());
  if (!dict) return nullptr;
  Ref length(PyLong_FromUnsignedLongLong(lp->length));
  if (!length || PyDict_SetItemString(dict.get(), "length", length.get()) < 0) return nullptr;
  Ref path(id_list(NodeIds(g), lp->path));
  if (!path || PyDict_SetItemString(dict.get(), "path", path.get()) < 0) return nullptr;
  return dict.release();
}

PyObject* transitive_closure_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return new_pygraph(qg::transitive_closure_core(r));
}
PyObject* condensation_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  auto c = qg::condensation_core(r);
  if (!c) return raise_error(c.error());
  return new_pygraph(std::move(*c));
}

constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef kMethods[] = {
    {"bfs", QG_FASTCALL((node_walk<kBfs, qg::bfs_from>)), kFast,
     "bfs(graph, source)\n--\n\n"
     "BFS traversal from a source node. Returns node IDs in BFS order."},
    {"dfs", QG_FASTCALL((node_walk<kDfs, qg::dfs_from>)), kFast,
     "dfs(graph, source)\n--\n\n"
     "DFS traversal from a source node. Returns node IDs in DFS (preorder)."},
    {"dfs_events", QG_FASTCALL(dfs_events), kFast,
     "dfs_events(graph, source)\n--\n\n"
     "DFS with enter/exit events. Returns (node_id, event_str) pairs.\n"
     "event_str is \"enter\" or \"exit\"."},
    {"bfs_with_depth", QG_FASTCALL(bfs_with_depth), kFast,
     "bfs_with_depth(graph, source)\n--\n\nBFS returning (node_id, depth) pairs."},
    {"bfs_at_depth", QG_FASTCALL(bfs_at_depth), kFast,
     "bfs_at_depth(graph, source, depth)\n--\n\nBFS returning only nodes at a specific depth."},
    {"shortest_paths", QG_FASTCALL(shortest_paths), kFast,
     "shortest_paths(graph, source, target=None, weight_key=None)\n--\n\n"
     "Single-source shortest paths via Dijkstra. Returns dict of {node_id: cost}."},
    {"shortest_path_length", QG_FASTCALL(shortest_path_length), kFast,
     "shortest_path_length(graph, source, target, weight_key=None)\n--\n\n"
     "Shortest path distance between two nodes. Returns float or None."},
    {"has_path", QG_FASTCALL(has_path), kFast,
     "has_path(graph, source, target)\n--\n\nCheck if a path exists between two nodes."},
    {"astar_path", QG_FASTCALL(astar_path), kFast,
     "astar_path(graph, source, target, weight_key=None)\n--\n\n"
     "A* shortest path. Returns dict with \"cost\" and \"path\" keys, or None."},
    {"bellman_ford_paths", QG_FASTCALL(bellman_ford_paths), kFast,
     "bellman_ford_paths(graph, source, weight_key=None)\n--\n\n"
     "Bellman-Ford shortest paths. Returns dict of {node_id: cost}.\n"
     "Supports negative weights. Raises ValueError on negative cycle."},
    {"all_simple_paths", QG_FASTCALL(all_simple_paths), kFast,
     "all_simple_paths(graph, source, target, max_depth=32, max_paths=10000)\n--\n\n"
     "All simple (non-repeating) paths from source to target.\n"
     "\n"
     "``max_depth`` limits total path length (number of nodes); the default\n"
     "(``32``) prevents the algorithm from running unbounded on large graphs\n"
     "``max_paths`` is applied to the *iterator* via ``.take(max_paths)``, so\n"
     "enumeration stops as soon as the cap is reached; this bounds peak CPU\n"
     "and memory, not just the size of the returned list."},
    {"find_cycles", QG_FASTCALL((graph_fn<k_find_cycles, find_cycles_body>)), kFast,
     "find_cycles(graph)\n--\n\n"
     "Find all cycles in the graph (SCC-based). Returns list of node-ID lists."},
    {"find_cycle_paths", QG_FASTCALL((graph_fn<k_find_cycle_paths, find_cycle_paths_body>)), kFast,
     "find_cycle_paths(graph)\n--\n\n"
     "Find one representative cycle path per SCC. Returns list of ordered cycle paths."},
    {"strongly_connected_components",
     QG_FASTCALL((graph_fn<k_strongly_connected_components, scc_body>)), kFast,
     "strongly_connected_components(graph)\n--\n\n"
     "Strongly connected components via Tarjan's algorithm.\n"
     "Returns list of components (each is a list of node IDs)."},
    {"num_connected_components",
     QG_FASTCALL((graph_fn<k_num_connected_components, num_components_body>)), kFast,
     "num_connected_components(graph)\n--\n\nNumber of weakly connected components."},
    {"weakly_connected_components",
     QG_FASTCALL((graph_fn<k_weakly_connected_components, wcc_body>)), kFast,
     "weakly_connected_components(graph)\n--\n\nWeakly connected components as lists of node IDs."},
    {"is_strongly_connected", QG_FASTCALL((graph_fn<k_is_strongly_connected, is_strong_body>)),
     kFast, "is_strongly_connected(graph)\n--\n\nCheck if the graph is strongly connected."},
    {"is_weakly_connected", QG_FASTCALL((graph_fn<k_is_weakly_connected, is_weak_body>)), kFast,
     "is_weakly_connected(graph)\n--\n\nCheck if the graph is weakly connected."},
    {"topological_sort", QG_FASTCALL((graph_fn<k_topological_sort, topological_sort_body>)), kFast,
     "topological_sort(graph)\n--\n\n"
     "Topological sort. Returns node IDs in topological order.\n"
     "Raises ValueError if graph has cycles."},
    {"ancestors", QG_FASTCALL((node_walk<kAncestors, qg::ancestors_of>)), kFast,
     "ancestors(graph, id)\n--\n\nAll ancestors of a node (nodes that can reach it)."},
    {"descendants", QG_FASTCALL((node_walk<kDescendants, qg::descendants_of>)), kFast,
     "descendants(graph, id)\n--\n\nAll descendants of a node (nodes reachable from it)."},
    {"longest_path", QG_FASTCALL((graph_fn<k_longest_path, longest_path_body>)), kFast,
     "longest_path(graph)\n--\n\n"
     "Longest path in a DAG. Returns dict with \"length\" and \"path\" keys."},
    // kOrder below puts the centrality, community and structure functions of
    // their own units here,
    {"transitive_closure", QG_FASTCALL((graph_fn<k_transitive_closure, transitive_closure_body>)),
     kFast,
     "transitive_closure(graph)\n--\n\n"
     "Transitive closure: add edge (u,v) for every pair where v is reachable from u.\n"
     "Returns a new graph with all transitive edges added."},
    {"condensation", QG_FASTCALL((graph_fn<k_condensation, condensation_body>)), kFast,
     "condensation(graph)\n--\n\n"
     "Condensation: contract SCCs into single nodes. Returns a new DAG."},
    // and articulation_points and k_clique_communities here.
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

// The submodule's table in registration order, gathered from the function
// units by name; a unit's functions appear once it provides them.
PyMethodDef* algorithms_methods() {
  static constexpr const char* kOrder[] = {"bfs",
                                           "dfs",
                                           "dfs_events",
                                           "bfs_with_depth",
                                           "bfs_at_depth",
                                           "shortest_paths",
                                           "shortest_path_length",
                                           "has_path",
                                           "astar_path",
                                           "bellman_ford_paths",
                                           "all_simple_paths",
                                           "find_cycles",
                                           "find_cycle_paths",
                                           "strongly_connected_components",
                                           "num_connected_components",
                                           "weakly_connected_components",
                                           "is_strongly_connected",
                                           "is_weakly_connected",
                                           "topological_sort",
                                           "ancestors",
                                           "descendants",
                                           "longest_path",
                                           "pagerank",
                                           "degree_centrality",
                                           "in_degree_centrality",
                                           "out_degree_centrality",
                                           "betweenness_centrality",
                                           "closeness_centrality",
                                           "eigenvector_centrality",
                                           "louvain_communities",
                                           "label_propagation",
                                           "bridges",
                                           "greedy_matching",
                                           "maximum_matching",
                                           "maximal_cliques",
                                           "density",
                                           "is_bipartite",
                                           "transitive_closure",
                                           "condensation",
                                           "articulation_points",
                                           "k_clique_communities"};
  static PyMethodDef table[std::size(kOrder) + 1] = {};
  static const bool filled = [] {
    PyMethodDef* units[] = {kMethods, algorithms_structure_methods(),
                            algorithms_centrality_methods(), algorithms_community_methods()};
    size_t at = 0;
    for (const char* name : kOrder) {
      for (PyMethodDef* unit : units) {
        for (PyMethodDef* def = unit; def->ml_name; ++def) {
          if (std::string_view(def->ml_name) == name) {
            table[at++] = *def;
            break;
          }
        }
      }
    }
    table[at] = PyMethodDef{nullptr, nullptr, 0, nullptr};
    return true;
  }();
  (void)filled;
  return table;
}

}  // namespace qgpy
