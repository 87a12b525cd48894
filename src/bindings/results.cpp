#include "bindings/results.h"

#include <cstring>

namespace qgpy {

FloatPool::~FloatPool() {
  for (PyObject* o : objs_) Py_XDECREF(o);
}

PyObject* FloatPool::get(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const size_t slot = (bits ^ (bits >> 29) ^ (bits >> 47)) % kSlots;
  if (objs_[slot] && bits_[slot] == bits) return Py_NewRef(objs_[slot]);
  PyObject* o = PyFloat_FromDouble(v);
  if (!o) return nullptr;
  Py_XDECREF(objs_[slot]);
  objs_[slot] = Py_NewRef(o);
  bits_[slot] = bits;
  return o;
}

PyObject* pair(PyObject* a, PyObject* b) {
  Ref ra(a), rb(b);
  if (!ra || !rb) return nullptr;
  PyObject* t = PyTuple_New(2);
  if (!t) return nullptr;
  PyTuple_SetItem(t, 0, ra.release());
  PyTuple_SetItem(t, 1, rb.release());
  return t;
}

PyObject* group_list(const NodeIds& ids, const qg::NodeGroups& groups) {
  Ref list(PyList_New(static_cast<Py_ssize_t>(groups.size())));
  if (!list) return nullptr;
  for (size_t k = 0; k < groups.size(); ++k) {
    PyObject* item = id_list(ids, groups[k]);
    if (!item) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), item);
  }
  return list.release();
}

PyObject* id_pair_list(const NodeIds& ids,
                       std::span<const std::pair<qg::NodeIndex, qg::NodeIndex>> pairs) {
  Ref list(PyList_New(static_cast<Py_ssize_t>(pairs.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < pairs.size(); ++i) {
    PyObject* item = pair(ids(pairs[i].first), ids(pairs[i].second));
    if (!item) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

}  // namespace qgpy
