"""Speed of the knowledge operations on one seeded graph.

A directed graph of 100,000 nodes and 500,000 labelled edges (bench/common.py),
a second state of it with a tenth of the nodes changed, removed or added, and
a 2,000-node "subClassOf" tree and a 2,000-node chain for the transitive
inference (a random relation over the big graph would have a closure of
billions of pairs). Each figure is
the best of several calls.

Run: PYTHONPATH=build/pkg .venv/bin/python bench/bench_knowledge.py [--nodes N]
"""
import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))

from common import graph_shape  # noqa: E402
from quor_graph._rust import knowledge as K  # noqa: E402
from quor_graph._rust.graph import PyGraph  # noqa: E402

PREDICATES = ["p0", "p1", "p2", "p3"]


def best(fn, repeat=3):
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return min(times)


def build(n, m):
    ids, edges = graph_shape(n, m)
    triples = [(s, PREDICATES[k % 4], t) for k, (s, t, _) in enumerate(edges)]
    g = K.from_triples(triples)
    for k, i in enumerate(ids):
        if k % 3 == 0 and g.has_node(i):
            g.set_node_property(i, "type", f"T{k % 7}")
    return ids, triples, g


def second_state(ids, g):
    h = K.merge_graphs(g, PyGraph())
    for k, i in enumerate(ids):
        if not h.has_node(i):
            continue
        if k % 30 == 0:
            h.remove_node(i)
        elif k % 30 == 1:
            h.set_node_property(i, "changed", True)
    for k in range(len(ids) // 30):
        h.add_node(f"new{k}")
    return h


def tree(n):
    g = PyGraph()
    g.add_node("c0")
    for i in range(1, n):
        g.add_node(f"c{i}")
        g.add_edge(f"c{i}", f"c{(i - 1) // 2}", {"predicate": "subClassOf"})
    return g


def chain(n):
    g = PyGraph()
    for i in range(n):
        g.add_node(f"k{i}")
    for i in range(1, n):
        g.add_edge(f"k{i - 1}", f"k{i}", {"predicate": "next"})
    return g


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--nodes", type=int, default=100_000)
    args = ap.parse_args()
    n = args.nodes
    ids, triples, g = build(n, 5 * n)
    h = second_state(ids, g)
    t = tree(2000)
    c = chain(2000)
    rows = [
        ("from_triples", lambda: K.from_triples(triples)),
        ("project_triples", lambda: K.project_triples(g)),
        ("merge_graphs keep_latest", lambda: K.merge_graphs(g, h)),
        ("merge_graphs merge", lambda: K.merge_graphs(g, h, "merge")),
        ("diff_graphs", lambda: K.diff_graphs(g, h)),
        ("extract_subgraph_by_types", lambda: K.extract_subgraph_by_types(g, ["T0", "T3"])),
        ("extract_subgraph_by_property", lambda: K.extract_subgraph_by_property(g, "type", "T1")),
        ("densify (no relation)", lambda: K.densify(g, "none")),
        ("densify chain 2000 (2M pairs)", lambda: K.densify(c, "next")),
        ("infer_types tree 2000", lambda: K.infer_types(t, "subClassOf")),
        ("find_hub_nodes", lambda: K.find_hub_nodes(g, 10)),
        ("find_orphan_nodes", lambda: K.find_orphan_nodes(g)),
        ("degree_distribution", lambda: K.degree_distribution(g)),
    ]
    print(f"graph: {g.n_nodes} nodes, {g.n_edges} edges")
    for name, fn in rows:
        print(f"{name:32s} {best(fn) * 1000:10.1f} ms")


if __name__ == "__main__":
    main()
