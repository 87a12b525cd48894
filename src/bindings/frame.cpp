#include "bindings/frame.h"

#include <cxxabi.h>

#include <algorithm>
#include <exception>
#include <new>

#include "bindings/convert.h"
#include "core/common/interrupt.h"
#include "core/graph/graph_record.h"

namespace qgpy {

namespace {

std::string full_name(const FnDesc& fn) {
  std::string s;
  if (fn.cls) s.append(fn.cls).append(".");
  s.append(fn.name).append("()");
  return s;
}

void raise_type_error(const std::string& message) {
  PyErr_SetString(PyExc_TypeError, message.c_str());
}

bool too_many_positional(const FnDesc& fn, Py_ssize_t given) {
  std::string msg = full_name(fn);
  if (fn.required == fn.params.size()) {
    msg += " takes " + std::to_string(fn.params.size()) + " positional arguments";
  } else {
    msg += " takes from " + std::to_string(fn.required) + " to " +
           std::to_string(fn.params.size()) + " positional arguments";
  }
  msg += " but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given";
  raise_type_error(msg);
  return false;
}

bool missing_required(const FnDesc& fn, PyObject** slots) {
  std::vector<const char*> missing;
  for (size_t i = 0; i < fn.required; ++i)
    if (!slots[i]) missing.push_back(fn.params[i]);
  if (missing.empty()) return true;
  std::string msg = full_name(fn) + " missing " + std::to_string(missing.size()) +
                    " required positional argument" + (missing.size() == 1 ? "" : "s") + ": ";
  for (size_t i = 0; i < missing.size(); ++i) {
    if (i > 0) {
      if (missing.size() == 2) msg += " and ";
      else if (i + 1 == missing.size()) msg += ", and ";
      else msg += ", ";
    }
    msg.append("'").append(missing[i]).append("'");
  }
  raise_type_error(msg);
  return false;
}

// Places one keyword argument; name is the keyword's str object.
bool place_keyword(const FnDesc& fn, PyObject* name, PyObject* value, PyObject** slots) {
  Py_ssize_t len = 0;
  const char* text = PyUnicode_AsUTF8AndSize(name, &len);
  if (!text) return false;
  std::string_view key(text, static_cast<size_t>(len));
  for (size_t i = 0; i < fn.params.size(); ++i) {
    if (key == fn.params[i]) {
      if (slots[i]) {
        raise_type_error(full_name(fn) + " got multiple values for argument '" + std::string(key) +
                         "'");
        return false;
      }
      slots[i] = value;
      return true;
    }
  }
  raise_type_error(full_name(fn) + " got an unexpected keyword argument '" + std::string(key) +
                   "'");
  return false;
}

}  // namespace

bool bind_args(const FnDesc& fn, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               PyObject** slots) {
  const size_t n = fn.params.size();
  for (size_t i = 0; i < n; ++i) slots[i] = nullptr;
  if (static_cast<size_t>(nargs) > n) return too_many_positional(fn, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
  if (kwnames) {
    Py_ssize_t nkw = PyTuple_Size(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
      if (!place_keyword(fn, PyTuple_GetItem(kwnames, k), args[nargs + k], slots)) return false;
    }
  }
  return missing_required(fn, slots);
}

bool bind_tuple_dict(const FnDesc& fn, PyObject* args, PyObject* kwargs, PyObject** slots) {
  const size_t n = fn.params.size();
  for (size_t i = 0; i < n; ++i) slots[i] = nullptr;
  Py_ssize_t nargs = args ? PyTuple_Size(args) : 0;
  if (static_cast<size_t>(nargs) > n) return too_many_positional(fn, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = PyTuple_GetItem(args, i);
  if (kwargs) {
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!place_keyword(fn, key, value, slots)) return false;
    }
  }
  return missing_required(fn, slots);
}

// ---- Conversions ----

std::string type_qualname(PyObject* o) {
  Ref name(PyType_GetQualName(Py_TYPE(o)));
  if (!name) {
    PyErr_Clear();
    return "?";
  }
  Py_ssize_t len = 0;
  const char* text = PyUnicode_AsUTF8AndSize(name.get(), &len);
  if (!text) {
    PyErr_Clear();
    return "?";
  }
  return std::string(text, static_cast<size_t>(len));
}

namespace {

bool not_an_instance(PyObject* o, const char* expected) {
  std::string msg;
  if (o == Py_None) msg = std::string("'None' is not an instance of '") + expected + "'";
  else msg = "'" + type_qualname(o) + "' object is not an instance of '" + expected + "'";
  raise_type_error(msg);
  return false;
}

bool fail_prefixed(const char* name) {
  prefix_argument_error(name);
  return false;
}

}  // namespace

void prefix_argument_error(const char* name) {
  PyObject* exc = PyErr_GetRaisedException();
  if (!exc) return;
  if (Py_TYPE(exc) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
    PyErr_SetRaisedException(exc);
    return;
  }
  Ref text(PyObject_Str(exc));
  if (!text) {
    Py_DECREF(exc);
    return;
  }
  Ref message(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
  if (!message) {
    Py_DECREF(exc);
    return;
  }
  PyObject* replacement = PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr);
  if (!replacement) {
    Py_DECREF(exc);
    return;
  }
  PyException_SetCause(replacement, exc);  // steals exc
  PyErr_SetRaisedException(replacement);
}

bool arg_str(PyObject* o, const char* name, std::string_view& out) {
  if (!PyUnicode_Check(o)) {
    not_an_instance(o, "str");
    return fail_prefixed(name);
  }
  Py_ssize_t len = 0;
  const char* text = PyUnicode_AsUTF8AndSize(o, &len);
  if (!text) return fail_prefixed(name);  // UnicodeEncodeError passes unprefixed
  out = std::string_view(text, static_cast<size_t>(len));
  return true;
}

bool arg_opt_str(PyObject* o, const char* name, std::string_view& out, bool& present) {
  present = false;
  if (!o || o == Py_None) return true;
  present = true;
  return arg_str(o, name, out);
}

bool is_numpy_bool(PyObject* o) {
  PyTypeObject* type = Py_TYPE(o);
  Ref tname(PyType_GetName(type));
  if (!tname) {
    PyErr_Clear();
    return false;
  }
  const char* t = PyUnicode_AsUTF8AndSize(tname.get(), nullptr);
  if (!t) {
    PyErr_Clear();
    return false;
  }
  std::string_view tv(t);
  if (tv != "bool_" && tv != "bool") return false;
  Ref module(PyType_GetModuleName(type));
  if (!module) {
    PyErr_Clear();
    return false;
  }
  const char* m = PyUnicode_AsUTF8AndSize(module.get(), nullptr);
  if (!m) {
    PyErr_Clear();
    return false;
  }
  return std::string_view(m) == "numpy";
}

bool arg_bool(PyObject* o, const char* name, bool& out) {
  if (PyBool_Check(o)) {
    out = (o == Py_True);
    return true;
  }
  if (is_numpy_bool(o)) {
    if (!PyType_GetSlot(Py_TYPE(o), Py_nb_bool)) {
      raise_type_error("object of type '" + type_qualname(o) +
                       "' does not define a '__bool__' conversion");
      return fail_prefixed(name);
    }
    int truth = PyObject_IsTrue(o);
    if (truth < 0) return fail_prefixed(name);
    out = truth != 0;
    return true;
  }
  not_an_instance(o, "bool");
  return fail_prefixed(name);
}

bool clear_conversion_failure() {
  if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_ValueError) &&
      !PyErr_ExceptionMatches(PyExc_OverflowError))
    return false;
  PyErr_Clear();
  return true;
}

bool arg_u64(PyObject* o, const char* name, uint64_t& out) {
  Ref index(PyNumber_Index(o));
  if (!index) return fail_prefixed(name);
  unsigned long long v = PyLong_AsUnsignedLongLong(index.get());
  if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return fail_prefixed(name);
  out = v;
  return true;
}

bool arg_f64(PyObject* o, const char* name, double& out) {
  double v = PyFloat_AsDouble(o);
  if (v == -1.0 && PyErr_Occurred()) return fail_prefixed(name);
  out = v;
  return true;
}

bool open_sequence(PyObject* o, const char* name, Py_ssize_t& hint, Ref& iterator) {
  if (PyUnicode_Check(o)) {
    raise_type_error("Can't extract `str` to `Vec`");
    return fail_prefixed(name);
  }
  if (!PySequence_Check(o)) {
    not_an_instance(o, "Sequence");
    return fail_prefixed(name);
  }
  hint = PySequence_Size(o);
  if (hint < 0) {
    // A TypeError means no length: the sequence is read to its end. Any
    // other error of __len__ (KeyboardInterrupt, MemoryError, ...) ends the call.
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
    PyErr_Clear();
  }
  iterator = Ref(PyObject_GetIter(o));
  return iterator || fail_prefixed(name);
}

bool arg_str_seq(PyObject* o, const char* name, std::vector<std::string>& out) {
  out.clear();
  return read_sequence(
      o, name, SeqLimit{}, [&](size_t n) { out.reserve(n); },
      [&](PyObject* item) {
        std::string_view text;
        if (!arg_str(item, name, text)) return false;
        out.emplace_back(text);
        return true;
      });
}

bool arg_properties(PyObject* o, const char* name, qg::PropertyMap& out, qg::StrInterner* keys) {
  out = qg::PropertyMap();
  if (!o || o == Py_None) return true;
  if (!PyDict_Check(o)) {
    not_an_instance(o, "dict");
    return fail_prefixed(name);
  }
  return pydict_to_properties(o, out, keys);
}

// ---- Borrows ----

bool BorrowBase::acquire(PyGraphObject* obj, Borrow kind) {
  release();
  std::atomic<uintptr_t>& flag = obj->borrow_flag;
  if (kind == Borrow::Exclusive) {
    uintptr_t expected = 0;
    if (!flag.compare_exchange_strong(expected, kExclusive, std::memory_order_acquire)) {
      PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
      return false;
    }
  } else {
    uintptr_t current = flag.load(std::memory_order_relaxed);
    while (true) {
      if (current == kExclusive) {
        PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
        return false;
      }
      if (flag.compare_exchange_weak(current, current + 1, std::memory_order_acquire)) break;
    }
  }
  obj_ = obj;
  graph_ = obj->graph;
  kind_ = kind;
  return true;
}

void BorrowBase::release() noexcept {
  if (!obj_) return;
  if (kind_ == Borrow::Exclusive) obj_->borrow_flag.store(0, std::memory_order_release);
  else obj_->borrow_flag.fetch_sub(1, std::memory_order_release);
  obj_ = nullptr;
}

bool arg_graph(PyObject* o, const char* name, GraphBorrow& out) {
  PyTypeObject* type = pygraph_type();
  if (!type) return false;
  if (!PyObject_TypeCheck(o, type)) {
    not_an_instance(o, "PyGraph");
    return fail_prefixed(name);
  }
  return out.acquire(reinterpret_cast<PyGraphObject*>(o));
}

// ---- Node id strings ----

void free_id_cache(PyGraphObject* obj) noexcept {
  if (!obj->ids) return;
  IdCache* cache = obj->ids;
  obj->ids = nullptr;
  for (IdCacheEntry& e : *cache) Py_XDECREF(e.obj);
  delete cache;
}

void forget_node_id(PyGraphObject* obj, qg::NodeIndex n) noexcept {
  if (!obj->ids || n >= obj->ids->size()) return;
  IdCacheEntry& e = (*obj->ids)[n];
  PyObject* old = e.obj;
  e.obj = nullptr;
  e.id = qg::Str();
  Py_XDECREF(old);
}

namespace {

void store_id(PyGraphObject* obj, const qg::GraphStorage& st, qg::NodeIndex n, PyObject* str) {
  if (!obj->ids) obj->ids = new IdCache();
  IdCache& cache = *obj->ids;
  if (cache.size() <= n) cache.resize(std::max<size_t>(st.node_bound(), size_t{n} + 1));
  IdCacheEntry& e = cache[n];
  PyObject* old = e.obj;
  e.id = st.id_text(n);
  e.obj = Py_NewRef(str);
  Py_XDECREF(old);  // a str: its release runs no host code
}

}  // namespace

void remember_node_id(PyGraphObject* obj, qg::NodeIndex n, PyObject* str) noexcept {
  if (!PyUnicode_CheckExact(str)) return;
  try {
    store_id(obj, obj->graph->storage(), n, str);
  } catch (const std::bad_alloc&) {
    // The call that added the node has succeeded; its str is just not cached.
  }
}

NodeIds::NodeIds(const BorrowBase& g) : obj_(g.object()), st_(&g.graph().storage()) {}

PyObject* NodeIds::operator()(qg::NodeIndex n) const {
  const qg::Str& id = st_->id_text(n);
  if (obj_->ids && n < obj_->ids->size()) {
    const IdCacheEntry& e = (*obj_->ids)[n];
    if (e.obj && e.id.same_text(id)) return Py_NewRef(e.obj);
  }
  // Creating the str may run the collector and so host code that reads this
  // graph again (and fills the cache): no reference into the cache is held
  // across it.
  PyObject* s = py_str(id.view());
  if (s) store_id(obj_, *st_, n, s);
  return s;
}

void NodeIds::prefetch(std::span<const qg::NodeIndex> nodes) const {
  // Node slots and cache entries first, then what they point at: the misses
  // of one batch overlap instead of queueing one after another.
  const IdCache* cache = obj_->ids;
  for (qg::NodeIndex n : nodes) {
    st_->prefetch(n);
    if (cache && n < cache->size()) __builtin_prefetch(&(*cache)[n]);
  }
  for (qg::NodeIndex n : nodes) {
    if (cache && n < cache->size() && (*cache)[n].obj) __builtin_prefetch((*cache)[n].obj);
    else __builtin_prefetch(st_->id_text(n).c_str());
  }
}

PyObject* id_list(const NodeIds& ids, std::span<const qg::NodeIndex> nodes) {
  Ref list(PyList_New(static_cast<Py_ssize_t>(nodes.size())));
  if (!list) return nullptr;
  constexpr size_t kBatch = 32;
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (i % kBatch == 0) ids.prefetch(nodes.subspan(i, std::min(kBatch, nodes.size() - i)));
    PyObject* s = ids(nodes[i]);
    if (!s) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), s);
  }
  return list.release();
}

// ---- Errors ----

PyObject* raise_message(PyObject* type, std::string_view message) {
  Ref text(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (!text) return nullptr;
  PyErr_SetObject(type, text.get());
  return nullptr;
}

PyObject* raise_error(const qg::Error& error) {
  switch (error.kind) {
    case qg::ErrorKind::NotFound: return raise_message(PyExc_KeyError, error.message);
    case qg::ErrorKind::Refused:
    case qg::ErrorKind::Parse:
    case qg::ErrorKind::Cap: return raise_message(PyExc_ValueError, error.message);
    case qg::ErrorKind::Internal: break;
  }
  raise_panic(error.message.c_str());
  return nullptr;
}

PyObject* raise_error(const qg::Error& error, KindOverride override) {
  if (error.kind == override.kind) return raise_message(override.type, error.message);
  return raise_error(error);
}

PyObject* panic_exception_type() {
  static std::atomic<PyObject*> type{nullptr};
  return process_object(type, [] {
    return PyErr_NewExceptionWithDoc(
        "pyo3_runtime.PanicException",
        "The exception raised when native code of this module faults.\n\n"
        "Like SystemExit, this exception is derived from BaseException so that\n"
        "it will typically propagate all the way through the stack and cause\n"
        "the interpreter to exit.",
        PyExc_BaseException, nullptr);
  });
}

constinit thread_local bool thread_locals_reserved = false;

void reserve_thread_locals() {
  // An address the loader must resolve, kept from being optimised away (the
  // flag's own access has given this module's block).
  void* globals = abi::__cxa_get_globals();
  asm volatile("" : : "r"(globals) : "memory");
  thread_locals_reserved = true;
}

void raise_escaped_exception() noexcept {
  try {
    throw;
  } catch (const qg::Interrupted&) {
    // The interrupt check raised the signal's exception before the core
    // threw; keep it.
    if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_panic(e.what());
  } catch (...) {
    raise_panic(nullptr);
  }
}

void raise_panic(const char* message) {
  // A pending host exception becomes the fault's __context__.
  PyObject* pending = PyErr_GetRaisedException();
  if (PyObject* type = panic_exception_type())
    PyErr_SetString(type, message ? message : "native code faulted without a message");
  PyObject* fault = PyErr_GetRaisedException();
  if (!fault) fault = pending;
  else if (pending) PyException_SetContext(fault, pending);  // steals pending
  PyErr_SetRaisedException(fault);
}

// ---- Results ----

PyObject* py_str(std::string_view s) {
  return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

template <class T>
static PyObject* make_str_list(std::span<const T> items) {
  Ref list(PyList_New(static_cast<Py_ssize_t>(items.size())));
  if (!list) return nullptr;
  for (size_t i = 0; i < items.size(); ++i) {
    PyObject* s = py_str(items[i]);
    if (!s) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), s);
  }
  return list.release();
}

PyObject* str_list(std::span<const std::string_view> items) { return make_str_list(items); }
PyObject* str_list(std::span<const std::string> items) { return make_str_list(items); }

PyObject* py_bool(bool b) { return Py_NewRef(b ? Py_True : Py_False); }

}  // namespace qgpy
