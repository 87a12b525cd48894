"""A tour of quor_graph._rust on a small knowledge graph.

Loads a few RDF statements, walks and queries the graph, finds paths and
components, copies it through graph JSON and pickle, and exports it again.
"""
import pickle

from quor_graph._rust import algorithms, rdf
from quor_graph._rust.graph import PyGraph

TURTLE = """
@prefix ex: <http://example.org/> .
@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .
ex:alice a ex:Person ; ex:knows ex:bob, ex:carol ; ex:name "Alice" .
ex:bob a ex:Person ; ex:knows ex:dave ; ex:worksAt ex:acme .
ex:carol a ex:Person ; ex:knows ex:dave .
ex:dave a ex:Person ; ex:worksAt ex:acme .
ex:acme a ex:Company ; ex:locatedIn ex:paris .
"""


def section(title):
    print(f"\n== {title}")


def short(iri):
    return iri.rsplit("/", 1)[-1]


def main():
    section("Load RDF (Turtle)")
    g, stats = rdf.load_rdf_string(TURTLE, "turtle", 1 << 20, 100_000)
    print(g, stats)

    alice = next(n for n in g.node_ids() if n.endswith("alice"))
    paris = next(n for n in g.node_ids() if n.endswith("paris"))

    section("Queries")
    print("successors of alice:", [short(n) for n in g.successors(alice)])
    print("degree of alice:", g.degree(alice), "| is DAG:", g.is_dag(), "| connected:", g.is_connected())
    g.update_node(alice, {"age": 34, "tags": ["founder", "rdf"]})
    print("alice's properties:", g.node(alice))

    section("Algorithms")
    print("bfs from alice:", [short(n) for n in algorithms.bfs(g, alice)])
    print("has path alice -> paris:", algorithms.has_path(g, alice, paris))
    dist = algorithms.shortest_paths(g, alice)
    print("hops from alice:", {short(k): v for k, v in sorted(dist.items(), key=lambda kv: kv[1])})
    print("topological order:", [short(n) for n in algorithms.topological_sort(g)])
    print("weak components:", len(algorithms.weakly_connected_components(g)))

    section("Graph JSON and pickle")
    text = g.to_json()
    copy = PyGraph.from_json(text, 1 << 20, 10_000, 10_000)
    print(f"{len(text)} bytes of graph JSON; copy has {copy.n_nodes} nodes, {copy.n_edges} edges")
    again = pickle.loads(pickle.dumps(g))
    print("pickled round trip keeps edges:", again.edges() == g.edges())
    sub = g.subgraph([n for n in g.node_ids() if "alice" in n or "bob" in n or "carol" in n])
    print("subgraph:", sub)

    section("Export")
    print(rdf.export_ntriples(g).strip().splitlines()[0], "...")
    print(rdf.export_turtle(g).strip().splitlines()[0], "...")


if __name__ == "__main__":
    main()
