"""Graph JSON: to_json / from_json, caps, messages, round trips and fuzzing."""
import json
import math
import random

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


# ---- fuzzing: a graph or ValueError, never anything else ----

def valid_corpus():
    g = PyGraph(directed=False, name="f", multi=True)
    g.add_node("a", {"x": [1, 2.5, {"k": None}], "s": "t\u00e9"})
    g.add_node("b", {"n": -3})
    g.add_edge("a", "b", {"w": 1e300})
    g.add_edge("b", "b")
    return [g.to_json(), '[true,false,"",[["a",{}]],[["a","a",{}]]]']


def must_load_or_refuse(text):
    try:
        load(text)
    except ValueError:
        pass


def test_fuzz_truncations_and_mutations():
    rnd = random.Random(1234)
    alphabet = '{}[]":,\\ntrufalse0123456789-+.eE "\x00\u00e9'
    for text in valid_corpus():
        for cut in range(len(text)):
            must_load_or_refuse(text[:cut])
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


@pytest.mark.parametrize("text", [
    "[" * 200000,
    "{\"a\":" * 200000,
    '{"directed":true,"name":"","nodes":[{"id":"n","properties":{"v":' + "[" * 100000 + "]" * 100000 + "}}],\"edges\":[]}",
    '{"directed":true,"name":"","nodes":[{"id":"n","properties":{"v":1' + "0" * 100000 + "}}],\"edges\":[]}",
    '{"directed":true,"name":"","nodes":[{"id":"n","properties":{"v":0.' + "0" * 100000 + "1e99999999999999999999}}],\"edges\":[]}",
    '{"directed":true,"name":"","nodes":[{"id":"n","properties":{"v":1e-99999999999999999999}}],"edges":[]}',
    '"\\ud800\\u0041"',
])
def test_fuzz_hostile_documents(text):
    must_load_or_refuse(text)


def test_huge_number_of_repeated_property_names_is_linear():
    body = ",".join(f'"k{i % 1000}":{i}' for i in range(200000))
    g = load('{"directed":true,"name":"","nodes":[{"id":"n","properties":{' + body + '}}],"edges":[]}')
    p = g.node("n")
    assert len(p) == 1000 and p["k7"] == 199007
