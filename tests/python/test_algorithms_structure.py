"""Structure functions: exact orders, guards, and networkx differentials."""
import random

import networkx as nx
import pytest

import conftest
from quor_graph._rust import algorithms as A
from quor_graph._rust.graph import PyGraph
from test_algorithms_helpers import build, random_pair

DOCS = {
    "bridges": "Find bridge edges. Returns list of (source, target) tuples.",
    "articulation_points": "Articulation points (cut vertices). Returns list of node IDs.",
    "greedy_matching": "Greedy matching. Returns list of (node_a, node_b) pairs.",
    "maximum_matching": "Maximum matching (Gabow). Returns list of (node_a, node_b) pairs.",
    "density": "Graph density.",
    "is_bipartite": "Check if the graph is bipartite (2-colorable).",
}
ALL = sorted(DOCS) + ["maximal_cliques"]


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


# ---- Frame: docstrings, signatures, argument errors ----


@pytest.mark.parametrize("name", sorted(DOCS))
def test_graph_only_signature_and_doc(name):
    f = getattr(A, name)
    assert f.__text_signature__ == "(graph)"
    assert f.__doc__ == DOCS[name]
    assert f.__module__ == "algorithms"
    with pytest.raises(TypeError, match=rf"{name}\(\) missing 1 required positional argument: 'graph'"):
        f()
    with pytest.raises(TypeError, match="argument 'graph': 'int' object is not an instance of 'PyGraph'"):
        f(1)
    with pytest.raises(TypeError, match=rf"{name}\(\) got an unexpected keyword argument 'x'"):
        f(PyGraph(), x=1)
    f(graph=PyGraph())


def test_maximal_cliques_signature_and_doc():
    f = A.maximal_cliques
    assert f.__text_signature__ == "(graph, max_input_nodes=1000, max_cliques=10000)"
    assert f.__doc__.startswith(
        "Maximal cliques (Bron-Kerbosch). Returns list of cliques (each is a list\nof node IDs).\n\n"
    )
    assert "3^(N/3)" in f.__doc__ and "max_input_nodes" in f.__doc__ and "max_cliques" in f.__doc__


@pytest.mark.parametrize("param", ["max_input_nodes", "max_cliques"])
def test_maximal_cliques_bound_types(param):
    g = build(nodes="a")
    with pytest.raises(OverflowError):
        A.maximal_cliques(g, **{param: -1})
    with pytest.raises(OverflowError):
        A.maximal_cliques(g, **{param: 2**64})
    with pytest.raises(TypeError, match=f"argument '{param}'"):
        A.maximal_cliques(g, **{param: 1.5})
    with pytest.raises(TypeError, match=f"argument '{param}'"):
        A.maximal_cliques(g, **{param: None})
    assert A.maximal_cliques(g, **{param: 2**64 - 1}) == [["a"]]


def test_graph_checked_before_bounds():
    with pytest.raises(TypeError, match="argument 'graph'"):
        A.maximal_cliques(None, -1)


# ---- Hand-worked cases ----


@pytest.mark.parametrize("directed", [True, False])
def test_empty_graph(directed):
    g = PyGraph(directed=directed)
    assert A.bridges(g) == [] and A.articulation_points(g) == []
    assert A.greedy_matching(g) == [] and A.maximum_matching(g) == []
    assert A.maximal_cliques(g) == []
    assert A.density(g) == 0.0 and A.is_bipartite(g) is True
    g.add_node("a")
    assert A.density(g) == 0.0 and A.maximal_cliques(g) == [["a"]]


def test_path():
    g = build(directed=False, nodes="abc", edges=[("a", "b"), ("b", "c")])
    assert A.bridges(g) == [("a", "b"), ("b", "c")]
    assert A.articulation_points(g) == ["b"]


def test_triangle():
    g = build(directed=False, nodes="abc", edges=[("a", "b"), ("b", "c"), ("c", "a")])
    assert A.bridges(g) == [] and A.articulation_points(g) == []
    assert A.maximal_cliques(g) == [["a", "b", "c"]]
    assert A.is_bipartite(g) is False


@pytest.mark.parametrize("directed", [True, False])
def test_parallel_edges_are_no_bridges(directed):
    g = build(directed=directed, multi=True, nodes="abc", edges=[("a", "b"), ("a", "b"), ("b", "c")])
    assert A.bridges(g) == [("b", "c")]
    g.remove_edge("a", "b")
    assert A.bridges(g) == [("a", "b"), ("b", "c")]


@pytest.mark.parametrize("nodes", ["ab", "ba"])
@pytest.mark.parametrize("edge", [("a", "b"), ("b", "a")])
def test_directed_bridge_ignores_direction_and_node_order(nodes, edge):
    g = build(nodes=nodes, edges=[edge])
    assert A.bridges(g) == [edge]


def test_self_loop():
    g = build(directed=False, nodes="ab", edges=[("a", "a"), ("a", "b")])
    assert A.is_bipartite(g) is False
    assert A.bridges(g) == [("a", "b")]
    assert A.greedy_matching(g) == [("a", "b")] == A.maximum_matching(g)
    alone = build(directed=False, nodes="a", edges=[("a", "a")])
    assert A.bridges(alone) == [] and A.greedy_matching(alone) == [] == A.maximum_matching(alone)
    assert A.maximal_cliques(alone) == [["a"]]


@pytest.mark.parametrize("directed", [True, False])
def test_star(directed):
    g = build(directed=directed, nodes="abc", edges=[("a", "b"), ("a", "c")])
    assert A.articulation_points(g) == ["a"]


def test_articulation_points_sorted_bytewise():
    g = build(directed=False, nodes=["é", "Z", "a", "b", "c"],
              edges=[("é", "Z"), ("Z", "a"), ("a", "b"), ("b", "c")])
    assert A.articulation_points(g) == ["Z", "a", "b"]


def test_greedy_path_and_directed_out_edges_only():
    g = build(directed=False, nodes="abcd", edges=[("a", "b"), ("b", "c"), ("c", "d")])
    assert A.greedy_matching(g) == [("a", "b"), ("c", "d")]
    # Directed: out-edges only, newest first; a has none, b takes c, c has none.
    d = build(nodes="abc", edges=[("b", "a"), ("b", "c")])
    assert A.greedy_matching(d) == [("b", "c")]  # newest out-edge of b first
    assert len(A.maximum_matching(d)) == 1


def test_maximum_beats_greedy():
    # Undirected path a-b-c-d with nodes added b, c, a, d: greedy from b takes
    # its newest edge b-c, leaving a and d single; the blossom search repairs it.
    g = build(directed=False, nodes="bcad", edges=[("b", "c"), ("a", "b"), ("c", "d")])
    assert A.greedy_matching(g) == [("b", "c")]
    m = A.maximum_matching(g)
    assert len(m) == 2
    assert_matching(g, m)


def test_maximum_matching_on_directed_uses_both_directions():
    # a->b, c->b, c->d with d added first: out-edges alone leave a path unused.
    g = build(nodes="dabc", edges=[("a", "b"), ("c", "b"), ("c", "d")])
    m = A.maximum_matching(g)
    assert len(m) == 2
    assert_matching(g, m)


def test_blossom():
    # A 5-cycle with a tail: the maximum matching needs the odd cycle shrunk.
    edges = [("a", "b"), ("b", "c"), ("c", "d"), ("d", "e"), ("e", "a"), ("e", "f")]
    g = build(directed=False, nodes="abcdef", edges=edges)
    m = A.maximum_matching(g)
    assert len(m) == 3
    assert_matching(g, m)


@pytest.mark.parametrize("directed,expected", [(True, 0.5), (False, 1.0)])
def test_density_two_nodes(directed, expected):
    assert A.density(build(directed=directed, nodes="ab", edges=[("a", "b")])) == expected


def test_density_counts_parallel_edges_and_loops():
    g = build(directed=False, multi=True, nodes="ab", edges=[("a", "b"), ("a", "b"), ("a", "a")])
    assert A.density(g) == 3.0


def test_bipartite_ignores_direction():
    square = build(nodes="abcd", edges=[("a", "b"), ("c", "b"), ("c", "d"), ("a", "d")])
    assert A.is_bipartite(square) is True
    square.add_edge("d", "b")
    assert A.is_bipartite(square) is False


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


@pytest.mark.parametrize("cap", [0, 1, 7, 27, 100])
def test_max_cliques_caps_the_list(cap):
    # K(3,3,3) complement: three disjoint triangles' complement has 27 maximal cliques.
    g = PyGraph(directed=False)
    parts = [[f"{p}{i}" for i in range(3)] for p in "xyz"]
    for part in parts:
        for n in part:
            g.add_node(n)
    for i, p in enumerate(parts):
        for q in parts[i + 1:]:
            for a in p:
                for b in q:
                    g.add_edge(a, b)
    cliques = A.maximal_cliques(g, max_cliques=cap)
    assert len(cliques) == min(cap, 27)
    assert len({tuple(sorted(c)) for c in cliques}) == len(cliques)
    assert all(len(c) == 3 for c in cliques)


# ---- Differentials against networkx on seeded random multigraphs with holes ----

SEEDS = range(12)


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


@pytest.mark.parametrize("seed", SEEDS)
@pytest.mark.parametrize("directed", [True, False])
@pytest.mark.parametrize("n,m", [(40, 50), (60, 150), (30, 200)])
def test_matchings_vs_networkx(seed, directed, n, m):
    g, _ = random_pair(seed, directed, n=n, m=m)
    greedy = A.greedy_matching(g)
    assert_matching(g, greedy)
    best = A.maximum_matching(g)
    assert_matching(g, best)
    assert len(best) == len(nx.max_weight_matching(simple_view(g), maxcardinality=True))
    assert len(best) >= len(greedy)


def test_maximum_matching_many_small_graphs():
    rng = random.Random(7)
    for trial in range(400):
        n = rng.randint(2, 14)
        g = PyGraph(directed=rng.random() < 0.3, multi=True)
        for i in rng.sample(range(n), n):
            g.add_node(str(i))
        for _ in range(rng.randint(0, 3 * n)):
            g.add_edge(str(rng.randrange(n)), str(rng.randrange(n)))
        m = A.maximum_matching(g)
        assert_matching(g, m)
        assert len(m) == len(nx.max_weight_matching(simple_view(g), maxcardinality=True)), trial


@pytest.mark.parametrize("seed", SEEDS)
@pytest.mark.parametrize("directed", [True, False])
@pytest.mark.parametrize("m", [40, 200, 500])
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


def test_bipartite_random_trees_and_even_cycles():
    rng = random.Random(3)
    for _ in range(30):
        n = rng.randint(1, 30)
        g = PyGraph(directed=rng.random() < 0.5)
        for i in range(n):
            g.add_node(str(i))
        for i in range(1, n):
            g.add_edge(str(rng.randrange(i)), str(i))
        assert A.is_bipartite(g) is True


# ---- Borrowing ----


def test_shared_borrow_while_mutating_is_refused():
    g = build(nodes="ab", edges=[("a", "b")])

    class Evil:
        def __str__(self):
            for name in ALL:
                with pytest.raises(RuntimeError, match="Already mutably borrowed"):
                    getattr(A, name)(g)
            return "x"

    g.add_node("c", {"p": Evil()})
    assert A.density(g) == 1 / 6


def test_enumeration_stops_at_max_cliques():
    # Twelve parts of three, all parts joined: 3^12 = 531,441 maximal cliques
    # of twelve. Only the first few are ever built.
    g = PyGraph(directed=False)
    parts = [[f"p{p}_{i}" for i in range(3)] for p in range(12)]
    for part in parts:
        for n in part:
            g.add_node(n)
    for i, p in enumerate(parts):
        for q in parts[i + 1:]:
            for a in p:
                for b in q:
                    g.add_edge(a, b)
    cliques = A.maximal_cliques(g, max_cliques=5)
    assert len(cliques) == 5 and all(len(c) == 12 for c in cliques)


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
    assert call(conftest.build(directed, True, edges=edges)) == expected


@pytest.mark.parametrize("cap", [0, 1, 27, 100])
def test_max_cliques_caps_the_list_of_multipartite_graphs(cap):
    cliques = A.maximal_cliques(conftest.multipartite(3), max_cliques=cap)
    assert len(cliques) == min(cap, 27) == len({tuple(sorted(c)) for c in cliques})
    assert all(len(c) == 3 for c in cliques)
    # 3^12 maximal cliques of twelve: only the first few are ever built.
    if cap == 1:
        assert [len(c) for c in A.maximal_cliques(conftest.multipartite(12), max_cliques=5)] == [12] * 5


def test_maximum_and_greedy_matching_many_small_graphs():
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


@pytest.mark.parametrize("directed", [True, False])
def test_empty_graph_in_one_loop(directed):
    g = PyGraph(directed=directed)
    for f in (A.bridges, A.articulation_points, A.greedy_matching, A.maximum_matching, A.maximal_cliques):
        assert f(g) == []
    assert A.density(g) == 0.0 and A.is_bipartite(g) is True
    g.add_node("a")
    assert A.density(g) == 0.0 and A.maximal_cliques(g) == [["a"]]


@pytest.mark.parametrize("seed", SEEDS)
@pytest.mark.parametrize("directed", [True, False])
@pytest.mark.parametrize("m", [40, 500])
def test_cliques_vs_networkx_sparse_and_dense(seed, directed, m):
    g, _ = conftest.random_pair(seed, directed, n=40, m=m)
    order = {n: i for i, n in enumerate(g.node_ids())}
    got = A.maximal_cliques(g)
    assert all([order[x] for x in c] == sorted(order[x] for x in c) for c in got)
    assert sorted(map(sorted, got)) == sorted(map(sorted, nx.find_cliques(simple_view(g))))


@pytest.mark.parametrize("directed, nodes, edges, size", [
    (False, "bcad", [("b", "c"), ("a", "b"), ("c", "d")], 2),  # greedy takes b-c; the search repairs it
    (True, "dabc", [("a", "b"), ("c", "b"), ("c", "d")], 2),  # both directions of a directed graph
    (False, "abcdef", [("a", "b"), ("b", "c"), ("c", "d"), ("d", "e"), ("e", "a"), ("e", "f")], 3),  # blossom
])
def test_maximum_matching_beats_greedy(directed, nodes, edges, size):
    g = conftest.build(directed, nodes=nodes, edges=edges)
    m = A.maximum_matching(g)
    assert len(m) == size >= len(A.greedy_matching(g))
    assert_matching(g, m)
