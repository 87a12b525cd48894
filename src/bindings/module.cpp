// The extension module quor_graph._rust: definition, exec slot, submodules.
#include "bindings/frame.h"
#include "bindings/interrupts.h"
#include "bindings/submodules.h"

namespace qgpy {

namespace {

constexpr const char kModuleDoc[] =
    "The root Python module `quor_graph._rust`.\n\n"
    "The module declares that it does not use the global interpreter lock, for\n"
    "free-threaded interpreters (PEP 703, the 3.14t builds). Classes such as\n"
    "`PyGraph` keep their state behind exclusive borrows, so the per-object\n"
    "borrow check serialises mutations across threads even without the lock.\n"
    "There is no shared mutable state: no global objects, cells or mutexes.";

// Appends name to module.__all__ (creating the list when missing), then sets
// the attribute. Steals nothing.
bool add(PyObject* module, const char* name, PyObject* value) {
  Ref all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = Ref(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
  }
  Ref text(PyUnicode_FromString(name));
  if (!text || PyList_Append(all.get(), text.get()) < 0) return false;
  return PyObject_SetAttrString(module, name, value) == 0;
}

bool add_submodule(PyObject* parent, PyObject* child) {
  Ref full(PyModule_GetNameObject(child));
  if (!full) return false;
  Py_ssize_t len = 0;
  const char* text = PyUnicode_AsUTF8AndSize(full.get(), &len);
  if (!text) return false;
  std::string_view name(text, static_cast<size_t>(len));
  size_t dot = name.rfind('.');
  std::string short_name(dot == std::string_view::npos ? name : name.substr(dot + 1));
  return add(parent, short_name.c_str(), child);
}

bool add_functions(PyObject* module, PyMethodDef* defs) {
  Ref modname(PyModule_GetNameObject(module));
  if (!modname) return false;
  for (PyMethodDef* def = defs; def->ml_name; ++def) {
    Ref fn(PyCFunction_NewEx(def, module, modname.get()));
    if (!fn || !add(module, def->ml_name, fn.get())) return false;
  }
  return true;
}

bool register_in_sys_modules(const char* name, PyObject* module) {
  Ref sys(PyImport_ImportModule("sys"));
  if (!sys) return false;
  Ref modules(PyObject_GetAttrString(sys.get(), "modules"));
  if (!modules) return false;
  Ref key(PyUnicode_FromString(name));
  return key && PyObject_SetItem(modules.get(), key.get(), module) == 0;
}

bool attach(PyObject* root, PyObject* child, const char* registry_name) {
  return add_submodule(root, child) && register_in_sys_modules(registry_name, child);
}

bool exec_module(PyObject* root) {
  if (!PyModule_Check(root)) {
    PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of 'module'",
                 type_qualname(root).c_str());
    return false;
  }
  install_interrupt_hook();
  Ref version(PyUnicode_FromString(QG_VERSION));  // from VERSION, by the build
  if (!version || !add(root, "__version__", version.get())) return false;

  Ref graph(PyModule_New("graph"));
  if (!graph) return false;
  PyTypeObject* type = pygraph_type();
  if (!type || !add(graph.get(), "PyGraph", reinterpret_cast<PyObject*>(type))) return false;
  if (!attach(root, graph.get(), "quor_graph._rust.graph")) return false;

  struct Sub {
    const char* name;
    const char* registry;
    PyMethodDef* (*methods)();
  };
  const Sub subs[] = {
      {"algorithms", "quor_graph._rust.algorithms", algorithms_methods},
      {"knowledge", "quor_graph._rust.knowledge", knowledge_methods},
      {"rdf", "quor_graph._rust.rdf", rdf_methods},
  };
  for (const Sub& sub : subs) {
    Ref m(PyModule_New(sub.name));
    if (!m || !add_functions(m.get(), sub.methods())) return false;
    if (!attach(root, m.get(), sub.registry)) return false;
  }

  Ref path(PyList_New(0));
  if (!path || PyObject_SetAttrString(root, "__path__", path.get()) < 0) return false;
  Ref package(PyUnicode_FromString("quor_graph._rust"));
  return package && PyObject_SetAttrString(root, "__package__", package.get()) == 0;
}

int init_rust_module(PyObject* module) {
  return guarded(-1, [&] { return exec_module(module) ? 0 : -1; });
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(init_rust_module)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "_rust", kModuleDoc, 0, nullptr, kSlots, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace qgpy

extern "C" __attribute__((visibility("default"))) PyObject* PyInit__rust() {
  return PyModuleDef_Init(&qgpy::kModule);
}
