// FlatMap and FlatSet against std::unordered_map: random inserts, lookups and
// erasures (erase marks, reuse of their slots, growth, clean-up rehashes),
// heterogeneous lookups, and reserve() leaving room that needs no allocation;
// rehash counts at the fill limit, the size guard of reserve(), one key
// conversion per call through a plain hash, and insert_or_assign moving.
#include "core/common/flat_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qg {
namespace {

struct StrHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const noexcept { return absl::Hash<std::string_view>{}(s); }
};
struct StrEq {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
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

// Erase/insert cycles with the table at exactly its fill limit, inserting
// directly and after reserve(size() + 1). A rehash moves every element, so
// one per cycle (erase marks cleared at the same capacity) would make each
// cycle cost time in proportion to the capacity. A rehash shows as the move
// of a key that stays; after reserve() the insert itself must not move it.
TEST(FlatTable, EraseInsertCyclesAtTheFillLimitRehashRarely) {
  for (size_t cap : {64, 1024, 16384}) {
    for (bool reserve_first : {false, true}) {
      SCOPED_TRACE(testing::Message() << cap << (reserve_first ? " reserve" : " insert"));
      FlatMap<uint64_t, uint64_t> table;
      std::vector<uint64_t> live;
      for (uint64_t k = 0; k < cap - cap / 8; ++k) {
        table.try_emplace(k, k);
        if (k != 0) live.push_back(k);
      }
      ASSERT_EQ(table.capacity(), cap);
      std::mt19937_64 rng(cap);
      uint64_t next = cap;
      const auto* pinned = &*table.find(0);
      size_t rehashes = 0;
      const size_t cycles = 4 * cap;
      for (size_t i = 0; i < cycles; ++i) {
        uint64_t& k = live[rng() % live.size()];
        ASSERT_EQ(table.erase(k), 1u);
        k = next++;
        if (reserve_first) {
          table.reserve(table.size() + 1);
          rehashes += &*table.find(0) != pinned;
          pinned = &*table.find(0);
        }
        table.try_emplace(k, k);
        if (reserve_first) {
          ASSERT_EQ(&*table.find(0), pinned);
        }
        rehashes += &*table.find(0) != pinned;
        pinned = &*table.find(0);
      }
      EXPECT_EQ(table.size(), cap - cap / 8);
      EXPECT_LE(rehashes, 2 + 2 * cycles / cap);
    }
  }
}

TEST(FlatTable, ReserveBeyondAddressableMemoryThrowsAndChangesNothing) {
  FlatMap<uint64_t, uint64_t> table;
  table.try_emplace(1, 2);
  for (size_t n : {SIZE_MAX, SIZE_MAX / 2, SIZE_MAX / 16}) {
    EXPECT_THROW(table.reserve(n), std::bad_alloc);
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(table.capacity(), 8u);
    EXPECT_EQ(table.find(1)->second, 2u);
  }
}

// A key built from text, counting how often; a hash that is not transparent
// and sends every key to one probe sequence, so a lookup compares with each.
struct Counted {
  static inline int conversions = 0;
  Counted(const char* text) : text(text) { ++conversions; }
  bool operator==(const Counted&) const = default;
  std::string text;
};
struct OneHash {
  size_t operator()(const Counted&) const noexcept { return 0; }
};

TEST(FlatTable, KeyOfAnotherTypeIsConvertedOncePerCallThroughAPlainHash) {
  FlatMap<Counted, int, OneHash> table;
  for (const char* k : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}) table.try_emplace(k, 0);
  const auto once = [](auto op) {
    Counted::conversions = 0;
    op();
    EXPECT_EQ(Counted::conversions, 1);
  };
  once([&] { EXPECT_FALSE(table.try_emplace("j", 1).second); });
  once([&] { EXPECT_TRUE(table.try_emplace("k", 1).second); });
  once([&] { table.insert_or_assign("i", 2); });
  once([&] { table["h"] = 3; });
  once([&] { EXPECT_TRUE(table.contains("g")); });
  once([&] { EXPECT_EQ(table.erase("f"), 1u); });
  EXPECT_EQ(table.size(), 10u);
}

TEST(FlatTable, InsertOrAssignMovesItsValue) {
  FlatMap<uint64_t, std::unique_ptr<int>> table;
  table.insert_or_assign(1, std::make_unique<int>(1));
  table.insert_or_assign(1, std::make_unique<int>(2));
  EXPECT_EQ(*table.find(1)->second, 2);
}

}  // namespace
}  // namespace qg
