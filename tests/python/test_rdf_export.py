"""RDF export: exact Turtle, N-Triples and JSON-LD texts, messages, round trips."""
import collections
import csv
import json
import os
import pathlib
import re

import pytest
from hypothesis import given, settings, strategies as st

import conftest
from quor_graph._rust import rdf
from quor_graph._rust.graph import PyGraph

BIG = 2**64 - 1
DEFAULT = "http://quor-graph.dev/graph#relatedTo"
RDF_TYPE = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type"
NO_SCHEME = "No scheme found in an absolute IRI"
BAD_BLANK = "The blank node identifier is invalid"
DATA = pathlib.Path(__file__).resolve().parent / ".." / ".." / ".." / "shared" / "data"

EXPORTERS = {"turtle": rdf.export_turtle, "ntriples": rdf.export_ntriples}


def build(edges, nodes=(), directed=True, multi=True):
    """A graph of the given nodes, then edges (source, target[, properties])."""
    g = PyGraph(directed=directed, multi=multi)
    for n in nodes:
        g.add_node(n)
    for e in edges:
        s, t = e[0], e[1]
        for n in (s, t):
            if n not in g:
                g.add_node(n)
        g.add_edge(s, t, e[2] if len(e) > 2 else None)
    return g


def p(iri):
    return {"predicate": iri}


FOUR = [("urn:a", "urn:b", p("urn:p")), ("urn:a", "urn:c", p("urn:p")),
        ("urn:a", "urn:b", p("urn:q")), ("urn:d", "urn:a", p("urn:p"))]


# ---- Exact texts ----

def test_four_edge_example_turtle():
    assert rdf.export_turtle(build(FOUR)) == (
        "<urn:a> <urn:p> <urn:b> , <urn:c> ;\n"
        "\t<urn:q> <urn:b> .\n"
        "<urn:d> <urn:p> <urn:a> .\n")


def test_four_edge_example_ntriples():
    assert rdf.export_ntriples(build(FOUR)) == (
        "<urn:a> <urn:p> <urn:b> .\n"
        "<urn:a> <urn:p> <urn:c> .\n"
        "<urn:a> <urn:q> <urn:b> .\n"
        "<urn:d> <urn:p> <urn:a> .\n")


def test_four_edge_example_jsonld():
    g = build(FOUR, nodes=["urn:a", "urn:b", "urn:c", "urn:d", "urn:e"])
    assert rdf.export_jsonld(g) == """{
  "@graph": [
    {
      "@id": "urn:a",
      "urn:p": [
        {
          "@id": "urn:b"
        },
        {
          "@id": "urn:c"
        }
      ],
      "urn:q": {
        "@id": "urn:b"
      }
    },
    {
      "@id": "urn:d",
      "urn:p": {
        "@id": "urn:a"
      }
    },
    {
      "@id": "urn:b"
    },
    {
      "@id": "urn:c"
    }
  ]
}"""


EMPTY_JSONLD = '{\n  "@graph": []\n}'


@pytest.mark.parametrize("g", [PyGraph(), PyGraph(directed=False), build([], nodes=["urn:a", "x y"])],
                         ids=["empty", "undirected", "nodes-only"])
def test_graph_without_edges(g):
    assert rdf.export_turtle(g) == ""
    assert rdf.export_ntriples(g) == ""
    assert rdf.export_jsonld(g) == EMPTY_JSONLD


def test_self_loop():
    g = build([("urn:x", "urn:x", p("urn:p"))])
    assert rdf.export_ntriples(g) == "<urn:x> <urn:p> <urn:x> .\n"
    assert rdf.export_turtle(g) == "<urn:x> <urn:p> <urn:x> .\n"
    assert json.loads(rdf.export_jsonld(g)) == {
        "@graph": [{"@id": "urn:x", "urn:p": {"@id": "urn:x"}}]}


def test_parallel_edges():
    g = build([("urn:x", "urn:y", p("urn:p"))] * 3)
    assert rdf.export_ntriples(g) == "<urn:x> <urn:p> <urn:y> .\n" * 3
    assert rdf.export_turtle(g) == "<urn:x> <urn:p> <urn:y> , <urn:y> , <urn:y> .\n"
    assert json.loads(rdf.export_jsonld(g)) == {
        "@graph": [{"@id": "urn:x", "urn:p": [{"@id": "urn:y"}] * 3}, {"@id": "urn:y"}]}


def test_turtle_groups_only_consecutive_statements():
    g = build([("urn:a", "urn:b", p("urn:p")), ("urn:c", "urn:d", p("urn:p")),
               ("urn:a", "urn:e", p("urn:p"))])
    assert rdf.export_turtle(g) == ("<urn:a> <urn:p> <urn:b> .\n"
                                    "<urn:c> <urn:p> <urn:d> .\n"
                                    "<urn:a> <urn:p> <urn:e> .\n")


def test_turtle_predicate_comes_back_after_another():
    g = build([("urn:a", "urn:b", p("urn:p")), ("urn:a", "urn:b", p("urn:q")),
               ("urn:a", "urn:c", p("urn:p"))])
    assert rdf.export_turtle(g) == ("<urn:a> <urn:p> <urn:b> ;\n"
                                    "\t<urn:q> <urn:b> ;\n"
                                    "\t<urn:p> <urn:c> .\n")


def test_rdf_type_is_a_in_turtle_only():
    g = build([("urn:x", "urn:C", p(RDF_TYPE)), ("urn:x", "urn:D", p(RDF_TYPE)),
               ("urn:x", "urn:y", p("urn:p"))])
    assert rdf.export_turtle(g) == "<urn:x> a <urn:C> , <urn:D> ;\n\t<urn:p> <urn:y> .\n"
    assert rdf.export_ntriples(g).splitlines()[0] == f"<urn:x> <{RDF_TYPE}> <urn:C> ."


@pytest.mark.parametrize("props, expected", [
    (None, DEFAULT),
    ({}, DEFAULT),
    ({"predicate": "urn:p"}, "urn:p"),
    ({"type": "urn:t"}, "urn:t"),
    ({"predicate": "urn:p", "type": "urn:t"}, "urn:p"),
    ({"type": "urn:t", "predicate": "urn:p"}, "urn:p"),
    ({"predicate": 5, "type": "urn:t"}, "urn:t"),
    ({"predicate": None, "type": "urn:t"}, "urn:t"),
    ({"predicate": ["urn:p"], "type": True}, DEFAULT),
    ({"predicate": {"a": "urn:p"}, "type": 1.5}, DEFAULT),
    ({"label": "urn:l", "weight": 2}, DEFAULT),
])
def test_predicate_rule(props, expected):
    g = build([("urn:x", "urn:y", props)])
    assert rdf.export_ntriples(g) == f"<urn:x> <{expected}> <urn:y> .\n"
    assert rdf.export_turtle(g) == f"<urn:x> <{expected}> <urn:y> .\n"
    doc = json.loads(rdf.export_jsonld(g))
    assert doc["@graph"][0] == {"@id": "urn:x", expected: {"@id": "urn:y"}}


def test_default_predicate_shape():
    assert DEFAULT.startswith("http://") and DEFAULT.endswith("/graph#relatedTo")


@pytest.mark.parametrize("node_id", ["_:b0", "_:0", "_:_x", "_:a.b", "_:a-b", "_:\u00e9t\u00e9",
                                     "_:x\u00b7\u0301\u203f", "_:\U00010000"])
def test_blank_nodes_are_written_as_labels(node_id):
    g = build([(node_id, "urn:o", p("urn:p")), ("urn:s", node_id, p("urn:p"))])
    assert rdf.export_ntriples(g) == f"{node_id} <urn:p> <urn:o> .\n<urn:s> <urn:p> {node_id} .\n"


def test_iris_keep_non_ascii_raw():
    iri = "http://\u4f8b\u3048.jp/\u30d1\u30b9?q#\u65ad"
    g = build([(iri, iri, p(iri))])
    assert rdf.export_ntriples(g) == f"<{iri}> <{iri}> <{iri}> .\n"


def test_properties_and_isolated_nodes_never_appear():
    g = PyGraph(multi=True)
    g.add_node("urn:a", {"label": "urn:L", "predicate": "urn:NP"})
    g.add_node("urn:b", {"type": "urn:T"})
    g.add_node("urn:lonely", {"label": "x"})
    g.add_edge("urn:a", "urn:b", {"predicate": "urn:p", "label": "urn:EL", "weight": 3})
    nt = rdf.export_ntriples(g)
    assert nt == "<urn:a> <urn:p> <urn:b> .\n"
    for text in (nt, rdf.export_turtle(g), rdf.export_jsonld(g)):
        for absent in ("urn:L", "urn:NP", "urn:T", "urn:lonely", "urn:EL", "weight"):
            assert absent not in text


def test_undirected_graph_keeps_stored_orientation():
    g = build([("urn:y", "urn:x", p("urn:p")), ("urn:x", "urn:z", p("urn:p"))], directed=False)
    assert rdf.export_ntriples(g) == "<urn:y> <urn:p> <urn:x> .\n<urn:x> <urn:p> <urn:z> .\n"
    assert [o["@id"] for o in json.loads(rdf.export_jsonld(g))["@graph"]] == [
        "urn:x", "urn:y", "urn:z"]


def test_edge_order_follows_reused_slots():
    g = build([("urn:a", "urn:b", p("urn:p")), ("urn:a", "urn:c", p("urn:p"))])
    g.remove_edge("urn:a", "urn:b")
    g.add_node("urn:d")
    g.add_edge("urn:d", "urn:a", p("urn:q"))  # takes the vacated first slot
    assert rdf.export_ntriples(g) == "<urn:d> <urn:q> <urn:a> .\n<urn:a> <urn:p> <urn:c> .\n"


# ---- Validation and messages ----

@pytest.mark.parametrize("fn", EXPORTERS.values(), ids=EXPORTERS.keys())
@pytest.mark.parametrize("edge, message", [
    (("urn:x", "urn:y", p("")), f"Invalid predicate IRI '': {NO_SCHEME}"),
    (("urn:x", "urn:y", {"predicate": "", "type": "urn:t"}), f"Invalid predicate IRI '': {NO_SCHEME}"),
    (("urn:x", "urn:y", p("knows")), f"Invalid predicate IRI 'knows': {NO_SCHEME}"),
    (("urn:x", "urn:y", p("@id")), f"Invalid predicate IRI '@id': {NO_SCHEME}"),
    (("urn:x", "urn:y", {"type": "relatedTo"}), f"Invalid predicate IRI 'relatedTo': {NO_SCHEME}"),
    (("alice", "urn:y"), f"Invalid subject IRI 'alice': {NO_SCHEME}"),
    (("urn:x", "alice"), f"Invalid object IRI 'alice': {NO_SCHEME}"),
    (("_x", "urn:y"), f"Invalid subject IRI '_x': {NO_SCHEME}"),
    (("_:", "urn:y"), f"Invalid blank node id '_:': {BAD_BLANK}"),
    (("_:a b", "urn:y"), f"Invalid blank node id '_:a b': {BAD_BLANK}"),
    (("urn:x", "_:a b"), f"Invalid blank node id '_:a b': {BAD_BLANK}"),
    (("urn:x", "_:a."), f"Invalid blank node id '_:a.': {BAD_BLANK}"),
    (("urn:x", "_:-a"), f"Invalid blank node id '_:-a': {BAD_BLANK}"),
    (("urn:x", "_:.a"), f"Invalid blank node id '_:.a': {BAD_BLANK}"),
    # A ':' inside a label would read back as "_:a" followed by a prefixed name.
    (("urn:x", "_::a"), f"Invalid blank node id '_::a': {BAD_BLANK}"),
    (("urn:x", "_:a:b"), f"Invalid blank node id '_:a:b': {BAD_BLANK}"),
    (("http://a b/", "urn:y"), "Invalid subject IRI 'http://a b/': Invalid IRI code point U+0020"),
    (("urn:x", "http://a/%zz"), "Invalid object IRI 'http://a/%zz': Invalid IRI percent encoding '%zz'"),
    (("urn:x", "urn:<b>"), "Invalid object IRI 'urn:<b>': Invalid IRI character '<'"),
    (("urn:x", "urn:y", p("urn:a b")), "Invalid predicate IRI 'urn:a b': Invalid IRI code point U+0020"),
])
def test_refusals(fn, edge, message):
    with pytest.raises(ValueError) as info:
        fn(build([edge]))
    assert info.value.args == (message,)


@pytest.mark.parametrize("fn", EXPORTERS.values(), ids=EXPORTERS.keys())
@pytest.mark.parametrize("edge, message", [
    (("alice", "bob", p("pred")), f"Invalid predicate IRI 'pred': {NO_SCHEME}"),
    (("alice", "bob", p("urn:p")), f"Invalid subject IRI 'alice': {NO_SCHEME}"),
    (("_:", "bob", p("urn:p")), f"Invalid blank node id '_:': {BAD_BLANK}"),
    (("urn:a", "bob", p("urn:p")), f"Invalid object IRI 'bob': {NO_SCHEME}"),
])
def test_checks_run_predicate_subject_object(fn, edge, message):
    with pytest.raises(ValueError) as info:
        fn(build([edge]))
    assert str(info.value) == message


@pytest.mark.parametrize("fn", EXPORTERS.values(), ids=EXPORTERS.keys())
def test_a_later_invalid_edge_fails_the_whole_export(fn):
    g = build([("urn:a", "urn:b", p("urn:p"))] * 100 + [("urn:a", "nope", p("urn:p"))])
    with pytest.raises(ValueError, match="^Invalid object IRI 'nope': "):
        fn(g)


@pytest.mark.parametrize("fn", EXPORTERS.values(), ids=EXPORTERS.keys())
def test_a_node_is_refused_in_each_role(fn):
    # The same bad id, valid nowhere, is named as object on its first edge.
    g = build([("urn:a", "bad", p("urn:p")), ("bad", "urn:a", p("urn:p"))])
    with pytest.raises(ValueError, match="^Invalid object IRI 'bad': "):
        fn(g)


def test_jsonld_never_validates():
    g = build([("alice", "_:b0", p("knows")), ("_:", "x y", {"type": ""})])
    doc = json.loads(rdf.export_jsonld(g))
    assert doc == {"@graph": [
        {"@id": "_:", "": {"@id": "x y"}},
        {"@id": "alice", "knows": {"@id": "_:b0"}},
        {"@id": "_:b0"},
        {"@id": "x y"},
    ]}


def test_jsonld_source_order_is_bytewise_then_targets_in_node_order():
    g = build([("a", "t2", p("p")), ("B", "t1", p("p")), ("ab", "t0", p("p")),
               ("\u00e9", "t3", p("p")), ("z", "t3", p("p"))],
              nodes=["t3", "t0", "t1", "t2", "lonely"])
    ids = [o["@id"] for o in json.loads(rdf.export_jsonld(g))["@graph"]]
    assert ids == ["B", "a", "ab", "z", "\u00e9", "t3", "t0", "t1", "t2"]


def test_jsonld_keys_are_bytewise_around_at_id():
    g = build([("urn:x", "urn:1", p("9p")), ("urn:x", "urn:2", p("Ap")), ("urn:x", "urn:3", p("#h")),
               ("urn:x", "urn:4", p("?q")), ("urn:x", "urn:5", p("ap"))])
    text = rdf.export_jsonld(g)
    first = json.loads(text, object_pairs_hook=lambda pairs: pairs)[0][1][0]
    keys = [k for k, _ in first]
    assert keys == ["#h", "9p", "?q", "@id", "Ap", "ap"]


def test_jsonld_refuses_an_at_id_predicate():
    # An "@id" key would replace the source's own id and lose the node.
    g = build([("urn:x", "urn:z", p("urn:p")), ("urn:x", "urn:y", p("@id")),
               ("urn:w", "urn:y", p("@id"))])
    with pytest.raises(ValueError) as info:
        rdf.export_jsonld(g)
    assert info.value.args == (
        "Edge 'urn:x' -> 'urn:y' has the predicate '@id', which JSON-LD reserves for node ids",)
    assert g.n_edges == 3


def test_jsonld_escapes_like_graph_json():
    node = 'q"\\\t\n\r\b\f\x01\x1f\x7f\u00e9\u2603'
    g = build([(node, "urn:y", p("urn:p\n"))])
    text = rdf.export_jsonld(g)
    assert '"q\\"\\\\\\t\\n\\r\\b\\f\\u0001\\u001f\x7f\u00e9\u2603"' in text
    assert '"urn:p\\n": {' in text
    assert json.loads(text)["@graph"][0]["@id"] == node


def test_jsonld_undirected_orientation():
    g = build([("x", "y", p("p"))], directed=False)
    assert json.loads(rdf.export_jsonld(g)) == {
        "@graph": [{"@id": "x", "p": {"@id": "y"}}, {"@id": "y"}]}


# ---- Frame ----

@pytest.mark.parametrize("name", ["export_turtle", "export_ntriples", "export_jsonld"])
def test_frame(name):
    fn = getattr(rdf, name)
    assert fn.__text_signature__ == "(graph)"
    kind = {"export_turtle": "Turtle", "export_ntriples": "N-Triples",
            "export_jsonld": "JSON-LD"}[name]
    assert fn.__doc__ == f"Export a Graph to {kind} format string."
    assert fn(graph=PyGraph()) in ("", EMPTY_JSONLD)
    with pytest.raises(TypeError, match=rf"^{name}\(\) missing 1 required positional argument: 'graph'$"):
        fn()
    with pytest.raises(TypeError, match=rf"^{name}\(\) takes 1 positional arguments but 2 were given$"):
        fn(PyGraph(), PyGraph())
    with pytest.raises(TypeError, match=rf"^{name}\(\) got an unexpected keyword argument 'g'$"):
        fn(g=PyGraph())
    with pytest.raises(TypeError) as info:
        fn("urn:a")
    assert str(info.value) == "argument 'graph': 'str' object is not an instance of 'PyGraph'"
    assert isinstance(info.value.__cause__, TypeError)
    with pytest.raises(TypeError, match="^argument 'graph': 'None' is not an instance of 'PyGraph'$"):
        fn(None)


@pytest.mark.parametrize("name", ["export_turtle", "export_ntriples", "export_jsonld"])
def test_export_under_exclusive_borrow_fails(name):
    g = PyGraph()
    seen = []

    class Probe:
        def __str__(self):
            try:
                getattr(rdf, name)(g)
            except RuntimeError as e:
                seen.append(str(e))
            return "probe"

    g.add_node("urn:a", {"k": Probe()})
    assert seen == ["Already mutably borrowed"]
    assert g.node("urn:a") == {"k": "probe"}


def test_export_leaves_the_graph_unchanged():
    g = build(FOUR + [("urn:a", "bad", p("urn:p"))])
    before = g.to_json()
    for fn in (rdf.export_turtle, rdf.export_ntriples):
        with pytest.raises(ValueError):
            fn(g)
    rdf.export_jsonld(g)
    assert g.to_json() == before


# ---- Reference models (differential) ----

def predicate_of(props):
    for key in ("predicate", "type"):
        if isinstance(props.get(key), str):
            return props[key]
    return DEFAULT


def term(node_id):
    return node_id if node_id.startswith("_:") else f"<{node_id}>"


def ref_ntriples(g):
    return "".join(f"{term(s)} <{predicate_of(d)}> {term(t)} .\n" for s, t, d in g.edges())


def ref_turtle(g):
    out, prev = [], None
    for s, t, d in g.edges():
        pred = predicate_of(d)
        pt = "a" if pred == RDF_TYPE else f"<{pred}>"
        if prev and prev == (s, pred):
            out.append(f" , {term(t)}")
        elif prev and prev[0] == s:
            out.append(f" ;\n\t{pt} {term(t)}")
        else:
            out.append(f"{' .' + chr(10) if prev else ''}{term(s)} {pt} {term(t)}")
        prev = (s, pred)
    return "".join(out) + (" .\n" if prev else "")


def ref_jsonld(g):
    by_source = {}
    for s, t, d in g.edges():
        by_source.setdefault(s, {}).setdefault(predicate_of(d), []).append(t)
    nodes = []
    for s in sorted(by_source, key=lambda x: x.encode()):
        obj = {"@id": s}
        for pred, targets in by_source[s].items():
            obj[pred] = {"@id": targets[0]} if len(targets) == 1 else [{"@id": t} for t in targets]
        nodes.append(obj)
    nodes += [{"@id": n} for n in g.node_ids() if n not in by_source and g.degree(n) > 0]
    return json.dumps({"@graph": nodes}, indent=2, ensure_ascii=False, sort_keys=True)


IDS = ["urn:a", "urn:b", "http://x/\u00e9", "_:b0", "_:n1", "urn:c#f"]
PREDS = [{"predicate": "urn:p"}, {"predicate": "urn:q"}, {"type": "urn:t"}, {"predicate": RDF_TYPE},
         {}, {"predicate": 3, "type": "urn:p"}]


@settings(max_examples=200, deadline=None)
@given(st.booleans(),
       st.lists(st.tuples(st.sampled_from(IDS), st.sampled_from(IDS), st.sampled_from(PREDS)),
                max_size=25),
       st.lists(st.integers(0, 30), max_size=5))
def test_writers_match_reference_models(directed, edges, removals):
    g = build(edges, directed=directed)
    listed = g.edges()
    for k in removals:
        if listed:
            s, t, _ = listed[k % len(listed)]
            if g.has_edge(s, t):
                g.remove_edge(s, t)
    for s, t, d in edges[:3]:
        g.add_edge(s, t, d)  # reuses vacant slots
    assert rdf.export_ntriples(g) == ref_ntriples(g)
    assert rdf.export_turtle(g) == ref_turtle(g)
    assert rdf.export_jsonld(g) == ref_jsonld(g)


@settings(max_examples=150, deadline=None)
@given(st.lists(st.tuples(st.text(min_size=0, max_size=6), st.text(min_size=0, max_size=6),
                          st.one_of(st.none(), st.text(max_size=6))), max_size=12))
def test_jsonld_matches_reference_on_arbitrary_text(edges):
    g = build([(s, t, None if pr is None else {"predicate": pr}) for s, t, pr in edges])
    if any(pr == "@id" for _, _, pr in edges):
        with pytest.raises(ValueError, match="reserves for node ids"):
            rdf.export_jsonld(g)
    else:
        assert rdf.export_jsonld(g) == ref_jsonld(g)


# ---- Round trips through the loader ----

needs_loader = pytest.mark.skipif(
    not (hasattr(rdf, "load_rdf_string") and hasattr(rdf, "load_rdf_file")),
    reason="RDF loader not available")

EXT_FORMAT = {".nt": "nt", ".nq": "nq", ".ttl": "ttl", ".trig": "trig", ".rdf": "rdfxml",
              ".owl": "rdfxml"}
# The one refusal a suite document may get: a relative IRI, as the loaders
# take no base (Turtle and TriG name an IRI, RDF/XML a reference).
NO_BASE = re.compile(r"Parse error: Relative IRI (<[^>]*>|reference '[^']*') with no base IRI in scope "
                     r"at line \d+ column \d+")


def canonical_edges(g):
    """Edge multiset with blank labels renamed by first appearance in edge order."""
    names = {}

    def canon(node_id):
        if node_id.startswith("_:"):
            return names.setdefault(node_id, f"_:c{len(names)}")
        return node_id

    return collections.Counter((canon(s), d["predicate"], canon(t)) for s, t, d in g.edges())


def round_trip(g):
    expected = canonical_edges(g)
    nt = rdf.export_ntriples(g)
    g2, stats = rdf.load_rdf_string(nt, "nt", BIG, BIG)
    assert stats["literal_properties"] == 0
    assert canonical_edges(g2) == expected
    ttl = rdf.export_turtle(g)
    g3, _ = rdf.load_rdf_string(ttl, "ttl", BIG, BIG)
    assert canonical_edges(g3) == expected
    # Same statements, same order: the reloaded graph exports the same text.
    assert rdf.export_ntriples(g3) == nt


def real_documents():
    manifest = DATA / "rdf-real" / "MANIFEST.tsv"
    if not manifest.is_file():
        return []
    with open(manifest, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f, delimiter="\t"))
    return [pytest.param(r["file"], id=r["file"]) for r in rows
            if r["status"] == "ok" and not r["needs_base"].startswith("yes")]


def w3c_documents():
    index = DATA / "w3c-rdf11" / "index.tsv"
    if not index.is_file():
        return []
    with open(index, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f, delimiter="\t"))
    docs = []
    for r in rows:
        if "Negative" in r["type"]:
            continue
        docs.append(r["action"])
        if r["result"]:
            docs.append(r["result"])
    return [pytest.param(d, id=d) for d in dict.fromkeys(docs)]


@needs_loader
@pytest.mark.parametrize("name", real_documents() or [pytest.param(None, marks=pytest.mark.skip(
    reason="shared data not present"))])
def test_round_trip_real_documents(name):
    g, stats = rdf.load_rdf_file(str(DATA / "rdf-real" / name), BIG, BIG)
    assert stats["edges"] > 0
    round_trip(g)


@needs_loader
@pytest.mark.parametrize("name", w3c_documents() or [pytest.param(None, marks=pytest.mark.skip(
    reason="shared data not present"))])
def test_round_trip_w3c_positive(name):
    path = DATA / "w3c-rdf11" / name
    text = path.read_text(encoding="utf-8")
    try:
        g, _ = rdf.load_rdf_string(text, EXT_FORMAT[path.suffix], BIG, BIG)
    except ValueError as e:
        assert NO_BASE.fullmatch(str(e)), str(e)
        pytest.skip("needs a base IRI")
    round_trip(g)


@needs_loader
def test_round_trip_of_blank_nodes_and_types():
    text = """@prefix : <http://ex.org/> .
    :a a :C ; :p [ :q :b ; :r ( :x :y ) ] , _:lbl .
    _:lbl :s _:lbl ; :t "literal" .
    """
    g, stats = rdf.load_rdf_string(text, "ttl", BIG, BIG)
    assert stats["literal_properties"] == 1
    ttl = rdf.export_turtle(g)
    assert ttl.startswith("<http://ex.org/a> a <http://ex.org/C> ;\n\t<http://ex.org/p> ")
    round_trip(g)


@needs_loader
def test_export_of_loaded_graph_keeps_statement_order():
    nt = "".join(f"<urn:s{i % 7}> <urn:p{i % 3}> <urn:o{i}> .\n" for i in range(200))
    g, _ = rdf.load_rdf_string(nt, "nt", BIG, BIG)
    assert rdf.export_ntriples(g) == nt


def graph(edges, nodes=(), directed=True):
    """A multigraph of the given nodes, then edges (source, target[, predicate or properties])."""
    g = PyGraph(directed=directed, multi=True)
    for n in nodes:
        g.add_node(n)
    for s, t, *x in edges:
        for n in (s, t):
            if n not in g:
                g.add_node(n)
        props = x[0] if x else None
        g.add_edge(s, t, {"predicate": props} if isinstance(props, str) else props)
    return g


def jsonld(g):
    return json.loads(rdf.export_jsonld(g))


FOUR_BY_PREDICATE = [("urn:a", "urn:b", "urn:p"), ("urn:a", "urn:c", "urn:p"), ("urn:a", "urn:b", "urn:q"),
                     ("urn:d", "urn:a", "urn:p")]


def test_four_edge_example():
    g = graph(FOUR_BY_PREDICATE, nodes=["urn:a", "urn:b", "urn:c", "urn:d", "urn:e"])
    assert rdf.export_turtle(g) == "<urn:a> <urn:p> <urn:b> , <urn:c> ;\n\t<urn:q> <urn:b> .\n<urn:d> <urn:p> <urn:a> .\n"
    assert rdf.export_ntriples(g) == ("<urn:a> <urn:p> <urn:b> .\n<urn:a> <urn:p> <urn:c> .\n"
                                      "<urn:a> <urn:q> <urn:b> .\n<urn:d> <urn:p> <urn:a> .\n")
    # Two-space indents, as json.dumps(indent=2) writes them.
    assert rdf.export_jsonld(g) == json.dumps({"@graph": [
        {"@id": "urn:a", "urn:p": [{"@id": "urn:b"}, {"@id": "urn:c"}], "urn:q": {"@id": "urn:b"}},
        {"@id": "urn:d", "urn:p": {"@id": "urn:a"}}, {"@id": "urn:b"}, {"@id": "urn:c"}]}, indent=2)


def test_self_loops_and_parallel_edges():
    g = graph([("urn:x", "urn:x", "urn:p")] + [("urn:x", "urn:y", "urn:p")] * 3)
    assert rdf.export_ntriples(g) == "<urn:x> <urn:p> <urn:x> .\n" + "<urn:x> <urn:p> <urn:y> .\n" * 3
    assert rdf.export_turtle(g) == "<urn:x> <urn:p> <urn:x> , <urn:y> , <urn:y> , <urn:y> .\n"
    assert jsonld(g) == {"@graph": [{"@id": "urn:x", "urn:p": [{"@id": "urn:x"}] + [{"@id": "urn:y"}] * 3},
                                    {"@id": "urn:y"}]}


@pytest.mark.parametrize("edges, text", [
    ([("urn:a", "urn:b", "urn:p"), ("urn:c", "urn:d", "urn:p"), ("urn:a", "urn:e", "urn:p")],
     "<urn:a> <urn:p> <urn:b> .\n<urn:c> <urn:p> <urn:d> .\n<urn:a> <urn:p> <urn:e> .\n"),
    ([("urn:a", "urn:b", "urn:p"), ("urn:a", "urn:b", "urn:q"), ("urn:a", "urn:c", "urn:p")],
     "<urn:a> <urn:p> <urn:b> ;\n\t<urn:q> <urn:b> ;\n\t<urn:p> <urn:c> .\n"),
    ([("urn:x", "urn:C", RDF_TYPE), ("urn:x", "urn:D", RDF_TYPE), ("urn:x", "urn:y", "urn:p")],
     "<urn:x> a <urn:C> , <urn:D> ;\n\t<urn:p> <urn:y> .\n"),
])
def test_turtle_grouping_table(edges, text):
    assert rdf.export_turtle(graph(edges)) == text


def test_terms_as_written():
    iri = "http://\u4f8b\u3048.jp/\u30d1\u30b9?q#\u65ad"  # non-ASCII stays raw
    for node in ("_:b0", "_:a.b", "_:\u00e9t\u00e9"):
        g = graph([(node, iri, iri), ("urn:s", node, "urn:p")])
        assert rdf.export_ntriples(g) == f"{node} <{iri}> <{iri}> .\n<urn:s> <urn:p> {node} .\n"


def test_only_edges_appear_in_stored_orientation_and_slot_order():
    g = PyGraph(multi=True)
    g.add_node("urn:a", {"label": "urn:L", "predicate": "urn:NP"})
    g.add_node("urn:b", {"type": "urn:T"})
    g.add_node("urn:lonely")
    g.add_edge("urn:a", "urn:b", {"predicate": "urn:p", "label": "urn:EL", "weight": 3})
    for text in (rdf.export_ntriples(g), rdf.export_turtle(g), rdf.export_jsonld(g)):
        assert all(absent not in text for absent in ("urn:L", "urn:NP", "urn:T", "urn:lonely", "urn:EL", "weight"))
    u = graph([("urn:y", "urn:x", "urn:p"), ("urn:x", "urn:z", "urn:p")], directed=False)
    assert rdf.export_ntriples(u) == "<urn:y> <urn:p> <urn:x> .\n<urn:x> <urn:p> <urn:z> .\n"
    assert [o["@id"] for o in jsonld(u)["@graph"]] == ["urn:x", "urn:y", "urn:z"]
    u.remove_edge("urn:y", "urn:x")
    u.add_node("urn:d")
    u.add_edge("urn:d", "urn:x", {"predicate": "urn:q"})  # takes the vacated first slot
    assert rdf.export_ntriples(u) == "<urn:d> <urn:q> <urn:x> .\n<urn:x> <urn:p> <urn:z> .\n"


@pytest.mark.parametrize("fn", EXPORTERS.values(), ids=EXPORTERS.keys())
@pytest.mark.parametrize("edges, message", [
    ([("urn:x", "urn:y", {"predicate": "", "type": "urn:t"})], f"Invalid predicate IRI '': {NO_SCHEME}"),
    ([("urn:x", "urn:y", {"type": "relatedTo"})], f"Invalid predicate IRI 'relatedTo': {NO_SCHEME}"),
    ([("alice", "bob", "pred")], f"Invalid predicate IRI 'pred': {NO_SCHEME}"),  # predicate first,
    ([("alice", "bob", "urn:p")], f"Invalid subject IRI 'alice': {NO_SCHEME}"),  # then subject,
    ([("urn:a", "bob", "urn:p")], f"Invalid object IRI 'bob': {NO_SCHEME}"),  # then object
    ([("_:", "urn:y")], f"Invalid blank node id '_:': {BAD_BLANK}"),
    ([("urn:x", "_:a:b")], f"Invalid blank node id '_:a:b': {BAD_BLANK}"),  # would read back as two terms
    ([("urn:x", "http://a/%zz")], "Invalid object IRI 'http://a/%zz': Invalid IRI percent encoding '%zz'"),
    ([("urn:a", "urn:b", "urn:p")] * 100 + [("urn:a", "nope", "urn:p")], f"Invalid object IRI 'nope': {NO_SCHEME}"),
    ([("urn:a", "bad", "urn:p"), ("bad", "urn:a", "urn:p")], f"Invalid object IRI 'bad': {NO_SCHEME}"),
])
def test_refusals_name_the_first_bad_term(fn, edges, message):
    g = graph(edges)
    before = g.to_json()
    with pytest.raises(ValueError) as info:
        fn(g)
    assert info.value.args == (message,) and g.to_json() == before


def test_jsonld_never_validates_and_orders_bytewise():
    g = graph([("alice", "_:b0", "knows"), ("_:", "x y", {"type": ""})])
    assert jsonld(g) == {"@graph": [{"@id": "_:", "": {"@id": "x y"}}, {"@id": "alice", "knows": {"@id": "_:b0"}},
                                    {"@id": "_:b0"}, {"@id": "x y"}]}
    g = graph([("a", "t2", "p"), ("B", "t1", "p"), ("ab", "t0", "p"), ("\u00e9", "t3", "p"), ("z", "t3", "p")],
              nodes=["t3", "t0", "t1", "t2", "lonely"])
    assert [o["@id"] for o in jsonld(g)["@graph"]] == ["B", "a", "ab", "z", "\u00e9", "t3", "t0", "t1", "t2"]
    g = graph([("urn:x", f"urn:{i}", pr) for i, pr in enumerate(["9p", "Ap", "#h", "?q", "ap"])])
    first = json.loads(rdf.export_jsonld(g), object_pairs_hook=lambda pairs: pairs)[0][1][0]
    assert [k for k, _ in first] == ["#h", "9p", "?q", "@id", "Ap", "ap"]


def test_round_trip_of_blank_nodes_types_and_statement_order():
    text = """@prefix : <http://ex.org/> .
    :a a :C ; :p [ :q :b ; :r ( :x :y ) ] , _:lbl .
    _:lbl :s _:lbl ; :t "literal" .
    """
    g, stats = rdf.load_rdf_string(text, "ttl", BIG, BIG)
    assert stats["literal_properties"] == 1
    assert rdf.export_turtle(g).startswith("<http://ex.org/a> a <http://ex.org/C> ;\n\t<http://ex.org/p> ")
    round_trip(g)
    nt = "".join(f"<urn:s{i % 7}> <urn:p{i % 3}> <urn:o{i}> .\n" for i in range(200))
    assert rdf.export_ntriples(rdf.load_rdf_string(nt, "nt", BIG, BIG)[0]) == nt


@pytest.mark.parametrize("g", [PyGraph(), PyGraph(directed=False), graph([], nodes=["urn:a", "x y"])],
                         ids=["empty", "undirected", "nodes-only"])
def test_graph_without_edges_in_one_comparison(g):
    assert (rdf.export_turtle(g), rdf.export_ntriples(g), rdf.export_jsonld(g)) == ("", "", '{\n  "@graph": []\n}')


@pytest.mark.parametrize("props, expected", [
    (None, DEFAULT), ({"type": "urn:t"}, "urn:t"), ({"type": "urn:t", "predicate": "urn:p"}, "urn:p"),
    ({"predicate": 5, "type": "urn:t"}, "urn:t"), ({"predicate": ["urn:p"], "type": True}, DEFAULT),
    ({"label": "urn:l", "weight": 2}, DEFAULT),
])
def test_predicate_rule_short_table(props, expected):
    g = graph([("urn:x", "urn:y", props)])
    assert rdf.export_ntriples(g) == rdf.export_turtle(g) == f"<urn:x> <{expected}> <urn:y> .\n"
    assert jsonld(g)["@graph"][0] == {"@id": "urn:x", expected: {"@id": "urn:y"}}


def test_jsonld_refuses_an_at_id_predicate_given_as_a_string():
    # An "@id" key would replace the source's own id and lose the node.
    g = graph([("urn:x", "urn:z", "urn:p"), ("urn:x", "urn:y", "@id"), ("urn:w", "urn:y", "@id")])
    with pytest.raises(ValueError) as info:
        rdf.export_jsonld(g)
    assert info.value.args == ("Edge 'urn:x' -> 'urn:y' has the predicate '@id', which JSON-LD reserves for node ids",)


def test_jsonld_escapes_like_graph_json_string_predicate():
    node = 'q"\\\t\n\r\b\f\x01\x1f\x7f\u00e9\u2603'
    text = rdf.export_jsonld(graph([(node, "urn:y", "urn:p\n")]))
    assert '"q\\"\\\\\\t\\n\\r\\b\\f\\u0001\\u001f\x7f\u00e9\u2603"' in text and '"urn:p\\n": {' in text
    assert json.loads(text)["@graph"][0]["@id"] == node


def rows(path, keep):
    if not path.is_file():
        return [pytest.param(None, marks=pytest.mark.skip(reason="shared data not present"))]
    with open(path, newline="", encoding="utf-8") as f:
        return [pytest.param(r, id=r.get("file") or r["action"]) for r in csv.DictReader(f, delimiter="\t") if keep(r)]


@pytest.mark.parametrize("row", rows(conftest.REAL / "MANIFEST.tsv",
                                     lambda r: r["status"] == "ok" and not r["needs_base"].startswith("yes")))
def test_round_trip_real_documents_from_the_manifest(row):
    g, stats = rdf.load_rdf_file(str(conftest.REAL / row["file"]), BIG, BIG)
    assert stats["edges"] > 0
    round_trip(g)


@pytest.mark.parametrize("row", rows(conftest.W3C / "index.tsv", lambda r: "Negative" not in r["type"]))
def test_round_trip_w3c_positive_actions_and_results(row):
    for name in filter(None, (row["action"], row["result"])):
        path = conftest.W3C / name
        try:
            g, _ = rdf.load_rdf_string(path.read_text(encoding="utf-8"), EXT_FORMAT[path.suffix], BIG, BIG)
        except ValueError as e:
            assert NO_BASE.fullmatch(str(e)), str(e)
            continue
        round_trip(g)
