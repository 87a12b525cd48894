"""RDF loading: load_rdf_string and load_rdf_file, their caps, messages,
statistics and the mapping of statements onto the graph."""
import csv
import os
import pathlib

import pytest
from hypothesis import given, settings, strategies as st

from quor_graph._rust import rdf

BIG = 2**64 - 1
DATA = pathlib.Path(__file__).resolve().parent / ".." / ".." / ".." / "shared" / "data"
REAL = DATA / "rdf-real"

EX = "http://example.org/"
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


# ---------------------------------------------------------------- surface

def test_registration_order_and_signatures():
    assert rdf.__all__[:2] == ["load_rdf_file", "load_rdf_string"]
    assert rdf.load_rdf_string.__text_signature__ == "(data, format, max_bytes, triple_cap)"
    assert rdf.load_rdf_file.__text_signature__ == "(path, max_bytes, triple_cap)"
    assert rdf.load_rdf_string.__doc__.startswith(
        "Load RDF from a string with an explicit format and caps.\n\n")
    assert rdf.load_rdf_file.__doc__.startswith(
        "Load an RDF file (OWL/TTL/RDF-XML/N-Triples) into a Graph.\n\n")


def test_keywords_are_accepted():
    g, s = rdf.load_rdf_string(data="", format="nt", max_bytes=0, triple_cap=0)
    assert s["total_triples"] == 0


@pytest.mark.parametrize("call, exc, message", [
    (lambda: rdf.load_rdf_string("", "ttl", 0), TypeError,
     "load_rdf_string() missing 1 required positional argument: 'triple_cap'"),
    (lambda: rdf.load_rdf_file("a.ttl"), TypeError,
     "load_rdf_file() missing 2 required positional arguments: 'max_bytes' and 'triple_cap'"),
    (lambda: rdf.load_rdf_file("a.ttl", 1, 1, 1), TypeError,
     "load_rdf_file() takes 3 positional arguments but 4 were given"),
    (lambda: rdf.load_rdf_string(b"", "ttl", 0, 0), TypeError,
     "argument 'data': 'bytes' object is not an instance of 'str'"),
    (lambda: rdf.load_rdf_file(pathlib.Path("a.ttl"), 0, 0), TypeError,
     "argument 'path': 'PosixPath' object is not an instance of 'str'"),
    (lambda: rdf.load_rdf_file("a.ttl", "1", 0), TypeError, "argument 'max_bytes': "),
    (lambda: rdf.load_rdf_string("", "ttl", 1.0, 0), TypeError, "argument 'max_bytes': "),
    (lambda: rdf.load_rdf_file("a.xml", 0, -1), OverflowError, None),
    (lambda: rdf.load_rdf_string("", "bogus", -1, 0), OverflowError, None),
    (lambda: rdf.load_rdf_string("", "ttl", 0, 2**64), OverflowError, None),
])
def test_argument_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    if message is not None:
        assert str(info.value).startswith(message)
    if exc is OverflowError:
        assert not str(info.value).startswith("argument")


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


@pytest.mark.parametrize("keyword", [
    "Turtle", "TTL", " turtle", "turtle ", "json-ld", "rdf", "n3", "", "ntriples\0", "NT",
])
def test_unknown_keyword(keyword):
    with pytest.raises(ValueError) as info:
        load("", keyword)
    assert info.value.args == (UNKNOWN_FORMAT.format(keyword),)


def test_unknown_keyword_reported_before_size():
    with pytest.raises(ValueError, match="^Unknown RDF format: 'Turtle'"):
        load("x" * 100, "Turtle", max_bytes=0)


# ---------------------------------------------------------------- caps

def test_empty_document_with_zero_caps():
    g, s = load("", "ttl", 0, 0)
    assert [s[k] for k in STAT_KEYS[:4]] == [0, 0, 0, 0]
    assert type(s["load_time_ms"]) is int and s["load_time_ms"] >= 0 and len(g) == 0  # whole milliseconds


@pytest.mark.parametrize("text", ["", "@prefix e: <http://e/> .", "# only a comment\n",
                                  "@prefix a: <http://a/> . @base <http://b/> . # x"])
def test_zero_triple_cap_without_statements(text):
    assert load(text, "ttl", BIG, 0)[1]["total_triples"] == 0


@pytest.mark.parametrize("text, size", [
    ("\u00e9\u20acx", 6), ("abc", 3), ("", 0), ("\U0001f600", 4),
])
def test_byte_cap_counts_utf8(text, size):
    doc = f"# {text}\n"
    n = size + 3
    assert load(doc, "ttl", n, 0)[1]["total_triples"] == 0
    with pytest.raises(ValueError) as info:
        load(doc, "ttl", n - 1, 0)
    assert info.value.args == (
        f"RDF string is {n} bytes; refusing to parse above {n - 1} bytes "
        "(raise QuorGraphSettings.max_bytes if intended).",)


def test_byte_cap_is_checked_before_parsing():
    with pytest.raises(ValueError, match="^RDF string is 9 bytes"):
        load("not rdf !", "ttl", 8, 0)


@pytest.mark.parametrize("fmt", ["nt", "ttl", "nq", "trig"])
@pytest.mark.parametrize("n", [0, 1, 2, 10, 257])
@pytest.mark.parametrize("literal_every", [0, 1, 3])
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


def test_triple_cap_counts_every_statement():
    # Literal objects and named-graph statements count towards the cap.
    doc = f'<{EX}a> <{EX}p> "x" .\n<{EX}a> <{EX}p> <{EX}b> <{EX}g> .\n'
    assert load(doc, "nq", BIG, 2)[1]["total_triples"] == 2
    with pytest.raises(ValueError, match="triple_cap=1 "):
        load(doc, "nq", BIG, 1)


def test_triple_cap_refuses_before_reading_the_rest():
    # The statement after the cap ends the load, before the broken tail is read.
    doc = ntriples(3) + "this is not RDF at all"
    with pytest.raises(ValueError, match="^RDF parse exceeded triple_cap=2 "):
        load(doc, "nt", BIG, 2)
    with pytest.raises(ValueError, match="^Parse error: "):
        load(doc, "nt", BIG, 3)


def test_triple_cap_maximum():
    assert load(ntriples(4), "nt", BIG, BIG)[1]["total_triples"] == 4


# ---------------------------------------------------------------- mapping

def test_parallel_edges_and_self_loops():
    g, s = load(f"<{EX}a> <{EX}p> <{EX}b> .\n<{EX}a> <{EX}p> <{EX}b> .\n", "nt")
    assert (s["total_triples"], s["nodes"], s["edges"]) == (2, 2, 2)
    g, s = load(f"<{EX}a> <{EX}p> <{EX}a> .\n", "nt")
    assert (s["nodes"], s["edges"]) == (1, 1)
    assert g.edges() == [(f"{EX}a", f"{EX}a", {"predicate": f"{EX}p", "label": "p", "type": "p"})]


@pytest.mark.parametrize("fmt, doc", [
    ("trig", f"@prefix e: <{EX}> . e:g1 {{ e:a e:p e:b }} e:g2 {{ e:a e:p e:b }} e:a e:p e:b ."),
    ("nq", f"<{EX}a> <{EX}p> <{EX}b> <{EX}g1> .\n<{EX}a> <{EX}p> <{EX}b> <{EX}g2> .\n"
           f"<{EX}a> <{EX}p> <{EX}b> .\n"),
])
def test_named_graphs_are_ignored(fmt, doc):
    g, s = load(doc, fmt)
    assert (s["total_triples"], s["nodes"], s["edges"]) == (3, 2, 3)
    assert g.node_ids() == [f"{EX}a", f"{EX}b"]
    assert all("g1" not in str(e) and "g2" not in str(e) for e in g.edges())


def test_blank_label_shared_across_graphs():
    g, s = load(f"@prefix e: <{EX}> . e:g {{ _:x e:p e:a }} _:x e:q e:b .", "trig")
    assert g.node_ids() == ["_:x", f"{EX}a", f"{EX}b"]


def test_node_ids_order_and_labels():
    doc = (f"@prefix e: <{EX}> . e:a e:p _:b0 , e:c , <urn:isbn:123> . "
           f"_:b0 e:q <{EX}d#frag> , <{EX}slash/> .")
    g, s = load(doc)
    assert g.node_ids() == [f"{EX}a", "_:b0", f"{EX}c", "urn:isbn:123", f"{EX}d#frag",
                            f"{EX}slash/"]
    labels = {n: g.node(n) for n in g.node_ids()}
    assert labels == {
        f"{EX}a": {"label": "a"}, "_:b0": {"label": "_:b0"}, f"{EX}c": {"label": "c"},
        "urn:isbn:123": {"label": "urn:isbn:123"}, f"{EX}d#frag": {"label": "frag"},
        f"{EX}slash/": {"label": ""},
    }


@pytest.mark.parametrize("predicate, local", [
    ("http://e.org/a/b#c/d", "c/d"), ("http://e.org/ns#", ""), ("http://e.org/ns/", ""),
    ("urn:x:y", "urn:x:y"), ("http://e.org/p", "p"), ("http://e.org/a/b/c", "c"),
    ("http://www.w3.org/1999/02/22-rdf-syntax-ns#type", "type"),
])
def test_edge_properties(predicate, local):
    g, _ = load(f"<{EX}s> <{predicate}> <{EX}o> .\n", "nt")
    assert g.edges() == [(f"{EX}s", f"{EX}o",
                          {"predicate": predicate, "label": local, "type": local})]


@pytest.mark.parametrize("width", [1, 40, 47, 48, 49, 200])
def test_many_ids_of_every_length_are_one_node_each(width):
    # Ids below, at and above the inline limit of the load's id index.
    n = 3000
    ids = [f"{EX}{'x' * width}{i}" for i in range(n)]
    pairs = [(i, (i * 7) % n) for i in range(n)] + [((i * 13) % n, i) for i in range(n)]
    g, s = load("".join(f"<{ids[a]}> <{EX}p> <{ids[b]}> .\n" for a, b in pairs), "nt")
    assert (s["nodes"], s["edges"]) == (n, 2 * n)
    assert g.node_ids() == list(dict.fromkeys(ids[k] for pair in pairs for k in pair))
    assert g.degree(ids[5]) == 4


def test_rdf_type_is_an_ordinary_edge():
    g, s = load(f"@prefix e: <{EX}> . e:a a e:C .")
    assert g.edges()[0][2] == {
        "predicate": "http://www.w3.org/1999/02/22-rdf-syntax-ns#type",
        "label": "type", "type": "type"}
    assert g.node(f"{EX}C") == {"label": "C"}


def test_first_mention_keeps_its_label():
    g, _ = load(f"<{EX}a> <{EX}p> _:n .\n_:n <{EX}p> <{EX}x#y> .\n<{EX}x#y> <{EX}p> _:n .\n",
                "nt")
    assert g.node("_:n") == {"label": "_:n"}
    assert g.node(f"{EX}x#y") == {"label": "y"}


@pytest.mark.parametrize("literal", [
    '"plain"', '"chat"@fr', '"1"^^<http://www.w3.org/2001/XMLSchema#integer>', '""',
    '"""long\nstring"""', "42", "true", "1.5e3",
])
def test_literals_are_only_counted(literal):
    g, s = load(f"<{EX}s> <{EX}p> {literal} .")
    assert (s["total_triples"], s["nodes"], s["edges"], s["literal_properties"]) == (1, 1, 0, 1)
    assert g.node(f"{EX}s") == {"label": "s"}


def test_anonymous_nodes_are_distinct_and_differ_between_loads():
    doc = f"@prefix e: <{EX}> . e:a e:p [] , [ e:q e:b ] , ( e:c ) ."
    g1, s1 = load(doc)
    g2, _ = load(doc)
    blanks1 = [n for n in g1.node_ids() if n.startswith("_:")]
    blanks2 = [n for n in g2.node_ids() if n.startswith("_:")]
    assert len(blanks1) == len(set(blanks1)) == 3
    assert not set(blanks1) & set(blanks2)
    assert all(g1.node(n) == {"label": n} for n in blanks1)
    check_identity(s1, g1)


def test_document_blank_labels_are_kept():
    g, _ = load(f"_:b0 <{EX}p> _:genid1 .\n_:genid1 <{EX}p> _:b0 .\n", "nt")
    assert g.node_ids() == ["_:b0", "_:genid1"]


def test_relative_iri_with_no_base_is_refused():
    with pytest.raises(ValueError, match="^Parse error: "):
        load("<a> <b> <c> .")


@pytest.mark.parametrize("fmt, doc", [
    ("nt", ntriples(5) + "<broken"),
    ("ttl", f"@prefix e: <{EX}> . e:a e:p e:b . e:a e:p ."),
    ("nq", ntriples(2) + '<a> "literal subject" <b> .\n'),
    ("trig", f"@prefix e: <{EX}> . e:g {{ e:a e:p e:b . "),
    ("xml", DOCS["rdfxml"].replace("</rdf:RDF>", "")),
])
def test_parse_error_after_statements_fails_whole_load(fmt, doc):
    with pytest.raises(ValueError) as info:
        load(doc, fmt)
    assert info.value.args[0].startswith("Parse error: ")
    assert len(info.value.args[0]) > len("Parse error: ")


def test_deep_nesting_does_not_crash():
    depth = 100_000
    doc = f"@prefix e: <{EX}> . e:a e:p " + "[ e:p " * depth + "e:b" + " ]" * depth + " ."
    try:
        g, s = load(doc)
    except ValueError as e:
        assert str(e).startswith("Parse error: ")
    else:
        check_identity(s, g)
    xml = ('<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" '
           f'xmlns:e="{EX}">' + "<rdf:Description><e:p>" * depth)
    with pytest.raises(ValueError, match="^Parse error: "):
        load(xml, "xml")


@settings(max_examples=300, deadline=None)
@given(st.sampled_from(sorted(KEYWORDS)), st.text(alphabet=st.sampled_from(
    list("<>_:@.;,[]()\"'^#/ \n\\abcPpx0123") + ["\u00e9", "\U0001f600"]), max_size=80))
def test_bad_input_never_crashes(fmt, text):
    try:
        g, s = load(text, fmt)
    except ValueError as e:
        assert str(e).startswith("Parse error: ")
    else:
        check_identity(s, g)


@settings(max_examples=100, deadline=None)
@given(st.sampled_from(["ttl", "trig", "xml"]), st.integers(0, 3000))
def test_truncated_documents_never_crash(fmt, cut):
    doc = DOCS[KEYWORDS[fmt]] * 2 if fmt != "xml" else DOCS["rdfxml"]
    try:
        g, s = load(doc[:cut], fmt)
    except ValueError as e:
        assert str(e).startswith("Parse error: ")
    else:
        check_identity(s, g)


# ---------------------------------------------------------------- files

@pytest.fixture
def write(tmp_path):
    def write(name, text):
        p = tmp_path / name
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(text.encode() if isinstance(text, str) else text)
        return str(p)
    return write


@pytest.mark.parametrize("ext", sorted(EXTENSIONS))
def test_each_extension_selects_its_syntax(write, ext):
    path = write(f"g.{ext}", DOCS[EXTENSIONS[ext]])
    g, s = rdf.load_rdf_file(path, BIG, BIG)
    assert (s["total_triples"], s["nodes"], s["edges"], s["literal_properties"]) == (3, 2, 2, 1)
    check_identity(s, g)
    assert (g.is_directed, g.is_multi, g.name) == (True, True, "")


@pytest.mark.parametrize("path, shown", [
    ("graph.xml", '"xml"'), ("graph.TTL", '"TTL"'), ("graph.Ttl", '"Ttl"'),
    ("graph", '""'), (".ttl", '""'), ("dir/.ttl", '""'), ("g.ttl.gz", '"gz"'),
    ("dir.old/graph", '""'), ("g.", '""'), ("", '""'), ("/", '""'), (".", '""'),
    ("..", '""'), ("a.ttl/..", '""'), ("g.turtle", '"turtle"'), ("g.nquads", '"nquads"'),
    ("g.rdfxml", '"rdfxml"'), ("g.ntriples", '"ntriples"'), ("g.json", '"json"'),
    ("g.t\"l", '"t\\"l"'), ("g.a\\b", '"a\\\\b"'), ("g.\t\n\r", '"\\t\\n\\r"'),
    ("g.\x01", '"\\u{1}"'), ("g.\x7f", '"\\u{7f}"'), ("g.\u00e9", '"\u00e9"'),
    ("g.\u200b", '"\\u{200b}"'), ("g.\0", '"\\0"'),
])
def test_unknown_extension(path, shown):
    with pytest.raises(ValueError) as info:
        rdf.load_rdf_file(path, BIG, BIG)
    assert info.value.args == (UNKNOWN_EXT.format(shown),)


@pytest.mark.parametrize("name", [
    "x..ttl", "dir/./g.ttl", "dir//g.ttl", "g.ttl/", "g.ttl/.", "./g.ttl", "a.b/g.ttl",
])
def test_extension_rules_accept(write, tmp_path, monkeypatch, name):
    write("x..ttl", DOCS["turtle"])
    write("dir/g.ttl", DOCS["turtle"])
    write("g.ttl", DOCS["turtle"])
    write("a.b/g.ttl", DOCS["turtle"])
    monkeypatch.chdir(tmp_path)
    if name.startswith("g.ttl/"):
        # The extension comes from the name; the file system then refuses the path.
        with pytest.raises(ValueError, match="^Failed to stat file: Not a directory"):
            rdf.load_rdf_file(name, BIG, BIG)
    else:
        assert rdf.load_rdf_file(name, BIG, BIG)[1]["total_triples"] == 3


def test_unknown_extension_is_reported_before_the_file_is_touched(tmp_path):
    with pytest.raises(ValueError, match="^Unknown RDF file extension"):
        rdf.load_rdf_file(str(tmp_path / "missing" / "g.xml"), 0, 0)


def test_missing_file(tmp_path):
    with pytest.raises(ValueError) as info:
        rdf.load_rdf_file(str(tmp_path / "g.ttl"), BIG, BIG)
    assert info.value.args == ("Failed to stat file: No such file or directory (os error 2)",)


def test_nul_in_path():
    with pytest.raises(ValueError) as info:
        rdf.load_rdf_file("a\0b.ttl", BIG, BIG)
    assert info.value.args == ("Failed to stat file: file name contained an unexpected NUL byte",)


def test_directory(tmp_path):
    d = tmp_path / "dir.ttl"
    d.mkdir()
    size = d.stat().st_size
    with pytest.raises(ValueError, match="^Parse error: .*Is a directory"):
        rdf.load_rdf_file(str(d), BIG, BIG)
    if size > 0:
        with pytest.raises(ValueError, match=f"^RDF file is {size} bytes"):
            rdf.load_rdf_file(str(d), size - 1, BIG)


@pytest.mark.skipif(os.geteuid() == 0, reason="permissions do not bind the superuser")
def test_unreadable_file(write):
    path = write("g.ttl", DOCS["turtle"])
    os.chmod(path, 0)
    try:
        with pytest.raises(ValueError) as info:
            rdf.load_rdf_file(path, BIG, BIG)
        assert info.value.args == ("Failed to open file: Permission denied (os error 13)",)
    finally:
        os.chmod(path, 0o644)


@pytest.mark.skipif(os.geteuid() == 0, reason="permissions do not bind the superuser")
def test_unsearchable_directory(tmp_path, write):
    write("locked/g.ttl", DOCS["turtle"])
    os.chmod(tmp_path / "locked", 0)
    try:
        with pytest.raises(ValueError, match=r"^Failed to stat file: Permission denied \(os error 13\)$"):
            rdf.load_rdf_file(str(tmp_path / "locked" / "g.ttl"), BIG, BIG)
    finally:
        os.chmod(tmp_path / "locked", 0o755)


def test_file_size_cap(write):
    path = write("g.nt", DOCS["ntriples"])
    size = os.path.getsize(path)
    assert rdf.load_rdf_file(path, size, BIG)[1]["total_triples"] == 3
    with pytest.raises(ValueError) as info:
        rdf.load_rdf_file(path, size - 1, BIG)
    assert info.value.args == (
        f"RDF file is {size} bytes; refusing to load above {size - 1} bytes "
        "(raise QuorGraphSettings.max_bytes if intended).",)


@pytest.mark.parametrize("n", [0, 1, 3000])
def test_file_triple_cap(write, n):
    path = write("g.nt", ntriples(n + 1, 4))
    with pytest.raises(ValueError, match=f"^RDF parse exceeded triple_cap={n} "):
        rdf.load_rdf_file(path, BIG, n)
    g, s = rdf.load_rdf_file(path, BIG, n + 1)
    check_identity(s, g)


def test_symlink_is_followed(write, tmp_path):
    target = write("real.nq", DOCS["nquads"])
    link = tmp_path / "link.ttl"
    link.symlink_to(target)
    # The link's own name decides the syntax.
    with pytest.raises(ValueError, match="^Parse error: "):
        rdf.load_rdf_file(str(link), BIG, BIG)
    link2 = tmp_path / "link2.nq"
    link2.symlink_to(target)
    assert rdf.load_rdf_file(str(link2), BIG, BIG)[1]["total_triples"] == 3


def test_large_file_streams_across_buffers(write):
    n = 20_000
    path = write("big.nt", ntriples(n, 5))
    g, s = rdf.load_rdf_file(path, BIG, BIG)
    assert s["total_triples"] == n and s["literal_properties"] == n // 5
    check_identity(s, g)
    assert load(pathlib.Path(path).read_text(), "nt")[1]["total_triples"] == n


def test_file_parse_error_has_position(write):
    path = write("g.ttl", "@prefix e: <http://e/> .\ne:a e:b e:c .\ne:a e:b .\n")
    with pytest.raises(ValueError, match="^Parse error: .*line 3"):
        rdf.load_rdf_file(path, BIG, BIG)


@pytest.mark.skipif(not os.path.isdir("/proc/self/fd"), reason="needs /proc")
@pytest.mark.parametrize("text, cap", [("<a> <b> <c> .", BIG), (ntriples(3), 1), (ntriples(3), BIG)])
def test_files_are_closed_on_every_outcome(write, text, cap):
    path = write("g.nt", text)
    before = len(os.listdir("/proc/self/fd"))
    for _ in range(300):
        try:
            rdf.load_rdf_file(path, BIG, cap)
        except ValueError:
            pass
    assert len(os.listdir("/proc/self/fd")) <= before


def test_bom_and_crlf(write):
    path = write("g.rdf", "\ufeff" + DOCS["rdfxml"].replace("\n", "\r\n"))
    assert rdf.load_rdf_file(path, BIG, BIG)[1]["total_triples"] == 3


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


PAIRS = [
    ("turtle/schemaorg-30.0-current-https.ttl", "rdfxml/schemaorg-30.0-current-https.rdf"),
    ("ntriples/schemaorg-30.0-all-https.nt", "nquads/schemaorg-30.0-all-https.nq"),
    ("turtle/dbpedia-ontology-snapshot.ttl", "rdfxml/dbpedia-ontology-snapshot.owl"),
]


@pytest.mark.skipif(not ROWS, reason="shared RDF corpus not present")
@pytest.mark.parametrize("a, b", PAIRS)
def test_equivalent_documents_give_the_same_graph(a, b):
    # These pairs have no blank nodes, so their graphs match exactly.
    ga, sa = rdf.load_rdf_file(str(REAL / a), BIG, BIG)
    gb, sb = rdf.load_rdf_file(str(REAL / b), BIG, BIG)
    assert sa["nodes"] == sb["nodes"] and sa["edges"] == sb["edges"]
    assert sorted(ga.node_ids()) == sorted(gb.node_ids())
    key = lambda e: (e[0], e[1], e[2]["predicate"])  # noqa: E731
    assert sorted(map(key, ga.edges())) == sorted(map(key, gb.edges()))


@pytest.mark.skipif(not ROWS, reason="shared RDF corpus not present")
def test_real_document_through_string_loader():
    path = REAL / "turtle" / "w3c-prov-o.ttl"
    text = path.read_text(encoding="utf-8")
    g1, s1 = rdf.load_rdf_file(str(path), BIG, BIG)
    g2, s2 = load(text, "turtle")
    assert [s1[k] for k in STAT_KEYS[:4]] == [s2[k] for k in STAT_KEYS[:4]]
    named = [n for n in g1.node_ids() if not n.startswith("_:")]
    assert named == [n for n in g2.node_ids() if not n.startswith("_:")]


RDF_TYPE = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type"


@pytest.mark.parametrize("keyword", ["Turtle", " turtle", "json-ld", "rdf", "", "ntriples\0"])
def test_unknown_keyword_is_reported_first(keyword):
    with pytest.raises(ValueError) as info:
        load("x" * 100, keyword, max_bytes=0)
    assert info.value.args == (UNKNOWN_FORMAT.format(keyword),)


def test_empty_document_by_keyword_and_directives_alone():
    g, s = rdf.load_rdf_string(data="", format="nt", max_bytes=0, triple_cap=0)
    assert [s[k] for k in STAT_KEYS[:4]] == [0, 0, 0, 0] and len(g) == 0
    assert type(s["load_time_ms"]) is int and s["load_time_ms"] >= 0
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
def test_named_graphs_are_ignored_and_their_names_are_nodes(fmt, doc, nodes):
    g, s = load(doc, fmt)
    assert (s["total_triples"], s["edges"]) == (3, 3)
    assert g.node_ids() == [n if n.startswith("_:") else EX + n for n in nodes]


def test_ids_around_the_inline_limit_are_one_node_each():
    # Ids of 46 to 49 bytes: below, at and above the inline limit of the load's id index.
    n = 3000
    ids = [f"{EX}{'x' * 26}{i}" for i in range(n)]
    pairs = [(i, (i * 7) % n) for i in range(n)] + [((i * 13) % n, i) for i in range(n)]
    g, s = load("".join(f"<{ids[a]}> <{EX}p> <{ids[b]}> .\n" for a, b in pairs), "nt")
    assert (s["nodes"], s["edges"]) == (n, 2 * n) and g.degree(ids[5]) == 4
    assert g.node_ids() == list(dict.fromkeys(ids[k] for pair in pairs for k in pair))


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


@pytest.mark.parametrize("ext", sorted(EXTENSIONS))
def test_each_extension_through_a_link_with_bom_and_crlf(tmp_path, ext):
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


@pytest.mark.parametrize("fmt, n, literal_every", [
    ("nt", 0, 0), ("ttl", 0, 1), ("nq", 1, 1), ("trig", 1, 0), ("ttl", 10, 3), ("nt", 257, 3)])
def test_triple_cap_at_and_past_the_limit_table(fmt, n, literal_every):
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


def test_anonymous_nodes_absent_from_a_second_load():
    doc = f"@prefix e: <{EX}> . e:a e:p [] , [ e:q e:b ] , ( e:c ) ."
    (g1, s1), (g2, _) = load(doc), load(doc)
    blanks1 = [n for n in g1.node_ids() if n.startswith("_:")]
    assert len(blanks1) == len(set(blanks1)) == 3 and all(g1.node(n) == {"label": n} for n in blanks1)
    assert not set(blanks1) & set(g2.node_ids())
    check_identity(s1, g1)


@pytest.mark.parametrize("path, message", [
    ("g.ttl", r"Failed to stat file: No such file or directory \(os error 2\)$"),
    ("a\0b.ttl", "Failed to stat file: file name contained an unexpected NUL byte$"),
    ("file.ttl/", "Failed to stat file: Not a directory"),  # the extension comes from the name
    ("dir.ttl", "Parse error: .*Is a directory"),
])
def test_file_system_refusals(tmp_path, monkeypatch, path, message):
    (tmp_path / "dir.ttl").mkdir()
    (tmp_path / "file.ttl").write_text(DOCS["turtle"])
    monkeypatch.chdir(tmp_path)
    with pytest.raises(ValueError, match="^" + message):
        rdf.load_rdf_file(path, BIG, BIG)


def test_symlink_bom_and_crlf(write, tmp_path):
    target = write("real.nq", DOCS["nquads"])
    link = tmp_path / "link.ttl"
    link.symlink_to(target)
    # The link's own name decides the syntax.
    with pytest.raises(ValueError, match="^Parse error: "):
        rdf.load_rdf_file(str(link), BIG, BIG)
    link2 = tmp_path / "link2.nq"
    link2.symlink_to(target)
    assert rdf.load_rdf_file(str(link2), BIG, BIG)[1]["total_triples"] == 3
    bom = write("g.rdf", "\ufeff" + DOCS["rdfxml"].replace("\n", "\r\n"))
    assert rdf.load_rdf_file(bom, BIG, BIG)[1]["total_triples"] == 3
