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

// The thread state of this thread while the innermost detached block runs;
// nullptr while the thread is attached (also during a check made from a
// detached block, so that host code run by the check polls attached).
thread_local PyThreadState* detached_state = nullptr;
thread_local Clock::time_point last_detached_check{};

// Not noexcept: attaching, or host code run by the check, may end the thread.
bool signal_pending(bool at_once) {
  PyThreadState* const saved = detached_state;
  if (!saved) return PyErr_CheckSignals() != 0;
  if (!at_once && Clock::now() - last_detached_check < kDetachedPeriod) return false;
  detached_state = nullptr;
  PyEval_RestoreThread(saved);
  const bool raised = PyErr_CheckSignals() != 0;  // the exception stays with the thread
  // Blocks detached by the check's host code have all attached again.
  PyEval_SaveThread();
  detached_state = saved;
  last_detached_check = Clock::now();
  return raised;
}

}  // namespace

void install_interrupt_hook() noexcept { qg::set_interrupt_hook(&signal_pending); }

namespace detached_detail {

DetachedBlock detach() noexcept {
  DetachedBlock block{nullptr, detached_state};
  block.saved = PyEval_SaveThread();
  detached_state = block.saved;
  return block;
}

void attach(const DetachedBlock& block) {
  detached_state = block.outer;
  PyEval_RestoreThread(block.saved);
}

void leave(const DetachedBlock& block) noexcept { detached_state = block.outer; }

}  // namespace detached_detail

}  // namespace qgpy
