"""Derived graphs: subgraph, ego_graph, reverse, to_undirected."""
import pytest

from quor_graph._rust.graph import PyGraph


def build(directed=True, multi=False, nodes=(), edges=(), name="src"):
    g = PyGraph(directed=directed, name=name, multi=multi)
    for n in nodes:
        g.add_node(n, {"id": n})
    for i, (s, t) in enumerate(edges):
        g.add_edge(s, t, {"i": i})
    return g


def edge_list(g):
    return [(s, t, p.get("i")) for s, t, p in g.edges()]


@pytest.mark.parametrize("method, doc", [
    ("subgraph", "subgraph($self, node_ids)\n--\n\nExtract a subgraph containing only the specified node IDs and edges between them."),
    ("ego_graph", "ego_graph($self, center, radius)\n--\n\nExtract the ego graph: all nodes within `radius` hops of `center`, plus their edges."),
    ("reverse", "reverse($self)\n--\n\nReturn a new graph with all edge directions reversed."),
    ("to_undirected", "to_undirected($self)\n--\n\nConvert to an undirected graph (add reverse edges where missing)."),
])
def test_docstrings(method, doc):
    head, _, body = doc.partition("\n--\n\n")
    fn = getattr(PyGraph, method)
    assert fn.__doc__ == body
    assert fn.__text_signature__ == head[len(method):]


@pytest.mark.parametrize("directed", [True, False])
def test_subgraph_keeps_parallel_edges_among_kept_nodes(directed):
    # The undirected multigraph keeps every a-b edge, as the directed one does.
    g = build(directed, True, "abc", [("a", "b"), ("b", "a"), ("a", "b"), ("b", "c"), ("a", "a")])
    s = g.subgraph(["b", "a"])
    assert s.node_ids() == ["b", "a"]
    assert edge_list(s) == [("a", "b", 0), ("b", "a", 1), ("a", "b", 2), ("a", "a", 4)]
    assert (s.name, s.is_directed, s.is_multi) == ("src", directed, True)
    assert s.node("a") == {"id": "a"}


def test_subgraph_edge_cases():
    g = build(True, False, "ab", [("a", "b")])
    empty = g.subgraph([])
    assert (empty.n_nodes, empty.name, empty.is_directed) == (0, "src", True)
    assert g.subgraph(("a",)).n_edges == 0
    with pytest.raises(ValueError, match="^Node 'a' already exists$"):
        g.subgraph(["a", "a", "z"])
    with pytest.raises(ValueError, match="^Node 'z' not found$"):
        g.subgraph(["z", "a", "a"])
    with pytest.raises(TypeError, match="^argument 'node_ids': Can't extract `str` to `Vec`$"):
        g.subgraph("ab")
    with pytest.raises(TypeError, match="^argument 'node_ids'"):
        g.subgraph(["a", 1])


def test_results_are_independent_copies():
    g = build(True, False, "ab", [("a", "b")])
    g.remove_node("a")
    g.add_node("c")
    for derived in (g.subgraph(["c", "b"]), g.reverse(), g.to_undirected(), g.ego_graph("b", 3)):
        derived.add_node("new")
        derived.add_edge("new", "b")
    assert g.node_ids() == ["c", "b"] and g.n_edges == 0


@pytest.mark.parametrize("center, radius, nodes, edges", [
    ("c", 0, {"c"}, [("c", "c", 2)]),
    ("c", 1, {"b", "c", "y"}, [("b", "c", 1), ("c", "c", 2), ("c", "y", 3)]),
    ("a", 1, {"a", "b"}, [("a", "b", 0)]),
    ("y", 2, {"b", "c", "y"}, [("b", "c", 1), ("c", "c", 2), ("c", "y", 3)]),
    ("a", 2**64 - 1, {"a", "b", "c", "y"}, [("a", "b", 0), ("b", "c", 1), ("c", "c", 2), ("c", "y", 3)]),
])
def test_ego_graph_ignores_direction(center, radius, nodes, edges):
    g = build(True, True, ["a", "b", "c", "y", "lonely"], [("a", "b"), ("b", "c"), ("c", "c"), ("c", "y")])
    e = g.ego_graph(center, radius)
    assert set(e.node_ids()) == nodes and edge_list(e) == edges


def test_ego_graph_errors():
    g = build(nodes="a")
    with pytest.raises(ValueError, match="^Node 'q' not found$"):
        g.ego_graph("q", 1)
    with pytest.raises(OverflowError):
        g.ego_graph("a", -1)
    with pytest.raises(TypeError, match="^argument 'radius'"):
        g.ego_graph("a", 1.0)


def test_reverse_directed():
    g = build(True, True, "ab", [("a", "b"), ("a", "b"), ("b", "b")])
    r = g.reverse()
    assert r.is_directed and r.is_multi and r.name == "src"
    assert edge_list(r) == [("b", "a", 0), ("b", "a", 1), ("b", "b", 2)]
    assert edge_list(r.reverse()) == edge_list(g)


def test_reverse_undirected_keeps_every_edge():
    g = build(False, True, "ab", [("a", "b"), ("b", "a"), ("a", "b")])
    r = g.reverse()
    assert not r.is_directed and r.is_multi
    assert edge_list(r) == edge_list(g)


@pytest.mark.parametrize("multi", [True, False])
def test_to_undirected_keeps_first_edge_of_each_pair(multi):
    edges = [("a", "b"), ("b", "a"), ("c", "c")] + ([("a", "b"), ("c", "c")] if multi else [])
    g = build(True, multi, "abc", edges)
    u = g.to_undirected()
    assert (u.is_directed, u.is_multi, u.name) == (False, multi, "src")
    assert edge_list(u) == [("a", "b", 0), ("c", "c", 2)]
    assert g.is_directed and g.n_edges == len(edges)
