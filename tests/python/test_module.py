"""Module start-up: names, registries, docstrings, the call frame's messages."""
import inspect
import sys

import pytest

import quor_graph._rust as rust
from quor_graph._rust import algorithms, graph, knowledge, rdf
from quor_graph._rust.graph import PyGraph


def test_root_module_attributes():
    assert rust.__version__ == "0.1.0-alpha.3"
    assert rust.__path__ == []
    assert rust.__package__ == "quor_graph._rust"
    assert rust.__all__ == ["__version__", "graph", "algorithms", "knowledge", "rdf"]
    assert rust.__doc__.splitlines()[0] == "The root Python module `quor_graph._rust`."
    assert not hasattr(rust, "PyGraph")


@pytest.mark.parametrize("name", ["graph", "algorithms", "knowledge", "rdf"])
def test_submodules_are_registered(name):
    sub = getattr(rust, name)
    assert sys.modules[f"quor_graph._rust.{name}"] is sub
    assert sub.__name__ == name


ALGORITHMS = [
    "bfs", "dfs", "dfs_events", "bfs_with_depth", "bfs_at_depth", "shortest_paths",
    "shortest_path_length", "has_path", "astar_path", "bellman_ford_paths", "all_simple_paths",
    "find_cycles", "find_cycle_paths", "strongly_connected_components", "num_connected_components",
    "weakly_connected_components", "is_strongly_connected", "is_weakly_connected",
    "topological_sort", "ancestors", "descendants", "longest_path", "pagerank",
    "degree_centrality", "in_degree_centrality", "out_degree_centrality", "betweenness_centrality",
    "closeness_centrality", "eigenvector_centrality", "louvain_communities", "label_propagation",
    "bridges", "greedy_matching", "maximum_matching", "maximal_cliques", "density", "is_bipartite",
    "transitive_closure", "condensation", "articulation_points", "k_clique_communities",
]
KNOWLEDGE = [
    "merge_graphs", "diff_graphs", "extract_subgraph_by_property", "extract_subgraph_by_types",
    "project_triples", "from_triples", "infer_types", "densify", "find_orphan_nodes",
    "find_hub_nodes", "degree_distribution",
]
RDF = ["load_rdf_file", "load_rdf_string", "export_turtle", "export_ntriples", "export_jsonld"]


@pytest.mark.parametrize("module, names", [(algorithms, ALGORITHMS), (knowledge, KNOWLEDGE), (rdf, RDF)])
def test_functions_are_registered_in_order(module, names):
    assert module.__all__ == names
    assert all(callable(getattr(module, n)) for n in names)


def test_graph_submodule_holds_the_class():
    assert graph.__all__ == ["PyGraph"]
    assert graph.PyGraph is PyGraph
    assert PyGraph.__module__ == "quor_graph._rust.graph"
    assert PyGraph.__qualname__ == "PyGraph"


def test_functions_belong_to_their_submodule():
    for module in (algorithms, knowledge, rdf):
        for name in getattr(module, "__all__", []):
            fn = getattr(module, name)
            assert fn.__module__ == module.__name__
            assert fn.__text_signature__ and fn.__text_signature__.startswith("(")
            assert fn.__doc__


def test_class_docstring_and_signature():
    assert PyGraph.__doc__ == (
        "A property graph backed by a stable-index graph store.\n\n"
        "Nodes have string IDs and arbitrary JSON-compatible properties.\n"
        "Edges have arbitrary JSON-compatible properties.\n\n"
        "Args:\n"
        "    directed: Whether the graph is directed (default True).\n"
        "    name: Optional name for the graph."
    )
    assert str(inspect.signature(PyGraph)) == "(directed=True, name=None, multi=False)"


@pytest.mark.parametrize(
    "method, signature, doc",
    [
        ("add_node", "(self, /, id, properties=None)", "Add a node with the given ID and optional properties dict."),
        ("remove_edge", "(self, /, source, target)", "Remove an edge from source to target."),
        ("node_ids", "(self, /)", "List all node IDs."),
        ("is_tree", "(self, /)", "Whether the graph is a tree (connected, |E| = |V| - 1, acyclic)."),
        (
            "update_node",
            "(self, /, id, properties=None)",
            "Merge properties into an existing node. Existing properties are\n"
            "preserved unless overwritten by the new values.",
        ),
    ],
)
def test_method_docstrings(method, signature, doc):
    fn = getattr(PyGraph, method)
    assert str(inspect.signature(fn)) == signature
    assert fn.__doc__ == doc


@pytest.mark.parametrize(
    "prop, doc",
    [
        ("n_nodes", "Number of nodes."),
        ("n_edges", "Number of edges."),
        ("is_directed", "Whether the graph is directed."),
        ("is_multi", "Whether the graph allows parallel edges (multi-graph)."),
        ("name", "Graph name."),
    ],
)
def test_getter_docstrings(prop, doc):
    assert getattr(PyGraph, prop).__doc__ == doc


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda g: g.add_node(), "PyGraph.add_node() missing 1 required positional argument: 'id'"),
        (lambda g: g.add_edge(), "PyGraph.add_edge() missing 2 required positional arguments: 'source' and 'target'"),
        (
            lambda g: g.set_node_property(),
            "PyGraph.set_node_property() missing 3 required positional arguments: 'id', 'key', and 'value'",
        ),
        (lambda g: g.has_node("a", "b"), "PyGraph.has_node() takes 1 positional arguments but 2 were given"),
        (
            lambda g: g.add_node("a", None, 3),
            "PyGraph.add_node() takes from 1 to 2 positional arguments but 3 were given",
        ),
        (lambda g: g.add_node("a", id="b"), "PyGraph.add_node() got multiple values for argument 'id'"),
        (lambda g: g.add_node(ident="b"), "PyGraph.add_node() got an unexpected keyword argument 'ident'"),
        (
            lambda g: PyGraph(True, None, False, 1),
            "PyGraph.__new__() takes from 0 to 3 positional arguments but 4 were given",
        ),
    ],
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call(PyGraph())
    assert str(info.value) == message


def test_keywords_bind_by_name():
    g = PyGraph(multi=True, directed=False, name="k")
    g.add_node(properties={"x": 1}, id="a")
    assert (g.is_multi, g.is_directed, g.name) == (True, False, "k")
    assert g.node("a") == {"x": 1}


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda g: PyGraph(1), "argument 'directed': 'int' object is not an instance of 'bool'"),
        (lambda g: PyGraph(name=3), "argument 'name': 'int' object is not an instance of 'str'"),
        (lambda g: g.add_node(1), "argument 'id': 'int' object is not an instance of 'str'"),
        (lambda g: g.add_node("a", [1]), "argument 'properties': 'list' object is not an instance of 'dict'"),
        (lambda g: 1 in g, "argument 'id': 'int' object is not an instance of 'str'"),
    ],
)
def test_argument_type_errors_are_prefixed_and_chained(call, message):
    with pytest.raises(TypeError) as info:
        call(PyGraph())
    assert str(info.value) == message
    assert isinstance(info.value.__cause__, TypeError)
    assert str(info.value.__cause__) == message.split(": ", 1)[1]


def test_numpy_booleans_are_bools():
    np = pytest.importorskip("numpy")
    g = PyGraph(np.bool_(False), multi=np.True_)
    assert (g.is_directed, g.is_multi) == (False, True)
    with pytest.raises(TypeError):
        PyGraph(np.int64(1))


def test_lone_surrogate_id_raises_unicode_error_unprefixed():
    with pytest.raises(UnicodeEncodeError):
        PyGraph().add_node("\ud800")


def test_panic_exception_is_a_base_exception():
    # A dict whose size changes while it is read is an internal fault.
    class Grows:
        def __init__(self, d):
            self.d = d

        def __str__(self):
            self.d["more"] = 1
            return "x"

    props = {}
    props["a"] = Grows(props)
    g = PyGraph()
    with pytest.raises(BaseException) as info:
        g.add_node("n", props)
    assert type(info.value).__name__ == "PanicException"
    assert type(info.value).__module__ == "pyo3_runtime"
    assert not isinstance(info.value, Exception)
    assert "dictionary changed size during iteration" in str(info.value)
    assert len(g) == 0 and g.add_node("n") is None  # borrow released, nothing added
