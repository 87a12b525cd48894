"""RDF export: exact Turtle, N-Triples and JSON-LD texts, refusals, and round
trips through the loader. The IRI validator's cases are pinned by the core tests."""
import collections
import csv
import json

import pytest

from conftest import BIG, REAL, W3C
from quor_graph._rust import rdf
from quor_graph._rust.graph import PyGraph

DEFAULT = "http://quor-graph.dev/graph#relatedTo"
RDF_TYPE = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type"
NO_SCHEME = "No scheme found in an absolute IRI"
BAD_BLANK = "The blank node identifier is invalid"
EXPORTERS = {"turtle": rdf.export_turtle, "ntriples": rdf.export_ntriples}


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


FOUR = [("urn:a", "urn:b", "urn:p"), ("urn:a", "urn:c", "urn:p"), ("urn:a", "urn:b", "urn:q"),
        ("urn:d", "urn:a", "urn:p")]


def test_four_edge_example():
    g = graph(FOUR, nodes=["urn:a", "urn:b", "urn:c", "urn:d", "urn:e"])
    assert rdf.export_turtle(g) == "<urn:a> <urn:p> <urn:b> , <urn:c> ;\n\t<urn:q> <urn:b> .\n<urn:d> <urn:p> <urn:a> .\n"
    assert rdf.export_ntriples(g) == ("<urn:a> <urn:p> <urn:b> .\n<urn:a> <urn:p> <urn:c> .\n"
                                      "<urn:a> <urn:q> <urn:b> .\n<urn:d> <urn:p> <urn:a> .\n")
    # Two-space indents, as json.dumps(indent=2) writes them.
    assert rdf.export_jsonld(g) == json.dumps({"@graph": [
        {"@id": "urn:a", "urn:p": [{"@id": "urn:b"}, {"@id": "urn:c"}], "urn:q": {"@id": "urn:b"}},
        {"@id": "urn:d", "urn:p": {"@id": "urn:a"}}, {"@id": "urn:b"}, {"@id": "urn:c"}]}, indent=2)


@pytest.mark.parametrize("g", [PyGraph(), PyGraph(directed=False), graph([], nodes=["urn:a", "x y"])],
                         ids=["empty", "undirected", "nodes-only"])
def test_graph_without_edges(g):
    assert (rdf.export_turtle(g), rdf.export_ntriples(g), rdf.export_jsonld(g)) == ("", "", '{\n  "@graph": []\n}')


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
def test_turtle_groups_only_consecutive_statements(edges, text):
    assert rdf.export_turtle(graph(edges)) == text


@pytest.mark.parametrize("props, expected", [
    (None, DEFAULT), ({"type": "urn:t"}, "urn:t"), ({"type": "urn:t", "predicate": "urn:p"}, "urn:p"),
    ({"predicate": 5, "type": "urn:t"}, "urn:t"), ({"predicate": ["urn:p"], "type": True}, DEFAULT),
    ({"label": "urn:l", "weight": 2}, DEFAULT),
])
def test_predicate_rule(props, expected):
    g = graph([("urn:x", "urn:y", props)])
    assert rdf.export_ntriples(g) == rdf.export_turtle(g) == f"<urn:x> <{expected}> <urn:y> .\n"
    assert jsonld(g)["@graph"][0] == {"@id": "urn:x", expected: {"@id": "urn:y"}}


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


def test_jsonld_refuses_an_at_id_predicate():
    # An "@id" key would replace the source's own id and lose the node.
    g = graph([("urn:x", "urn:z", "urn:p"), ("urn:x", "urn:y", "@id"), ("urn:w", "urn:y", "@id")])
    with pytest.raises(ValueError) as info:
        rdf.export_jsonld(g)
    assert info.value.args == ("Edge 'urn:x' -> 'urn:y' has the predicate '@id', which JSON-LD reserves for node ids",)


def test_jsonld_escapes_like_graph_json():
    node = 'q"\\\t\n\r\b\f\x01\x1f\x7f\u00e9\u2603'
    text = rdf.export_jsonld(graph([(node, "urn:y", "urn:p\n")]))
    assert '"q\\"\\\\\\t\\n\\r\\b\\f\\u0001\\u001f\x7f\u00e9\u2603"' in text and '"urn:p\\n": {' in text
    assert json.loads(text)["@graph"][0]["@id"] == node


# ---- Round trips through the loader ----

EXT_FORMAT = {".nt": "nt", ".nq": "nq", ".ttl": "ttl", ".trig": "trig", ".rdf": "rdfxml", ".owl": "rdfxml"}


def canonical_edges(g):
    """Edge multiset with blank labels renamed by first appearance in edge order."""
    names = {}

    def canon(node_id):
        return names.setdefault(node_id, f"_:c{len(names)}") if node_id.startswith("_:") else node_id

    return collections.Counter((canon(s), d["predicate"], canon(t)) for s, t, d in g.edges())


def round_trip(g):
    expected = canonical_edges(g)
    nt = rdf.export_ntriples(g)
    g2, stats = rdf.load_rdf_string(nt, "nt", BIG, BIG)
    assert stats["literal_properties"] == 0 and canonical_edges(g2) == expected
    g3, _ = rdf.load_rdf_string(rdf.export_turtle(g), "ttl", BIG, BIG)
    assert canonical_edges(g3) == expected
    assert rdf.export_ntriples(g3) == nt  # same statements, same order


def rows(path, keep):
    if not path.is_file():
        return [pytest.param(None, marks=pytest.mark.skip(reason="shared data not present"))]
    with open(path, newline="", encoding="utf-8") as f:
        return [pytest.param(r, id=r.get("file") or r["action"]) for r in csv.DictReader(f, delimiter="\t") if keep(r)]


@pytest.mark.parametrize("row", rows(REAL / "MANIFEST.tsv",
                                     lambda r: r["status"] == "ok" and not r["needs_base"].startswith("yes")))
def test_round_trip_real_documents(row):
    g, stats = rdf.load_rdf_file(str(REAL / row["file"]), BIG, BIG)
    assert stats["edges"] > 0
    round_trip(g)


@pytest.mark.parametrize("row", rows(W3C / "index.tsv", lambda r: "Negative" not in r["type"]))
def test_round_trip_w3c_positive(row):
    for name in filter(None, (row["action"], row["result"])):
        path = W3C / name
        try:
            g, _ = rdf.load_rdf_string(path.read_text(encoding="utf-8"), EXT_FORMAT[path.suffix], BIG, BIG)
        except ValueError as e:
            assert "relative" in str(e).lower() or "base" in str(e).lower()  # the loaders take no base
            continue
        round_trip(g)


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
