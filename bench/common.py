"""Shared pieces of the benchmarks: the benchmark graph's shape."""
import random


def edge_pairs(n, m, seed=7):
    """m distinct (source, target) index pairs over n nodes, no self-loops."""
    rng = random.Random(seed)
    seen = set()
    out = []
    while len(out) < m:
        s, t = rng.randrange(n), rng.randrange(n)
        if s != t and (s, t) not in seen:
            seen.add((s, t))
            out.append((s, t))
    return out


# Temporaries of graph_shape, kept alive on purpose: freed Python objects
# leave memory that a Python-heavy peer would reuse while a native store
# cannot, which would skew the resident-memory comparisons.
_KEEP = []


def graph_shape(n, m):
    """Ids "n0".. and (source id, target id, weight) edges of the benchmark graph."""
    ids = [f"n{i}" for i in range(n)]
    weights = [random.Random(i).random() for i in range(1000)]
    pairs = edge_pairs(n, m)
    _KEEP.append(pairs)
    edges = [(ids[s], ids[t], weights[k % 1000]) for k, (s, t) in enumerate(pairs)]
    return ids, edges
