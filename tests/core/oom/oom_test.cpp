// Out of memory at every allocation of every operation that changes a graph
// or builds one: the n-th allocation fails, for n = 1, 2, ... until the
// operation completes untouched, once with that allocation alone failing and
// once with every later one failing too. A changed graph must then equal its
// snapshot (slots, adjacency, properties, and its id index answering for
// every id) and take the operation again with the result it gives on a
// fresh graph; a built graph must be the one built without failures, or
// nothing. Each runs twice: with integer property values, and with values
// that nest lists and dicts (on nodes and on edges, in the graphs, the
// changes and the documents read), whose every level allocates. Leaks show
// under `make sanitize`.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/algorithms/dag.h"
#include "core/common/flat_table.h"
#include "core/graph/derived.h"
#include "core/graph/filters.h"
#include "core/graph/graph_json.h"
#include "core/graph/graph_record.h"
#include "core/graph/pickle_state.h"
#include "core/knowledge/extract.h"
#include "core/knowledge/inference.h"
#include "core/knowledge/merge.h"
#include "core/knowledge/triples.h"
#include "core/rdf/load.h"
#include "failing_new.h"

namespace qg {
namespace {

std::string nid(int i) { return "n" + std::to_string(i); }

// Everything a reader can see of g, slot by slot, and the id index's answer
// for each id the tests use.
std::string dump(const Graph& g) {
  std::string out = *graph_to_json(g);
  const GraphStorage& st = g.storage();
  out += "\nnodes " + std::to_string(g.node_count()) + " edges " + std::to_string(g.edge_count());
  for (NodeIndex n = 0; n < st.node_bound(); ++n) {
    if (!st.live(n)) continue;
    out += "\n" + std::to_string(n) + " " + std::string(st.id(n)) + " loops " +
           std::to_string(st.loop_count(n)) + " out";
    for (const AdjEntry& a : st.newest_out(n))
      out += " " + std::to_string(a.edge) + ":" + std::to_string(a.other);
    out += " in";
    for (const AdjEntry& a : st.newest_in(n))
      out += " " + std::to_string(a.edge) + ":" + std::to_string(a.other);
  }
  for (const EdgeView& e : st.live_edges())
    out += "\ne" + std::to_string(e.index) + " " + std::to_string(e.source) + ">" +
           std::to_string(e.target);
  out += "\nindex";
  std::vector<std::string> probes = {"hub", "wide", "new", "x", "loop"};
  for (int i = 0; i < 80; ++i) probes.push_back(nid(i));
  for (const std::string& id : probes) {
    NodeIndex n = find_node(g, id);
    out += " " + (n == END ? std::string("-") : std::to_string(n));
    if (n != END && st.id(n) != id) out += "(wrong)";
  }
  return out;
}

// The first line where two dumps differ, for a short failure message.
std::string first_difference(const std::string& got, const std::string& want) {
  size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  const size_t from = got.rfind('\n', at) == std::string::npos ? 0 : got.rfind('\n', at) + 1;
  return "got:  " + got.substr(from, got.find('\n', at) - from) +
         "\nwant: " + want.substr(from, want.find('\n', at) - from);
}
#define EXPECT_SAME(got, want, ...)                                           \
  do {                                                                        \
    const std::string g_ = (got), w_ = (want);                                \
    ASSERT_TRUE(g_ == w_) << first_difference(g_, w_) << "\n" << __VA_ARGS__; \
  } while (0)

// i in a list beside an empty list and an empty dict, under three levels
// of a dict in a list. Built afresh on each call (inside the operation when
// it is one of the operation's arguments): every level allocates.
PropertyValue deep(int i) {
  PropertyValue v = PropertyValue::array(
      {PropertyValue::integer(i), PropertyValue::array({}), PropertyValue::object({})});
  for (int level = 0; level < 3; ++level)
    v = PropertyValue::array({PropertyValue::object({ObjectEntry(Str::make("v"), std::move(v))})});
  return v;
}

// The integer i, or deep(i) when nested and i is a multiple of 4 (not all
// of them: every allocation of a build is failed in turn, so the cost grows
// with the square of the allocations).
PropertyValue value(int i, bool nested) {
  return nested && i % 4 == 0 ? deep(i) : PropertyValue::integer(i);
}

PropertyMap props(int from, int count, bool nested = false) {
  PropertyMap m;
  for (int i = from; i < from + count; ++i) m.set("k" + std::to_string(i), value(i, nested));
  return m;
}

// The same for the sample graphs, whose values are copies of ones built
// once: every_failure makes a sample per allocation it fails, and a copy
// costs no allocation.
PropertyMap sample_props(int from, int count, bool nested) {
  static const std::vector<PropertyValue> kValues = [] {
    std::vector<PropertyValue> v;
    for (int i = 0; i < 64; ++i) v.push_back(value(i, true));
    return v;
  }();
  PropertyMap m;
  for (int i = from; i < from + count; ++i)
    m.set("k" + std::to_string(i), nested ? kValues.at(i) : PropertyValue::integer(i));
  return m;
}

// n nodes n0.. with a property each; a chain of edges; a hub joined both
// ways to every fifth node and out to every node (lists past the length
// that is scanned); a self-loop; a node with many properties (an indexed
// map); then a removed node and a removed edge, whose slots are vacant.
GraphRecord sample(bool directed, bool multi, int n = 45, bool nested = false) {
  GraphRecord g(directed, "sample", multi);
  for (int i = 0; i < n; ++i) (void)add_node_core(g, nid(i), sample_props(i, 1, nested));
  (void)add_node_core(g, "hub", {});
  (void)add_node_core(g, "wide", sample_props(0, 30, nested));
  (void)add_node_core(g, "loop", {});
  for (int i = 0; i + 1 < n; ++i)
    (void)add_edge_core(g, nid(i), nid(i + 1), sample_props(i, 2, nested));
  for (int i = 0; i < n; ++i) {
    (void)add_edge_core(g, "hub", nid(i), {});
    if (i % 5 == 0) (void)add_edge_core(g, nid(i), "hub", sample_props(i, 1, nested));
  }
  (void)add_edge_core(g, "loop", "loop", {});
  (void)add_edge_core(g, "wide", "hub", {});
  if (n > 12) {
    (void)remove_node_core(g, nid(12));
    (void)remove_edge_core(g, nid(3), nid(4));
  }
  return g;
}

GraphRecord plain(int n) {
  GraphRecord g(true, "", false);
  for (int i = 0; i < n; ++i) (void)add_node_core(g, nid(i), {});
  return g;
}

using Make = std::function<GraphRecord()>;
using Change = std::function<void(GraphRecord&)>;

// The n-th allocation of change(g) fails, n = 1, 2, ...: see the top.
void every_failure(const Make& make, const Change& change) {
  GraphRecord reference = make();
  change(reference);
  const std::string want = dump(reference);
  for (bool persist : {false, true}) {
    for (uint64_t n = 1;; ++n) {
      ASSERT_LT(n, 100000u);
      GraphRecord g = make();
      const std::string before = dump(g);
      bool threw = false;
      oom::arm(n, persist);
      try {
        change(g);
      } catch (const std::bad_alloc&) {
        threw = true;
      }
      const bool fired = oom::disarm();
      if (threw) {
        EXPECT_SAME(dump(g), before, "allocation " << n << (persist ? " on" : ""));
        change(g);
        EXPECT_SAME(dump(g), want, "again after allocation " << n << (persist ? " on" : ""));
        continue;
      }
      EXPECT_SAME(dump(g), want, "allocation " << n << (persist ? " on" : ""));
      if (!fired) break;
    }
  }
}

// The same for a call that builds something from inputs it only reads;
// show() gives the text of what it built (or of its error).
template <class Build, class Show>
void every_failure_building(Build build, Show show) {
  const std::string want = show(build());
  for (bool persist : {false, true}) {
    for (uint64_t n = 1;; ++n) {
      ASSERT_LT(n, 100000u);
      std::optional<decltype(build())> got;
      oom::arm(n, persist);
      try {
        got.emplace(build());
      } catch (const std::bad_alloc&) {
      }
      const bool fired = oom::disarm();
      if (got) {
        EXPECT_SAME(show(*got), want, "allocation " << n << (persist ? " on" : ""));
      } else if (!fired) {
        FAIL() << "no result and no failure at allocation " << n;
      }
      if (!fired) break;
    }
  }
}

// Blank node ids carry a prefix drawn per load ("_:q" hex "_"): dropped.
std::string without_blank_prefix(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    size_t end = at + 3;
    if (text.compare(at, 3, "_:q") == 0) {
      while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end]))) ++end;
      if (end < text.size() && text[end] == '_') {
        out += "_:b";
        at = end + 1;
        continue;
      }
    }
    out += text[at++];
  }
  return out;
}

std::string show_graph(const GraphRecord& g) { return dump(g); }
template <class T>
std::string show_result(const Result<T>& r) {
  if (!r) return "error " + r.error().message;
  if constexpr (std::is_same_v<T, GraphRecord>) return dump(*r);
  else return without_blank_prefix(dump(r->graph));
}

struct ChangeCase {
  const char* name;
  Make make;
  Change change;
};

std::vector<ChangeCase> change_cases(bool nested) {
  const Make directed = [nested] { return sample(true, false, 45, nested); };
  const Make undirected = [nested] { return sample(false, false, 45, nested); };
  const Make multi = [nested] { return sample(true, true, 45, nested); };
  const auto p = [nested](int from, int count) { return props(from, count, nested); };
  std::vector<ChangeCase> cases = {
      {"add_node", directed, [p](GraphRecord& g) { (void)add_node_core(g, "new", p(0, 3)); }},
      {"add_node_taken", directed, [p](GraphRecord& g) { (void)add_node_core(g, "n5", p(0, 3)); }},
      {"add_edge", directed, [p](GraphRecord& g) { (void)add_edge_core(g, "n7", "n30", p(0, 2)); }},
      {"add_edge_at_hub", undirected,
       [](GraphRecord& g) { (void)add_edge_core(g, "n44", "hub", {}); }},
      {"add_edge_taken", directed, [](GraphRecord& g) { (void)add_edge_core(g, "n0", "n1", {}); }},
      {"add_edge_multi", multi,
       [p](GraphRecord& g) { (void)add_edge_core(g, "n0", "n1", p(0, 1)); }},
      {"add_edge_loop", multi, [](GraphRecord& g) { (void)add_edge_core(g, "loop", "loop", {}); }},
      {"remove_node_hub", directed, [](GraphRecord& g) { (void)remove_node_core(g, "hub"); }},
      {"remove_node_hub_undirected", undirected,
       [](GraphRecord& g) { (void)remove_node_core(g, "hub"); }},
      {"remove_node_loop", directed, [](GraphRecord& g) { (void)remove_node_core(g, "loop"); }},
      {"remove_edge_at_hub", directed,
       [](GraphRecord& g) { (void)remove_edge_core(g, "hub", "n40"); }},
      {"remove_edge", multi, [](GraphRecord& g) { (void)remove_edge_core(g, "n5", "n6"); }},
      {"update_node_indexed", directed,
       [p](GraphRecord& g) { (void)update_node_core(g, "wide", p(25, 10)); }},
      {"update_node_past_index_threshold", directed,
       [p](GraphRecord& g) { (void)update_node_core(g, "n3", p(0, 30)); }},
      {"set_node_property_new", directed,
       [nested](GraphRecord& g) {
         (void)set_node_property_core(g, "n3", "fresh",
                                      nested ? deep(7) : PropertyValue::string("v"));
       }},
      {"set_node_property_indexed", directed,
       [nested](GraphRecord& g) {
         (void)set_node_property_core(g, "wide", "k3",
                                      nested ? deep(-3) : PropertyValue::integer(-3));
       }},
      {"set_node_property_indexed_new", directed,
       [nested](GraphRecord& g) {
         (void)set_node_property_core(g, "wide", "k99",
                                      nested ? deep(99) : PropertyValue::boolean(true));
       }},
  };
  // The id index around its growth points (7, 14, 28, 56 of 8, 16, 32, 64
  // slots), from empty on.
  for (int n : {0, 6, 7, 14, 28, 56}) {
    cases.push_back({"add_node_to_plain", [n] { return plain(n); },
                     [](GraphRecord& g) { (void)add_node_core(g, "new", {}); }});
  }
  return cases;
}

TEST(OutOfMemory, ChangesCompleteOrLeaveTheGraphAsItWas) {
  for (bool nested : {false, true}) {
    for (const ChangeCase& c : change_cases(nested)) {
      SCOPED_TRACE(std::string(c.name) + (nested ? " nested" : ""));
      every_failure(c.make, c.change);
      if (HasFatalFailure()) return;
    }
  }
}

TEST(OutOfMemory, DerivedGraphsAreWholeOrNothing) {
  for (int run = 0; run < 4; ++run) {
    const bool directed = run % 2 == 0, nested = run >= 2;
    SCOPED_TRACE(std::string(directed ? "directed" : "undirected") + (nested ? " nested" : ""));
    const GraphRecord g = sample(directed, !directed, 45, nested);
    const std::string before = dump(g);
    const std::vector<std::string> ids = {"hub", "n1", "n2", "n3", "wide", "absent"};
    every_failure_building([&] { return induced_subgraph(g, std::span<const std::string>(ids)); },
                           show_result<GraphRecord>);
    every_failure_building([&] { return ego_graph_core(g, "n20", 2); }, show_result<GraphRecord>);
    every_failure_building([&] { return reverse_graph(g); }, show_graph);
    every_failure_building([&] { return to_undirected_graph(g); }, show_graph);
    const std::string key = nested ? "k4" : "k1";
    const PropertyValue one = nested ? deep(4) : PropertyValue::integer(1);
    every_failure_building([&] { return nodes_filtered_core(g, key, one); },
                           [](const std::vector<NodeIndex>& v) {
                             return std::to_string(v.size());
                           });
    every_failure_building([&] { return edges_filtered_core(g, key, one); },
                           [](const std::vector<EdgeIndex>& v) {
                             return std::to_string(v.size());
                           });
    every_failure_building([&] { return condensation_core(g); }, show_result<GraphRecord>);
    if (directed) every_failure_building([&] { return transitive_closure_core(g); }, show_graph);
    EXPECT_EQ(dump(g), before);
  }
}

TEST(OutOfMemory, KnowledgeOperationsAreWholeOrNothing) {
  for (bool nested : {false, true}) {
    SCOPED_TRACE(nested ? "nested" : "flat");
    // Smaller when nested: densify copies its input through graph JSON.
    const GraphRecord a = sample(true, false, nested ? 16 : 45, nested);
    GraphRecord b = sample(true, false, 30, nested);
    (void)add_node_core(b, "x", props(3, 3, nested));
    (void)add_edge_core(b, "x", "n3", {});
    (void)update_node_core(b, "n4", props(0, 5, nested));
    for (ConflictStrategy s :
         {ConflictStrategy::KeepFirst, ConflictStrategy::KeepLatest, ConflictStrategy::Merge})
      every_failure_building([&] { return merge_graphs_core(a, b, s); }, show_graph);
    GraphRecord typed(true, "", false);
    for (int i = 0; i < 10; ++i) {
      PropertyMap m;
      m.set("type", PropertyValue::string(i % 2 ? "A" : "B"));
      if (nested) m.set("data", deep(i));
      (void)add_node_core(typed, nid(i), std::move(m));
      if (i > 0)
        (void)add_edge_core(typed, nid(i - 1), nid(i), nested ? props(i, 1, true) : PropertyMap());
    }
    const std::vector<std::string> types = {"A"};
    every_failure_building([&] { return extract_by_types_core(typed, types); }, show_graph);
    every_failure_building(
        [&] { return extract_by_property_core(typed, "type", PropertyValue::string("B")); },
        show_graph);
    every_failure_building([&] { return densify_core(a, ""); }, show_graph);
  }
  // Triples carry strings only: nothing here can nest.
  const std::vector<Triple> triples = {{"n0", "p", "n1"},
                                       {"n1", "p", "n2"},
                                       {"n0", "q", "n2"},
                                       {"n2", "p", "n0"},
                                       {"n0", "p", "n1"}};
  every_failure_building([&] { return from_triples_core(triples, true); },
                         show_result<GraphRecord>);
}

TEST(OutOfMemory, ReadersBuildWholeGraphsOrNothing) {
  for (bool nested : {false, true}) {
    SCOPED_TRACE(nested ? "nested" : "flat");
    const GraphRecord g = sample(false, true, 15, nested);
    const std::string json = *graph_to_json(g);
    every_failure_building([&] { return graph_from_json_checked(json, 1 << 20, 1000, 1000); },
                           show_result<GraphRecord>);
    const std::string state = *pickle_state_bytes(g);
    every_failure_building([&] { return graph_from_pickle_state(state); },
                           show_result<GraphRecord>);
  }
  // Repeated keys at every level of a value, the last one kept; records in
  // both forms.
  const std::string repeated =
      R"({"directed":false,"multi":true,"name":"","nodes":[["a",{"d":{"k":[1,{"k":2,"k":[{}]}],)"
      R"("k":{"x":[],"x":{}}},"d":[[]]}],{"id":"b","properties":{}}],)"
      R"("edges":[["a","b",{"e":[{"k":[1],"k":[{"z":null}]},[[{}]]]}]]})";
  every_failure_building([&] { return graph_from_json_checked(repeated, 1 << 20, 1000, 1000); },
                         [](const Result<GraphRecord>& r) {
                           EXPECT_TRUE(r) << r.error().message;
                           return show_result(r);
                         });
  const std::string turtle =
      "@prefix ex: <http://example.org/> .\n"
      "ex:a ex:knows ex:b , ex:c ; ex:name \"A\"@en ; ex:age 3 .\n"
      "ex:b ex:knows [ ex:name \"anon\" ] .\n"
      "ex:c a ex:Person ; ex:list ( 1 2 ) .\n";
  const std::string ntriples =
      "<http://example.org/a> <http://example.org/knows> <http://example.org/b> .\n"
      "<http://example.org/b> <http://example.org/name> \"B\"^^<http://example.org/t> .\n"
      "_:x <http://example.org/knows> <http://example.org/a> .\n";
  const std::string nquads =
      "<http://example.org/a> <http://example.org/knows> <http://example.org/b> "
      "<http://example.org/g> .\n"
      "<http://example.org/b> <http://example.org/name> \"B\"@fr .\n";
  const std::string trig =
      "@prefix ex: <http://example.org/> .\n"
      "ex:g { ex:a ex:knows ex:b . ex:b ex:name \"B\" . }\n"
      "{ ex:c ex:knows ex:a . }\n";
  const std::string rdfxml =
      "<?xml version=\"1.0\"?>\n"
      "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"\n"
      "         xmlns:ex=\"http://example.org/\" xml:base=\"http://example.org/\">\n"
      "  <ex:Person rdf:about=\"a\" ex:name=\"A\">\n"
      "    <ex:knows><rdf:Description rdf:ID=\"b\"><ex:age>4</ex:age></rdf:Description>"
      "</ex:knows>\n"
      "    <ex:note xml:lang=\"en\">text</ex:note>\n"
      "  </ex:Person>\n"
      "</rdf:RDF>\n";
  const std::pair<const std::string*, rdf::RdfFormat> documents[] = {
      {&turtle, rdf::RdfFormat::Turtle},
      {&ntriples, rdf::RdfFormat::NTriples},
      {&nquads, rdf::RdfFormat::NQuads},
      {&trig, rdf::RdfFormat::TriG},
      {&rdfxml, rdf::RdfFormat::RdfXml}};
  for (const auto& [text, format] : documents) {
    SCOPED_TRACE(static_cast<int>(format));
    every_failure_building([&] { return rdf::load_rdf_string_core(*text, format, 1 << 20, 1000); },
                           [](const Result<rdf::RdfLoad>& r) {
                             EXPECT_TRUE(r) << r.error().message;
                             return show_result(r);
                           });
  }
}

// A table built from a range gives back what it took when an element fails
// to be built (a leak shows under `make sanitize`).
TEST(OutOfMemory, TablesBuiltFromARangeAreWholeOrNothing) {
  std::vector<std::string> words;
  for (char c = 'a'; c < 'e'; ++c) words.emplace_back(40, c);  // past the inline size
  every_failure_building([&] { return FlatSet<std::string>(words.begin(), words.end()); },
                         [](const FlatSet<std::string>& s) { return std::to_string(s.size()); });
}

}  // namespace
}  // namespace qg
