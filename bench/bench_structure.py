"""Speed of the structure functions against their peers.

One process: quor_graph, rustworkx, igraph and networkx on the same seeded
undirected graphs of 100,000 nodes: a preferential-attachment graph (about
300,000 edges) and a sparse uniform random graph (about 150,000 edges,
many small pieces, so bridges and cut vertices abound). Each figure is the
best of several calls; networkx runs once and only where it finishes in
reasonable time. maximal_cliques runs with max_input_nodes raised to the
graph's size and max_cliques unbounded. quor_graph returns string ids, the
peers integer indices (networkx its node objects).

Run: PYTHONPATH=build/pkg .venv/bin/python bench/bench_structure.py [--nodes N]
"""
import argparse
import os
import sys
import random
import time

import networkx as nx

from quor_graph._rust import algorithms as A
from quor_graph._rust.graph import PyGraph

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from common import optional  # noqa: E402

rx = optional("rustworkx")
ig = optional("igraph")


def ba_edges(n, m, seed):
    rng = random.Random(seed)
    repeated = list(range(m))
    edges = set()
    for v in range(m, n):
        chosen = set()
        while len(chosen) < m:
            chosen.add(rng.choice(repeated))
        for t in chosen:
            edges.add((v, t))
        repeated.extend(chosen)
        repeated.extend([v] * m)
    return sorted(edges)


def sparse_edges(n, m, seed):
    rng = random.Random(seed)
    edges = set()
    while len(edges) < m:
        s, t = rng.randrange(n), rng.randrange(n)
        if s != t and (t, s) not in edges:
            edges.add((s, t))
    return sorted(edges)


def best(fn, repeat):
    times = []
    out = None
    for _ in range(repeat):
        t0 = time.perf_counter()
        out = fn()
        times.append(time.perf_counter() - t0)
    return min(times), out


def build(n, edges):
    g = PyGraph(directed=False)
    for i in range(n):
        g.add_node(f"n{i}")
    for s, t in edges:
        g.add_edge(f"n{s}", f"n{t}")
    peers = {}
    if rx is not None:
        r = rx.PyGraph()
        r.add_nodes_from(range(n))
        r.add_edges_from_no_data(edges)
        peers["rustworkx"] = r
    if ig is not None:
        peers["igraph"] = ig.Graph(n=n, edges=edges)
    ref = nx.Graph()
    ref.add_nodes_from(range(n))
    ref.add_edges_from(edges)
    peers["networkx"] = ref
    return g, peers


def peer_calls(name, peers):
    r, i, x = peers.get("rustworkx"), peers.get("igraph"), peers["networkx"]
    table = {
        "bridges": {
            "rustworkx": r and (lambda: rx.bridges(r)),
            "igraph": i and (lambda: i.bridges()),
            "networkx": lambda: list(nx.bridges(x)),
        },
        "articulation_points": {
            "rustworkx": r and (lambda: rx.articulation_points(r)),
            "igraph": i and (lambda: i.articulation_points()),
            "networkx": lambda: list(nx.articulation_points(x)),
        },
        "maximum_matching": {
            # rustworkx's max_weight_matching (max_cardinality) took 145 s on the
            # preferential-attachment graph and networkx longer; igraph matches
            # bipartite graphs only. Left out so that the run stays short.
            "igraph": i and (lambda: i.maximum_matching()) if i and i.is_bipartite() else None,
        },
        "maximal_cliques": {
            "igraph": i and (lambda: i.maximal_cliques()),
            "networkx": lambda: list(nx.find_cliques(x)),
        },
        "density": {"igraph": i and (lambda: i.density()), "networkx": lambda: nx.density(x)},
        "is_bipartite": {
            "rustworkx": r and (lambda: rx.is_bipartite(r)),
            "igraph": i and (lambda: i.is_bipartite()),
            "networkx": lambda: nx.is_bipartite(x),
        },
        "greedy_matching": {"networkx": lambda: nx.maximal_matching(x)},
    }
    return {k: v for k, v in table.get(name, {}).items() if v}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--nodes", type=int, default=100_000)
    args = ap.parse_args()
    n = args.nodes
    shapes = {
        "preferential attachment": ba_edges(n, 3, 1),
        "sparse uniform": sparse_edges(n, int(1.5 * n), 2),
    }
    ours = {
        "bridges": A.bridges,
        "articulation_points": A.articulation_points,
        "greedy_matching": A.greedy_matching,
        "maximum_matching": A.maximum_matching,
        "maximal_cliques": lambda g: A.maximal_cliques(g, max_input_nodes=n, max_cliques=2**63),
        "density": A.density,
        "is_bipartite": A.is_bipartite,
    }
    for shape, edges in shapes.items():
        g, peers = build(n, edges)
        print(f"\n{shape}: {n} nodes, {len(edges)} edges")
        print(f"{'function':22} {'quor_graph':>11} {'rustworkx':>11} {'igraph':>11} {'networkx':>11}  size")
        for name, fn in ours.items():
            t, out = best(lambda: fn(g), 3)
            row = {"quor_graph": t}
            for peer, call in peer_calls(name, peers).items():
                row[peer], _ = best(call, 1 if peer == "networkx" else 3)
            size = len(out) if isinstance(out, list) else out
            cells = " ".join(
                f"{row[k] * 1e3:9.1f}ms" if k in row else f"{'-':>11}"
                for k in ("quor_graph", "rustworkx", "igraph", "networkx")
            )
            print(f"{name:22} {cells}  {size}")


if __name__ == "__main__":
    main()
