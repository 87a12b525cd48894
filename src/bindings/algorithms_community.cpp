// Wrappers of the community functions of `algorithms`: Louvain, label propagation and k-clique
// communities.
//
// Each borrows `graph` shared for the whole call and returns a list of id
// lists; nothing here names a node, so no KeyError or ValueError.
#include "bindings/frame.h"
#include "bindings/results.h"
#include "bindings/submodules.h"
#include "core/algorithms/community.h"

namespace qgpy {

namespace {

using qg::GraphRecord;
using qg::NodeGroups;

constexpr const char* kGraphOnly[] = {"graph"};
constexpr FnDesc kLouvain{"louvain_communities", nullptr, kGraphOnly, 1};
constexpr FnDesc kLabelPropagation{"label_propagation", nullptr, kGraphOnly, 1};
constexpr const char* kGraphK[] = {"graph", "k"};
constexpr FnDesc kKClique{"k_clique_communities", nullptr, kGraphK, 2};

// Functions of the graph alone that return a community list.
template <const FnDesc& Desc, NodeGroups (*Core)(const qg::Graph&)>
PyObject* graph_communities(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_graph(Desc, args, n, kw, a, g)) return nullptr;
  return group_list(NodeIds(g), Core(g.graph()));
}

// k is converted after the borrow, so a graph held by a writer is reported
// before a bad k.
PyObject* k_clique_communities(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  GraphBorrow g;
  uint64_t k;
  if (!bind_graph(kKClique, args, n, kw, a, g) || !arg_u64(a[1], "k", k)) return nullptr;
  return group_list(NodeIds(g), qg::k_clique_communities_core(g.graph(), k));
}

constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef kMethods[] = {
    {"louvain_communities",
     QG_FASTCALL((graph_communities<kLouvain, qg::louvain_communities_core>)), kFast,
     "louvain_communities(graph)\n--\n\n"
     "Louvain community detection. Returns list of communities (each is a list of node IDs)."},
    {"label_propagation",
     QG_FASTCALL((graph_communities<kLabelPropagation, qg::label_propagation_core>)), kFast,
     "label_propagation(graph)\n--\n\n"
     "Label propagation community detection. Returns list of communities (each is a list of "
     "node IDs)."},
    {"k_clique_communities", QG_FASTCALL(k_clique_communities), kFast,
     "k_clique_communities(graph, k)\n--\n\n"
     "k-clique communities. Returns list of communities (each is a list of node IDs)."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* algorithms_community_methods() { return kMethods; }

}  // namespace qgpy
