"""Community detection: exact answers on small graphs, the mended faults, networkx differentials."""
import random

import networkx as nx
import pytest

from conftest import build, byte_key, random_pair
from quor_graph._rust import algorithms as A
from quor_graph._rust.graph import PyGraph

NAMES = ["louvain_communities", "label_propagation", "k_clique_communities"]


def call(name, g, k=3):
    return getattr(A, name)(g, k) if name == "k_clique_communities" else getattr(A, name)(g)


def weighted(edges, **kw):
    return build(False, edges=[(s, t, None if w is None else {"weight": w}) for s, t, w in edges], **kw)


def assert_community_list(groups):
    for c in groups:
        assert c and byte_key(c) == sorted(byte_key(c))
    assert [byte_key(c[:1]) for c in groups] == sorted(byte_key(c[:1]) for c in groups)


@pytest.mark.parametrize("name", NAMES)
@pytest.mark.parametrize("directed", [True, False])
def test_empty_graph(name, directed):
    assert call(name, PyGraph(directed=directed)) == []
    assert all(A.k_clique_communities(PyGraph(directed=directed), k) == [] for k in (0, 1, 2, 7))


@pytest.mark.parametrize("name", NAMES[:2])
@pytest.mark.parametrize("directed", [True, False])
def test_two_triangles_with_vacant_slot(name, directed):
    g = build(directed, nodes=["gone", "z", "x", "y", "c", "b", "a"],  # slot 0 goes vacant
              edges=[("z", "x"), ("x", "y"), ("y", "z"), ("a", "b"), ("b", "c"), ("c", "a"), ("gone", "a"),
                     ("gone", "x")])
    g.remove_node("gone")
    assert call(name, g) == [["a", "b", "c"], ["x", "y", "z"]]
    g.add_node("m")
    assert call(name, g) == [["a", "b", "c"], ["m"], ["x", "y", "z"]]


def test_byte_wise_order():
    # "Z" < "a" < "é" by bytes; the prefix "a" before "ab".
    g = build(False, nodes=["é", "ab", "a", "Z"], edges=[("é", "ab")])
    assert A.label_propagation(g)[:2] == [["Z"], ["a"]]
    g = build(False, nodes=["ab", "a", "é", "Z"], edges=[("ab", "a"), ("a", "é"), ("é", "ab"), ("Z", "Z")])
    assert A.k_clique_communities(g, 3) == [["a", "ab", "é"]]


def seeded(seed):
    """Nine nodes, 14 weighted random edges (directed for even seeds), then a
    vacated slot taken by a new node j: ties and slot order decide the answers."""
    rng = random.Random(seed)
    g = build(seed % 2 == 0, True, "abcdefghi")
    for _ in range(14):
        g.add_edge(rng.choice("abcdefghi"), rng.choice("abcdefghi"), {"weight": rng.choice([1, 1, 2, 3])})
    g.remove_node("c")
    g.add_node("j")
    g.add_edge("j", "a")
    g.add_edge("j", "b")
    return g


@pytest.mark.parametrize("seed, louvain, label_propagation", [
    (0, [["a", "j"], ["b", "e", "g"], ["d", "f", "h", "i"]], [["a", "b"], ["d", "e"], ["f", "i"], ["g"], ["h"], ["j"]]),
    (1, [["a", "i", "j"], ["b", "e", "h"], ["d", "f", "g"]], [["a", "i", "j"], ["b", "e", "h"], ["d"], ["f"], ["g"]]),
    (2, [["a", "b", "j"], ["d", "e"], ["f", "g", "h", "i"]], [["a", "b", "f", "g", "h", "j"], ["d", "e"], ["i"]]),
    (3, [["a", "b", "j"], ["d", "e", "f", "h", "i"], ["g"]], [["a", "b", "e", "f", "h", "j"], ["d"], ["g"], ["i"]]),
    (4, [["a", "d", "e"], ["b", "f", "j"], ["g", "h", "i"]], [["a", "d", "e"], ["b", "f", "j"], ["g"], ["h", "i"]]),
    (5, [["a"], ["b", "i", "j"], ["d", "g", "h"], ["e", "f"]], [["a", "b", "i", "j"], ["d"], ["e"], ["f"], ["g", "h"]]),
])
def test_exact_answers_on_small_graphs(seed, louvain, label_propagation):
    g = seeded(seed)
    assert A.louvain_communities(g) == louvain
    assert A.label_propagation(g) == label_propagation


# ---- Louvain ----

def test_louvain_zero_total_weight_keeps_node_order():
    assert A.louvain_communities(build(nodes="ba")) == [["b"], ["a"]]
    assert A.louvain_communities(weighted([("b", "a", 0)])) == [["b"], ["a"]]
    assert A.louvain_communities(weighted([("b", "a", 1), ("a", "b", -1)], multi=True)) == [["b"], ["a"]]
    assert A.louvain_communities(weighted([("b", "a", 1.5), ("a", "c", -1.5)])) == [["b"], ["a"], ["c"]]


def test_louvain_weight_rule():
    assert A.louvain_communities(weighted([("a", "b", 10), ("b", "c", 1), ("c", "d", 10), ("d", "a", 1)])) == [
        ["a", "b"], ["c", "d"]]
    assert A.louvain_communities(weighted([("a", "b", 1), ("b", "c", 10), ("c", "d", 1), ("d", "a", 10)])) == [
        ["a", "d"], ["b", "c"]]
    # Non-numbers weigh 1.0: a string "10" changes nothing.
    assert A.louvain_communities(weighted([("a", "b", "10"), ("b", "c", 1), ("c", "d", 10), ("d", "a", 1)])) == \
        A.louvain_communities(weighted([("a", "b", 1), ("b", "c", 1), ("c", "d", 10), ("d", "a", 1)]))


@pytest.mark.parametrize("edges, expected", [
    ([("d", "b"), ("c", "a"), ("d", "a"), ("c", "b")], [["a", "c"], ["b", "d"]]),
    ([("d", "c"), ("a", "d"), ("b", "a"), ("c", "b")], [["a", "b"], ["c", "d"]]),
])
def test_louvain_equal_gains_go_to_the_first_community_met(edges, expected):
    assert A.louvain_communities(build(False, nodes="abcd", edges=edges)) == expected


@pytest.mark.parametrize("scale", [1e-200, 1.0, 1e200])
def test_louvain_extreme_weight_magnitudes(scale):
    edges = [("a", "b", scale), ("b", "c", scale), ("c", "a", scale), ("d", "e", scale), ("e", "f", scale),
             ("f", "d", scale), ("c", "d", scale / 10)]
    assert A.louvain_communities(weighted(edges)) == [["a", "b", "c"], ["d", "e", "f"]]


def test_louvain_negative_self_loop_terminates():
    g = weighted([("a", "x", 10), ("b", "y", 10), ("p", "a", 1), ("p", "b", 1), ("p", "p", -0.5)])
    groups = A.louvain_communities(g)
    assert sorted(sum(groups, [])) == ["a", "b", "p", "x", "y"]
    assert ["b", "y"] in groups or ["b", "p", "y"] in groups


def nx_view(g):
    """The weighted undirected simple view Louvain works on."""
    ref = nx.Graph()
    ref.add_nodes_from(g.node_ids())
    for s, t, props in g.edges():
        w = props.get("weight", 1.0)
        if ref.has_edge(s, t):
            ref[s][t]["weight"] += w
        else:
            ref.add_edge(s, t, weight=w)
    return ref


@pytest.mark.parametrize("seed", range(4))
def test_louvain_modularity_against_networkx_and_label_partition(seed):
    ref = nx.planted_partition_graph(6, 12, 0.6, 0.03, seed=seed)
    order = list(ref.nodes)
    random.Random(seed).shuffle(order)
    g = build(False, nodes=[f"n{v}" for v in order], edges=[(f"n{u}", f"n{v}") for u, v in ref.edges])
    ours = A.louvain_communities(g)
    assert_community_list(ours)
    view = nx_view(g)
    theirs = nx.community.louvain_communities(view, seed=seed)
    assert nx.community.modularity(view, ours) >= nx.community.modularity(view, theirs) - 0.02
    labels = A.label_propagation(g)
    assert_community_list(labels)
    assert nx.community.is_partition(view, labels)


def test_louvain_karate_club_quality():
    ref = nx.karate_club_graph()
    g = build(False, edges=[(str(u), str(v), {"weight": d["weight"]}) for u, v, d in ref.edges(data=True)])
    ours = A.louvain_communities(g)
    assert_community_list(ours)
    assert nx.community.modularity(nx_view(g), ours) > 0.40


# ---- Label propagation ----

def test_label_propagation_hand_worked():
    assert A.label_propagation(build(False, nodes="ab", edges=[("a", "b")])) == [["a"], ["b"]]
    assert A.label_propagation(build(False, nodes="abcq", edges=[("a", "b"), ("b", "c"), ("c", "a")])) == [
        ["a", "b", "c"], ["q"]]
    star = [("h", "l1"), ("h", "l2"), ("h", "l3"), ("h", "l4")]
    assert A.label_propagation(build(False, edges=star)) == [["h"], ["l1", "l2", "l3", "l4"]]
    assert A.label_propagation(build(False, edges=star[:3] + [("h", "h")])) == [["h", "l1", "l2", "l3"]]


# ---- k-clique communities ----

def test_k_clique_hand_worked():
    path = build(False, nodes="abc", edges=[("a", "b"), ("b", "c")])
    assert A.k_clique_communities(path, 2) == A.k_clique_communities(graph=path, k=2) == [["a", "b", "c"]]
    assert A.k_clique_communities(path, 3) == [] == A.k_clique_communities(path, 2**64 - 1)
    bow = build(False, edges=[("s", "a"), ("a", "b"), ("b", "s"), ("s", "c"), ("c", "d"), ("d", "s")])
    assert A.k_clique_communities(bow, 3) == [["a", "b", "s"], ["c", "d", "s"]]


@pytest.mark.parametrize("k", [0, 1])
@pytest.mark.parametrize("directed", [True, False])
def test_k_clique_below_two_is_weak_components(k, directed):
    g, _ = random_pair(5, directed, n=40, m=25)
    assert A.k_clique_communities(g, k) == A.weakly_connected_components(g)


@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("k", [2, 3, 4])
def test_k_clique_matches_networkx(seed, k):
    g, ref = random_pair(seed, seed % 3 == 0, n=30, m=110)
    got = A.k_clique_communities(g, k)
    assert_community_list(got)
    simple = nx.Graph(ref)  # a directed graph is read through its undirected view
    simple.remove_edges_from(nx.selfloop_edges(simple))
    want = {frozenset(c) for c in nx.community.k_clique_communities(simple, k)}
    assert {frozenset(c) for c in got} == want and len(got) == len(want)
