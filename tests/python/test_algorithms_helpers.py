"""Builders shared by the algorithm tests (not a test module itself)."""
import random

import networkx as nx

from quor_graph._rust.graph import PyGraph


def build(directed=True, multi=False, nodes=(), edges=()):
    """edges: (s, t) or (s, t, weight)."""
    g = PyGraph(directed=directed, multi=multi)
    for n in nodes:
        g.add_node(n)
    for e in edges:
        if len(e) == 3:
            g.add_edge(e[0], e[1], {"w": e[2]})
        else:
            g.add_edge(e[0], e[1])
    return g


def random_pair(seed, directed, n=60, m=150, weights=False, lo=0.0, hi=10.0, holes=True):
    """A seeded random multigraph with vacant slots, and its networkx twin."""
    rng = random.Random(seed)
    g = PyGraph(directed=directed, multi=True)
    ids = [f"n{i}" for i in range(n)]
    for i in ids:
        g.add_node(i)
    for _ in range(m):
        s, t = rng.choice(ids), rng.choice(ids)
        props = {"w": round(rng.uniform(lo, hi) * 4) / 4} if weights else None
        g.add_edge(s, t, props)
    if holes:
        for i in rng.sample(ids, n // 10):
            g.remove_node(i)
        for s, t, _ in rng.sample(g.edges(), min(len(g.edges()), m // 10)):
            g.remove_edge(s, t)
        for k in range(n // 20):
            g.add_node(f"x{k}")
        live = g.node_ids()
        for _ in range(n // 10):
            g.add_edge(rng.choice(live), rng.choice(live), {"w": 1.5} if weights else None)
    ref = nx.MultiDiGraph() if directed else nx.MultiGraph()
    ref.add_nodes_from(g.node_ids())
    for s, t, props in g.edges():
        ref.add_edge(s, t, w=props.get("w", 1.0))
    return g, ref
