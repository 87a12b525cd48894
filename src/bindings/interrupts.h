// The host side of interrupting long calls (core/common/interrupt.h).
//
// The hook that install_interrupt_hook() gives the core runs the
// interpreter's signal check (PyErr_CheckSignals) from the core's polls: a
// SIGINT then ends the running call within milliseconds, with the
// KeyboardInterrupt that the check raised, by way of qg::Interrupted and the
// exception guard (frame.h). Only the main thread handles signals; in other
// threads the check finds nothing.
//
// Detached runs a block of core work detached from the interpreter, so that
// other threads run while it blocks on a file or parses. The block must touch
// no host object; the hook attaches for each check and detaches again, and
// the destructor attaches before any exception leaves the block.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace qgpy {

// Called once per interpreter from the module's exec slot.
void install_interrupt_hook() noexcept;

class Detached {
 public:
  Detached() noexcept;
  ~Detached();
  Detached(const Detached&) = delete;
  Detached& operator=(const Detached&) = delete;

 private:
  PyThreadState* saved_;
};

}  // namespace qgpy
