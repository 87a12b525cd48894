// The graph record's operations by hand (slot reuse, adjacency and edge
// orders, duplicates, errors, degrees, connectivity), its storage against a
// plain slot model, id lookups of every length, and property values and maps.
#include "core/graph/graph_record.h"

#include <gtest/gtest.h>

#include <random>

#include "core/graph/id_limit.h"
#include "test_support.h"

namespace qg {
namespace {

std::vector<std::string> ids(const GraphRecord& g) {
  std::vector<std::string> out;
  for (auto id : node_id_list(g)) out.emplace_back(id);
  return out;
}

std::vector<std::pair<std::string, std::string>> edge_pairs(const GraphRecord& g) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& e : edge_list_refs(g)) out.emplace_back(e.source, e.target);
  return out;
}

std::vector<std::string> out_targets(const GraphRecord& g, std::string_view id) {
  std::vector<std::string> out;
  NodeIndex n = find_node(g, id);
  for (const AdjEntry& e : g.storage().newest_out(n)) out.emplace_back(g.storage().id(e.other));
  return out;
}

GraphRecord make(bool directed, bool multi, std::initializer_list<const char*> nodes) {
  GraphRecord g(directed, "", multi);
  for (const char* n : nodes) EXPECT_TRUE(add_node_core(g, n, {}));
  return g;
}

TEST(GraphRecord, NewNodeTakesTheLastVacatedSlot) {
  GraphRecord g = make(true, false, {"a", "b", "c"});
  ASSERT_TRUE(remove_node_core(g, "b"));
  ASSERT_TRUE(add_node_core(g, "d", {}));
  EXPECT_EQ(ids(g), (std::vector<std::string>{"a", "d", "c"}));
  // Two vacancies: reused last-in, first-out.
  ASSERT_TRUE(remove_node_core(g, "a"));
  ASSERT_TRUE(remove_node_core(g, "c"));
  ASSERT_TRUE(add_node_core(g, "e", {}));
  ASSERT_TRUE(add_node_core(g, "f", {}));
  EXPECT_EQ(ids(g), (std::vector<std::string>{"f", "d", "e"}));
  EXPECT_EQ(find_node(g, "a"), END);
}

TEST(GraphRecord, AdjacencyIsNewestFirstWhileEdgeOrderIsSlotOrder) {
  GraphRecord g = make(true, false, {"a", "b", "c"});
  ASSERT_TRUE(add_edge_core(g, "a", "b", {}));
  ASSERT_TRUE(add_edge_core(g, "a", "c", {}));
  EXPECT_EQ(out_targets(g, "a"), (std::vector<std::string>{"c", "b"}));
  EXPECT_EQ(edge_pairs(g),
            (std::vector<std::pair<std::string, std::string>>{{"a", "b"}, {"a", "c"}}));
}

TEST(GraphRecord, SimpleGraphRefusesDuplicatesByDirection) {
  GraphRecord d = make(true, false, {"a", "b"});
  ASSERT_TRUE(add_edge_core(d, "a", "b", {}));
  auto again = add_edge_core(d, "a", "b", {});
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error(), "Edge 'a' -> 'b' already exists");
  EXPECT_TRUE(add_edge_core(d, "b", "a", {}));

  GraphRecord u = make(false, false, {"a", "b"});
  ASSERT_TRUE(add_edge_core(u, "a", "b", {}));
  auto reverse = add_edge_core(u, "b", "a", {});
  ASSERT_FALSE(reverse);
  EXPECT_EQ(reverse.error(), "Edge 'b' -> 'a' already exists");
  EXPECT_EQ(u.edge_count(), 1u);
}

TEST(GraphRecord, MultigraphKeepsParallelEdgesAndRemovesTheNewest) {
  GraphRecord g = make(true, true, {"a", "b"});
  PropertyMap first, second;
  first.set("n", PropertyValue::integer(1));
  second.set("n", PropertyValue::integer(2));
  ASSERT_TRUE(add_edge_core(g, "a", "b", first));
  ASSERT_TRUE(add_edge_core(g, "a", "b", second));
  ASSERT_TRUE(remove_edge_core(g, "a", "b"));
  auto edges = edge_list_refs(g);
  ASSERT_EQ(edges.size(), 1u);
  EXPECT_EQ(edges[0].properties->find("n")->as_pos_int(), 1u);
}

TEST(GraphRecord, ErrorsNameTheSourceFirstAndLeaveTheRecordUnchanged) {
  GraphRecord g = make(true, false, {"a"});
  EXPECT_EQ(add_edge_core(g, "x", "y", {}).error(), "Source node 'x' not found");
  EXPECT_EQ(add_edge_core(g, "a", "y", {}).error(), "Target node 'y' not found");
  EXPECT_EQ(add_node_core(g, "a", {}).error(), "Node 'a' already exists");
  EXPECT_EQ(remove_edge_core(g, "a", "a").error(), "Edge 'a' -> 'a' not found");
  EXPECT_EQ(remove_node_core(g, "zz").error(), "Node 'zz' not found");
  EXPECT_EQ(g.node_count(), 1u);
  EXPECT_EQ(g.edge_count(), 0u);
}

TEST(GraphRecord, SelfLoopDegreeDependsOnDirection) {
  GraphRecord d = make(true, false, {"a"});
  GraphRecord u = make(false, false, {"a"});
  ASSERT_TRUE(add_edge_core(d, "a", "a", {}));
  ASSERT_TRUE(add_edge_core(u, "a", "a", {}));
  EXPECT_EQ(*node_degree(d, "a"), 2u);
  EXPECT_EQ(*node_degree(u, "a"), 1u);
  EXPECT_EQ(edge_list_refs(u).size(), 1u);
}

TEST(GraphRecord, RemovingANodeRemovesAllItsEdgesAndSlotsAreReused) {
  GraphRecord g = make(true, false, {"a", "b", "c"});
  ASSERT_TRUE(add_edge_core(g, "a", "a", {}));
  ASSERT_TRUE(add_edge_core(g, "a", "b", {}));
  ASSERT_TRUE(add_edge_core(g, "c", "a", {}));
  ASSERT_TRUE(add_edge_core(g, "b", "c", {}));
  ASSERT_TRUE(remove_node_core(g, "a"));
  EXPECT_EQ(g.edge_count(), 1u);
  EXPECT_EQ(edge_pairs(g), (std::vector<std::pair<std::string, std::string>>{{"b", "c"}}));
  // Freed edge slots come back last-removed first: the incoming c->a (slot 2)
  // was removed last.
  ASSERT_TRUE(add_edge_core(g, "c", "b", {}));
  EXPECT_EQ(edge_pairs(g)[0], (std::pair<std::string, std::string>{"c", "b"}));
}

TEST(GraphRecord, UndirectedRemoveEdgeFindsEitherOrientation) {
  GraphRecord g = make(false, false, {"a", "b"});
  ASSERT_TRUE(add_edge_core(g, "a", "b", {}));
  EXPECT_TRUE(has_edge_core(g, "b", "a"));
  ASSERT_TRUE(remove_edge_core(g, "b", "a"));
  EXPECT_EQ(g.edge_count(), 0u);
}

TEST(GraphRecord, ConnectivityIgnoresDirectionAndVacantSlots) {
  GraphRecord g = make(true, false, {});
  EXPECT_TRUE(is_weakly_connected_uf(g));
  ASSERT_TRUE(add_node_core(g, "a", {}));
  EXPECT_TRUE(is_weakly_connected_uf(g));
  for (const char* n : {"b", "c", "x"}) ASSERT_TRUE(add_node_core(g, n, {}));
  ASSERT_TRUE(add_edge_core(g, "a", "b", {}));
  ASSERT_TRUE(add_edge_core(g, "c", "b", {}));
  EXPECT_FALSE(is_weakly_connected_uf(g));
  ASSERT_TRUE(remove_node_core(g, "x"));
  EXPECT_TRUE(is_weakly_connected_uf(g));
}

TEST(GraphRecord, DegreesFollowInsertionsAndRemovals) {
  GraphRecord d = make(true, true, {"a", "b"});
  GraphRecord u = make(false, true, {"a", "b"});
  for (GraphRecord* g : {&d, &u}) {
    ASSERT_TRUE(add_edge_core(*g, "a", "b", {}));
    ASSERT_TRUE(add_edge_core(*g, "b", "a", {}));
    ASSERT_TRUE(add_edge_core(*g, "a", "a", {}));
    ASSERT_TRUE(add_edge_core(*g, "a", "a", {}));
  }
  EXPECT_EQ(*node_degree(d, "a"), 6u);
  EXPECT_EQ(*node_degree(u, "a"), 4u);
  EXPECT_TRUE(has_edge_core(d, "b", "a"));
  ASSERT_TRUE(remove_edge_core(d, "a", "a"));
  ASSERT_TRUE(remove_edge_core(u, "a", "b"));
  EXPECT_EQ(*node_degree(d, "a"), 4u);
  EXPECT_EQ(*node_degree(u, "a"), 3u);
  ASSERT_TRUE(remove_node_core(d, "b"));
  ASSERT_TRUE(add_node_core(d, "c", {}));  // reuses b's slot: counts start at zero
  EXPECT_EQ(*node_degree(d, "c"), 0u);
  EXPECT_EQ(*node_degree(d, "a"), 2u);
}

TEST(GraphRecord, LongAndShortIdsAreFound) {
  GraphRecord g(true, "", false);
  std::string long_id(100, 'x');
  for (std::string id :
       {std::string(""), std::string("exactly12byt"), std::string("thirteen_byte"), long_id})
    ASSERT_TRUE(add_node_core(g, id, {}));
  EXPECT_NE(find_node(g, ""), END);
  EXPECT_NE(find_node(g, "exactly12byt"), END);
  EXPECT_NE(find_node(g, "thirteen_byte"), END);
  EXPECT_NE(find_node(g, long_id), END);
  EXPECT_EQ(find_node(g, long_id + "y"), END);
  EXPECT_EQ(find_node(g, "exactly12byx"), END);
}

// The index keeps id lengths in 32 bits: a longer id is refused before any
// of its bytes is read (the view is unreadable), and looking it up finds
// nothing, also without reading it.
TEST(GraphRecord, IdsOverTheLengthLimitAreRefusedUnread) {
  tests::UnreadableView big(kMaxIdBytes + 1);
  ASSERT_TRUE(big.ok());
  GraphRecord g = make(true, false, {"a"});
  auto r = add_node_core(g, big.view(), {});
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind, ErrorKind::Refused);
  EXPECT_EQ(r.error(), "Node id of 4294967296 bytes is longer than the limit of 4294967295 bytes");
  EXPECT_EQ(g.node_count(), 1u);
  EXPECT_EQ(find_node(g, big.view()), END);
  EXPECT_FALSE(has_edge_core(g, "a", big.view()));
}

TEST(PropertyValue, EqualityIsKindExact) {
  EXPECT_FALSE(PropertyValue::integer(1) == PropertyValue::number(1.0));
  // Kinds differ even where the stored bits agree.
  EXPECT_FALSE(PropertyValue::pos_int(0) == PropertyValue::number(0.0));
  EXPECT_FALSE(PropertyValue::integer(-1) == PropertyValue::pos_int(UINT64_MAX));
  EXPECT_TRUE(PropertyValue::number(0.0) == PropertyValue::number(-0.0));
  EXPECT_FALSE(PropertyValue::boolean(true) == PropertyValue::integer(1));
  auto arr = [](int a, int b) {
    return PropertyValue::array({PropertyValue::integer(a), PropertyValue::integer(b)});
  };
  EXPECT_FALSE(arr(1, 2) == arr(2, 1));
  auto o1 = PropertyValue::object(
      {{Str::make("b"), PropertyValue::null()}, {Str::make("a"), PropertyValue::integer(-3)}});
  auto o2 = PropertyValue::object(
      {{Str::make("a"), PropertyValue::integer(-3)}, {Str::make("b"), PropertyValue::null()}});
  EXPECT_TRUE(o1 == o2);
  EXPECT_EQ(o1.as_object()[0].first.view(), "a");
  EXPECT_EQ(PropertyValue::integer(-1).kind(), ValueKind::NegInt);
}

TEST(PropertyMap, CopiesShareEntriesUntilOneChanges) {
  PropertyMap a;
  a.set("k", PropertyValue::integer(1));
  PropertyMap b = a;
  PropertyMap c = b;
  EXPECT_EQ(a.begin(), b.begin());  // shared
  b.set("k", PropertyValue::integer(2));
  c.set("new", PropertyValue::null());
  EXPECT_EQ(a.find("k")->as_pos_int(), 1u);
  EXPECT_EQ(b.find("k")->as_pos_int(), 2u);
  EXPECT_EQ(c.size(), 2u);
  EXPECT_EQ(a.size(), 1u);
  StrInterner keys;
  PropertyMap d = a;
  d.intern_keys(keys);
  EXPECT_NE(d.begin(), a.begin());
  EXPECT_TRUE(d == a);
  PropertyMap e;
  e.set("z", PropertyValue::null());
  e = a;  // assignment shares as copying does
  EXPECT_EQ(e.begin(), a.begin());
  EXPECT_TRUE(e == a);
}

// Past a few dozen names a map finds them through its index: every name is
// found after growth, copying, updating and interning, in insertion order.
TEST(PropertyMap, LargeMapsFindEveryNameAndKeepOrder) {
  PropertyMap m;
  for (int i = 0; i < 300; ++i) m.set("k" + std::to_string(i), PropertyValue::integer(i));
  PropertyMap shared = m;
  PropertyMap more;
  for (int i = 250; i < 400; ++i) more.set("k" + std::to_string(i), PropertyValue::integer(-i));
  m.update(more);  // 50 replaced in place, 100 appended
  StrInterner keys;
  m.intern_keys(keys);
  ASSERT_EQ(m.size(), 400u);
  int i = 0;
  for (const auto& [k, v] : m) {
    EXPECT_EQ(k.view(), "k" + std::to_string(i));
    EXPECT_EQ(v, PropertyValue::integer(i < 250 ? i : -i));
    EXPECT_EQ(m.find(k.view()), &v);
    ++i;
  }
  EXPECT_EQ(m.find("k400"), nullptr);
  EXPECT_EQ(shared.size(), 300u);
  EXPECT_EQ(*shared.find("k299"), PropertyValue::integer(299));
  EXPECT_FALSE(m == shared);
}

TEST(PropertyMap, SetReplacesInPlaceAndKeepsInsertionOrder) {
  PropertyMap m;
  m.set("b", PropertyValue::integer(1));
  m.set("a", PropertyValue::integer(2));
  m.set("b", PropertyValue::string("x"));
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m.begin()->first.view(), "b");
  EXPECT_EQ(m.find("b")->as_string(), "x");
  PropertyMap copy = m;
  EXPECT_TRUE(copy == m);
  copy.set("c", PropertyValue::null());
  EXPECT_FALSE(copy == m);
}

// A plain model of the slot storage: LIFO slot reuse, newest-first lists,
// removal of the newest matching edge. A few nodes and many parallel edges
// keep lists long, so removals go through removed marks, squeezes and the
// edges' recorded positions.
class SlotModel {
 public:
  explicit SlotModel(bool directed) : directed_(directed) {}
  size_t longest = 0;
  bool add_node(int id) {
    if (slot_of(id) >= 0) return false;
    int n = take(nodes_, free_nodes_);
    nodes_[n] = id;
    out_.resize(nodes_.size());
    in_.resize(nodes_.size());
    out_[n].clear();
    in_[n].clear();
    return true;
  }
  bool add_edge(int a, int b) {
    int s = slot_of(a), t = slot_of(b);
    if (s < 0 || t < 0) return false;
    int e = take(edges_, free_edges_);
    edges_[e] = {s, t};
    out_[s].insert(out_[s].begin(), e);
    in_[t].insert(in_[t].begin(), e);
    longest = std::max({longest, out_[s].size(), in_[t].size()});
    return true;
  }
  bool remove_edge(int a, int b) {
    int s = slot_of(a), t = slot_of(b);
    if (s < 0 || t < 0) return false;
    for (int e : out_[s])
      if (edges_[e].second == t) return drop(e);
    if (!directed_)
      for (int e : in_[s])
        if (edges_[e].first == t) return drop(e);
    return false;
  }
  bool remove_node(int id) {
    int n = slot_of(id);
    if (n < 0) return false;
    while (!out_[n].empty()) drop(out_[n].front());
    while (!in_[n].empty()) drop(in_[n].front());
    nodes_[n] = -1;
    free_nodes_.push_back(n);
    return true;
  }
  void expect_same(const GraphRecord& g) const {
    std::vector<std::string> want_ids;
    for (int id : nodes_)
      if (id >= 0) want_ids.push_back(std::to_string(id));
    ASSERT_EQ(ids(g), want_ids);
    std::vector<std::pair<std::string, std::string>> want_edges;
    for (auto [s, t] : edges_)
      if (s >= 0) want_edges.emplace_back(name(s), name(t));
    ASSERT_EQ(edge_pairs(g), want_edges);
    for (size_t n = 0; n < nodes_.size(); ++n) {
      if (nodes_[n] < 0) continue;
      std::vector<std::string> want_out, want_in, got_out, got_in;
      for (int e : out_[n]) want_out.push_back(name(edges_[e].second));
      for (int e : in_[n]) want_in.push_back(name(edges_[e].first));
      NodeIndex v = find_node(g, name(static_cast<int>(n)));
      for (const AdjEntry& a : g.storage().newest_out(v))
        got_out.emplace_back(g.storage().id(a.other));
      for (const AdjEntry& a : g.storage().newest_in(v))
        got_in.emplace_back(g.storage().id(a.other));
      ASSERT_EQ(got_out, want_out);
      ASSERT_EQ(got_in, want_in);
      ASSERT_EQ(g.storage().out_degree(v), out_[n].size());
      ASSERT_EQ(g.storage().in_degree(v), in_[n].size());
    }
  }

 private:
  std::string name(int slot) const { return std::to_string(nodes_[slot]); }
  int slot_of(int id) const {
    for (size_t n = 0; n < nodes_.size(); ++n)
      if (nodes_[n] == id) return static_cast<int>(n);
    return -1;
  }
  template <class T>
  static int take(std::vector<T>& slots, std::vector<int>& free) {
    if (!free.empty()) {
      int i = free.back();
      free.pop_back();
      return i;
    }
    slots.emplace_back();
    return static_cast<int>(slots.size()) - 1;
  }
  bool drop(int e) {
    auto [s, t] = edges_[e];
    std::erase(out_[s], e);
    std::erase(in_[t], e);
    edges_[e] = {-1, -1};
    free_edges_.push_back(e);
    return true;
  }
  bool directed_;
  std::vector<int> nodes_, free_nodes_, free_edges_;
  std::vector<std::pair<int, int>> edges_;
  std::vector<std::vector<int>> out_, in_;
};

TEST(GraphRecord, LongListsMatchTheSlotModelUnderRandomRemovals) {
  for (bool directed : {true, false}) {
    std::mt19937 rng(directed ? 7 : 8);
    GraphRecord g(directed, "", true);
    SlotModel m(directed);
    for (int step = 0; step < 12000; ++step) {
      const int op = static_cast<int>(rng() % 1000);
      const int a = static_cast<int>(rng() % 6), b = static_cast<int>(rng() % 6);
      const std::string sa = std::to_string(a), sb = std::to_string(b);
      bool want, got;
      if (op < 15) {
        want = m.add_node(a);
        got = add_node_core(g, sa, {}).has_value();
      } else if (op < 18) {
        want = m.remove_node(a);
        got = remove_node_core(g, sa).has_value();
      } else if (op < 640) {
        want = m.add_edge(a, b);
        got = add_edge_core(g, sa, sb, {}).has_value();
      } else {
        want = m.remove_edge(a, b);
        got = remove_edge_core(g, sa, sb).has_value();
      }
      ASSERT_EQ(got, want) << "step " << step;
      if (step % 97 == 0 || op < 18) m.expect_same(g);
      if (HasFatalFailure()) return;
    }
    m.expect_same(g);
    EXPECT_GT(m.longest, 100u);  // far past the lists that are searched
  }
}

}  // namespace
}  // namespace qg
