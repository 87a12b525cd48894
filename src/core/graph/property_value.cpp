#include "core/graph/property_value.h"

#include <algorithm>
#include <atomic>
#include <cstddef>

#include "core/common/result.h"

namespace qg {

struct PropertyValue::ArrayRep {
  std::atomic<uint64_t> refs{1};
  std::vector<PropertyValue> items;
};

struct PropertyValue::ObjectRep {
  std::atomic<uint64_t> refs{1};
  std::vector<ObjectEntry> entries;
};

PropertyValue PropertyValue::boolean(bool b) {
  PropertyValue v;
  v.kind_ = ValueKind::Bool;
  v.b_ = b;
  return v;
}

PropertyValue PropertyValue::pos_int(uint64_t x) {
  PropertyValue v;
  v.kind_ = ValueKind::PosInt;
  v.u_ = x;
  return v;
}

PropertyValue PropertyValue::neg_int(int64_t x) {
  PropertyValue v;
  v.kind_ = ValueKind::NegInt;
  v.i_ = x;
  return v;
}

PropertyValue PropertyValue::integer(int64_t x) {
  return x >= 0 ? pos_int(static_cast<uint64_t>(x)) : neg_int(x);
}

PropertyValue PropertyValue::number(double d) {
  PropertyValue v;
  v.kind_ = ValueKind::Float;
  v.d_ = d;
  return v;
}

PropertyValue PropertyValue::string(Str s) {
  PropertyValue v;
  v.kind_ = ValueKind::String;
  new (&v.str_) Str(std::move(s));
  return v;
}

PropertyValue PropertyValue::array(std::vector<PropertyValue> items) {
  PropertyValue v;
  v.kind_ = ValueKind::Array;
  v.arr_ = new ArrayRep{};
  v.arr_->items = std::move(items);
  return v;
}

PropertyValue PropertyValue::object(std::vector<ObjectEntry> entries) {
  std::stable_sort(entries.begin(), entries.end(), [](const ObjectEntry& a, const ObjectEntry& b) {
    return a.first.view() < b.first.view();
  });
  // Duplicate keys: keep the last of each run.
  std::vector<ObjectEntry> unique;
  unique.reserve(entries.size());
  for (auto& e : entries) {
    if (!unique.empty() && unique.back().first.view() == e.first.view()) {
      unique.back().second = std::move(e.second);
    } else {
      unique.push_back(std::move(e));
    }
  }
  PropertyValue v;
  v.kind_ = ValueKind::Object;
  v.obj_ = new ObjectRep{};
  v.obj_->entries = std::move(unique);
  return v;
}

void PropertyValue::retain() const noexcept {
  switch (kind_) {
    case ValueKind::Array: arr_->refs.fetch_add(1, std::memory_order_relaxed); break;
    case ValueKind::Object: obj_->refs.fetch_add(1, std::memory_order_relaxed); break;
    default: break;
  }
}

void PropertyValue::release() noexcept {
  switch (kind_) {
    case ValueKind::String: str_.~Str(); break;
    case ValueKind::Array:
      if (arr_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete arr_;
      break;
    case ValueKind::Object:
      if (obj_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete obj_;
      break;
    default: break;
  }
  kind_ = ValueKind::Null;
  u_ = 0;
}

PropertyValue::PropertyValue(const PropertyValue& other) noexcept : kind_(other.kind_), u_(0) {
  if (kind_ == ValueKind::String) {
    new (&str_) Str(other.str_);
  } else {
    u_ = other.u_;  // copies every trivial member and the rep pointers
    retain();
  }
}

PropertyValue::PropertyValue(PropertyValue&& other) noexcept : kind_(other.kind_), u_(0) {
  if (kind_ == ValueKind::String) {
    new (&str_) Str(std::move(other.str_));
    other.str_.~Str();
  } else {
    u_ = other.u_;
  }
  other.kind_ = ValueKind::Null;
  other.u_ = 0;
}

PropertyValue& PropertyValue::operator=(const PropertyValue& other) noexcept {
  if (this != &other) {
    PropertyValue copy(other);
    *this = std::move(copy);
  }
  return *this;
}

PropertyValue& PropertyValue::operator=(PropertyValue&& other) noexcept {
  if (this != &other) {
    release();
    kind_ = other.kind_;
    if (kind_ == ValueKind::String) {
      new (&str_) Str(std::move(other.str_));
      other.str_.~Str();
    } else {
      u_ = other.u_;
    }
    other.kind_ = ValueKind::Null;
    other.u_ = 0;
  }
  return *this;
}

PropertyValue::~PropertyValue() { release(); }

double PropertyValue::as_double() const noexcept {
  switch (kind_) {
    case ValueKind::PosInt: return static_cast<double>(u_);
    case ValueKind::NegInt: return static_cast<double>(i_);
    case ValueKind::Float: return d_;
    default: return 0.0;
  }
}

std::string_view PropertyValue::as_string() const noexcept {
  return kind_ == ValueKind::String ? str_.view() : std::string_view();
}

const Str* PropertyValue::string_handle() const noexcept {
  return kind_ == ValueKind::String ? &str_ : nullptr;
}

std::span<const PropertyValue> PropertyValue::as_array() const noexcept {
  if (kind_ != ValueKind::Array) return {};
  return arr_->items;
}

std::span<const ObjectEntry> PropertyValue::as_object() const noexcept {
  if (kind_ != ValueKind::Object) return {};
  return obj_->entries;
}

bool operator==(const PropertyValue& a, const PropertyValue& b) noexcept {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case ValueKind::Null: return true;
    case ValueKind::Bool: return a.b_ == b.b_;
    case ValueKind::PosInt: return a.u_ == b.u_;
    case ValueKind::NegInt: return a.i_ == b.i_;
    case ValueKind::Float: return a.d_ == b.d_;
    case ValueKind::String: return a.str_.view() == b.str_.view();
    case ValueKind::Array: {
      if (a.arr_ == b.arr_) return true;
      const auto& x = a.arr_->items;
      const auto& y = b.arr_->items;
      if (x.size() != y.size()) return false;
      for (size_t i = 0; i < x.size(); ++i)
        if (!(x[i] == y[i])) return false;
      return true;
    }
    case ValueKind::Object: {
      if (a.obj_ == b.obj_) return true;
      const auto& x = a.obj_->entries;
      const auto& y = b.obj_->entries;
      if (x.size() != y.size()) return false;
      for (size_t i = 0; i < x.size(); ++i)
        if (x[i].first.view() != y[i].first.view() || !(x[i].second == y[i].second)) return false;
      return true;
    }
  }
  return false;
}

// ---- PropertyMap ----

PropertyMap::Block* PropertyMap::allocate(uint32_t capacity) {
  size_t bytes = offsetof(Block, entries) + sizeof(Entry) * capacity;
  Block* b = static_cast<Block*>(::operator new(bytes));
  new (&b->refs) std::atomic<uint32_t>(1);
  b->size = 0;
  b->capacity = capacity;
  b->unused = 0;
  return b;
}

void PropertyMap::destroy() noexcept {
  if (!block_) return;
  if (block_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    for (uint32_t i = 0; i < block_->size; ++i) block_->entries[i].~Entry();
    ::operator delete(block_);
  }
  block_ = nullptr;
}

PropertyMap::~PropertyMap() { destroy(); }

PropertyMap::PropertyMap(const PropertyMap& other) : block_(other.block_) {
  if (block_) block_->refs.fetch_add(1, std::memory_order_relaxed);
}

PropertyMap& PropertyMap::operator=(const PropertyMap& other) {
  if (block_ != other.block_) {
    PropertyMap copy(other);
    *this = std::move(copy);
  }
  return *this;
}

PropertyMap& PropertyMap::operator=(PropertyMap&& other) noexcept {
  if (this != &other) {
    destroy();
    block_ = std::exchange(other.block_, nullptr);
  }
  return *this;
}

void PropertyMap::own(uint32_t capacity) {
  if (block_ && block_->refs.load(std::memory_order_acquire) == 1 && block_->capacity >= capacity)
    return;
  const uint32_t size = block_ ? block_->size : 0;
  Block* fresh = allocate(std::max(capacity, size));
  if (block_) {
    const bool shared = block_->refs.load(std::memory_order_acquire) != 1;
    for (uint32_t i = 0; i < size; ++i) {
      if (shared) new (&fresh->entries[i]) Entry(block_->entries[i]);
      else new (&fresh->entries[i]) Entry(std::move(block_->entries[i]));
      fresh->size = i + 1;
    }
    destroy();
  }
  block_ = fresh;
}

const PropertyValue* PropertyMap::find(std::string_view key) const noexcept {
  if (!block_) return nullptr;
  for (uint32_t i = 0; i < block_->size; ++i)
    if (block_->entries[i].first.view() == key) return &block_->entries[i].second;
  return nullptr;
}

void PropertyMap::reserve(size_t n) {
  if (n > UINT32_MAX) throw InternalFault("property map too large");
  own(static_cast<uint32_t>(n));
}

void PropertyMap::set(Str key, PropertyValue value) {
  if (block_) {
    for (uint32_t i = 0; i < block_->size; ++i) {
      if (block_->entries[i].first.view() == key.view()) {
        own(block_->capacity);  // block_ may change: index again
        block_->entries[i].second = std::move(value);
        return;
      }
    }
  }
  append_new(std::move(key), std::move(value));
}

void PropertyMap::append_new(Str key, PropertyValue value) {
  size_t n = size();
  const uint32_t room = block_ ? block_->capacity : 0;
  own(n == room ? static_cast<uint32_t>(n < 2 ? n + 1 : n * 2) : room);
  new (&block_->entries[n]) Entry(std::move(key), std::move(value));
  block_->size = static_cast<uint32_t>(n + 1);
}

void PropertyMap::intern_keys(StrInterner& interner) {
  if (!block_) return;
  own(block_->capacity);
  for (uint32_t i = 0; i < block_->size; ++i)
    block_->entries[i].first = interner.get(block_->entries[i].first.view());
}

size_t PropertyMap::heap_bytes() const noexcept {
  return block_ ? offsetof(Block, entries) + sizeof(Entry) * block_->capacity : 0;
}

bool operator==(const PropertyMap& a, const PropertyMap& b) noexcept {
  if (a.size() != b.size()) return false;
  for (const auto& [k, v] : a) {
    const PropertyValue* other = b.find(k.view());
    if (!other || !(*other == v)) return false;
  }
  return true;
}

}  // namespace qg
