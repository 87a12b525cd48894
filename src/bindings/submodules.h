// Function tables of the submodules algorithms, knowledge and rdf: each a
// null-terminated PyMethodDef array in registration order, defined by the
// submodule's own wrapper unit.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace qgpy {

PyMethodDef* algorithms_methods();
// The units of `algorithms` beyond traversal, paths, components and DAGs:
// each a null-terminated table, gathered by algorithms_methods().
PyMethodDef* algorithms_structure_methods();
PyMethodDef* algorithms_centrality_methods();
PyMethodDef* algorithms_community_methods();
PyMethodDef* knowledge_methods();
PyMethodDef* rdf_methods();

}  // namespace qgpy
