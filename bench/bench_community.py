"""Speed and quality of the community functions against networkx.

Louvain and label propagation on a planted-partition graph (communities of
50 nodes, dense inside, sparse between) and k-clique communities on a
smaller one. For Louvain the modularity of both partitions is printed as
well, computed by networkx on the same weighted view. Each time is the best
of a few calls.

Run: PYTHONPATH=build/pkg .venv/bin/python bench/bench_community.py [--groups G]
"""
import argparse
import time

import networkx as nx

from quor_graph._rust import algorithms as A
from quor_graph._rust.graph import PyGraph


def best_of(f, repeat=3):
    best, out = float("inf"), None
    for _ in range(repeat):
        t = time.perf_counter()
        out = f()
        best = min(best, time.perf_counter() - t)
    return best, out


def to_pygraph(ref):
    g = PyGraph(directed=False)
    for v in ref.nodes:
        g.add_node(str(v))
    for u, v in ref.edges:
        g.add_edge(str(u), str(v))
    return g


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--groups", type=int, default=400)
    args = ap.parse_args()
    ref = nx.planted_partition_graph(args.groups, 50, 0.2, 0.0005, seed=3)
    ref = nx.relabel_nodes(ref, str)
    g = to_pygraph(ref)
    print(f"planted partition: {ref.number_of_nodes()} nodes, {ref.number_of_edges()} edges")

    t_ours, ours = best_of(lambda: A.louvain_communities(g))
    t_nx, theirs = best_of(lambda: nx.community.louvain_communities(ref, seed=1), repeat=1)
    q_ours = nx.community.modularity(ref, ours)
    q_nx = nx.community.modularity(ref, theirs)
    print(f"louvain            ours {t_ours:8.3f} s  Q={q_ours:.4f} ({len(ours)} communities)"
          f"   networkx {t_nx:8.3f} s  Q={q_nx:.4f} ({len(theirs)})")

    t_ours, ours = best_of(lambda: A.label_propagation(g))
    t_nx, theirs = best_of(lambda: list(nx.community.label_propagation_communities(ref)), repeat=1)
    print(f"label_propagation  ours {t_ours:8.3f} s  ({len(ours)} communities)"
          f"   networkx {t_nx:8.3f} s  ({len(theirs)}, asynchronous variant)")

    if "k_clique_communities" in A.__all__:
        small = nx.relabel_nodes(nx.planted_partition_graph(40, 25, 0.4, 0.002, seed=5), str)
        h = to_pygraph(small)
        for k in (3, 4):
            t_ours, ours = best_of(lambda: A.k_clique_communities(h, k))
            t_nx, theirs = best_of(lambda: list(nx.community.k_clique_communities(small, k)), repeat=1)
            same = {frozenset(c) for c in ours} == {frozenset(c) for c in theirs}
            print(f"k_clique k={k}       ours {t_ours:8.3f} s  ({len(ours)} communities)"
                  f"   networkx {t_nx:8.3f} s  same={same}")


if __name__ == "__main__":
    main()
