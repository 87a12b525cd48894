// FlatMap and FlatSet against std::unordered_map: random inserts, lookups and
// erasures (erase marks, reuse of their slots, growth, clean-up rehashes),
// heterogeneous lookups, and reserve() leaving room that needs no allocation.
#include "core/common/flat_table.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qg {
namespace {

struct StrHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return absl::Hash<std::string_view>{}(s); }
};
struct StrEq {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return a == b; }
};

TEST(FlatTable, AgreesWithAModelUnderRandomChanges) {
  for (uint64_t keys : {10, 300, 5000}) {
    std::mt19937_64 rng(keys);
    FlatMap<uint64_t, uint64_t> table;
    std::unordered_map<uint64_t, uint64_t> model;
    for (int step = 0; step < 40000; ++step) {
      const uint64_t k = rng() % keys;
      switch (rng() % 4) {
        case 0:
        case 1: {
          const bool fresh = table.try_emplace(k, step).second;
          ASSERT_EQ(fresh, model.try_emplace(k, step).second);
          break;
        }
        case 2: ASSERT_EQ(table.erase(k), model.erase(k)); break;
        default: {
          auto it = table.find(k);
          auto m = model.find(k);
          ASSERT_EQ(it == table.end(), m == model.end());
          if (m != model.end()) {
            ASSERT_EQ(it->second, m->second);
          }
        }
      }
      ASSERT_EQ(table.size(), model.size());
    }
    size_t seen = 0;
    for (const auto& [k, v] : table) {
      ASSERT_EQ(model.at(k), v);
      ++seen;
    }
    EXPECT_EQ(seen, model.size());
  }
}

TEST(FlatTable, StringKeysAndHeterogeneousLookup) {
  FlatSet<std::string, StrHash, StrEq> set;
  for (int i = 0; i < 1000; ++i) set.insert(std::string(i % 40, 'x') + std::to_string(i));
  EXPECT_EQ(set.size(), 1000u);
  EXPECT_TRUE(set.contains(std::string_view("xxx3")));
  EXPECT_FALSE(set.contains(std::string_view("xxx4")));
  EXPECT_EQ(set.erase(std::string_view("xxx3")), 1u);
  EXPECT_FALSE(set.contains(std::string_view("xxx3")));
  FlatSet<std::string, StrHash, StrEq> moved = std::move(set);
  EXPECT_EQ(moved.size(), 999u);
  EXPECT_EQ(set.size(), 0u);
  EXPECT_FALSE(set.contains(std::string_view("xxx5")));
}

TEST(FlatTable, ReservedRoomTakesInsertsWithoutGrowing) {
  FlatMap<uint64_t, int> table;
  for (uint64_t n : {1, 7, 8, 100, 1000}) {
    table.reserve(table.size() + n);
    const size_t capacity = table.capacity();
    for (uint64_t i = 0; i < n; ++i) table.try_emplace(table.size() * 7919 + 1, 0);
    EXPECT_EQ(table.capacity(), capacity);
  }
  // Erasing one key and inserting another, at one size, leaves the capacity
  // bounded: rehashes clear the erase marks.
  const uint64_t size = table.size();
  for (uint64_t i = 0; i < 100000; ++i) {
    ASSERT_EQ(table.erase(i * 7919 + 1), 1u);
    table.try_emplace((i + size) * 7919 + 1, 1);
  }
  EXPECT_EQ(table.size(), size);
  EXPECT_LE(table.capacity(), 4 * size);
}

}  // namespace
}  // namespace qg
