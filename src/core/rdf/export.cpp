// Turtle, N-Triples and JSON-LD writers over the graph record.
//
// The writers walk the edge slots in index order (the edge order of
// edge_list_refs). Ids live in separately allocated strings scattered over
// the heap, and an edge's endpoints are in no particular order, so reading
// every id through its node slot costs two cache misses per endpoint. Each
// node's term is therefore rendered once, when an edge first reaches it,
// into a compact arena (NodeTerms); later edges copy it from there. That is
// also where a node is validated, once however many edges it has. A small
// cache keyed by the address of the predicate text remembers predicates
// already validated (loaded graphs share one string per predicate).
// Validity does not depend on the role of a term, so caching successes
// never changes which fault is reported first.
#include "core/rdf/export.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "core/common/messages.h"
#include "core/graph/json_text.h"
#include "core/rdf/iri.h"
#include "core/rdf/unicode.h"

namespace qg::rdf {

namespace {

constexpr std::string_view kBlankPrefix = "_:";

bool is_blank_id(std::string_view id) noexcept {
  return id.size() >= 2 && id[0] == '_' && id[1] == ':';
}

// ---- Blank-node labels (BLANK_NODE_LABEL of Turtle and N-Triples) ----

bool is_label_start(int32_t c) noexcept {
  return c == '_' || is_ascii_digit(c) || is_pn_chars_base(c);
}
bool is_label_char(int32_t c) noexcept {
  return is_label_start(c) || c == '-' || c == '.' || c == 0xB7 || (c >= 0x300 && c <= 0x36F) ||
         (c >= 0x203F && c <= 0x2040);
}

// ---- Validation ----

// Remembers predicate texts (by address and length) that passed validation.
class PredicateCache {
 public:
  bool contains(std::string_view p) const noexcept {
    const Slot& s = slots_[slot_of(p)];
    return p.data() != nullptr && s.data == p.data() && s.size == p.size();
  }
  void add(std::string_view p) noexcept { slots_[slot_of(p)] = Slot{p.data(), p.size()}; }

 private:
  struct Slot {
    const char* data = nullptr;
    size_t size = 0;
  };
  static size_t slot_of(std::string_view p) noexcept {
    auto a = reinterpret_cast<uintptr_t>(p.data());
    return ((a >> 4) ^ (a >> 12) ^ p.size()) & (kSlots - 1);
  }
  static constexpr size_t kSlots = 256;
  std::array<Slot, kSlots> slots_{};
};

std::string quoted_fault(const char* what, std::string_view text, std::string_view fault) {
  std::string m;
  m.reserve(std::strlen(what) + text.size() + fault.size() + 8);
  m.append(what).append(" '").append(text).append("': ").append(fault);
  return m;
}

// The term of a node id as subject ("subject") or object ("object").
Status check_node_term(std::string_view id, const char* role) {
  if (is_blank_id(id)) {
    if (is_valid_blank_label(id.substr(kBlankPrefix.size()))) return {};
    return Err(ErrorKind::Refused,
               quoted_fault("Invalid blank node id", id, "The blank node identifier is invalid"));
  }
  auto v = validate_absolute_iri(id);
  if (v) return {};
  return Err(ErrorKind::Refused, quoted_fault(role, id, v.error().message));
}

// Rendered node terms, filled on first use. A node's term is a slice of one
// growing arena; nodes that no edge reaches cost one empty slot.
class NodeTerms {
 public:
  explicit NodeTerms(size_t nodes, size_t arena_bytes) : at_(nodes) { arena_.reserve(arena_bytes); }
  bool has(NodeIndex n) const noexcept { return at_[n].len != kUnset; }
  std::string_view get(NodeIndex n) const noexcept {
    return std::string_view(arena_.data() + at_[n].off, at_[n].len);
  }
  // Appends the rendered term of n: `render(std::string&)` appends it.
  template <class Render>
  void put(NodeIndex n, Render render) {
    const size_t off = arena_.size();
    render(arena_);
    at_[n] = Slice{off, arena_.size() - off};
  }

 private:
  static constexpr size_t kUnset = ~size_t{0};
  struct Slice {
    size_t off = 0;
    size_t len = kUnset;
  };
  std::vector<Slice> at_;
  std::string arena_;
};

// The N-Triples form of a node id, validated: "_:label" or "<iri>".
Status render_rdf_term(std::string_view id, const char* role, std::string& out) {
  QG_TRY(check_node_term(id, role));
  if (is_blank_id(id)) {
    out.append(id);
  } else {
    out.push_back('<');
    out.append(id);
    out.push_back('>');
  }
  return {};
}

// ---- Output size ----

// Bytes per edge of the texts that the writers copy, averaged over edges
// sampled evenly across the slots, scaled to the whole edge count. Ids
// often grow along the slots (r0, r1, ... r99999), so a sample of the first
// edges alone would fall short and force a regrowth of the whole buffer.
size_t estimate_text_bytes(const GraphStorage& st, size_t per_edge_extra) {
  constexpr size_t kSample = 1024;
  const size_t slots = st.edge_bound();
  const size_t stride = slots > kSample ? slots / kSample : 1;
  size_t seen = 0, bytes = 0;
  for (EdgeIndex e = 0; e < slots; e += static_cast<EdgeIndex>(stride)) {
    if (!st.edge_live(e)) continue;
    bytes += st.id(st.source(e)).size() + st.id(st.target(e)).size() +
             edge_predicate(st.edge_properties(e)).size() + per_edge_extra;
    ++seen;
  }
  if (seen == 0) return 64;
  // About 3% headroom, so that an average sample rarely forces a regrowth.
  const size_t total = bytes * st.edge_count() / seen;
  return total + total / 32 + 64;
}

// Asks for huge pages behind a large output buffer that has not been
// written yet: 100 MB of text otherwise costs some 25,000 page faults, each
// zeroing and accounting one small page. Advice only; harmless if refused.
void advise_large_buffer(char* p, size_t n) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  if (n < 4 * kHuge) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)p;
  (void)n;
#endif
}

// Reserves about `bytes` of room in `out`, advised as above.
void reserve_output(TextOut& out, size_t bytes) {
  if (bytes == 0) return;
  advise_large_buffer(out.room(bytes), bytes);
}

// Same text, usually recognised by address (shared predicate strings).
inline bool same_text(std::string_view a, std::string_view b) noexcept {
  return (a.data() == b.data() && a.size() == b.size()) || a == b;
}

// Whether a JSON string of `text` is `text` between quotes.
bool is_json_plain(std::string_view text) noexcept {
  const auto& esc = json_text_detail::kEscape.t;
  for (unsigned char c : text)
    if (esc[c]) return false;
  return true;
}

inline char* write_raw(char* w, std::string_view text) noexcept {
  std::memcpy(w, text.data(), text.size());
  return w + text.size();
}

inline char* write_iri(char* w, std::string_view iri) noexcept {
  *w++ = '<';
  std::memcpy(w, iri.data(), iri.size());
  w += iri.size();
  *w++ = '>';
  return w;
}

template <size_t N>
inline char* write_lit(char* w, const char (&text)[N]) noexcept {
  std::memcpy(w, text, N - 1);
  return w + N - 1;
}

}  // namespace

std::string_view edge_predicate(const PropertyMap& properties) noexcept {
  std::string_view type;
  bool have_type = false;
  for (const auto& [key, value] : properties) {
    if (!value.is_string()) continue;
    const std::string_view k = key.view();
    // Fixed-length compares, inlined (this runs once per edge).
    if (k.size() == 9 && std::memcmp(k.data(), "predicate", 9) == 0) return value.as_string();
    if (!have_type && k.size() == 4 && std::memcmp(k.data(), "type", 4) == 0) {
      type = value.as_string();
      have_type = true;
    }
  }
  return have_type ? type : kDefaultPredicateIri;
}

bool is_valid_blank_label(std::string_view label) noexcept {
  if (label.empty() || label.back() == '.') return false;
  const char* p = label.data();
  const char* const end = p + label.size();
  bool first = true;
  while (p < end) {
    int32_t c;
    int len = 1;
    if (static_cast<unsigned char>(*p) < 0x80) {
      c = static_cast<unsigned char>(*p);
    } else {
      c = decode_utf8(p, end, &len);
      if (c < 0) return false;
    }
    if (first ? !is_label_start(c) : !is_label_char(c)) return false;
    first = false;
    p += len;
  }
  return true;
}

Status write_rdf(const Graph& g, RdfFormat format, TextOut& out) {
  if (format != RdfFormat::Turtle && format != RdfFormat::NTriples)
    return Err(ErrorKind::Refused,
               "Serialization error: the export writes only Turtle and N-Triples");
  const bool turtle = format == RdfFormat::Turtle;
  const GraphStorage& st = g.storage();

  PredicateCache predicates;
  // Per statement: the three terms plus "<>" around the predicate, two
  // spaces and at most " ;\n\t" or " .\n".
  constexpr size_t kFrame = 12;
  // At most two new nodes per edge, each term some 40 bytes: a guess that
  // saves the first few regrowths of the arena.
  NodeTerms terms(st.node_bound(),
                  std::min<size_t>(st.node_count(), 2 * size_t{st.edge_count()}) * 40);
  reserve_output(out, st.edge_count() ? estimate_text_bytes(st, 11) : 0);

  NodeIndex prev_subject = END;
  std::string_view prev_predicate;
  for (const EdgeView edge : st.live_edges()) {
    const std::string_view p = edge_predicate(edge.properties);
    if (!predicates.contains(p)) {
      auto v = validate_absolute_iri(p);
      if (!v)
        return Err(ErrorKind::Refused, quoted_fault("Invalid predicate IRI", p, v.error().message));
      predicates.add(p);
    }
    const NodeIndex s = edge.source, o = edge.target;
    if (!terms.has(s)) {
      Status ok;
      terms.put(s,
                [&](std::string& a) { ok = render_rdf_term(st.id(s), "Invalid subject IRI", a); });
      if (!ok) return Err(std::move(ok.error()));
    }
    if (!terms.has(o)) {
      Status ok;
      terms.put(o,
                [&](std::string& a) { ok = render_rdf_term(st.id(o), "Invalid object IRI", a); });
      if (!ok) return Err(std::move(ok.error()));
    }
    const std::string_view sterm = terms.get(s), oterm = terms.get(o);

    char* const start = out.room(sterm.size() + p.size() + oterm.size() + kFrame);
    char* w = start;
    if (!turtle) {
      w = write_raw(w, sterm);
      *w++ = ' ';
      w = write_iri(w, p);
      *w++ = ' ';
      w = write_raw(w, oterm);
      w = write_lit(w, " .\n");
    } else {
      const bool same_subject = s == prev_subject;
      if (same_subject && p == prev_predicate) {
        w = write_lit(w, " , ");
      } else {
        if (same_subject) {
          w = write_lit(w, " ;\n\t");
        } else {
          if (prev_subject != END) w = write_lit(w, " .\n");
          w = write_raw(w, sterm);
          *w++ = ' ';
        }
        if (p == kRdfType) *w++ = 'a';
        else w = write_iri(w, p);
        *w++ = ' ';
      }
      w = write_raw(w, oterm);
      prev_subject = s;
      prev_predicate = p;
    }
    out.commit(static_cast<size_t>(w - start));
  }
  if (turtle && prev_subject != END) out.lit(" .\n");
  return {};
}

Status write_jsonld(const Graph& g, TextOut& out) {
  const GraphStorage& st = g.storage();

  // Edges with their predicate text, in edge order. Every endpoint's id is
  // copied into the arena on first use, with a note of whether it needs
  // JSON escapes.
  struct Item {
    NodeIndex source;
    NodeIndex target;
    std::string_view predicate;
    uint32_t order;
  };
  constexpr uint8_t kSource = 1, kTarget = 2, kPlain = 4;
  std::vector<uint8_t> role(st.node_bound(), 0);
  NodeTerms ids(st.node_bound(),
                std::min<size_t>(st.node_count(), 2 * size_t{st.edge_count()}) * 40);
  auto note = [&](NodeIndex n, uint8_t r) {
    if (!ids.has(n)) {
      const std::string_view id = st.id(n);
      ids.put(n, [&](std::string& a) { a.append(id); });
      if (is_json_plain(id)) role[n] |= kPlain;
    }
    role[n] |= r;
  };
  std::vector<Item> items;
  items.reserve(st.edge_count());
  for (const EdgeView edge : st.live_edges()) {
    const std::string_view predicate = edge_predicate(edge.properties);
    // "@id" as a key of a node object would replace the node's own id: the
    // document would lose the node. Refuse rather than write that.
    if (predicate == "@id")
      return Err(ErrorKind::Refused,
                 msg::edge(st.id(edge.source), st.id(edge.target),
                           " has the predicate '@id', which JSON-LD reserves for node ids"));
    items.push_back(Item{edge.source, edge.target, predicate, static_cast<uint32_t>(items.size())});
    note(edge.source, kSource);
    note(edge.target, kTarget);
  }

  // Sources in byte-wise order of their ids (ids are unique: no ties).
  std::vector<NodeIndex> sources;
  for (NodeIndex n = 0; n < role.size(); ++n)
    if (role[n] & kSource) sources.push_back(n);
  std::sort(sources.begin(), sources.end(),
            [&](NodeIndex a, NodeIndex b) { return ids.get(a) < ids.get(b); });

  // Edges grouped by source rank (a stable counting sort keeps edge order),
  // then by predicate text within each source.
  std::vector<uint32_t> rank(role.size(), 0);
  for (uint32_t r = 0; r < sources.size(); ++r) rank[sources[r]] = r;
  std::vector<uint32_t> group_start(sources.size() + 1, 0);
  for (const Item& it : items) ++group_start[rank[it.source] + 1];
  for (size_t r = 0; r < sources.size(); ++r) group_start[r + 1] += group_start[r];
  std::vector<Item> grouped(items.size());
  {
    std::vector<uint32_t> fill(group_start.begin(), group_start.end() - 1);
    for (const Item& it : items) grouped[fill[rank[it.source]]++] = it;
  }
  items.clear();
  items.shrink_to_fit();
  for (size_t r = 0; r < sources.size(); ++r) {
    auto first = grouped.begin() + group_start[r], last = grouped.begin() + group_start[r + 1];
    if (last - first < 2) continue;
    std::sort(first, last, [](const Item& a, const Item& b) {
      if (!same_text(a.predicate, b.predicate)) {
        const int c = a.predicate.compare(b.predicate);
        if (c != 0) return c < 0;
      }
      return a.order < b.order;
    });
  }

  reserve_output(out, grouped.empty() ? 32 : estimate_text_bytes(st, 48));
  // A JSON string of a node id: copied between quotes when it needs no
  // escapes, else escaped.
  auto put_id = [&](NodeIndex n) {
    const std::string_view id = ids.get(n);
    if (role[n] & kPlain) {
      char* w = out.room(id.size() + 2);
      *w = '"';
      std::memcpy(w + 1, id.data(), id.size());
      w[id.size() + 1] = '"';
      out.commit(id.size() + 2);
    } else {
      put_json_string(out, id);
    }
  };

  out.lit("{\n  \"@graph\": [");
  bool first_node = true;
  auto begin_node = [&] {
    if (first_node) out.lit("\n    {\n");
    else out.lit(",\n    {\n");
    first_node = false;
  };

  constexpr std::string_view kAtId = "@id";
  for (size_t r = 0; r < sources.size(); ++r) {
    const NodeIndex source = sources[r];
    begin_node();
    bool first_entry = true;
    bool id_written = false;
    auto entry_key = [&](std::string_view key) {
      if (!first_entry) out.lit(",\n");
      first_entry = false;
      out.lit("      ");
      put_json_string(out, key);
      out.lit(": ");
    };
    auto write_id = [&] {
      entry_key(kAtId);
      put_id(source);
      id_written = true;
    };
    size_t i = group_start[r];
    const size_t end = group_start[r + 1];
    while (i < end) {
      const std::string_view p = grouped[i].predicate;
      size_t j = i + 1;
      while (j < end && same_text(grouped[j].predicate, p)) ++j;
      if (!id_written && kAtId <= p) write_id();
      {
        entry_key(p);
        if (j - i == 1) {
          out.lit("{\n        \"@id\": ");
          put_id(grouped[i].target);
          out.lit("\n      }");
        } else {
          out.lit("[");
          for (size_t k = i; k < j; ++k) {
            if (k == i) out.lit("\n        {\n          \"@id\": ");
            else out.lit(",\n        {\n          \"@id\": ");
            put_id(grouped[k].target);
            out.lit("\n        }");
          }
          out.lit("\n      ]");
        }
      }
      i = j;
    }
    if (!id_written) write_id();
    out.lit("\n    }");
  }

  // Nodes that are only targets, in node order.
  for (NodeIndex n = 0; n < role.size(); ++n) {
    if ((role[n] & (kSource | kTarget)) != kTarget) continue;
    begin_node();
    out.lit("      \"@id\": ");
    put_id(n);
    out.lit("\n    }");
  }

  if (first_node) out.lit("]\n}");
  else out.lit("\n  ]\n}");
  return {};
}

Result<std::string> export_rdf_core(const Graph& g, RdfFormat format) {
  TextOut out;
  QG_TRY(write_rdf(g, format, out));
  return std::string(out.view());
}

Result<std::string> export_jsonld_core(const Graph& g) {
  TextOut out;
  QG_TRY(write_jsonld(g, out));
  return std::string(out.view());
}

}  // namespace qg::rdf
