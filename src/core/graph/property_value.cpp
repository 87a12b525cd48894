#include "core/graph/property_value.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstring>

#include "absl/hash/hash.h"

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

// The rep is allocated before the value takes its kind: a failed allocation
// then leaves a null value behind, which release() can always take.
PropertyValue PropertyValue::array(std::vector<PropertyValue> items) {
  auto* rep = new ArrayRep{};
  rep->items = std::move(items);
  PropertyValue v;
  v.arr_ = rep;
  v.kind_ = ValueKind::Array;
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
  auto* rep = new ObjectRep{};
  rep->entries = std::move(unique);
  PropertyValue v;
  v.obj_ = rep;
  v.kind_ = ValueKind::Object;
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

size_t PropertyMap::block_bytes(uint32_t capacity, uint32_t index_slots) noexcept {
  return offsetof(Block, entries) + sizeof(Entry) * capacity + sizeof(uint32_t) * index_slots;
}

uint32_t* PropertyMap::index_of(Block* b) noexcept {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<std::byte*>(b) + block_bytes(b->capacity, 0));
}

namespace {

size_t key_hash(std::string_view key) noexcept { return absl::Hash<std::string_view>{}(key); }

}  // namespace

void PropertyMap::index_entry(Block* b, uint32_t i) noexcept {
  uint32_t* slots = index_of(b);
  const uint32_t mask = b->index_slots - 1;
  uint32_t at = static_cast<uint32_t>(key_hash(b->entries[i].first.view())) & mask;
  while (slots[at] != 0) at = (at + 1) & mask;
  slots[at] = i + 1;
}

uint32_t PropertyMap::position(const Block* b, std::string_view key) noexcept {
  if (b->index_slots == 0) {
    for (uint32_t i = 0; i < b->size; ++i)
      if (b->entries[i].first.view() == key) return i;
    return b->size;
  }
  const uint32_t* slots = index_of(const_cast<Block*>(b));
  const uint32_t mask = b->index_slots - 1;
  for (uint32_t at = static_cast<uint32_t>(key_hash(key)) & mask; slots[at] != 0;
       at = (at + 1) & mask) {
    const uint32_t i = slots[at] - 1;
    if (b->entries[i].first.view() == key) return i;
  }
  return b->size;
}

PropertyMap::Block* PropertyMap::allocate(uint32_t capacity) {
  // The index keeps at most half of its slots in use.
  uint32_t index_slots = 0;
  if (capacity >= kIndexFrom)
    index_slots = static_cast<uint32_t>(std::bit_ceil(uint64_t{capacity} * 2));
  Block* b = static_cast<Block*>(::operator new(block_bytes(capacity, index_slots)));
  new (&b->refs) std::atomic<uint32_t>(1);
  b->size = 0;
  b->capacity = capacity;
  b->index_slots = index_slots;
  if (index_slots) std::memset(index_of(b), 0, sizeof(uint32_t) * index_slots);
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
      if (fresh->index_slots) index_entry(fresh, i);
    }
    destroy();
  }
  block_ = fresh;
}

const PropertyValue* PropertyMap::find(std::string_view key) const noexcept {
  if (!block_) return nullptr;
  const uint32_t i = position(block_, key);
  return i < block_->size ? &block_->entries[i].second : nullptr;
}

uint32_t PropertyMap::capacity_for(size_t n) {
  if (n > UINT32_MAX) throw InternalFault("property map too large");
  return static_cast<uint32_t>(n);
}

uint32_t PropertyMap::grown(size_t need, uint32_t room) {
  return std::max(capacity_for(need),
                  static_cast<uint32_t>(std::min<size_t>(UINT32_MAX, size_t{2} * room)));
}

void PropertyMap::reserve(size_t n) { own(capacity_for(n)); }

void PropertyMap::set(Str key, PropertyValue value) {
  if (block_) {
    const uint32_t i = position(block_, key.view());
    if (i < block_->size) {
      own(block_->capacity);  // block_ may change: the position stays
      block_->entries[i].second = std::move(value);
      return;
    }
  }
  append_new(std::move(key), std::move(value));
}

void PropertyMap::update(const PropertyMap& other) {
  if (other.empty() || block_ == other.block_) return;
  // Room for every entry first (growing by doubling, so that repeated small
  // updates stay amortised O(1) each): the writes below then cannot fail.
  const uint32_t room = block_ ? block_->capacity : 0;
  uint32_t want = capacity_for(size() + other.size());  // before any change
  if (want > room) want = grown(want, room);
  own(want);
  for (const auto& [key, value] : other) set(key, value);
}

void PropertyMap::append_new(Str key, PropertyValue value) {
  size_t n = size();
  const uint32_t room = block_ ? block_->capacity : 0;
  own(n == room ? grown(n + 1, room) : room);
  new (&block_->entries[n]) Entry(std::move(key), std::move(value));
  block_->size = static_cast<uint32_t>(n + 1);
  if (block_->index_slots) index_entry(block_, static_cast<uint32_t>(n));
}

void PropertyMap::intern_keys(StrInterner& interner) {
  if (!block_) return;
  own(block_->capacity);
  for (uint32_t i = 0; i < block_->size; ++i)
    block_->entries[i].first = interner.get(block_->entries[i].first.view());
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
