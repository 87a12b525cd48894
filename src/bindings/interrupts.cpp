#include "bindings/interrupts.h"

#include <chrono>

#include "core/common/interrupt.h"

namespace qgpy {

namespace {

using Clock = std::chrono::steady_clock;

// Detached, a check has to take the interpreter back first, which waits
// for another running thread to yield it (up to its switch interval): such
// checks are spaced out, except after a blocking call was cut short.
constexpr auto kDetachedPeriod = std::chrono::milliseconds(20);

// The thread state of this thread while a Detached block runs.
thread_local PyThreadState* detached_state = nullptr;
thread_local Clock::time_point last_detached_check{};

bool signal_pending(bool at_once) noexcept {
  PyThreadState* saved = detached_state;
  if (!saved) return PyErr_CheckSignals() != 0;
  if (!at_once && Clock::now() - last_detached_check < kDetachedPeriod) return false;
  PyEval_RestoreThread(saved);
  const bool raised = PyErr_CheckSignals() != 0;  // the exception stays with the thread
  PyEval_SaveThread();
  last_detached_check = Clock::now();
  return raised;
}

}  // namespace

void install_interrupt_hook() noexcept { qg::set_interrupt_hook(&signal_pending); }

Detached::Detached() noexcept : saved_(PyEval_SaveThread()) { detached_state = saved_; }

Detached::~Detached() {
  detached_state = nullptr;
  PyEval_RestoreThread(saved_);
}

}  // namespace qgpy
