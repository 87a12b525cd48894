"""RDF loading: load_rdf_string and load_rdf_file, their caps, messages,
statistics and the mapping of statements onto the graph."""
import csv
import os

import pytest

from conftest import BIG, REAL
from quor_graph._rust import rdf

EX = "http://example.org/"
RDF_TYPE = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type"
STAT_KEYS = ["total_triples", "nodes", "edges", "literal_properties", "load_time_ms"]
UNKNOWN_FORMAT = (
    "Unknown RDF format: '{}'. Supported: turtle, ttl, ntriples, nt, rdfxml, xml, owl, "
    "nquads, nq, trig"
)
UNKNOWN_EXT = (
    "Unknown RDF file extension for {}; pass an explicit format "
    "(turtle/ntriples/rdfxml/nquads/trig) via load_rdf_string instead."
)


def load(data, fmt="ttl", max_bytes=BIG, triple_cap=BIG):
    return rdf.load_rdf_string(data, fmt, max_bytes, triple_cap)


def check_identity(stats, g):
    assert list(stats) == STAT_KEYS
    assert stats["edges"] + stats["literal_properties"] == stats["total_triples"]
    assert stats["nodes"] == g.n_nodes and stats["edges"] == g.n_edges
    assert all(type(v) is int and v >= 0 for v in stats.values())


def ntriples(n, literal_every=0):
    """n statements, every literal_every-th with a literal object."""
    lines = []
    for i in range(n):
        if literal_every and i % literal_every == 0:
            obj = f'"v{i}"'
        else:
            obj = f"<{EX}o{i % 7}>"
        lines.append(f"<{EX}s{i % 5}> <{EX}p{i % 3}> {obj} .")
    return "\n".join(lines) + ("\n" if lines else "")


# One document per syntax, with the same three statements (two edges, one
# literal). Each is valid only in the syntaxes that share its keyword.
DOCS = {
    "turtle": f'@prefix e: <{EX}> . e:a e:p e:b ; e:q "x" . e:b e:p e:a .',
    "ntriples": f'<{EX}a> <{EX}p> <{EX}b> .\n<{EX}a> <{EX}q> "x" .\n<{EX}b> <{EX}p> <{EX}a> .\n',
    "nquads": f'<{EX}a> <{EX}p> <{EX}b> <{EX}g> .\n<{EX}a> <{EX}q> "x" .\n'
    f"<{EX}b> <{EX}p> <{EX}a> <{EX}g2> .\n",
    "trig": f'@prefix e: <{EX}> . e:g {{ e:a e:p e:b ; e:q "x" }} e:b e:p e:a .',
    "rdfxml": f"""<?xml version="1.0"?>
<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns:e="{EX}">
  <rdf:Description rdf:about="{EX}a"><e:p rdf:resource="{EX}b"/><e:q>x</e:q></rdf:Description>
  <rdf:Description rdf:about="{EX}b"><e:p rdf:resource="{EX}a"/></rdf:Description>
</rdf:RDF>""",
}
KEYWORDS = {
    "turtle": "turtle", "ttl": "turtle", "ntriples": "ntriples", "nt": "ntriples",
    "rdfxml": "rdfxml", "xml": "rdfxml", "owl": "rdfxml", "nquads": "nquads", "nq": "nquads",
    "trig": "trig",
}
EXTENSIONS = {"nt": "ntriples", "nq": "nquads", "ttl": "turtle", "rdf": "rdfxml",
              "owl": "rdfxml", "trig": "trig"}


# ---------------------------------------------------------------- formats

@pytest.mark.parametrize("keyword", sorted(KEYWORDS))
def test_each_keyword_selects_its_syntax(keyword):
    g, s = load(DOCS[KEYWORDS[keyword]], keyword)
    assert (s["total_triples"], s["nodes"], s["edges"], s["literal_properties"]) == (3, 2, 2, 1)
    check_identity(s, g)
    assert (g.is_directed, g.is_multi, g.name) == (True, True, "")


@pytest.mark.parametrize("keyword, syntax", [
    ("nt", "turtle"), ("ttl", "rdfxml"), ("xml", "turtle"), ("nt", "nquads"),
    ("turtle", "trig"), ("nq", "trig"),
])
def test_keyword_does_not_accept_other_syntaxes(keyword, syntax):
    with pytest.raises(ValueError, match="^Parse error: "):
        load(DOCS[syntax], keyword)


@pytest.mark.parametrize("keyword", ["Turtle", " turtle", "json-ld", "rdf", "", "ntriples\0"])
def test_unknown_keyword_is_reported_first(keyword):
    with pytest.raises(ValueError) as info:
        load("x" * 100, keyword, max_bytes=0)
    assert info.value.args == (UNKNOWN_FORMAT.format(keyword),)


# ---------------------------------------------------------------- caps

def test_empty_document_with_zero_caps():
    g, s = rdf.load_rdf_string(data="", format="nt", max_bytes=0, triple_cap=0)
    assert [s[k] for k in STAT_KEYS[:4]] == [0, 0, 0, 0] and s["load_time_ms"] >= 0 and len(g) == 0
    assert load("@prefix a: <http://a/> . @base <http://b/> . # x", "ttl", BIG, 0)[1]["total_triples"] == 0


def test_byte_cap_counts_utf8_bytes_before_parsing():
    for text in ("# \u00e9\u20acx\n", "# \U0001f600\n"):
        n = len(text.encode())
        assert load(text, "ttl", n, 0)[1]["total_triples"] == 0
        with pytest.raises(ValueError) as info:
            load(text, "ttl", n - 1, 0)
        assert info.value.args == (f"RDF string is {n} bytes; refusing to parse above {n - 1} bytes "
                                   "(raise QuorGraphSettings.max_bytes if intended).",)
    with pytest.raises(ValueError, match="^RDF string is 9 bytes"):
        load("not rdf !", "ttl", 8, 0)


@pytest.mark.parametrize("fmt, n, literal_every", [
    ("nt", 0, 0), ("ttl", 0, 1), ("nq", 1, 1), ("trig", 1, 0), ("ttl", 10, 3), ("nt", 257, 3)])
def test_triple_cap_at_and_past_the_limit(fmt, n, literal_every):
    doc = ntriples(n, literal_every)
    g, s = load(doc, fmt, BIG, n)
    assert s["total_triples"] == n
    check_identity(s, g)
    if literal_every:
        assert s["literal_properties"] == len(range(0, n, literal_every))
    with pytest.raises(ValueError) as info:
        load(doc + ntriples(1, literal_every), fmt, BIG, n)
    assert info.value.args == (
        f"RDF parse exceeded triple_cap={n} (raise QuorGraphSettings.max_triples if intended).",)


def test_triple_cap_counts_every_statement_and_stops_the_parse():
    doc = f'<{EX}a> <{EX}p> "x" .\n<{EX}a> <{EX}p> <{EX}b> <{EX}g> .\n'  # a literal, a named graph
    assert load(doc, "nq", BIG, 2)[1]["total_triples"] == 2
    with pytest.raises(ValueError, match="triple_cap=1 "):
        load(doc, "nq", BIG, 1)
    doc = ntriples(3) + "this is not RDF at all"  # the cap ends the load before the broken tail
    with pytest.raises(ValueError, match="^RDF parse exceeded triple_cap=2 "):
        load(doc, "nt", BIG, 2)
    with pytest.raises(ValueError, match="^Parse error: "):
        load(doc, "nt", BIG, 3)


# ---------------------------------------------------------------- mapping

def test_statements_map_to_nodes_and_edges():
    doc = (f"@prefix e: <{EX}> . e:a e:p _:b0 , e:c , <urn:isbn:123> . _:b0 e:q <{EX}d#frag> , <{EX}slash/> . "
           f"e:a a e:C . <{EX}d#frag> e:q _:b0 . e:a e:p e:c . e:c e:p e:c . e:a e:p 'x'@fr , 1 .")
    g, s = load(doc)
    check_identity(s, g)
    assert (s["total_triples"], s["edges"], s["literal_properties"]) == (11, 9, 2)
    labels = {f"{EX}a": "a", "_:b0": "_:b0", f"{EX}c": "c", "urn:isbn:123": "urn:isbn:123", f"{EX}d#frag": "frag",
              f"{EX}slash/": "", f"{EX}C": "C"}  # in order of first mention; the first mention names it
    assert g.node_ids() == list(labels) and [g.node(n) for n in labels] == [{"label": v} for v in labels.values()]
    assert g.edges()[5] == (f"{EX}a", f"{EX}C", {"predicate": RDF_TYPE, "label": "type", "type": "type"})
    assert g.edges()[-2:] == [(f"{EX}a", f"{EX}c", {"predicate": f"{EX}p", "label": "p", "type": "p"}),
                              (f"{EX}c", f"{EX}c", {"predicate": f"{EX}p", "label": "p", "type": "p"})]
    for predicate, local in [("http://e.org/a/b#c/d", "c/d"), ("urn:x:y", "urn:x:y")]:
        assert load(f"<{EX}s> <{predicate}> <{EX}o> .\n", "nt")[0].edges()[0][2]["label"] == local
    assert load(f"_:b0 <{EX}p> _:genid1 .\n_:genid1 <{EX}p> _:b0 .\n", "nt")[0].node_ids() == ["_:b0", "_:genid1"]


@pytest.mark.parametrize("fmt, doc, nodes", [
    ("trig", f"@prefix e: <{EX}> . e:g1 {{ e:a e:p e:b }} e:g2 {{ e:a e:p e:b }} e:a e:p e:b .", ["a", "b"]),
    ("nq", f"<{EX}a> <{EX}p> <{EX}b> <{EX}g1> .\n<{EX}a> <{EX}p> <{EX}b> <{EX}g2> .\n<{EX}a> <{EX}p> <{EX}b> .\n",
     ["a", "b"]),
    ("trig", f"@prefix e: <{EX}> . e:g {{ _:x e:p e:a }} _:x e:q e:b . e:b e:q e:g .", ["_:x", "a", "b", "g"]),
])
def test_named_graphs_are_ignored(fmt, doc, nodes):
    g, s = load(doc, fmt)
    assert (s["total_triples"], s["edges"]) == (3, 3)
    assert g.node_ids() == [n if n.startswith("_:") else EX + n for n in nodes]


def test_many_ids_of_every_length_are_one_node_each():
    # Ids of 46 to 49 bytes: below, at and above the inline limit of the load's id index.
    n = 3000
    ids = [f"{EX}{'x' * 26}{i}" for i in range(n)]
    pairs = [(i, (i * 7) % n) for i in range(n)] + [((i * 13) % n, i) for i in range(n)]
    g, s = load("".join(f"<{ids[a]}> <{EX}p> <{ids[b]}> .\n" for a, b in pairs), "nt")
    assert (s["nodes"], s["edges"]) == (n, 2 * n) and g.degree(ids[5]) == 4
    assert g.node_ids() == list(dict.fromkeys(ids[k] for pair in pairs for k in pair))


def test_anonymous_nodes_are_distinct_and_differ_between_loads():
    doc = f"@prefix e: <{EX}> . e:a e:p [] , [ e:q e:b ] , ( e:c ) ."
    (g1, s1), (g2, _) = load(doc), load(doc)
    blanks1 = [n for n in g1.node_ids() if n.startswith("_:")]
    assert len(blanks1) == len(set(blanks1)) == 3 and all(g1.node(n) == {"label": n} for n in blanks1)
    assert not set(blanks1) & set(g2.node_ids())
    check_identity(s1, g1)


@pytest.mark.parametrize("fmt, doc", [
    ("nt", ntriples(5) + "<broken"),
    ("ttl", f"@prefix e: <{EX}> . e:a e:p e:b . e:a e:p ."),
    ("ttl", "<a> <b> <c> ."),  # relative IRIs: the loaders take no base
    ("nq", ntriples(2) + '<a> "literal subject" <b> .\n'),
    ("trig", f"@prefix e: <{EX}> . e:g {{ e:a e:p e:b . "),
    ("xml", DOCS["rdfxml"].replace("</rdf:RDF>", "")),
])
def test_parse_error_fails_the_whole_load(fmt, doc):
    with pytest.raises(ValueError) as info:
        load(doc, fmt)
    assert info.value.args[0].startswith("Parse error: ") and len(info.value.args[0]) > len("Parse error: ")


# ---------------------------------------------------------------- files

@pytest.mark.parametrize("ext", sorted(EXTENSIONS))
def test_each_extension_selects_its_syntax(tmp_path, ext):
    # The name given decides, a link's own included; a BOM and CRLF line ends are read.
    target = tmp_path / "target.data"
    target.write_text("\ufeff" + DOCS[EXTENSIONS[ext]].replace("\n", "\r\n"))
    (tmp_path / f"g.{ext}").symlink_to(target)
    g, s = rdf.load_rdf_file(str(tmp_path / f"g.{ext}"), BIG, BIG)
    assert (s["total_triples"], s["nodes"], s["edges"], s["literal_properties"]) == (3, 2, 2, 1)
    check_identity(s, g)
    assert (g.is_directed, g.is_multi, g.name) == (True, True, "")


@pytest.mark.parametrize("path, shown", [
    ("missing/dir/g.xml", '"xml"'), ("g.TTL", '"TTL"'), ("graph", '""'), ("g.t\"l", '"t\\"l"')])
def test_unknown_extension_is_reported_before_the_file_is_looked_at(path, shown):
    with pytest.raises(ValueError) as info:
        rdf.load_rdf_file(path, 0, 0)
    assert info.value.args == (UNKNOWN_EXT.format(shown),)


SIZE = len(DOCS["ntriples"])


@pytest.mark.parametrize("path, max_bytes, cap, message", [
    ("g.ttl", BIG, BIG, r"Failed to stat file: No such file or directory \(os error 2\)$"),
    ("a\0b.ttl", BIG, BIG, "Failed to stat file: file name contained an unexpected NUL byte$"),
    ("file.nt/", BIG, BIG, "Failed to stat file: Not a directory"),  # the extension comes from the name
    ("dir.ttl", BIG, BIG, "Parse error: .*Is a directory"),
    ("bad.ttl", BIG, BIG, "Parse error: .*line 3"),
    ("file.nt", SIZE - 1, BIG, rf"RDF file is {SIZE} bytes; refusing to load above {SIZE - 1} bytes "
                               r"\(raise QuorGraphSettings.max_bytes if intended\)\.$"),
    ("file.nt", BIG, 2, r"RDF parse exceeded triple_cap=2 \(raise QuorGraphSettings.max_triples if intended\)\.$"),
    ("file.nt", SIZE, 3, None),  # loads at both caps
])
def test_file_outcomes_and_every_file_closed(tmp_path, monkeypatch, path, max_bytes, cap, message):
    (tmp_path / "dir.ttl").mkdir()
    (tmp_path / "file.nt").write_text(DOCS["ntriples"])
    (tmp_path / "bad.ttl").write_text("@prefix e: <http://e/> .\ne:a e:b e:c .\ne:a e:b .\n")
    monkeypatch.chdir(tmp_path)
    open_files = len(os.listdir("/proc/self/fd"))
    if message is None:
        assert rdf.load_rdf_file(path, max_bytes, cap)[1]["total_triples"] == 3
    else:
        with pytest.raises(ValueError, match="^" + message):
            rdf.load_rdf_file(path, max_bytes, cap)
    assert len(os.listdir("/proc/self/fd")) == open_files


# ---------------------------------------------------------------- real documents

def manifest_rows():
    manifest = REAL / "MANIFEST.tsv"
    if not manifest.is_file():
        return []
    with manifest.open(newline="") as f:
        return list(csv.DictReader(f, delimiter="\t"))


ROWS = manifest_rows()


@pytest.mark.skipif(not ROWS, reason="shared RDF corpus not present")
@pytest.mark.parametrize("row", ROWS, ids=[r["file"] for r in ROWS])
def test_real_document(row):
    path = str(REAL / row["file"])
    if row["status"] != "ok" or row["needs_base"].startswith("yes"):
        # Invalid documents, and documents with relative IRIs and no base of
        # their own, are refused: the loaders give no base.
        with pytest.raises(ValueError, match="^Parse error: "):
            rdf.load_rdf_file(path, BIG, BIG)
        return
    g, s = rdf.load_rdf_file(path, BIG, BIG)
    expected = int(row["triples"])
    assert s["total_triples"] == expected
    check_identity(s, g)
    assert int(row["bytes"]) == os.path.getsize(path)
    # At the cap it loads; one below, it is refused.
    if expected > 0:
        with pytest.raises(ValueError, match=f"^RDF parse exceeded triple_cap={expected - 1} "):
            rdf.load_rdf_file(path, BIG, expected - 1)

