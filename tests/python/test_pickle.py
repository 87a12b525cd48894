"""Pickle state: __getstate__ / __setstate__, pickle, copy, and hostile states."""
import copy
import pickle
import random

import pytest
from hypothesis import given, settings, strategies as st

from quor_graph._rust.graph import PyGraph

CAP = 67108864


def sample():
    g = PyGraph(directed=False, name="p", multi=True)
    g.add_node("a", {"w": 1, "f": 1.0, "l": [None, True, {"k": "v"}]})
    g.add_node("b")
    g.add_edge("a", "b", {"x": -2})
    g.add_edge("b", "a")
    return g


def snapshot(g):
    return (g.is_directed, g.is_multi, g.name, g.node_ids(), g.edges(), g.to_json())


def test_state_is_magic_plus_json():
    g = sample()
    state = g.__getstate__()
    assert isinstance(state, bytes) and state == b"QGR1" + g.to_json().encode()
    assert PyGraph.__getstate__.__text_signature__ == "($self)"
    assert PyGraph.__setstate__.__text_signature__ == "($self, state)"


@pytest.mark.parametrize("protocol", range(2, pickle.HIGHEST_PROTOCOL + 1))
def test_pickle_round_trip(protocol):
    g = sample()
    assert snapshot(pickle.loads(pickle.dumps(g, protocol))) == snapshot(g)


@pytest.mark.parametrize("clone", [copy.copy, copy.deepcopy])
def test_copies_are_independent(clone):
    g = sample()
    h = clone(g)
    assert h is not g and snapshot(h) == snapshot(g)
    h.add_node("c")
    assert "c" not in g


@pytest.mark.parametrize("state", [
    lambda s: s,
    bytearray,
    list,
    tuple,
    lambda s: memoryview(s),
    type("B", (bytes,), {}),
])
def test_state_forms_accepted(state):
    g = PyGraph()
    g.__setstate__(state(sample().__getstate__()))
    assert snapshot(g) == snapshot(sample())


@pytest.mark.parametrize("state, exc, message", [
    ("QGR1{}", TypeError, "argument 'state': Can't extract `str` to `Vec`"),
    (5, TypeError, "argument 'state': 'int' object is not an instance of 'Sequence'"),
    ([81, 71, 82, 49, 1.5], TypeError, "argument 'state': 'float' object cannot be interpreted as an integer"),
    ([81, 256], OverflowError, "out of range integral type conversion attempted"),
    ([-1], OverflowError, "out of range integral type conversion attempted"),
    ([2**70], OverflowError, None),
    (b"QGR", ValueError, "quor-graph pickle payload too short to contain magic header."),
    (b"QGR2{}", ValueError, "quor-graph pickle magic mismatch: expected b'QGR1', got [81, 71, 82, 50]. "
                            "Pickled state from a different quor-graph release or format."),
    (b"abcd", ValueError, "quor-graph pickle magic mismatch: expected b'QGR1', got [97, 98, 99, 100]. "
                          "Pickled state from a different quor-graph release or format."),
    (b"QGR1", ValueError, "EOF while parsing a value at line 1 column 0"),
    (b"QGR1\"\xff\"", ValueError, "quor-graph pickle payload after magic header is not UTF-8: "
                                  "invalid utf-8 sequence of 1 bytes from index 1"),
    (b"QGR1ab\xe2\x82", ValueError, "quor-graph pickle payload after magic header is not UTF-8: "
                                    "incomplete utf-8 byte sequence from index 2"),
    (b"QGR1{\"directed\":true}", ValueError, "missing field `name` at line 1 column 17"),
])
def test_refused_states_leave_the_graph_alone(state, exc, message):
    g = sample()
    before = snapshot(g)
    with pytest.raises(exc) as info:
        g.__setstate__(state)
    if message is not None:
        assert str(info.value) == message
    assert snapshot(g) == before


def test_size_cap_counts_the_whole_state():
    g = sample()
    before = snapshot(g)
    with pytest.raises(ValueError) as info:
        g.__setstate__(b"x" * (CAP + 1))
    assert str(info.value) == (
        f"quor-graph pickle payload is {CAP + 1} bytes; refusing to deserialize above {CAP} bytes "
        "(audit A2-#4). Set state on a smaller graph or deserialize from a trusted source through "
        "Graph.from_json().")
    text = b'{"directed":true,"name":"","nodes":[],"edges":[]}'
    exact = b"QGR1" + text + b" " * (CAP - 4 - len(text))
    g.__setstate__(exact)  # exactly the cap passes
    assert g.n_nodes == 0
    g.__setstate__(sample().__getstate__())
    assert snapshot(g) == before


def test_large_graph_pickles_but_its_state_is_refused():
    g = PyGraph()
    g.add_node("n", {"blob": "x" * CAP})
    state = g.__getstate__()
    assert len(state) > CAP
    with pytest.raises(ValueError, match="^quor-graph pickle payload is"):
        pickle.loads(pickle.dumps(g))


def test_setstate_keywords_and_binding():
    g = PyGraph()
    g.__setstate__(state=sample().__getstate__())
    assert g.n_nodes == 2
    with pytest.raises(TypeError, match=r"PyGraph.__setstate__\(\) missing 1 required positional argument: 'state'"):
        g.__setstate__()


@settings(max_examples=200, deadline=None)
@given(st.binary(max_size=80))
def test_fuzz_random_states(data):
    g = sample()
    before = snapshot(g)
    for state in (data, b"QGR1" + data):
        try:
            g.__setstate__(state)
            g.__setstate__(sample().__getstate__())
        except ValueError:
            assert snapshot(g) == before


def test_fuzz_mutated_states():
    rnd = random.Random(7)
    base = bytearray(sample().__getstate__())
    g = sample()
    before = snapshot(g)
    for _ in range(3000):
        s = bytearray(base)
        for _ in range(rnd.randint(1, 3)):
            s[rnd.randrange(len(s))] = rnd.randrange(256)
        if rnd.random() < 0.3:
            del s[rnd.randrange(len(s)):]
        try:
            g.__setstate__(bytes(s))
            g.__setstate__(bytes(base))
        except ValueError:
            assert snapshot(g) == before
