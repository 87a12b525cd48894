// PropertyValue and PropertyMap: the JSON-like values on nodes and edges.
//
// A PropertyValue is null, a bool, a number, a string, an array or an object
// (keys kept sorted byte-wise). Numbers keep their kind: an integer >= 0 is
// always PosInt, a negative one NegInt, and a Float is always finite, so each
// integer has exactly one form and 1 never equals 1.0. Values are immutable
// once built; strings, arrays and objects are shared by reference count, so
// copying a value is cheap. A PropertyValue is 16 bytes.
//
// A PropertyMap maps property names to values and keeps insertion order (its
// iteration order is deterministic). It is one pointer wide; copies share
// their entries until one of them changes (so the edges of one predicate in
// a loaded graph share one map). A map of more than a few dozen entries
// carries a hash index of its names in the same block, so lookups and
// updates stay O(1) however many names a node holds.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "core/graph/str.h"

namespace qg {

enum class ValueKind : uint8_t { Null, Bool, PosInt, NegInt, Float, String, Array, Object };

class PropertyValue;
using ObjectEntry = std::pair<Str, PropertyValue>;

class PropertyValue {
 public:
  PropertyValue() noexcept : kind_(ValueKind::Null), u_(0) {}
  static PropertyValue null() { return PropertyValue(); }
  static PropertyValue boolean(bool b);
  static PropertyValue pos_int(uint64_t v);
  static PropertyValue neg_int(int64_t v);  // v < 0
  static PropertyValue integer(int64_t v);  // picks PosInt or NegInt
  static PropertyValue number(double d);    // NaN and infinities are not allowed here
  static PropertyValue string(Str s);
  static PropertyValue string(std::string_view s) { return string(Str::make(s)); }
  static PropertyValue array(std::vector<PropertyValue> items);
  // Entries in any order; sorted here. With duplicate keys the last one wins.
  static PropertyValue object(std::vector<ObjectEntry> entries);

  PropertyValue(const PropertyValue& other) noexcept;
  PropertyValue(PropertyValue&& other) noexcept;
  PropertyValue& operator=(const PropertyValue& other) noexcept;
  PropertyValue& operator=(PropertyValue&& other) noexcept;
  ~PropertyValue();

  ValueKind kind() const noexcept { return kind_; }
  bool is_null() const noexcept { return kind_ == ValueKind::Null; }
  bool is_number() const noexcept {
    return kind_ == ValueKind::PosInt || kind_ == ValueKind::NegInt || kind_ == ValueKind::Float;
  }
  bool is_string() const noexcept { return kind_ == ValueKind::String; }

  bool as_bool() const noexcept { return b_; }
  uint64_t as_pos_int() const noexcept { return u_; }
  int64_t as_neg_int() const noexcept { return i_; }
  double as_float() const noexcept { return d_; }
  // Any number as a double (PosInt and NegInt converted).
  double as_double() const noexcept;
  // The string of a String value (empty for other kinds).
  std::string_view as_string() const noexcept;
  const Str* string_handle() const noexcept;
  std::span<const PropertyValue> as_array() const noexcept;
  std::span<const ObjectEntry> as_object() const noexcept;  // sorted by key

  // Deep, kind-exact equality.
  friend bool operator==(const PropertyValue& a, const PropertyValue& b) noexcept;

 private:
  struct ArrayRep;
  struct ObjectRep;
  void release() noexcept;
  void retain() const noexcept;

  ValueKind kind_;
  union {
    bool b_;
    uint64_t u_;
    int64_t i_;
    double d_;
    Str str_;
    ArrayRep* arr_;
    ObjectRep* obj_;
  };
};

class PropertyMap {
 public:
  using Entry = std::pair<Str, PropertyValue>;

  PropertyMap() noexcept = default;
  PropertyMap(const PropertyMap& other);
  PropertyMap(PropertyMap&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  PropertyMap& operator=(const PropertyMap& other);
  PropertyMap& operator=(PropertyMap&& other) noexcept;
  ~PropertyMap();

  size_t size() const noexcept { return block_ ? block_->size : 0; }
  bool empty() const noexcept { return size() == 0; }
  const Entry* begin() const noexcept { return block_ ? block_->entries : nullptr; }
  const Entry* end() const noexcept { return block_ ? block_->entries + block_->size : nullptr; }

  const PropertyValue* find(std::string_view key) const noexcept;
  // Sets key to value, replacing an old value in place or appending.
  void set(Str key, PropertyValue value);
  void set(std::string_view key, PropertyValue value) { set(Str::make(key), std::move(value)); }
  // Appends without looking for the key: the caller knows it is new (the
  // keys of a host dict, of a map being copied).
  void append_new(Str key, PropertyValue value);
  void reserve(size_t n);
  // Writes every entry of `other` over this map (replacing in place or
  // appending, in other's order). All or nothing: on a failed allocation
  // this map is unchanged.
  void update(const PropertyMap& other);
  // Replaces each name by the interner's copy of it.
  void intern_keys(StrInterner& interner);

  // Same entries (order ignored), values compared by PropertyValue equality.
  friend bool operator==(const PropertyMap& a, const PropertyMap& b) noexcept;

 private:
  // Shared between copies; cloned before the first change of a shared one.
  // With index_slots > 0, `capacity` entries are followed by that many
  // uint32 slots of an open-addressing index (entry position + 1; 0 free).
  struct Block {
    std::atomic<uint32_t> refs;
    uint32_t size;
    uint32_t capacity;
    uint32_t index_slots;
    Entry entries[1];
  };
  static constexpr uint32_t kIndexFrom = 24;  // capacity from which a block is indexed
  static Block* allocate(uint32_t capacity);
  // n as a block capacity; InternalFault past what a block records.
  static uint32_t capacity_for(size_t n);
  // Room for `need` entries and at least twice `room` (up to what a block
  // records): growth by doubling keeps appends amortised O(1).
  static uint32_t grown(size_t need, uint32_t room);
  static size_t block_bytes(uint32_t capacity, uint32_t index_slots) noexcept;
  static uint32_t* index_of(Block* b) noexcept;
  // Enters entry i of b into b's index.
  static void index_entry(Block* b, uint32_t i) noexcept;
  // The position of key in b, or b->size.
  static uint32_t position(const Block* b, std::string_view key) noexcept;
  // Makes block_ this map's own (refs == 1) with room for `capacity`.
  void own(uint32_t capacity);
  void destroy() noexcept;
  Block* block_ = nullptr;
};

}  // namespace qg
