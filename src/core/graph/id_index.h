// The id index of a graph: node id -> node slot, one hash lookup per id.
//
// Keys view the ids held by the node slots (the slot owns the text), with
// short ids also copied inline. The string hash is seeded per map, so crafted
// ids cannot collide on purpose across maps or processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "absl/hash/hash.h"
#include "core/common/flat_table.h"
#include "core/graph/adj_list.h"
#include "core/graph/id_limit.h"

namespace qg {

// A key of the id index: a view of the id held by its node slot, with ids
// of up to kInline bytes also copied inline so that a lookup compares them
// without touching the slot's text (one cache miss fewer per lookup). Ids
// are at most kMaxIdBytes long (id_limit.h), so the length fits in 32 bits.
class IdKey {
 public:
  static constexpr size_t kInline = 12;
  static_assert(kMaxIdBytes <= UINT32_MAX);
  IdKey(std::string_view s) noexcept : ptr_(s.data()), len_(static_cast<uint32_t>(s.size())) {
    if (s.size() <= kInline && !s.empty()) std::memcpy(inline_, s.data(), s.size());
  }
  std::string_view view() const noexcept {
    return len_ <= kInline ? std::string_view(inline_, len_) : std::string_view(ptr_, len_);
  }

 private:
  const char* ptr_;
  uint32_t len_;
  char inline_[kInline] = {};
};

struct SeededIdHash {
  using is_transparent = void;
  uint64_t seed;
  size_t operator()(std::string_view s) const noexcept {
    return absl::Hash<std::pair<uint64_t, std::string_view>>{}({seed, s});
  }
  size_t operator()(const IdKey& k) const noexcept { return (*this)(k.view()); }
};
struct IdKeyEq {
  using is_transparent = void;
  bool operator()(const IdKey& a, const IdKey& b) const noexcept { return a.view() == b.view(); }
  bool operator()(const IdKey& a, std::string_view b) const noexcept { return a.view() == b; }
  bool operator()(std::string_view a, const IdKey& b) const noexcept { return a == b.view(); }
};

// A fresh key per call (one draw from the OS per thread, then a step of a
// mixing sequence).
uint64_t draw_hash_seed();

using NodeIndexMap = FlatMap<IdKey, NodeIndex, SeededIdHash, IdKeyEq>;

}  // namespace qg
