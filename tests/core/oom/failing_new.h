// Allocation failure on demand, for the out-of-memory tests: this binary
// replaces the global operator new and delete (failing_new.cpp), so that
// every allocation of the core, expat's included, can be made to fail.
//
// arm(n, persist) makes the n-th allocation of the calling thread from now
// fail (throw std::bad_alloc, or return null from the nothrow forms), and
// with `persist` every later one too, until disarm().
#pragma once

#include <cstdint>

namespace qg::oom {

void arm(uint64_t n, bool persist) noexcept;
// Stops failing; returns whether an allocation failed since arm().
bool disarm() noexcept;

}  // namespace qg::oom
