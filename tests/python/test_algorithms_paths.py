"""Shortest paths and reachability: exact cases, the mended faults, networkx differentials."""
import math

import networkx as nx
import pytest

import conftest
from quor_graph._rust import algorithms as A
from test_algorithms_helpers import build, random_pair


def frontier():
    return build(nodes=["s", "a", "b", "t"], edges=[("s", "a", 1), ("s", "b", 5), ("a", "t", 1)])


def test_docstrings_and_signatures():
    assert A.shortest_paths.__text_signature__ == "(graph, source, target=None, weight_key=None)"
    assert A.shortest_path_length.__text_signature__ == "(graph, source, target, weight_key=None)"
    assert A.astar_path.__doc__ == 'A* shortest path. Returns dict with "cost" and "path" keys, or None.'
    assert A.bellman_ford_paths.__doc__ == (
        "Bellman-Ford shortest paths. Returns dict of {node_id: cost}.\n"
        "Supports negative weights. Raises ValueError on negative cycle."
    )
    assert A.all_simple_paths.__text_signature__ == (
        "(graph, source, target, max_depth=32, max_paths=10000)"
    )
    assert A.all_simple_paths.__doc__.startswith(
        "All simple (non-repeating) paths from source to target.\n\n"
        "``max_depth`` limits total path length (number of nodes); the default\n"
        "(``32``) prevents the algorithm from running unbounded on large graphs\n"
    )


def test_dijkstra_stops_at_target_with_frontier():
    g = frontier()
    assert A.shortest_paths(g, "s", "t", "w") == {"s": 0.0, "a": 1.0, "t": 2.0, "b": 5.0}
    assert A.shortest_paths(g, "s", target="s", weight_key="w") == {"s": 0.0}
    assert A.shortest_path_length(g, "s", "t", "w") == 2.0
    assert A.shortest_path_length(g, "s", "s") == 0.0
    assert A.shortest_path_length(g, "t", "s") is None
    assert A.astar_path(g, "s", "t", "w") == {"cost": 2.0, "path": ["s", "a", "t"]}
    assert list(A.astar_path(g, "s", "t", "w")) == ["cost", "path"]
    assert A.astar_path(g, "s", "s") == {"cost": 0.0, "path": ["s"]}
    assert A.astar_path(g, "t", "s") is None
    assert A.shortest_paths(g, "s") == {"s": 0.0, "a": 1.0, "b": 1.0, "t": 2.0}
    assert A.shortest_paths(g, "s", None, None) == A.shortest_paths(g, "s")


def test_isolated_source():
    g = build(nodes=["s", "x"])
    assert A.shortest_paths(g, "s") == {"s": 0.0}
    assert A.bellman_ford_paths(g, "s") == {"s": 0.0}
    assert A.has_path(g, "s", "s") is True
    assert A.has_path(g, "s", "x") is False
    assert A.all_simple_paths(g, "s", "x") == []


@pytest.mark.parametrize("value", ["2.5", True, None, [1], {"a": 1}])
def test_non_numeric_weights_weigh_one(value):
    g = build(nodes="st")
    g.add_edge("s", "t", {"w": value})
    assert A.shortest_paths(g, "s", weight_key="w") == {"s": 0.0, "t": 1.0}
    assert A.bellman_ford_paths(g, "s", "w") == {"s": 0.0, "t": 1.0}


def test_integer_and_zero_weights():
    g = build(nodes="sab", edges=[("s", "a", 0), ("a", "b", 2**62)])
    assert A.shortest_paths(g, "s", weight_key="w") == {"s": 0.0, "a": 0.0, "b": float(2**62)}


def test_lookup_errors():
    g = frontier()
    with pytest.raises(KeyError, match="Node 'x' not found"):
        A.shortest_paths(g, "x", "y")
    with pytest.raises(KeyError, match="Node 'y' not found"):
        A.shortest_paths(g, "s", "y")
    for fn in (A.shortest_path_length, A.has_path, A.astar_path, A.all_simple_paths):
        with pytest.raises(KeyError, match="Node 'x' not found"):
            fn(g, "x", "y")
        with pytest.raises(KeyError, match="Node 'y' not found"):
            fn(g, "s", "y")
    with pytest.raises(ValueError, match="Node 'x' not found") as e:
        A.bellman_ford_paths(g, "x")
    assert not isinstance(e.value, KeyError)


def test_conversion_before_lookup():
    g = frontier()
    # A bad weight_key is reported before the unknown source.
    with pytest.raises(TypeError, match="argument 'weight_key'"):
        A.shortest_paths(g, "nope", None, 3)
    with pytest.raises(OverflowError):
        A.all_simple_paths(g, "nope", "t", -1)


def test_bellman_ford_directed():
    g = build(nodes="abx", edges=[("a", "b", 1), ("b", "a", -3)])
    with pytest.raises(ValueError, match="^Negative cycle detected$"):
        A.bellman_ford_paths(g, "a", "w")
    assert A.bellman_ford_paths(g, "x", "w") == {"x": 0.0}
    loop = build(nodes="a", edges=[("a", "a", -1)])
    with pytest.raises(ValueError, match="Negative cycle detected"):
        A.bellman_ford_paths(loop, "a", "w")
    n = build(nodes="sab", edges=[("s", "a", 1), ("s", "b", 2), ("b", "a", -5)])
    assert A.bellman_ford_paths(n, "s", "w") == {"s": 0.0, "a": -3.0, "b": 2.0}


def test_bellman_ford_undirected_follows_edges_both_ways():
    # The edge added as (b, a) carries a distance from a to b.
    g = build(directed=False, nodes="ab", edges=[("b", "a")])
    assert A.bellman_ford_paths(g, "a") == {"a": 0.0, "b": 1.0}
    assert A.bellman_ford_paths(g, "a") == A.shortest_paths(g, "a")
    chain = build(directed=False, nodes="abcd", edges=[("d", "c", 1), ("c", "b", 2), ("b", "a", 4)])
    assert A.bellman_ford_paths(chain, "a", "w") == {"a": 0.0, "b": 4.0, "c": 6.0, "d": 7.0}
    # A negative undirected edge is a negative cycle when reachable.
    neg = build(directed=False, nodes="abx", edges=[("b", "a", -1)])
    with pytest.raises(ValueError, match="Negative cycle detected"):
        A.bellman_ford_paths(neg, "a", "w")
    assert A.bellman_ford_paths(neg, "x", "w") == {"x": 0.0}


def test_astar_negative_weights_without_cycle():
    g = build(nodes=["s", "a", "b", "t"],
              edges=[("s", "a", 1), ("s", "b", 1.5), ("b", "a", -4), ("a", "t", 1)])
    assert A.astar_path(g, "s", "t", "w") == {"cost": -1.5, "path": ["s", "b", "a", "t"]}


@pytest.mark.parametrize("directed", [True, False])
def test_astar_negative_cycle_ends_with_value_error(directed):
    g = build(directed=directed, multi=True, nodes=["s", "a", "b", "t"],
              edges=[("s", "a", 1), ("a", "b", 1), ("b", "a", -3)])
    with pytest.raises(ValueError, match="^Negative cycle detected$"):
        A.astar_path(g, "s", "t", "w")
    g.add_edge("s", "t", {"w": 100})
    with pytest.raises(ValueError, match="Negative cycle detected"):
        A.astar_path(g, "s", "t", "w")


def test_astar_target_before_cycle_is_a_result():
    g = build(nodes=["s", "t", "a", "b"],
              edges=[("s", "t", 1), ("s", "a", 5), ("a", "b", 1), ("b", "a", -3)])
    assert A.astar_path(g, "s", "t", "w") == {"cost": 1.0, "path": ["s", "t"]}


def test_has_path():
    g = build(nodes="abc", edges=[("a", "b"), ("b", "c")])
    assert A.has_path(g, "a", "c") is True
    assert A.has_path(g, "c", "a") is False
    assert A.has_path(g, "a", "a") is True
    u = build(directed=False, nodes="abc", edges=[("a", "b"), ("b", "c")])
    assert A.has_path(u, "c", "a") is True


def test_all_simple_paths_bounds():
    g = build(nodes="abc", edges=[("a", "b"), ("b", "c"), ("a", "c")])
    assert A.all_simple_paths(g, "a", "c") == [["a", "c"], ["a", "b", "c"]]
    for d in (0, 1, 2):
        assert A.all_simple_paths(g, "a", "c", max_depth=d) == [["a", "c"]]
    assert A.all_simple_paths(g, "a", "c", 3) == [["a", "c"], ["a", "b", "c"]]
    assert A.all_simple_paths(g, "a", "c", max_paths=1) == [["a", "c"]]
    assert A.all_simple_paths(g, "a", "c", max_paths=0) == []
    assert A.all_simple_paths(g, "a", "a") == []
    assert A.all_simple_paths(g, "c", "a") == []
    with pytest.raises(OverflowError):
        A.all_simple_paths(g, "a", "c", max_paths=-1)
    with pytest.raises(TypeError, match="argument 'max_depth'"):
        A.all_simple_paths(g, "a", "c", max_depth="3")
    m = build(multi=True, nodes="ac", edges=[("a", "c"), ("a", "c")])
    assert A.all_simple_paths(m, "a", "c") == [["a", "c"], ["a", "c"]]


def test_all_simple_paths_is_lazy_on_a_dense_graph():
    # 14 nodes fully connected: far too many simple paths to list all of them.
    ids = [f"v{i}" for i in range(14)]
    g = build(nodes=ids, edges=[(a, b) for a in ids for b in ids if a != b])
    assert len(A.all_simple_paths(g, "v0", "v1", max_paths=500)) == 500


@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("directed", [True, False])
def test_dijkstra_matches_networkx(seed, directed):
    g, ref = random_pair(seed, directed, weights=True)
    for s in g.node_ids()[::4]:
        want = nx.single_source_dijkstra_path_length(ref, s, weight="w")
        got = A.shortest_paths(g, s, weight_key="w")
        assert got.keys() == want.keys()
        for k in want:
            assert math.isclose(got[k], want[k], abs_tol=1e-9)
        bf = A.bellman_ford_paths(g, s, "w")
        assert bf.keys() == want.keys()
        for k in want:
            assert math.isclose(bf[k], want[k], abs_tol=1e-9)
        assert A.shortest_paths(g, s) == {
            k: float(v) for k, v in nx.single_source_shortest_path_length(ref, s).items()
        }
        for t in g.node_ids()[::5]:
            length = A.shortest_path_length(g, s, t, "w")
            astar = A.astar_path(g, s, t, "w")
            assert A.has_path(g, s, t) == (t in want)
            if t not in want:
                assert length is None and astar is None
                continue
            assert math.isclose(length, want[t], abs_tol=1e-9)
            assert math.isclose(astar["cost"], want[t], abs_tol=1e-9)
            assert astar["path"][0] == s and astar["path"][-1] == t
            cost = sum(
                min(d["w"] for d in ref.get_edge_data(u, v).values())
                for u, v in zip(astar["path"], astar["path"][1:])
            )
            assert math.isclose(cost, astar["cost"], abs_tol=1e-9)


@pytest.mark.parametrize("seed", range(4))
@pytest.mark.parametrize("directed", [True, False])
def test_bellman_ford_negative_weights_match_networkx(seed, directed):
    g, ref = random_pair(seed + 40, directed, n=30, m=50, weights=True, lo=-2.0, hi=10.0)
    for s in g.node_ids()[::3]:
        try:
            want = nx.single_source_bellman_ford_path_length(ref, s, weight="w")
        except nx.NetworkXUnbounded:
            with pytest.raises(ValueError, match="Negative cycle detected"):
                A.bellman_ford_paths(g, s, "w")
            continue
        got = A.bellman_ford_paths(g, s, "w")
        assert got.keys() == want.keys()
        for k in want:
            assert math.isclose(got[k], want[k], abs_tol=1e-9)


@pytest.mark.parametrize("seed", range(4))
@pytest.mark.parametrize("directed", [True, False])
def test_simple_paths_match_networkx(seed, directed):
    # Simple graphs only: networkx lists a path once per distinct node list.
    g, ref = random_pair(seed + 70, directed, n=9, m=20, holes=False)
    simple = nx.DiGraph(ref) if directed else nx.Graph(ref)
    simple.remove_edges_from(nx.selfloop_edges(simple))
    from test_algorithms_helpers import build as b
    h = b(directed=directed, nodes=list(simple.nodes), edges=list(simple.edges))
    for s in list(simple.nodes)[:4]:
        for t in simple.nodes:
            if s == t:
                continue
            for depth in (2, 3, 5, 32):
                want = sorted(nx.all_simple_paths(simple, s, t, cutoff=max(depth, 2) - 1))
                assert sorted(A.all_simple_paths(h, s, t, depth)) == want


def test_edge_weight_rule():
    # Non-numbers weigh 1.0; integers and zero count as they are.
    g = conftest.build(multi=True, edges=[("s", "t", value) for value in ("2.5", True, None, [1], {"a": 1})])
    g.add_edge("s", "t", {"x": 0.5})
    assert A.shortest_paths(g, "s", weight_key="w") == {"s": 0.0, "t": 1.0} == A.bellman_ford_paths(g, "s", "w")
    assert A.shortest_paths(g, "s", weight_key="x") == {"s": 0.0, "t": 0.5}
    g = conftest.build(nodes="sab", edges=[("s", "a", 0), ("a", "b", 2**62)])
    assert A.shortest_paths(g, "s", weight_key="w") == {"s": 0.0, "a": 0.0, "b": float(2**62)}


def test_lookup_errors_name_the_first_missing_node():
    g = frontier()
    for fn in (A.shortest_paths, A.shortest_path_length, A.has_path, A.astar_path, A.all_simple_paths):
        for source, missing in (("x", "x"), ("s", "y")):  # the source is looked up first
            with pytest.raises(KeyError, match=f"^\"Node '{missing}' not found\"$"):
                fn(g, source, "y")
    with pytest.raises(ValueError, match="Node 'x' not found") as e:
        A.bellman_ford_paths(g, "x")
    assert not isinstance(e.value, KeyError)


NEGATIVE_CYCLE = ValueError("Negative cycle detected")


CYCLE = [("a", "b", 1), ("b", "a", -3)]


@pytest.mark.parametrize("call, g, expected", [
    (lambda g: A.bellman_ford_paths(g, "a", "w"), conftest.build(nodes="abx", edges=CYCLE), NEGATIVE_CYCLE),
    (lambda g: A.bellman_ford_paths(g, "x", "w"), conftest.build(nodes="abx", edges=CYCLE), {"x": 0.0}),  # unreachable
    (lambda g: A.bellman_ford_paths(g, "a", "w"), conftest.build(edges=[("a", "a", -1)]), NEGATIVE_CYCLE),
    (lambda g: A.bellman_ford_paths(g, "s", "w"), conftest.build(edges=[("s", "a", 1), ("s", "b", 2), ("b", "a", -5)]),
     {"s": 0.0, "a": -3.0, "b": 2.0}),
    # Undirected edges are relaxed both ways (a mended fault): a negative one is a negative cycle.
    (lambda g: A.bellman_ford_paths(g, "a"), conftest.build(False, edges=[("b", "a")]), {"a": 0.0, "b": 1.0}),
    (lambda g: A.bellman_ford_paths(g, "a", "w"),
     conftest.build(False, edges=[("d", "c", 1), ("c", "b", 2), ("b", "a", 4)]),
     {"a": 0.0, "b": 4.0, "c": 6.0, "d": 7.0}),
    (lambda g: A.bellman_ford_paths(g, "a", "w"), conftest.build(False, nodes="abx", edges=[("b", "a", -1)]),
     NEGATIVE_CYCLE),
    (lambda g: A.bellman_ford_paths(g, "x", "w"), conftest.build(False, nodes="abx", edges=[("b", "a", -1)]),
     {"x": 0.0}),
    (lambda g: A.astar_path(g, "s", "t", "w"),
     conftest.build(edges=[("s", "a", 1), ("s", "b", 1.5), ("b", "a", -4), ("a", "t", 1)]),
     {"cost": -1.5, "path": ["s", "b", "a", "t"]}),
    # A* refuses a reachable negative cycle (a mended fault), unless the target comes first.
    (lambda g: A.astar_path(g, "s", "t", "w"), conftest.build(nodes="sabt", edges=[("s", "a", 1)] + CYCLE),
     NEGATIVE_CYCLE),
    (lambda g: A.astar_path(g, "s", "t", "w"), conftest.build(False, True, "sabt", [("s", "a", 1)] + CYCLE),
     NEGATIVE_CYCLE),
    (lambda g: A.astar_path(g, "s", "t", "w"), conftest.build(edges=[("s", "a", 1)] + CYCLE + [("s", "t", 100)]),
     NEGATIVE_CYCLE),
    (lambda g: A.astar_path(g, "s", "t", "w"), conftest.build(edges=[("s", "t", 1), ("s", "a", 5)] + CYCLE),
     {"cost": 1.0, "path": ["s", "t"]}),
    (lambda g: [A.has_path(g, *st) for st in ("ac", "ca", "aa")], conftest.build(edges=[("a", "b"), ("b", "c")]),
     [True, False, True]),
    (lambda g: A.has_path(g, "c", "a"), conftest.build(False, edges=[("a", "b"), ("b", "c")]), True),
])
def test_exact_paths(call, g, expected):
    if isinstance(expected, Exception):
        with pytest.raises(type(expected)) as info:
            call(g)
        assert info.value.args == expected.args
    else:
        assert call(g) == expected


def test_isolated_source_in_one_comparison():
    g = conftest.build(nodes=["s", "x"])
    assert A.shortest_paths(g, "s") == {"s": 0.0} == A.bellman_ford_paths(g, "s")
    assert (A.has_path(g, "s", "s"), A.has_path(g, "s", "x"), A.all_simple_paths(g, "s", "x")) == (True, False, [])


def test_all_simple_paths_bounds_with_the_shared_builder():
    g = conftest.build(nodes="abc", edges=[("a", "b"), ("b", "c"), ("a", "c")])
    assert A.all_simple_paths(g, "a", "c") == [["a", "c"], ["a", "b", "c"]]
    for d in (0, 1, 2):
        assert A.all_simple_paths(g, "a", "c", max_depth=d) == [["a", "c"]]
    assert A.all_simple_paths(g, "a", "c", 3) == [["a", "c"], ["a", "b", "c"]]
    assert A.all_simple_paths(g, "a", "c", max_paths=1) == [["a", "c"]]
    assert A.all_simple_paths(g, "a", "c", max_paths=0) == []
    assert A.all_simple_paths(g, "a", "a") == []
    assert A.all_simple_paths(g, "c", "a") == []
    m = conftest.build(multi=True, nodes="ac", edges=[("a", "c"), ("a", "c")])
    assert A.all_simple_paths(m, "a", "c") == [["a", "c"], ["a", "c"]]


@pytest.mark.parametrize("seed", range(4))
@pytest.mark.parametrize("directed", [True, False])
def test_dijkstra_matches_networkx_as_approx_tables(seed, directed):
    g, ref = conftest.random_pair(seed, directed, weights=True)
    for s in g.node_ids()[::4]:
        want = nx.single_source_dijkstra_path_length(ref, s, weight="w")
        assert A.shortest_paths(g, s, weight_key="w") == pytest.approx(want, abs=1e-9)
        assert A.bellman_ford_paths(g, s, "w") == pytest.approx(want, abs=1e-9)
        assert A.shortest_paths(g, s) == {
            k: float(v) for k, v in nx.single_source_shortest_path_length(ref, s).items()
        }
        for t in g.node_ids()[::5]:
            length = A.shortest_path_length(g, s, t, "w")
            astar = A.astar_path(g, s, t, "w")
            assert A.has_path(g, s, t) == (t in want)
            if t not in want:
                assert length is None and astar is None
                continue
            assert math.isclose(length, want[t], abs_tol=1e-9)
            assert math.isclose(astar["cost"], want[t], abs_tol=1e-9)
            assert astar["path"][0] == s and astar["path"][-1] == t
            cost = sum(
                min(d["w"] for d in ref.get_edge_data(u, v).values())
                for u, v in zip(astar["path"], astar["path"][1:])
            )
            assert math.isclose(cost, astar["cost"], abs_tol=1e-9)


@pytest.mark.parametrize("seed", range(4))
@pytest.mark.parametrize("directed", [True, False])
def test_bellman_ford_negative_weights_match_networkx_as_approx_table(seed, directed):
    g, ref = conftest.random_pair(seed + 40, directed, n=30, m=50, weights=True, lo=-2.0, hi=10.0)
    for s in g.node_ids()[::3]:
        try:
            want = nx.single_source_bellman_ford_path_length(ref, s, weight="w")
        except nx.NetworkXUnbounded:
            with pytest.raises(ValueError, match="Negative cycle detected"):
                A.bellman_ford_paths(g, s, "w")
            continue
        assert A.bellman_ford_paths(g, s, "w") == pytest.approx(want, abs=1e-9)


@pytest.mark.parametrize("seed", range(4))
@pytest.mark.parametrize("directed", [True, False])
def test_simple_paths_match_networkx_with_the_shared_builder(seed, directed):
    # Simple graphs only: networkx lists a path once per distinct node list.
    g, ref = conftest.random_pair(seed + 70, directed, n=9, m=20, holes=False)
    simple = nx.DiGraph(ref) if directed else nx.Graph(ref)
    simple.remove_edges_from(nx.selfloop_edges(simple))
    h = conftest.build(directed=directed, nodes=list(simple.nodes), edges=list(simple.edges))
    for s in list(simple.nodes)[:4]:
        for t in simple.nodes:
            if s == t:
                continue
            for depth in (2, 3, 5, 32):
                want = sorted(nx.all_simple_paths(simple, s, t, cutoff=max(depth, 2) - 1))
                assert sorted(A.all_simple_paths(h, s, t, depth)) == want
