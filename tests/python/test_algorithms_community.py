"""Community detection: exact small cases, plain-Python models, networkx differentials."""
import random

import networkx as nx
import pytest

import conftest
from quor_graph._rust import algorithms as A
from quor_graph._rust.graph import PyGraph
from test_algorithms_helpers import build, random_pair

DOCS = {
    "louvain_communities": ("(graph)", "Louvain community detection. Returns list of communities "
                            "(each is a list of node IDs)."),
    "label_propagation": ("(graph)", "Label propagation community detection. Returns list of "
                          "communities (each is a list of node IDs)."),
    "k_clique_communities": ("(graph, k)", "k-clique communities. Returns list of communities "
                             "(each is a list of node IDs)."),
}
GRAPH_ONLY = ["louvain_communities", "label_propagation"]
ALL = GRAPH_ONLY + ["k_clique_communities"]


def call(name, g, k=3):
    f = getattr(A, name)
    return f(g, k) if name == "k_clique_communities" else f(g)


def key(ids):
    return [s.encode() for s in ids]


def assert_community_list(groups):
    for c in groups:
        assert c and key(c) == sorted(key(c))
    firsts = [key(c[:1]) for c in groups]
    assert firsts == sorted(firsts)


def weighted(edges, nodes=(), directed=False, multi=False):
    g = PyGraph(directed=directed, multi=multi)
    for n in nodes:
        g.add_node(n)
    for s, t, w in edges:
        for n in (s, t):
            if n not in g:
                g.add_node(n)
        g.add_edge(s, t, None if w is None else {"weight": w})
    return g


# ---- Frame ----

@pytest.mark.parametrize("name", ALL)
def test_signature_doc_and_arguments(name):
    f = getattr(A, name)
    sig, doc = DOCS[name]
    assert f.__text_signature__ == sig and f.__doc__ == doc
    assert f.__module__ == "algorithms"
    with pytest.raises(TypeError, match=rf"{name}\(\) missing .* required positional argument"):
        f()
    with pytest.raises(TypeError, match="argument 'graph': 'int' object is not an instance of 'PyGraph'"):
        f(1, 2) if name == "k_clique_communities" else f(1)
    with pytest.raises(TypeError, match=r"argument 'graph': 'None' is not an instance of 'PyGraph'"):
        f(None, 2) if name == "k_clique_communities" else f(None)
    with pytest.raises(TypeError, match="unexpected keyword argument 'g'"):
        f(g=PyGraph())


def test_registration_order():
    names = A.__all__
    assert names.index("louvain_communities") == 29
    assert names.index("label_propagation") == 30
    if "k_clique_communities" in names:
        assert names[-1] == "k_clique_communities"


def test_k_conversion():
    g = build(directed=False, nodes="abc", edges=[("a", "b"), ("b", "c")])
    assert A.k_clique_communities(graph=g, k=2) == [["a", "b", "c"]]
    assert A.k_clique_communities(g, True) == A.k_clique_communities(g, 1)  # an int subclass
    with pytest.raises(OverflowError) as e:
        A.k_clique_communities(g, -1)
    assert "argument" not in str(e.value)
    with pytest.raises(OverflowError):
        A.k_clique_communities(g, 2**64)
    assert A.k_clique_communities(g, 2**64 - 1) == []
    with pytest.raises(TypeError, match="argument 'k': "):
        A.k_clique_communities(g, 2.0)
    with pytest.raises(TypeError, match="argument 'k': "):
        A.k_clique_communities(g, "2")


@pytest.mark.parametrize("name", ALL)
def test_refused_while_mutably_borrowed(name):
    g = PyGraph()
    g.add_node("a")
    seen = []

    class Probe:
        def __str__(self):
            try:
                call(name, g)
            except RuntimeError as e:
                seen.append(str(e))
            return "p"

    g.add_node("b", {"v": Probe()})
    assert seen == ["Already mutably borrowed"]
    call(name, g)  # the borrow was released


def test_borrow_checked_before_k():
    g = PyGraph()
    seen = []

    class Probe:
        def __str__(self):
            try:
                A.k_clique_communities(g, -1)
            except (RuntimeError, OverflowError) as e:
                seen.append(type(e).__name__)
            return "p"

    g.add_node("b", {"v": Probe()})
    assert seen == ["RuntimeError"]


# ---- Shared edge cases ----

@pytest.mark.parametrize("name", ALL)
@pytest.mark.parametrize("directed", [True, False])
def test_empty_graph(name, directed):
    assert call(name, PyGraph(directed=directed)) == []
    if name == "k_clique_communities":
        for k in (0, 1, 2, 7):
            assert A.k_clique_communities(PyGraph(directed=directed), k) == []


@pytest.mark.parametrize("name", GRAPH_ONLY)
@pytest.mark.parametrize("directed", [True, False])
def test_two_triangles_with_vacant_slot(name, directed):
    g = build(directed=directed, nodes=["z", "x", "gone", "y", "c", "b", "a"],
              edges=[("z", "x"), ("x", "y"), ("y", "z"), ("a", "b"), ("b", "c"), ("c", "a"),
                     ("gone", "a"), ("gone", "x")])
    g.remove_node("gone")
    assert call(name, g) == [["a", "b", "c"], ["x", "y", "z"]]
    g.add_node("m")
    assert call(name, g) == [["a", "b", "c"], ["m"], ["x", "y", "z"]]


def test_byte_wise_order():
    # "Z" < "a" < "é" by bytes; the prefix "a" before "ab".
    g = build(directed=False, nodes=["é", "ab", "a", "Z"], edges=[("é", "ab")])
    assert A.label_propagation(g)[:2] == [["Z"], ["a"]]
    g = build(directed=False, nodes=["ab", "a", "é", "Z"],
              edges=[("ab", "a"), ("a", "é"), ("é", "ab"), ("Z", "Z")])
    assert A.k_clique_communities(g, 3) == [["a", "ab", "é"]]


# ---- Louvain ----

def test_louvain_zero_total_weight_keeps_node_order():
    assert A.louvain_communities(build(nodes="ba")) == [["b"], ["a"]]
    assert A.louvain_communities(weighted([("b", "a", 0)])) == [["b"], ["a"]]
    assert A.louvain_communities(weighted([("b", "a", 1), ("a", "b", -1)], multi=True)) == [["b"], ["a"]]
    assert A.louvain_communities(weighted([("b", "a", 1.5), ("a", "c", -1.5)])) == [["b"], ["a"], ["c"]]


def test_louvain_weight_rule():
    cycle = [("a", "b", 10), ("b", "c", 1), ("c", "d", 10), ("d", "a", 1)]
    assert A.louvain_communities(weighted(cycle)) == [["a", "b"], ["c", "d"]]
    flipped = [("a", "b", 1), ("b", "c", 10), ("c", "d", 1), ("d", "a", 10)]
    assert A.louvain_communities(weighted(flipped)) == [["a", "d"], ["b", "c"]]
    # Non-numbers weigh 1.0: a string "10" changes nothing.
    strs = [("a", "b", "10"), ("b", "c", 1), ("c", "d", 10), ("d", "a", 1)]
    assert A.louvain_communities(weighted(strs)) == A.louvain_communities(
        weighted([("a", "b", 1), ("b", "c", 1), ("c", "d", 10), ("d", "a", 1)]))


@pytest.mark.parametrize("scale", [1e-200, 1e-5, 1.0, 1e150, 1e200])
def test_louvain_extreme_weight_magnitudes(scale):
    edges = [("a", "b", scale), ("b", "c", scale), ("c", "a", scale),
             ("d", "e", scale), ("e", "f", scale), ("f", "d", scale), ("c", "d", scale / 10)]
    assert A.louvain_communities(weighted(edges)) == [["a", "b", "c"], ["d", "e", "f"]]


def test_louvain_negative_self_loop_terminates():
    g = weighted([("a", "x", 10), ("b", "y", 10), ("p", "a", 1), ("p", "b", 1), ("p", "p", -0.5)])
    groups = A.louvain_communities(g)
    assert sorted(sum(groups, [])) == ["a", "b", "p", "x", "y"]
    assert ["b", "y"] in groups or ["b", "p", "y"] in groups


def model_louvain(g):
    """The module's Louvain in plain Python (ties: first community met while
    walking a node's neighbours in position order)."""
    ids = g.node_ids()
    n = len(ids)
    if n == 0:
        return []
    pos = {v: i for i, v in enumerate(ids)}
    rows = [dict() for _ in range(n)]
    m = 0.0
    for s, t, props in g.edges():
        w = props.get("weight", 1.0)
        w = float(w) if isinstance(w, (int, float)) and not isinstance(w, bool) else 1.0
        u, v = pos[s], pos[t]
        rows[u][v] = rows[u].get(v, 0.0) + w
        rows[v][u] = rows[v].get(u, 0.0) + w
        m += w
    if m == 0.0:
        return [[v] for v in ids]
    rows = [dict(sorted(r.items())) for r in rows]
    comm = list(range(n))
    term = lambda w, kp, s: w / m - (kp / m) * (s / m) * 0.5
    while True:
        cur = len(rows)
        k = [sum(r.values()) for r in rows]
        label = list(range(cur))
        sigma = list(k)
        moved_any = False
        while True:
            moved = False
            for p in range(cur):
                own = label[p]
                W = {}
                for q, w in rows[p].items():
                    if q != p:
                        W[label[q]] = W.get(label[q], 0.0) + w
                remove = term(W.get(own, 0.0), k[p], sigma[own] - k[p])
                best, best_gain = own, 0.0
                for c, wc in W.items():
                    if c != own:
                        gain = term(wc, k[p], sigma[c]) - remove
                        if gain > best_gain:
                            best, best_gain = c, gain
                if best != own:
                    label[p] = best
                    sigma[own] -= k[p]
                    sigma[best] += k[p]
                    moved = True
            if not moved:
                break
            moved_any = True
        if not moved_any:
            break
        renum = {c: i for i, c in enumerate(sorted(set(label)))}
        new_rows = [dict() for _ in renum]
        for i in range(cur):
            for j, w in rows[i].items():
                a, b = renum[label[i]], renum[label[j]]
                new_rows[a][b] = new_rows[a].get(b, 0.0) + w
        comm = [renum[label[c]] for c in comm]
        rows = [dict(sorted(r.items())) for r in new_rows]
        if len(renum) == cur:
            break
    groups = {}
    for p, c in enumerate(comm):
        groups.setdefault(c, []).append(ids[p])
    out = [sorted(v, key=str.encode) for v in groups.values()]
    return sorted(out, key=lambda c: c[0].encode())


def int_weighted_pair(seed, directed, n=50, m=120):
    rng = random.Random(seed)
    g, _ = random_pair(seed, directed, n=n, m=m)
    h = PyGraph(directed=directed, multi=True)
    for v in g.node_ids():
        h.add_node(v)
    for s, t, _ in g.edges():
        h.add_edge(s, t, {"weight": rng.choice([1, 1, 2, 3, 5])})
    return h


@pytest.mark.parametrize("seed", range(12))
def test_louvain_matches_model(seed):
    g = int_weighted_pair(seed, seed % 2 == 0)
    got = A.louvain_communities(g)
    assert got == model_louvain(g)
    assert_community_list(got)


def nx_view(g):
    """The weighted undirected simple view Louvain works on."""
    ref = nx.Graph()
    ref.add_nodes_from(g.node_ids())
    for s, t, props in g.edges():
        w = props.get("weight", 1.0)
        if ref.has_edge(s, t):
            ref[s][t]["weight"] += w
        else:
            ref.add_edge(s, t, weight=w)
    return ref


@pytest.mark.parametrize("seed", range(6))
def test_louvain_modularity_against_networkx(seed):
    rng = random.Random(seed)
    ref = nx.planted_partition_graph(6, 12, 0.6, 0.03, seed=seed)
    g = PyGraph(directed=False)
    order = list(ref.nodes)
    rng.shuffle(order)
    for v in order:
        g.add_node(f"n{v}")
    for u, v in ref.edges:
        g.add_edge(f"n{u}", f"n{v}")
    ours = A.louvain_communities(g)
    view = nx_view(g)
    q = nx.community.modularity(view, ours)
    theirs = nx.community.louvain_communities(view, seed=seed)
    assert q >= nx.community.modularity(view, theirs) - 0.02


def test_louvain_karate_club_quality():
    ref = nx.karate_club_graph()
    g = PyGraph(directed=False)
    for v in ref.nodes:
        g.add_node(str(v))
    for u, v, d in ref.edges(data=True):
        g.add_edge(str(u), str(v), {"weight": d["weight"]})
    ours = A.louvain_communities(g)
    assert_community_list(ours)
    assert nx.community.modularity(nx_view(g), ours) > 0.40


# ---- Label propagation ----

def model_label_propagation(g):
    ids = g.node_ids()
    pos = {v: i for i, v in enumerate(ids)}
    nbr = [[] for _ in ids]
    for s, t, _ in g.edges():
        nbr[pos[s]].append(pos[t])
        nbr[pos[t]].append(pos[s])
    prev = list(range(len(ids)))
    for _ in range(100):
        cur = list(prev)
        changed = False
        for p, lst in enumerate(nbr):
            if not lst:
                continue
            counts = {}
            for q in lst:
                counts[prev[q]] = counts.get(prev[q], 0) + 1
            maxc = max(counts.values())
            if counts.get(prev[p], 0) != maxc:
                cur[p] = min(l for l, c in counts.items() if c == maxc)
                changed = True
        prev = cur
        if not changed:
            break
    groups = {}
    for p, l in enumerate(prev):
        groups.setdefault(l, []).append(ids[p])
    out = [sorted(v, key=str.encode) for v in groups.values()]
    return sorted(out, key=lambda c: c[0].encode())


def test_label_propagation_hand_worked():
    assert A.label_propagation(build(directed=False, nodes="ab", edges=[("a", "b")])) == [["a"], ["b"]]
    tri = build(directed=False, nodes="abc", edges=[("a", "b"), ("b", "c"), ("c", "a")])
    assert A.label_propagation(tri) == [["a", "b", "c"]]
    iso = build(directed=False, nodes="abcq", edges=[("a", "b"), ("b", "c"), ("c", "a")])
    assert A.label_propagation(iso) == [["a", "b", "c"], ["q"]]
    star = build(directed=False, nodes=["h", "l1", "l2", "l3", "l4"],
                 edges=[("h", "l1"), ("h", "l2"), ("h", "l3"), ("h", "l4")])
    assert A.label_propagation(star) == [["h"], ["l1", "l2", "l3", "l4"]]
    looped = build(directed=False, nodes=["h", "l1", "l2", "l3"],
                   edges=[("h", "l1"), ("h", "l2"), ("h", "l3"), ("h", "h")])
    assert A.label_propagation(looped) == [["h", "l1", "l2", "l3"]]


@pytest.mark.parametrize("seed", range(16))
def test_label_propagation_matches_model(seed):
    g, _ = random_pair(seed, seed % 2 == 1, n=60, m=90)
    got = A.label_propagation(g)
    assert got == model_label_propagation(g)
    assert_community_list(got)


# ---- k-clique communities ----

def test_k_clique_hand_worked():
    path = build(directed=False, nodes="abc", edges=[("a", "b"), ("b", "c")])
    assert A.k_clique_communities(path, 2) == [["a", "b", "c"]]
    assert A.k_clique_communities(path, 3) == []
    bow = build(directed=False, nodes=["s", "a", "b", "c", "d"],
                edges=[("s", "a"), ("a", "b"), ("b", "s"), ("s", "c"), ("c", "d"), ("d", "s")])
    assert A.k_clique_communities(bow, 3) == [["a", "b", "s"], ["c", "d", "s"]]


@pytest.mark.parametrize("k", [0, 1])
@pytest.mark.parametrize("directed", [True, False])
def test_k_clique_below_two_is_weak_components(k, directed):
    g, _ = random_pair(5, directed, n=40, m=25)
    assert A.k_clique_communities(g, k) == A.weakly_connected_components(g)


@pytest.mark.parametrize("seed", range(10))
@pytest.mark.parametrize("k", [2, 3, 4])
def test_k_clique_matches_networkx(seed, k):
    g, ref = random_pair(seed, False, n=30, m=110)
    got = A.k_clique_communities(g, k)
    assert_community_list(got)
    simple = nx.Graph(ref)
    simple.remove_edges_from(nx.selfloop_edges(simple))
    want = {frozenset(c) for c in nx.community.k_clique_communities(simple, k)}
    assert {frozenset(c) for c in got} == want
    assert len(got) == len(want)


@pytest.mark.parametrize("seed", range(4))
def test_k_clique_directed_reads_the_undirected_view(seed):
    g, ref = random_pair(seed, True, n=30, m=110)
    u = PyGraph(directed=False, multi=True)
    for v in g.node_ids():
        u.add_node(v)
    for s, t, _ in g.edges():
        u.add_edge(s, t)
    for k in (2, 3):
        assert {frozenset(c) for c in A.k_clique_communities(g, k)} == {
            frozenset(c) for c in A.k_clique_communities(u, k)}


NAMES = ["louvain_communities", "label_propagation", "k_clique_communities"]


@pytest.mark.parametrize("name", NAMES[:2])
@pytest.mark.parametrize("directed", [True, False])
def test_two_triangles_with_vacant_first_slot(name, directed):
    g = conftest.build(directed, nodes=["gone", "z", "x", "y", "c", "b", "a"],  # slot 0 goes vacant
                       edges=[("z", "x"), ("x", "y"), ("y", "z"), ("a", "b"), ("b", "c"), ("c", "a"),
                              ("gone", "a"), ("gone", "x")])
    g.remove_node("gone")
    assert call(name, g) == [["a", "b", "c"], ["x", "y", "z"]]
    g.add_node("m")
    assert call(name, g) == [["a", "b", "c"], ["m"], ["x", "y", "z"]]


def seeded(seed):
    """Nine nodes, 14 weighted random edges (directed for even seeds), then a
    vacated slot taken by a new node j: ties and slot order decide the answers."""
    rng = random.Random(seed)
    g = conftest.build(seed % 2 == 0, True, "abcdefghi")
    for _ in range(14):
        g.add_edge(rng.choice("abcdefghi"), rng.choice("abcdefghi"), {"weight": rng.choice([1, 1, 2, 3])})
    g.remove_node("c")
    g.add_node("j")
    g.add_edge("j", "a")
    g.add_edge("j", "b")
    return g


@pytest.mark.parametrize("seed, louvain, label_propagation", [
    (0, [["a", "j"], ["b", "e", "g"], ["d", "f", "h", "i"]], [["a", "b"], ["d", "e"], ["f", "i"], ["g"], ["h"], ["j"]]),
    (1, [["a", "i", "j"], ["b", "e", "h"], ["d", "f", "g"]], [["a", "i", "j"], ["b", "e", "h"], ["d"], ["f"], ["g"]]),
    (2, [["a", "b", "j"], ["d", "e"], ["f", "g", "h", "i"]], [["a", "b", "f", "g", "h", "j"], ["d", "e"], ["i"]]),
    (3, [["a", "b", "j"], ["d", "e", "f", "h", "i"], ["g"]], [["a", "b", "e", "f", "h", "j"], ["d"], ["g"], ["i"]]),
    (4, [["a", "d", "e"], ["b", "f", "j"], ["g", "h", "i"]], [["a", "d", "e"], ["b", "f", "j"], ["g"], ["h", "i"]]),
    (5, [["a"], ["b", "i", "j"], ["d", "g", "h"], ["e", "f"]], [["a", "b", "i", "j"], ["d"], ["e"], ["f"], ["g", "h"]]),
])
def test_exact_answers_on_small_graphs(seed, louvain, label_propagation):
    g = seeded(seed)
    assert A.louvain_communities(g) == louvain
    assert A.label_propagation(g) == label_propagation


@pytest.mark.parametrize("edges, expected", [
    ([("d", "b"), ("c", "a"), ("d", "a"), ("c", "b")], [["a", "c"], ["b", "d"]]),
    ([("d", "c"), ("a", "d"), ("b", "a"), ("c", "b")], [["a", "b"], ["c", "d"]]),
])
def test_louvain_equal_gains_go_to_the_first_community_met(edges, expected):
    assert A.louvain_communities(conftest.build(False, nodes="abcd", edges=edges)) == expected


@pytest.mark.parametrize("seed", range(4))
def test_louvain_modularity_against_networkx_and_label_partition(seed):
    ref = nx.planted_partition_graph(6, 12, 0.6, 0.03, seed=seed)
    order = list(ref.nodes)
    random.Random(seed).shuffle(order)
    g = conftest.build(False, nodes=[f"n{v}" for v in order], edges=[(f"n{u}", f"n{v}") for u, v in ref.edges])
    ours = A.louvain_communities(g)
    assert_community_list(ours)
    view = nx_view(g)
    theirs = nx.community.louvain_communities(view, seed=seed)
    assert nx.community.modularity(view, ours) >= nx.community.modularity(view, theirs) - 0.02
    labels = A.label_propagation(g)
    assert_community_list(labels)
    assert nx.community.is_partition(view, labels)


def test_k_clique_by_keyword_and_above_any_clique_size():
    path = conftest.build(False, nodes="abc", edges=[("a", "b"), ("b", "c")])
    assert A.k_clique_communities(path, 2) == A.k_clique_communities(graph=path, k=2) == [["a", "b", "c"]]
    assert A.k_clique_communities(path, 3) == [] == A.k_clique_communities(path, 2**64 - 1)
    bow = conftest.build(False, edges=[("s", "a"), ("a", "b"), ("b", "s"), ("s", "c"), ("c", "d"), ("d", "s")])
    assert A.k_clique_communities(bow, 3) == [["a", "b", "s"], ["c", "d", "s"]]


@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("k", [2, 3, 4])
def test_k_clique_matches_networkx_on_directed_views(seed, k):
    g, ref = conftest.random_pair(seed, seed % 3 == 0, n=30, m=110)
    got = A.k_clique_communities(g, k)
    assert_community_list(got)
    simple = nx.Graph(ref)  # a directed graph is read through its undirected view
    simple.remove_edges_from(nx.selfloop_edges(simple))
    want = {frozenset(c) for c in nx.community.k_clique_communities(simple, k)}
    assert {frozenset(c) for c in got} == want and len(got) == len(want)


@pytest.mark.parametrize("name", NAMES)
@pytest.mark.parametrize("directed", [True, False])
def test_empty_graph_and_every_k(name, directed):
    assert call(name, PyGraph(directed=directed)) == []
    assert all(A.k_clique_communities(PyGraph(directed=directed), k) == [] for k in (0, 1, 2, 7))


def test_byte_wise_order_with_the_shared_builder():
    # "Z" < "a" < "é" by bytes; the prefix "a" before "ab".
    g = conftest.build(False, nodes=["é", "ab", "a", "Z"], edges=[("é", "ab")])
    assert A.label_propagation(g)[:2] == [["Z"], ["a"]]
    g = conftest.build(False, nodes=["ab", "a", "é", "Z"], edges=[("ab", "a"), ("a", "é"), ("é", "ab"), ("Z", "Z")])
    assert A.k_clique_communities(g, 3) == [["a", "ab", "é"]]


def test_louvain_weight_rule_with_the_shared_builder():
    assert A.louvain_communities(weighted([("a", "b", 10), ("b", "c", 1), ("c", "d", 10), ("d", "a", 1)])) == [
        ["a", "b"], ["c", "d"]]
    assert A.louvain_communities(weighted([("a", "b", 1), ("b", "c", 10), ("c", "d", 1), ("d", "a", 10)])) == [
        ["a", "d"], ["b", "c"]]
    # Non-numbers weigh 1.0: a string "10" changes nothing.
    assert A.louvain_communities(weighted([("a", "b", "10"), ("b", "c", 1), ("c", "d", 10), ("d", "a", 1)])) == \
        A.louvain_communities(weighted([("a", "b", 1), ("b", "c", 1), ("c", "d", 10), ("d", "a", 1)]))


@pytest.mark.parametrize("scale", [1e-200, 1.0, 1e200])
def test_louvain_extreme_weight_magnitudes_three_scales(scale):
    edges = [("a", "b", scale), ("b", "c", scale), ("c", "a", scale), ("d", "e", scale), ("e", "f", scale),
             ("f", "d", scale), ("c", "d", scale / 10)]
    assert A.louvain_communities(weighted(edges)) == [["a", "b", "c"], ["d", "e", "f"]]


def test_louvain_karate_club_quality_nodes_in_edge_order():
    ref = nx.karate_club_graph()
    g = conftest.build(False, edges=[(str(u), str(v), {"weight": d["weight"]}) for u, v, d in ref.edges(data=True)])
    ours = A.louvain_communities(g)
    assert_community_list(ours)
    assert nx.community.modularity(nx_view(g), ours) > 0.40


def test_label_propagation_hand_worked_nodes_in_edge_order():
    assert A.label_propagation(conftest.build(False, nodes="ab", edges=[("a", "b")])) == [["a"], ["b"]]
    assert A.label_propagation(conftest.build(False, nodes="abcq", edges=[("a", "b"), ("b", "c"), ("c", "a")])) == [
        ["a", "b", "c"], ["q"]]
    star = [("h", "l1"), ("h", "l2"), ("h", "l3"), ("h", "l4")]
    assert A.label_propagation(conftest.build(False, edges=star)) == [["h"], ["l1", "l2", "l3", "l4"]]
    assert A.label_propagation(conftest.build(False, edges=star[:3] + [("h", "h")])) == [["h", "l1", "l2", "l3"]]


@pytest.mark.parametrize("seed", range(3))
@pytest.mark.parametrize("name", NAMES[:2])
def test_random_graphs_are_partitioned(seed, name):
    g, _ = conftest.random_pair(seed, seed % 2 == 1, n=60, m=90)
    got = call(name, g)
    assert_community_list(got)
    assert sorted(sum(got, [])) == sorted(g.node_ids())
