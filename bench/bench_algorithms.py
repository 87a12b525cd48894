"""Speed of the traversal, path, component and sort functions against their peers.

One run, one process: quor_graph, rustworkx, igraph and networkx on the same
seeded graphs (a Barabasi-Albert-like graph of 100,000 nodes and about
500,000 edges, randomly oriented, its undirected version, and a 100,000-node
DAG). Each figure is the best of several calls. The peers return integer
indices (rustworkx, igraph) or their own node objects (networkx); quor_graph
returns string ids, so every result pays for one str per node. The column
"ids" is the cost of building a list of every node id as str (node_ids()),
the floor of that conversion; where it is half or more of our time the
conversion dominates, and the row says so.

Run: PYTHONPATH=build/pkg .venv/bin/python bench/bench_algorithms.py [--nodes N]
"""
import argparse
import os
import random
import sys
import time

import networkx as nx

from quor_graph._rust import algorithms as A
from quor_graph._rust.graph import PyGraph

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from common import best, optional  # noqa: E402

rx = optional("rustworkx")
ig = optional("igraph")


def ba_edges(n, m, seed):
    """Preferential attachment: each new node joins m distinct earlier nodes."""
    rng = random.Random(seed)
    targets = list(range(m))
    repeated = []
    edges = []
    for v in range(m, n):
        for t in set(targets):
            edges.append((v, t))
        repeated.extend(targets)
        repeated.extend([v] * m)
        chosen = set()
        while len(chosen) < m:
            chosen.add(rng.choice(repeated))
        targets = list(chosen)
    return edges


class Peers:
    """The same graph in each library."""

    def __init__(self, n, edges, directed, weights):
        self.n = n
        self.directed = directed
        ids = [f"n{i}" for i in range(n)]
        self.ids = ids
        g = PyGraph(directed=directed)
        for i in ids:
            g.add_node(i)
        for (s, t), w in zip(edges, weights):
            g.add_edge(ids[s], ids[t], {"w": w})
        self.q = g
        if rx is not None:
            r = rx.PyDiGraph() if directed else rx.PyGraph()
            r.add_nodes_from(range(n))
            r.add_edges_from([(s, t, w) for (s, t), w in zip(edges, weights)])
            self.rx = r
        if ig is not None:
            self.ig = ig.Graph(n=n, edges=edges, directed=directed)
            self.ig.es["w"] = weights
        x = nx.DiGraph() if directed else nx.Graph()
        x.add_nodes_from(range(n))
        x.add_weighted_edges_from([(s, t, w) for (s, t), w in zip(edges, weights)], weight="w")
        self.nx = x


def cases(P, src):
    """(name, quor, rustworkx, igraph, networkx) callables."""
    d = P.directed
    s_id = P.ids[src]
    q, r, i, x = P.q, getattr(P, "rx", None), getattr(P, "ig", None), P.nx
    out = [
        ("bfs", lambda: A.bfs(q, s_id),
         r and (lambda: (rx.digraph_bfs_layers if d else rx.graph_bfs_layers)(r, [src])),
         i and (lambda: i.bfs(src)),
         lambda: [src] + [v for _, v in nx.bfs_edges(x, src)]),
        ("dfs", lambda: A.dfs(q, s_id),
         r and (lambda: (rx.digraph_dfs_edges if d else rx.graph_dfs_edges)(r, src)),
         i and (lambda: i.dfs(src)),
         lambda: list(nx.dfs_preorder_nodes(x, src))),
        ("shortest_paths", lambda: A.shortest_paths(q, s_id),
         r and (lambda: dict(rx.dijkstra_shortest_path_lengths(r, src, lambda _: 1.0))),
         i and (lambda: i.distances(source=src)),
         lambda: nx.single_source_shortest_path_length(x, src)),
        ("shortest_paths w", lambda: A.shortest_paths(q, s_id, weight_key="w"),
         r and (lambda: dict(rx.dijkstra_shortest_path_lengths(r, src, float))),
         i and (lambda: i.distances(source=src, weights="w")),
         lambda: nx.single_source_dijkstra_path_length(x, src, weight="w")),
        ("weakly_connected_comp", lambda: A.weakly_connected_components(q),
         r and (lambda: (rx.weakly_connected_components if d else rx.connected_components)(r)),
         i and (lambda: i.connected_components(mode="weak")),
         lambda: list((nx.weakly_connected_components if d else nx.connected_components)(x))),
    ]
    if d:
        out.append(
            ("strongly_connected_comp", lambda: A.strongly_connected_components(q),
             r and (lambda: rx.strongly_connected_components(r)),
             i and (lambda: i.connected_components(mode="strong")),
             lambda: list(nx.strongly_connected_components(x))))
    return out


def report(title, P, rows, floor):
    print(f"\n{title}: {P.q.n_nodes} nodes, {P.q.n_edges} edges")
    print(f"{'function':24}{'quor ms':>9}{'rx ms':>9}{'ig ms':>9}{'nx ms':>9}"
          f"{'x nx':>8}{'x rx':>7}{'x ig':>7}{'ids ms':>8}  note")
    verdicts = []
    for name, tq, tr, ti, tn in rows:
        ratio_nx = tn / tq
        ratio_rx = (tr / tq) if tr else float("nan")
        ratio_ig = (ti / tq) if ti else float("nan")
        ok = ratio_nx >= 20 and (not tr or ratio_rx >= 1.0) and (not ti or ratio_ig >= 1 / 1.5)
        note = "" if ok else "BELOW TARGET"
        if floor >= 0.5 * tq:
            note = (note + "; " if note else "") + "str conversion dominates"
        verdicts.append(ok)
        fmt = lambda t: f"{t * 1e3:9.2f}" if t else f"{'-':>9}"
        print(f"{name:24}{fmt(tq)}{fmt(tr)}{fmt(ti)}{fmt(tn)}"
              f"{ratio_nx:8.1f}{ratio_rx:7.2f}{ratio_ig:7.2f}{floor * 1e3:8.2f}  {note}")
    return all(verdicts)


def run_block(title, P, src, repeat, nx_repeat):
    floor = best(lambda: P.q.node_ids(), repeat)
    rows = []
    for name, fq, fr, fi, fn in cases(P, src):
        tq = best(fq, repeat)
        tr = best(fr, repeat) if fr else None
        ti = best(fi, repeat) if fi else None
        tn = best(fn, nx_repeat)
        rows.append((name, tq, tr, ti, tn))
    return report(title, P, rows, floor)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--nodes", type=int, default=100_000)
    ap.add_argument("--repeat", type=int, default=7)
    args = ap.parse_args()
    n = args.nodes
    rng = random.Random(7)
    base = ba_edges(n, 5, seed=1)
    # Random orientation, so the directed graph has cycles and a giant strong component.
    oriented = [(s, t) if rng.random() < 0.5 else (t, s) for s, t in base]
    weights = [float(rng.randint(1, 10)) for _ in base]
    print(f"python {sys.version.split()[0]}; rustworkx {getattr(rx, '__version__', 'absent')}; "
          f"igraph {getattr(ig, '__version__', 'absent')}; networkx {nx.__version__}")
    print("ratios: x nx, x rx, x ig = peer time / our time (above 1: we are faster)")
    print("targets: x nx >= 20, x rx >= 1, x ig >= 0.67")
    t0 = time.perf_counter()
    directed = Peers(n, oriented, True, weights)
    undirected = Peers(n, base, False, weights)
    print(f"(graphs built in {time.perf_counter() - t0:.1f} s)")
    src = 0
    ok = run_block("directed", directed, src, args.repeat, 2)
    ok &= run_block("undirected", undirected, src, args.repeat, 2)

    # topological_sort on a DAG: the attachment edges from new to old.
    dag = Peers(n, base, True, weights)
    floor = best(lambda: dag.q.node_ids(), args.repeat)
    tq = best(lambda: A.topological_sort(dag.q), args.repeat)
    tr = best(lambda: rx.topological_sort(dag.rx), args.repeat) if rx else None
    ti = best(lambda: dag.ig.topological_sorting(), args.repeat) if ig else None
    tn = best(lambda: list(nx.topological_sort(dag.nx)), 2)
    ok &= report("DAG", dag, [("topological_sort", tq, tr, ti, tn)], floor)
    print("\nall targets met" if ok else "\nsome targets missed (see BELOW TARGET)")


if __name__ == "__main__":
    main()
