// The host side of interrupting long calls (core/common/interrupt.h).
//
// The hook that install_interrupt_hook() gives the core runs the
// interpreter's signal check (PyErr_CheckSignals) from the core's polls: a
// SIGINT then ends the running call within milliseconds, with the
// KeyboardInterrupt that the check raised, by way of qg::Interrupted and the
// exception guard (frame.h). Only the main thread handles signals; in other
// threads the check finds nothing but a scheduled garbage collection.
//
// The check runs host code (signal handlers, finalizers, gc callbacks), and
// that code may call this module again, polls and detached blocks included:
// the calls nest like any others, and the outer call goes on or raises what
// the inner code raised.
//
// detached(body) runs a block of core work detached from the interpreter, so
// that other threads run while it blocks on a file or parses. The block must
// touch no host object; the hook attaches for each check and detaches again,
// and the thread attaches again before any exception leaves the block.
//
// Attaching may end the thread: at exit the interpreter ends a thread that
// asks for it by unwinding its stack (abi::__forced_unwind). Nothing on the
// way from a poll or a detached block to the entry point is noexcept, and
// every catch (...) there lets that unwinding pass.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cxxabi.h>

namespace qgpy {

// Called once per interpreter from the module's exec slot.
void install_interrupt_hook() noexcept;

namespace detached_detail {

// One detached block: the thread state it saved, and the detached state it
// found for the thread (nullptr: attached, also when the block runs inside a
// check made from an outer block), which it puts back when it ends.
struct DetachedBlock {
  PyThreadState* saved;
  PyThreadState* outer;
};
DetachedBlock detach() noexcept;
// Attaches again; may end the thread (see above).
void attach(const DetachedBlock& block);
// Puts the found state back for a thread that is ending, without attaching.
void leave(const DetachedBlock& block) noexcept;

}  // namespace detached_detail

template <class Body>
void detached(Body&& body) {
  const detached_detail::DetachedBlock block = detached_detail::detach();
  try {
    body();
  } catch (abi::__forced_unwind&) {
    detached_detail::leave(block);
    throw;
  } catch (...) {
    // Out of the unwinding: attaching may itself end the thread.
    detached_detail::attach(block);
    throw;
  }
  detached_detail::attach(block);
}

}  // namespace qgpy
