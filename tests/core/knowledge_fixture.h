// Small builders and readers shared by the knowledge tests: graphs from
// node and edge lists (a refused addition fails the test), and ids, edge
// pairs and property maps read back as plain values.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "core/graph/graph_record.h"

namespace qg::knowledge_test {

using Ids = std::vector<std::string>;
using Pairs = std::vector<std::pair<std::string, std::string>>;

struct E {
  const char* s;
  const char* t;
  PropertyMap p = {};
};

inline PropertyMap props(std::initializer_list<std::pair<const char*, PropertyValue>> entries) {
  PropertyMap m;
  for (const auto& [k, v] : entries) m.set(k, v);
  return m;
}
inline PropertyValue I(int64_t v) { return PropertyValue::integer(v); }
inline PropertyValue S(std::string_view v) { return PropertyValue::string(v); }
inline PropertyMap label(std::string_view p) { return props({{"predicate", S(p)}}); }

inline GraphRecord make(bool directed, bool multi, std::initializer_list<const char*> nodes,
                        std::vector<E> edges, std::string name = "g") {
  GraphRecord g(directed, std::move(name), multi);
  for (const char* n : nodes) EXPECT_TRUE(add_node_core(g, n, {}));
  for (E& e : edges) EXPECT_TRUE(add_edge_core(g, e.s, e.t, std::move(e.p)));
  return g;
}

inline Ids ids(const GraphRecord& g) {
  Ids out;
  for (auto id : node_id_list(g)) out.emplace_back(id);
  return out;
}

inline Pairs pairs(const GraphRecord& g) {
  Pairs out;
  for (const auto& e : edge_list_refs(g)) out.emplace_back(e.source, e.target);
  return out;
}

template <class Views>
Ids strings(const Views& views) {
  Ids out;
  for (auto v : views) out.emplace_back(v);
  return out;
}

inline const PropertyMap& node_props(const GraphRecord& g, std::string_view id) {
  const PropertyMap* p = node_properties(g, id);
  EXPECT_NE(p, nullptr) << id;
  static const PropertyMap empty;
  return p ? *p : empty;
}

// The properties of the first edge s -> t in edge order.
inline PropertyMap edge_props(const GraphRecord& g, std::string_view s, std::string_view t) {
  for (const auto& e : edge_list_refs(g))
    if (e.source == s && e.target == t) return *e.properties;
  ADD_FAILURE() << "no edge " << s << " -> " << t;
  return {};
}

}  // namespace qg::knowledge_test
