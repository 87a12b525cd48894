"""Property values: host objects to values and back."""
import decimal
import fractions

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from quor_graph._rust.graph import PyGraph


def roundtrip(value):
    g = PyGraph()
    g.add_node("n", {"v": value})
    return g.node("n")["v"]


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
def test_conversion_table(given_value, expected):
    assert repr(roundtrip(given_value)) == repr(expected)  # kind, sign of zero and key order too


@pytest.mark.parametrize("bad", [{1: "int key"}, [{"ok": 1}, {None: 1}]])
def test_non_str_keys_are_refused(bad):
    g = PyGraph()
    with pytest.raises(TypeError, match="object is not an instance of 'str'"):
        g.add_node("n", {"v": bad})
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


@settings(max_examples=150, deadline=None)
@given(json_values)
def test_json_like_values_round_trip_exactly(value):
    got = roundtrip(value)
    assert got == _normalise(value)
    assert repr(got) == repr(_normalise(value))  # same kinds: 1 vs 1.0 vs True
