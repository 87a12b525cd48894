// Cooperative interruption of long core work.
//
// Contract:
//  - Every loop whose cost can grow faster than its input, every reader, and
//    the graph builders of merge, condensation and from_triples (whose steps
//    dwarf a poll) count their work on a Poller: `Poller poll; ... poll(units);`, units
//    being a rough measure of the work since the last call (edges scanned,
//    items read). A call costs a decrement and a branch on a counter of the
//    caller's own; only after a step of units does it look at the clock,
//    and about once per millisecond of work it asks the hook.
//  - The hook is one process-wide function that the host installs once
//    (set_interrupt_hook). Without a hook nothing is ever interrupted.
//  - When the hook answers true, the poll throws Interrupted. It does not
//    derive from std::exception, so no handler for ordinary faults takes it:
//    it unwinds to the host's one exception guard. Code that polls is
//    therefore exception-safe: it never changes the graphs it reads, and it
//    builds its results aside, so an interrupted call leaves no trace.
//  - Never poll inside a noexcept function or a destructor. The hook may also
//    end the thread by unwinding its stack (abi::__forced_unwind, at the
//    host's exit): a catch (...) on the way rethrows that at once.
//  - check_interrupt() asks the hook at once, saying so (the hook may space
//    out the periodic questions, but not this one); readers call it when a
//    blocking system call returned early (EINTR).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace qg {

// Thrown by a poll when the host asks the running call to stop.
struct Interrupted {};

// True when the running call is to stop. Called in the polling thread;
// `at_once` when a blocking call has just been cut short by a signal. Not
// noexcept: the host may end the thread from it by unwinding the stack.
using InterruptHook = bool (*)(bool at_once);

namespace interrupt_detail {

using Clock = std::chrono::steady_clock;

inline std::atomic<InterruptHook> hook{nullptr};

// The clock is read about once per 50-200 us of work: the step of units
// between reads doubles or halves to keep it there.
inline constexpr int64_t kMinStep = 64;
inline constexpr int64_t kMaxStep = int64_t{1} << 24;
inline constexpr int64_t kIdle = int64_t{1} << 60;  // no hook: never look again
inline constexpr auto kShortStep = std::chrono::microseconds(50);
inline constexpr auto kLongStep = std::chrono::microseconds(200);
inline constexpr auto kAskPeriod = std::chrono::milliseconds(1);

struct ThreadClock {
  int64_t step = 4096;
  Clock::time_point last_read{};
  Clock::time_point last_ask{};
};
inline thread_local ThreadClock thread_clock;

inline int64_t first_step() noexcept {
  return hook.load(std::memory_order_relaxed) ? thread_clock.step : kIdle;
}

// The units until the next look at the clock; throws Interrupted when the
// hook says so.
[[gnu::noinline, gnu::cold]] inline int64_t next_step() {
  const InterruptHook h = hook.load(std::memory_order_acquire);
  if (!h) return kIdle;
  ThreadClock& c = thread_clock;
  const Clock::time_point now = Clock::now();
  const Clock::duration since = now - c.last_read;
  if (since < kShortStep) {
    if (c.step < kMaxStep) c.step *= 2;
  } else if (since > kLongStep && since < std::chrono::seconds(1)) {
    if (c.step > kMinStep) c.step /= 2;
  }
  c.last_read = now;
  if (now - c.last_ask >= kAskPeriod) {
    c.last_ask = now;
    if (h(false)) throw Interrupted{};
  }
  return c.step;
}

}  // namespace interrupt_detail

// Installs the hook (nullptr removes it). The host does this once, before
// any call that polls.
inline void set_interrupt_hook(InterruptHook hook) noexcept {
  interrupt_detail::hook.store(hook, std::memory_order_release);
}

// Asks the hook now.
inline void check_interrupt() {
  const InterruptHook h = interrupt_detail::hook.load(std::memory_order_acquire);
  if (h && h(true)) throw Interrupted{};
}

// The work counter of one loop nest (see the contract above).
class Poller {
 public:
  Poller() noexcept : left_(interrupt_detail::first_step()) {}
  void operator()(uint64_t units = 1) {
    left_ -= static_cast<int64_t>(units);
    if (left_ < 0) [[unlikely]]
      left_ = interrupt_detail::next_step();
  }

 private:
  int64_t left_;
};

}  // namespace qg
