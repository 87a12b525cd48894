// A node's outgoing or incoming edges: AdjEntry, AdjList and their pool.
//
// A list keeps its entries contiguous, oldest first, so that walking it
// backwards gives the newest-first adjacency order. Removing an entry from
// the middle leaves a removed mark in its place (edge and other both END)
// instead of shifting the rest, so a removal costs O(1); the marks are
// squeezed out when they outnumber the live entries, or when the block is
// full and at least a quarter of it is marks. Every reader walks the list
// through LiveEntries (or skips marked entries itself); size() counts live
// entries only. The newest slot is never a mark (marks at the end are
// dropped at once).
//
// Blocks hold 4 << k entries, carved from large chunks and recycled through
// one free list per size class, so growing a list costs no call to malloc.
// The pool owns all its blocks; they go when the pool goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace qg {

using NodeIndex = uint32_t;
using EdgeIndex = uint32_t;
inline constexpr uint32_t END = UINT32_MAX;

// One entry of a node's adjacency list: the edge and the node at its other
// end (the target in an outgoing list, the source in an incoming list).
struct AdjEntry {
  EdgeIndex edge;
  NodeIndex other;
  bool live() const noexcept { return edge != END; }
};

class AdjPool {
 public:
  static constexpr uint32_t kClasses = 30;
  AdjPool() = default;
  AdjPool(AdjPool&&) noexcept = default;
  AdjPool& operator=(AdjPool&&) noexcept = default;
  AdjPool(const AdjPool&) = delete;
  AdjPool& operator=(const AdjPool&) = delete;

  AdjEntry* allocate(uint32_t cls);
  void release(AdjEntry* block, uint32_t cls) noexcept {
    set_link(block, free_[cls]);
    free_[cls] = block;
  }

 private:
  // A free block keeps the next free block of its class in its first bytes
  // (a block holds at least 4 entries), copied in and out as bytes: the
  // storage holds AdjEntry objects, not a pointer object.
  static_assert(sizeof(AdjEntry*) <= 4 * sizeof(AdjEntry));
  static void set_link(AdjEntry* block, AdjEntry* next) noexcept {
    std::memcpy(block, &next, sizeof next);
  }
  static AdjEntry* link(const AdjEntry* block) noexcept {
    AdjEntry* next;
    std::memcpy(&next, block, sizeof next);
    return next;
  }
  std::vector<std::unique_ptr<std::byte[]>> chunks_;
  std::byte* cur_ = nullptr;
  size_t left_ = 0;
  AdjEntry* free_[kClasses] = {};
};

// The live entries of a list, newest first.
class LiveEntries {
 public:
  class iterator {
   public:
    using value_type = AdjEntry;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    iterator(const AdjEntry* data, uint32_t at) noexcept : data_(data), at_(at) {}
    const AdjEntry& operator*() const noexcept { return data_[at_ - 1]; }
    const AdjEntry* operator->() const noexcept { return data_ + at_ - 1; }
    iterator& operator++() noexcept {
      do --at_;
      while (at_ > 0 && !data_[at_ - 1].live());
      return *this;
    }
    iterator operator++(int) noexcept {
      iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const iterator& o) const noexcept { return at_ == o.at_; }

   private:
    const AdjEntry* data_ = nullptr;
    uint32_t at_ = 0;  // one past the current entry; 0 at the end
  };
  LiveEntries(const AdjEntry* data, uint32_t used) noexcept : data_(data), used_(used) {}
  iterator begin() const noexcept { return {data_, used_}; }  // the newest is live
  iterator end() const noexcept { return {data_, 0}; }

 private:
  const AdjEntry* data_;
  uint32_t used_;
};

// 16 bytes; its block belongs to the storage's AdjPool.
class AdjList {
 public:
  AdjList() noexcept : cls_(0), dead_(0) {}
  AdjList(const AdjList&) = delete;
  AdjList& operator=(const AdjList&) = delete;
  AdjList(AdjList&& o) noexcept
      : data_(std::exchange(o.data_, nullptr)),
        used_(std::exchange(o.used_, 0)),
        cls_(o.cls_),
        dead_(o.dead_) {
    o.cls_ = 0;
    o.dead_ = 0;
  }
  AdjList& operator=(AdjList&& o) noexcept {
    if (this != &o) {
      data_ = std::exchange(o.data_, nullptr);
      used_ = std::exchange(o.used_, 0);
      cls_ = o.cls_;
      dead_ = o.dead_;
      o.cls_ = 0;
      o.dead_ = 0;
    }
    return *this;
  }

  // Live entries.
  uint32_t size() const noexcept { return used_ - dead_; }
  bool empty() const noexcept { return used_ == 0; }
  // Slots in use, removed marks included; entries()[i] for i < used().
  uint32_t used() const noexcept { return used_; }
  std::span<const AdjEntry> entries() const noexcept { return {data_, used_}; }
  LiveEntries newest_first() const noexcept { return {data_, used_}; }

  // Whether push_back can proceed without allocating.
  bool has_room() const noexcept { return data_ && used_ < capacity(); }
  // Appends; the list must have room.
  uint32_t push_back_unchecked(AdjEntry e) noexcept {
    data_[used_] = e;
    return used_++;
  }
  // Makes room for `more` entries beyond used(), by a larger block (strong
  // guarantee: on failure nothing changes). The caller squeezes marks out
  // first when worthwhile (wants_squeeze_for_room).
  void reserve_more(uint32_t more, AdjPool& pool);
  bool wants_squeeze_for_room() const noexcept { return dead_ > 0 && dead_ >= used_ / 4; }

  // Marks entry i removed; returns whether the marks now outnumber the live
  // entries (time to squeeze).
  bool remove_at(uint32_t i) noexcept {
    data_[i] = AdjEntry{END, END};
    ++dead_;
    while (used_ > 0 && !data_[used_ - 1].live()) {
      --used_;
      --dead_;
    }
    return dead_ > used_ - dead_ || dead_ == kMaxDead;
  }
  // Removes the marks, keeping order; moved(entry, new_index) for each
  // live entry that moved.
  template <class Moved>
  void squeeze(Moved&& moved) noexcept {
    uint32_t to = 0;
    for (uint32_t from = 0; from < used_; ++from) {
      if (!data_[from].live()) continue;
      if (to != from) {
        data_[to] = data_[from];
        moved(data_[to], to);
      }
      ++to;
    }
    used_ = to;
    dead_ = 0;
  }
  // Gives the block back to the pool.
  void clear(AdjPool& pool) noexcept {
    if (data_) pool.release(data_, cls_);
    data_ = nullptr;
    used_ = 0;
    cls_ = 0;
    dead_ = 0;
  }

 private:
  static constexpr uint32_t kMaxDead = (1u << 27) - 1;
  uint32_t capacity() const noexcept { return 4u << cls_; }
  AdjEntry* data_ = nullptr;
  uint32_t used_ = 0;
  uint32_t cls_ : 5;    // capacity 4 << cls_ once data_ is set
  uint32_t dead_ : 27;  // removed marks among the used slots
};

}  // namespace qg
