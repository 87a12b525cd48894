// Wrappers of the centrality functions of `algorithms`: degree, closeness, betweenness, eigenvector
// centrality and PageRank.
//
// Each wrapper binds its arguments, borrows `graph` shared, then converts
// the optional arguments in signature order; the core scores the live nodes
// in node-index order and the result is sorted by score, highest first
// (stable, so ties keep node-index order).
#include <algorithm>
#include <cstring>

#include "bindings/frame.h"
#include "bindings/results.h"
#include "bindings/submodules.h"
#include "core/algorithms/centrality.h"

namespace qgpy {

namespace {

using qg::GraphRecord;
using qg::Scores;

// The sorted (id, score) list. The tuples hold a str and a float only, so
// they can never be part of a reference cycle: they are taken off the
// collector's lists at once. The list itself stays off them while it is
// filled, so that the young-generation passes that its allocations set off
// do not walk its growing contents again and again.
PyObject* ranked(const GraphBorrow& g, Scores scores) {
  qg::rank_descending(scores);
  NodeIds ids(g);
  FloatPool floats;
  Ref list(PyList_New(static_cast<Py_ssize_t>(scores.size())));
  if (!list) return nullptr;
  PyObject_GC_UnTrack(list.get());
  constexpr size_t kBatch = 32;
  qg::NodeIndex batch[kBatch];
  for (size_t i = 0; i < scores.size(); ++i) {
    if (i % kBatch == 0) {
      size_t k = std::min(kBatch, scores.size() - i);
      for (size_t j = 0; j < k; ++j) batch[j] = scores[i + j].first;
      ids.prefetch(std::span<const qg::NodeIndex>(batch, k));
    }
    Ref id(ids(scores[i].first));
    if (!id) return nullptr;
    Ref score(floats.get(scores[i].second));
    if (!score) return nullptr;
    PyObject* item = PyTuple_New(2);
    if (!item) return nullptr;
    PyTuple_SetItem(item, 0, id.release());
    PyTuple_SetItem(item, 1, score.release());
    PyObject_GC_UnTrack(item);
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  PyObject_GC_Track(list.get());
  return list.release();
}

constexpr const char* kGraphOnly[] = {"graph"};
constexpr const char* kBetweennessParams[] = {"graph", "normalized"};
constexpr const char* kEigenvectorParams[] = {"graph", "iterations", "tolerance"};
constexpr const char* kPagerankParams[] = {"graph", "damping_factor", "iterations"};

constexpr FnDesc kDegree{"degree_centrality", nullptr, kGraphOnly, 1};
constexpr FnDesc kInDegree{"in_degree_centrality", nullptr, kGraphOnly, 1};
constexpr FnDesc kOutDegree{"out_degree_centrality", nullptr, kGraphOnly, 1};
constexpr FnDesc kCloseness{"closeness_centrality", nullptr, kGraphOnly, 1};
constexpr FnDesc kBetweenness{"betweenness_centrality", nullptr, kBetweennessParams, 1};
constexpr FnDesc kEigenvector{"eigenvector_centrality", nullptr, kEigenvectorParams, 1};
constexpr FnDesc kPagerank{"pagerank", nullptr, kPagerankParams, 1};

template <const FnDesc& Desc, qg::DegreeKind Kind>
PyObject* degree_fn(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_graph(Desc, args, n, kw, a, g)) return nullptr;
  return ranked(g, qg::degree_centrality_core(g.graph(), Kind));
}

PyObject* closeness_centrality(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_graph(kCloseness, args, n, kw, a, g)) return nullptr;
  return ranked(g, qg::closeness_centrality_core(g.graph()));
}

PyObject* betweenness_centrality(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[2];
  GraphBorrow g;
  bool normalized = true;
  if (!bind_graph(kBetweenness, args, n, kw, a, g) ||
      (a[1] && !arg_bool(a[1], "normalized", normalized)))
    return nullptr;
  return ranked(g, qg::betweenness_centrality_core(g.graph(), normalized));
}

PyObject* eigenvector_centrality(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[3];
  GraphBorrow g;
  uint64_t iterations = 100;
  double tolerance = 1e-6;
  if (!bind_graph(kEigenvector, args, n, kw, a, g) ||
      (a[1] && !arg_u64(a[1], "iterations", iterations)) ||
      (a[2] && !arg_f64(a[2], "tolerance", tolerance)))
    return nullptr;
  return ranked(g, qg::eigenvector_centrality_core(g.graph(), iterations, tolerance));
}

// A damping factor outside [0, 1] (or NaN) raises ValueError.
PyObject* pagerank(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[3];
  GraphBorrow g;
  double damping_factor = 0.85;
  uint64_t iterations = 100;
  if (!bind_graph(kPagerank, args, n, kw, a, g) ||
      (a[1] && !arg_f64(a[1], "damping_factor", damping_factor)) ||
      (a[2] && !arg_u64(a[2], "iterations", iterations)))
    return nullptr;
  auto scores = qg::pagerank_core(g.graph(), damping_factor, iterations);
  if (!scores) return raise_error(scores.error());
  return ranked(g, std::move(*scores));
}

constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef kMethods[] = {
    {"pagerank", QG_FASTCALL(pagerank), kFast,
     "pagerank(graph, damping_factor=0.85, iterations=100)\n--\n\n"
     "PageRank centrality. Returns list of (node_id, rank) tuples sorted by rank descending."},
    {"degree_centrality", QG_FASTCALL((degree_fn<kDegree, qg::DegreeKind::Total>)), kFast,
     "degree_centrality(graph)\n--\n\n"
     "Degree centrality. Returns list of (node_id, centrality) sorted descending."},
    {"in_degree_centrality", QG_FASTCALL((degree_fn<kInDegree, qg::DegreeKind::In>)), kFast,
     "in_degree_centrality(graph)\n--\n\n"
     "In-degree centrality. Returns list of (node_id, centrality) sorted descending."},
    {"out_degree_centrality", QG_FASTCALL((degree_fn<kOutDegree, qg::DegreeKind::Out>)), kFast,
     "out_degree_centrality(graph)\n--\n\n"
     "Out-degree centrality. Returns list of (node_id, centrality) sorted descending."},
    {"betweenness_centrality", QG_FASTCALL(betweenness_centrality), kFast,
     "betweenness_centrality(graph, normalized=True)\n--\n\n"
     "Betweenness centrality (Brandes algorithm). Returns list of (node_id, centrality) sorted "
     "descending."},
    {"closeness_centrality", QG_FASTCALL(closeness_centrality), kFast,
     "closeness_centrality(graph)\n--\n\n"
     "Closeness centrality (Wasserman-Faust). Returns list of (node_id, centrality) sorted "
     "descending."},
    {"eigenvector_centrality", QG_FASTCALL(eigenvector_centrality), kFast,
     "eigenvector_centrality(graph, iterations=100, tolerance=1e-6)\n--\n\n"
     "Eigenvector centrality (power iteration). Returns list of (node_id, centrality) sorted "
     "descending."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* algorithms_centrality_methods() { return kMethods; }

}  // namespace qgpy
