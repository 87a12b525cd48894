"""Property values: host objects to values and back."""
import decimal
import fractions
import math

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from quor_graph._rust import knowledge as K
from quor_graph._rust.graph import PyGraph


def roundtrip(value):
    g = PyGraph()
    g.add_node("n", {"v": value})
    return g.node("n")["v"]


@pytest.mark.parametrize(
    "given_value, expected",
    [
        (None, None),
        (True, True),
        (1, 1),
        (-1, -1),
        (2**63 - 1, 2**63 - 1),
        (-(2**63), -(2**63)),
        (2**63, float(2**63)),
        (10**400, "1" + "0" * 400),
        (1.5, 1.5),
        (-0.0, -0.0),
        (float("nan"), None),
        (float("inf"), None),
        (float("-inf"), None),
        (decimal.Decimal("2.5"), 2.5),
        (fractions.Fraction(1, 4), 0.25),
        ("héllo ✓", "héllo ✓"),
        ((1, 2), "(1, 2)"),
        ({1}, "{1}"),
        (b"x", "b'x'"),
        ("a\ud800b", "a\ufffd\ufffd\ufffdb"),
        ([1, [2.0, {"b": None, "a": "x"}]], [1, [2.0, {"a": "x", "b": None}]]),
    ],
)
def test_conversion_table(given_value, expected):
    got = roundtrip(given_value)
    assert got == expected or (isinstance(expected, float) and math.copysign(1, got) == math.copysign(1, expected))
    assert type(got) is type(expected)


def test_bool_is_not_the_number_one():
    g = PyGraph()
    g.add_node("a", {"v": True})
    g.add_node("b", {"v": 1})
    assert g.node("a")["v"] is True and g.node("b")["v"] == 1 and type(g.node("b")["v"]) is int


def test_numpy_scalars():
    np = pytest.importorskip("numpy")
    assert roundtrip(np.bool_(True)) is True
    assert roundtrip(np.int64(-5)) == -5 and type(roundtrip(np.int64(-5))) is int
    assert roundtrip(np.uint64(2**64 - 1)) == float(2**64 - 1)
    assert roundtrip(np.float32(0.5)) == 0.5
    assert roundtrip(np.float64("nan")) is None
    assert roundtrip(np.array([1, 2])) == "[1 2]"


def test_nested_dict_keys_come_back_sorted():
    value = roundtrip({"b": 1, "a": {"z": 1, "y": 2}})
    assert list(value) == ["a", "b"] and list(value["a"]) == ["y", "z"]


@pytest.mark.parametrize(
    "bad, exc",
    [
        ({1: "int key"}, TypeError),
        ([{"ok": 1}, {None: 1}], TypeError),
    ],
)
def test_non_str_keys_are_refused(bad, exc):
    g = PyGraph()
    with pytest.raises(exc, match="object is not an instance of 'str'"):
        g.add_node("n", {"v": bad})
    assert len(g) == 0


def test_self_containing_and_too_deep_values_fail_cleanly():
    loop = []
    loop.append(loop)
    d = {}
    d["d"] = d
    deep = []
    for _ in range(10_000):
        deep = [deep]
    g = PyGraph()
    for value in (loop, d, deep):
        with pytest.raises(ValueError, match="nested more than"):
            g.add_node("n", {"v": value})
    assert len(g) == 0
    ok = []
    for _ in range(90):
        ok = [ok]
    g.add_node("n", {"v": ok})


def test_str_that_reenters_and_raises():
    g = PyGraph()

    class Reenter:
        def __str__(self):
            return repr(g)

    with pytest.raises(RuntimeError, match="Already mutably borrowed"):
        g.add_node("n", {"v": Reenter()})
    assert len(g) == 0


json_values = st.recursive(
    st.none()
    | st.booleans()
    | st.integers(min_value=-(2**63), max_value=2**63 - 1)
    | st.floats(allow_nan=False, allow_infinity=False)
    | st.text(),
    lambda children: st.lists(children, max_size=4) | st.dictionaries(st.text(), children, max_size=4),
    max_leaves=20,
)


def _normalise(v):
    if isinstance(v, dict):
        return {k: _normalise(v[k]) for k in sorted(v)}
    if isinstance(v, list):
        return [_normalise(x) for x in v]
    return v


@settings(max_examples=300, deadline=None)
@given(json_values)
def test_json_like_values_round_trip_exactly(value):
    got = roundtrip(value)
    assert got == _normalise(value)
    assert repr(got) == repr(_normalise(value))  # same kinds: 1 vs 1.0 vs True


anything = st.recursive(
    st.none()
    | st.booleans()
    | st.integers()
    | st.floats()
    | st.text()
    | st.text(st.characters(exclude_categories=[]))
    | st.binary()
    | st.decimals()
    | st.fractions()
    | st.complex_numbers()
    | st.tuples(st.integers()),
    lambda children: st.lists(children, max_size=4)
    | st.dictionaries(st.text() | st.integers(), children, max_size=4),
    max_leaves=25,
)


@settings(max_examples=300, deadline=None)
@given(anything)
def test_any_value_converts_or_raises_a_normal_exception(value):
    g = PyGraph()
    try:
        g.add_node("n", {"v": value})
    except (TypeError, ValueError):
        assert len(g) == 0
    else:
        assert g.has_node("n")


@pytest.mark.parametrize("given_value, expected", [
    (None, None), (True, True), (1, 1), (-1, -1), (2**63 - 1, 2**63 - 1), (-(2**63), -(2**63)),
    (2**63, float(2**63)), (10**400, "1" + "0" * 400), (1.5, 1.5), (-0.0, -0.0),
    (float("nan"), None), (float("inf"), None), (float("-inf"), None),
    (decimal.Decimal("2.5"), 2.5), (fractions.Fraction(1, 4), 0.25), ("héllo ✓", "héllo ✓"),
    ((1, 2), "(1, 2)"), ({1}, "{1}"), (b"x", "b'x'"), (1j, "1j"), ("a\ud800b", "a\ufffd\ufffd\ufffdb"),
    ([1, [2.0, {"b": None, "a": "x"}]], [1, [2.0, {"a": "x", "b": None}]]),  # keys come back sorted
    (np.bool_(True), True), (np.int64(-5), -5), (np.uint64(2**64 - 1), float(2**64 - 1)),
    (np.float32(0.5), 0.5), (np.float64("nan"), None), (np.array([1, 2]), "[1 2]"),
])
def test_conversion_table_by_repr(given_value, expected):
    assert repr(roundtrip(given_value)) == repr(expected)  # kind, sign of zero and key order too


@pytest.mark.parametrize("bad", [{1: "int key"}, [{"ok": 1}, {None: 1}]])
def test_non_str_keys_are_refused_as_type_errors(bad):
    g = PyGraph()
    with pytest.raises(TypeError, match="object is not an instance of 'str'"):
        g.add_node("n", {"v": bad})
    assert len(g) == 0


@settings(max_examples=150, deadline=None)
@given(json_values)
def test_json_like_values_round_trip_exactly_150_examples(value):
    got = roundtrip(value)
    assert got == _normalise(value)
    assert repr(got) == repr(_normalise(value))  # same kinds: 1 vs 1.0 vs True


def number_like(**dunders):
    # A list subclass: extract_subgraph_by_property takes its own number steps
    # for lists, every other call the conversion's.
    return type("N", (list,), dunders)([1])


def raises(exc):
    def dunder(self):
        raise exc
    return dunder


CALLS = {
    "add_node": lambda g, v: g.add_node("new", {"v": v}),
    "update_node": lambda g, v: g.update_node("a", {"v": v}),
    "set_node_property": lambda g, v: g.set_node_property("a", "v", v),
    "nodes_filtered": lambda g, v: g.nodes_filtered("v", v),
    "extract_subgraph_by_property": lambda g, v: K.extract_subgraph_by_property(g, "v", v),
}


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS)
@pytest.mark.parametrize("dunder", ["__index__", "__float__"])
@pytest.mark.parametrize("exc", [KeyboardInterrupt, MemoryError, RuntimeError])
def test_number_conversion_errors_other_than_no_number_propagate(exc, dunder, call):
    g = PyGraph()
    g.add_node("a", {"v": 1})
    before = g.to_json()
    with pytest.raises(exc):
        call(g, number_like(**{dunder: raises(exc)}))
    assert g.to_json() == before


@pytest.mark.parametrize("exc", [TypeError, ValueError, OverflowError])
def test_a_number_conversion_failing_as_no_number_moves_on(exc):
    index_fails = number_like(__index__=raises(exc), __float__=lambda self: 2.5)
    float_fails = number_like(__float__=raises(exc))
    g = PyGraph()
    g.add_node("a", {"f": index_fails, "l": float_fails, "t": "[1]"})
    assert g.node("a") == {"f": 2.5, "l": [1], "t": "[1]"}
    assert g.nodes_filtered("f", index_fails) == ["a"] == g.nodes_filtered("l", float_fails)
    assert K.extract_subgraph_by_property(g, "f", index_fails).node_ids() == ["a"]
    assert K.extract_subgraph_by_property(g, "t", float_fails).node_ids() == ["a"]  # by its str() text
