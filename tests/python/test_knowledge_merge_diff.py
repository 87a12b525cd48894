"""knowledge.merge_graphs and knowledge.diff_graphs."""
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
    for e in edges:
        g.add_edge(e[0], e[1], e[2] if len(e) > 2 else None)
    return g


def edges(g):
    return [(s, t, p) for s, t, p in g.edges()]


# ---- merge ----

@pytest.mark.parametrize("conflict, expected", [
    ("keep_first", {"a": 1, "b": 2}),
    ("merge", {"a": 1, "b": 3, "c": 4}),
    ("keep_latest", {"b": 3, "c": 4}),
    ("", {"b": 3, "c": 4}),
    ("KEEP_FIRST", {"b": 3, "c": 4}),
    ("merge ", {"b": 3, "c": 4}),
])
def test_merge_shared_node(conflict, expected):
    base = build(nodes=[("n", {"a": 1, "b": 2}), ("only_base", {"x": 1})])
    other = build(nodes=[("n", {"b": 3, "c": 4}), ("only_other", {"y": 2})])
    m = K.merge_graphs(base, other, conflict)
    assert m.node("n") == expected
    assert m.node("only_base") == {"x": 1}
    assert m.node("only_other") == {"y": 2}
    assert m.node_ids() == ["n", "only_base", "only_other"]


def test_merge_default_is_keep_latest():
    base = build(nodes=[("n", {"a": 1})])
    other = build(nodes=[("n", {"b": 2})])
    assert K.merge_graphs(base, other).node("n") == {"b": 2}
    assert K.merge_graphs(base, other, conflict="keep_first").node("n") == {"a": 1}


@pytest.mark.parametrize("directed", [True, False])
def test_merge_empty(directed):
    m = K.merge_graphs(PyGraph(directed=directed, name="x", multi=True), PyGraph(directed=not directed))
    assert (m.is_directed, m.is_multi, m.name, m.n_nodes, m.n_edges) == (directed, False, "", 0, 0)


def test_merge_directed_flag_from_base():
    base = build(True, nodes="ab", edges=[("a", "b")])
    other = build(False, nodes="ab", edges=[("b", "a")])
    m = K.merge_graphs(base, other)
    assert m.is_directed
    assert [(s, t) for s, t, _ in m.edges()] == [("a", "b"), ("b", "a")]
    u = K.merge_graphs(other, base)
    assert not u.is_directed
    assert [(s, t) for s, t, _ in u.edges()] == [("b", "a")]


def test_merge_multigraphs_collapse():
    base = build(True, True, "ab", [("a", "b", {"w": 1}), ("a", "b", {"w": 5})])
    other = build(True, True, "ab", [("a", "b", {"w": 2}), ("a", "b", {"w": 3})])
    m = K.merge_graphs(base, other)
    assert not m.is_multi
    assert edges(m) == [("a", "b", {"w": 3})]
    assert edges(K.merge_graphs(base, other, "keep_first")) == [("a", "b", {"w": 1})]


def test_merge_other_only_edge_keeps_its_first_parallel():
    base = build(True, False, "ab")
    other = build(True, True, "ab", [("a", "b", {"w": 2}), ("a", "b", {"w": 3})])
    assert edges(K.merge_graphs(base, other, "keep_first")) == [("a", "b", {"w": 2})]


@pytest.mark.parametrize("conflict, expected", [
    ("keep_latest", {"w": 2}), ("keep_first", {"w": 1, "z": 0}), ("merge", {"w": 2, "z": 0}),
])
def test_merge_undirected_edge_stored_either_way(conflict, expected):
    base = build(False, False, "ab", [("a", "b", {"w": 1, "z": 0})])
    other = build(False, False, "ab", [("b", "a", {"w": 2})])
    assert edges(K.merge_graphs(base, other, conflict)) == [("a", "b", expected)]


@pytest.mark.parametrize("conflict", ["keep_first", "keep_latest", "merge"])
def test_merge_with_itself_is_a_copy(conflict):
    g = build(True, False, [("a", {"k": [1, {"x": None}]}), "b", "c"],
              [("a", "b", {"w": 1.5}), ("b", "c"), ("c", "c", {"s": "t"})], name="named")
    m = K.merge_graphs(g, g, conflict)
    assert m.node_ids() == g.node_ids()
    assert edges(m) == edges(g)
    assert m.node("a") == g.node("a")
    assert (m.name, m.is_multi) == ("", False)


def test_merge_with_itself_multigraph_keeps_pair_with_last_properties():
    g = build(True, True, "ab", [("a", "b", {"w": 1}), ("a", "b", {"w": 2})])
    assert edges(K.merge_graphs(g, g)) == [("a", "b", {"w": 2})]
    assert edges(K.merge_graphs(g, g, "keep_first")) == [("a", "b", {"w": 1})]


def test_merge_leaves_inputs_alone_and_skips_removed_items():
    base = build(True, False, ["x", ("a", {"k": 1}), "b"], [("a", "b", {"w": 1}), ("x", "a")])
    other = build(True, False, [("a", {"j": 2}), "c"], [("a", "c")])
    base.remove_node("x")
    m = K.merge_graphs(base, other, "merge")
    assert m.node_ids() == ["a", "b", "c"]
    assert m.node("a") == {"k": 1, "j": 2}
    assert [(s, t) for s, t, _ in m.edges()] == [("a", "b"), ("a", "c")]
    m.add_node("new")
    assert base.node("a") == {"k": 1} and other.node("a") == {"j": 2}
    assert not base.has_node("new")


# ---- diff ----

KEYS = ["added_nodes", "removed_nodes", "added_edges", "removed_edges", "changed_node_properties"]


def empty_diff():
    return {k: [] for k in KEYS}


def test_diff_same_and_empty():
    g = build(True, True, "ab", [("a", "b"), ("a", "b")])
    d = K.diff_graphs(g, g)
    assert list(d) == KEYS and d == empty_diff()
    assert K.diff_graphs(PyGraph(), PyGraph(directed=False)) == empty_diff()


def test_diff_nodes():
    old = build(nodes=[("gone", {}), ("same", {"a": 1, "b": "x"}), ("kind", {"v": 1}), ("nul", {})])
    new = build(nodes=[("nul", {"a": None}), ("kind", {"v": 1.0}), ("same", {"b": "x", "a": 1}), ("fresh", {})])
    d = K.diff_graphs(old, new)
    assert d["added_nodes"] == ["fresh"]
    assert d["removed_nodes"] == ["gone"]
    assert sorted(d["changed_node_properties"]) == ["kind", "nul"]
    assert d["added_edges"] == d["removed_edges"] == []


def test_diff_edge_properties_and_parallels_ignored():
    old = build(True, True, "ab", [("a", "b", {"w": 1})])
    new = build(True, True, "ab", [("a", "b", {"w": 2}), ("a", "b")])
    assert K.diff_graphs(old, new) == empty_diff()
    assert K.diff_graphs(new, old) == empty_diff()


def test_diff_directed_reversal():
    old = build(True, False, "ab", [("a", "b")])
    new = build(True, False, "ab", [("b", "a")])
    d = K.diff_graphs(old, new)
    assert d["removed_edges"] == [("a", "b")]
    assert d["added_edges"] == [("b", "a")]
    assert all(type(p) is tuple for p in d["added_edges"])


def test_diff_undirected_edge_is_unordered():
    old = build(False, False, "abc", [("a", "b"), ("c", "b")])
    new = build(False, False, "abc", [("b", "a"), ("b", "c")])
    assert K.diff_graphs(old, new) == empty_diff()
    new.remove_edge("a", "b")
    new.add_edge("a", "c")
    d = K.diff_graphs(old, new)
    assert d["removed_edges"] == [("a", "b")]
    assert d["added_edges"] == [("a", "c")]


def test_diff_directed_against_undirected_compares_stored_pairs():
    assert K.diff_graphs(build(True, nodes="ab", edges=[("a", "b")]),
                         build(False, nodes="ab", edges=[("a", "b")])) == empty_diff()


def test_diff_removed_node_with_edges():
    old = build(True, False, "abc", [("a", "b"), ("c", "a"), ("b", "c")])
    new = build(True, False, "abc", [("a", "b"), ("c", "a"), ("b", "c")])
    new.remove_node("c")
    d = K.diff_graphs(old, new)
    assert d["removed_nodes"] == ["c"]
    assert sorted(d["removed_edges"]) == [("b", "c"), ("c", "a")]
    assert d["added_nodes"] == d["added_edges"] == d["changed_node_properties"] == []
