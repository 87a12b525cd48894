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

}  // namespace qgpy
