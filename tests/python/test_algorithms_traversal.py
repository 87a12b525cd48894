"""Traversals: exact orders, errors, and agreement with networkx."""
import pytest
import networkx as nx

import conftest
from quor_graph._rust import algorithms as A
from quor_graph._rust.graph import PyGraph
from test_algorithms_helpers import build, random_pair


def test_registration_order_so_far():
    names = A.__all__
    assert names[:11] == [
        "bfs", "dfs", "dfs_events", "bfs_with_depth", "bfs_at_depth", "shortest_paths",
        "shortest_path_length", "has_path", "astar_path", "bellman_ford_paths",
        "all_simple_paths",
    ]
    order = [
        "find_cycles", "find_cycle_paths", "strongly_connected_components",
        "num_connected_components", "weakly_connected_components", "is_strongly_connected",
        "is_weakly_connected", "topological_sort", "ancestors", "descendants", "longest_path",
        "transitive_closure", "condensation",
    ]
    positions = [names.index(n) for n in order]
    assert positions == sorted(positions)
    for n in names:
        assert getattr(A, n).__module__ == "algorithms"


@pytest.mark.parametrize(
    "name, sig, summary",
    [
        ("bfs", "bfs(graph, source)",
         "BFS traversal from a source node. Returns node IDs in BFS order."),
        ("dfs", "dfs(graph, source)",
         "DFS traversal from a source node. Returns node IDs in DFS (preorder)."),
        ("dfs_events", "dfs_events(graph, source)",
         'DFS with enter/exit events. Returns (node_id, event_str) pairs.\n'
         'event_str is "enter" or "exit".'),
        ("bfs_with_depth", "bfs_with_depth(graph, source)", "BFS returning (node_id, depth) pairs."),
        ("bfs_at_depth", "bfs_at_depth(graph, source, depth)",
         "BFS returning only nodes at a specific depth."),
        ("ancestors", "ancestors(graph, id)", "All ancestors of a node (nodes that can reach it)."),
        ("descendants", "descendants(graph, id)",
         "All descendants of a node (nodes reachable from it)."),
    ],
)
def test_docstrings(name, sig, summary):
    f = getattr(A, name)
    assert f.__doc__ == summary
    assert f.__text_signature__ == sig[len(name):]


def test_source_alone():
    g = build(nodes=["s", "x"])
    assert A.bfs(g, "s") == ["s"]
    assert A.dfs(g, "s") == ["s"]
    assert A.dfs_events(g, "s") == [("s", "enter"), ("s", "exit")]
    assert A.bfs_with_depth(g, "s") == [("s", 0)]
    assert A.bfs_at_depth(g, "s", 0) == ["s"]
    assert A.bfs_at_depth(g, "s", 1) == []
    assert A.ancestors(g, "s") == []
    assert A.descendants(g, "s") == []


def test_newest_edge_first():
    g = build(nodes="abc", edges=[("a", "b"), ("a", "c")])
    assert A.bfs(g, "a") == ["a", "c", "b"]
    assert A.dfs(g, "a") == ["a", "b", "c"]
    assert A.dfs_events(g, "a") == [
        ("a", "enter"), ("c", "enter"), ("c", "exit"),
        ("b", "enter"), ("b", "exit"), ("a", "exit"),
    ]
    assert A.bfs_with_depth(g, source="a") == [("a", 0), ("c", 1), ("b", 1)]


def test_self_loop_and_directions():
    g = build(nodes="abp", edges=[("a", "a"), ("a", "b"), ("p", "a")])
    assert sorted(A.descendants(g, "a")) == ["a", "b"]
    assert sorted(A.ancestors(g, id="a")) == ["a", "p"]
    assert A.bfs(g, "a") == ["a", "b"]
    assert A.bfs(g, "b") == ["b"]


def test_undirected_start_node_comes_back():
    g = build(directed=False, nodes="ab", edges=[("a", "b")])
    assert sorted(A.descendants(g, "a")) == ["a", "b"]
    assert sorted(A.ancestors(g, "a")) == ["a", "b"]


def test_parallel_edges():
    g = build(multi=True, nodes="ab", edges=[("a", "b"), ("a", "b")])
    assert A.bfs(g, "a") == ["a", "b"]
    assert A.dfs(g, "a") == ["a", "b"]
    assert A.bfs_with_depth(g, "a") == [("a", 0), ("b", 1)]


def test_removed_node_slot():
    g = build(nodes="abc", edges=[("a", "b"), ("b", "c")])
    g.remove_node("b")
    with pytest.raises(KeyError) as e:
        A.bfs(g, "b")
    assert e.value.args == ("Node 'b' not found",)
    g.add_node("d")  # takes b's slot
    g.add_edge("a", "d")
    g.add_edge("a", "c")
    assert A.bfs(g, "a") == ["a", "c", "d"]
    assert A.dfs(g, "a") == ["a", "d", "c"]


@pytest.mark.parametrize("fn", ["bfs", "dfs", "dfs_events", "bfs_with_depth", "ancestors",
                                "descendants"])
def test_unknown_node_is_key_error(fn):
    g = build(nodes="a")
    with pytest.raises(KeyError, match="Node 'zz' not found"):
        getattr(A, fn)(g, "zz")


def test_bfs_at_depth_arguments():
    g = build(nodes="abc", edges=[("a", "b"), ("b", "c")])
    assert A.bfs_at_depth(g, "a", 2) == ["c"]
    assert A.bfs_at_depth(g, "a", 10**19) == []
    with pytest.raises(OverflowError):
        A.bfs_at_depth(g, "a", -1)
    with pytest.raises(OverflowError):
        A.bfs_at_depth(g, "a", 2**64)
    with pytest.raises(TypeError, match="argument 'depth'"):
        A.bfs_at_depth(g, "a", 2.0)
    with pytest.raises(KeyError):
        A.bfs_at_depth(g, "zz", 0)


def test_frame_errors():
    g = build(nodes="a")
    with pytest.raises(TypeError, match=r"bfs\(\) missing 1 required positional argument: 'source'"):
        A.bfs(g)
    with pytest.raises(TypeError, match=r"bfs\(\) takes 2 positional arguments but 3 were given"):
        A.bfs(g, "a", "b")
    with pytest.raises(TypeError, match="multiple values for argument 'graph'"):
        A.bfs(g, "a", graph=g)
    with pytest.raises(TypeError, match="unexpected keyword argument 'sauce'"):
        A.bfs(g, sauce="a")
    with pytest.raises(TypeError, match="argument 'graph': 'None' is not an instance of 'PyGraph'"):
        A.bfs(None, "a")
    with pytest.raises(TypeError, match="argument 'source': 'int' object is not an instance of 'str'"):
        A.bfs(g, 1)


def test_borrow_conflict_during_mutation():
    g = build(nodes="a")
    seen = []

    class Probe:
        def __str__(self):
            try:
                A.bfs(g, "a")
            except RuntimeError as e:
                seen.append(str(e))
            return "p"

    g.add_node("b", {"v": Probe()})
    assert seen == ["Already mutably borrowed"]


@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("directed", [True, False])
def test_reachability_matches_networkx(seed, directed):
    g, ref = random_pair(seed, directed)
    for s in g.node_ids()[::3]:
        reach = {s} | nx.descendants(ref, s)
        assert set(A.bfs(g, s)) == reach and len(A.bfs(g, s)) == len(reach)
        assert set(A.dfs(g, s)) == reach
        depths = dict(A.bfs_with_depth(g, s))
        assert depths == nx.single_source_shortest_path_length(ref, s)
        for d in range(4):
            assert sorted(A.bfs_at_depth(g, s, d)) == sorted(k for k, v in depths.items() if v == d)
        events = A.dfs_events(g, s)
        assert [n for n, ev in events if ev == "enter"] and len(events) == 2 * len(reach)
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


def test_newest_edge_first_and_depth_past_the_end():
    g = conftest.build(nodes="abc", edges=[("a", "b"), ("a", "c")])
    assert A.bfs(g, "a") == ["a", "c", "b"]
    assert A.dfs(g, "a") == ["a", "b", "c"]
    assert A.dfs_events(g, "a") == [("a", "enter"), ("c", "enter"), ("c", "exit"),
                                     ("b", "enter"), ("b", "exit"), ("a", "exit")]
    assert A.bfs_with_depth(g, "a") == [("a", 0), ("c", 1), ("b", 1)]
    chain = conftest.build(edges=[("a", "b"), ("b", "c")])
    assert (A.bfs_at_depth(chain, "a", 2), A.bfs_at_depth(chain, "a", 10**19)) == (["c"], [])


def test_directions_self_loops_and_parallel_edges():
    g = conftest.build(nodes="abp", edges=[("a", "a"), ("a", "b"), ("p", "a")])
    assert sorted(A.descendants(g, "a")) == ["a", "b"] and sorted(A.ancestors(g, "a")) == ["a", "p"]
    assert A.bfs(g, "a") == ["a", "b"] and A.bfs(g, "b") == ["b"]
    u = conftest.build(False, nodes="ab", edges=[("a", "b")])  # the start node comes back over any edge
    assert sorted(A.descendants(u, "a")) == sorted(A.ancestors(u, "a")) == ["a", "b"]
    m = conftest.build(multi=True, nodes="ab", edges=[("a", "b"), ("a", "b")])
    assert A.bfs(m, "a") == A.dfs(m, "a") == ["a", "b"] and A.bfs_with_depth(m, "a") == [("a", 0), ("b", 1)]


def test_removed_and_reused_slot():
    g = conftest.build(nodes="abc", edges=[("a", "b"), ("b", "c")])
    g.remove_node("b")
    g.add_node("d")  # takes b's slot
    g.add_edge("a", "d")
    g.add_edge("a", "c")
    assert A.bfs(g, "a") == ["a", "c", "d"] and A.dfs(g, "a") == ["a", "d", "c"]


def test_removed_node_is_a_key_error():
    g = conftest.build(nodes="ab")
    g.remove_node("b")
    for fn in (A.bfs, A.dfs, A.dfs_events, A.bfs_with_depth, A.ancestors, A.descendants,
               lambda g, s: A.bfs_at_depth(g, s, 0)):
        with pytest.raises(KeyError) as e:
            fn(g, "b")
        assert e.value.args == ("Node 'b' not found",)


@pytest.mark.parametrize("seed", range(4))
@pytest.mark.parametrize("directed", [True, False])
def test_reachability_enters_each_node_once(seed, directed):
    g, ref = conftest.random_pair(seed, directed)
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


def test_source_alone_chained():
    g = conftest.build(nodes=["s", "x"])
    assert A.bfs(g, "s") == A.dfs(g, "s") == A.bfs_at_depth(g, "s", 0) == ["s"]
    assert A.dfs_events(g, "s") == [("s", "enter"), ("s", "exit")]
    assert A.bfs_with_depth(g, "s") == [("s", 0)]
    assert A.bfs_at_depth(g, "s", 1) == A.ancestors(g, "s") == A.descendants(g, "s") == []
