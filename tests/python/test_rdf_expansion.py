"""A short document that expands a long prefix, namespace or base many times
is refused by both loaders, however large max_bytes and triple_cap allow."""
import re

import pytest

from quor_graph._rust import rdf

NS = "http://e/" + "a" * (64 << 10) + "/"
RDF = "http://www.w3.org/1999/02/22-rdf-syntax-ns#"
MESSAGE = re.compile(
    r"Parse error: Prefix, namespace and base IRI expansion passed 8 MiB and 100 times "
    r"the bytes read at line \d+ column \d+"
)


def doc(head, item, tail=""):
    return head + "".join(item.format(i) for i in range(200)) + tail


DOCS = {
    "turtle-prefix": ("ttl", doc(f"@prefix b: <{NS}> .\n", "b:s{} <a:p> <a:o> .\n")),
    "turtle-base": ("ttl", doc(f"BASE <{NS}>\n", "<s{}> <a:p> <a:o> .\n")),
    "trig-prefix": ("trig", doc(f"PREFIX b: <{NS}>\n", "b:g{} {{ <a:s> <a:p> b:o }}\n")),
    "trig-base": ("trig", doc(f"@base <{NS}> .\n{{\n", "<s{}> <a:p> <a:o> .\n", "}")),
    "rdfxml-namespace": ("rdf", doc(f'<rdf:RDF xmlns:rdf="{RDF}" xmlns:b="{NS}">\n',
                                    '<b:T{} rdf:about="http://e/s"/>\n', "</rdf:RDF>")),
    "rdfxml-base": ("rdf", doc(f'<rdf:RDF xmlns:rdf="{RDF}" xml:base="{NS}">\n',
                               '<rdf:Description rdf:about="s{}"/>\n', "</rdf:RDF>")),
}


@pytest.mark.parametrize("loader", ["string", "file"])
@pytest.mark.parametrize("name", sorted(DOCS))
def test_expansion_past_the_budget_is_refused(name, loader, tmp_path):
    ext, text = DOCS[name]
    size = len(text.encode())
    with pytest.raises(ValueError) as info:
        if loader == "string":
            rdf.load_rdf_string(text, {"ttl": "turtle", "rdf": "rdfxml"}.get(ext, ext), size, 10**9)
        else:
            path = tmp_path / f"doc.{ext}"
            path.write_text(text)
            rdf.load_rdf_file(str(path), size, 10**9)
    assert MESSAGE.fullmatch(str(info.value)), str(info.value)[:200]
