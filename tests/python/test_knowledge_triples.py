"""knowledge.project_triples and knowledge.from_triples."""
import pytest

from quor_graph._rust import knowledge as K
from quor_graph._rust.graph import PyGraph


def pairs(g):
    return [(s, t) for s, t, _ in g.edges()]


@pytest.mark.parametrize("props, predicate", [
    ({"predicate": "p", "type": "t"}, "p"),
    ({"type": "t"}, "t"),
    ({"predicate": 5, "type": "subClassOf"}, "subClassOf"),
    ({"predicate": 5}, "relatedTo"),
    ({"predicate": None, "type": ["x"]}, "relatedTo"),
    ({"predicate": ""}, ""),
    ({}, "relatedTo"),
])
def test_project_predicate_rule(props, predicate):
    g = PyGraph()
    g.add_node("s")
    g.add_node("o")
    g.add_edge("s", "o", props)
    assert K.project_triples(g) == [("s", predicate, "o")]


def test_project_edge_order_parallels_and_removals():
    g = PyGraph(multi=True)
    for n in "abcz":
        g.add_node(n, {"ignored": 1})
    g.add_edge("a", "b", {"predicate": "p"})
    g.add_edge("b", "c", {"predicate": "gone"})
    g.add_edge("a", "b", {"predicate": "q"})
    g.remove_edge("b", "c")
    g.add_edge("c", "a", {"type": "r"})  # takes the freed slot
    assert K.project_triples(g) == [("a", "p", "b"), ("c", "r", "a"), ("a", "q", "b")]
    assert all(type(t) is tuple for t in K.project_triples(g))
    assert K.project_triples(PyGraph()) == []


@pytest.mark.parametrize("directed", [True, False])
def test_from_triples_empty(directed):
    g = K.from_triples([], directed)
    assert (g.is_directed, g.is_multi, g.name, g.n_nodes) == (directed, False, "", 0)
    assert K.from_triples(()).is_directed


def test_from_triples_first_predicate_wins():
    g = K.from_triples([("a", "p", "b"), ("a", "q", "b")])
    assert g.edges() == [("a", "b", {"predicate": "p", "type": "p"})]
    assert g.node("a") == {} and g.node("b") == {}


@pytest.mark.parametrize("directed, expected", [(True, [("a", "b"), ("b", "a")]), (False, [("a", "b")])])
def test_from_triples_reverse_pair(directed, expected):
    assert pairs(K.from_triples([("a", "p", "b"), ("b", "p", "a")], directed=directed)) == expected


def test_from_triples_self_loop_and_node_order():
    g = K.from_triples([("y", "p", "y"), ("x", "p", "z"), ("z", "q", "y")])
    assert g.node_ids() == ["y", "x", "z"]
    assert pairs(g) == [("y", "y"), ("x", "z"), ("z", "y")]


def test_from_triples_keeps_iri_whole_and_accepts_sequences():
    iri = "http://example.org/ns#subClassOf"
    g = K.from_triples((("s", iri, "o"),))
    assert g.edges() == [("s", "o", {"predicate": iri, "type": iri})]

    class Triples:
        def __len__(self):
            return 10 ** 15  # a length far beyond memory is only a hint

        def __getitem__(self, i):
            if i >= 2:
                raise IndexError
            return ("n%d" % i, "p", "n%d" % (i + 1))

    assert pairs(K.from_triples(Triples())) == [("n0", "n1"), ("n1", "n2")]


@pytest.mark.parametrize("triples, directed", [
    ([("a", "p", "b"), ("b", "q", "c"), ("a", "r", "b"), ("c", "s", "b")], True),
    ([("a", "p", "b"), ("b", "q", "c"), ("a", "r", "b"), ("c", "s", "b")], False),
    ([("x", "p", "x"), ("y", "", "x"), ("x", "p2", "y")], True),
    ([("x", "p", "x"), ("y", "", "x"), ("x", "p2", "y")], False),
])
def test_round_trip_keeps_first_triple_per_pair(triples, directed):
    seen, expected = set(), []
    for s, p, o in triples:
        key = (s, o) if directed else frozenset((s, o))
        if key not in seen:
            seen.add(key)
            expected.append((s, p, o))
    assert K.project_triples(K.from_triples(triples, directed)) == expected


@pytest.mark.parametrize("triples, message", [
    ("abc", "argument 'triples': Can't extract `str` to `Vec`"),
    (iter([("a", "p", "b")]), "argument 'triples': 'list_iterator' object is not an instance of 'Sequence'"),
    ({"a": 1}, "argument 'triples': 'dict' object is not an instance of 'Sequence'"),
    ([["a", "p", "b"]], "argument 'triples': 'list' object is not an instance of 'tuple'"),
    ([("a", "p", 1)], "argument 'triples': 'int' object is not an instance of 'str'"),
    (None, "argument 'triples': 'None' is not an instance of 'Sequence'"),
])
def test_from_triples_type_errors(triples, message):
    with pytest.raises(TypeError) as info:
        K.from_triples(triples)
    assert str(info.value) == message


@pytest.mark.parametrize("item, n", [(("a", "b"), 2), (("a", "b", "c", "d"), 4), ((), 0)])
def test_from_triples_length_error(item, n):
    with pytest.raises(ValueError) as info:
        K.from_triples([("x", "p", "y"), item])
    assert str(info.value) == f"expected tuple of length 3, but got tuple of length {n}"


def test_from_triples_bad_triples_reported_before_directed():
    with pytest.raises(TypeError, match="argument 'triples'"):
        K.from_triples("x", directed=1)


def test_from_triples_iteration_error_passes_through():
    class Bad:
        # A TypeError from __len__ means "no length"; any other error now passes through.
        def __len__(self):
            raise TypeError("no length")

        def __getitem__(self, i):
            if i == 0:
                return ("a", "p", "b")
            raise KeyError("boom")

    with pytest.raises(KeyError):
        K.from_triples(Bad())


def test_from_triples_tuple_subclass_and_lone_surrogate():
    class T(tuple):
        pass

    assert pairs(K.from_triples([T(("a", "p", "b"))])) == [("a", "b")]
    with pytest.raises(UnicodeEncodeError):
        K.from_triples([("a", "\ud800", "b")])
