"""The knowledge operations: merge, diff, triples, transitive inference, degree
queries and extraction."""
import math

import networkx as nx
import pytest

from conftest import build, random_pair
from quor_graph._rust import knowledge as K
from quor_graph._rust.graph import PyGraph


def edges(g):
    return [(s, t) for s, t, _ in g.edges()]


def p(label):
    return {"predicate": label}


# ---- merge ----

@pytest.mark.parametrize("conflict, expected", [
    ("keep_first", {"a": 1, "b": 2}),
    ("merge", {"a": 1, "b": 3, "c": 4}),
    ("keep_latest", {"b": 3, "c": 4}),
    ("KEEP_FIRST", {"b": 3, "c": 4}),  # anything else is keep_latest
    ("merge ", {"b": 3, "c": 4}),
])
def test_merge_shared_node(conflict, expected):
    base = build(nodes=[("n", {"a": 1, "b": 2}), ("only_base", {"x": 1})])
    other = build(nodes=[("n", {"b": 3, "c": 4}), ("only_other", {"y": 2})])
    m = K.merge_graphs(base, other, conflict)
    assert m.node("n") == expected and m.node("only_base") == {"x": 1} and m.node("only_other") == {"y": 2}
    assert m.node_ids() == ["n", "only_base", "only_other"]
    assert K.merge_graphs(base, other).node("n") == {"b": 3, "c": 4}


@pytest.mark.parametrize("directed", [True, False])
def test_merge_takes_direction_from_base_and_is_never_multi(directed):
    m = K.merge_graphs(PyGraph(directed=directed, name="x", multi=True), PyGraph(directed=not directed))
    assert (m.is_directed, m.is_multi, m.name, m.n_nodes, m.n_edges) == (directed, False, "", 0, 0)
    base, other = build(True, nodes="ab", edges=[("a", "b")]), build(False, nodes="ab", edges=[("b", "a")])
    assert edges(K.merge_graphs(base, other)) == [("a", "b"), ("b", "a")]
    u = K.merge_graphs(other, base)
    assert not u.is_directed and edges(u) == [("b", "a")]


def test_merge_multigraphs_collapse_to_one_edge_per_pair():
    base = build(True, True, "ab", [("a", "b", {"w": 1}), ("a", "b", {"w": 5})])
    other = build(True, True, "ab", [("a", "b", {"w": 2}), ("a", "b", {"w": 3})])
    assert K.merge_graphs(base, other).edges() == [("a", "b", {"w": 3})]
    assert K.merge_graphs(base, other, "keep_first").edges() == [("a", "b", {"w": 1})]
    assert K.merge_graphs(build(nodes="ab"), other, "keep_first").edges() == [("a", "b", {"w": 2})]
    assert K.merge_graphs(base, base).edges() == [("a", "b", {"w": 5})]


@pytest.mark.parametrize("conflict, expected", [
    ("keep_latest", {"w": 2}), ("keep_first", {"w": 1, "z": 0}), ("merge", {"w": 2, "z": 0})])
def test_merge_pairs_undirected_edges_either_way(conflict, expected):
    base = build(False, nodes="ab", edges=[("a", "b", {"w": 1, "z": 0})])
    other = build(False, nodes="ab", edges=[("b", "a", {"w": 2})])
    assert K.merge_graphs(base, other, conflict).edges() == [("a", "b", expected)]


@pytest.mark.parametrize("conflict", ["keep_first", "keep_latest", "merge"])
def test_merge_with_itself_is_a_copy(conflict):
    g = build(True, False, [("a", {"k": [1, {"x": None}]}), "b", "c"],
              [("a", "b", {"w": 1.5}), ("b", "c"), ("c", "c", {"s": "t"})], name="named")
    m = K.merge_graphs(g, g, conflict)
    assert (m.node_ids(), m.edges(), m.node("a"), m.name, m.is_multi) == (
        g.node_ids(), g.edges(), g.node("a"), "", False)


def test_merge_leaves_inputs_alone_and_skips_removed_items():
    base = build(True, False, ["x", ("a", {"k": 1}), "b"], [("a", "b", {"w": 1}), ("x", "a")])
    other = build(True, False, [("a", {"j": 2}), "c"], [("a", "c")])
    base.remove_node("x")
    m = K.merge_graphs(base, other, "merge")
    assert m.node_ids() == ["a", "b", "c"] and m.node("a") == {"k": 1, "j": 2}
    assert edges(m) == [("a", "b"), ("a", "c")]
    m.add_node("new")
    m.update_node("a", {"k": 9})
    assert base.node("a") == {"k": 1} and other.node("a") == {"j": 2} and not base.has_node("new")


# ---- diff ----

KEYS = ["added_nodes", "removed_nodes", "added_edges", "removed_edges", "changed_node_properties"]
EMPTY = {k: [] for k in KEYS}


def test_diff_same_and_empty():
    g = build(True, True, "ab", [("a", "b"), ("a", "b")])
    d = K.diff_graphs(g, g)
    assert list(d) == KEYS and d == EMPTY == K.diff_graphs(PyGraph(), PyGraph(directed=False))


def test_diff_nodes():
    old = build(nodes=[("gone", {}), ("same", {"a": 1, "b": "x"}), ("kind", {"v": 1}), ("nul", {})])
    new = build(nodes=[("nul", {"a": None}), ("kind", {"v": 1.0}), ("same", {"b": "x", "a": 1}), ("fresh", {})])
    d = K.diff_graphs(old, new)
    assert (d["added_nodes"], d["removed_nodes"], d["added_edges"], d["removed_edges"]) == (["fresh"], ["gone"], [], [])
    assert sorted(d["changed_node_properties"]) == ["kind", "nul"]


def test_diff_edges():
    old = build(True, True, "ab", [("a", "b", {"w": 1})])
    new = build(True, True, "ab", [("a", "b", {"w": 2}), ("a", "b")])
    assert K.diff_graphs(old, new) == EMPTY == K.diff_graphs(new, old)  # properties and repeats ignored
    d = K.diff_graphs(build(nodes="ab", edges=[("a", "b")]), build(nodes="ab", edges=[("b", "a")]))
    assert (d["removed_edges"], d["added_edges"]) == ([("a", "b")], [("b", "a")])
    assert all(type(x) is tuple for x in d["added_edges"])
    assert K.diff_graphs(build(True, nodes="ab", edges=[("a", "b")]),
                         build(False, nodes="ab", edges=[("a", "b")])) == EMPTY
    old = build(True, False, "abc", [("a", "b"), ("c", "a"), ("b", "c")])
    d = K.diff_graphs(old, old.subgraph(["a", "b"]))  # a removed node takes its edges along
    assert d == EMPTY | {"removed_nodes": ["c"], "removed_edges": [("c", "a"), ("b", "c")]}


def test_diff_undirected_edge_is_unordered():
    old = build(False, False, "abc", [("a", "b"), ("c", "b")])
    new = build(False, False, "abc", [("b", "a"), ("b", "c")])
    assert K.diff_graphs(old, new) == EMPTY
    new.remove_edge("a", "b")
    new.add_edge("a", "c")
    d = K.diff_graphs(old, new)
    assert (d["removed_edges"], d["added_edges"]) == ([("a", "b")], [("a", "c")])


# ---- triples ----

@pytest.mark.parametrize("props, predicate", [
    ({"predicate": "p", "type": "t"}, "p"), ({"type": "t"}, "t"), ({"predicate": 5, "type": "subClassOf"}, "subClassOf"),
    ({"predicate": None, "type": ["x"]}, "relatedTo"), ({"predicate": ""}, ""), ({}, "relatedTo"),
])
def test_project_predicate_rule(props, predicate):
    assert K.project_triples(build(edges=[("s", "o", props)])) == [("s", predicate, "o")]


def test_project_edge_order_parallels_and_removals():
    g = build(True, True, [(n, {"ignored": 1}) for n in "abcz"],
              [("a", "b", p("p")), ("b", "c", p("gone")), ("a", "b", p("q"))])
    g.remove_edge("b", "c")
    g.add_edge("c", "a", {"type": "r"})  # takes the freed slot
    assert K.project_triples(g) == [("a", "p", "b"), ("c", "r", "a"), ("a", "q", "b")]
    assert all(type(t) is tuple for t in K.project_triples(g)) and K.project_triples(PyGraph()) == []


@pytest.mark.parametrize("directed", [True, False])
def test_from_triples(directed):
    g = K.from_triples([], directed)
    assert (g.is_directed, g.is_multi, g.name, g.n_nodes) == (directed, False, "", 0)
    iri = "http://example.org/ns#subClassOf"
    g = K.from_triples([("y", "p", "y"), ("x", iri, "z"), ("z", "q", "y"), ("x", "r", "z"), ("z", "s", "x")],
                       directed)
    assert g.node_ids() == ["y", "x", "z"] and g.node("x") == {}
    first = [("y", "y", p("p") | {"type": "p"}), ("x", "z", p(iri) | {"type": iri}), ("z", "y", p("q") | {"type": "q"})]
    assert g.edges() == first + ([("z", "x", p("s") | {"type": "s"})] if directed else [])


@pytest.mark.parametrize("triples, exc, message", [
    (iter([("a", "p", "b")]), TypeError, "argument 'triples': 'list_iterator' object is not an instance of 'Sequence'"),
    ([("a", "p", 1)], TypeError, "argument 'triples': 'int' object is not an instance of 'str'"),
    ([("x", "p", "y"), ("a", "b")], ValueError, "expected tuple of length 3, but got tuple of length 2"),
    ([("a", "b", "c", "d")], ValueError, "expected tuple of length 3, but got tuple of length 4"),
    ([("a", "\ud800", "b")], UnicodeEncodeError, None),
])
def test_from_triples_refusals(triples, exc, message):
    with pytest.raises(exc) as info:
        K.from_triples(triples)
    assert type(info.value) is exc and (message is None or str(info.value) == message)


# ---- densify and infer_types ----

def added(g, n_before):
    return edges(g)[n_before:]


@pytest.mark.parametrize("fn", [K.densify, K.infer_types])
def test_chain(fn):
    g = build(nodes="abcd", edges=[("a", "b", p("p")), ("b", "c", p("p")), ("c", "d", p("p"))])
    d = fn(g, "p")
    assert added(d, 3) == [("a", "c"), ("a", "d"), ("b", "d")]
    assert all(props == {"predicate": "p", "type": "p"} for _, _, props in d.edges()[3:])
    assert fn(d, "p").edges() == d.edges() and g.n_edges == 3


@pytest.mark.parametrize("edge_list, label, expected", [
    ([("a", "b", {"type": "p"}), ("b", "c", {"predicate": 7, "type": "p"})], "p", [("a", "c")]),  # "type" stands in
    ([("a", "b"), ("b", "c", {"predicate": [1]}), ("c", "x", p("q"))], "", [("a", "c")]),  # "" is the unlabelled
    ([("a", "b", p("p")), ("b", "a", p("p"))], "p", [("a", "a"), ("b", "b")]),
    ([("a", "b", p("p")), ("b", "c", p("p")), ("a", "c", p("q"))], "p", []),  # a joined pair blocks it
])
def test_relation_rules(edge_list, label, expected):
    g = build(nodes="abcx", edges=edge_list)
    assert added(K.densify(g, label), len(edge_list)) == expected
    assert K.densify(g, label).edges() == K.infer_types(g, predicate_iri=label).edges()


@pytest.mark.parametrize("edge_list, expected", [([("a", "b"), ("c", "b")], []), ([("a", "b"), ("b", "c")], [("a", "c")])])
def test_undirected_uses_stored_orientation(edge_list, expected):
    g = build(False, nodes="abc", edges=[(s, t, p("p")) for s, t in edge_list])
    assert added(K.densify(g, "p"), 2) == expected


def test_no_relation_gives_a_copy():
    g = build(False, True, "xabc", [("a", "b", {"w": 1.5, "nested": {"z": [1, None]}}), ("a", "b"), ("c", "c")],
              name="kept")
    g.remove_node("x")
    g.add_node("n", {"big": 2 ** 64 - 1, "f": 1.0, "i": 1})
    d = K.densify(g, "nothing")
    assert (d.name, d.is_directed, d.is_multi, d.node_ids(), d.edges()) == (
        "kept", False, True, g.node_ids(), g.edges())
    assert d.node("n") == g.node("n") and type(d.node("n")["f"]) is float and type(d.node("n")["i"]) is int
    d.add_node("only_copy")
    assert not g.has_node("only_copy")


@pytest.mark.parametrize("seed", range(3))
@pytest.mark.parametrize("directed", [True, False])
def test_closure_matches_networkx(seed, directed):
    g, _ = random_pair(seed, directed, n=25, m=40)  # unlabelled edges: the relation ""
    ref = nx.DiGraph(edges(g))  # in stored orientation, undirected graphs too
    key = (lambda s, t: (s, t)) if directed else (lambda s, t: frozenset((s, t)))
    before = {key(s, t) for s, t in edges(g)}
    new = [key(s, t) for s, t in added(K.densify(g, ""), g.n_edges)]
    assert len(new) == len(set(new))
    assert set(new) == {key(s, t) for s, t in nx.transitive_closure(ref, reflexive=False).edges()} - before


def test_long_chain():
    n = 300
    g = build(nodes=[str(i) for i in range(n)], edges=[(str(i - 1), str(i), p("p")) for i in reversed(range(1, n))])
    assert K.densify(g, "p").n_edges == n * (n - 1) // 2


# ---- degree queries ----

def test_degree_queries():
    assert (K.find_hub_nodes(PyGraph(), 0), K.find_orphan_nodes(PyGraph()), K.degree_distribution(PyGraph())) == (
        [], [], {})
    g = build(False, False, ["hub", "x", "y", "z", "lone", "gone"],
              [("hub", "x"), ("hub", "y"), ("z", "hub"), ("gone", "lone"), ("x", "y")])
    g.remove_node("gone")
    g.add_node("new")
    assert K.find_hub_nodes(g, 1) == ["hub", "x", "y"] and K.find_hub_nodes(g, threshold=3) == []
    assert K.find_hub_nodes(g, 2) == ["hub"] and K.find_orphan_nodes(g) == ["lone", "new"]
    dist = K.degree_distribution(g)
    assert dist == {0: 2, 1: 1, 2: 2, 3: 1} and list(dist) == sorted(dist)
    assert all(type(k) is int and type(v) is int for k, v in dist.items())
    assert K.degree_distribution(build(True, True, "ab", [("a", "b"), ("a", "b")])) == {2: 2}


@pytest.mark.parametrize("directed, degree", [(True, 2), (False, 1)])
def test_self_loop_degree(directed, degree):
    g = build(directed, nodes="a", edges=[("a", "a")])
    assert K.degree_distribution(g) == {degree: 1} and K.find_orphan_nodes(g) == []
    assert K.find_hub_nodes(g, 1) == (["a"] if degree == 2 else [])


# ---- extraction ----

@pytest.fixture
def kg():
    g = build(True, True, [("x", {"type": "t"}), ("a", {"type": "t", "age": 30}), ("b", {"type": "u", "age": 30.0}),
                           ("c", {"type": "v", "age": "30"}), ("l", {"type": ["t"], "age": None, "v": [1, 2]}),
                           ("s", {"v": "[1, 2]", "flag": 1, "d": "{'k': 1}"}), "bare"],
              [(s, t, {"e": s + t}) for s, t in [("a", "b"), ("b", "c"), ("b", "a"), ("a", "b"), ("s", "a")]],
              name="kg")
    g.remove_node("x")
    return g


@pytest.mark.parametrize("types, nodes", [
    ([], []), (["t"], ["a"]), (("u", "t", "t"), ["a", "b"]), (["v", "u"], ["b", "c"]), (["T"], []),
])
def test_by_types(kg, types, nodes):
    s = K.extract_subgraph_by_types(kg, types)
    assert s.node_ids() == nodes and (s.name, s.is_directed, s.is_multi) == ("kg", True, True)
    assert all(s.node(n) == kg.node(n) for n in nodes)
    if len(nodes) == 2 and "a" in nodes:
        assert s.edges() == [("a", "b", {"e": "ab"}), ("b", "a", {"e": "ba"}), ("a", "b", {"e": "ab"})]


@pytest.mark.parametrize("key, value, nodes", [
    ("age", 30, ["a"]), ("age", 30.0, ["b"]), ("age", "30", ["c"]), ("age", None, ["l"]), ("age", math.nan, ["l"]),
    ("missing", None, []), ("flag", True, []), ("flag", 1, ["s"]), ("v", [1, 2], ["s"]), ("d", {"k": 1}, ["s"]),
    ("type", ["t"], []), ("age", type("L", (list,), {"__index__": lambda self: 30})(), ["a"]),
])
def test_by_property(kg, key, value, nodes):
    assert K.extract_subgraph_by_property(kg, key, value).node_ids() == nodes


def test_by_property_keeps_edges_and_raises_conversion_errors():
    g = build(nodes=[("a", {"k": 1}), ("b", {"k": 1}), ("c", {"k": 2})], edges=[("a", "b"), ("b", "c")])
    assert edges(K.extract_subgraph_by_property(g, key="k", value=1)) == [("a", "b")]

    class Bad:
        def __str__(self):
            raise ZeroDivisionError

    with pytest.raises(ZeroDivisionError):
        K.extract_subgraph_by_property(g, "k", Bad())


def test_from_triples_accepts_sequences_without_trusting_their_length():
    class Triples:
        def __len__(self):
            return 10 ** 15

        def __getitem__(self, i):
            if i >= 2:
                raise IndexError
            return type("T", (tuple,), {})((f"n{i}", "p", f"n{i + 1}"))

    assert edges(K.from_triples(Triples())) == [("n0", "n1"), ("n1", "n2")]
