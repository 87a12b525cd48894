"""knowledge.densify and knowledge.infer_types."""
import random

import networkx as nx
import pytest

from quor_graph._rust import knowledge as K
from quor_graph._rust.graph import PyGraph

FUNCS = [K.densify, K.infer_types]


def build(directed=True, multi=False, nodes=(), edges=(), name="g"):
    g = PyGraph(directed=directed, name=name, multi=multi)
    for n in nodes:
        g.add_node(n, {"id": n})
    for e in edges:
        g.add_edge(e[0], e[1], e[2] if len(e) > 2 else None)
    return g


def p(label):
    return {"predicate": label}


def added(g, n_before):
    return [(s, t) for s, t, _ in g.edges()[n_before:]]


@pytest.mark.parametrize("fn", FUNCS)
def test_chain(fn):
    g = build(nodes="abcd", edges=[("a", "b", p("p")), ("b", "c", p("p")), ("c", "d", p("p"))])
    d = fn(g, "p")
    assert added(d, 3) == [("a", "c"), ("a", "d"), ("b", "d")]
    assert all(props == {"predicate": "p", "type": "p"} for _, _, props in d.edges()[3:])
    assert fn(d, "p").edges() == d.edges()
    assert g.n_edges == 3


def test_densify_and_infer_types_agree():
    g = build(nodes="abcde", edges=[("a", "b", p("subClassOf")), ("b", "c", p("subClassOf")),
                                    ("d", "e", p("other")), ("c", "e", p("subClassOf"))])
    assert K.densify(g, "subClassOf").edges() == K.infer_types(g, "subClassOf").edges()
    assert K.densify(g, predicate="x").edges() == K.infer_types(g, predicate_iri="x").edges()


def test_type_label_and_non_string_predicate():
    g = build(nodes="abc", edges=[("a", "b", {"type": "p"}), ("b", "c", {"predicate": 7, "type": "p"})])
    assert added(K.densify(g, "p"), 2) == [("a", "c")]


def test_empty_label_closes_unlabelled_edges():
    g = build(nodes="abcx", edges=[("a", "b"), ("b", "c", {"predicate": [1]}), ("c", "x", p("q"))])
    d = K.densify(g, "")
    assert d.edges()[3:] == [("a", "c", {"predicate": "", "type": ""})]


def test_cycle_gives_self_loops():
    g = build(nodes="ab", edges=[("a", "b", p("p")), ("b", "a", p("p"))])
    assert added(K.densify(g, "p"), 2) == [("a", "a"), ("b", "b")]


def test_joined_pair_blocks_addition():
    g = build(nodes="abc", edges=[("a", "b", p("p")), ("b", "c", p("p")), ("a", "c", p("q"))])
    assert K.densify(g, "p").n_edges == 3


@pytest.mark.parametrize("edges, expected", [
    ([("a", "b"), ("c", "b")], []),
    ([("a", "b"), ("b", "c")], [("a", "c")]),
])
def test_undirected_uses_stored_orientation(edges, expected):
    g = build(False, nodes="abc", edges=[(s, t, p("p")) for s, t in edges])
    assert added(K.densify(g, "p"), 2) == expected


def test_no_relation_gives_a_copy():
    g = build(False, True, "xabc", [("a", "b", {"w": 1.5, "nested": {"z": [1, None]}}), ("a", "b"), ("c", "c")],
              name="kept")
    g.remove_node("x")
    g.add_node("n", {"big": 2 ** 64 - 1, "f": 1.0, "i": 1})
    d = K.densify(g, "nothing")
    assert (d.name, d.is_directed, d.is_multi) == ("kept", False, True)
    assert d.node_ids() == g.node_ids()
    assert d.edges() == g.edges()
    assert d.node("n") == g.node("n")
    assert type(d.node("n")["f"]) is float and type(d.node("n")["i"]) is int
    d.add_node("only_copy")
    assert not g.has_node("only_copy")


def test_closure_matches_networkx():
    rng = random.Random(7)
    for _ in range(15):
        n = rng.randint(2, 25)
        g = PyGraph(multi=True)
        ref = nx.DiGraph()
        names = [f"n{i}" for i in range(n)]
        for name in names:
            g.add_node(name)
            ref.add_node(name)
        others = set()
        for _ in range(rng.randint(0, 3 * n)):
            s, t = rng.choice(names), rng.choice(names)
            if rng.random() < 0.7:
                g.add_edge(s, t, p("p"))
                ref.add_edge(s, t)
            else:
                g.add_edge(s, t, p("q"))
                others.add((s, t))
        before = {(s, t) for s, t, _ in g.edges()}
        d = K.densify(g, "p")
        new = [(s, t) for s, t, _ in d.edges()[g.n_edges:]]
        closure = set(nx.transitive_closure(ref, reflexive=False).edges())
        assert len(new) == len(set(new))
        assert set(new) == closure - before


def test_long_chain_is_fast_enough():
    n = 300
    g = PyGraph()
    for i in range(n):
        g.add_node(str(i))
    for i in reversed(range(1, n)):
        g.add_edge(str(i - 1), str(i), p("p"))
    assert K.densify(g, "p").n_edges == n * (n - 1) // 2


def test_undirected_closure_matches_networkx_on_stored_orientation():
    rng = random.Random(11)
    for _ in range(15):
        n = rng.randint(2, 20)
        g = PyGraph(directed=False, multi=True)
        ref = nx.DiGraph()
        names = [f"n{i}" for i in range(n)]
        for name in names:
            g.add_node(name)
            ref.add_node(name)
        for _ in range(rng.randint(0, 2 * n)):
            s, t = rng.choice(names), rng.choice(names)
            label = "p" if rng.random() < 0.7 else "q"
            g.add_edge(s, t, p(label))
            if label == "p":
                ref.add_edge(s, t)
        before = {frozenset((s, t)) for s, t, _ in g.edges()}
        d = K.densify(g, "p")
        new = [frozenset((s, t)) for s, t, _ in d.edges()[g.n_edges:]]
        closure = {frozenset(e) for e in nx.transitive_closure(ref, reflexive=False).edges()}
        assert len(new) == len(set(new))
        assert set(new) == closure - before
