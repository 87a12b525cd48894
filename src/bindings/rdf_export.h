// Wrappers of the RDF exporters of the submodule `rdf` (fast-call impls,
// listed in the method table of rdf.cpp).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace qgpy {

// export_turtle(graph), export_ntriples(graph), export_jsonld(graph): each
// borrows `graph` shared and returns the text as a str; a core error is
// raised as ValueError with its message.
PyObject* export_turtle_impl(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw);
PyObject* export_ntriples_impl(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw);
PyObject* export_jsonld_impl(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw);

inline constexpr const char* kExportTurtleDoc =
    "export_turtle(graph)\n--\n\nExport a Graph to Turtle format string.";
inline constexpr const char* kExportNtriplesDoc =
    "export_ntriples(graph)\n--\n\nExport a Graph to N-Triples format string.";
inline constexpr const char* kExportJsonldDoc =
    "export_jsonld(graph)\n--\n\nExport a Graph to JSON-LD format string.";

}  // namespace qgpy
