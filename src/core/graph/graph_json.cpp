// The graph JSON reader: records over the JsonLexer, building the graph as it reads.
#include "core/graph/graph_json.h"

#include <algorithm>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/common/flat_table.h"
#include "core/common/interrupt.h"
#include "core/common/messages.h"
#include "core/graph/graph_record.h"
#include "core/graph/id_limit.h"
#include "core/graph/json_lexer.h"

namespace qg {

namespace {

const char* const kGraphFields[] = {"directed", "multi", "name", "nodes", "edges"};
const char* const kNodeFields[] = {"id", "properties"};
const char* const kEdgeFields[] = {"source", "target", "properties"};
constexpr std::string_view kGraphExpected = "one of `directed`, `multi`, `name`, `nodes`, `edges`";
constexpr std::string_view kNodeExpected = "`id` or `properties`";
constexpr std::string_view kEdgeExpected = "one of `source`, `target`, `properties`";

template <size_t N>
int field_index(const char* const (&fields)[N], std::string_view key) {
  for (size_t k = 0; k < N; ++k)
    if (key == fields[k]) return static_cast<int>(k);
  return -1;
}

struct PendingEdge {
  Str source;
  Str target;
  PropertyMap properties;
};

class GraphJsonReader : private JsonLexer {
 public:
  GraphJsonReader(std::string_view text, uint64_t max_nodes, uint64_t max_edges)
      : JsonLexer(text), max_nodes_(max_nodes), max_edges_(max_edges) {}

  Result<GraphRecord> run();

 private:
  // ---- values ----
  bool parse_properties(PropertyMap& out);

  // ---- records ----
  bool parse_graph();
  bool graph_field(int field);
  bool parse_nodes();
  bool parse_node();
  bool parse_edges();
  bool parse_edge();
  // A record (the graph, a node, an edge) in object form (each field at most
  // once, by name) or in array form (the fields in order); field(f) reads the
  // value of field f and seen[f] records it. A field whose bit is set in
  // `optional` may be left out: by name, or by an array that ends there (it
  // then counts as seen, keeping its default).
  template <size_t N, class Field>
  bool parse_record(const char* const (&names)[N], std::string_view expected_names,
                    std::string_view struct_name, bool (&seen)[N], unsigned optional,
                    Field&& field);

  // ---- building ----
  void on_node(std::string_view id, PropertyMap properties);
  void on_edge(std::string_view source, std::string_view target, PropertyMap properties);
  // Edges are inserted in small batches so that the id lookups and the
  // node slots of a batch can be prefetched together.
  struct EdgeItem {
    std::string_view source, target;
    PropertyMap properties;
  };
  static constexpr size_t kBatch = 32;
  void flush_batch();
  void insert_edges(std::span<EdgeItem> items);
  void set_build_error(std::string message) {
    if (!build_failed_) {
      build_failed_ = true;
      build_err_ = std::move(message);
    }
  }

  uint64_t max_nodes_, max_edges_;
  GraphRecord g_;
  bool seen_[5] = {};
  bool directed_ = true;
  bool multi_ = false;
  uint64_t nodes_seen_ = 0;
  uint64_t edges_seen_ = 0;
  bool edges_direct_ = false;   // edges go straight into g_
  bool build_failed_ = false;   // first insertion error, reported after the caps
  bool build_stopped_ = false;  // a cap is already exceeded: parse only
  std::string build_err_;
  std::vector<PendingEdge> pending_;
  std::vector<EdgeItem> batch_;
  std::vector<std::pair<NodeIndex, NodeIndex>> ends_;
  FlatSet<uint64_t> pairs_;  // simple graphs: endpoint pairs taken

  std::string id_scratch_, source_scratch_, target_scratch_;
  std::vector<PropertyMap::Entry> entries_;
  Str last_key_ = Str::make("");
};

// A properties object. Names repeat in every record, so they are interned
// into the record's key table; a repeated name keeps its last value.
bool GraphJsonReader::parse_properties(PropertyMap& out) {
  if (peek_ws() != '{') return invalid_type("a map");
  entries_.clear();
  if (!parse_members([&](std::string_view key) {
        // Records mostly repeat the previous record's names: reuse that Str
        // without a table lookup.
        if (last_key_.view() != key) last_key_ = g_.keys().get(key);
        Str k = last_key_;
        PropertyValue value;
        if (!colon() || !parse_value(value)) return false;
        entries_.emplace_back(std::move(k), std::move(value));
        return true;
      }))
    return false;
  const size_t n = entries_.size();
  if (n == 0) {
    out = PropertyMap();
    return true;
  }
  // Interned names: equal names share one text, so pointers compare.
  size_t unique = n;
  if (n <= 16) {
    for (size_t a = 1; a < n; ++a) {
      for (size_t b = 0; b < a; ++b) {
        if (entries_[b].first &&
            entries_[a].first.view().data() == entries_[b].first.view().data()) {
          entries_[b].second = std::move(entries_[a].second);
          entries_[a].first = Str();
          --unique;
          break;
        }
      }
    }
  } else {
    FlatMap<const char*, size_t> at;
    at.reserve(n);
    for (size_t a = 0; a < n; ++a) {
      auto [it, inserted] = at.try_emplace(entries_[a].first.view().data(), a);
      if (!inserted) {
        entries_[it->second].second = std::move(entries_[a].second);
        entries_[a].first = Str();
        --unique;
      }
    }
  }
  PropertyMap m;
  m.reserve(unique);
  for (auto& [k, v] : entries_)
    if (k) m.append_new(std::move(k), std::move(v));
  entries_.clear();
  out = std::move(m);
  return true;
}

// ---- records ----

bool GraphJsonReader::graph_field(int field) {
  switch (field) {
    case 0:
      if (!parse_bool_field(directed_)) return false;
      g_.set_flags(directed_, multi_);
      return true;
    case 1:
      if (!parse_bool_field(multi_)) return false;
      g_.set_flags(directed_, multi_);
      return true;
    case 2: {
      std::string_view name;
      if (!parse_string_field(scratch_, name)) return false;
      g_.set_name(name);
      return true;
    }
    case 3: return parse_nodes();
    default:
      // Edges go straight in when everything they depend on is known;
      // otherwise they wait for the end of the document.
      edges_direct_ = seen_[0] && seen_[1] && seen_[3];
      return parse_edges();
  }
}

bool GraphJsonReader::parse_graph() {
  constexpr unsigned kOptional = 1u << 1;  // an absent `multi` reads as false
  return parse_record(kGraphFields, kGraphExpected, "GraphJson", seen_, kOptional,
                      [this](int f) { return graph_field(f); });
}

bool GraphJsonReader::parse_nodes() {
  if (peek_ws() != '[') return invalid_type("a sequence");
  return parse_elements([this] { return parse_node(); });
}

template <size_t N, class Field>
bool GraphJsonReader::parse_record(const char* const (&names)[N], std::string_view expected_names,
                                   std::string_view struct_name, bool (&seen)[N], unsigned optional,
                                   Field&& field) {
  int c = peek_ws();
  if (c == '{') {
    if (!parse_members([&](std::string_view key) {
          int f = field_index(names, key);
          if (f < 0) return unknown_field(key, expected_names);
          if (seen[f]) return duplicate_field(key);
          seen[f] = true;
          return colon() && field(f);
        }))
      return false;
    for (size_t f = 0; f < N; ++f)
      if (!seen[f] && !(optional >> f & 1)) return missing_field(names[f]);
    return true;
  }
  if (c == '[') {
    if (!enter()) return false;
    bool first = true;
    for (size_t f = 0; f < N; ++f) {
      int r = next_elem(first);
      if (r < 0) return false;
      if (r == 0) {
        if (optional >> f & 1) {
          seen[f] = true;
          continue;
        }
        return invalid_length(f, "struct " + std::string(struct_name) + " with " +
                                     std::to_string(N) + " elements");
      }
      seen[f] = true;
      if (!field(static_cast<int>(f))) return false;
    }
    return end_struct_seq();
  }
  return invalid_type("struct " + std::string(struct_name));
}

bool GraphJsonReader::parse_node() {
  std::string_view id;
  PropertyMap props;
  auto field = [&](int f) {
    return f == 0 ? parse_string_field(id_scratch_, id) : parse_properties(props);
  };
  bool seen[2] = {};
  if (!parse_record(kNodeFields, kNodeExpected, "NodeJson", seen, 0, field)) return false;
  on_node(id, std::move(props));
  return true;
}

bool GraphJsonReader::parse_edges() {
  if (peek_ws() != '[') return invalid_type("a sequence");
  // An edge record in object form takes at least 42 bytes: size the slot
  // array once from what is left of the text (array forms may still grow it).
  if (edges_direct_) g_.reserve(0, std::min<uint64_t>(max_edges_, remaining() / 42 + 1));
  if (!parse_elements([this] { return parse_edge(); })) return false;
  flush_batch();
  return true;
}

bool GraphJsonReader::parse_edge() {
  std::string_view source, target;
  PropertyMap props;
  auto field = [&](int f) {
    switch (f) {
      case 0: return parse_string_field(source_scratch_, source);
      case 1: return parse_string_field(target_scratch_, target);
      default: return parse_properties(props);
    }
  };
  bool seen[3] = {};
  if (!parse_record(kEdgeFields, kEdgeExpected, "EdgeJson", seen, 0, field)) return false;
  on_edge(source, target, std::move(props));
  return true;
}

// ---- building ----

void GraphJsonReader::on_node(std::string_view id, PropertyMap properties) {
  ++nodes_seen_;
  if (build_failed_ || build_stopped_) return;
  if (nodes_seen_ > max_nodes_) {
    // The node cap refuses the document; keep parsing for syntax errors only.
    build_stopped_ = true;
    pending_.clear();
    return;
  }
  if (id.size() > kMaxIdBytes) {  // refused before the id is copied
    set_build_error(msg::id_too_long(id.size()));
    return;
  }
  auto st = add_node_core(g_, Str::make(id), std::move(properties));
  if (!st) set_build_error(std::move(st.error().message));
}

void GraphJsonReader::on_edge(std::string_view source, std::string_view target,
                              PropertyMap properties) {
  ++edges_seen_;
  if (build_failed_ || build_stopped_) return;
  if (edges_seen_ > max_edges_) {
    build_stopped_ = true;
    pending_.clear();
    return;
  }
  if (edges_direct_) {
    // Views into the text stay valid; unescaped copies do not outlive
    // this edge, so such an edge is inserted at once.
    const bool stable = in_text(source) && in_text(target);
    if (!stable) flush_batch();
    batch_.push_back(EdgeItem{source, target, std::move(properties)});
    if (!stable || batch_.size() == kBatch) flush_batch();
  } else {
    pending_.push_back(PendingEdge{Str::make(source), Str::make(target), std::move(properties)});
  }
}

void GraphJsonReader::flush_batch() {
  if (!batch_.empty()) insert_edges(batch_);
  batch_.clear();
}

// add_edge_core's checks and messages, edge by edge in document order, with
// the duplicate test of a simple graph done on a set of endpoint pairs
// instead of a walk of adjacency lists (dense graphs would make that
// quadratic). Property names are already interned into g_.keys().
void GraphJsonReader::insert_edges(std::span<EdgeItem> items) {
  if (build_failed_) return;
  for (const EdgeItem& e : items) {
    g_.prefetch(e.source);
    g_.prefetch(e.target);
  }
  // Endpoints up to the first unknown id; its message comes after any
  // duplicate found among the edges before it.
  size_t good = items.size();
  std::string missing;
  ends_.clear();
  for (size_t i = 0; i < items.size(); ++i) {
    NodeIndex s = find_node(g_, items[i].source);
    if (s == END) {
      good = i;
      missing = msg::source_not_found(items[i].source);
      break;
    }
    NodeIndex t = find_node(g_, items[i].target);
    if (t == END) {
      good = i;
      missing = msg::target_not_found(items[i].target);
      break;
    }
    ends_.emplace_back(s, t);
  }
  auto pair_key = [&](size_t i) {
    auto [a, b] = ends_[i];
    if (!g_.directed() && a > b) std::swap(a, b);
    return (uint64_t{a} << 32) | b;
  };
  if (!g_.multi())
    for (size_t i = 0; i < good; ++i) pairs_.prefetch(pair_key(i));
  for (size_t i = 0; i < good; ++i) {
    if (!g_.multi() && !pairs_.insert(pair_key(i)).second) {
      set_build_error(msg::edge_exists(items[i].source, items[i].target));
      return;
    }
    // Adjacency lists are filled in one pass once every edge is read.
    g_.append_edge_unlinked(ends_[i].first, ends_[i].second, std::move(items[i].properties));
  }
  if (good < items.size()) set_build_error(std::move(missing));
}

Result<GraphRecord> GraphJsonReader::run() {
  bool ok = parse_graph();
  if (ok && peek_ws() >= 0) ok = fail_peek("trailing characters");
  if (!ok) return Err(ErrorKind::Parse, positioned_message());
  if (nodes_seen_ > max_nodes_)
    return Err(ErrorKind::Cap,
               "Graph JSON declares " + std::to_string(nodes_seen_) +
                   " nodes; refusing above max_nodes=" + std::to_string(max_nodes_) +
                   " (raise QuorGraphSettings.max_nodes if intended).");
  if (edges_seen_ > max_edges_)
    return Err(ErrorKind::Cap,
               "Graph JSON declares " + std::to_string(edges_seen_) +
                   " edges; refusing above max_edges=" + std::to_string(max_edges_) +
                   " (raise QuorGraphSettings.max_edges if intended).");
  if (build_failed_) return Err(ErrorKind::Refused, std::move(build_err_));
  g_.set_flags(directed_, multi_);
  for (size_t at = 0; at < pending_.size() && !build_failed_; at += kBatch) {
    batch_.clear();
    for (size_t i = at; i < std::min(at + kBatch, pending_.size()); ++i)
      batch_.push_back(EdgeItem{pending_[i].source.view(), pending_[i].target.view(),
                                std::move(pending_[i].properties)});
    flush_batch();
  }
  if (build_failed_) return Err(ErrorKind::Refused, std::move(build_err_));
  pending_.clear();
  g_.link_appended();
  return std::move(g_);
}

}  // namespace

Result<GraphRecord> graph_from_json_checked(std::string_view text, uint64_t max_bytes,
                                            uint64_t max_nodes, uint64_t max_edges) {
  if (text.size() > max_bytes)
    return Err(ErrorKind::Cap, "Graph JSON is " + std::to_string(text.size()) +
                                   " bytes; refusing to parse above " + std::to_string(max_bytes) +
                                   " bytes (raise QuorGraphSettings.max_bytes if intended).");
  GraphJsonReader reader(text, max_nodes, max_edges);
  return reader.run();
}

}  // namespace qg
