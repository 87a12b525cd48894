"""Graph JSON: to_json / from_json, caps, messages, round trips and fuzzing."""
import copy
import json
import math
import pickle
import random
import re

import pytest
from hypothesis import given, settings, strategies as st

from quor_graph._rust.graph import PyGraph

BIG = 2**64 - 1


def load(text, max_bytes=BIG, max_nodes=BIG, max_edges=BIG):
    return PyGraph.from_json(text, max_bytes, max_nodes, max_edges)


def doc(nodes=(), edges=(), **fields):
    d = {"directed": True, "multi": False, "name": "", **fields}
    d["nodes"] = [{"id": n, "properties": {}} for n in nodes]
    d["edges"] = [{"source": s, "target": t, "properties": {}} for s, t in edges]
    return json.dumps(d)


def test_empty_graph_text_is_exact():
    assert PyGraph().to_json() == '{"directed":true,"multi":false,"name":"","nodes":[],"edges":[]}'


def test_signatures_and_docstrings():
    assert PyGraph.to_json.__text_signature__ == "($self)"
    assert PyGraph.to_json.__doc__ == "Serialize to JSON string."
    assert PyGraph.from_json.__text_signature__ == "(data, max_bytes, max_nodes, max_edges)"
    assert "QuorGraphSettings" in PyGraph.from_json.__doc__


def test_writer_forms():
    g = PyGraph(name='q"\\\t\u00e9')
    g.add_node("n", {"i": 1, "f": 1.0, "big": 1e16, "tiny": 1e-6, "neg": -0.0, "nan": math.nan,
                     "o": {"b": 1, "a": 2}, "s": "\x01\x7f\u2603"})
    text = g.to_json()
    assert '"name":"q\\"\\\\\\t\u00e9"' in text
    for part in ('"i":1', '"f":1.0', '"big":1e+16', '"tiny":1e-6', '"neg":-0.0', '"nan":null',
                 '"o":{"a":2,"b":1}', '"s":"\\u0001\x7f\u2603"'):
        assert part in text


@pytest.mark.parametrize("text, message", [
    ("", "EOF while parsing a value at line 1 column 0"),
    ("   ", "EOF while parsing a value at line 1 column 3"),
    ('{"directed":true,"nodes":[],"edges":[]}', "missing field `name` at line 1 column 39"),
    ('{"directed":true,"name":"","nodes":[],"edges":[],"extra":1}',
     "unknown field `extra`, expected one of `directed`, `multi`, `name`, `nodes`, `edges` "
     "at line 1 column 56"),
    ('{"directed":true,"name":"","name":""}', "duplicate field `name` at line 1 column 33"),
    ('{"directed":null}', "invalid type: null, expected a boolean at line 1 column 16"),
    ('[true]', "invalid length 2, expected struct GraphJson with 5 elements at line 1 column 6"),
    ('{"directed":true,"name":"","nodes":[{"id":"a","properties":{"v":1e400}}],"edges":[]}',
     "number out of range at line 1 column 69"),
    ('{"directed":true,"name":"","nodes":[],"edges":[]}\n}', "trailing characters at line 2 column 1"),
])
def test_parse_errors(text, message):
    with pytest.raises(ValueError) as info:
        load(text)
    assert info.value.args == (message,)


@pytest.mark.parametrize("text, message", [
    (doc(["a", "a"]), "Node 'a' already exists"),
    (doc(["a"], [("a", "b")]), "Target node 'b' not found"),
    (doc(["a"], [("z", "a")]), "Source node 'z' not found"),
    (doc(["a", "b"], [("a", "b"), ("a", "b")]), "Edge 'a' -> 'b' already exists"),
    (doc(["a", "b"], [("a", "b"), ("b", "a")], directed=False), "Edge 'b' -> 'a' already exists"),
])
def test_insertion_errors(text, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        load(text)


def test_multi_and_self_loops_load():
    g = load(doc(["a", "b"], [("a", "b"), ("b", "a"), ("a", "b"), ("a", "a")], directed=False, multi=True))
    assert g.n_edges == 4 and not g.is_directed and g.is_multi
    d = json.loads(doc(["a"]))
    del d["multi"]
    assert load(json.dumps(d)).is_multi is False


def test_caps():
    text = doc(["a", "b"], [("a", "b")])
    n = len(text.encode())
    assert load(text, n, 2, 1).n_nodes == 2
    with pytest.raises(ValueError, match=rf"^Graph JSON is {n} bytes; refusing to parse above {n - 1} "
                                         r"bytes \(raise QuorGraphSettings.max_bytes if intended\).$"):
        load(text, n - 1)
    with pytest.raises(ValueError, match=r"^Graph JSON declares 2 nodes; refusing above max_nodes=1 "
                                         r"\(raise QuorGraphSettings.max_nodes if intended\).$"):
        load(text, max_nodes=1, max_edges=0)
    with pytest.raises(ValueError, match=r"^Graph JSON declares 1 edges; refusing above max_edges=0 "):
        load(text, max_edges=0)
    # Bytes, not characters; and the byte cap comes before parsing.
    with pytest.raises(ValueError, match="^Graph JSON is 2 bytes"):
        load("\u00e9", 1)
    assert load(doc(), max_nodes=0).n_nodes == 0


@pytest.mark.parametrize("args, exc", [
    ((1, 1, 1, 1), TypeError),
    (("{}", -1, 1, 1), OverflowError),
    (("{}", 1, 2**64, 1), OverflowError),
    (("{}", 1, 1, 1.0), TypeError),
])
def test_argument_errors(args, exc):
    with pytest.raises(exc):
        PyGraph.from_json(*args)


def test_from_json_keywords_and_array_forms():
    g = PyGraph.from_json(data='[false,true,"n",[["a",{"k":[1,2]}],["b",{}]],[["a","b",{}]]]',
                          max_bytes=100, max_nodes=2, max_edges=1)
    assert (g.is_directed, g.is_multi, g.name, g.node("a"), g.edges()) == \
        (False, True, "n", {"k": [1, 2]}, [("a", "b", {})])


def test_number_kinds_survive():
    g = load(doc(["n"]).replace('"properties": {}', '"properties": {"u": 18446744073709551615, '
                                '"i": -5, "f": 1.0, "z": -0, "big": 123456789012345678901234}'))
    p = g.node("n")
    assert p["u"] == 18446744073709551615.0 and isinstance(p["u"], float)
    assert p["i"] == -5 and isinstance(p["i"], int)
    assert isinstance(p["f"], float) and math.copysign(1, p["z"]) == -1
    assert isinstance(p["big"], float)
    assert '"u":18446744073709551615' in g.to_json()


def test_round_trip_keeps_order_after_removals():
    g = PyGraph(directed=False, name="r", multi=True)
    for n in "abcd":
        g.add_node(n, {"n": n})
    g.add_edge("b", "a", {"w": 1})
    g.add_edge("c", "d")
    g.remove_node("c")
    g.add_node("e")
    g.add_edge("e", "e")
    g.add_edge("a", "b", {"w": 2})
    h = load(g.to_json())
    assert h.node_ids() == g.node_ids() == ["a", "b", "e", "d"]
    assert h.edges() == g.edges()
    assert h.to_json() == g.to_json()


# ---- property-based round trip ----

json_scalars = st.one_of(
    st.none(), st.booleans(), st.integers(-2**63, 2**63 - 1),
    st.floats(allow_nan=False, allow_infinity=False), st.text(max_size=8))
json_values = st.recursive(
    json_scalars,
    lambda inner: st.one_of(st.lists(inner, max_size=4),
                            st.dictionaries(st.text(max_size=4), inner, max_size=4)),
    max_leaves=12)
props = st.dictionaries(st.text(max_size=6), json_values, max_size=4)


def kinds(v):
    if isinstance(v, dict):
        return {k: kinds(x) for k, x in v.items()}
    if isinstance(v, list):
        return [kinds(x) for x in v]
    return (type(v).__name__, v if not isinstance(v, float) else (v, math.copysign(1, v)))


@st.composite
def graphs(draw):
    directed, multi = draw(st.booleans()), draw(st.booleans())
    g = PyGraph(directed=directed, name=draw(st.text(max_size=5)), multi=multi)
    ids = draw(st.lists(st.text(min_size=1, max_size=5), unique=True, max_size=8))
    for i in ids:
        g.add_node(i, draw(props))
    if ids:
        for _ in range(draw(st.integers(0, 12))):
            s, t = draw(st.sampled_from(ids)), draw(st.sampled_from(ids))
            if multi or not g.has_edge(s, t):
                g.add_edge(s, t, draw(props))
        for i in draw(st.lists(st.sampled_from(ids), max_size=2, unique=True)):
            g.remove_node(i)
    return g


def same_graph(a, b):
    assert (a.is_directed, a.is_multi, a.name) == (b.is_directed, b.is_multi, b.name)
    assert a.node_ids() == b.node_ids()
    for n in a.node_ids():
        assert kinds(a.node(n)) == kinds(b.node(n))
    assert [(s, t, kinds(p)) for s, t, p in a.edges()] == [(s, t, kinds(p)) for s, t, p in b.edges()]


@settings(max_examples=150, deadline=None)
@given(graphs())
def test_round_trip_property(g):
    h = load(g.to_json())
    same_graph(g, h)
    assert h.to_json() == g.to_json()


# ---- fuzzing: a graph, or a ValueError whose message and position are checked ----

def valid_corpus():
    g = PyGraph(directed=False, name="f", multi=True)
    g.add_node("a", {"x": [1, 2.5, {"k": None}], "s": "t\u00e9"})
    g.add_node("b", {"n": -3})
    g.add_edge("a", "b", {"w": 1e300})
    g.add_edge("b", "b")
    return [g.to_json(), '[true,false,"",[["a",{}]],[["a","a",{}]]]']


SYNTAX = {"expected value", "expected ident", "expected `,` or `]`", "expected `,` or `}`", "expected `:`",
          "key must be a string", "trailing comma", "invalid escape", "invalid number",
          "control character (\\u0000-\\u001F) found while parsing a string",
          "lone leading surrogate in hex escape", "unexpected end of hex escape", "invalid unicode code point"}
FOUND = r"(null|boolean `(true|false)`|integer `-?\d+`|floating point `[^`]+`|string \".*\"|sequence|map)"
RECORD = r"(a boolean|a string|a map|a sequence|struct (Graph|Node|Edge)Json)"
FIELD = r"(directed|multi|name|nodes|edges|id|properties|source|target)"
DATA = re.compile(  # a JSON value that is no graph JSON, or a limit
    rf"invalid type: {FOUND}, expected {RECORD}"
    r"|invalid length \d+, expected struct (GraphJson with 5|NodeJson with 2|EdgeJson with 3) elements"
    r"|unknown field `.*`, expected (one of `directed`, `multi`, `name`, `nodes`, `edges`|`id` or `properties`"
    r"|one of `source`, `target`, `properties`)"
    rf"|(missing|duplicate) field `{FIELD}`|number out of range|recursion limit exceeded", re.S)
INSERTION = re.compile(r"Node '.*' already exists|(Source|Target) node '.*' not found"
                       r"|Edge '.*' -> '.*' already exists", re.S)


def check_refusal(text, message):
    """The message is one the reader makes, placed where the json module (the
    referee) says the text stops being JSON, or before it for a value that is
    no graph JSON. A position is the last byte read: line and column in bytes."""
    try:
        json.loads(text)
        bad = None
    except json.JSONDecodeError as e:
        bad = len(text[:e.pos].encode())  # the start of the token it rejects
    at = re.fullmatch(r"(.+) at line (\d+) column (\d+)", message, re.S)
    if not at:
        assert bad is None and INSERTION.fullmatch(message), message
        return
    what, line, column = at[1], int(at[2]), int(at[3])
    lines = text.encode().split(b"\n")
    assert 1 <= line <= len(lines) and 0 <= column <= len(lines[line - 1]), message
    offset = sum(len(x) + 1 for x in lines[:line - 1]) + column - 1
    in_token = bad is not None and 0 <= offset - bad <= 4  # `false` fails at most 4 bytes in
    before = bad is None or offset <= bad  # records are read in order
    if what.startswith("EOF while parsing "):
        assert what[18:] in ("a value", "a list", "an object", "a string"), message
        assert (line, column) == (len(lines), len(lines[-1])), message
    elif what == "trailing characters":  # after the value, or the items of a record array
        assert in_token or before, message
    elif what in SYNTAX:
        assert in_token, message
    else:
        assert DATA.fullmatch(what) and before, message


def must_load_or_refuse(text):
    try:
        load(text)
    except ValueError as e:
        check_refusal(text, *e.args)
        return e.args[0]


def test_fuzz_truncations_and_mutations():
    rnd = random.Random(1234)
    alphabet = '{}[]":,\\ntrufalse0123456789-+.eE "\x00\u00e9'
    for text in valid_corpus():
        for cut in range(len(text)):
            assert must_load_or_refuse(text[:cut]).startswith("EOF while parsing ")
        for _ in range(1500):
            chars = list(text)
            for _ in range(rnd.randint(1, 4)):
                i = rnd.randrange(len(chars))
                op = rnd.random()
                if op < 0.4:
                    chars[i] = rnd.choice(alphabet)
                elif op < 0.7:
                    del chars[i]
                else:
                    chars.insert(i, rnd.choice(alphabet))
            must_load_or_refuse("".join(chars))


@settings(max_examples=300, deadline=None)
@given(st.text(alphabet=st.sampled_from(list('{}[]":,\\0123456789-.eEtrunlfas "')), max_size=60))
def test_fuzz_random_text(text):
    must_load_or_refuse(text)


NODE_V = '{"directed":true,"name":"","nodes":[{"id":"n","properties":{"v":'


@pytest.mark.parametrize("text, message", [
    ("[" * 200000, "invalid type: sequence, expected a boolean at line 1 column 1"),
    ("{\"a\":" * 200000,
     "unknown field `a`, expected one of `directed`, `multi`, `name`, `nodes`, `edges` at line 1 column 4"),
    (NODE_V + "[" * 100000 + "]" * 100000 + "}}],\"edges\":[]}", "recursion limit exceeded at line 1 column 188"),
    (NODE_V + "1" + "0" * 100000 + "}}],\"edges\":[]}", "number out of range at line 1 column 100065"),
    (NODE_V + "0." + "0" * 100000 + "1e99999999999999999999}}],\"edges\":[]}",
     "number out of range at line 1 column 100088"),
    (NODE_V + "1e-99999999999999999999}}],\"edges\":[]}", None),  # 0.0
    ('"\\ud800\\u0041"', "lone leading surrogate in hex escape at line 1 column 13"),
])
def test_fuzz_hostile_documents(text, message):
    if message is None:
        assert load(text).node("n") == {"v": 0.0}
        return
    with pytest.raises(ValueError) as info:
        load(text)
    assert info.value.args == (message,)


def test_huge_number_of_repeated_property_names_is_linear():
    body = ",".join(f'"k{i % 1000}":{i}' for i in range(200000))
    g = load('{"directed":true,"name":"","nodes":[{"id":"n","properties":{' + body + '}}],"edges":[]}')
    p = g.node("n")
    assert len(p) == 1000 and p["k7"] == 199007


@pytest.mark.parametrize("text, message", [
    ("", "EOF while parsing a value at line 1 column 0"),
    ('{"directed":true,"name":"","nodes":[],"edges":[],"extra":1}',
     "unknown field `extra`, expected one of `directed`, `multi`, `name`, `nodes`, `edges` at line 1 column 56"),
    (doc(["a", "a"]), "Node 'a' already exists"),
    (doc(["a"], [("a", "b")]), "Target node 'b' not found"),
    (doc(["a"], [("z", "a")]), "Source node 'z' not found"),
    (doc(["a", "b"], [("a", "b"), ("a", "b")]), "Edge 'a' -> 'b' already exists"),
    (doc(["a", "b"], [("a", "b"), ("b", "a")], directed=False), "Edge 'b' -> 'a' already exists"),
])
def test_refusals_are_value_errors_with_the_message_unchanged(text, message):
    with pytest.raises(ValueError) as info:
        load(text)
    assert info.value.args == (message,)


def test_multi_written_after_the_edges_decides():
    g = load(doc(["a", "b"], [("a", "b"), ("b", "a"), ("a", "b"), ("a", "a")], directed=False, multi=True))
    assert (g.n_edges, g.is_directed, g.is_multi) == (4, False, True)
    d = json.loads(doc(["a"]))
    del d["multi"]
    assert load(json.dumps(d)).is_multi is False
    # "multi" decides for the edges even when it is written after them.
    text = '{"directed":true,"name":"","nodes":[["a",{}],["b",{}]],"edges":[["a","b",{}],["a","b",{}]],"multi":true}'
    assert load(text).edges() == [("a", "b", {}), ("a", "b", {})] and load(text).is_multi
    with pytest.raises(ValueError, match="^Edge 'a' -> 'b' already exists$"):
        load(text.replace('"multi":true', '"multi":false'))


def test_caps_with_whole_messages():
    text = doc(["a", "b"], [("a", "b")])
    n = len(text.encode())
    assert load(text, n, 2, 1).n_nodes == 2
    with pytest.raises(ValueError, match=rf"^Graph JSON is {n} bytes; refusing to parse above {n - 1} "
                                         r"bytes \(raise QuorGraphSettings.max_bytes if intended\).$"):
        load(text, n - 1)
    with pytest.raises(ValueError, match=r"^Graph JSON declares 2 nodes; refusing above max_nodes=1 "
                                         r"\(raise QuorGraphSettings.max_nodes if intended\).$"):
        load(text, max_nodes=1, max_edges=0)
    with pytest.raises(ValueError, match=r"^Graph JSON declares 1 edges; refusing above max_edges=0 "
                                         r"\(raise QuorGraphSettings.max_edges if intended\).$"):
        load(text, max_edges=0)
    with pytest.raises(ValueError, match="^Graph JSON is 2 bytes"):  # bytes, checked before parsing
        load("\u00e9", 1)
    assert load(doc(), max_nodes=0, max_edges=0).n_nodes == 0


def test_number_kinds_reach_python():
    g = load(doc(["n"]).replace('"properties": {}', '"properties": {"u": 18446744073709551615, '
                                '"i": -5, "f": 1.0, "big": 123456789012345678901234}'))
    p = g.node("n")
    assert (p["u"], type(p["u"]), p["i"], type(p["i"]), type(p["f"]), type(p["big"])) == (
        18446744073709551615.0, float, -5, int, float, float)
    assert '"u":18446744073709551615' in g.to_json()


@st.composite
def graphs_with_a_reused_slot(draw):
    directed, multi = draw(st.booleans()), draw(st.booleans())
    g = PyGraph(directed=directed, name=draw(st.text(max_size=5)), multi=multi)
    ids = draw(st.lists(st.text(min_size=1, max_size=5), unique=True, max_size=8))
    for i in ids:
        g.add_node(i, draw(props))
    if ids:
        for _ in range(draw(st.integers(0, 12))):
            s, t = draw(st.sampled_from(ids)), draw(st.sampled_from(ids))
            if multi or not g.has_edge(s, t):
                g.add_edge(s, t, draw(props))
        for i in draw(st.lists(st.sampled_from(ids), max_size=2, unique=True)):
            g.remove_node(i)
        if draw(st.booleans()):  # a node (its id longer than any drawn), in a vacant slot if any
            g.add_node("fresh!")
            g.add_edge("fresh!", draw(st.sampled_from(g.node_ids())))
    return g


@settings(max_examples=100, deadline=None)
@given(graphs_with_a_reused_slot())
def test_round_trip_property_with_a_reused_slot(g):
    h = load(g.to_json())
    assert (g.is_directed, g.is_multi, g.name, g.node_ids()) == (h.is_directed, h.is_multi, h.name, h.node_ids())
    assert [kinds(g.node(n)) for n in g.node_ids()] == [kinds(h.node(n)) for n in h.node_ids()]
    assert [(s, t, kinds(p)) for s, t, p in g.edges()] == [(s, t, kinds(p)) for s, t, p in h.edges()]
    assert h.to_json() == g.to_json()


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


def test_state_is_magic_plus_json_and_round_trips():
    assert PyGraph().__getstate__() == b'QGR1{"directed":true,"multi":false,"name":"","nodes":[],"edges":[]}'
    g = sample()
    assert g.__getstate__() == b"QGR1" + g.to_json().encode()
    for protocol in range(2, pickle.HIGHEST_PROTOCOL + 1):
        assert snapshot(pickle.loads(pickle.dumps(g, protocol))) == snapshot(g)
    for clone in (copy.copy, copy.deepcopy):
        h = clone(g)
        assert h is not g and snapshot(h) == snapshot(g)
        h.add_node("c")
        assert "c" not in g


@pytest.mark.parametrize("state", [bytes, bytearray, list, tuple, memoryview, type("B", (bytes,), {})])
def test_state_forms_accepted(state):
    g = PyGraph()
    g.__setstate__(state(sample().__getstate__()))
    assert snapshot(g) == snapshot(sample())


@pytest.mark.parametrize("state, exc, message", [
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
