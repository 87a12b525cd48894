// Result type of the core.
//
// Every core operation returns either its value or an Error: a kind and the
// message the host shows, word for word. The core never throws for an
// expected error; an exception escaping the core (InternalFault,
// std::bad_alloc, ...) is an internal fault. The bindings turn each kind into
// one host exception type, in one table (bindings/frame.h); a call that the
// host gives its own type for one kind says so where it raises.
//
// Results are [[nodiscard]]: an error dropped on the floor does not compile
// (cast to void where ignoring one is intended, and say why).
#pragma once

#include <cstdint>
#include <expected>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace qg {

enum class ErrorKind : uint8_t {
  NotFound,  // a node or edge the caller named does not exist
  Refused,   // well-formed input that the operation refuses (or cannot read)
  Parse,     // text that does not parse
  Cap,       // a size or count above the caller's cap
  Internal,  // a broken invariant reported as a value
};

struct Error {
  ErrorKind kind;
  std::string message;
  // Tests and callers compare errors by their text.
  friend bool operator==(const Error& e, std::string_view text) noexcept {
    return e.message == text;
  }
  // And print as their text (any output stream; no <ostream> needed here).
  template <class Out>
    requires requires(Out& out, const std::string& s) { out << s; }
  friend Out& operator<<(Out& out, const Error& e) {
    out << e.message;
    return out;
  }
};

template <class T>
class [[nodiscard]] Result : public std::expected<T, Error> {
 public:
  using std::expected<T, Error>::expected;
};

using Status = Result<void>;

// The error side of a Result: `return Err(ErrorKind::NotFound, msg::...);`
inline std::unexpected<Error> Err(ErrorKind kind, std::string message) {
  return std::unexpected<Error>(Error{kind, std::move(message)});
}
// Passes an error on unchanged.
inline std::unexpected<Error> Err(Error error) { return std::unexpected<Error>(std::move(error)); }

// A broken invariant. Never thrown for bad input, only for bugs and for
// exhausted index spaces; it reaches the host as PanicException.
struct InternalFault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace qg

// Propagates the error of a Result-returning expression.
#define QG_TRY(expr)                                                          \
  do {                                                                        \
    auto qg_try_result_ = (expr);                                             \
    if (!qg_try_result_) return ::qg::Err(std::move(qg_try_result_.error())); \
  } while (0)
