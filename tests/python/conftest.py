"""Shared graph builders, data paths and the borrow probe of the Python suite."""
import os
import pathlib
import random

import networkx as nx
import pytest

from quor_graph._rust.graph import PyGraph

BIG = 2**64 - 1
DATA = pathlib.Path(__file__).resolve().parents[3] / "shared" / "data"
REAL = DATA / "rdf-real"
W3C = DATA / "w3c-rdf11"
# The sanitizer run preloads AddressSanitizer's runtime into the interpreter.
UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")


def pytest_configure(config):
    # A CI run without the shared corpus would skip every conformance and
    # real-document test and still pass: refuse it instead.
    if os.environ.get("CI") == "true" and not (REAL / "MANIFEST.tsv").is_file():
        raise pytest.UsageError(f"CI=true but the shared test data is missing: {DATA}")


def build(directed=True, multi=False, nodes=(), edges=(), name=None):
    """nodes: ids or (id, properties); edges: (s, t) or (s, t, x) where x is a
    properties dict, None, or a number stored as {"w": x}. Endpoints that are
    not listed in nodes are added when first met."""
    g = PyGraph(directed=directed, name=name, multi=multi)
    for n in nodes:
        g.add_node(*((n,) if isinstance(n, str) else n))
    for s, t, *x in edges:
        for n in (s, t):
            if n not in g:
                g.add_node(n)
        props = x[0] if x else None
        g.add_edge(s, t, props if props is None or isinstance(props, dict) else {"w": props})
    return g


def multipartite(parts, size=3):
    """Complete multipartite graph: size ** parts maximal cliques of `parts` nodes."""
    ids = [[f"p{p}_{i}" for i in range(size)] for p in range(parts)]
    return build(False, edges=[(a, b) for i, p in enumerate(ids) for q in ids[i + 1:] for a in p for b in q])


def random_pair(seed, directed, n=60, m=150, weights=False, lo=0.0, hi=10.0, holes=True, simple=False):
    """A seeded random multigraph with vacant and reused slots, and its networkx
    twin; simple: no loops or parallel edges (and a simple twin)."""
    rng = random.Random(seed)
    g = PyGraph(directed=directed, multi=True)
    ids = [f"n{i}" for i in range(n)]
    for i in ids:
        g.add_node(i)

    def link(s, t, w):
        if not (simple and (s == t or g.has_edge(s, t))):
            g.add_edge(s, t, {"w": w} if weights else None)

    for _ in range(m):
        link(rng.choice(ids), rng.choice(ids), round(rng.uniform(lo, hi) * 4) / 4 if weights else None)
    if holes:
        for i in rng.sample(ids, n // 10):
            g.remove_node(i)
        for s, t, _ in rng.sample(g.edges(), min(g.n_edges, m // 10)):
            g.remove_edge(s, t)
        for k in range(n // 20):
            g.add_node(f"x{k}")
        live = g.node_ids()
        for _ in range(n // 10):
            link(rng.choice(live), rng.choice(live), 1.5)
    ref = (nx.DiGraph() if directed else nx.Graph()) if simple else nx.MultiDiGraph() if directed else nx.MultiGraph()
    ref.add_nodes_from(g.node_ids())
    for s, t, props in g.edges():
        ref.add_edge(s, t, w=props.get("w", 1.0))
    return g, ref


def while_held(g, call, exclusive=True):
    """Runs call() while g is held: exclusively by add_node, or shared by
    nodes_filtered, each converting a value whose str() makes the call.
    Returns what the call returned or raised."""
    out = []

    class Probe:
        def __str__(self):
            try:
                out.append(call())
            except BaseException as e:  # noqa: BLE001 - handed back to the test
                out.append(e)
            return "probe"

    if exclusive:
        g.add_node(f"probe{len(g)}", {"p": Probe()})
    else:
        g.nodes_filtered("p", Probe())
    return out[0]


def byte_key(ids):
    return [s.encode() for s in ids]
