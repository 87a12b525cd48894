// Result builders shared by the algorithm wrappers: lists of node-id
// groups, ranked (id, score) lists and pairs. Each returns a new reference,
// or nullptr with a host exception set.
#pragma once

#include <span>
#include <utility>
#include <vector>

#include "bindings/frame.h"
#include "core/algorithms/adjacency.h"

namespace qgpy {

// A 2-tuple taking over both references (either may be null).
PyObject* pair(PyObject* a, PyObject* b);

// A list of id lists, one per group, in order.
PyObject* group_list(const NodeIds& ids, const qg::NodeGroups& groups);

// A list of (id, score) tuples in the given order.
PyObject* ranked_list(const NodeIds& ids, std::span<const std::pair<qg::NodeIndex, double>> ranked);

// A list of (id, id) tuples, e.g. edges or matched pairs.
PyObject* id_pair_list(const NodeIds& ids,
                       std::span<const std::pair<qg::NodeIndex, qg::NodeIndex>> pairs);

}  // namespace qgpy
