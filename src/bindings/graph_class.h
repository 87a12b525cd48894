// The class PyGraph: a heap type over one GraphRecord and its borrow flag.
//
// graph_class.cpp holds the type, its slots, getters, the node and edge
// methods and the method table. Method groups written in other units (JSON,
// pickle, derived graphs, filters) declare their entry implementations below
// and are listed in that table at their places.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace qgpy {

// Methods implemented outside graph_class.cpp (fast-call or no-arg impls).

// graph_io.cpp: graph JSON, pickle state, derived graphs, property filters.
PyObject* graph_to_json_method(PyObject* self);
PyObject* graph_from_json_method(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw);
PyObject* graph_getstate_method(PyObject* self);
PyObject* graph_setstate_method(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw);
PyObject* graph_nodes_filtered_method(PyObject* self, PyObject* const* args, Py_ssize_t n,
                                      PyObject* kw);
PyObject* graph_edges_filtered_method(PyObject* self, PyObject* const* args, Py_ssize_t n,
                                      PyObject* kw);
PyObject* graph_subgraph_method(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw);
PyObject* graph_ego_graph_method(PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw);
PyObject* graph_reverse_method(PyObject* self);
PyObject* graph_to_undirected_method(PyObject* self);

}  // namespace qgpy
