#include "core/rdf/load.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "core/common/flat_table.h"
#include "core/common/utf8.h"
#include "core/graph/id_limit.h"
#include "core/rdf/rdf_parse.h"

namespace qg::rdf {

namespace {

using Clock = std::chrono::steady_clock;

unsigned __int128 elapsed_ms(Clock::time_point start) {
  const auto d = Clock::now() - start;
  if (d.count() < 0) return 0;
  return static_cast<unsigned __int128>(
      std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

// "{description} (os error {code})", as the system describes an errno.
std::string os_error_text(int err) {
  return std::string(std::strerror(err)) + " (os error " + std::to_string(err) + ")";
}

// ---- Statement mapping ----

// One distinct predicate: its IRI and local name, each an interned string.
struct Predicate {
  Str iri;
  Str local;
  // The properties of every edge with this predicate: one map, shared.
  PropertyMap props;
};

// The load's own id index, id -> node. An entry is one cache line that
// holds the hash, the node and, for ids of up to 48 bytes, the id itself,
// so that a lookup usually touches a single line; longer ids are compared
// against the node's id in the graph. Open addressing, linear probing.
class IdTable {
  // A seeded hash of the id's bytes: 8-byte words folded through
  // 64x64->128-bit multiplies (fast on IRIs of a few dozen bytes).
  static uint64_t mix(uint64_t a, uint64_t b) {
    const __uint128_t r = static_cast<__uint128_t>(a) * b;
    return static_cast<uint64_t>(r) ^ static_cast<uint64_t>(r >> 64);
  }
  uint64_t hash(std::string_view s) const {
    constexpr uint64_t k0 = 0xa0761d6478bd642full, k1 = 0xe7037ed1a0b428dbull;
    const char* p = s.data();
    size_t n = s.size();
    uint64_t h = seed_ ^ (n * k0);
    while (n >= 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      h = mix(h ^ w, k1);
      p += 8;
      n -= 8;
    }
    uint64_t w = 0;
    std::memcpy(&w, p, n);
    return mix(h ^ w, k0);
  }

 public:
  IdTable() { rehash(1024); }

  // The node of `id`, or END after which the caller must call set() with
  // the new node before any other lookup.
  NodeIndex find_or_reserve(std::string_view id, const GraphStorage& st) {
    const uint64_t h = hash(id);
    size_t i = h & mask_;
    for (;; i = (i + 1) & mask_) {
      Entry& e = entries_[i];
      if (e.node == END) break;
      if (e.hash == h && e.len == id.size() &&
          (id.size() <= kInline ? std::memcmp(e.text, id.data(), id.size()) == 0
                                : st.id(e.node) == id))
        return e.node;
    }
    pending_ = &entries_[i];
    pending_->hash = h;
    pending_->len = static_cast<uint32_t>(id.size());
    if (id.size() <= kInline) std::memcpy(pending_->text, id.data(), id.size());
    return END;
  }

  void set(NodeIndex n) {
    pending_->node = n;
    if (++size_ * 10 > (mask_ + 1) * 7) rehash((mask_ + 1) * 2);
  }

 private:
  static constexpr size_t kInline = 48;
  struct alignas(64) Entry {
    uint64_t hash;
    uint32_t node;
    uint32_t len;  // Mapper::node_for refuses longer ids first
    char text[kInline];
  };
  static_assert(kMaxIdBytes <= UINT32_MAX);

  void rehash(size_t capacity) {
    auto fresh = std::make_unique<Entry[]>(capacity);
    for (size_t i = 0; i < capacity; ++i) fresh[i].node = END;
    const size_t mask = capacity - 1;
    for (size_t i = 0; entries_ && i <= mask_; ++i) {
      const Entry& e = entries_[i];
      if (e.node == END) continue;
      size_t j = e.hash & mask;
      while (fresh[j].node != END) j = (j + 1) & mask;
      fresh[j] = e;
    }
    entries_ = std::move(fresh);
    mask_ = mask;
  }

  uint64_t seed_ = draw_hash_seed();
  std::unique_ptr<Entry[]> entries_;
  size_t mask_ = 0;
  size_t size_ = 0;
  Entry* pending_ = nullptr;
};

class Mapper {
 public:
  explicit Mapper(uint64_t triple_cap) : graph_(true, std::string(), true), cap_(triple_cap) {
    k_label_ = graph_.keys().get("label");
    k_predicate_ = graph_.keys().get("predicate");
    k_type_ = graph_.keys().get("type");
  }

  // The sink body: false stops the parse (cap reached or id refused).
  bool map(const Statement& st) {
    if (++count_ > cap_) {
      over_cap_ = true;
      return false;
    }
    const NodeIndex s = subject_node(st.subject);
    if (s == END) return false;
    NodeIndex o;
    switch (st.object.kind) {
      case TermKind::Iri: o = node_for(st.object, false); break;
      case TermKind::BlankNode: o = node_for(st.object, true); break;
      default: ++literals_; return true;
    }
    if (o == END) return false;
    // The graph is a fresh multigraph, so every edge is admissible; edges are
    // entered into the adjacency lists in one pass at the end.
    const Predicate& p = predicate(st.predicate);
    graph_.append_edge_unlinked(s, o, p.props);
    return true;
  }

  // After the parse: the first error of the load, if any.
  std::optional<Error> failure(const Status& parsed) const {
    if (over_cap_)
      return Error{ErrorKind::Cap, "RDF parse exceeded triple_cap=" + std::to_string(cap_) +
                                       " (raise QuorGraphSettings.max_triples if intended)."};
    if (too_long_id_ != 0) return Error{ErrorKind::Refused, msg::id_too_long(too_long_id_)};
    if (!parsed) return Error{ErrorKind::Parse, "Parse error: " + parsed.error().message};
    return std::nullopt;
  }

  RdfLoad finish(Clock::time_point start) && {
    graph_.link_appended();
    RdfLoadStats stats;
    stats.total_triples = count_;
    stats.nodes = graph_.node_count();
    stats.edges = graph_.edge_count();
    stats.literal_properties = literals_;
    stats.load_time_ms = elapsed_ms(start);
    return RdfLoad{std::move(graph_), stats};
  }

 private:
  // A term's memo word (rdf_types.h) holds what it resolved to, shifted
  // left by two, with a tag that keeps a node from being taken for a
  // predicate. A term the reader reuses without reading it again (Turtle's
  // ';' and ',') thus costs the same whatever its length.
  static constexpr uint64_t kMemoTag = 3, kSubjectMemo = 1, kPredicateMemo = 2;

  // Statements about one subject usually come together: the last subject
  // is remembered by its text and kind, saving its index lookup.
  NodeIndex subject_node(const Term& term) {
    if (term.memo != nullptr && (*term.memo & kMemoTag) == kSubjectMemo)
      return static_cast<NodeIndex>(*term.memo >> 2);
    if (term.kind != last_subject_kind_ || term.value != last_subject_) {
      const NodeIndex n = node_for(term, false);
      if (n == END) return END;
      last_subject_node_ = n;
      last_subject_kind_ = term.kind;
      last_subject_.assign(term.value);
    }
    if (term.memo != nullptr) *term.memo = (uint64_t{last_subject_node_} << 2) | kSubjectMemo;
    return last_subject_node_;
  }

  // The node of a subject or object term, added on first sight with its
  // "label". One index lookup when the node exists. END for an id longer
  // than kMaxIdBytes, refused before its bytes are read (the IdTable keeps
  // lengths in 32 bits).
  NodeIndex node_for(const Term& term, bool blank_object) {
    const bool blank = term.kind == TermKind::BlankNode;
    if (const size_t bytes = term.value.size() + (blank ? 2 : 0); bytes > kMaxIdBytes) {
      too_long_id_ = bytes;
      return END;
    }
    std::string_view id = term.value;
    if (blank) {
      blank_id_.assign("_:");
      blank_id_.append(term.value);
      id = blank_id_;
    }
    NodeIndex n = ids_.find_or_reserve(id, graph_.storage());
    if (n != END) return n;

    Str sid = Str::make(id);
    const std::string_view local = blank_object ? id : iri_local_name(id);
    Str label = local.size() == id.size() ? sid : Str::make(local);
    PropertyMap props;
    props.reserve(1);
    props.append_new(k_label_, PropertyValue::string(std::move(label)));
    auto added = add_node_core(graph_, std::move(sid), std::move(props));
    if (!added) throw InternalFault("RDF load: " + added.error().message);
    n = *added;
    ids_.set(n);
    return n;
  }

  const Predicate& predicate(const Term& term) {
    if (term.memo != nullptr && (*term.memo & kMemoTag) == kPredicateMemo)
      return predicates_[*term.memo >> 2];
    const Predicate& p = predicate(term.value);  // sets last_ to its index
    if (term.memo != nullptr) *term.memo = (uint64_t{last_} << 2) | kPredicateMemo;
    return p;
  }

  const Predicate& predicate(std::string_view iri) {
    if (last_ < predicates_.size() && predicates_[last_].iri.view() == iri)
      return predicates_[last_];
    auto it = predicate_index_.find(iri);
    if (it == predicate_index_.end()) {
      Predicate p{values_.get(iri), values_.get(iri_local_name(iri)), {}};
      p.props.reserve(3);
      p.props.append_new(k_predicate_, PropertyValue::string(p.iri));
      p.props.append_new(k_label_, PropertyValue::string(p.local));
      p.props.append_new(k_type_, PropertyValue::string(p.local));
      const auto k = static_cast<uint32_t>(predicates_.size());
      predicates_.push_back(std::move(p));
      it = predicate_index_.emplace(predicates_.back().iri.view(), k).first;
    }
    last_ = it->second;
    return predicates_[last_];
  }

  GraphRecord graph_;
  uint64_t cap_;
  uint64_t count_ = 0;
  uint64_t literals_ = 0;
  bool over_cap_ = false;
  size_t too_long_id_ = 0;  // the length of a refused id
  Str k_label_, k_predicate_, k_type_;
  // Predicate IRIs and local names, one string each for the whole load.
  StrInterner values_;
  std::vector<Predicate> predicates_;
  FlatMap<std::string_view, uint32_t> predicate_index_;  // views predicates_[k].iri
  size_t last_ = SIZE_MAX;
  std::string blank_id_;
  IdTable ids_;
  std::string last_subject_;
  TermKind last_subject_kind_ = TermKind::None;
  NodeIndex last_subject_node_ = END;
};

std::string file_too_large(uint64_t size, uint64_t max_bytes) {
  return "RDF file is " + std::to_string(size) + " bytes; refusing to load above " +
         std::to_string(max_bytes) + " bytes (raise QuorGraphSettings.max_bytes if intended).";
}

using Parse = absl::FunctionRef<Status(StatementSink)>;

// load_statements_core with the clock started by the caller.
Result<RdfLoad> map_statements(Parse parse, uint64_t triple_cap, Clock::time_point start) {
  auto mapper = std::make_unique<Mapper>(triple_cap);
  const Status parsed = parse([&mapper](const Statement& st) { return mapper->map(st); });
  if (auto error = mapper->failure(parsed)) return Err(std::move(*error));
  return std::move(*mapper).finish(start);
}

// Parses the text, or the file when one is given, into a new graph. The file
// is closed before the clock is read; its byte cap outranks every other error.
Result<RdfLoad> run_load(RdfFormat format, uint64_t triple_cap, Clock::time_point start,
                         std::string_view text, std::unique_ptr<FileSource> file) {
  if (!file) {
    return map_statements([&](StatementSink sink) { return parse_rdf_string(text, format, sink); },
                          triple_cap, start);
  }
  bool over_cap = false;
  const uint64_t max_bytes = file->max_bytes();
  uint64_t bytes_read = 0;
  auto load = map_statements(
      [&](StatementSink sink) {
        const Status parsed = parse_rdf_stream(*file, format, sink);
        over_cap = file->over_cap();
        bytes_read = file->bytes_read();
        file.reset();
        return parsed;
      },
      triple_cap, start);
  if (over_cap) return Err(ErrorKind::Cap, file_too_large(bytes_read, max_bytes));
  return load;
}

// ---- Debug form of a string ----

// Code points that are shown escaped: controls, format characters,
// separators other than the ASCII space, combining marks, private use and
// noncharacters.
bool shown_escaped(uint32_t c) {
  if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) return true;
  if (c < 0xa0) return false;
  static constexpr uint32_t kRanges[][2] = {
      {0x00a0, 0x00a0},    {0x00ad, 0x00ad}, {0x0300, 0x036f}, {0x0483, 0x0489}, {0x0600, 0x0605},
      {0x061c, 0x061c},    {0x06dd, 0x06dd}, {0x070f, 0x070f}, {0x1680, 0x1680}, {0x180e, 0x180e},
      {0x1ab0, 0x1aff},    {0x1dc0, 0x1dff}, {0x2000, 0x200f}, {0x2028, 0x202f}, {0x205f, 0x2064},
      {0x2066, 0x206f},    {0x20d0, 0x20ff}, {0x3000, 0x3000}, {0xd800, 0xf8ff}, {0xfe00, 0xfe0f},
      {0xfe20, 0xfe2f},    {0xfeff, 0xfeff}, {0xfff9, 0xfffb}, {0xfffe, 0xffff}, {0xe0000, 0xe0fff},
      {0xf0000, 0x10ffff},
  };
  for (const auto& r : kRanges)
    if (c >= r[0] && c <= r[1]) return true;
  return (c & 0xfffe) == 0xfffe;
}

void append_hex_escape(std::string& out, uint32_t c) {
  static constexpr char kHex[] = "0123456789abcdef";
  char digits[8];
  int n = 0;
  do {
    digits[n++] = kHex[c & 15];
    c >>= 4;
  } while (c != 0);
  out += "\\u{";
  while (n > 0) out += digits[--n];
  out += '}';
}

}  // namespace

std::string_view iri_local_name(std::string_view iri) {
  size_t cut = iri.rfind('#');
  if (cut == std::string_view::npos) cut = iri.rfind('/');
  return cut == std::string_view::npos ? iri : iri.substr(cut + 1);
}

std::optional<RdfFormat> rdf_format_from_keyword(std::string_view k) {
  if (k == "turtle" || k == "ttl") return RdfFormat::Turtle;
  if (k == "ntriples" || k == "nt") return RdfFormat::NTriples;
  if (k == "rdfxml" || k == "xml" || k == "owl") return RdfFormat::RdfXml;
  if (k == "nquads" || k == "nq") return RdfFormat::NQuads;
  if (k == "trig") return RdfFormat::TriG;
  return std::nullopt;
}

std::optional<RdfFormat> rdf_format_from_extension(std::string_view e) {
  if (e == "nt") return RdfFormat::NTriples;
  if (e == "nq") return RdfFormat::NQuads;
  if (e == "ttl") return RdfFormat::Turtle;
  if (e == "rdf" || e == "owl") return RdfFormat::RdfXml;
  if (e == "trig") return RdfFormat::TriG;
  return std::nullopt;
}

std::string unknown_format_message(std::string_view keyword) {
  std::string m = "Unknown RDF format: '";
  m.append(keyword);
  m += "'. Supported: turtle, ttl, ntriples, nt, rdfxml, xml, owl, nquads, nq, trig";
  return m;
}

std::optional<std::string_view> path_extension(std::string_view path) {
  // The last component that is neither empty nor ".".
  std::string_view name;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string_view::npos) slash = path.size();
    std::string_view part = path.substr(pos, slash - pos);
    if (!part.empty() && part != ".") name = part;
    pos = slash + 1;
  }
  if (name.empty() || name == "..") return std::nullopt;
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  return name.substr(dot + 1);
}

std::string debug_quoted(std::string_view s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    int len = 0;
    const int32_t cp = decode_utf8(s.data() + i, s.data() + s.size(), &len);
    if (cp < 0) {  // not UTF-8: the byte's value
      append_hex_escape(out, static_cast<unsigned char>(s[i]));
      ++i;
      continue;
    }
    switch (cp) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\0': out += "\\0"; break;
      default:
        if (shown_escaped(static_cast<uint32_t>(cp)))
          append_hex_escape(out, static_cast<uint32_t>(cp));
        else out.append(s.substr(i, static_cast<size_t>(len)));
    }
    i += static_cast<size_t>(len);
  }
  out += '"';
  return out;
}

Result<RdfLoad> load_statements_core(absl::FunctionRef<Status(StatementSink)> parse,
                                     uint64_t triple_cap) {
  return map_statements(parse, triple_cap, Clock::now());
}

Result<RdfLoad> load_rdf_string_core(std::string_view text, RdfFormat format, uint64_t max_bytes,
                                     uint64_t triple_cap) {
  if (text.size() > max_bytes)
    return Err(ErrorKind::Cap, "RDF string is " + std::to_string(text.size()) +
                                   " bytes; refusing to parse above " + std::to_string(max_bytes) +
                                   " bytes (raise QuorGraphSettings.max_bytes if intended).");
  const Clock::time_point start = Clock::now();
  return run_load(format, triple_cap, start, text, nullptr);
}

Result<RdfLoad> load_rdf_file_core(std::string_view path, uint64_t max_bytes, uint64_t triple_cap) {
  const auto extension = path_extension(path);
  const auto format = extension ? rdf_format_from_extension(*extension) : std::nullopt;
  if (!format)
    return Err(ErrorKind::Refused,
               "Unknown RDF file extension for " + debug_quoted(extension.value_or("")) +
                   "; pass an explicit format (turtle/ntriples/rdfxml/nquads/trig) via "
                   "load_rdf_string instead.");

  if (path.find('\0') != std::string_view::npos)
    return Err(ErrorKind::Refused,
               "Failed to stat file: file name contained an unexpected NUL byte");
  const std::string file_name(path);
  struct stat meta;
  if (::stat(file_name.c_str(), &meta) != 0)
    return Err(ErrorKind::Refused, "Failed to stat file: " + os_error_text(errno));
  const auto size = static_cast<uint64_t>(meta.st_size);
  if (size > max_bytes) return Err(ErrorKind::Cap, file_too_large(size, max_bytes));

  const Clock::time_point start = Clock::now();
  const int fd = open_for_reading(file_name);
  if (fd < 0) return Err(ErrorKind::Refused, "Failed to open file: " + os_error_text(errno));
  // The reported size says nothing for FIFOs, devices and growing files:
  // the source counts the bytes as they come.
  return run_load(*format, triple_cap, start, {}, std::make_unique<FileSource>(fd, max_bytes));
}

}  // namespace qg::rdf
