"""Property filters: nodes_filtered and edges_filtered."""
import math

import pytest

from quor_graph._rust.graph import PyGraph


@pytest.fixture
def g():
    g = PyGraph(directed=False, multi=True)
    g.add_node("int", {"v": 1})
    g.add_node("float", {"v": 1.0})
    g.add_node("bool", {"v": True})
    g.add_node("null", {"v": None})
    g.add_node("nan", {"v": math.nan})
    g.add_node("list", {"v": [1, 2]})
    g.add_node("obj", {"v": {"a": 1, "b": [None]}})
    g.add_node("tuple_text", {"v": "(1, 2)"})
    g.add_node("bare")
    g.add_node("other", {"w": 1})
    return g


@pytest.mark.parametrize("value, expected", [
    (1, ["int"]),
    (1.0, ["float"]),
    (True, ["bool"]),
    (None, ["null", "nan"]),
    (math.nan, ["null", "nan"]),
    ([1, 2], ["list"]),
    ([2, 1], []),
    ({"b": [None], "a": 1}, ["obj"]),
    ((1, 2), ["tuple_text"]),
    ("missing", []),
])
def test_nodes_filtered_is_kind_exact(g, value, expected):
    assert g.nodes_filtered("v", value) == expected


def test_json_loaded_float_matches_float_only():
    g = PyGraph.from_json('{"directed":true,"name":"","nodes":[["a",{"v":1.0}],["b",{"v":1}]],"edges":[]}',
                          1000, 10, 10)
    assert g.nodes_filtered("v", 1.0) == ["a"]
    assert g.nodes_filtered("v", 1) == ["b"]


def test_edges_filtered_in_edge_order_and_stored_orientation(g):
    g.add_edge("int", "float", {"k": "x", "n": 1})
    g.add_edge("bool", "int", {"k": "y"})
    g.add_edge("float", "int", {"k": "x"})
    g.add_edge("float", "int", {"k": "x"})
    assert g.edges_filtered("k", "x") == [("int", "float", {"k": "x", "n": 1}),
                                          ("float", "int", {"k": "x"}), ("float", "int", {"k": "x"})]
    assert g.edges_filtered("nope", None) == []


def test_argument_errors(g):
    with pytest.raises(TypeError, match="^argument 'key'"):
        g.nodes_filtered(1, 1)
    with pytest.raises(TypeError):
        g.edges_filtered("v", {1: 2})
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'value'"):
        g.nodes_filtered("v")
    assert PyGraph().nodes_filtered(key="v", value=1) == [] == PyGraph().edges_filtered("v", 1)
    assert PyGraph.edges_filtered.__doc__ == ("Return edges where the property `key` equals `value`.\n"
                                              "Each entry is (source, target, properties_dict).")
