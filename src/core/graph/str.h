// Str: an immutable, reference-counted UTF-8 string handle (one pointer).
//
// Node ids, property names and string values are held as Str so that a text
// shared by many nodes or edges (a property name, a predicate IRI) is stored
// once. A default-constructed Str is "absent" (null); Str::make("") is a real,
// empty string. Copies share the text; the count is atomic because readers on
// different threads may copy the same string under a shared borrow.
// StrInterner hands out one Str per distinct text.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "core/common/flat_table.h"

namespace qg {

class Str {
 public:
  Str() noexcept = default;
  static Str make(std::string_view text) {
    void* mem = ::operator new(sizeof(Rep) + text.size());
    Rep* rep = new (mem) Rep{};
    rep->refs.store(1, std::memory_order_relaxed);
    rep->size = text.size();
    if (!text.empty()) std::memcpy(rep->data, text.data(), text.size());
    rep->data[text.size()] = '\0';
    return Str(rep);
  }

  Str(const Str& other) noexcept : rep_(other.rep_) { retain(); }
  Str(Str&& other) noexcept : rep_(std::exchange(other.rep_, nullptr)) {}
  Str& operator=(const Str& other) noexcept {
    if (rep_ != other.rep_) {
      release();
      rep_ = other.rep_;
      retain();
    }
    return *this;
  }
  Str& operator=(Str&& other) noexcept {
    if (this != &other) {
      release();
      rep_ = std::exchange(other.rep_, nullptr);
    }
    return *this;
  }
  ~Str() { release(); }

  explicit operator bool() const noexcept { return rep_ != nullptr; }
  std::string_view view() const noexcept {
    return rep_ ? std::string_view(rep_->data, rep_->size) : std::string_view();
  }
  const char* c_str() const noexcept { return rep_ ? rep_->data : ""; }
  size_t size() const noexcept { return rep_ ? rep_->size : 0; }
  std::string str() const { return std::string(view()); }

  // Whether both handles share one text (not just equal bytes).
  bool same_text(const Str& other) const noexcept { return rep_ == other.rep_; }

  friend bool operator==(const Str& a, const Str& b) noexcept {
    return a.rep_ == b.rep_ || a.view() == b.view();
  }
  friend bool operator==(const Str& a, std::string_view b) noexcept { return a.view() == b; }

 private:
  struct Rep {
    std::atomic<uint64_t> refs;
    size_t size;
    char data[1];
  };
  explicit Str(Rep* rep) noexcept : rep_(rep) {}
  void retain() const noexcept {
    if (rep_) rep_->refs.fetch_add(1, std::memory_order_relaxed);
  }
  void release() noexcept {
    if (rep_ && rep_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      rep_->~Rep();
      ::operator delete(rep_);
    }
    rep_ = nullptr;
  }
  Rep* rep_ = nullptr;
};

// One Str per distinct text. Used for property names, which repeat on every
// node or edge that carries them, and by loaders for repeated values.
class StrInterner {
 public:
  Str get(std::string_view text) {
    auto it = set_.find(text);
    if (it != set_.end()) return *it;
    Str s = Str::make(text);
    set_.insert(s);
    return s;
  }
  size_t size() const { return set_.size(); }

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept {
      return absl::Hash<std::string_view>{}(s);
    }
    size_t operator()(const Str& s) const noexcept { return (*this)(s.view()); }
  };
  struct Eq {
    using is_transparent = void;
    bool operator()(const Str& a, const Str& b) const noexcept { return a.view() == b.view(); }
    bool operator()(const Str& a, std::string_view b) const noexcept { return a.view() == b; }
    bool operator()(std::string_view a, const Str& b) const noexcept { return a == b.view(); }
  };
  FlatSet<Str, Hash, Eq> set_;
};

}  // namespace qg
