"""RDF loading benchmark: load_rdf_file against serdi, rapper, pyoxigraph and rdflib.

A synthetic document of 1,000,000 statements (100,000 subjects, 50
predicates, about 60% IRI objects, the rest plain, language-tagged and typed
literals) is written as N-Triples, Turtle and RDF/XML into a temporary
directory. Each tool reads each form; the figures come from one run of this
script (each timing is the best of --repeat runs; rdflib runs once, on the
first 100,000 statements, and is compared by throughput).

Memory: the loaded graph's cost is the growth of the process's resident set
over the load, measured in a fresh interpreter. Bytes per node come from a
document whose statements all have literal objects (nodes, no edges); bytes
per edge from the full document minus its nodes. rdflib's memory per
statement is measured the same way on the 100,000-statement subset.

    python bench/bench_rdf.py [--statements N] [--repeat K] [--keep DIR]

Peers: `apt-get install serdi raptor2-utils`, `pip install pyoxigraph rdflib`.
A missing peer is reported and skipped.
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PKG = os.path.join(HERE, "..", "build", "pkg")

NS = "http://bench.example.org/"
RDF_NS = "http://www.w3.org/1999/02/22-rdf-syntax-ns#"
XSD_INT = "http://www.w3.org/2001/XMLSchema#integer"
WORDS = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta", "iota", "kappa",
         "lambda", "mu", "nu", "xi", "omicron", "pi", "rho", "sigma", "tau", "upsilon"]
LANGS = ["en", "de", "fr", "ja"]


# ---------------------------------------------------------------- data

def statements(n, subjects, predicates, iri_share, seed=7):
    """Yields (subject, predicate, kind, value) with subjects in runs.

    kind is "iri" (value: a resource number), "str", "lang" (value: (text,
    tag)) or "int"."""
    rng = random.Random(seed)
    per_subject = max(1, n // subjects)
    for i in range(n):
        s = min(i // per_subject, subjects - 1)
        p = rng.randrange(predicates)
        r = rng.random()
        if r < iri_share:
            yield s, p, "iri", rng.randrange(subjects)
        elif r < iri_share + (1 - iri_share) / 2:
            yield s, p, "str", " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 4)))
        elif r < iri_share + 3 * (1 - iri_share) / 4:
            yield s, p, "lang", (rng.choice(WORDS), rng.choice(LANGS))
        else:
            yield s, p, "int", rng.randrange(10**6)


def write_ntriples(path, rows):
    with open(path, "w", encoding="utf-8") as f:
        w = f.write
        for s, p, kind, v in rows:
            head = f"<{NS}resource/r{s}> <{NS}vocab#p{p}> "
            if kind == "iri":
                w(f"{head}<{NS}resource/r{v}> .\n")
            elif kind == "str":
                w(f'{head}"{v}" .\n')
            elif kind == "lang":
                w(f'{head}"{v[0]}"@{v[1]} .\n')
            else:
                w(f'{head}"{v}"^^<{XSD_INT}> .\n')


def write_turtle(path, rows):
    with open(path, "w", encoding="utf-8") as f:
        w = f.write
        w(f"@prefix r: <{NS}resource/> .\n@prefix v: <{NS}vocab#> .\n")
        w("@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n")
        current = None
        for s, p, kind, v in rows:
            if s != current:
                if current is not None:
                    w(" .\n")
                w(f"r:r{s} v:p{p} ")
                current = s
            else:
                w(f" ;\n    v:p{p} ")
            if kind == "iri":
                w(f"r:r{v}")
            elif kind == "str":
                w(f'"{v}"')
            elif kind == "lang":
                w(f'"{v[0]}"@{v[1]}')
            else:
                w(str(v))  # a bare integer is an xsd:integer literal
        if current is not None:
            w(" .\n")


def write_rdfxml(path, rows):
    with open(path, "w", encoding="utf-8") as f:
        w = f.write
        w('<?xml version="1.0" encoding="utf-8"?>\n')
        w(f'<rdf:RDF xmlns:rdf="{RDF_NS}" xmlns:v="{NS}vocab#" xml:base="{NS}resource/">\n')
        current = None
        for s, p, kind, v in rows:
            if s != current:
                if current is not None:
                    w("  </rdf:Description>\n")
                w(f'  <rdf:Description rdf:about="r{s}">\n')
                current = s
            if kind == "iri":
                w(f'    <v:p{p} rdf:resource="r{v}"/>\n')
            elif kind == "str":
                w(f"    <v:p{p}>{v}</v:p{p}>\n")
            elif kind == "lang":
                w(f'    <v:p{p} xml:lang="{v[1]}">{v[0]}</v:p{p}>\n')
            else:
                w(f'    <v:p{p} rdf:datatype="{XSD_INT}">{v}</v:p{p}>\n')
        if current is not None:
            w("  </rdf:Description>\n")
        w("</rdf:RDF>\n")


def generate(directory, n, subjects, predicates, iri_share):
    files = {}
    for tag, count in (("full", n), ("subset", min(n, 100_000))):
        for ext, writer in (("nt", write_ntriples), ("ttl", write_turtle), ("rdf", write_rdfxml)):
            path = os.path.join(directory, f"{tag}.{ext}")
            subj = subjects if tag == "full" else max(1, subjects * count // n)
            writer(path, statements(count, subj, predicates, iri_share))
            files[(tag, ext)] = path
    # Nodes only: one literal statement per subject, for bytes per node.
    path = os.path.join(directory, "nodes.nt")
    write_ntriples(path, ((s, 0, "str", "x") for s in range(subjects)))
    files[("nodes", "nt")] = path
    return files


# ---------------------------------------------------------------- runners

def best_of(repeat, fn):
    best = None
    for _ in range(repeat):
        t = time.perf_counter()
        result = fn()
        elapsed = time.perf_counter() - t
        best = elapsed if best is None or elapsed < best else best
    return best, result


def run_tool(argv):
    def go():
        with open(os.devnull, "wb") as null:
            proc = subprocess.run(argv, stdout=null, stderr=subprocess.PIPE)
        if proc.returncode != 0:
            raise RuntimeError(f"{argv[0]} failed: {proc.stderr.decode()[:200]}")
    return go


# Runs in a fresh interpreter: prints {"seconds", "rss_delta", "stats"}.
CHILD = r"""
import gc, json, sys, time
def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096
mode, path, fmt = sys.argv[1], sys.argv[2], sys.argv[3]
if mode == "ours":
    sys.path.insert(0, sys.argv[4])
    from quor_graph._rust import rdf
    gc.collect(); before = rss(); t = time.perf_counter()
    g, stats = rdf.load_rdf_file(path, 2**63, 2**63)
    seconds = time.perf_counter() - t
    gc.collect(); after = rss()
    out = {"seconds": seconds, "rss_delta": after - before, "stats": stats}
elif mode == "rdflib":
    import rdflib
    gc.collect(); before = rss(); t = time.perf_counter()
    g = rdflib.Graph(); g.parse(path, format=fmt)
    seconds = time.perf_counter() - t
    gc.collect(); after = rss()
    out = {"seconds": seconds, "rss_delta": after - before, "stats": {"total_triples": len(g)}}
elif mode == "oxigraph":
    import pyoxigraph
    form = {"nt": pyoxigraph.RdfFormat.N_TRIPLES, "ttl": pyoxigraph.RdfFormat.TURTLE,
            "rdf": pyoxigraph.RdfFormat.RDF_XML}[fmt]
    best = None
    for _ in range(int(sys.argv[4])):
        t = time.perf_counter(); n = 0
        for _q in pyoxigraph.parse(path=path, format=form):
            n += 1
        s = time.perf_counter() - t
        best = s if best is None or s < best else best
    out = {"seconds": best, "rss_delta": 0, "stats": {"total_triples": n}}
print(json.dumps(out))
"""


def child(*args):
    proc = subprocess.run([sys.executable, "-c", CHILD, *map(str, args)],
                          capture_output=True, text=True)
    if proc.returncode != 0:
        raise RuntimeError(proc.stderr.strip().splitlines()[-1] if proc.stderr else "failed")
    return json.loads(proc.stdout)


def have_module(name):
    proc = subprocess.run([sys.executable, "-c", f"import {name}"], capture_output=True)
    return proc.returncode == 0


# ---------------------------------------------------------------- main

def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--statements", type=int, default=1_000_000)
    ap.add_argument("--subjects", type=int, default=100_000)
    ap.add_argument("--predicates", type=int, default=50)
    ap.add_argument("--iri-share", type=float, default=0.6)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--keep", help="write the documents here and keep them")
    ap.add_argument("--pkg", default=PKG, help="directory holding quor_graph/_rust*.so")
    args = ap.parse_args()

    directory = args.keep or tempfile.mkdtemp(prefix="bench_rdf_")
    os.makedirs(directory, exist_ok=True)
    try:
        t = time.perf_counter()
        files = generate(directory, args.statements, args.subjects, args.predicates,
                         args.iri_share)
        print(f"generated in {time.perf_counter() - t:.1f}s under {directory}")
        report(files, args)
    finally:
        if not args.keep:
            shutil.rmtree(directory, ignore_errors=True)


def mbps(path, seconds):
    return os.path.getsize(path) / 1e6 / seconds


def report(files, args):
    serdi = shutil.which("serdi")
    rapper = shutil.which("rapper")
    oxi = have_module("pyoxigraph")
    rdflib_ok = have_module("rdflib")
    for name, ok in (("serdi", serdi), ("rapper", rapper), ("pyoxigraph", oxi),
                     ("rdflib", rdflib_ok)):
        if not ok:
            print(f"note: {name} not available; its column is skipped")

    names = {"nt": "N-Triples", "ttl": "Turtle", "rdf": "RDF/XML"}
    serdi_syntax = {"nt": "ntriples", "ttl": "turtle"}
    rdflib_syntax = {"nt": "nt", "ttl": "turtle", "rdf": "xml"}
    results = {}
    for ext in ("nt", "ttl", "rdf"):
        path = files[("full", ext)]
        size = os.path.getsize(path)
        row = {"bytes": size}
        runs = [child("ours", path, ext, args.pkg) for _ in range(args.repeat)]
        ours = min(runs, key=lambda r: r["seconds"])
        assert ours["stats"]["total_triples"] == args.statements, ours["stats"]
        row["ours"] = mbps(path, ours["seconds"])
        row["stats"] = ours["stats"]
        row["rss"] = min(r["rss_delta"] for r in runs)
        if serdi and ext in serdi_syntax:
            s, _ = best_of(args.repeat, run_tool(
                [serdi, "-i", serdi_syntax[ext], "-o", "ntriples", path]))
            row["serdi"] = mbps(path, s)
        if rapper and ext == "rdf":
            s, _ = best_of(args.repeat, run_tool([rapper, "-q", "-c", "-i", "rdfxml", path]))
            row["rapper"] = mbps(path, s)
        if oxi:
            r = child("oxigraph", path, ext, args.repeat)
            assert r["stats"]["total_triples"] == args.statements
            row["pyoxigraph"] = mbps(path, r["seconds"])
        if rdflib_ok:
            sub = files[("subset", ext)]
            r = child("rdflib", sub, rdflib_syntax[ext])
            row["rdflib"] = mbps(sub, r["seconds"])
            row["rdflib_bytes_per_stmt"] = r["rss_delta"] / max(1, r["stats"]["total_triples"])
            row["rdflib_subset"] = r["stats"]["total_triples"]
        results[ext] = row

    print()
    print(f"{args.statements:,} statements, {args.subjects:,} subjects, "
          f"{args.predicates} predicates, {args.iri_share:.0%} IRI objects")
    print(f"{'syntax':<10} {'MB':>7} {'ours MB/s':>10} {'serdi':>8} {'rapper':>8} "
          f"{'pyoxi':>8} {'rdflib':>8}   ratios (ours / peer)")
    for ext, row in results.items():
        cells, ratios = [], []
        for peer in ("serdi", "rapper", "pyoxigraph", "rdflib"):
            if peer in row:
                cells.append(f"{row[peer]:8.1f}")
                ratios.append(f"{peer} {row['ours'] / row[peer]:.2f}x")
            else:
                cells.append(f"{'-':>8}")
        print(f"{names[ext]:<10} {row['bytes'] / 1e6:7.1f} {row['ours']:10.1f} "
              + " ".join(cells) + "   " + ", ".join(ratios))

    # Memory of the loaded graph.
    full = results["nt"]
    nodes_run = min((child("ours", files[("nodes", "nt")], "nt", args.pkg) for _ in range(2)),
                    key=lambda r: r["rss_delta"])
    n_only = nodes_run["stats"]["nodes"]
    per_node = nodes_run["rss_delta"] / n_only
    st = full["stats"]
    per_edge = (full["rss"] - per_node * st["nodes"]) / max(1, st["edges"])
    per_stmt = full["rss"] / st["total_triples"]
    print()
    print(f"loaded graph (N-Triples): {st['nodes']:,} nodes, {st['edges']:,} edges, "
          f"{st['literal_properties']:,} literals; RSS growth {full['rss'] / 2**20:.1f} MiB")
    print(f"  bytes per node {per_node:.0f}, per edge {per_edge:.0f}, "
          f"per statement {per_stmt:.0f}")
    if "rdflib_bytes_per_stmt" in full:
        rb = full["rdflib_bytes_per_stmt"]
        print(f"  rdflib: {rb:.0f} bytes per statement ({full['rdflib_subset']:,} statements); "
              f"ours / rdflib = {per_stmt / rb:.3f}x")

    print()
    print("targets: N-Triples and Turtle >= 0.5x serdi, >= 1x pyoxigraph, >= 50x rdflib; "
          "RDF/XML >= 1x rapper; memory <= 0.1x rdflib per statement")
    checks = []
    for ext in ("nt", "ttl"):
        row = results[ext]
        for peer, goal in (("serdi", 0.5), ("pyoxigraph", 1.0), ("rdflib", 50.0)):
            if peer in row:
                checks.append((f"{names[ext]} vs {peer}", row["ours"] / row[peer], goal))
    if "rapper" in results["rdf"]:
        checks.append(("RDF/XML vs rapper", results["rdf"]["ours"] / results["rdf"]["rapper"],
                       1.0))
    for label, value, goal in checks:
        print(f"  {label:<24} {value:7.2f}x  (goal {goal}x)  {'met' if value >= goal else 'MISSED'}")
    if "rdflib_bytes_per_stmt" in full:
        v = per_stmt / full["rdflib_bytes_per_stmt"]
        print(f"  {'memory vs rdflib':<24} {v:7.3f}x  (goal <= 0.1x)  "
              f"{'met' if v <= 0.1 else 'MISSED'}")


if __name__ == "__main__":
    main()
