"""Removals around hubs and updates of nodes with many properties, against networkx.

Hub removal: a star of N leaves (hub -> leaf_i), then every leaf removed with
remove_node, or every hub edge removed with remove_edge, oldest first; and N
parallel edges between two nodes of a multigraph removed one by one. The
removal time is also given against the time to build the star. Many keys:
update_node with one dict of K keys on a node that already holds them, and
K calls of set_node_property on one node. Prints times and ratios.

Usage: bench_mutation.py [sizes...]   (default 40000 160000 1000000)
"""
import sys
import time

from common import optional

nx = optional("networkx")
from quor_graph._rust.graph import PyGraph

SIZES = [int(a) for a in sys.argv[1:]] or [40_000, 160_000, 1_000_000]


def timed(fn):
    t0 = time.perf_counter()
    fn()
    return time.perf_counter() - t0


def star(lib, leaves, multi=False):
    if lib == "quor":
        g = PyGraph(multi=multi)
        g.add_node("hub")
        for x in leaves:
            g.add_node(x)
        for x in leaves:
            g.add_edge("hub", x)
    else:
        g = nx.MultiDiGraph() if multi else nx.DiGraph()
        g.add_node("hub")
        for x in leaves:
            g.add_node(x)
        for x in leaves:
            g.add_edge("hub", x)
    return g


def hub_case(n):
    leaves = [f"leaf{i}" for i in range(n)]
    row = {}
    for lib in ("quor", "networkx") if nx else ("quor",):
        t_build = timed(lambda: star(lib, leaves))
        g = star(lib, leaves)
        t_nodes = timed(lambda: [g.remove_node(x) for x in leaves])
        g = star(lib, leaves)
        t_edges = timed(lambda: [g.remove_edge("hub", x) for x in leaves])
        if lib == "quor":
            p = PyGraph(multi=True)
            p.add_node("a")
            p.add_node("b")
            for _ in range(n):
                p.add_edge("a", "b")
            p.add_node("c")
            p.add_edge("a", "c")  # the parallel edges are no longer the newest of a's list
            t_par = timed(lambda: [p.remove_edge("a", "b") for _ in range(n)])
        else:
            p = nx.MultiDiGraph()
            p.add_edges_from(("a", "b") for _ in range(n))
            p.add_edge("a", "c")
            t_par = timed(lambda: [p.remove_edge("a", "b") for _ in range(n)])
        row[lib] = (t_build, t_nodes, t_edges, t_par)
    return row


def keys_case(k):
    props = {f"key{i}": i for i in range(k)}
    row = {}
    for lib in ("quor", "networkx") if nx else ("quor",):
        if lib == "quor":
            g = PyGraph()
            g.add_node("x", props)
            t_update = timed(lambda: g.update_node("x", props))
            h = PyGraph()
            h.add_node("x")
            t_set = timed(lambda: [h.set_node_property("x", key, v) for key, v in props.items()])
        else:
            g = nx.DiGraph()
            g.add_node("x", **props)
            t_update = timed(lambda: g.nodes["x"].update(props))
            h = nx.DiGraph()
            h.add_node("x")
            attrs = h.nodes["x"]
            t_set = timed(lambda: [attrs.__setitem__(key, v) for key, v in props.items()])
        row[lib] = (t_update, t_set)
    return row


def ratio(row, i):
    return f"x{row['networkx'][i] / row['quor'][i]:.3g}" if "networkx" in row else "-"


def main():
    print("hub removal (s): build star | remove leaves (remove_node) | remove hub edges | "
          "remove parallel edges; quor speed vs networkx")
    for n in SIZES:
        row = hub_case(n)
        q = row["quor"]
        print(f"  {n:>9,} leaves  quor {q[0]:.3f} | {q[1]:.3f} | {q[2]:.3f} | {q[3]:.3f}"
              f"   removal/build x{q[1] / q[0]:.2f}"
              f"   vs networkx: nodes {ratio(row, 1)}, edges {ratio(row, 2)}, parallel {ratio(row, 3)}")
    print("many keys (s): update_node with K keys | K x set_node_property; quor speed vs networkx")
    for k in (10_000, 20_000, 40_000, 80_000):
        row = keys_case(k)
        q = row["quor"]
        print(f"  {k:>9,} keys  quor {q[0]:.4f} | {q[1]:.4f}"
              f"   vs networkx: update {ratio(row, 0)}, set {ratio(row, 1)}")


if __name__ == "__main__":
    main()
