// FlatMap and FlatSet: open-addressing hash tables whose every change either
// completes or, when an allocation fails, throws std::bad_alloc having
// changed nothing.
//
// Growth allocates the new arrays first and only then moves the elements
// over (element moves must not throw: static_asserted) and commits; an
// insertion that needs room grows before it touches the table, and builds
// the element before it marks the slot taken. Lookups are heterogeneous when
// both the hash and the equality are transparent. Iteration order is
// unspecified. Capacity is a power of two of at least 8; one control byte
// per slot (empty, erased, or 7 bits of the hash), probed 8 at a time in
// aligned groups along a triangular sequence; at most 7/8 of the slots hold
// elements or erase marks.
//
// The hash and equality must not throw (static_asserted): lookups and
// erasures are noexcept. A key of another type is hashed and compared as it
// is when both functors are transparent, else converted to the key type once.
// When a rehash is due it doubles the slots if live keys fill more than half
// of the room, else clears the erase marks at the same capacity: a rehash
// costs time in proportion to the capacity and leaves room for inserts in
// proportion to it, so every insert, with or without reserve(size() + 1)
// first, is amortised O(1). A size beyond what memory can address throws
// std::bad_array_new_length (a std::bad_alloc).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

#include "absl/hash/hash.h"

namespace qg {
namespace flat_detail {

inline constexpr uint8_t kEmpty = 0x80;
inline constexpr uint8_t kErased = 0xFE;
inline constexpr size_t kGroup = 8;
// The control bytes of a table without slots: one group, all empty, so that
// a lookup needs no test for it. Never written, never freed.
alignas(8) inline constexpr uint8_t kNoSlots[kGroup] = {kEmpty, kEmpty, kEmpty, kEmpty,
                                                        kEmpty, kEmpty, kEmpty, kEmpty};

// Eight control bytes as one word; each mask has bit 7 of byte i set for
// each byte i that matches (match() may report a false match after a true
// one, which the key comparison then rejects).
class Group {
 public:
  explicit Group(const uint8_t* at) noexcept {
    std::memcpy(&bits_, at, sizeof bits_);
    if constexpr (std::endian::native == std::endian::big) bits_ = std::byteswap(bits_);
  }
  uint64_t match(uint8_t tag) const noexcept {
    const uint64_t x = bits_ ^ (kLsbs * tag);
    return (x - kLsbs) & ~x & kMsbs;
  }
  uint64_t empty() const noexcept { return bits_ & (~bits_ << 6) & kMsbs; }
  uint64_t empty_or_erased() const noexcept { return bits_ & ~(bits_ << 7) & kMsbs; }
  static size_t first(uint64_t mask) noexcept { return std::countr_zero(mask) >> 3; }

 private:
  static constexpr uint64_t kLsbs = 0x0101010101010101ULL;
  static constexpr uint64_t kMsbs = 0x8080808080808080ULL;
  uint64_t bits_;
};

// Equality of keys that compare without throwing; a pair compares its
// members, whatever its operator== declares.
template <class K>
inline constexpr bool kNothrowEqual = noexcept(std::declval<const K&>() ==
                                               std::declval<const K&>());
template <class A, class B>
inline constexpr bool kNothrowEqual<std::pair<A, B>> = kNothrowEqual<A> && kNothrowEqual<B>;

// The default functors: absl::Hash and operator==, declared noexcept.
template <class K>
struct DefaultHash {
  size_t operator()(const K& k) const noexcept { return absl::Hash<K>{}(k); }
};
template <class K>
struct DefaultEqual {
  bool operator()(const K& a, const K& b) const noexcept(kNothrowEqual<K>) { return a == b; }
};

template <class T>
concept Transparent = requires { typename T::is_transparent; };

template <bool kTransparent>
struct KeyArg {
  template <class Q, class Key>
  using type = Key;
};
template <>
struct KeyArg<true> {
  template <class Q, class Key>
  using type = Q;
};

template <class K>
struct SetPolicy {
  using key_type = K;
  using slot_type = K;
  static const K& key(const slot_type& s) noexcept { return s; }
  template <class Q>
  static void construct(slot_type* at, Q&& key) {
    new (at) K(std::forward<Q>(key));
  }
};

template <class K, class V>
struct MapPolicy {
  using key_type = K;
  using slot_type = std::pair<K, V>;
  static const K& key(const slot_type& s) noexcept { return s.first; }
  template <class Q, class... Args>
  static void construct(slot_type* at, Q&& key, Args&&... args) {
    new (at) slot_type(std::piecewise_construct, std::forward_as_tuple(std::forward<Q>(key)),
                       std::forward_as_tuple(std::forward<Args>(args)...));
  }
};

template <class Policy, class Hash, class Eq>
class Table {
 public:
  using key_type = typename Policy::key_type;
  using value_type = typename Policy::slot_type;
  using size_type = size_t;
  static constexpr bool kHeterogeneous = Transparent<Hash> && Transparent<Eq>;
  template <class Q>
  using Arg = typename KeyArg<kHeterogeneous>::template type<Q, key_type>;
  static_assert(std::is_nothrow_invocable_r_v<size_t, const Hash&, const key_type&>,
                "lookups are noexcept: the hash must be");
  static_assert(std::is_nothrow_invocable_r_v<bool, const Eq&, const key_type&, const key_type&>,
                "lookups are noexcept: the equality must be");
  static_assert(std::is_nothrow_move_constructible_v<value_type>,
                "growth moves the elements: a move must not throw");
  static_assert(alignof(value_type) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

  template <bool kConst>
  class Iter {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = typename Policy::slot_type;
    using difference_type = std::ptrdiff_t;
    using reference = std::conditional_t<kConst, const value_type&, value_type&>;
    using pointer = std::conditional_t<kConst, const value_type*, value_type*>;
    Iter() = default;
    Iter(const Table* t, size_t at) noexcept : t_(t), at_(at) {}
    operator Iter<true>() const noexcept { return {t_, at_}; }
    reference operator*() const noexcept { return const_cast<Table*>(t_)->slots_[at_]; }
    pointer operator->() const noexcept { return &**this; }
    Iter& operator++() noexcept {
      at_ = t_->next_full(at_ + 1);
      return *this;
    }
    Iter operator++(int) noexcept {
      Iter old = *this;
      ++*this;
      return old;
    }
    bool operator==(const Iter& o) const noexcept { return at_ == o.at_; }

   private:
    friend class Table;
    const Table* t_ = nullptr;
    size_t at_ = 0;
  };
  using iterator = Iter<false>;
  using const_iterator = Iter<true>;

  Table() noexcept(std::is_nothrow_default_constructible_v<Hash>) = default;
  explicit Table(size_t reserved, const Hash& hash = Hash(), const Eq& eq = Eq())
      : hash_(hash), eq_(eq) {
    reserve(reserved);
  }
  // Delegates so that the destructor runs, giving back what was built, when
  // an insertion fails.
  template <class It>
  Table(It first, It last) : Table() {
    if constexpr (std::forward_iterator<It>)
      reserve(static_cast<size_t>(std::distance(first, last)));
    for (; first != last; ++first) insert(*first);
  }
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;
  Table(Table&& o) noexcept
      : ctrl_(std::exchange(o.ctrl_, no_slots())),
        slots_(std::exchange(o.slots_, nullptr)),
        capacity_(std::exchange(o.capacity_, 0)),
        size_(std::exchange(o.size_, 0)),
        growth_left_(std::exchange(o.growth_left_, 0)),
        hash_(o.hash_),
        eq_(o.eq_) {}
  Table& operator=(Table&& o) noexcept {
    if (this != &o) {
      release();
      ctrl_ = std::exchange(o.ctrl_, no_slots());
      slots_ = std::exchange(o.slots_, nullptr);
      capacity_ = std::exchange(o.capacity_, 0);
      size_ = std::exchange(o.size_, 0);
      growth_left_ = std::exchange(o.growth_left_, 0);
      hash_ = o.hash_;
      eq_ = o.eq_;
    }
    return *this;
  }
  ~Table() { release(); }

  size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  size_t capacity() const noexcept { return capacity_; }

  iterator begin() noexcept { return {this, next_full(0)}; }
  iterator end() noexcept { return {this, capacity_}; }
  const_iterator begin() const noexcept { return {this, next_full(0)}; }
  const_iterator end() const noexcept { return {this, capacity_}; }

  // Room for n elements in all: inserting up to n - size() new keys then
  // allocates nothing.
  void reserve(size_t n) {
    if (n > size_ + growth_left_) make_room(n);
  }

  template <class Q = key_type>
  iterator find(const Arg<Q>& key) noexcept {
    return {this, find_at(key, hash_of(key))};
  }
  template <class Q = key_type>
  const_iterator find(const Arg<Q>& key) const noexcept {
    return {this, find_at(key, hash_of(key))};
  }
  template <class Q = key_type>
  bool contains(const Arg<Q>& key) const noexcept {
    return find_at(key, hash_of(key)) != capacity_;
  }
  // Starts loading the memory a lookup of key will read first.
  template <class Q = key_type>
  void prefetch(const Arg<Q>& key) const noexcept {
    const size_t h = hash_of(key);
    const size_t at = ((h >> 7) & group_mask()) * kGroup;
    __builtin_prefetch(ctrl_ + at);
    __builtin_prefetch(slots_ + at);
  }

  // Inserts a key built from `key` (and, in a map, a value from `args`)
  // when the key is absent; the element's constructor runs only then.
  template <class Q, class... Args>
  std::pair<iterator, bool> try_emplace(Q&& key, Args&&... args) {
    if constexpr (!kHeterogeneous && !std::is_same_v<std::remove_cvref_t<Q>, key_type>) {
      // The functors take key_type only: one conversion, not one per probe.
      return try_emplace(key_type(std::forward<Q>(key)), std::forward<Args>(args)...);
    } else {
      const size_t h = hash_of(key);
      const size_t found = find_at(key, h);
      if (found != capacity_) return {iterator(this, found), false};
      if (growth_left_ == 0) make_room(size_ + 1);  // before anything changes
      const size_t at = free_slot(ctrl_, group_mask(), h);
      Policy::construct(slots_ + at, std::forward<Q>(key), std::forward<Args>(args)...);
      if (ctrl_[at] == kEmpty) --growth_left_;
      ctrl_[at] = tag(h);
      ++size_;
      return {iterator(this, at), true};
    }
  }
  template <class Q, class... Args>
  std::pair<iterator, bool> emplace(Q&& key, Args&&... args) {
    return try_emplace(std::forward<Q>(key), std::forward<Args>(args)...);
  }
  template <class Q>
  std::pair<iterator, bool> insert(Q&& key) {
    return try_emplace(std::forward<Q>(key));
  }
  template <class Q, class V>
  std::pair<iterator, bool> insert_or_assign(Q&& key, V&& value) {
    // try_emplace moves from value only when it inserts.
    auto r = try_emplace(std::forward<Q>(key), std::forward<V>(value));
    if (!r.second) r.first->second = std::forward<V>(value);
    return r;
  }
  template <class Q>
  auto& operator[](Q&& key) {
    return try_emplace(std::forward<Q>(key)).first->second;
  }

  void erase(iterator it) noexcept { erase_at(it.at_); }
  void erase(const_iterator it) noexcept { erase_at(it.at_); }
  template <class Q = key_type>
  size_t erase(const Arg<Q>& key) noexcept {
    const size_t at = find_at(key, hash_of(key));
    if (at == capacity_) return 0;
    erase_at(at);
    return 1;
  }

 private:
  void erase_at(size_t at) noexcept {
    slots_[at].~value_type();
    --size_;
    // An insertion probes past a group only when the group has no free slot,
    // and a group with no empty slot gets one back only by a rehash. So when
    // this slot's group still has an empty slot, no key was placed beyond it
    // and the slot can be empty again; otherwise it keeps an erase mark.
    const size_t group = at & ~(kGroup - 1);
    if (Group(ctrl_ + group).empty()) {
      ctrl_[at] = kEmpty;
      ++growth_left_;
    } else {
      ctrl_[at] = kErased;
    }
  }
  static constexpr size_t max_fill(size_t cap) noexcept { return cap - cap / 8; }
  // The most slots whose arrays' size in bytes fits a ptrdiff_t.
  static constexpr size_t kMaxCapacity = std::bit_floor(
      (std::numeric_limits<std::ptrdiff_t>::max() - alignof(value_type)) /
      (1 + sizeof(value_type)));
  static uint8_t tag(size_t h) noexcept { return static_cast<uint8_t>(h & 0x7F); }
  size_t group_mask() const noexcept { return capacity_ == 0 ? 0 : capacity_ / kGroup - 1; }

  template <class Q>
  size_t hash_of(const Q& key) const noexcept {
    static_assert(std::is_nothrow_invocable_r_v<size_t, const Hash&, const Q&>);
    return hash_(key);
  }
  // The slot of key, or capacity_ when absent.
  template <class Q>
  size_t find_at(const Q& key, size_t h) const noexcept {
    static_assert(std::is_nothrow_invocable_r_v<bool, const Eq&, const key_type&, const Q&>);
    const size_t mask = group_mask();
    size_t g = (h >> 7) & mask;
    for (size_t step = 0;; g = (g + ++step) & mask) {
      const Group group(ctrl_ + g * kGroup);
      for (uint64_t m = group.match(tag(h)); m != 0; m &= m - 1) {
        const size_t at = g * kGroup + Group::first(m);
        if (eq_(Policy::key(slots_[at]), key)) [[likely]]
          return at;
      }
      if (group.empty()) [[likely]]
        return capacity_;
    }
  }
  // The first empty or erased slot on h's probe sequence (there is one).
  static size_t free_slot(const uint8_t* ctrl, size_t mask, size_t h) noexcept {
    size_t g = (h >> 7) & mask;
    for (size_t step = 0;; g = (g + ++step) & mask) {
      const uint64_t m = Group(ctrl + g * kGroup).empty_or_erased();
      if (m != 0) return g * kGroup + Group::first(m);
    }
  }
  size_t next_full(size_t at) const noexcept {
    while (at < capacity_ && (ctrl_[at] & 0x80) != 0) ++at;
    return at;
  }

  // Room for n elements in all, when n > size_ + growth_left_: the fewest
  // slots that hold n when the capacity cannot; else erase marks take the
  // room, and the rule in the header's comment picks the capacity.
  void make_room(size_t n) {
    size_t cap = kGroup;
    while (max_fill(cap) < n && cap <= kMaxCapacity) cap *= 2;
    if (cap <= capacity_) cap = size_ <= max_fill(capacity_) / 2 ? capacity_ : capacity_ * 2;
    rehash_to(cap);
  }

  static size_t slots_offset(size_t cap) noexcept {
    constexpr size_t a = alignof(value_type);
    return (cap + a - 1) / a * a;
  }

  // Allocates the new arrays (the only step that may fail), moves every
  // element over, then commits.
  void rehash_to(size_t cap) {
    if (cap > kMaxCapacity) throw std::bad_array_new_length();
    auto* mem = static_cast<uint8_t*>(::operator new(slots_offset(cap) + cap * sizeof(value_type)));
    auto* slots = reinterpret_cast<value_type*>(mem + slots_offset(cap));
    std::memset(mem, kEmpty, cap);
    const size_t mask = cap / kGroup - 1;
    for (size_t i = 0; i < capacity_; ++i) {
      if (ctrl_[i] & 0x80) continue;
      const size_t h = hash_(Policy::key(slots_[i]));
      const size_t at = free_slot(mem, mask, h);
      new (slots + at) value_type(std::move(slots_[i]));
      slots_[i].~value_type();
      mem[at] = tag(h);
    }
    if (capacity_ != 0) ::operator delete(ctrl_);
    ctrl_ = mem;
    slots_ = slots;
    capacity_ = cap;
    growth_left_ = max_fill(cap) - size_;
  }

  void release() noexcept {
    if (capacity_ == 0) return;
    if constexpr (!std::is_trivially_destructible_v<value_type>) {
      for (size_t i = 0; i < capacity_; ++i)
        if (!(ctrl_[i] & 0x80)) slots_[i].~value_type();
    }
    ::operator delete(ctrl_);
    ctrl_ = no_slots();
    slots_ = nullptr;
    capacity_ = size_ = growth_left_ = 0;
  }

  static uint8_t* no_slots() noexcept { return const_cast<uint8_t*>(kNoSlots); }

  // Control bytes: capacity_ of them (kNoSlots, never written, when
  // capacity_ is 0), then the slots in the same allocation.
  uint8_t* ctrl_ = no_slots();
  value_type* slots_ = nullptr;
  size_t capacity_ = 0;
  size_t size_ = 0;
  size_t growth_left_ = 0;
  [[no_unique_address]] Hash hash_{};
  [[no_unique_address]] Eq eq_{};
};

}  // namespace flat_detail

template <class K, class V, class Hash = flat_detail::DefaultHash<K>,
          class Eq = flat_detail::DefaultEqual<K>>
using FlatMap = flat_detail::Table<flat_detail::MapPolicy<K, V>, Hash, Eq>;

template <class K, class Hash = flat_detail::DefaultHash<K>,
          class Eq = flat_detail::DefaultEqual<K>>
using FlatSet = flat_detail::Table<flat_detail::SetPolicy<K>, Hash, Eq>;

}  // namespace qg
