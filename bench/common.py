"""Shared pieces of the benchmarks: graph shapes, timing, optional peers."""
import importlib
import random
import time


def optional(module):
    """The peer module, or None when it is not installed."""
    try:
        return importlib.import_module(module)
    except ImportError:
        return None


def best(fn, repeat):
    """The fastest of `repeat` runs of fn(), in seconds."""
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return min(times)


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
