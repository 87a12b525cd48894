"""Speed of the centrality functions against their peers.

One run, one process: quor_graph, rustworkx, igraph and networkx on the same
seeded random graphs. PageRank, eigenvector and the degree centralities run
on a large graph (100,000 nodes, 500,000 distinct directed edges by
default); betweenness and closeness, which search from every node, on a
small one (2,000 nodes, 10,000 edges) so that networkx finishes in seconds.
Each figure is the best of several calls (networkx: fewer).

What each library computes differs in places, so read the ratios with this:
- PageRank: ours runs exactly `iterations` (100) rounds; rustworkx and
  networkx stop at tolerance 1e-6 (rustworkx after about 5 rounds here),
  igraph solves the system directly. The row "100 rounds each" holds
  rustworkx to 100 rounds too, by a tolerance it cannot meet.
  Without scipy, networkx's pure-Python PageRank is timed.
- Eigenvector: ours and rustworkx stop at 1e-6 (at most 100 rounds), igraph
  uses ARPACK, networkx its own power iteration.
- Betweenness: rustworkx spreads the sources over threads by default; the
  "rx 1 thread" row switches that off. We run on one thread.
- Results: ours are lists of (id, score) sorted by score, so every call pays
  for one str per node and a sort; the peers return index-keyed maps or
  lists. "ids ms" is the cost of node_ids(), the floor of the str part.

Run: PYTHONPATH=build/pkg .venv/bin/python bench/bench_centrality.py [--nodes N --edges M]
"""
import argparse
import sys
import time
import warnings

import networkx as nx

from quor_graph._rust import algorithms as A
from quor_graph._rust.graph import PyGraph

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from common import best, edge_pairs, optional  # noqa: E402

try:
    import scipy  # noqa: F401  networkx's fast PageRank needs it
    nx_pagerank = nx.pagerank
except ImportError:  # pragma: no cover - the pure-Python form then
    from networkx.algorithms.link_analysis.pagerank_alg import _pagerank_python as nx_pagerank
rx = optional("rustworkx")
ig = optional("igraph")


class Peers:
    """The same graph in each library."""

    def __init__(self, n, edges, directed):
        self.directed = directed
        if not directed:  # one edge per unordered pair
            seen = set()
            edges = [e for e in edges if frozenset(e) not in seen and not seen.add(frozenset(e))]
        ids = [f"n{i}" for i in range(n)]
        g = PyGraph(directed=directed)
        for i in ids:
            g.add_node(i)
        for s, t in edges:
            g.add_edge(ids[s], ids[t])
        self.q = g
        self.rx = self.rx_rev = None
        if rx is not None:
            r = rx.PyDiGraph() if directed else rx.PyGraph()
            r.add_nodes_from(range(n))
            r.add_edges_from_no_data(edges)
            self.rx = r
            self.rx_rev = r.copy()
            if directed:
                self.rx_rev.reverse()  # in place
        self.ig = ig.Graph(n=n, edges=edges, directed=directed) if ig is not None else None
        x = nx.DiGraph() if directed else nx.Graph()
        x.add_nodes_from(range(n))
        x.add_edges_from(edges)
        self.nx = x


def rounds(fn):
    """Runs fn to its round limit: a tolerance no run can meet makes it raise there."""
    try:
        fn()
    except Exception:  # the peer's failed-convergence error
        pass


def large_cases(P):
    q, r, i, x = P.q, P.rx, P.ig, P.nx
    d = P.directed
    n1 = max(1, P.q.n_nodes - 1)
    rows = [
        ("pagerank", lambda: A.pagerank(q),
         r and (lambda: rx.pagerank(r, alpha=0.85, max_iter=100, tol=1e-6)) if d else None,
         i and (lambda: i.pagerank(damping=0.85)),
         lambda: nx_pagerank(x, alpha=0.85, tol=1e-6)),
        ("degree_centrality", lambda: A.degree_centrality(q),
         r and (lambda: rx.degree_centrality(r)),
         i and (lambda: [v / n1 for v in i.degree()]),
         lambda: nx.degree_centrality(x)),
        ("eigenvector", lambda: A.eigenvector_centrality(q),
         r and (lambda: rx.eigenvector_centrality(r, max_iter=100, tol=1e-6)),
         i and (lambda: i.eigenvector_centrality(directed=d) if d else i.eigenvector_centrality()),
         lambda: nx.eigenvector_centrality(x, max_iter=100, tol=1e-6)),
    ]
    if d and r is not None:
        rows.append(("pagerank, 100 rounds each", lambda: A.pagerank(q),
                     lambda: rounds(lambda: rx.pagerank(r, alpha=0.85, max_iter=100, tol=1e-300)),
                     None, None))
    if d:
        rows += [
            ("in_degree_centrality", lambda: A.in_degree_centrality(q),
             r and (lambda: rx.in_degree_centrality(r)),
             i and (lambda: [v / n1 for v in i.degree(mode="in")]),
             lambda: nx.in_degree_centrality(x)),
            ("out_degree_centrality", lambda: A.out_degree_centrality(q),
             r and (lambda: rx.out_degree_centrality(r)),
             i and (lambda: [v / n1 for v in i.degree(mode="out")]),
             lambda: nx.out_degree_centrality(x)),
        ]
    return rows


def small_cases(P):
    q, r, i, x = P.q, P.rx, P.ig, P.nx
    d = P.directed
    xr = x.reverse(copy=True) if d else x
    # Closeness: ours measures distances from each node, the peers' directed
    # forms distances to it, so they get the reversed graph.
    return [
        ("betweenness", lambda: A.betweenness_centrality(q),
         r and (lambda: rx.betweenness_centrality(r, normalized=True)),
         i and (lambda: i.betweenness(directed=d)),
         lambda: nx.betweenness_centrality(x)),
        ("betweenness rx 1 thread", lambda: A.betweenness_centrality(q),
         r and (lambda: rx.betweenness_centrality(r, normalized=True, parallel_threshold=10**9)),
         None, None),
        ("closeness", lambda: A.closeness_centrality(q),
         r and (lambda: rx.closeness_centrality(P.rx_rev, wf_improved=False)),
         i and (lambda: i.closeness(mode="out")),
         lambda: nx.closeness_centrality(xr, wf_improved=False)),
    ]


def run(title, P, rows, repeat, nx_repeat):
    floor = best(lambda: P.q.node_ids(), repeat)
    print(f"\n{title}: {P.q.n_nodes} nodes, {P.q.n_edges} edges")
    print(f"{'function':26}{'quor ms':>10}{'rx ms':>10}{'ig ms':>10}{'nx ms':>11}"
          f"{'x nx':>8}{'x rx':>7}{'x ig':>7}{'ids ms':>8}")
    fmt = lambda t: f"{t * 1e3:10.2f}" if t else f"{'-':>10}"
    rat = lambda t, tq: f"{t / tq:7.2f}" if t else f"{'-':>7}"
    for name, fq, fr, fi, fn in rows:
        tq = best(fq, repeat)
        tr = best(fr, repeat) if fr else None
        ti = best(fi, repeat) if fi else None
        tn = best(fn, nx_repeat) if fn else None
        print(f"{name:26}{fmt(tq)}{fmt(tr)}{fmt(ti)}{fmt(tn)} "
              f"{rat(tn, tq)}{rat(tr, tq)}{rat(ti, tq)}{floor * 1e3:8.2f}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--nodes", type=int, default=100_000)
    ap.add_argument("--edges", type=int, default=500_000)
    ap.add_argument("--small-nodes", type=int, default=2_000)
    ap.add_argument("--small-edges", type=int, default=10_000)
    ap.add_argument("--repeat", type=int, default=5)
    args = ap.parse_args()
    warnings.simplefilter("ignore")  # igraph's note on disconnected graphs
    print(f"python {sys.version.split()[0]}; rustworkx {getattr(rx, '__version__', 'absent')}; "
          f"igraph {getattr(ig, '__version__', 'absent')}; networkx {nx.__version__}")
    print("ratios: x nx, x rx, x ig = peer time / our time (above 1: we are faster)")
    t0 = time.perf_counter()
    big = edge_pairs(args.nodes, args.edges, seed=7)
    small = edge_pairs(args.small_nodes, args.small_edges, seed=11)
    blocks = [
        ("large directed", Peers(args.nodes, big, True), large_cases, 2),
        ("large undirected", Peers(args.nodes, big, False), large_cases, 2),
        ("small directed", Peers(args.small_nodes, small, True), small_cases, 1),
        ("small undirected", Peers(args.small_nodes, small, False), small_cases, 1),
    ]
    print(f"(graphs built in {time.perf_counter() - t0:.1f} s)")
    for title, P, cases, nx_repeat in blocks:
        run(title, P, cases(P), args.repeat, nx_repeat)


if __name__ == "__main__":
    main()
