#include "core/algorithms/components.h"

#include <algorithm>
#include <set>

#include "algorithms_fixture.h"
#include "core/algorithms/traversal.h"

namespace qg {
namespace {

using testing::E;
using testing::ids;
using testing::make_graph;
using Strs = std::vector<std::string>;
using Groups = std::vector<Strs>;

std::set<Strs> as_set(const Groups& g) { return {g.begin(), g.end()}; }

TEST(Components, EmptyAndSingle) {
  for (bool directed : {true, false}) {
    GraphRecord g(directed, "", false);
    EXPECT_TRUE(weakly_connected_components_core(g).empty());
    EXPECT_TRUE(strongly_connected_components_core(g).empty());
    EXPECT_EQ(count_weak_components(g), 0u);
    EXPECT_TRUE(is_weakly_connected_core(g));
    EXPECT_TRUE(is_strongly_connected_core(g));
    EXPECT_TRUE(find_cycles_core(g).empty());
    EXPECT_TRUE(find_cycle_paths_core(g).empty());
    (void)add_node_core(g, std::string_view("a"), {});
    EXPECT_EQ(ids(g, weakly_connected_components_core(g)), (Groups{{"a"}}));
    EXPECT_EQ(ids(g, strongly_connected_components_core(g)), (Groups{{"a"}}));
    EXPECT_TRUE(is_weakly_connected_core(g));
    EXPECT_TRUE(is_strongly_connected_core(g));
  }
}

TEST(Components, ChainAndTriangle) {
  GraphRecord g = make_graph(true, {"a", "b"}, {{"a", "b"}});
  EXPECT_EQ(ids(g, strongly_connected_components_core(g)), (Groups{{"b"}, {"a"}}));
  EXPECT_FALSE(is_strongly_connected_core(g));
  EXPECT_TRUE(is_weakly_connected_core(g));
  GraphRecord t = make_graph(true, {"a", "b", "c"}, {{"a", "b"}, {"b", "c"}, {"c", "a"}});
  EXPECT_EQ(ids(t, strongly_connected_components_core(t)), (Groups{{"c", "b", "a"}}));
  EXPECT_EQ(ids(t, find_cycles_core(t)), (Groups{{"c", "b", "a"}}));
  EXPECT_EQ(ids(t, find_cycle_paths_core(t)), (Groups{{"c", "a", "b"}}));
  EXPECT_TRUE(is_strongly_connected_core(t));
}

TEST(Components, SelfLoopsAndUndirected) {
  GraphRecord g = make_graph(true, {"a", "b"}, {{"a", "a"}, {"a", "b"}});
  EXPECT_EQ(ids(g, find_cycles_core(g)), (Groups{{"a"}}));
  EXPECT_EQ(ids(g, find_cycle_paths_core(g)), (Groups{{"a"}}));
  GraphRecord n = make_graph(true, {"a", "b"}, {{"a", "b"}});
  EXPECT_TRUE(find_cycles_core(n).empty());
  EXPECT_TRUE(find_cycle_paths_core(n).empty());
  GraphRecord u = make_graph(false, {"a", "b", "c", "d"},
                             {{"a", "b"}, {"b", "c"}, {"c", "a"}, {"d", "d"}});
  EXPECT_TRUE(find_cycles_core(u).empty());
  EXPECT_TRUE(find_cycle_paths_core(u).empty());
  EXPECT_EQ(as_set(ids(u, strongly_connected_components_core(u))),
            as_set(Groups{{"a", "b", "c"}, {"d"}}));
  EXPECT_EQ(as_set(ids(u, weakly_connected_components_core(u))),
            as_set(Groups{{"a", "b", "c"}, {"d"}}));
  EXPECT_FALSE(is_strongly_connected_core(u));
  EXPECT_FALSE(is_weakly_connected_core(u));
  EXPECT_EQ(count_weak_components(u), 2u);
}

TEST(Components, VacantSlotsJoinNothing) {
  GraphRecord g = make_graph(true, {"a", "b", "c", "d"}, {{"a", "b"}, {"c", "d"}, {"b", "c"}});
  ASSERT_TRUE(remove_node_core(g, "b").has_value());
  EXPECT_EQ(as_set(ids(g, weakly_connected_components_core(g))), as_set(Groups{{"a"}, {"c", "d"}}));
  EXPECT_EQ(ids(g, strongly_connected_components_core(g)), (Groups{{"a"}, {"d"}, {"c"}}));
  (void)add_node_core(g, std::string_view("z"), {});  // takes b's slot
  (void)add_edge_core(g, "d", "z", {});
  EXPECT_EQ(as_set(ids(g, weakly_connected_components_core(g))),
            as_set(Groups{{"a"}, {"z", "c", "d"}}));  // member order is node-index order
}

TEST(Components, TarjanOrderExample) {
  // Two cycles joined: a<->b, b->c, c<->d. Roots tried a first.
  GraphRecord g = make_graph(true, {"a", "b", "c", "d"},
                             {{"a", "b"}, {"b", "a"}, {"b", "c"}, {"c", "d"}, {"d", "c"}});
  EXPECT_EQ(ids(g, tarjan_scc(g.storage())), (Groups{{"d", "c"}, {"b", "a"}}));
  // find_cycle_paths starts at each component's first member.
  EXPECT_EQ(ids(g, find_cycle_paths_core(g)), (Groups{{"d", "c"}, {"b", "a"}}));
}

TEST(Components, CyclePathTakesOldestQualifyingEdgeFirst) {
  // Component {s,x,y}; from s: s->x (old), s->y (new); x->s closes; y->x.
  GraphRecord g = make_graph(true, {"s", "x", "y"},
                             {{"s", "x"}, {"s", "y"}, {"y", "x"}, {"x", "s"}});
  auto sccs = ids(g, tarjan_scc(g.storage()));
  ASSERT_EQ(sccs.size(), 1u);
  std::string first = sccs[0][0];
  auto paths = ids(g, find_cycle_paths_core(g));
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(paths[0][0], first);
  // Every cycle path is a cycle in stored directions.
  for (size_t i = 0; i < paths[0].size(); ++i) {
    const std::string& u = paths[0][i];
    const std::string& v = paths[0][(i + 1) % paths[0].size()];
    EXPECT_TRUE(has_edge_core(g, u, v)) << u << "->" << v;
  }
}

TEST(Components, LongCycleNeedsNoRecursion) {
  GraphRecord g(true, "ring", false);
  const int n = 200000;
  for (int i = 0; i < n; ++i) (void)add_node_core(g, std::to_string(i), {});
  for (int i = 0; i < n; ++i) (void)add_edge_by_index(g, i, (i + 1) % n, {});
  NodeGroups s = tarjan_scc(g.storage());
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].back(), 0u);  // the root comes last
  EXPECT_EQ(s[0].front(), NodeIndex(n - 1));
  NodeGroups c = find_cycle_paths_core(g);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].size(), size_t(n));
}

// Recursive Tarjan, written from the description, for small graphs.
struct RefTarjan {
  const GraphStorage& st;
  std::vector<uint64_t> rank;
  uint64_t next = 1, mark = UINT64_MAX;
  std::vector<NodeIndex> stack;
  std::vector<std::vector<NodeIndex>> out;
  explicit RefTarjan(const GraphStorage& s) : st(s), rank(s.node_bound(), 0) {
    for (NodeIndex r = 0; r < st.node_bound(); ++r)
      if (st.live(r) && rank[r] == 0) visit(r);
  }
  void visit(NodeIndex v) {
    rank[v] = next++;
    bool root = true;
    for (const AdjEntry& e : st.newest_out(v)) {
      NodeIndex w = e.other;
      if (rank[w] == 0) visit(w);
      if (rank[w] < rank[v]) {
        rank[v] = rank[w];
        root = false;
      }
    }
    if (!root) {
      stack.push_back(v);
      return;
    }
    size_t start = stack.size();
    while (start > 0 && rank[stack[start - 1]] >= rank[v]) --start;
    std::vector<NodeIndex> comp(stack.begin() + start, stack.end());
    comp.push_back(v);
    for (NodeIndex n : comp) rank[n] = mark;
    --mark;
    stack.resize(start);
    out.push_back(comp);
  }
};

class ComponentsRandom : public ::testing::TestWithParam<uint32_t> {};

TEST_P(ComponentsRandom, TarjanMatchesRecursiveForm) {
  for (int m : {40, 90, 160}) {
    GraphRecord g = testing::random_graph(GetParam(), true, 70, m);
    RefTarjan ref(g.storage());
    NodeGroups got = tarjan_scc(g.storage());
    ASSERT_EQ(got.size(), ref.out.size());
    for (size_t k = 0; k < got.size(); ++k) {
      auto c = got[k];
      EXPECT_EQ(std::vector<NodeIndex>(c.begin(), c.end()), ref.out[k]);
    }
  }
}

TEST_P(ComponentsRandom, StrongAndWeakComponentsAreReachabilityClasses) {
  for (bool directed : {true, false}) {
    GraphRecord g = testing::random_graph(GetParam() + 50, directed, 50, 70);
    const GraphStorage& st = g.storage();
    std::vector<std::vector<uint8_t>> reach(st.node_bound(), std::vector<uint8_t>(st.node_bound()));
    for (NodeIndex s = 0; s < st.node_bound(); ++s)
      if (st.live(s))
        for (NodeIndex n : bfs_from(g, s)) reach[s][n] = 1;
    NodeGroups scc = strongly_connected_components_core(g);
    std::vector<size_t> comp(st.node_bound(), SIZE_MAX);
    size_t members = 0;
    for (size_t k = 0; k < scc.size(); ++k)
      for (NodeIndex n : scc[k]) {
        comp[n] = k;
        ++members;
      }
    EXPECT_EQ(members, st.node_count());
    for (NodeIndex a = 0; a < st.node_bound(); ++a)
      for (NodeIndex b = 0; b < st.node_bound(); ++b) {
        if (!st.live(a) || !st.live(b)) continue;
        EXPECT_EQ(comp[a] == comp[b], reach[a][b] && reach[b][a]);
        // Tarjan order: a component reached from another comes before it.
        if (directed && reach[a][b] && comp[a] != comp[b]) {
          EXPECT_GT(comp[a], comp[b]);
        }
      }
    // Weak components: members in node-index order, each node once.
    NodeGroups weak = weakly_connected_components_core(g);
    EXPECT_EQ(weak.members.size(), st.node_count());
    for (size_t k = 0; k < weak.size(); ++k)
      EXPECT_TRUE(std::is_sorted(weak[k].begin(), weak[k].end()));
    EXPECT_EQ(count_weak_components(g), weak.size());
    // Cycle paths: one per component with a cycle, each a real cycle.
    NodeGroups cyc = find_cycles_core(g), paths = find_cycle_paths_core(g);
    ASSERT_EQ(cyc.size(), paths.size());
    for (size_t k = 0; k < paths.size(); ++k) {
      auto p = paths[k];
      EXPECT_EQ(p[0], cyc[k][0]);
      std::set<NodeIndex> distinct(p.begin(), p.end());
      EXPECT_EQ(distinct.size(), p.size());
      for (size_t i = 0; i < p.size(); ++i)
        EXPECT_TRUE(has_edge_between(g, p[i], p[(i + 1) % p.size()]));
    }
  }
}

TEST(Components, PackedAndLinkedTarjanAgree) {
  for (bool reuse : {false, true}) {
    std::mt19937 rng(9);
    GraphRecord g(true, "big", true);
    const int n = 1500;
    for (int i = 0; i < n; ++i) (void)add_node_core(g, "v" + std::to_string(i), {});
    std::uniform_int_distribution<int> pick(0, n - 1);
    for (int i = 0; i < 6000; ++i) (void)add_edge_by_index(g, pick(rng), pick(rng), {});
    if (reuse) {
      testing::remove_edge_slot(g, 3);
      (void)add_edge_by_index(g, 1, 2, {});
    }
    RefTarjan ref(g.storage());
    NodeGroups got = tarjan_scc(g.storage());
    ASSERT_EQ(got.size(), ref.out.size());
    for (size_t k = 0; k < got.size(); ++k) {
      auto c = got[k];
      EXPECT_EQ(std::vector<NodeIndex>(c.begin(), c.end()), ref.out[k]);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, ComponentsRandom, ::testing::Values(21u, 22u, 23u, 24u, 25u));

}  // namespace
}  // namespace qg
