"""RDF export benchmark: export_ntriples, export_turtle and export_jsonld
against serdi and rdflib.

A synthetic N-Triples document of 1,000,000 statements (100,000 subjects in
runs of ten statements, 50 predicates, IRI objects only, so every statement
becomes an edge) is written to a temporary directory and loaded with
load_rdf_file (or, without the loader, built with add_node/add_edge and a
"predicate" property per edge). The figures come from one run of this script:

- export_ntriples / export_turtle on the loaded graph, against
  `serdi -i ntriples -o ntriples` converting the same file (serdi parses and
  writes; the export only writes), in statements per second;
- against rdflib's serialize("nt"/"turtle") of the first 100,000 statements,
  compared by throughput (statements per second);
- export_jsonld against rdflib's serialize("json-ld") on the same subset.

Each timing is the best of --repeat runs; rdflib runs once.

    python bench/bench_rdf_export.py [--statements N] [--repeat K] [--pkg DIR]

Peers: `apt-get install serdi`, `pip install rdflib`. A missing peer is
reported and skipped.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
NS = "http://bench.example.org/"
SUBSET = 100_000


def write_document(path, n, subjects, predicates, seed=11):
    rng = random.Random(seed)
    per_subject = max(1, n // subjects)
    lines = []
    for i in range(n):
        s = min(i // per_subject, subjects - 1)
        lines.append(f"<{NS}resource/r{s}> <{NS}vocab#p{rng.randrange(predicates)}> "
                     f"<{NS}resource/r{rng.randrange(subjects)}> .\n")
    with open(path, "w", encoding="utf-8") as f:
        f.writelines(lines)
    return lines


def best_of(repeat, fn):
    best, result = float("inf"), None
    for _ in range(repeat):
        t0 = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - t0)
    return best, result


def build_graph(rdf, PyGraph, path, lines):
    if hasattr(rdf, "load_rdf_file"):
        g, stats = rdf.load_rdf_file(path, 2**64 - 1, 2**64 - 1)
        return g, f"load_rdf_file ({stats['edges']:,} edges)"
    g = PyGraph(multi=True)
    for line in lines:
        s, p, o = (t[1:-1] for t in line.split(" ")[:3])
        for n in (s, o):
            if n not in g:
                g.add_node(n)
        g.add_edge(s, o, {"predicate": p})
    return g, "add_node/add_edge"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--statements", type=int, default=1_000_000)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--pkg", default=os.path.join(HERE, "..", "build", "pkg"))
    args = ap.parse_args()
    sys.path.insert(0, os.path.abspath(args.pkg))
    from quor_graph._rust import rdf
    from quor_graph._rust.graph import PyGraph

    n = args.statements
    tmp = tempfile.mkdtemp(prefix="qg-export-bench-")
    try:
        path = os.path.join(tmp, "bench.nt")
        lines = write_document(path, n, max(1, n // 10), 50)
        size = os.path.getsize(path)
        g, how = build_graph(rdf, PyGraph, path, lines)
        print(f"document: {n:,} statements, {size / 1e6:.1f} MB; graph built by {how}")

        ours = {}
        for name, fn in (("ntriples", rdf.export_ntriples), ("turtle", rdf.export_turtle),
                         ("jsonld", rdf.export_jsonld)):
            t, text = best_of(args.repeat, lambda: fn(g))
            ours[name] = n / t
            print(f"export_{name:<9} {t * 1e3:8.1f} ms  {n / t / 1e6:6.2f} M stmt/s  "
                  f"{len(text.encode()) / t / 1e6:7.1f} MB/s out")
            del text

        print()
        serdi = shutil.which("serdi")
        if serdi:
            def run_serdi():
                with open(os.devnull, "wb") as sink:
                    subprocess.run([serdi, "-i", "ntriples", "-o", "ntriples", path],
                                   stdout=sink, check=True)
            t, _ = best_of(args.repeat, run_serdi)
            rate = n / t
            print(f"serdi nt->nt      {t * 1e3:8.1f} ms  {rate / 1e6:6.2f} M stmt/s  "
                  f"{size / t / 1e6:7.1f} MB/s")
            for name in ("ntriples", "turtle"):
                print(f"  export_{name} / serdi: {ours[name] / rate:6.2f}x (target >= 1x)")
        else:
            print("serdi: not installed (apt-get install serdi); skipped")

        print()
        try:
            import rdflib
        except ImportError:
            print("rdflib: not installed; skipped")
            return
        m = min(SUBSET, n)
        rg = rdflib.Graph()
        rg.parse(data="".join(lines[:m]), format="nt")
        print(f"rdflib {rdflib.__version__}, {len(rg):,} distinct statements of the first {m:,}")
        for name, fmt, target in (("ntriples", "nt", 50), ("turtle", "turtle", 50),
                                  ("jsonld", "json-ld", 10)):
            try:
                t0 = time.perf_counter()
                rg.serialize(format=fmt)
                t = time.perf_counter() - t0
            except Exception as e:  # a serializer plugin may be missing
                print(f"rdflib {fmt}: unavailable ({e})")
                continue
            rate = len(rg) / t
            print(f"rdflib {fmt:<8} {t * 1e3:9.1f} ms  {rate / 1e6:6.3f} M stmt/s  "
                  f"export_{name} / rdflib: {ours[name] / rate:7.1f}x (target >= {target}x)")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
