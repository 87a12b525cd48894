// GraphRecord: the property graph that every PyGraph owns, with its changes.
//
// A GraphRecord is a Graph (core/graph/graph.h) that can change. Every
// change goes through the operations below, which keep the id index in step
// with the node slots and the free lists, and each either completes or
// leaves the record as it was: an expected refusal returns an error (its
// message is the one the host shows), a failed allocation throws
// std::bad_alloc having changed nothing, and InternalFault is thrown only
// for an exhausted index space.
#pragma once

#include <string>
#include <string_view>

#include "core/common/result.h"
#include "core/graph/graph.h"
#include "core/graph/property_value.h"
#include "core/graph/str.h"

namespace qg {

class GraphRecord : public Graph {
 public:
  GraphRecord() = default;
  GraphRecord(bool directed, std::string name, bool multi)
      : Graph(directed, std::move(name), multi) {}
  GraphRecord(GraphRecord&&) noexcept = default;
  GraphRecord& operator=(GraphRecord&&) noexcept = default;
  GraphRecord(const Graph&) = delete;
  GraphRecord& operator=(const Graph&) = delete;

  // One Str per distinct property name used in this graph: builders take
  // their names from here so that each is stored once.
  StrInterner& keys() noexcept { return keys_; }

  // ---- Building a record ----

  // Room for this many nodes and edges in all.
  void reserve(size_t nodes, size_t edges);
  // The name and flags, for a reader that learns them while filling the
  // record; the caller sees to it that the edges obey the multi flag.
  void set_name(std::string_view name) { name_.assign(name); }
  void set_flags(bool directed, bool multi) noexcept {
    directed_ = directed;
    multi_ = multi;
  }
  // An edge the caller knows to be admissible (its pair is new, or the graph
  // is multi), without the duplicate test of add_edge_core: copies of
  // another graph's edges.
  EdgeIndex add_edge_unchecked(NodeIndex s, NodeIndex t, PropertyMap properties) {
    return st_.add_edge(s, t, std::move(properties));
  }
  // Bulk building of a fresh record (no edge removed yet): appended edges
  // are not in any adjacency list until link_appended(), which enters them
  // all in slot order, as add_edge_core would have, sizing each list once.
  // Until then the record must not be read.
  EdgeIndex append_edge_unlinked(NodeIndex s, NodeIndex t, PropertyMap properties) {
    EdgeIndex e = st_.append_edge_unlinked(s, t, std::move(properties));
    if (unlinked_from_ == END) unlinked_from_ = e;
    return e;
  }
  void link_appended() {
    if (unlinked_from_ != END) st_.link_appended(unlinked_from_);
    unlinked_from_ = END;
  }

 private:
  friend Result<NodeIndex> add_node_core(GraphRecord& g, Str id, PropertyMap properties);
  friend Result<PropertyMap> remove_node_core(GraphRecord& g, std::string_view id);
  friend Status remove_edge_core(GraphRecord& g, std::string_view source, std::string_view target);
  friend Result<EdgeIndex> add_edge_by_index(GraphRecord& g, NodeIndex s, NodeIndex t,
                                             PropertyMap properties);
  friend Status update_node_core(GraphRecord& g, std::string_view id,
                                 const PropertyMap& properties);
  friend Status set_node_property_core(GraphRecord& g, std::string_view id, std::string_view key,
                                       PropertyValue value);

  StrInterner keys_;
  EdgeIndex unlinked_from_ = END;  // the first appended edge not linked yet
};

// "Node '{}' already exists"; an id longer than kMaxIdBytes: msg::id_too_long
// (id_limit.h). The map is stored as given: builders that make maps from
// text take their property names from g.keys() so that each name is stored
// once per graph. Returns the new node's slot.
Result<NodeIndex> add_node_core(GraphRecord& g, Str id, PropertyMap properties);
Result<NodeIndex> add_node_core(GraphRecord& g, std::string_view id, PropertyMap properties);
// "Source node '{}' not found"; "Target node '{}' not found";
// "Edge '{}' -> '{}' already exists" (simple graphs only).
Result<EdgeIndex> add_edge_core(GraphRecord& g, std::string_view source, std::string_view target,
                                PropertyMap properties);
// By index, for builders that already hold both endpoints. Applies the same
// duplicate test; the message names the endpoints' ids.
Result<EdgeIndex> add_edge_by_index(GraphRecord& g, NodeIndex s, NodeIndex t,
                                    PropertyMap properties);

// "Node '{}' not found". Removes the node's edges with it; returns its map.
Result<PropertyMap> remove_node_core(GraphRecord& g, std::string_view id);
// Removes the newest edge source -> target (undirected: else the newest
// target -> source). "Source node '{}' not found"; "Target node '{}' not
// found"; "Edge '{}' -> '{}' not found".
Status remove_edge_core(GraphRecord& g, std::string_view source, std::string_view target);

// "Node '{}' not found". Writes each entry of `properties` over the node's
// map, replacing values in place and appending new names; all or nothing.
Status update_node_core(GraphRecord& g, std::string_view id, const PropertyMap& properties);
// "Node '{}' not found". Sets one property (its name interned into g.keys()).
Status set_node_property_core(GraphRecord& g, std::string_view id, std::string_view key,
                              PropertyValue value);

}  // namespace qg
