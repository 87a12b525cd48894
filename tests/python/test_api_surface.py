"""Every public callable against one table: registration, signature, docstring,
argument binding, conversion errors by parameter kind, and the borrow rules."""
import inspect
import pathlib
import sys

import numpy as np
import pytest

import quor_graph._rust as rust
from conftest import while_held
from quor_graph._rust import algorithms, graph, knowledge, rdf
from quor_graph._rust.graph import PyGraph

RANKED = " Returns list of (node_id, centrality) sorted descending."
COMMUNITIES = " Returns list of communities (each is a list of node IDs)."
# name: (text signature, docstring after it (exact, or "<prefix..." for a
# docstring whose later paragraphs are free text), parameter kinds)
# Kinds: G graph, s str, s? optional str, b bool, u unsigned int, f float,
# [s] sequence of str, d? dict or None, * any object, T triples, B pickle state.
ALGORITHMS = {
    "bfs": ("(graph, source)", "BFS traversal from a source node. Returns node IDs in BFS order.", "G s"),
    "dfs": ("(graph, source)", "DFS traversal from a source node. Returns node IDs in DFS (preorder).", "G s"),
    "dfs_events": ("(graph, source)", 'DFS with enter/exit events. Returns (node_id, event_str) pairs.\n'
                   'event_str is "enter" or "exit".', "G s"),
    "bfs_with_depth": ("(graph, source)", "BFS returning (node_id, depth) pairs.", "G s"),
    "bfs_at_depth": ("(graph, source, depth)", "BFS returning only nodes at a specific depth.", "G s u"),
    "shortest_paths": ("(graph, source, target=None, weight_key=None)",
                       "Single-source shortest paths via Dijkstra. Returns dict of {node_id: cost}.", "G s s? s?"),
    "shortest_path_length": ("(graph, source, target, weight_key=None)",
                             "Shortest path distance between two nodes. Returns float or None.", "G s s s?"),
    "has_path": ("(graph, source, target)", "Check if a path exists between two nodes.", "G s s"),
    "astar_path": ("(graph, source, target, weight_key=None)",
                   'A* shortest path. Returns dict with "cost" and "path" keys, or None.', "G s s s?"),
    "bellman_ford_paths": ("(graph, source, weight_key=None)",
                           "Bellman-Ford shortest paths. Returns dict of {node_id: cost}.\n"
                           "Supports negative weights. Raises ValueError on negative cycle.", "G s s?"),
    "all_simple_paths": ("(graph, source, target, max_depth=32, max_paths=10000)",
                         "<All simple (non-repeating) paths from source to target.\n\n"
                         "``max_depth`` limits total path length (number of nodes); the default\n"
                         "(``32``) prevents the algorithm from running unbounded on large graphs\n", "G s s u u"),
    "find_cycles": ("(graph)", "Find all cycles in the graph (SCC-based). Returns list of node-ID lists.", "G"),
    "find_cycle_paths": ("(graph)", "Find one representative cycle path per SCC. "
                         "Returns list of ordered cycle paths.", "G"),
    "strongly_connected_components": ("(graph)", "Strongly connected components via Tarjan's algorithm.\n"
                                      "Returns list of components (each is a list of node IDs).", "G"),
    "num_connected_components": ("(graph)", "Number of weakly connected components.", "G"),
    "weakly_connected_components": ("(graph)", "Weakly connected components as lists of node IDs.", "G"),
    "is_strongly_connected": ("(graph)", "Check if the graph is strongly connected.", "G"),
    "is_weakly_connected": ("(graph)", "Check if the graph is weakly connected.", "G"),
    "topological_sort": ("(graph)", "Topological sort. Returns node IDs in topological order.\n"
                         "Raises ValueError if graph has cycles.", "G"),
    "ancestors": ("(graph, id)", "All ancestors of a node (nodes that can reach it).", "G s"),
    "descendants": ("(graph, id)", "All descendants of a node (nodes reachable from it).", "G s"),
    "longest_path": ("(graph)", 'Longest path in a DAG. Returns dict with "length" and "path" keys.', "G"),
    "pagerank": ("(graph, damping_factor=0.85, iterations=100)",
                 "PageRank centrality. Returns list of (node_id, rank) tuples sorted by rank descending.", "G f u"),
    "degree_centrality": ("(graph)", "Degree centrality." + RANKED, "G"),
    "in_degree_centrality": ("(graph)", "In-degree centrality." + RANKED, "G"),
    "out_degree_centrality": ("(graph)", "Out-degree centrality." + RANKED, "G"),
    "betweenness_centrality": ("(graph, normalized=True)", "Betweenness centrality (Brandes algorithm)." + RANKED,
                               "G b"),
    "closeness_centrality": ("(graph)", "Closeness centrality (Wasserman-Faust)." + RANKED, "G"),
    "eigenvector_centrality": ("(graph, iterations=100, tolerance=1e-6)",
                               "Eigenvector centrality (power iteration)." + RANKED, "G u f"),
    "louvain_communities": ("(graph)", "Louvain community detection." + COMMUNITIES, "G"),
    "label_propagation": ("(graph)", "Label propagation community detection." + COMMUNITIES, "G"),
    "bridges": ("(graph)", "Find bridge edges. Returns list of (source, target) tuples.", "G"),
    "greedy_matching": ("(graph)", "Greedy matching. Returns list of (node_a, node_b) pairs.", "G"),
    "maximum_matching": ("(graph)", "Maximum matching (Gabow). Returns list of (node_a, node_b) pairs.", "G"),
    "maximal_cliques": ("(graph, max_input_nodes=1000, max_cliques=10000)",
                        "<Maximal cliques (Bron-Kerbosch). Returns list of cliques (each is a list\n"
                        "of node IDs).\n\n", "G u u"),
    "density": ("(graph)", "Graph density.", "G"),
    "is_bipartite": ("(graph)", "Check if the graph is bipartite (2-colorable).", "G"),
    "transitive_closure": ("(graph)", "Transitive closure: add edge (u,v) for every pair where v is reachable "
                           "from u.\nReturns a new graph with all transitive edges added.", "G"),
    "condensation": ("(graph)", "Condensation: contract SCCs into single nodes. Returns a new DAG.", "G"),
    "articulation_points": ("(graph)", "Articulation points (cut vertices). Returns list of node IDs.", "G"),
    "k_clique_communities": ("(graph, k)", "k-clique communities." + COMMUNITIES, "G u"),
}
KNOWLEDGE = {
    "merge_graphs": ('(base, other, conflict="keep_latest")',
                     "<Merge two graphs with a configurable conflict strategy.\n\nStrategies:", "G G s"),
    "diff_graphs": ("(old, new)", "Diff two graphs. Returns a dict with keys:\nadded_nodes, removed_nodes, "
                    "added_edges, removed_edges, changed_node_properties.", "G G"),
    "extract_subgraph_by_property": ("(graph, key, value)",
                                     "Extract subgraph by filtering nodes on a property value.", "G s *"),
    "extract_subgraph_by_types": ("(graph, types)", 'Extract subgraph containing nodes whose "type" property '
                                  "matches any value in the list.", "G [s]"),
    "project_triples": ("(graph)", "Project graph edges as (subject, predicate, object) triples.", "G"),
    "from_triples": ("(triples, directed=True)", "Build a graph from (subject, predicate, object) triples.", "T b"),
    "infer_types": ("(graph, predicate_iri)", 'Infer transitive types via a specific predicate (e.g., '
                    '"subClassOf").', "G s"),
    "densify": ("(graph, predicate)", "Add transitive closure edges for a specific relationship type.\n\n"
                "If A->B and B->C both have the given predicate, add A->C.", "G s"),
    "find_orphan_nodes": ("(graph)", "Find orphan nodes (degree 0).", "G"),
    "find_hub_nodes": ("(graph, threshold)", "Find hub nodes (degree > threshold).", "G u"),
    "degree_distribution": ("(graph)", "Degree distribution: returns dict of {degree: count}.", "G"),
}
RDF = {
    "load_rdf_file": ("(path, max_bytes, triple_cap)",
                      "<Load an RDF file (OWL/TTL/RDF-XML/N-Triples) into a Graph.\n\n", "s u u"),
    "load_rdf_string": ("(data, format, max_bytes, triple_cap)",
                        "<Load RDF from a string with an explicit format and caps.\n\n", "s s u u"),
    "export_turtle": ("(graph)", "Export a Graph to Turtle format string.", "G"),
    "export_ntriples": ("(graph)", "Export a Graph to N-Triples format string.", "G"),
    "export_jsonld": ("(graph)", "Export a Graph to JSON-LD format string.", "G"),
}
# PyGraph methods: the instance is the kind X (taken exclusively), R (shared)
# or - (a static method), followed by the kinds of the parameters.
METHODS = {
    "add_node": ("($self, id, properties=None)", "Add a node with the given ID and optional properties dict.", "X s d?"),
    "add_edge": ("($self, source, target, properties=None)",
                 "Add an edge from source to target with optional properties dict.", "X s s d?"),
    "remove_node": ("($self, id)", "Remove a node and all its incident edges. Returns the node's properties.", "X s"),
    "remove_edge": ("($self, source, target)", "Remove an edge from source to target.", "X s s"),
    "update_node": ("($self, id, properties=None)", "Merge properties into an existing node. Existing properties "
                    "are\npreserved unless overwritten by the new values.", "X s d?"),
    "set_node_property": ("($self, id, key, value)", "Set a single property on an existing node.", "X s s *"),
    "node": ("($self, id)", "Get a node's properties dict, or None if not found.", "R s"),
    "node_ids": ("($self)", "List all node IDs.", "R"),
    "edges": ("($self)", "List all edges as (source, target, properties) tuples.", "R"),
    "successors": ("($self, id)", "Get successors (outgoing neighbors) of a node.", "R s"),
    "predecessors": ("($self, id)", "Get predecessors (incoming neighbors) of a node.", "R s"),
    "neighbors": ("($self, id)", "Get all neighbors (both directions) of a node.", "R s"),
    "degree": ("($self, id)", "Degree of a node (in + out for directed).", "R s"),
    "has_node": ("($self, id)", "Check if a node exists.", "R s"),
    "has_edge": ("($self, source, target)", "Check if an edge exists.", "R s s"),
    "is_dag": ("($self)", "Whether the graph is a DAG (no cycles).", "R"),
    "to_json": ("($self)", "Serialize to JSON string.", "R"),
    "from_json": ("(data, max_bytes, max_nodes, max_edges)",
                  "<Deserialize from a JSON string with explicit caps.", "- s u u u"),
    "__getstate__": ("($self)", None, "R"),
    "__setstate__": ("($self, state)", None, "X B"),
    "nodes_filtered": ("($self, key, value)", "Return node IDs where the property `key` equals `value`.", "R s *"),
    "edges_filtered": ("($self, key, value)", "Return edges where the property `key` equals `value`.\n"
                       "Each entry is (source, target, properties_dict).", "R s *"),
    "subgraph": ("($self, node_ids)",
                 "Extract a subgraph containing only the specified node IDs and edges between them.", "R [s]"),
    "ego_graph": ("($self, center, radius)",
                  "Extract the ego graph: all nodes within `radius` hops of `center`, plus their edges.", "R s u"),
    "is_connected": ("($self)", "Whether the graph is (weakly) connected.", "R"),
    "is_tree": ("($self)", "Whether the graph is a tree (connected, |E| = |V| - 1, acyclic).", "R"),
    "reverse": ("($self)", "Return a new graph with all edge directions reversed.", "R"),
    "to_undirected": ("($self)", "Convert to an undirected graph (add reverse edges where missing).", "R"),
}
GETTERS = {"n_nodes": "Number of nodes.", "n_edges": "Number of edges.",
           "is_directed": "Whether the graph is directed.", "name": "Graph name.",
           "is_multi": "Whether the graph allows parallel edges (multi-graph)."}
MODULES = {algorithms: ALGORITHMS, knowledge: KNOWLEDGE, rdf: RDF}


def params(signature):
    """[(name, required)] of a text signature, without $self."""
    return [(p.split("=")[0], "=" not in p) for p in signature.strip("()").split(", ") if p and p != "$self"]


def entries():
    """(call maker, full name, signature, doc, argument kinds, instance kind or None)."""
    for module, table in MODULES.items():
        for name, (sig, doc, ks) in table.items():
            yield pytest.param(lambda g, f=getattr(module, name): f, name, sig, doc, ks.split(), None, id=name)
    for name, (sig, doc, ks) in METHODS.items():
        inst, *ks = ks.split()
        yield pytest.param(lambda g, n=name: getattr(g, n), f"PyGraph.{name}", sig, doc, ks, inst,
                           id=f"PyGraph.{name}")


ENTRIES = list(entries())


def graph_with_a():
    g = PyGraph()
    g.add_node("a")
    return g


GOOD = {"G": graph_with_a, "s": lambda: "a", "s?": lambda: None, "b": lambda: True, "u": lambda: 1,
        "f": lambda: 0.5, "[s]": lambda: ["a"], "d?": lambda: None, "*": lambda: 1,
        "T": lambda: [("a", "p", "b")], "B": lambda: PyGraph().__getstate__()}
BAD = {
    "G": [(None, "'None' is not an instance of 'PyGraph'"), (1, "'int' object is not an instance of 'PyGraph'")],
    "s": [(1, "'int' object is not an instance of 'str'")],
    "s?": [(b"a", "'bytes' object is not an instance of 'str'")],
    "b": [(1, "'int' object is not an instance of 'bool'"), (None, "'None' is not an instance of 'bool'")],
    "u": [(1.5, "'float' object cannot be interpreted as an integer"),
          ("1", "'str' object cannot be interpreted as an integer")],
    "f": [("x", "must be real number, not str")],
    "[s]": [("ab", "Can't extract `str` to `Vec`"), (5, "'int' object is not an instance of 'Sequence'"),
            (["a", 1], "'int' object is not an instance of 'str'")],
    "d?": [([1], "'list' object is not an instance of 'dict'")],
    "T": [("abc", "Can't extract `str` to `Vec`"), ([["a", "p", "b"]], "'list' object is not an instance of 'tuple'")],
    "B": [("QGR1", "Can't extract `str` to `Vec`"), (5, "'int' object is not an instance of 'Sequence'")],
}


# ---- Module start-up and registration ----

def test_root_module():
    version = pathlib.Path(__file__).resolve().parents[2] / "VERSION"  # the build's source of it
    assert rust.__version__ == version.read_text().splitlines()[0]
    assert rust.__path__ == [] and rust.__package__ == "quor_graph._rust"
    assert rust.__all__ == ["__version__", "graph", "algorithms", "knowledge", "rdf"]
    assert rust.__doc__.splitlines()[0] == "The root Python module `quor_graph._rust`."
    assert not hasattr(rust, "PyGraph")
    assert graph.__all__ == ["PyGraph"] and graph.PyGraph is PyGraph
    assert (PyGraph.__module__, PyGraph.__qualname__) == ("quor_graph._rust.graph", "PyGraph")


@pytest.mark.parametrize("name", ["graph", "algorithms", "knowledge", "rdf"])
def test_submodules_are_registered(name):
    sub = getattr(rust, name)
    assert sys.modules[f"quor_graph._rust.{name}"] is sub and sub.__name__ == name


@pytest.mark.parametrize("module", MODULES, ids=lambda m: m.__name__)
def test_registration_order_and_owner(module):
    assert module.__all__ == list(MODULES[module])
    assert all(getattr(module, n).__module__ == module.__name__ for n in module.__all__)


# ---- Signatures and docstrings ----

@pytest.mark.parametrize("make, label, signature, doc, ks, inst", ENTRIES)
def test_signature_and_docstring(make, label, signature, doc, ks, inst):
    f = make(PyGraph)
    assert f.__text_signature__ == signature
    if doc is None:
        assert f.__doc__ is None
    elif doc.startswith("<"):
        assert f.__doc__.startswith(doc[1:])
    else:
        assert f.__doc__ == doc


def test_free_text_docstrings_say_what_they_must():
    assert ".take(max_paths)" in algorithms.all_simple_paths.__doc__
    cliques = algorithms.maximal_cliques.__doc__
    assert all(w in cliques for w in ("3^(N/3)", "max_input_nodes", "max_cliques"))
    merge = knowledge.merge_graphs.__doc__
    assert merge.index('"keep_first"') < merge.index('"keep_latest" (default)') < merge.index('"merge"')
    assert all(w in PyGraph.from_json.__doc__ for w in ("QuorGraphSettings", "quor_graph.graph"))
    assert all(w in rdf.load_rdf_string.__doc__ for w in ('"rdfxml"/"xml"/"owl"', '"nquads"/"nq"', "mandatory"))
    assert "extension" in rdf.load_rdf_file.__doc__
    assert str(inspect.signature(PyGraph.add_node)) == "(self, /, id, properties=None)"


def test_class_signature_docstring_and_getters():
    assert PyGraph.__text_signature__ == "(directed=True, name=None, multi=False)"
    assert PyGraph.__doc__.split("\n\n", 1)[1] == (
        "Nodes have string IDs and arbitrary JSON-compatible properties.\n"
        "Edges have arbitrary JSON-compatible properties.\n\n"
        "Args:\n    directed: Whether the graph is directed (default True).\n    name: Optional name for the graph.")
    for name, doc in GETTERS.items():
        assert getattr(PyGraph, name).__doc__ == doc
        with pytest.raises(AttributeError):
            setattr(PyGraph(), name, 1)


# ---- Binding ----

def quoted(names):
    q = [f"'{n}'" for n in names]
    return " and ".join(q) if len(q) < 3 else ", ".join(q[:-1]) + ", and " + q[-1]


@pytest.mark.parametrize("make, label, signature, doc, ks, inst", ENTRIES)
def test_binding_errors(make, label, signature, doc, ks, inst):
    f = make(PyGraph())
    names = [n for n, _ in params(signature)]
    required = [n for n, req in params(signature) if req]
    if not names:
        cases = [(lambda: f(1), f"{label}() takes no arguments (1 given)"),
                 (lambda: f(bogus=1), f"{label}() takes no keyword arguments")]
    else:
        n, many = len(required), len(names) + 1
        takes = f"{n}" if n == len(names) else f"from {n} to {len(names)}"
        cases = [(f, f"{label}() missing {n} required positional argument{'s' * (n > 1)}: {quoted(required)}"),
                 (lambda: f(*[None] * many), f"{label}() takes {takes} positional arguments but {many} were given"),
                 (lambda: f(None, **{names[0]: None}), f"{label}() got multiple values for argument '{names[0]}'"),
                 (lambda: f(bogus=1), f"{label}() got an unexpected keyword argument 'bogus'")]
    for call, message in cases:
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == message


def test_constructor_binding_and_types():
    cases = [(lambda: PyGraph(True, None, False, 1),
              "PyGraph.__new__() takes from 0 to 3 positional arguments but 4 were given"),
             (lambda: PyGraph(True, directed=True), "PyGraph.__new__() got multiple values for argument 'directed'"),
             (lambda: PyGraph(bogus=1), "PyGraph.__new__() got an unexpected keyword argument 'bogus'"),
             (lambda: PyGraph(1), "argument 'directed': 'int' object is not an instance of 'bool'"),
             (lambda: PyGraph(name=3), "argument 'name': 'int' object is not an instance of 'str'"),
             (lambda: PyGraph(multi=None), "argument 'multi': 'None' is not an instance of 'bool'"),
             (lambda: 1 in PyGraph(), "argument 'id': 'int' object is not an instance of 'str'")]
    for call, message in cases:
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == message
    g = PyGraph(multi=np.True_, name=None, directed=np.bool_(False))
    assert (g.is_directed, g.is_multi, g.name, repr(g)) == (False, True, "", "PyGraph(nodes=0, edges=0, directed=false)")


@pytest.mark.parametrize("name", [n for n, e in METHODS.items() if e[2][0] != "-"])
def test_methods_refuse_a_foreign_instance(name):
    with pytest.raises(TypeError) as info:
        getattr(PyGraph, name)(1, *[None] * len(params(METHODS[name][0])))
    assert str(info.value) == f"descriptor '{name}' for 'quor_graph._rust.graph.PyGraph' objects doesn't apply to a 'int' object"


# ---- Conversions by parameter kind ----

def bad_cases():
    for make, label, signature, _, ks, _ in (p.values for p in ENTRIES):
        for i, ((name, _), kind) in enumerate(zip(params(signature), ks)):
            for value, message in BAD.get(kind, []):
                yield pytest.param(make, ks, i, value, f"argument '{name}': {message}",
                                   id=f"{label}-{name}-{type(value).__name__}")


@pytest.mark.parametrize("make, ks, i, value, message", list(bad_cases()))
def test_wrong_type_names_the_argument(make, ks, i, value, message):
    g = graph_with_a()
    args = [GOOD[k]() for k in ks]
    args[i] = value
    with pytest.raises(TypeError) as info:
        make(g)(*args)
    assert str(info.value) == message
    assert type(info.value.__cause__) is TypeError and str(info.value.__cause__) == message.split(": ", 1)[1]
    for held in [g] + [a for a in args if isinstance(a, PyGraph)]:
        held.add_node("free")  # every borrow was released


@pytest.mark.parametrize("make, ks, i", [pytest.param(p.values[0], p.values[4], i, id=f"{p.values[1]}-{i}")
                                         for p in ENTRIES for i, k in enumerate(p.values[4]) if k == "u"])
def test_unsigned_out_of_range_is_an_unprefixed_overflow(make, ks, i):
    for value in (-1, 2**64):
        args = [GOOD[k]() for k in ks]
        args[i] = value
        with pytest.raises(OverflowError) as info:
            make(graph_with_a())(*args)
        assert not str(info.value).startswith("argument")


def test_accepted_argument_forms():
    g = graph_with_a()
    assert algorithms.bfs_at_depth(g, "a", np.int64(0)) == ["a"] == algorithms.bfs_at_depth(g, "a", False)
    assert algorithms.pagerank(g, 1, np.uint8(3)) == algorithms.pagerank(g, np.float32(1.0), 3)
    assert algorithms.betweenness_centrality(g, np.False_) == [("a", 0.0)]
    assert knowledge.from_triples((("a", "p", "b"),), np.True_).is_directed
    assert g.subgraph(("a",)).node_ids() == ["a"]
    assert algorithms.all_simple_paths(g, "a", "a", 2**64 - 1, 2**64 - 1) == []
    assert algorithms.shortest_paths(graph=g, weight_key=None, source="a", target=None) == {"a": 0.0}
    with pytest.raises(UnicodeEncodeError):  # unprefixed
        g.add_node("\ud800")


# ---- Borrows ----

def borrow_cases():
    """Every call that takes a graph, with each graph position probed in turn."""
    for make, label, _, _, ks, inst in (p.values for p in ENTRIES):
        if inst in ("X", "R"):
            yield pytest.param(make, ks, -1, inst == "X", id=label)
        for i, k in enumerate(ks if inst is None else []):
            if k == "G":
                yield pytest.param(make, ks, i, False, id=f"{label}-{i}")


@pytest.mark.parametrize("make, ks, at, writer", list(borrow_cases()))
@pytest.mark.parametrize("exclusive", [True, False], ids=["held-exclusive", "held-shared"])
def test_borrow_conflicts(make, ks, at, writer, exclusive):
    # Every argument after the probed graph has a wrong type: the borrow is
    # checked first. at == -1 probes the instance of a method.
    held = graph_with_a()

    def call():
        args = [GOOD[k]() if j < at or k not in BAD else BAD[k][0][0] for j, k in enumerate(ks)]
        if at >= 0:
            args[at] = held
        return make(held)(*args)

    got = while_held(held, call, exclusive)
    if exclusive or writer:
        assert type(got) is RuntimeError
        assert str(got) == ("Already borrowed" if writer else "Already mutably borrowed")
    else:
        assert not isinstance(got, RuntimeError)
    held.add_node("after")  # the probe's own borrow was released


@pytest.mark.parametrize("call", [len, repr, lambda g: "a" in g] + [
    lambda g, n=n: getattr(g, n) for n in GETTERS], ids=["len", "repr", "in"] + list(GETTERS))
def test_slots_and_getters_take_a_shared_borrow(call):
    g = graph_with_a()
    got = while_held(g, lambda: call(g))
    assert type(got) is RuntimeError and str(got) == "Already mutably borrowed"
    assert not isinstance(while_held(g, lambda: call(g), exclusive=False), Exception)


# ---- Faults ----

def test_internal_fault_is_a_panic_exception_and_changes_nothing():
    class Grows:  # a dict that grows while it is read is an internal fault
        def __str__(self):
            props["more"] = 1
            return "x"

    props = {"a": Grows()}
    g = PyGraph()
    with pytest.raises(BaseException) as info:
        g.add_node("n", props)
    e = info.value
    assert (type(e).__name__, type(e).__module__) == ("PanicException", "pyo3_runtime")
    assert not isinstance(e, Exception) and "dictionary changed size during iteration" in str(e)
    assert len(g) == 0 and g.add_node("n") is None
