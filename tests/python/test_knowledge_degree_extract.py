"""knowledge degree queries and subgraph extraction."""
import math

import pytest

from quor_graph._rust import knowledge as K
from quor_graph._rust.graph import PyGraph


def build(directed=True, multi=False, nodes=(), edges=(), name="g"):
    g = PyGraph(directed=directed, name=name, multi=multi)
    for n in nodes:
        if isinstance(n, tuple):
            g.add_node(n[0], n[1])
        else:
            g.add_node(n)
    for s, t in edges:
        g.add_edge(s, t)
    return g


# ---- degree ----

def test_empty_graph():
    g = PyGraph()
    assert K.find_hub_nodes(g, 0) == [] and K.find_orphan_nodes(g) == []
    assert K.degree_distribution(g) == {}


@pytest.mark.parametrize("directed, degree", [(True, 2), (False, 1)])
def test_self_loop(directed, degree):
    g = build(directed, nodes="a", edges=[("a", "a")])
    assert K.degree_distribution(g) == {degree: 1}
    assert K.find_hub_nodes(g, 1) == (["a"] if degree == 2 else [])
    assert K.find_orphan_nodes(g) == []


def test_threshold_is_strict():
    g = build(nodes="ab", edges=[("a", "b")])
    assert K.find_hub_nodes(g, 0) == ["a", "b"]
    assert K.find_hub_nodes(g, threshold=1) == []


def test_parallel_edges_count():
    g = build(True, True, "ab", [("a", "b"), ("a", "b")])
    assert K.degree_distribution(g) == {2: 2}


def test_mixed_graph_with_removals():
    g = build(False, False, ["hub", "x", "y", "z", "lone", "gone"],
              [("hub", "x"), ("hub", "y"), ("z", "hub"), ("gone", "lone"), ("x", "y")])
    g.remove_node("gone")
    g.add_node("new")
    assert K.find_hub_nodes(g, 1) == ["hub", "x", "y"]
    assert K.find_orphan_nodes(g) == ["lone", "new"]
    dist = K.degree_distribution(g)
    assert dist == {0: 2, 1: 1, 2: 2, 3: 1}
    assert list(dist) == sorted(dist)
    assert sum(dist.values()) == g.n_nodes
    assert all(type(k) is int and type(v) is int for k, v in dist.items())


# ---- extraction ----

@pytest.fixture
def kg():
    g = PyGraph(directed=True, name="kg", multi=True)
    g.add_node("x", {"type": "t"})
    g.add_node("a", {"type": "t", "age": 30})
    g.add_node("b", {"type": "u", "age": 30.0})
    g.add_node("c", {"type": "v", "age": "30"})
    g.add_node("l", {"type": ["t"], "age": None, "v": [1, 2]})
    g.add_node("s", {"v": "[1, 2]", "flag": 1, "d": "{'k': 1}"})
    g.add_node("bare")
    for s, t in [("a", "b"), ("b", "c"), ("b", "a"), ("a", "b"), ("s", "a")]:
        g.add_edge(s, t, {"e": s + t})
    g.remove_node("x")
    return g


@pytest.mark.parametrize("types, nodes", [
    ([], []), (["t"], ["a"]), (("u", "t", "t"), ["a", "b"]), (["v", "u"], ["b", "c"]), (["T"], []),
])
def test_by_types(kg, types, nodes):
    s = K.extract_subgraph_by_types(kg, types)
    assert s.node_ids() == nodes
    assert (s.name, s.is_directed, s.is_multi) == ("kg", True, True)
    for n in nodes:
        assert s.node(n) == kg.node(n)


def test_by_types_keeps_edges_among_selected(kg):
    s = K.extract_subgraph_by_types(kg, ["t", "u"])
    assert s.edges() == [("a", "b", {"e": "ab"}), ("b", "a", {"e": "ba"}), ("a", "b", {"e": "ab"})]


@pytest.mark.parametrize("key, value, nodes", [
    ("age", 30, ["a"]),
    ("age", 30.0, ["b"]),
    ("age", "30", ["c"]),
    ("age", None, ["l"]),
    ("age", math.nan, ["l"]),
    ("missing", None, []),
    ("flag", True, []),
    ("flag", 1, ["s"]),
    ("v", [1, 2], ["s"]),
    ("d", {"k": 1}, ["s"]),
    ("type", ["t"], []),
])
def test_by_property(kg, key, value, nodes):
    assert K.extract_subgraph_by_property(kg, key, value).node_ids() == nodes


def test_by_property_list_subclass_with_index_is_an_integer(kg):
    class L(list):
        def __index__(self):
            return 30

    assert K.extract_subgraph_by_property(kg, "age", L()).node_ids() == ["a"]


def test_by_property_str_failure_raises(kg):
    class Bad:
        def __str__(self):
            raise ZeroDivisionError

    with pytest.raises(ZeroDivisionError):
        K.extract_subgraph_by_property(kg, "age", Bad())


def test_by_property_edges():
    g = build(nodes=[("a", {"k": 1}), ("b", {"k": 1}), ("c", {"k": 2})], edges=[("a", "b"), ("b", "c")])
    s = K.extract_subgraph_by_property(g, key="k", value=1)
    assert s.node_ids() == ["a", "b"]
    assert [(u, v) for u, v, _ in s.edges()] == [("a", "b")]


def test_by_types_item_errors(kg):
    with pytest.raises(TypeError, match="argument 'types'"):
        K.extract_subgraph_by_types(kg, ["t", 1])
