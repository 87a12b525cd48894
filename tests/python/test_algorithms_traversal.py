"""Traversals: exact orders, lookups, and agreement with networkx."""
import networkx as nx
import pytest

from conftest import build, random_pair
from quor_graph._rust import algorithms as A
from quor_graph._rust.graph import PyGraph


def test_source_alone():
    g = build(nodes=["s", "x"])
    assert A.bfs(g, "s") == A.dfs(g, "s") == A.bfs_at_depth(g, "s", 0) == ["s"]
    assert A.dfs_events(g, "s") == [("s", "enter"), ("s", "exit")]
    assert A.bfs_with_depth(g, "s") == [("s", 0)]
    assert A.bfs_at_depth(g, "s", 1) == A.ancestors(g, "s") == A.descendants(g, "s") == []


def test_newest_edge_first():
    g = build(nodes="abc", edges=[("a", "b"), ("a", "c")])
    assert A.bfs(g, "a") == ["a", "c", "b"]
    assert A.dfs(g, "a") == ["a", "b", "c"]
    assert A.dfs_events(g, "a") == [("a", "enter"), ("c", "enter"), ("c", "exit"),
                                     ("b", "enter"), ("b", "exit"), ("a", "exit")]
    assert A.bfs_with_depth(g, "a") == [("a", 0), ("c", 1), ("b", 1)]
    chain = build(edges=[("a", "b"), ("b", "c")])
    assert (A.bfs_at_depth(chain, "a", 2), A.bfs_at_depth(chain, "a", 10**19)) == (["c"], [])


def test_directions_self_loops_and_parallel_edges():
    g = build(nodes="abp", edges=[("a", "a"), ("a", "b"), ("p", "a")])
    assert sorted(A.descendants(g, "a")) == ["a", "b"] and sorted(A.ancestors(g, "a")) == ["a", "p"]
    assert A.bfs(g, "a") == ["a", "b"] and A.bfs(g, "b") == ["b"]
    u = build(False, nodes="ab", edges=[("a", "b")])  # the start node comes back over any edge
    assert sorted(A.descendants(u, "a")) == sorted(A.ancestors(u, "a")) == ["a", "b"]
    m = build(multi=True, nodes="ab", edges=[("a", "b"), ("a", "b")])
    assert A.bfs(m, "a") == A.dfs(m, "a") == ["a", "b"] and A.bfs_with_depth(m, "a") == [("a", 0), ("b", 1)]


def test_removed_and_reused_slot():
    g = build(nodes="abc", edges=[("a", "b"), ("b", "c")])
    g.remove_node("b")
    g.add_node("d")  # takes b's slot
    g.add_edge("a", "d")
    g.add_edge("a", "c")
    assert A.bfs(g, "a") == ["a", "c", "d"] and A.dfs(g, "a") == ["a", "d", "c"]


def test_removed_node_is_a_key_error():
    g = build(nodes="ab")
    g.remove_node("b")
    for fn in (A.bfs, A.dfs, A.dfs_events, A.bfs_with_depth, A.ancestors, A.descendants,
               lambda g, s: A.bfs_at_depth(g, s, 0)):
        with pytest.raises(KeyError) as e:
            fn(g, "b")
        assert e.value.args == ("Node 'b' not found",)


@pytest.mark.parametrize("seed", range(4))
@pytest.mark.parametrize("directed", [True, False])
def test_reachability_matches_networkx(seed, directed):
    g, ref = random_pair(seed, directed)
    for s in g.node_ids()[::3]:
        reach = {s} | nx.descendants(ref, s)
        assert set(A.bfs(g, s)) == reach and len(A.bfs(g, s)) == len(reach)
        assert set(A.dfs(g, s)) == reach and len(A.dfs(g, s)) == len(reach)
        depths = dict(A.bfs_with_depth(g, s))
        assert depths == nx.single_source_shortest_path_length(ref, s)
        for d in range(4):
            assert sorted(A.bfs_at_depth(g, s, d)) == sorted(k for k, v in depths.items() if v == d)
        events = A.dfs_events(g, s)
        assert {n for n, ev in events if ev == "enter"} == reach and len(events) == 2 * len(reach)
        # Descendants: reach minus s, plus s on a cycle (undirected: any edge).
        desc = set(nx.descendants(ref, s))
        back = any(ref.has_edge(u, s) for u in reach) if directed else ref.degree(s) > 0
        assert sorted(A.descendants(g, s)) == sorted(desc | ({s} if back else set()))
        anc = set(nx.ancestors(ref, s)) if directed else desc
        back_in = any(ref.has_edge(s, u) for u in anc | {s}) if directed else back
        assert sorted(A.ancestors(g, s)) == sorted(anc | ({s} if back_in else set()))


def test_long_chain_does_not_recurse():
    g = PyGraph()
    n = 100_000
    for i in range(n):
        g.add_node(str(i))
    for i in range(n - 1):
        g.add_edge(str(i), str(i + 1))
    assert len(A.dfs(g, "0")) == n
    ev = A.dfs_events(g, "0")
    assert ev[n - 1] == (str(n - 1), "enter") and ev[n] == (str(n - 1), "exit")
    assert len(A.ancestors(g, str(n - 1))) == n - 1
