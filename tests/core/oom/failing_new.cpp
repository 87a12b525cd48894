#include "failing_new.h"

#include <cstdlib>
#include <new>

namespace qg::oom {
namespace {

struct Plan {
  bool armed = false;
  bool persist = false;
  bool fired = false;
  uint64_t count = 0;
  uint64_t fail_at = 0;
};
thread_local Plan plan;

}  // namespace

void arm(uint64_t n, bool persist) noexcept { plan = Plan{true, persist, false, 0, n}; }

bool disarm() noexcept {
  plan.armed = false;
  return plan.fired;
}

namespace {

bool fail_now() noexcept {
  if (!plan.armed) return false;
  ++plan.count;
  if (plan.count == plan.fail_at || (plan.persist && plan.count > plan.fail_at)) {
    plan.fired = true;
    return true;
  }
  return false;
}

void* allocate(std::size_t n) noexcept {
  if (fail_now()) return nullptr;
  return std::malloc(n == 0 ? 1 : n);
}

void* allocate(std::size_t n, std::align_val_t a) noexcept {
  if (fail_now()) return nullptr;
  const auto align = static_cast<std::size_t>(a);
  return std::aligned_alloc(align, (n + align - 1) / align * align);
}

}  // namespace
}  // namespace qg::oom

void* operator new(std::size_t n) {
  if (void* p = qg::oom::allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  if (void* p = qg::oom::allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, std::align_val_t a) {
  if (void* p = qg::oom::allocate(n, a)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) {
  if (void* p = qg::oom::allocate(n, a)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return qg::oom::allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return qg::oom::allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
