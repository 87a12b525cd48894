"""Structure functions: exact orders, guards, and networkx differentials."""
import random

import networkx as nx
import pytest

from conftest import build, multipartite, random_pair
from quor_graph._rust import algorithms as A
from quor_graph._rust.graph import PyGraph


def simple_view(g):
    """The undirected simple graph of g: direction, self-loops and repeats dropped."""
    ref = nx.Graph()
    ref.add_nodes_from(g.node_ids())
    ref.add_edges_from((s, t) for s, t, _ in g.edges() if s != t)
    return ref


def assert_matching(g, pairs):
    """Every pair is an edge of g (either direction), no node twice, pairs in order."""
    edges = {(s, t) for s, t, _ in g.edges()} | {(t, s) for s, t, _ in g.edges()}
    seen = set()
    for a, b in pairs:
        assert (a, b) in edges and a != b
        assert a not in seen and b not in seen
        seen.update((a, b))
    order = {n: i for i, n in enumerate(g.node_ids())}
    lows = [order[a] for a, _ in pairs]
    assert all(order[a] < order[b] for a, b in pairs) and lows == sorted(lows)


# ---- Hand-worked cases: loops, parallel edges, direction and orders ----

@pytest.mark.parametrize("call, directed, edges, expected", [
    (A.bridges, True, [("a", "b"), ("a", "b"), ("b", "c")], [("b", "c")]),  # parallel edges are no bridges
    (A.bridges, False, [("a", "b"), ("a", "b"), ("b", "c")], [("b", "c")]),
    (A.bridges, True, [("b", "a")], [("b", "a")]),  # direction ignored
    (A.bridges, False, [("a", "a"), ("a", "b")], [("a", "b")]),
    (A.greedy_matching, False, [("a", "a"), ("a", "b")], [("a", "b")]),
    (A.maximum_matching, False, [("a", "a"), ("a", "b")], [("a", "b")]),
    (A.is_bipartite, False, [("a", "a"), ("a", "b")], False),
    (A.bridges, False, [("a", "a")], []),
    (A.maximum_matching, False, [("a", "a")], []),
    (A.maximal_cliques, False, [("a", "a")], [["a"]]),
    (A.articulation_points, True, [("a", "b"), ("a", "c")], ["a"]),
    (A.articulation_points, False, [("é", "Z"), ("Z", "a"), ("a", "b"), ("b", "c")], ["Z", "a", "b"]),  # bytewise
    (A.greedy_matching, False, [("a", "b"), ("b", "c"), ("c", "d")], [("a", "b"), ("c", "d")]),
    (A.greedy_matching, True, [("b", "a"), ("b", "c")], [("b", "c")]),  # out-edges only, newest first
    (A.greedy_matching, False, [("b", "c"), ("a", "b"), ("c", "d")], [("b", "c")]),
    (A.density, False, [("a", "b"), ("a", "b"), ("a", "a")], 3.0),  # parallel edges and loops count
    (A.is_bipartite, True, [("a", "b"), ("c", "b"), ("c", "d"), ("a", "d")], True),  # direction ignored
    (A.is_bipartite, True, [("a", "b"), ("c", "b"), ("c", "d"), ("a", "d"), ("d", "b")], False),
])
def test_hand_worked(call, directed, edges, expected):
    assert call(build(directed, True, edges=edges)) == expected


@pytest.mark.parametrize("directed", [True, False])
def test_empty_graph(directed):
    g = PyGraph(directed=directed)
    for f in (A.bridges, A.articulation_points, A.greedy_matching, A.maximum_matching, A.maximal_cliques):
        assert f(g) == []
    assert A.density(g) == 0.0 and A.is_bipartite(g) is True
    g.add_node("a")
    assert A.density(g) == 0.0 and A.maximal_cliques(g) == [["a"]]


# ---- maximal_cliques guards ----


def graph_of_size(n):
    g = PyGraph(directed=False)
    for i in range(n):
        g.add_node(f"v{i}")
    return g


def test_max_input_nodes_is_strict():
    g = graph_of_size(1000)
    assert len(A.maximal_cliques(g)) == 1000
    g.add_node("extra")
    msg = (
        "maximal_cliques refuses inputs larger than max_input_nodes=1000 (graph has 1001 nodes); "
        "Bron-Kerbosch's worst case is 3^(N/3) cliques. "
        "Raise QuorGraphSettings.max_nodes if your input genuinely warrants it."
    )
    with pytest.raises(ValueError) as e:
        A.maximal_cliques(g)
    assert str(e.value) == msg
    assert len(A.maximal_cliques(g, max_input_nodes=1001)) == 1001


def test_vacant_slots_do_not_count_against_the_bound():
    g = graph_of_size(50)
    for i in range(45):
        g.remove_node(f"v{i}")
    assert len(A.maximal_cliques(g, max_input_nodes=5)) == 5


@pytest.mark.parametrize("cap", [0, 1, 27, 100])
def test_max_cliques_caps_the_list(cap):
    cliques = A.maximal_cliques(multipartite(3), max_cliques=cap)
    assert len(cliques) == min(cap, 27) == len({tuple(sorted(c)) for c in cliques})
    assert all(len(c) == 3 for c in cliques)
    # 3^12 maximal cliques of twelve: only the first few are ever built.
    if cap == 1:
        assert [len(c) for c in A.maximal_cliques(multipartite(12), max_cliques=5)] == [12] * 5


# ---- Differentials against networkx on seeded random multigraphs with holes ----

SEEDS = range(5)


def brute_bridges(g):
    """Edges whose removal raises the weak component count (an edge with a twin never does)."""
    edges = g.edges()
    base = nx.number_connected_components(simple_view(g))
    out = []
    for k, (s, t, _) in enumerate(edges):
        ref = nx.MultiGraph()
        ref.add_nodes_from(g.node_ids())
        ref.add_edges_from((a, b) for j, (a, b, _) in enumerate(edges) if j != k)
        if nx.number_connected_components(ref) > base:
            out.append((s, t))
    return out


@pytest.mark.parametrize("seed", SEEDS)
@pytest.mark.parametrize("directed", [True, False])
def test_bridges_and_cut_vertices_vs_networkx(seed, directed):
    g, _ = random_pair(seed, directed, n=40, m=45)
    assert A.bridges(g) == brute_bridges(g)
    ref = simple_view(g)
    assert A.articulation_points(g) == sorted(nx.articulation_points(ref), key=lambda s: s.encode())


def test_maximum_matching_many_small_graphs():
    rng = random.Random(7)
    for trial in range(400):
        n = rng.randint(2, 14)
        g = PyGraph(directed=rng.random() < 0.3, multi=True)
        for i in rng.sample(range(n), n):
            g.add_node(str(i))
        for _ in range(rng.randint(0, 3 * n)):
            g.add_edge(str(rng.randrange(n)), str(rng.randrange(n)))
        best, greedy = A.maximum_matching(g), A.greedy_matching(g)
        assert_matching(g, best)
        assert_matching(g, greedy)
        assert len(best) == len(nx.max_weight_matching(simple_view(g), maxcardinality=True)) >= len(greedy), trial


@pytest.mark.parametrize("seed", SEEDS)
@pytest.mark.parametrize("directed", [True, False])
@pytest.mark.parametrize("m", [40, 500])
def test_cliques_vs_networkx(seed, directed, m):
    g, _ = random_pair(seed, directed, n=40, m=m)
    order = {n: i for i, n in enumerate(g.node_ids())}
    got = A.maximal_cliques(g)
    assert all([order[x] for x in c] == sorted(order[x] for x in c) for c in got)
    assert sorted(map(sorted, got)) == sorted(map(sorted, nx.find_cliques(simple_view(g))))


@pytest.mark.parametrize("seed", SEEDS)
@pytest.mark.parametrize("directed", [True, False])
def test_density_and_bipartite_vs_networkx(seed, directed):
    g, ref = random_pair(seed, directed, n=30, m=seed * 3)
    assert A.density(g) == pytest.approx(nx.density(ref), rel=1e-12)
    view = nx.MultiGraph(ref)
    assert A.is_bipartite(g) is nx.is_bipartite(view)
