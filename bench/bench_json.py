"""Graph JSON, pickling and derived graphs, against orjson, json and networkx.

The graph is the one of bench_graph.py: a directed graph of N nodes ("n0"..)
and M distinct edges, each edge with {"weight": float}. The JSON peers work
on a Python structure of the same shape as the graph JSON document.

Measured (best of a few runs each, all in this one process):
  to_json            MB/s vs orjson.dumps and json.dumps of the structure;
                     time vs networkx node_link_data + json.dumps
  from_json          MB/s (parse and build) vs orjson.loads and json.loads;
                     time vs json.loads + networkx node_link_graph
  pickle round trip  vs networkx's, on the subgraph of half of the nodes
                     (the whole graph's state is above the 64 MiB cap)
  subgraph(half), reverse, to_undirected
                     vs G.subgraph(nodes).copy(), G.reverse(), G.to_undirected()
  peak memory of from_json over the final graph's size (fresh process)

Usage: bench_json.py [N M]
"""
import gc
import json
import pickle
import random
import subprocess
import sys
import time

from common import graph_shape

N, M = (int(sys.argv[1]), int(sys.argv[2])) if len(sys.argv) >= 3 else (200_000, 1_000_000)
BIG = 2**64 - 1


def shape():
    return graph_shape(N, M)


def best(fn, repeat=3):
    times = []
    result = None
    for _ in range(repeat):
        gc.collect()
        t0 = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - t0)
        if repeat > 1:
            del result
            result = None
    if repeat == 1:
        return times[0], result
    return min(times), fn()


def row(label, ours, peer, want, higher_is_better=True):
    ratio = ours / peer if higher_is_better else peer / ours
    mark = "ok" if ratio >= want else "BELOW"
    print(f"  {label:<52} {ratio:8.2f}x  (want >= {want}x) {mark}")


def memory_child():
    # Fresh process: peak memory of from_json above the text, over the graph.
    from quor_graph._rust.graph import PyGraph

    def status(key):
        with open("/proc/self/status") as f:
            for line in f:
                if line.startswith(key):
                    return int(line.split()[1])
        return 0

    ids, edges = shape()
    g = PyGraph()
    for i in ids:
        g.add_node(i)
    for s, t, w in edges:
        g.add_edge(s, t, {"weight": w})
    text = g.to_json()
    del g, ids, edges
    gc.collect()
    base = status("VmRSS:")
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")
    g = PyGraph.from_json(text, BIG, BIG, BIG)
    peak = status("VmHWM:") - base
    final = status("VmRSS:") - base
    print(f"{peak} {final} {len(text)}")


def main():
    import networkx as nx
    import orjson

    from quor_graph._rust.graph import PyGraph

    print(f"graph: {N} nodes, {M} edges, edges carry {{'weight': float}}")
    ids, edges = shape()
    g = PyGraph()
    for i in ids:
        g.add_node(i)
    for s, t, w in edges:
        g.add_edge(s, t, {"weight": w})
    G = nx.DiGraph()
    G.add_nodes_from(ids)
    G.add_weighted_edges_from(edges)
    structure = {
        "directed": True, "multi": False, "name": "",
        "nodes": [{"id": i, "properties": {}} for i in ids],
        "edges": [{"source": s, "target": t, "properties": {"weight": w}} for s, t, w in edges],
    }

    # ---- writing ----
    t_ours, text = best(g.to_json)
    size = len(text)
    mb = size / 1e6
    t_orjson, out = best(lambda: orjson.dumps(structure))
    t_json, out_json = best(lambda: json.dumps(structure, separators=(",", ":")), 1)
    t_nx_write, _ = best(lambda: json.dumps(nx.node_link_data(G, edges="edges")), 1)
    print(f"\nto_json: {mb:.1f} MB in {t_ours * 1e3:.0f} ms = {mb / t_ours:.0f} MB/s")
    print(f"  orjson.dumps {len(out) / 1e6 / t_orjson:.0f} MB/s, json.dumps "
          f"{len(out_json) / 1e6 / t_json:.0f} MB/s, networkx node_link_data + json.dumps "
          f"{t_nx_write * 1e3:.0f} ms")
    row("to_json MB/s vs orjson.dumps", mb / t_ours, len(out) / 1e6 / t_orjson, 0.7)
    row("to_json MB/s vs json.dumps", mb / t_ours, len(out_json) / 1e6 / t_json, 1.0)
    row("to_json time vs networkx node_link_data + json.dumps", t_ours, t_nx_write, 10,
        higher_is_better=False)
    del out, out_json

    # ---- reading ----
    t_read, h = best(lambda: PyGraph.from_json(text, BIG, BIG, BIG))
    assert (h.n_nodes, h.n_edges) == (N, M)
    del h
    t_orjson_l, _ = best(lambda: orjson.loads(text))
    t_json_l, _ = best(lambda: json.loads(text), 1)
    nx_text = json.dumps(nx.node_link_data(G, edges="edges"))
    t_nx_read, _ = best(lambda: nx.node_link_graph(json.loads(nx_text), edges="edges"), 1)
    print(f"\nfrom_json: {mb / t_read:.0f} MB/s ({t_read * 1e3:.0f} ms); orjson.loads "
          f"{mb / t_orjson_l:.0f} MB/s, json.loads {mb / t_json_l:.0f} MB/s, "
          f"json.loads + node_link_graph {t_nx_read * 1e3:.0f} ms")
    row("from_json MB/s vs orjson.loads", mb / t_read, mb / t_orjson_l, 0.5)
    row("from_json MB/s vs json.loads", mb / t_read, mb / t_json_l, 1.0)
    row("from_json time vs json.loads + networkx node_link_graph", t_read, t_nx_read, 10,
        higher_is_better=False)
    del nx_text

    # ---- pickle ----
    # The whole graph's state is above the fixed 64 MiB unpickling cap, so
    # the round trip runs on the subgraph induced by half of the nodes.
    half = ids[: N // 2]
    gp, Gp = g.subgraph(half), G.subgraph(half).copy()
    t_pickle, _ = best(lambda: pickle.loads(pickle.dumps(gp)))
    t_nx_pickle, _ = best(lambda: pickle.loads(pickle.dumps(Gp)), 1)
    print(f"\npickle round trip ({gp.n_nodes} nodes, {gp.n_edges} edges, state "
          f"{len(gp.__getstate__()) / 1e6:.0f} MB; the full graph's state is "
          f"{(size + 4) / 1e6:.0f} MB, above the cap): {t_pickle * 1e3:.0f} ms; "
          f"networkx {t_nx_pickle * 1e3:.0f} ms")
    row("pickle round trip vs networkx", t_pickle, t_nx_pickle, 10, higher_is_better=False)
    del gp, Gp

    # ---- derived graphs ----
    cases = [
        ("subgraph(half of the nodes) vs G.subgraph(nodes).copy()",
         lambda: g.subgraph(half), lambda: G.subgraph(half).copy()),
        ("reverse() vs G.reverse()", g.reverse, G.reverse),
        ("to_undirected() vs G.to_undirected()", g.to_undirected, G.to_undirected),
    ]
    print()
    for label, ours, theirs in cases:
        t_o, _ = best(ours)
        t_t, _ = best(theirs, 1)
        print(f"  {label}: {t_o * 1e3:.0f} ms vs {t_t * 1e3:.0f} ms")
        row(label, t_o, t_t, 10, higher_is_better=False)

    # ---- memory ----
    del g, G, structure, text
    gc.collect()
    out = subprocess.run([sys.executable, __file__, str(N), str(M), "--memory"],
                         capture_output=True, text=True, check=True).stdout.split()
    peak, final, text_len = (int(x) for x in out)
    print(f"\nfrom_json memory: peak {peak / 1024:.0f} MiB above the text "
          f"({text_len / 1e6:.0f} MB), final graph {final / 1024:.0f} MiB")
    ratio = peak / final if final else float("inf")
    print(f"  {'peak / final graph size':<52} {ratio:8.2f}   (want < 2) {'ok' if ratio < 2 else 'ABOVE'}")


if __name__ == "__main__":
    if sys.argv[-1] == "--memory":
        memory_child()
    else:
        main()
