"""Random add/remove sequences against a plain model of the slot storage.

The model keeps node and edge slots with last-in-first-out reuse and
newest-first adjacency lists, as the graph promises; every observable order
(node ids, edges, neighbours, degrees) must match after each step.
"""
from hypothesis import given, settings
from hypothesis import strategies as st

from quor_graph._rust.graph import PyGraph


class Model:
    def __init__(self, directed, multi):
        self.directed, self.multi = directed, multi
        self.nodes, self.free_nodes = [], []  # slot -> id or None
        self.edges, self.free_edges = [], []  # slot -> (s, t) or None
        self.out, self.inc = {}, {}  # slot -> edge slots, newest first

    def slot(self, node_id):
        return self.nodes.index(node_id) if node_id in self.nodes else None

    def add_node(self, node_id):
        if node_id in self.nodes:
            return False
        n = self.free_nodes.pop() if self.free_nodes else len(self.nodes)
        if n == len(self.nodes):
            self.nodes.append(None)
        self.nodes[n] = node_id
        self.out[n], self.inc[n] = [], []
        return True

    def linked(self, s, t):
        if any(self.edges[e][1] == t for e in self.out[s]):
            return True
        return not self.directed and any(self.edges[e][1] == s for e in self.out[t])

    def add_edge(self, a, b):
        s, t = self.slot(a), self.slot(b)
        if s is None or t is None or (not self.multi and self.linked(s, t)):
            return False
        e = self.free_edges.pop() if self.free_edges else len(self.edges)
        if e == len(self.edges):
            self.edges.append(None)
        self.edges[e] = (s, t)
        self.out[s].insert(0, e)
        self.inc[t].insert(0, e)
        return True

    def drop_edge(self, e):
        s, t = self.edges[e]
        self.out[s].remove(e)
        self.inc[t].remove(e)
        self.edges[e] = None
        self.free_edges.append(e)

    def remove_edge(self, a, b):
        s, t = self.slot(a), self.slot(b)
        if s is None or t is None:
            return False
        found = [e for e in self.out[s] if self.edges[e][1] == t]
        if not found and not self.directed:
            found = [e for e in self.inc[s] if self.edges[e][0] == t]
        if not found:
            return False
        self.drop_edge(found[0])
        return True

    def remove_node(self, node_id):
        n = self.slot(node_id)
        if n is None:
            return False
        while self.out[n]:
            self.drop_edge(self.out[n][0])
        while self.inc[n]:
            self.drop_edge(self.inc[n][0])
        self.nodes[n] = None
        self.free_nodes.append(n)
        return True

    def neighbours(self, node_id, kind):
        n = self.slot(node_id)
        outs = [self.nodes[self.edges[e][1]] for e in self.out[n]]
        ins = [self.nodes[self.edges[e][0]] for e in self.inc[n]]
        if not self.directed:
            return outs + [self.nodes[self.edges[e][0]] for e in self.inc[n] if self.edges[e][0] != n]
        if kind == "successors":
            return outs
        if kind == "predecessors":
            return ins
        return outs + [x for i, x in enumerate(ins) if x not in outs and x not in ins[:i]]

    def degree(self, node_id):
        n = self.slot(node_id)
        loops = sum(1 for e in self.inc[n] if self.edges[e][0] == n)
        return len(self.out[n]) + len(self.inc[n]) - (0 if self.directed else loops)


NAMES = list("abcdefg")
ops = st.lists(
    st.one_of(
        st.tuples(st.just("add_node"), st.sampled_from(NAMES)),
        st.tuples(st.just("remove_node"), st.sampled_from(NAMES)),
        st.tuples(st.just("add_edge"), st.sampled_from(NAMES), st.sampled_from(NAMES)),
        st.tuples(st.just("add_edge"), st.sampled_from(NAMES), st.sampled_from(NAMES)),
        st.tuples(st.just("remove_edge"), st.sampled_from(NAMES), st.sampled_from(NAMES)),
    ),
    max_size=60,
)


@settings(max_examples=400, deadline=None)
@given(st.booleans(), st.booleans(), ops)
def test_graph_matches_the_slot_model(directed, multi, steps):
    g, m = PyGraph(directed=directed, multi=multi), Model(directed, multi)
    for op, *args in steps:
        expected = getattr(m, op)(*args)
        try:
            getattr(g, op)(*args)
            done = True
        except (KeyError, ValueError):
            done = False
        assert done == expected, (op, args)
        assert g.node_ids() == [n for n in m.nodes if n is not None]
        assert [(s, t) for s, t, _ in g.edges()] == [
            (m.nodes[s], m.nodes[t]) for s, t in (e for e in m.edges if e is not None)
        ]
    for node in g.node_ids():
        for kind in ("successors", "predecessors", "neighbors"):
            assert getattr(g, kind)(node) == m.neighbours(node, kind), (kind, node)
        assert g.degree(node) == m.degree(node)
