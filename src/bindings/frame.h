// The call frame shared by every host-facing function and method.
//
// A call goes: entry point (fast_entry<Impl>, which runs the call under the
// one exception guard, `guarded`) -> bind_args against
// the function's static FnDesc -> conversions in parameter order (arg_*; a
// TypeError gets the "argument '{}': " prefix with the original as cause,
// other exceptions pass unchanged) -> graph arguments checked and borrowed
// in place (GraphBorrow; shared or exclusive, failing at once on conflict)
// -> the core call -> result conversion, or raise_error, which picks the
// exception type from the error's kind.
//
// Every function here that returns bool returns false with a host exception
// set. A wrapper looks like:
//
//   constexpr const char* kParams[] = {"graph", "source", "depth"};
//   constexpr FnDesc kBfsAtDepth{"bfs_at_depth", nullptr, kParams, 3};
//   PyObject* bfs_at_depth(PyObject*, PyObject* const* args, Py_ssize_t n, PyObject* kw) {
//     PyObject* a[3];
//     GraphBorrow g;  // shared: reads the graph through g.graph()
//     std::string_view source;
//     uint64_t depth;
//     if (!bind_graph(kBfsAtDepth, args, n, kw, a, g) || !arg_str(a[1], "source", source) ||
//         !arg_u64(a[2], "depth", depth))
//       return nullptr;
//     auto nodes = qg::bfs_at_depth_core(g.graph(), source, depth);
//     if (!nodes) return raise_error(nodes.error());
//     return id_list(NodeIds(g), *nodes);
//   }
//   ... {"bfs_at_depth", QG_FASTCALL(bfs_at_depth), METH_FASTCALL | METH_KEYWORDS, kDoc}
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <cxxabi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bindings/pyref.h"
#include "core/common/interrupt.h"
#include "core/graph/graph.h"

namespace qg {
class GraphRecord;  // core/graph/graph_record.h
}  // namespace qg

namespace qgpy {

// ---- Function descriptions and binding ----

struct FnDesc {
  const char* name;                     // "bfs", "add_node"
  const char* cls;                      // "PyGraph" for methods, nullptr for functions
  std::span<const char* const> params;  // every parameter, in order
  size_t required;                      // leading required parameters
};

// Fills slots[0 .. params.size()) from fast-call arguments; unfilled optional
// slots are nullptr. The binding errors name the function in full.
bool bind_args(const FnDesc& fn, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               PyObject** slots);
// The same from a tuple and an optional dict (the construction slot).
bool bind_tuple_dict(const FnDesc& fn, PyObject* args, PyObject* kwargs, PyObject** slots);

// ---- Argument conversions (by declared type) ----

// Re-raises a pending TypeError as "argument '{name}': {message}" with the
// original as its cause; any other pending exception is left as it is.
void prefix_argument_error(const char* name);

// str -> UTF-8 view, valid while the argument lives.
bool arg_str(PyObject* o, const char* name, std::string_view& out);
// None (or absent) -> present=false; else a str.
bool arg_opt_str(PyObject* o, const char* name, std::string_view& out, bool& present);
// bool, or a numpy bool through its truth slot.
bool arg_bool(PyObject* o, const char* name, bool& out);
// After a failed number conversion (index, integer or float): a pending
// TypeError, ValueError or OverflowError is the conversion's own failure (o
// is no such number) and is cleared: true. Any other exception
// (KeyboardInterrupt, MemoryError, ...) stays pending: false.
bool clear_conversion_failure();
// Any index-convertible object in 0 .. 2^64-1 (OverflowError unprefixed).
bool arg_u64(PyObject* o, const char* name, uint64_t& out);
// Whatever float() would take through the float conversion.
bool arg_f64(PyObject* o, const char* name, double& out);
// Any sequence but str; every item a str.
bool arg_str_seq(PyObject* o, const char* name, std::vector<std::string>& out);

// What a sequence argument may hold: past max_items items, reading stops and
// refuse(length) raises the reader's own error, `length` being the reported
// length when that is larger than what was read.
struct SeqLimit {
  size_t max_items = SIZE_MAX;
  void (*refuse)(uint64_t length) = nullptr;
};
// A reported length reserves at most this many items; beyond, the storage
// grows as items arrive (a sequence may report any length).
inline constexpr size_t kSeqReserveItems = size_t{1} << 16;

// The first steps of reading a sequence argument: a str, or an object that
// is no sequence, is refused with the TypeError of the sequence rule
// (prefixed). `hint` is the reported length, or -1.
bool open_sequence(PyObject* o, const char* name, Py_ssize_t& hint, Ref& iterator);

// Reads a sequence argument (any sequence but str) item by item: reserve(n)
// once, with the reported length bounded by the limit and kSeqReserveItems,
// then item(PyObject*) -> bool for each item in order. Errors of the
// iteration are prefixed with `name`; those of `item` are its own.
template <class Reserve, class Item>
bool read_sequence(PyObject* o, const char* name, SeqLimit limit, Reserve&& reserve, Item&& item) {
  Py_ssize_t hint = -1;
  Ref it;
  if (!open_sequence(o, name, hint, it)) return false;
  const size_t bound = limit.max_items == SIZE_MAX ? SIZE_MAX : limit.max_items + 1;
  if (hint > 0) reserve(std::min({static_cast<size_t>(hint), bound, kSeqReserveItems}));
  qg::Poller poll;
  for (size_t count = 0;; ++count) {
    poll();
    if (count == bound) {
      const uint64_t reported = hint > 0 ? static_cast<uint64_t>(hint) : 0;
      limit.refuse(std::max<uint64_t>(reported, bound));
      return false;
    }
    Ref next(PyIter_Next(it.get()));
    if (!next) {
      if (!PyErr_Occurred()) return true;
      prefix_argument_error(name);
      return false;
    }
    if (!item(next.get())) return false;
  }
}
// None (or absent) -> empty map; a dict -> converted map. Type errors of the
// argument are prefixed; conversion errors of the contents are not.
bool arg_properties(PyObject* o, const char* name, qg::PropertyMap& out,
                    qg::StrInterner* keys = nullptr);
// The qualified name of o's type ("int", "numpy.int64" stays "int64").
std::string type_qualname(PyObject* o);
// Whether o is a numpy boolean (type "bool_" or "bool" from module numpy).
bool is_numpy_bool(PyObject* o);

// ---- Graph objects and borrows ----

// The str objects of a graph's node ids, by node slot. An entry holds the
// id text it was made from; it is valid while the slot's node holds that very
// text (same Str), so removals, slot reuse and a replaced record need no
// bookkeeping: a stale entry is simply remade. Holding the Str keeps its
// address from being reused while the entry exists.
struct IdCacheEntry {
  qg::Str id;
  PyObject* obj = nullptr;
};
using IdCache = std::vector<IdCacheEntry>;

struct PyGraphObject {
  PyObject_HEAD
  std::atomic<uintptr_t> borrow_flag;  // 0 free, n shared, all bits exclusive
  qg::GraphRecord* graph;
  IdCache* ids;  // null until first used
};

// Releases the id cache of a graph object (on deallocation).
void free_id_cache(PyGraphObject* obj) noexcept;
// Drops the cached id object of slot n (after the node there is removed).
void forget_node_id(PyGraphObject* obj, qg::NodeIndex n) noexcept;
// Records `str` (an exact str equal to the id) as the id object of node n;
// skipped when memory is short (the cache is only a cache).
void remember_node_id(PyGraphObject* obj, qg::NodeIndex n, PyObject* str) noexcept;

enum class Borrow { Shared, Exclusive };
inline constexpr uintptr_t kExclusive = ~uintptr_t{0};

// A borrow of one graph, released on scope exit (also on failure or fault).
// A shared borrow (GraphBorrow) reads the graph; only an exclusive one
// (GraphWriteBorrow) hands out the record to change.
class BorrowBase {
 public:
  BorrowBase(const BorrowBase&) = delete;
  BorrowBase& operator=(const BorrowBase&) = delete;
  const qg::Graph& graph() const { return *graph_; }
  PyGraphObject* object() const { return obj_; }

 protected:
  BorrowBase() = default;
  ~BorrowBase() { release(); }
  // RuntimeError "Already mutably borrowed" / "Already borrowed" on conflict.
  bool acquire(PyGraphObject* obj, Borrow kind);
  void release() noexcept;
  PyGraphObject* obj_ = nullptr;

 private:
  const qg::Graph* graph_ = nullptr;
  Borrow kind_ = Borrow::Shared;
};

class GraphBorrow : public BorrowBase {
 public:
  bool acquire(PyGraphObject* obj) { return BorrowBase::acquire(obj, Borrow::Shared); }
};

class GraphWriteBorrow : public BorrowBase {
 public:
  bool acquire(PyGraphObject* obj) { return BorrowBase::acquire(obj, Borrow::Exclusive); }
  qg::GraphRecord& record() const { return *obj_->graph; }
};

// New references to node id strings of one borrowed graph, from its cache.
class NodeIds {
 public:
  explicit NodeIds(const BorrowBase& g);
  PyObject* operator()(qg::NodeIndex n) const;
  // Starts loading what operator() will read for these nodes.
  void prefetch(std::span<const qg::NodeIndex> nodes) const;

 private:
  PyGraphObject* obj_;
  const qg::GraphStorage* st_;
};
// A list of the ids of `nodes`, in order.
PyObject* id_list(const NodeIds& ids, std::span<const qg::NodeIndex> nodes);

// A process-wide object (one for every interpreter, as the module keeps no
// state of its own), made on first use. No lock: making it can run host code
// (a collection with finalizers) that lets another thread in, and a thread
// waiting here while holding the interpreter would stall the maker for good.
// Threads that race may each make one; the first stored is kept for the life
// of the process and the others are dropped. nullptr with an exception set
// if making fails (a later call tries again).
template <class Make>
PyObject* process_object(std::atomic<PyObject*>& slot, Make&& make) {
  if (PyObject* kept = slot.load(std::memory_order_acquire)) return kept;
  PyObject* made = make();
  if (!made) return nullptr;
  PyObject* kept = nullptr;
  if (slot.compare_exchange_strong(kept, made, std::memory_order_acq_rel)) return made;
  Py_DECREF(made);  // another thread stored one first
  return kept;
}

PyTypeObject* pygraph_type();  // one per process (process_object); nullptr + exception on failure
// A PyGraph argument, checked and borrowed shared.
bool arg_graph(PyObject* o, const char* name, GraphBorrow& out);
// The instance of a method (self is always a PyGraph here), borrowed.
template <class B>
bool self_graph(PyObject* self, B& out) {
  return out.acquire(reinterpret_cast<PyGraphObject*>(self));
}
// A method's arguments bound, then its instance borrowed (shared or
// exclusive, by the borrow's type): the first two steps of every method
// with parameters.
template <class B>
bool bind_self(const FnDesc& fn, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
               PyObject* kwnames, PyObject** slots, B& out) {
  return bind_args(fn, args, nargs, kwnames, slots) && self_graph(self, out);
}
// A function's arguments bound, then its first parameter checked and
// borrowed shared as a graph: the first two steps of most functions.
inline bool bind_graph(const FnDesc& fn, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                       PyObject** slots, GraphBorrow& out) {
  return bind_args(fn, args, nargs, kwnames, slots) && arg_graph(slots[0], fn.params[0], out);
}
// Wraps a fresh record in a new PyGraph.
PyObject* new_pygraph(qg::GraphRecord&& record);

// ---- Errors ----

// Raises the host exception of a core error, its message as the only
// argument; returns nullptr. One table gives each kind its type:
//   NotFound -> KeyError; Refused, Parse, Cap -> ValueError;
//   Internal -> pyo3_runtime.PanicException.
PyObject* raise_error(const qg::Error& error);
// The same for a call that raises its own type for one kind, e.g. add_edge,
// whose unknown endpoints are a ValueError:
//   raise_error(r.error(), {qg::ErrorKind::NotFound, PyExc_ValueError})
struct KindOverride {
  qg::ErrorKind kind;
  PyObject* type;
};
PyObject* raise_error(const qg::Error& error, KindOverride override);
// Raises `type` with `message` as its only argument; returns nullptr.
PyObject* raise_message(PyObject* type, std::string_view message);
// Raises pyo3_runtime.PanicException; a pending exception becomes its
// __context__.
void raise_panic(const char* message);
PyObject* panic_exception_type();  // one per process (process_object)

// The one exception guard: turns the C++ exception being handled into the
// host's. qg::Interrupted keeps what the interrupt check raised (the
// KeyboardInterrupt of a SIGINT); std::bad_alloc raises MemoryError; any
// other exception is an internal fault: pyo3_runtime.PanicException. Called
// only from guarded(), which has let a thread's ending pass already.
void raise_escaped_exception() noexcept;

// Gives the calling thread the thread-local blocks that a throw (the C++
// runtime's exception globals) and this module's own thread-locals live in.
// The dynamic loader hands a thread a library's block on first use, and
// when it cannot allocate it, it ends the process: so a thread's first
// bad_alloc must not be its first throw. guarded() calls this on a thread's
// first entry, before the call allocates anything.
extern constinit thread_local bool thread_locals_reserved;
void reserve_thread_locals();

// Runs body() under the guard; `failed` is the entry point's error result.
// Every entry point from the host (functions, methods, type slots, getters,
// the module's exec slot) goes through here. Not noexcept, and neither are
// the entry points: the interpreter ends a thread at exit by unwinding its
// stack (abi::__forced_unwind; interrupts.h), which passes through.
template <class R, class Body>
R guarded(R failed, Body&& body) {
  if (!thread_locals_reserved) [[unlikely]]
    reserve_thread_locals();
  try {
    return body();
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    raise_escaped_exception();
    return failed;
  }
}

// ---- Results ----

PyObject* py_str(std::string_view s);
PyObject* str_list(std::span<const std::string_view> items);
PyObject* str_list(std::span<const std::string> items);
PyObject* py_bool(bool b);

// ---- Entry points ----

using FastImpl = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
using NoArgImpl = PyObject* (*)(PyObject*);

template <FastImpl F>
PyObject* fast_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&] { return F(self, args, nargs, kwnames); });
}

template <NoArgImpl F>
PyObject* noarg_entry(PyObject* self, PyObject*) {
  return guarded<PyObject*>(nullptr, [&] { return F(self); });
}

}  // namespace qgpy

#define QG_FASTCALL(impl) \
  reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&::qgpy::fast_entry<impl>))
#define QG_NOARGS(impl) \
  reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&::qgpy::noarg_entry<impl>))
