// Result type of the core.
//
// Every core operation returns either its value or an error message; the
// core never throws for an expected error. An exception escaping the core
// (InternalFault, std::bad_alloc, ...) is an internal fault, which the
// bindings surface as pyo3_runtime.PanicException.
#pragma once

#include <expected>
#include <stdexcept>
#include <string>
#include <utility>

namespace qg {

template <class T>
using Result = std::expected<T, std::string>;

using Status = Result<void>;

// The error side of a Result: `return Err("Node '" + id + "' not found");`
inline std::unexpected<std::string> Err(std::string message) {
  return std::unexpected<std::string>(std::move(message));
}

// A broken invariant. Never thrown for bad input, only for bugs and for
// exhausted index spaces; it reaches the host as PanicException.
struct InternalFault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace qg

// Propagates the error of a Result-returning expression.
#define QG_TRY(expr)                                   \
  do {                                                 \
    auto qg_try_result_ = (expr);                      \
    if (!qg_try_result_) return ::qg::Err(std::move(qg_try_result_.error())); \
  } while (0)
