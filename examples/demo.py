"""A tour of quor_graph._rust on a small knowledge graph.

Loads RDF, ranks the nodes, finds communities, walks and queries the graph,
infers types along a class hierarchy, copies it through graph JSON and
pickle, and exports it again.
"""
import pickle

from quor_graph._rust import algorithms, knowledge, rdf
from quor_graph._rust.graph import PyGraph

TURTLE = """
@prefix ex: <http://example.org/> .
@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
ex:alice a ex:Person ; ex:knows ex:bob, ex:carol ; ex:name "Alice" .
ex:bob a ex:Person ; ex:knows ex:dave ; ex:worksAt ex:acme .
ex:carol a ex:Person ; ex:knows ex:dave .
ex:dave a ex:Person ; ex:worksAt ex:acme .
ex:acme a ex:Company ; ex:locatedIn ex:paris .
ex:erin a ex:Person ; ex:knows ex:frank, ex:grace .
ex:frank a ex:Person ; ex:knows ex:grace ; ex:worksAt ex:globex .
ex:grace a ex:Person ; ex:knows ex:erin .
ex:globex a ex:Company ; ex:locatedIn ex:paris .
ex:Person rdfs:subClassOf ex:Agent .
ex:Company rdfs:subClassOf ex:Agent .
ex:Agent rdfs:subClassOf ex:Thing .
"""


RDF_TYPE = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type"
RDFS_SUBCLASS = "http://www.w3.org/2000/01/rdf-schema#subClassOf"


def section(title):
    print(f"\n== {title}")


def short(iri):
    return iri.rsplit("/", 1)[-1].rsplit("#", 1)[-1]


def main():
    section("Load RDF (Turtle)")
    g, stats = rdf.load_rdf_string(TURTLE, "turtle", 1 << 20, 100_000)
    print(g, stats)

    alice = next(n for n in g.node_ids() if n.endswith("alice"))
    paris = next(n for n in g.node_ids() if n.endswith("paris"))

    # rdf:type statements are edges; copy each type onto its node as "type".
    for source, target, props in g.edges():
        if props.get("predicate") == RDF_TYPE:
            g.set_node_property(source, "type", short(target))

    section("Rank (PageRank) and communities (Louvain)")
    for node, score in algorithms.pagerank(g)[:4]:
        print(f"  {short(node):8s} {score:.3f}")
    people = knowledge.extract_subgraph_by_types(g, ["Person"])
    print("communities of the people:",
          [[short(n) for n in c] for c in algorithms.louvain_communities(people)])

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
    cycles = [c for c in algorithms.strongly_connected_components(g) if len(c) > 1]
    print("cycles of acquaintance:", [[short(n) for n in c] for c in cycles])
    print("weak components:", len(algorithms.weakly_connected_components(g)))

    section("Knowledge operations")
    closed = knowledge.infer_types(g, RDFS_SUBCLASS)
    print("edges after closing rdfs:subClassOf:", g.n_edges, "->", closed.n_edges)
    print("hubs (degree > 4):", [short(n) for n in knowledge.find_hub_nodes(g, 4)])

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
