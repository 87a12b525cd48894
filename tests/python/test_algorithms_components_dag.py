"""Components, cycles and DAG operations: exact orders and networkx differentials."""
import networkx as nx
import pytest

import conftest
from quor_graph._rust import algorithms as A
from quor_graph._rust.graph import PyGraph
from test_algorithms_helpers import build, random_pair


def as_set(groups):
    return {tuple(c) for c in groups}


GRAPH_ONLY = {
    "strongly_connected_components": "Strongly connected components via Tarjan's algorithm.\n"
    "Returns list of components (each is a list of node IDs).",
    "num_connected_components": "Number of weakly connected components.",
    "weakly_connected_components": "Weakly connected components as lists of node IDs.",
    "is_strongly_connected": "Check if the graph is strongly connected.",
    "is_weakly_connected": "Check if the graph is weakly connected.",
    "find_cycles": "Find all cycles in the graph (SCC-based). Returns list of node-ID lists.",
    "find_cycle_paths": "Find one representative cycle path per SCC. Returns list of ordered cycle paths.",
    "topological_sort": "Topological sort. Returns node IDs in topological order.\n"
    "Raises ValueError if graph has cycles.",
    "longest_path": 'Longest path in a DAG. Returns dict with "length" and "path" keys.',
    "transitive_closure": "Transitive closure: add edge (u,v) for every pair where v is reachable from u.\n"
    "Returns a new graph with all transitive edges added.",
    "condensation": "Condensation: contract SCCs into single nodes. Returns a new DAG.",
}


@pytest.mark.parametrize("name", sorted(GRAPH_ONLY))
def test_graph_only_functions(name):
    f = getattr(A, name)
    assert f.__text_signature__ == "(graph)"
    assert f.__doc__ == GRAPH_ONLY[name]
    with pytest.raises(TypeError, match=rf"{name}\(\) missing 1 required positional argument: 'graph'"):
        f()
    with pytest.raises(TypeError, match="argument 'graph': 'int' object is not an instance of 'PyGraph'"):
        f(1)
    f(graph=PyGraph())


@pytest.mark.parametrize("directed", [True, False])
def test_empty_and_single(directed):
    g = PyGraph(directed=directed)
    assert A.weakly_connected_components(g) == []
    assert A.strongly_connected_components(g) == []
    assert A.num_connected_components(g) == 0
    assert A.is_weakly_connected(g) is True
    assert A.is_strongly_connected(g) is True
    assert A.find_cycles(g) == [] and A.find_cycle_paths(g) == []
    g.add_node("a")
    assert A.weakly_connected_components(g) == [["a"]]
    assert A.strongly_connected_components(g) == [["a"]]
    assert A.is_weakly_connected(g) and A.is_strongly_connected(g)


def test_tarjan_order_and_cycles():
    g = build(nodes="ab", edges=[("a", "b")])
    assert A.strongly_connected_components(g) == [["b"], ["a"]]
    assert A.is_strongly_connected(g) is False
    assert A.is_weakly_connected(g) is True
    t = build(nodes="abc", edges=[("a", "b"), ("b", "c"), ("c", "a")])
    assert A.strongly_connected_components(t) == [["c", "b", "a"]]
    assert A.find_cycles(t) == [["c", "b", "a"]]
    assert A.find_cycle_paths(t) == [["c", "a", "b"]]
    loop = build(nodes="ab", edges=[("a", "a"), ("a", "b")])
    assert A.find_cycles(loop) == [["a"]]
    assert A.find_cycle_paths(loop) == [["a"]]
    assert A.find_cycles(build(nodes="ab", edges=[("a", "b")])) == []


def test_undirected_components():
    u = build(directed=False, nodes="abcd", edges=[("a", "b"), ("b", "c"), ("c", "a"), ("d", "d")])
    assert A.find_cycles(u) == [] and A.find_cycle_paths(u) == []
    assert as_set(A.strongly_connected_components(u)) == {("a", "b", "c"), ("d",)}
    assert as_set(A.weakly_connected_components(u)) == {("a", "b", "c"), ("d",)}
    assert A.is_strongly_connected(u) is A.is_weakly_connected(u) is False
    assert A.num_connected_components(u) == 2


def test_vacant_slot_keeps_member_order():
    g = build(nodes="abcd", edges=[("a", "b"), ("c", "d"), ("b", "c")])
    g.remove_node("b")
    assert as_set(A.weakly_connected_components(g)) == {("a",), ("c", "d")}
    g.add_node("z")  # takes b's slot, so it stands before c and d
    g.add_edge("d", "z")
    assert as_set(A.weakly_connected_components(g)) == {("a",), ("z", "c", "d")}
    assert A.strongly_connected_components(g) == [["a"], ["z"], ["d"], ["c"]]


@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("directed", [True, False])
def test_components_match_networkx(seed, directed):
    g, ref = random_pair(seed + 10, directed, n=80, m=90)
    order = {n: i for i, n in enumerate(g.node_ids())}
    weak = nx.weakly_connected_components(ref) if directed else nx.connected_components(ref)
    want = {tuple(sorted(c, key=order.get)) for c in weak}
    assert as_set(A.weakly_connected_components(g)) == want
    assert A.num_connected_components(g) == len(want)
    assert A.is_weakly_connected(g) == (len(want) < 2)
    if directed:
        strong = {frozenset(c) for c in nx.strongly_connected_components(ref)}
        got = A.strongly_connected_components(g)
        assert {frozenset(c) for c in got} == strong
        # Reverse topological order of the condensation.
        index = {n: i for i, c in enumerate(got) for n in c}
        for s, t, _ in g.edges():
            assert index[s] >= index[t]
        assert A.is_strongly_connected(g) == (len(strong) == 1)
        cyc = A.find_cycles(g)
        paths = A.find_cycle_paths(g)
        assert len(cyc) == len(paths)
        for c, p in zip(cyc, paths):
            assert p[0] == c[0] and len(set(p)) == len(p) and set(p) <= set(c)
            for u, v in zip(p, p[1:] + p[:1]):
                assert ref.has_edge(u, v)
    else:
        assert as_set(A.strongly_connected_components(g)) == want


def test_topological_sort_orders_and_errors():
    assert A.topological_sort(build(nodes="abc")) == ["c", "b", "a"]
    assert A.topological_sort(build(nodes="abc", edges=[("a", "b"), ("b", "c")])) == ["a", "b", "c"]
    diamond = build(nodes="abcd", edges=[("a", "b"), ("a", "c"), ("b", "d"), ("c", "d")])
    assert A.topological_sort(diamond) == ["a", "c", "b", "d"]
    with pytest.raises(ValueError, match="^Topological sort is only defined for directed graphs$"):
        A.topological_sort(PyGraph(directed=False))
    with pytest.raises(ValueError, match="^Graph has a cycle involving node 'b'$"):
        A.topological_sort(build(nodes="ab", edges=[("a", "b"), ("b", "a")]))
    with pytest.raises(ValueError, match="involving node 'c'"):
        A.topological_sort(build(nodes="abc", edges=[("a", "b"), ("b", "c"), ("c", "a")]))
    with pytest.raises(ValueError, match="involving node 'a'"):
        A.topological_sort(build(nodes="ab", edges=[("a", "a")]))


def test_longest_path():
    assert A.longest_path(PyGraph()) == {"length": 0, "path": []}
    r = A.longest_path(build(nodes="abc", edges=[("a", "b"), ("b", "c")]))
    assert r == {"length": 2, "path": ["a", "b", "c"]} and list(r) == ["length", "path"]
    assert A.longest_path(build(nodes="abc")) == {"length": 0, "path": ["c"]}
    with pytest.raises(ValueError, match="only defined for directed graphs"):
        A.longest_path(PyGraph(directed=False))
    with pytest.raises(ValueError, match="involving node 'a'"):
        A.longest_path(build(nodes="a", edges=[("a", "a")]))


@pytest.mark.parametrize("seed", range(5))
def test_dag_functions_match_networkx(seed):
    g, ref = random_pair(seed + 30, True, n=70, m=160)
    position = {n: i for i, n in enumerate(g.node_ids())}
    for s, t, _ in g.edges():
        if position[s] >= position[t]:
            g.remove_edge(s, t)
            ref.remove_edge(s, t)
    order = A.topological_sort(g)
    assert sorted(order) == sorted(g.node_ids())
    where = {n: i for i, n in enumerate(order)}
    assert all(where[s] < where[t] for s, t, _ in g.edges())
    lp = A.longest_path(g)
    assert lp["length"] == nx.dag_longest_path_length(ref)
    assert len(lp["path"]) == lp["length"] + 1
    assert all(ref.has_edge(u, v) for u, v in zip(lp["path"], lp["path"][1:]))
    closure = A.transitive_closure(g)
    want = nx.transitive_closure_dag(nx.DiGraph(ref))
    assert {(s, t) for s, t, _ in closure.edges()} == set(want.edges())
    cond = A.condensation(g)
    assert cond.n_nodes == g.n_nodes and cond.n_edges == nx.DiGraph(ref).number_of_edges()


def test_transitive_closure_cases():
    chain = build(nodes="abc", edges=[("a", "b", 1), ("b", "c", 2)])
    c = A.transitive_closure(chain)
    assert c.edges() == [("a", "b", {"w": 1}), ("b", "c", {"w": 2}), ("a", "c", {})]
    assert c.is_directed and not c.is_multi
    cyc = A.transitive_closure(build(nodes="ab", edges=[("a", "b"), ("b", "a")]))
    assert sorted((s, t) for s, t, _ in cyc.edges()) == [("a", "b"), ("b", "a")]
    u = A.transitive_closure(build(directed=False, nodes="abc", edges=[("a", "b"), ("b", "c")]))
    assert u.edges() == [("a", "b", {}), ("b", "c", {}), ("a", "c", {})]
    assert not u.is_directed
    m = A.transitive_closure(build(multi=True, nodes="ab", edges=[("a", "b", 1), ("a", "b", 2)]))
    assert m.edges() == [("a", "b", {"w": 1})]
    named = PyGraph(directed=False, name="kept")
    named.add_node("x", {"p": [1, 2]})
    closure = A.transitive_closure(named)
    assert closure.name == "kept" and closure.node("x") == {"p": [1, 2]}


def test_condensation_cases():
    c = A.condensation(build(nodes="ab", edges=[("a", "b"), ("b", "a")]))
    assert c.node_ids() == ["a,b"] and c.edges() == [] and c.name == "" and c.is_directed
    c = A.condensation(build(nodes="abc", edges=[("a", "b"), ("b", "a"), ("b", "c")]))
    assert c.node_ids() == ["c", "a,b"]
    assert c.edges() == [("a,b", "c", {})]
    u = A.condensation(build(directed=False, nodes="xyz", edges=[("y", "x")]))
    assert u.is_directed and sorted(u.node_ids()) == ["x,y", "z"] and u.edges() == []
    props = build(nodes="a")
    props.add_node("b", {"k": 1})
    assert A.condensation(props).node("b") == {}
    empty = A.condensation(PyGraph(name="n"))
    assert empty.n_nodes == 0 and empty.name == ""


@pytest.mark.parametrize("directed", [True, False])
def test_every_component_call_on_empty_and_single(directed):
    g = PyGraph(directed=directed)
    calls = (A.weakly_connected_components, A.strongly_connected_components, A.num_connected_components,
             A.is_weakly_connected, A.is_strongly_connected, A.find_cycles, A.find_cycle_paths)
    assert repr([f(g) for f in calls]) == "[[], [], 0, True, True, [], []]"
    g.add_node("a")
    assert repr([f(g) for f in calls]) == "[[['a']], [['a']], 1, True, True, [], []]"


@pytest.mark.parametrize("seed", range(4))
@pytest.mark.parametrize("directed", [True, False])
def test_components_match_networkx_first_four_seeds(seed, directed):
    g, ref = conftest.random_pair(seed + 10, directed, n=80, m=90)
    order = {n: i for i, n in enumerate(g.node_ids())}
    weak = nx.weakly_connected_components(ref) if directed else nx.connected_components(ref)
    want = {tuple(sorted(c, key=order.get)) for c in weak}
    assert as_set(A.weakly_connected_components(g)) == want
    assert A.num_connected_components(g) == len(want)
    assert A.is_weakly_connected(g) == (len(want) < 2)
    if directed:
        strong = {frozenset(c) for c in nx.strongly_connected_components(ref)}
        got = A.strongly_connected_components(g)
        assert {frozenset(c) for c in got} == strong
        # Reverse topological order of the condensation.
        index = {n: i for i, c in enumerate(got) for n in c}
        for s, t, _ in g.edges():
            assert index[s] >= index[t]
        assert A.is_strongly_connected(g) == (len(strong) == 1)
        cyc = A.find_cycles(g)
        paths = A.find_cycle_paths(g)
        assert len(cyc) == len(paths)
        for c, p in zip(cyc, paths):
            assert p[0] == c[0] and len(set(p)) == len(p) and set(p) <= set(c)
            for u, v in zip(p, p[1:] + p[:1]):
                assert ref.has_edge(u, v)
    else:
        assert as_set(A.strongly_connected_components(g)) == want


def test_topological_sort_names_the_first_node_of_a_three_node_cycle():
    assert A.topological_sort(conftest.build(nodes="abc")) == ["c", "b", "a"]
    assert A.topological_sort(conftest.build(nodes="abc", edges=[("a", "b"), ("b", "c")])) == ["a", "b", "c"]
    diamond = conftest.build(nodes="abcd", edges=[("a", "b"), ("a", "c"), ("b", "d"), ("c", "d")])
    assert A.topological_sort(diamond) == ["a", "c", "b", "d"]
    with pytest.raises(ValueError, match="^Topological sort is only defined for directed graphs$"):
        A.topological_sort(PyGraph(directed=False))
    with pytest.raises(ValueError, match="^Graph has a cycle involving node 'c'$"):  # the first found
        A.topological_sort(conftest.build(nodes="abc", edges=[("a", "b"), ("b", "c"), ("c", "a")]))
    with pytest.raises(ValueError, match="involving node 'a'"):
        A.topological_sort(conftest.build(nodes="ab", edges=[("a", "a")]))
