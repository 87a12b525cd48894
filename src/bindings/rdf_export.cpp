// Wrappers of export_turtle, export_ntriples and export_jsonld.
#include "bindings/rdf_export.h"

#include "bindings/frame.h"
#include "core/rdf/export.h"

namespace qgpy {

namespace {

constexpr const char* kGraphParam[] = {"graph"};
constexpr FnDesc kExportTurtle{"export_turtle", nullptr, kGraphParam, 1};
constexpr FnDesc kExportNtriples{"export_ntriples", nullptr, kGraphParam, 1};
constexpr FnDesc kExportJsonld{"export_jsonld", nullptr, kGraphParam, 1};

template <class Core>
PyObject* export_with(const FnDesc& desc, PyObject* const* args, Py_ssize_t n, PyObject* kw,
                      Core core) {
  PyObject* a[1];
  GraphBorrow g;
  if (!bind_graph(desc, args, n, kw, a, g)) return nullptr;
  // The str is made straight from the writer's buffer.
  qg::TextOut text;
  qg::Status ok = core(g.graph(), text);
  if (!ok) return raise_error(ok.error());
  return py_str(text.view());
}

}  // namespace

PyObject* export_turtle_impl(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  return export_with(kExportTurtle, args, n, kw, [](const qg::Graph& r, qg::TextOut& out) {
    return qg::rdf::write_rdf(r, qg::rdf::RdfFormat::Turtle, out);
  });
}

PyObject* export_ntriples_impl(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  return export_with(kExportNtriples, args, n, kw, [](const qg::Graph& r, qg::TextOut& out) {
    return qg::rdf::write_rdf(r, qg::rdf::RdfFormat::NTriples, out);
  });
}

PyObject* export_jsonld_impl(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  return export_with(kExportJsonld, args, n, kw, [](const qg::Graph& r, qg::TextOut& out) {
    return qg::rdf::write_jsonld(r, out);
  });
}

}  // namespace qgpy
