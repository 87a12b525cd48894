"""knowledge: registration, docstrings, argument binding and borrows."""
import inspect
import sys

import pytest

import quor_graph._rust as R
from quor_graph._rust import knowledge as K
from quor_graph._rust.graph import PyGraph

ORDER = [
    "merge_graphs", "diff_graphs", "extract_subgraph_by_property", "extract_subgraph_by_types",
    "project_triples", "from_triples", "infer_types", "densify", "find_orphan_nodes",
    "find_hub_nodes", "degree_distribution",
]

SIGNATURES = {
    "merge_graphs": "(base, other, conflict='keep_latest')",
    "diff_graphs": "(old, new)",
    "extract_subgraph_by_property": "(graph, key, value)",
    "extract_subgraph_by_types": "(graph, types)",
    "project_triples": "(graph)",
    "from_triples": "(triples, directed=True)",
    "infer_types": "(graph, predicate_iri)",
    "densify": "(graph, predicate)",
    "find_orphan_nodes": "(graph)",
    "find_hub_nodes": "(graph, threshold)",
    "degree_distribution": "(graph)",
}

SUMMARIES = {
    "diff_graphs": "Diff two graphs. Returns a dict with keys:\n"
                   "added_nodes, removed_nodes, added_edges, removed_edges, changed_node_properties.",
    "extract_subgraph_by_property": "Extract subgraph by filtering nodes on a property value.",
    "extract_subgraph_by_types": 'Extract subgraph containing nodes whose "type" property matches any value in the list.',
    "project_triples": "Project graph edges as (subject, predicate, object) triples.",
    "from_triples": "Build a graph from (subject, predicate, object) triples.",
    "infer_types": 'Infer transitive types via a specific predicate (e.g., "subClassOf").',
    "densify": "Add transitive closure edges for a specific relationship type.\n\n"
               "If A->B and B->C both have the given predicate, add A->C.",
    "find_orphan_nodes": "Find orphan nodes (degree 0).",
    "find_hub_nodes": "Find hub nodes (degree > threshold).",
    "degree_distribution": "Degree distribution: returns dict of {degree: count}.",
}


def test_registration_order_and_registry():
    assert K.__all__ == ORDER
    assert sys.modules["quor_graph._rust.knowledge"] is R.knowledge
    for name in ORDER:
        assert getattr(K, name).__module__ == "knowledge"


@pytest.mark.parametrize("name", ORDER)
def test_signature(name):
    assert str(inspect.signature(getattr(K, name))) == SIGNATURES[name]


@pytest.mark.parametrize("name", sorted(SUMMARIES))
def test_docstring(name):
    assert getattr(K, name).__doc__ == SUMMARIES[name]


def test_merge_docstring():
    doc = K.merge_graphs.__doc__
    first, _, rest = doc.partition("\n\n")
    assert first == "Merge two graphs with a configurable conflict strategy."
    assert rest.startswith("Strategies:")
    positions = [rest.index(s) for s in ('"keep_first"', '"keep_latest" (default)', '"merge"')]
    assert positions == sorted(positions)


def g1():
    g = PyGraph()
    g.add_node("a")
    return g


@pytest.mark.parametrize("call, message", [
    (lambda: K.merge_graphs(g1()), "merge_graphs() missing 1 required positional argument: 'other'"),
    (lambda: K.diff_graphs(), "diff_graphs() missing 2 required positional arguments: 'old' and 'new'"),
    (lambda: K.project_triples(g1(), 1), "project_triples() takes 1 positional arguments but 2 were given"),
    (lambda: K.from_triples([], True, 3), "from_triples() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda: K.densify(g1(), "p", graph=g1()), "densify() got multiple values for argument 'graph'"),
    (lambda: K.infer_types(g1(), predicate="p"), "infer_types() got an unexpected keyword argument 'predicate'"),
    (lambda: K.find_hub_nodes(None, 1), "argument 'graph': 'None' is not an instance of 'PyGraph'"),
    (lambda: K.merge_graphs(g1(), 5), "argument 'other': 'int' object is not an instance of 'PyGraph'"),
    (lambda: K.merge_graphs(g1(), g1(), None), "argument 'conflict': 'None' is not an instance of 'str'"),
    (lambda: K.densify(g1(), None), "argument 'predicate': 'None' is not an instance of 'str'"),
    (lambda: K.infer_types(g1(), 1), "argument 'predicate_iri': 'int' object is not an instance of 'str'"),
    (lambda: K.extract_subgraph_by_types(g1(), "t"), "argument 'types': Can't extract `str` to `Vec`"),
    (lambda: K.extract_subgraph_by_types(g1(), {"t"}), "argument 'types': 'set' object is not an instance of 'Sequence'"),
    (lambda: K.extract_subgraph_by_property(g1(), 1, 1), "argument 'key': 'int' object is not an instance of 'str'"),
    (lambda: K.find_hub_nodes(g1(), 1.0), None),
    (lambda: K.from_triples([], directed=1), "argument 'directed': 'int' object is not an instance of 'bool'"),
])
def test_type_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    if message is not None:
        assert str(info.value) == message


def test_threshold_overflow_is_unprefixed():
    with pytest.raises(OverflowError) as info:
        K.find_hub_nodes(g1(), -1)
    assert "argument" not in str(info.value)
    with pytest.raises(OverflowError):
        K.find_hub_nodes(g1(), 2 ** 64)
    assert K.find_hub_nodes(g1(), 2 ** 64 - 1) == []


def test_graph_checked_before_later_arguments():
    with pytest.raises(TypeError, match="argument 'base'"):
        K.merge_graphs(1, 2, None)
    with pytest.raises(TypeError, match="argument 'graph'"):
        K.find_hub_nodes("g", -1)


@pytest.mark.parametrize("call", [
    lambda g: K.merge_graphs(g, g),
    lambda g: K.merge_graphs(PyGraph(), g),
    lambda g: K.diff_graphs(PyGraph(), g),
    lambda g: K.extract_subgraph_by_property(g, "k", 1),
    lambda g: K.extract_subgraph_by_types(g, ["t"]),
    lambda g: K.project_triples(g),
    lambda g: K.infer_types(g, "p"),
    lambda g: K.densify(g, "p"),
    lambda g: K.find_orphan_nodes(g),
    lambda g: K.find_hub_nodes(g, 0),
    lambda g: K.degree_distribution(g),
])
def test_borrow_conflict_during_mutation(call):
    g = g1()
    seen = []

    class Probe:
        def __str__(self):
            try:
                call(g)
            except RuntimeError as e:
                seen.append(str(e))
            return "p"

    g.add_node("b", {"v": Probe()})
    assert seen == ["Already mutably borrowed"]


def test_borrow_reported_before_bad_conflict():
    g = g1()
    seen = []

    class Probe:
        def __str__(self):
            try:
                K.merge_graphs(PyGraph(), g, None)
            except (RuntimeError, TypeError) as e:
                seen.append(type(e))
            return "p"

    g.add_node("b", {"v": Probe()})
    assert seen == [RuntimeError]


def test_same_graph_twice_shares_the_borrow():
    g = g1()
    assert K.diff_graphs(g, g)["added_nodes"] == []
    assert K.merge_graphs(g, g).node_ids() == ["a"]
