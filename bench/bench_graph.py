"""Graph building and per-call queries, against networkx and rustworkx.

Builds a directed graph of N nodes and M edges (ids "n0".., each edge with
{"weight": float}) through add_node/add_edge calls in a Python loop, in a
fresh process per library so that peak memory above the interpreter's
baseline can be read from the process's own high-water mark. Then times
has_node, degree, node and successors per call. Prints ratios.

Usage: bench_graph.py [N M]
"""
import json
import os
import random
import resource
import subprocess
import sys
import time

from common import graph_shape

N, M = (int(sys.argv[1]), int(sys.argv[2])) if len(sys.argv) == 3 else (200_000, 1_000_000)


def rss_kb():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def peak_kb():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def reset_peak():
    # Writing 5 to clear_refs resets VmHWM to the current RSS.
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
    except OSError:
        pass


def child(lib):
    ids, edges = graph_shape(N, M)
    import gc

    gc.collect()
    if lib == "quor":
        from quor_graph._rust.graph import PyGraph
    elif lib == "networkx":
        import networkx as nx
    else:
        import rustworkx as rx
    base = rss_kb()
    reset_peak()
    t0 = time.perf_counter()
    if lib == "quor":
        g = PyGraph()
        add_node, add_edge = g.add_node, g.add_edge
        for i in ids:
            add_node(i)
        for s, t, w in edges:
            add_edge(s, t, {"weight": w})
    elif lib == "networkx":
        g = nx.DiGraph()
        add_node, add_edge = g.add_node, g.add_edge
        for i in ids:
            add_node(i)
        for s, t, w in edges:
            add_edge(s, t, weight=w)
    else:
        g = rx.PyDiGraph()
        index = {}
        add_node, add_edge = g.add_node, g.add_edge
        for i in ids:
            index[i] = add_node(i)
        for s, t, w in edges:
            add_edge(index[s], index[t], {"weight": w})
    build = time.perf_counter() - t0
    gc.collect()
    peak = peak_kb() - base
    sample = [ids[random.Random(k).randrange(N)] for k in range(20_000)]
    per_call = {}

    def timeit(name, fn):
        t = time.perf_counter()
        for x in sample:
            fn(x)
        per_call[name] = (time.perf_counter() - t) / len(sample) * 1e9

    if lib == "quor":
        timeit("has_node", g.has_node)
        timeit("degree", g.degree)
        timeit("node", g.node)
        timeit("successors", g.successors)
    elif lib == "networkx":
        timeit("has_node", g.has_node)
        timeit("degree", g.degree)
        nodes = g.nodes
        timeit("node", lambda x: nodes[x])
        timeit("successors", lambda x: list(g.successors(x)))
    else:
        timeit("has_node", lambda x: g.has_node(index[x]))
        timeit("degree", lambda x: g.in_degree(index[x]) + g.out_degree(index[x]))
        timeit("node", lambda x: g[index[x]])
        timeit("successors", lambda x: g.successors(index[x]))
    print(json.dumps({"build": build, "peak_kb": peak, "per_call": per_call}))


def run(lib):
    out = subprocess.run(
        [sys.executable, __file__, "--child", lib, str(N), str(M)], capture_output=True, text=True
    )
    if out.returncode != 0:
        return None, out.stderr.strip().splitlines()[-1] if out.stderr else "failed"
    return json.loads(out.stdout), None


def main():
    results = {}
    for lib in ("quor", "networkx", "rustworkx"):
        r, err = run(lib)
        if r is None:
            print(f"{lib}: skipped ({err})")
        else:
            results[lib] = r
    q = results["quor"]
    print(f"build {N:,} nodes + {M:,} edges through add_node/add_edge:")
    for lib, r in results.items():
        line = f"  {lib:10s} {r['build']:7.2f} s  peak +{r['peak_kb'] / 1024:8.1f} MiB"
        if lib != "quor":
            line += f"   quor speed x{r['build'] / q['build']:.2f}, quor memory x{q['peak_kb'] / r['peak_kb']:.2f}"
        print(line)
    per_node = q["peak_kb"] * 1024 / (N + M)
    print(f"  quor peak bytes per (node + edge): {per_node:.0f}")
    print("per call (ns), and quor's speed ratio against each peer:")
    for name in ("has_node", "degree", "node", "successors"):
        parts = [f"{lib} {r['per_call'][name]:6.0f}" for lib, r in results.items()]
        ratios = [
            f"vs {lib} x{r['per_call'][name] / q['per_call'][name]:.2f}" for lib, r in results.items() if lib != "quor"
        ]
        print(f"  {name:10s} " + "  ".join(parts) + "   " + ", ".join(ratios))


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--child":
        N, M = int(sys.argv[3]), int(sys.argv[4])
        child(sys.argv[2])
    else:
        main()
