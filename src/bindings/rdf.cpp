// Wrappers of the functions of the submodule `rdf`, in registration order.
//
// The loaders take no graph, so no borrow: they convert their arguments in
// order, run the core load and hand back (PyGraph, statistics dict). Every
// refusal of the core (format, caps, file checks, parse) is a ValueError
// carrying the core's message. A file is opened, read and parsed detached
// from the interpreter: a FIFO fed by another thread of this process, or a
// slow file system, holds up no other thread.
#include <string_view>

#include "bindings/frame.h"
#include "bindings/interrupts.h"
#include "bindings/rdf_export.h"
#include "bindings/submodules.h"
#include "core/graph/graph_record.h"
#include "core/rdf/load.h"

namespace qgpy {

namespace {

// (PyGraph, {"total_triples", "nodes", "edges", "literal_properties",
// "load_time_ms"}), the dict's keys in that order.
PyObject* load_result(qg::rdf::RdfLoad&& load) {
  const qg::rdf::RdfLoadStats& s = load.stats;
  const std::pair<const char*, uint64_t> fields[] = {
      {"total_triples", s.total_triples},
      {"nodes", s.nodes},
      {"edges", s.edges},
      {"literal_properties", s.literal_properties},
      {"load_time_ms", static_cast<uint64_t>(s.load_time_ms)},
  };
  Ref graph(new_pygraph(std::move(load.graph)));
  if (!graph) return nullptr;
  Ref dict(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [key, value] : fields) {
    Ref v(PyLong_FromUnsignedLongLong(value));
    if (!v || PyDict_SetItemString(dict.get(), key, v.get()) < 0) return nullptr;
  }
  PyObject* t = PyTuple_New(2);
  if (!t) return nullptr;
  PyTuple_SetItem(t, 0, graph.release());
  PyTuple_SetItem(t, 1, dict.release());
  return t;
}

constexpr const char* kLoadFileParams[] = {"path", "max_bytes", "triple_cap"};
constexpr FnDesc kLoadRdfFile{"load_rdf_file", nullptr, kLoadFileParams, 3};

PyObject* load_rdf_file(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[3];
  if (!bind_args(kLoadRdfFile, args, n, kw, a)) return nullptr;
  std::string_view path;
  uint64_t max_bytes, triple_cap;
  if (!arg_str(a[0], "path", path) || !arg_u64(a[1], "max_bytes", max_bytes) ||
      !arg_u64(a[2], "triple_cap", triple_cap))
    return nullptr;
  qg::Result<qg::rdf::RdfLoad> r;
  // path is a view into a str that the caller holds.
  detached([&] { r = qg::rdf::load_rdf_file_core(path, max_bytes, triple_cap); });
  if (!r) return raise_error(r.error());
  return load_result(std::move(*r));
}

constexpr const char* kLoadStringParams[] = {"data", "format", "max_bytes", "triple_cap"};
constexpr FnDesc kLoadRdfString{"load_rdf_string", nullptr, kLoadStringParams, 4};

PyObject* load_rdf_string(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
  PyObject* a[4];
  if (!bind_args(kLoadRdfString, args, n, kw, a)) return nullptr;
  std::string_view data, format;
  uint64_t max_bytes, triple_cap;
  if (!arg_str(a[0], "data", data) || !arg_str(a[1], "format", format) ||
      !arg_u64(a[2], "max_bytes", max_bytes) || !arg_u64(a[3], "triple_cap", triple_cap))
    return nullptr;
  const auto fmt = qg::rdf::rdf_format_from_keyword(format);
  if (!fmt) return raise_message(PyExc_ValueError, qg::rdf::unknown_format_message(format));
  auto r = qg::rdf::load_rdf_string_core(data, *fmt, max_bytes, triple_cap);
  if (!r) return raise_error(r.error());
  return load_result(std::move(*r));
}

constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef kMethods[] = {
    {"load_rdf_file", QG_FASTCALL(load_rdf_file), kFast,
     "load_rdf_file(path, max_bytes, triple_cap)\n--\n\n"
     "Load an RDF file (OWL/TTL/RDF-XML/N-Triples) into a Graph.\n"
     "\n"
     "The format is detected from the file extension (.nt, .nq, .ttl, .rdf,\n"
     ".owl, .trig); unknown extensions are refused rather than falling back\n"
     "to RDF/XML. The caps are mandatory at the native boundary."},
    {"load_rdf_string", QG_FASTCALL(load_rdf_string), kFast,
     "load_rdf_string(data, format, max_bytes, triple_cap)\n--\n\n"
     "Load RDF from a string with an explicit format and caps.\n"
     "\n"
     "Supported format strings: \"turtle\"/\"ttl\", \"ntriples\"/\"nt\",\n"
     "\"rdfxml\"/\"xml\"/\"owl\", \"nquads\"/\"nq\", \"trig\". The caps are\n"
     "mandatory at the native boundary."},
    {"export_turtle", QG_FASTCALL(export_turtle_impl), kFast, kExportTurtleDoc},
    {"export_ntriples", QG_FASTCALL(export_ntriples_impl), kFast, kExportNtriplesDoc},
    {"export_jsonld", QG_FASTCALL(export_jsonld_impl), kFast, kExportJsonldDoc},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* rdf_methods() { return kMethods; }

}  // namespace qgpy
