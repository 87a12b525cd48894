#include "core/graph/graph_json.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cmath>
#include <limits>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

#include "absl/container/flat_hash_map.h"
#include "absl/container/flat_hash_set.h"
#include "core/common/interrupt.h"
#include "core/graph/utf8.h"

namespace qg {

// ---------------------------------------------------------------- writing

void write_graph_json(JsonBuf& out, const GraphRecord& g) {
  const GraphStorage& st = g.inner;
  out.lit("{\"directed\":");
  out.put_bool(g.directed);
  out.lit(",\"multi\":");
  out.put_bool(g.multi);
  out.lit(",\"name\":");
  out.put_string(g.name);
  out.lit(",\"nodes\":[");
  // Each node's id is also rendered once into a compact side table, so that
  // the edge loop copies it from there instead of chasing the node slot and
  // the id's text at random for every endpoint.
  constexpr uint64_t kNoRef = ~uint64_t{0};
  const bool table = st.edge_count > 0;
  std::vector<uint64_t> ref;  // offset << 24 | length, or kNoRef
  JsonBuf ids;
  if (table) ref.assign(st.nodes.size(), kNoRef);
  bool first = true;
  for (size_t i = 0; i < st.nodes.size(); ++i) {
    const NodeSlot& slot = st.nodes[i];
    if (!slot.live()) continue;
    if (!first) out.put(',');
    first = false;
    out.lit("{\"id\":");
    size_t at = out.size();
    out.put_string(slot.data.id.view());
    if (table) {
      size_t len = out.size() - at;
      if (len < (size_t{1} << 24) && ids.size() < (uint64_t{1} << 40)) {
        ref[i] = (uint64_t{ids.size()} << 24) | len;
        ids.put(std::string_view(out.data() + at, len));
      }
    }
    out.lit(",\"properties\":");
    out.put_properties(slot.data.properties);
    out.put('}');
  }
  out.lit("],\"edges\":[");
  auto put_id = [&](NodeIndex n) {
    uint64_t r = ref[n];
    if (r == kNoRef) {
      out.put_string(st.id(n));
    } else {
      size_t len = r & 0xFFFFFF;
      std::memcpy(out.room(len), ids.data() + (r >> 24), len);
      out.commit(len);
    }
  };
  constexpr size_t kAhead = 16;
  first = true;
  const size_t m = st.edges.size();
  for (size_t i = 0; i < m; ++i) {
    if (i + kAhead < m) {
      const EdgeSlot& ahead = st.edges[i + kAhead];
      if (ahead.live()) {
        __builtin_prefetch(&ref[ahead.node[0]]);
        __builtin_prefetch(&ref[ahead.node[1]]);
      }
    }
    const EdgeSlot& slot = st.edges[i];
    if (!slot.live()) continue;
    if (!first) out.put(',');
    first = false;
    out.lit("{\"source\":");
    put_id(slot.node[0]);
    out.lit(",\"target\":");
    put_id(slot.node[1]);
    out.lit(",\"properties\":");
    out.put_properties(slot.data.properties);
    out.put('}');
  }
  out.lit("]}");
}

size_t graph_json_size_hint(const GraphRecord& g) {
  return 64 + size_t{g.inner.node_count} * 40 + size_t{g.inner.edge_count} * 64;
}

Result<std::string> graph_to_json(const GraphRecord& g) {
  JsonBuf out(graph_json_size_hint(g));
  write_graph_json(out, g);
  return out.take();
}

// ---------------------------------------------------------------- reading

namespace {

constexpr int kDepthBudget = kJsonNesting + 1;  // levels 1..kJsonNesting allowed

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

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// How a string looks inside an "invalid type" message: in double quotes,
// with quotes, backslashes and control characters escaped.
std::string debug_quoted(std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          out += "\\u{";
          if (c >= 16) out += kHex[c >> 4];
          out += kHex[c & 15];
          out += '}';
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

// A double as the value found in an "invalid type" message: plain decimal,
// shortest digits, with ".0" when there is no fractional part.
std::string float_description(double d) {
  char buf[400];
  char* end = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed).ptr;
  std::string s(buf, end);
  if (s.find('.') == std::string::npos) s += ".0";
  return s;
}

struct PendingEdge {
  Str source;
  Str target;
  PropertyMap properties;
};

class GraphJsonReader {
 public:
  GraphJsonReader(std::string_view text, uint64_t max_nodes, uint64_t max_edges)
      : s_(text.data()), n_(text.size()), max_nodes_(max_nodes), max_edges_(max_edges) {}

  Result<GraphRecord> run();

 private:
  // ---- errors ----
  bool fail_at(size_t index, std::string message) {
    if (!failed_) {
      failed_ = true;
      msg_ = std::move(message);
      err_index_ = std::min(index, n_);
    }
    return false;
  }
  bool fail_here(std::string message) { return fail_at(i_, std::move(message)); }
  bool fail_peek(std::string message) { return fail_at(i_ + 1, std::move(message)); }
  std::string positioned_message() const;

  // ---- lexing ----
  int peek_ws() {
    while (i_ < n_) {
      char c = s_[i_];
      if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
        ++i_;
        continue;
      }
      return static_cast<unsigned char>(c);
    }
    return -1;
  }
  bool enter() {
    if (--depth_ == 0) return fail_peek("recursion limit exceeded");
    ++i_;
    return true;
  }
  void leave() {
    ++i_;
    ++depth_;
  }
  bool ident(std::string_view rest) {
    for (char expected : rest) {
      if (i_ >= n_) return fail_here("EOF while parsing a value");
      if (s_[i_++] != expected) return fail_here("expected ident");
    }
    return true;
  }
  bool parse_str(std::string& scratch, std::string_view& out);
  bool parse_escape(std::string& scratch);
  bool hex4(uint32_t& out);
  bool parse_number(PropertyValue& out);
  // 1: a key was read into `key`; 0: the object ends here; false on error (-1).
  int next_key(bool& first, std::string& scratch, std::string_view& key);
  bool colon();
  int next_elem(bool& first);
  bool end_struct_seq();
  bool invalid_type(std::string_view expected);
  bool invalid_length(size_t index, std::string_view expected);
  bool unknown_field(std::string_view key, std::string_view expected) {
    peek_ws();
    return fail_here("unknown field `" + std::string(key) + "`, expected " + std::string(expected));
  }
  bool duplicate_field(std::string_view key) {
    peek_ws();
    return fail_here("duplicate field `" + std::string(key) + "`");
  }
  bool missing_field(const char* key) { return fail_here(std::string("missing field `") + key + "`"); }

  // ---- values ----
  bool parse_value(PropertyValue& out);
  bool parse_bool_field(bool& out);
  bool parse_string_field(std::string& scratch, std::string_view& out);
  bool parse_properties(PropertyMap& out);

  // ---- records ----
  bool parse_graph();
  bool graph_field(int field);
  bool parse_nodes();
  bool parse_node();
  bool parse_edges();
  bool parse_edge();
  // A node or edge record, in object form (every field once, by name) or in
  // array form (the fields in order); field(f) reads the value of field f.
  template <size_t N, class Field>
  bool parse_record(const char* const (&names)[N], std::string_view expected_names,
                    std::string_view struct_name, Field&& field);

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
  bool in_text(std::string_view v) const { return v.data() >= s_ && v.data() + v.size() <= s_ + n_; }
  void set_build_error(std::string message) {
    if (!build_failed_) {
      build_failed_ = true;
      build_err_ = std::move(message);
    }
  }

  const char* s_;
  size_t n_;
  size_t i_ = 0;
  int depth_ = kDepthBudget;
  bool failed_ = false;
  std::string msg_;
  size_t err_index_ = 0;

  uint64_t max_nodes_, max_edges_;
  GraphRecord g_;
  bool seen_[5] = {};
  bool directed_ = true;
  bool multi_ = false;
  uint64_t nodes_seen_ = 0;
  uint64_t edges_seen_ = 0;
  bool edges_direct_ = false;    // edges go straight into g_
  bool build_failed_ = false;    // first insertion error, reported after the caps
  bool build_stopped_ = false;   // a cap is already exceeded: parse only
  std::string build_err_;
  std::vector<PendingEdge> pending_;
  std::vector<EdgeItem> batch_;
  std::vector<std::pair<NodeIndex, NodeIndex>> ends_;
  absl::flat_hash_set<uint64_t> pairs_;  // simple graphs: endpoint pairs taken

  std::string scratch_;  // strings that are copied before the next one is read
  std::string id_scratch_, source_scratch_, target_scratch_;
  std::vector<PropertyMap::Entry> entries_;
  Str last_key_ = Str::make("");
  Poller poll_;  // once per node, edge, property, and item of a value
};

std::string GraphJsonReader::positioned_message() const {
  size_t line_start = 0;
  size_t line = 1;
  for (size_t k = 0; k < err_index_; ++k) {
    if (s_[k] == '\n') {
      ++line;
      line_start = k + 1;
    }
  }
  return msg_ + " at line " + std::to_string(line) + " column " +
         std::to_string(err_index_ - line_start);
}

// ---- lexing ----

bool GraphJsonReader::hex4(uint32_t& out) {
  if (n_ - i_ < 4) {
    i_ = n_;
    return fail_here("EOF while parsing a string");
  }
  uint32_t v = 0;
  bool ok = true;
  for (int k = 0; k < 4; ++k) {
    char c = s_[i_ + k];
    uint32_t d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else {
      ok = false;
      d = 0;
    }
    v = v * 16 + d;
  }
  i_ += 4;
  if (!ok) return fail_here("invalid escape");
  out = v;
  return true;
}

bool GraphJsonReader::parse_escape(std::string& scratch) {
  // s_[i_] is the character after the backslash.
  if (i_ >= n_) return fail_here("EOF while parsing a string");
  char c = s_[i_++];
  switch (c) {
    case '"': scratch += '"'; return true;
    case '\\': scratch += '\\'; return true;
    case '/': scratch += '/'; return true;
    case 'b': scratch += '\b'; return true;
    case 'f': scratch += '\f'; return true;
    case 'n': scratch += '\n'; return true;
    case 'r': scratch += '\r'; return true;
    case 't': scratch += '\t'; return true;
    case 'u': break;
    default: return fail_here("invalid escape");
  }
  uint32_t cp;
  if (!hex4(cp)) return false;
  if (cp >= 0xDC00 && cp <= 0xDFFF) return fail_here("lone leading surrogate in hex escape");
  if (cp >= 0xD800 && cp <= 0xDBFF) {
    if (i_ >= n_) return fail_here("EOF while parsing a string");
    if (s_[i_++] != '\\') return fail_here("unexpected end of hex escape");
    if (i_ >= n_) return fail_here("EOF while parsing a string");
    if (s_[i_++] != 'u') return fail_here("unexpected end of hex escape");
    uint32_t low;
    if (!hex4(low)) return false;
    if (low < 0xDC00 || low > 0xDFFF) return fail_here("lone leading surrogate in hex escape");
    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
  }
  char buf[4];
  size_t len;
  if (cp < 0x80) {
    buf[0] = static_cast<char>(cp);
    len = 1;
  } else if (cp < 0x800) {
    buf[0] = static_cast<char>(0xC0 | (cp >> 6));
    buf[1] = static_cast<char>(0x80 | (cp & 0x3F));
    len = 2;
  } else if (cp < 0x10000) {
    buf[0] = static_cast<char>(0xE0 | (cp >> 12));
    buf[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    buf[2] = static_cast<char>(0x80 | (cp & 0x3F));
    len = 3;
  } else {
    buf[0] = static_cast<char>(0xF0 | (cp >> 18));
    buf[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    buf[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    buf[3] = static_cast<char>(0x80 | (cp & 0x3F));
    len = 4;
  }
  scratch.append(buf, len);
  return true;
}

// At the opening quote. `out` views the input when the string has no
// escapes, else `scratch`.
bool GraphJsonReader::parse_str(std::string& scratch, std::string_view& out) {
  ++i_;
  const size_t start = i_;
  bool high = false;
  while (i_ < n_) {
    unsigned char c = static_cast<unsigned char>(s_[i_]);
    if (c == '"') {
      out = std::string_view(s_ + start, i_ - start);
      ++i_;
      if (high && !check_utf8(out).ok) return fail_here("invalid unicode code point");
      return true;
    }
    if (c == '\\') break;
    if (c < 0x20) {
      ++i_;
      return fail_here("control character (\\u0000-\\u001F) found while parsing a string");
    }
    high |= c >= 0x80;
    ++i_;
  }
  if (i_ >= n_) return fail_here("EOF while parsing a string");
  scratch.assign(s_ + start, i_ - start);
  while (true) {
    if (i_ >= n_) return fail_here("EOF while parsing a string");
    unsigned char c = static_cast<unsigned char>(s_[i_]);
    if (c == '"') {
      ++i_;
      out = scratch;
      if (high && !check_utf8(out).ok) return fail_here("invalid unicode code point");
      return true;
    }
    if (c == '\\') {
      ++i_;
      if (!parse_escape(scratch)) return false;
      continue;
    }
    if (c < 0x20) {
      ++i_;
      return fail_here("control character (\\u0000-\\u001F) found while parsing a string");
    }
    const size_t run = i_;
    while (i_ < n_) {
      unsigned char d = static_cast<unsigned char>(s_[i_]);
      if (d == '"' || d == '\\' || d < 0x20) break;
      high |= d >= 0x80;
      ++i_;
    }
    scratch.append(s_ + run, i_ - run);
  }
}

// At '-' or a digit. Integers keep their kind (unsigned, or signed when
// negative); a fraction, an exponent or an integer beyond 64 bits gives a
// double. "-0" is the double -0.0.
bool GraphJsonReader::parse_number(PropertyValue& out) {
  const size_t start = i_;
  const bool negative = s_[i_] == '-';
  if (negative) ++i_;
  if (i_ >= n_) return fail_here("EOF while parsing a value");
  char c = s_[i_++];
  uint64_t mant = 0;
  bool overflow = false;
  size_t int_digits = 0;  // significant integer digits (no leading zero)
  if (c == '0') {
    if (i_ < n_ && is_digit(s_[i_])) return fail_peek("invalid number");
  } else if (c >= '1' && c <= '9') {
    mant = static_cast<uint64_t>(c - '0');
    int_digits = 1;
    while (i_ < n_ && is_digit(s_[i_])) {
      uint64_t d = static_cast<uint64_t>(s_[i_] - '0');
      if (!overflow) {
        if (mant > (UINT64_MAX - d) / 10) overflow = true;
        else mant = mant * 10 + d;
      }
      ++int_digits;
      ++i_;
    }
  } else {
    return fail_here("invalid number");
  }
  bool is_float = overflow;
  long leading_frac_zeros = 0;  // zeros after the point before the first other digit
  bool frac_nonzero = false;
  if (i_ < n_ && s_[i_] == '.') {
    ++i_;
    size_t digits = 0;
    while (i_ < n_ && is_digit(s_[i_])) {
      if (!frac_nonzero) {
        if (s_[i_] == '0') ++leading_frac_zeros;
        else frac_nonzero = true;
      }
      ++digits;
      ++i_;
    }
    if (digits == 0) {
      if (i_ < n_) return fail_peek("invalid number");
      return fail_peek("EOF while parsing a value");
    }
    is_float = true;
  }
  long exp10 = 0;
  if (i_ < n_ && (s_[i_] == 'e' || s_[i_] == 'E')) {
    ++i_;
    bool exp_neg = false;
    if (i_ < n_ && (s_[i_] == '+' || s_[i_] == '-')) exp_neg = s_[i_++] == '-';
    if (i_ >= n_) return fail_here("EOF while parsing a value");
    if (!is_digit(s_[i_++])) return fail_here("invalid number");
    exp10 = s_[i_ - 1] - '0';
    while (i_ < n_ && is_digit(s_[i_])) {
      if (exp10 < 1000000000) exp10 = exp10 * 10 + (s_[i_] - '0');
      ++i_;
    }
    if (exp_neg) exp10 = -exp10;
    is_float = true;
  }
  if (!is_float) {
    if (!negative) {
      out = PropertyValue::pos_int(mant);
    } else if (mant == 0) {
      out = PropertyValue::number(-0.0);
    } else if (mant <= (uint64_t{1} << 63)) {
      out = PropertyValue::neg_int(static_cast<int64_t>(0 - mant));
    } else {
      out = PropertyValue::number(-static_cast<double>(mant));
    }
    return true;
  }
  double d = 0;
  auto r = std::from_chars(s_ + start, s_ + i_, d);
  if (r.ec == std::errc::result_out_of_range) {
    // Too small rounds to zero; too large is refused.
    long magnitude = int_digits > 0 ? static_cast<long>(int_digits) - 1
                     : frac_nonzero ? -leading_frac_zeros - 1
                                    : std::numeric_limits<long>::min() / 4;
    if (magnitude + exp10 < 0) {
      d = negative ? -0.0 : 0.0;
    } else {
      return fail_here("number out of range");
    }
  } else if (r.ec != std::errc() || !std::isfinite(d)) {
    return fail_here("number out of range");
  }
  out = PropertyValue::number(d);
  return true;
}

int GraphJsonReader::next_key(bool& first, std::string& scratch, std::string_view& key) {
  int c = peek_ws();
  if (c == '}') return 0;
  if (c == ',' && !first) {
    ++i_;
    c = peek_ws();
    if (c == '"') return parse_str(scratch, key) ? 1 : -1;
    if (c == '}') return fail_peek("trailing comma"), -1;
    if (c < 0) return fail_peek("EOF while parsing a value"), -1;
    return fail_peek("key must be a string"), -1;
  }
  if (c < 0) return fail_peek("EOF while parsing an object"), -1;
  if (!first) return fail_peek("expected `,` or `}`"), -1;
  first = false;
  if (c == '"') return parse_str(scratch, key) ? 1 : -1;
  return fail_peek("key must be a string"), -1;
}

bool GraphJsonReader::colon() {
  int c = peek_ws();
  if (c == ':') {
    ++i_;
    return true;
  }
  if (c < 0) return fail_peek("EOF while parsing an object");
  return fail_peek("expected `:`");
}

int GraphJsonReader::next_elem(bool& first) {
  int c = peek_ws();
  if (c == ']') return 0;
  if (c == ',' && !first) {
    ++i_;
    c = peek_ws();
    if (c == ']') return fail_peek("trailing comma"), -1;
    if (c < 0) return fail_peek("EOF while parsing a value"), -1;
    return 1;
  }
  if (c < 0) return fail_peek("EOF while parsing a list"), -1;
  if (!first) return fail_peek("expected `,` or `]`"), -1;
  first = false;
  return 1;
}

// After the last field of a record written as an array.
bool GraphJsonReader::end_struct_seq() {
  int c = peek_ws();
  if (c == ']') {
    leave();
    return true;
  }
  if (c == ',') {
    ++i_;
    if (peek_ws() == ']') return fail_peek("trailing comma");
    return fail_peek("trailing characters");
  }
  if (c < 0) return fail_peek("EOF while parsing a list");
  return fail_peek("trailing characters");
}

bool GraphJsonReader::invalid_length(size_t index, std::string_view expected) {
  if (peek_ws() == ']') ++i_;
  return fail_here("invalid length " + std::to_string(index) + ", expected " +
                   std::string(expected));
}

// The value at the cursor is of the wrong JSON type: read a scalar to name
// it; a container is named without being read.
bool GraphJsonReader::invalid_type(std::string_view expected) {
  int c = peek_ws();
  std::string found;
  switch (c) {
    case -1: return fail_peek("EOF while parsing a value");
    case 'n':
      ++i_;
      if (!ident("ull")) return false;
      found = "null";
      break;
    case 't':
      ++i_;
      if (!ident("rue")) return false;
      found = "boolean `true`";
      break;
    case 'f':
      ++i_;
      if (!ident("alse")) return false;
      found = "boolean `false`";
      break;
    case '"': {
      std::string_view sv;
      if (!parse_str(scratch_, sv)) return false;
      found = "string " + debug_quoted(sv);
      break;
    }
    case '[': found = "sequence"; break;
    case '{': found = "map"; break;
    default: {
      if (c != '-' && !is_digit(c)) return fail_peek("expected value");
      PropertyValue v;
      if (!parse_number(v)) return false;
      switch (v.kind()) {
        case ValueKind::PosInt: found = "integer `" + std::to_string(v.as_pos_int()) + "`"; break;
        case ValueKind::NegInt: found = "integer `" + std::to_string(v.as_neg_int()) + "`"; break;
        default: found = "floating point `" + float_description(v.as_float()) + "`"; break;
      }
    }
  }
  return fail_here("invalid type: " + found + ", expected " + std::string(expected));
}

// ---- values ----

bool GraphJsonReader::parse_value(PropertyValue& out) {
  int c = peek_ws();
  switch (c) {
    case -1: return fail_peek("EOF while parsing a value");
    case 'n':
      ++i_;
      if (!ident("ull")) return false;
      out = PropertyValue::null();
      return true;
    case 't':
      ++i_;
      if (!ident("rue")) return false;
      out = PropertyValue::boolean(true);
      return true;
    case 'f':
      ++i_;
      if (!ident("alse")) return false;
      out = PropertyValue::boolean(false);
      return true;
    case '"': {
      std::string_view sv;
      if (!parse_str(scratch_, sv)) return false;
      out = PropertyValue::string(sv);
      return true;
    }
    case '[': {
      if (!enter()) return false;
      std::vector<PropertyValue> items;
      bool first = true;
      while (true) {
        int r = next_elem(first);
        if (r < 0) return false;
        if (r == 0) break;
        poll_();
        PropertyValue item;
        if (!parse_value(item)) return false;
        items.push_back(std::move(item));
      }
      leave();
      out = PropertyValue::array(std::move(items));
      return true;
    }
    case '{': {
      if (!enter()) return false;
      std::vector<ObjectEntry> entries;
      bool first = true;
      while (true) {
        std::string_view key;
        int r = next_key(first, scratch_, key);
        if (r < 0) return false;
        if (r == 0) break;
        poll_();
        Str k = Str::make(key);
        if (!colon()) return false;
        PropertyValue item;
        if (!parse_value(item)) return false;
        entries.emplace_back(std::move(k), std::move(item));
      }
      leave();
      out = PropertyValue::object(std::move(entries));
      return true;
    }
    default:
      if (c == '-' || is_digit(c)) return parse_number(out);
      return fail_peek("expected value");
  }
}

bool GraphJsonReader::parse_bool_field(bool& out) {
  int c = peek_ws();
  if (c == 't') {
    ++i_;
    out = true;
    return ident("rue");
  }
  if (c == 'f') {
    ++i_;
    out = false;
    return ident("alse");
  }
  return invalid_type("a boolean");
}

bool GraphJsonReader::parse_string_field(std::string& scratch, std::string_view& out) {
  if (peek_ws() == '"') return parse_str(scratch, out);
  return invalid_type("a string");
}

// A properties object. Names repeat in every record, so they are interned
// into the record's key table; a repeated name keeps its last value.
bool GraphJsonReader::parse_properties(PropertyMap& out) {
  if (peek_ws() != '{') return invalid_type("a map");
  if (!enter()) return false;
  entries_.clear();
  bool first = true;
  while (true) {
    std::string_view key;
    int r = next_key(first, scratch_, key);
    if (r < 0) return false;
    if (r == 0) break;
    poll_();
    // Records mostly repeat the previous record's names: reuse that Str
    // without a table lookup.
    if (last_key_.view() != key) last_key_ = g_.keys.get(key);
    Str k = last_key_;
    if (!colon()) return false;
    PropertyValue value;
    if (!parse_value(value)) return false;
    entries_.emplace_back(std::move(k), std::move(value));
  }
  leave();
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
        if (entries_[b].first && entries_[a].first.view().data() == entries_[b].first.view().data()) {
          entries_[b].second = std::move(entries_[a].second);
          entries_[a].first = Str();
          --unique;
          break;
        }
      }
    }
  } else {
    absl::flat_hash_map<const char*, size_t> at;
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
      g_.directed = directed_;
      return true;
    case 1:
      if (!parse_bool_field(multi_)) return false;
      g_.multi = multi_;
      return true;
    case 2: {
      std::string_view name;
      if (!parse_string_field(scratch_, name)) return false;
      g_.name.assign(name);
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
  int c = peek_ws();
  if (c == '{') {
    if (!enter()) return false;
    bool first = true;
    while (true) {
      std::string_view key;
      int r = next_key(first, scratch_, key);
      if (r < 0) return false;
      if (r == 0) break;
      int f = field_index(kGraphFields, key);
      if (f < 0) return unknown_field(key, kGraphExpected);
      if (seen_[f]) return duplicate_field(key);
      seen_[f] = true;
      if (!colon() || !graph_field(f)) return false;
    }
    leave();
    for (int f : {0, 2, 3, 4})
      if (!seen_[f]) return missing_field(kGraphFields[f]);
    return true;
  }
  if (c == '[') {
    if (!enter()) return false;
    constexpr std::string_view kExpected = "struct GraphJson with 5 elements";
    bool first = true;
    for (int f = 0; f < 5; ++f) {
      int r = next_elem(first);
      if (r < 0) return false;
      if (r == 0) {
        if (f == 1) {
          seen_[1] = true;  // absent multi reads as false
          continue;
        }
        return invalid_length(static_cast<size_t>(f), kExpected);
      }
      seen_[f] = true;
      if (!graph_field(f)) return false;
    }
    return end_struct_seq();
  }
  if (c < 0) return fail_peek("EOF while parsing a value");
  return invalid_type("struct GraphJson");
}

bool GraphJsonReader::parse_nodes() {
  if (peek_ws() != '[') return invalid_type("a sequence");
  if (!enter()) return false;
  bool first = true;
  while (true) {
    int r = next_elem(first);
    if (r < 0) return false;
    if (r == 0) break;
    poll_();
    if (!parse_node()) return false;
  }
  leave();
  return true;
}

template <size_t N, class Field>
bool GraphJsonReader::parse_record(const char* const (&names)[N], std::string_view expected_names,
                                   std::string_view struct_name, Field&& field) {
  int c = peek_ws();
  if (c == '{') {
    if (!enter()) return false;
    bool seen[N] = {};
    bool first = true;
    while (true) {
      std::string_view key;
      int r = next_key(first, scratch_, key);
      if (r < 0) return false;
      if (r == 0) break;
      int f = field_index(names, key);
      if (f < 0) return unknown_field(key, expected_names);
      if (seen[f]) return duplicate_field(key);
      seen[f] = true;
      if (!colon() || !field(f)) return false;
    }
    leave();
    for (size_t f = 0; f < N; ++f)
      if (!seen[f]) return missing_field(names[f]);
    return true;
  }
  if (c == '[') {
    if (!enter()) return false;
    bool first = true;
    for (size_t f = 0; f < N; ++f) {
      int r = next_elem(first);
      if (r < 0) return false;
      if (r == 0)
        return invalid_length(f, "struct " + std::string(struct_name) + " with " +
                                     std::to_string(N) + " elements");
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
  if (!parse_record(kNodeFields, kNodeExpected, "NodeJson", field)) return false;
  on_node(id, std::move(props));
  return true;
}

bool GraphJsonReader::parse_edges() {
  if (peek_ws() != '[') return invalid_type("a sequence");
  if (!enter()) return false;
  // An edge record in object form takes at least 42 bytes: size the slot
  // array once from what is left of the text (array forms may still grow it).
  if (edges_direct_)
    g_.inner.edges.reserve(std::min<uint64_t>(max_edges_, (n_ - i_) / 42 + 1));
  bool first = true;
  while (true) {
    int r = next_elem(first);
    if (r < 0) return false;
    if (r == 0) break;
    poll_();
    if (!parse_edge()) return false;
  }
  leave();
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
  if (!parse_record(kEdgeFields, kEdgeExpected, "EdgeJson", field)) return false;
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
  auto st = add_node_core(g_, Str::make(id), std::move(properties));
  if (!st) set_build_error(std::move(st.error()));
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
// quadratic). Property names are already interned into g_.keys.
void GraphJsonReader::insert_edges(std::span<EdgeItem> items) {
  if (build_failed_) return;
  const NodeIndexMap& index = g_.node_index;
  for (const EdgeItem& e : items) {
    index.prefetch(e.source);
    index.prefetch(e.target);
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
      missing = "Source node '" + std::string(items[i].source) + "' not found";
      break;
    }
    NodeIndex t = find_node(g_, items[i].target);
    if (t == END) {
      good = i;
      missing = "Target node '" + std::string(items[i].target) + "' not found";
      break;
    }
    ends_.emplace_back(s, t);
  }
  auto pair_key = [&](size_t i) {
    auto [a, b] = ends_[i];
    if (!g_.directed && a > b) std::swap(a, b);
    return (uint64_t{a} << 32) | b;
  };
  if (!g_.multi)
    for (size_t i = 0; i < good; ++i) pairs_.prefetch(pair_key(i));
  for (size_t i = 0; i < good; ++i) {
    if (!g_.multi && !pairs_.insert(pair_key(i)).second) {
      set_build_error("Edge '" + std::string(items[i].source) + "' -> '" +
                      std::string(items[i].target) + "' already exists");
      return;
    }
    // Adjacency lists are filled in one pass once every edge is read.
    g_.inner.append_edge_unlinked(ends_[i].first, ends_[i].second,
                                  EdgeData{std::move(items[i].properties)});
  }
  if (good < items.size()) set_build_error(std::move(missing));
}

Result<GraphRecord> GraphJsonReader::run() {
  bool ok = parse_graph();
  if (ok && peek_ws() >= 0) ok = fail_peek("trailing characters");
  if (!ok) return Err(positioned_message());
  if (nodes_seen_ > max_nodes_)
    return Err("Graph JSON declares " + std::to_string(nodes_seen_) +
               " nodes; refusing above max_nodes=" + std::to_string(max_nodes_) +
               " (raise QuorGraphSettings.max_nodes if intended).");
  if (edges_seen_ > max_edges_)
    return Err("Graph JSON declares " + std::to_string(edges_seen_) +
               " edges; refusing above max_edges=" + std::to_string(max_edges_) +
               " (raise QuorGraphSettings.max_edges if intended).");
  if (build_failed_) return Err(std::move(build_err_));
  g_.directed = directed_;
  g_.multi = multi_;
  for (size_t at = 0; at < pending_.size() && !build_failed_; at += kBatch) {
    batch_.clear();
    for (size_t i = at; i < std::min(at + kBatch, pending_.size()); ++i)
      batch_.push_back(EdgeItem{pending_[i].source.view(), pending_[i].target.view(),
                                std::move(pending_[i].properties)});
    flush_batch();
  }
  if (build_failed_) return Err(std::move(build_err_));
  pending_.clear();
  g_.inner.link_appended(0);
  return std::move(g_);
}

}  // namespace

Result<GraphRecord> graph_from_json_checked(std::string_view text, uint64_t max_bytes,
                                            uint64_t max_nodes, uint64_t max_edges) {
  if (text.size() > max_bytes)
    return Err("Graph JSON is " + std::to_string(text.size()) +
               " bytes; refusing to parse above " + std::to_string(max_bytes) +
               " bytes (raise QuorGraphSettings.max_bytes if intended).");
  GraphJsonReader reader(text, max_nodes, max_edges);
  return reader.run();
}

}  // namespace qg
