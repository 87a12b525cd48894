// Wrappers of the structure functions of `algorithms`: bridges, articulation points, matchings,
// cliques, density, bipartiteness.
//
// Each wrapper binds its arguments, borrows `graph` shared, converts the
// remaining arguments in order and runs the core. Only maximal_cliques can
// refuse its input (ValueError above max_input_nodes).
#include <cstdint>
#include <utility>
#include <vector>

#include "bindings/frame.h"
#include "bindings/results.h"
#include "bindings/submodules.h"
#include "core/algorithms/structure.h"

namespace qgpy {

namespace {

using qg::GraphRecord;
using qg::NodeIndex;

constexpr const char* kGraphOnly[] = {"graph"};
constexpr const char* kCliqueParams[] = {"graph", "max_input_nodes", "max_cliques"};

constexpr FnDesc kBridges{"bridges", nullptr, kGraphOnly, 1};
constexpr FnDesc kArticulation{"articulation_points", nullptr, kGraphOnly, 1};
constexpr FnDesc kGreedy{"greedy_matching", nullptr, kGraphOnly, 1};
constexpr FnDesc kMaximum{"maximum_matching", nullptr, kGraphOnly, 1};
constexpr FnDesc kCliques{"maximal_cliques", nullptr, kCliqueParams, 1};
constexpr FnDesc kDensity{"density", nullptr, kGraphOnly, 1};
constexpr FnDesc kBipartite{"is_bipartite", nullptr, kGraphOnly, 1};

PyObject* bridges_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  std::vector<qg::EdgeIndex> edges = qg::bridges_core(r);
  std::vector<std::pair<NodeIndex, NodeIndex>> pairs;
  pairs.reserve(edges.size());
  for (qg::EdgeIndex e : edges) pairs.emplace_back(r.storage().source(e), r.storage().target(e));
  return id_pair_list(NodeIds(g), pairs);
}

PyObject* articulation_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return id_list(NodeIds(g), qg::articulation_points_core(r));
}

PyObject* greedy_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return id_pair_list(NodeIds(g), qg::greedy_matching_core(r));
}

PyObject* maximum_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return id_pair_list(NodeIds(g), qg::maximum_matching_core(r));
}

PyObject* density_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return PyFloat_FromDouble(qg::density_core(r));
}

PyObject* bipartite_body(const GraphBorrow& g) {
  const qg::Graph& r = g.graph();
  return py_bool(qg::is_bipartite_core(r));
}

PyObject* maximal_cliques(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[3];
  GraphBorrow g;
  uint64_t max_input_nodes = 1000, max_cliques = 10000;
  if (!bind_graph(kCliques, args, n, kw, a, g) ||
      (a[1] && !arg_u64(a[1], "max_input_nodes", max_input_nodes)) ||
      (a[2] && !arg_u64(a[2], "max_cliques", max_cliques)))
    return nullptr;
  const qg::Graph& r = g.graph();
  auto cliques = qg::maximal_cliques_bounded(r, max_input_nodes, max_cliques);
  if (!cliques) return raise_error(cliques.error());
  return group_list(NodeIds(g), *cliques);
}

constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef kMethods[] = {
    {"bridges", QG_FASTCALL((graph_fn<kBridges, bridges_body>)), kFast,
     "bridges(graph)\n--\n\nFind bridge edges. Returns list of (source, target) tuples."},
    {"greedy_matching", QG_FASTCALL((graph_fn<kGreedy, greedy_body>)), kFast,
     "greedy_matching(graph)\n--\n\nGreedy matching. Returns list of (node_a, node_b) pairs."},
    {"maximum_matching", QG_FASTCALL((graph_fn<kMaximum, maximum_body>)), kFast,
     "maximum_matching(graph)\n--\n\n"
     "Maximum matching (Gabow). Returns list of (node_a, node_b) pairs."},
    {"maximal_cliques", QG_FASTCALL(maximal_cliques), kFast,
     "maximal_cliques(graph, max_input_nodes=1000, max_cliques=10000)\n--\n\n"
     "Maximal cliques (Bron-Kerbosch). Returns list of cliques (each is a list\n"
     "of node IDs).\n"
     "\n"
     "Bron-Kerbosch's worst case is 3^(N/3) maximal cliques (on Turán graphs),\n"
     "so the work is exponential in the node count. ``max_input_nodes`` refuses\n"
     "an oversized input at entry, with ValueError, rather than truncating after\n"
     "the fact; ``max_cliques`` is the second guard, on the returned list: the\n"
     "enumeration stops once that many cliques are found."},
    {"density", QG_FASTCALL((graph_fn<kDensity, density_body>)), kFast,
     "density(graph)\n--\n\nGraph density."},
    {"is_bipartite", QG_FASTCALL((graph_fn<kBipartite, bipartite_body>)), kFast,
     "is_bipartite(graph)\n--\n\nCheck if the graph is bipartite (2-colorable)."},
    {"articulation_points", QG_FASTCALL((graph_fn<kArticulation, articulation_body>)), kFast,
     "articulation_points(graph)\n--\n\n"
     "Articulation points (cut vertices). Returns list of node IDs."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* algorithms_structure_methods() { return kMethods; }

}  // namespace qgpy
