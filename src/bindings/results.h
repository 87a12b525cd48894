// Result builders shared by the algorithm wrappers: lists of node-id
// groups, id pairs and shared float objects. Each returns a new reference,
// or nullptr with a host exception set.
#pragma once

#include <span>
#include <utility>
#include <vector>

#include "bindings/frame.h"
#include "core/algorithms/adjacency.h"

namespace qgpy {

// One float object per distinct value within a result: scores and costs
// repeat (whole-number distances, degree counts, zeros, ties), so a small
// direct-mapped table of recent values saves most allocations.
class FloatPool {
 public:
  FloatPool() = default;
  FloatPool(const FloatPool&) = delete;
  FloatPool& operator=(const FloatPool&) = delete;
  ~FloatPool();
  // A new reference to a float equal to v (bit for bit).
  PyObject* get(double v);

 private:
  static constexpr size_t kSlots = 61;
  uint64_t bits_[kSlots] = {};
  PyObject* objs_[kSlots] = {};
};

// Entry of a function whose only parameter is the graph: binds, borrows
// shared, and hands the borrow to Body.
template <const FnDesc& Desc, PyObject* (*Body)(const GraphBorrow&)>
PyObject* graph_fn(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_graph(Desc, args, n, kw, a, g)) return nullptr;
  return Body(g);
}

// A 2-tuple taking over both references (either may be null).
PyObject* pair(PyObject* a, PyObject* b);

// A list of id lists, one per group, in order.
PyObject* group_list(const NodeIds& ids, const qg::NodeGroups& groups);

// A list of (id, id) tuples, e.g. edges or matched pairs.
PyObject* id_pair_list(const NodeIds& ids,
                       std::span<const std::pair<qg::NodeIndex, qg::NodeIndex>> pairs);

}  // namespace qgpy
