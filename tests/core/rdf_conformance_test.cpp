// W3C RDF 1.1 syntax suites and the real-world corpus, run through the
// parsers by both entry points (in-memory text and 8 KiB file reads).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/rdf/rdf_parse.h"
#include "test_support.h"

namespace fs = std::filesystem;
using qg::rdf::ParseOptions;
using qg::rdf::RdfFormat;
using qg::rdf::Statement;
using qg::rdf::Term;
using qg::rdf::TermKind;
using qg::tests::message;

namespace {

const fs::path kData = qg::tests::kSharedData;

// ---------------------------------------------------------------------------
// Quads as strings: "<iri>", "_:label", "\"lex\"^^<dt>@lang" (tag lowercased).

struct Quad {
  std::string s, p, o, g;
  auto operator<=>(const Quad&) const = default;
};

std::string encode(const Term& t) {
  switch (t.kind) {
    case TermKind::None: return "";
    case TermKind::Iri: return "<" + std::string(t.value) + ">";
    case TermKind::BlankNode: return "_:" + std::string(t.value);
    case TermKind::Literal: {
      std::string lang(t.language);
      for (char& c : lang) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return "\"" + std::string(t.value) + "\"^^<" + std::string(t.datatype) + ">@" + lang;
    }
  }
  return "";
}

bool is_blank(const std::string& t) { return t.size() >= 2 && t[0] == '_' && t[1] == ':'; }

struct ParseOutcome {
  qg::Status status;
  std::vector<Quad> quads;
};

// Parses a file through the 8 KiB reader, or its text in memory.
ParseOutcome parse(const fs::path& path, RdfFormat format, const std::string& base, bool via_file) {
  ParseOutcome out;
  ParseOptions options;
  options.base_iri = base;
  auto sink = [&](const Statement& st) {
    out.quads.push_back(
        {encode(st.subject), encode(st.predicate), encode(st.object), encode(st.graph)});
    return true;
  };
  if (via_file) {
    out.status = qg::rdf::parse_rdf_file(path.string(), format, sink, options);
  } else {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    out.status = qg::rdf::parse_rdf_string(text.str(), format, sink, options);
  }
  return out;
}

// ---------------------------------------------------------------------------
// Isomorphism of quad sets: colour refinement of the blank nodes, then a
// backtracking search over nodes of equal colour.

class Isomorphism {
 public:
  Isomorphism(std::vector<Quad> a, std::vector<Quad> b)
      : a_(dedupe(std::move(a))), b_(dedupe(std::move(b))) {}

  bool check(std::string* why) {
    if (a_.size() != b_.size()) {
      *why = "sizes differ: " + std::to_string(a_.size()) + " vs " + std::to_string(b_.size());
      return false;
    }
    std::set<Quad> ground_a, ground_b;
    for (const Quad& q : a_)
      if (!has_blank(q)) ground_a.insert(q);
    for (const Quad& q : b_)
      if (!has_blank(q)) ground_b.insert(q);
    for (const auto& [x, y, what] : {std::tuple(&ground_a, &ground_b, "unexpected "),
                                     std::tuple(&ground_b, &ground_a, "missing ")})
      for (const Quad& q : *x)
        if (!y->contains(q)) {
          *why = what + q.s + " " + q.p + " " + q.o + " " + q.g;
          return false;
        }
    colour(a_, colours_a_, incident_a_);
    colour(b_, colours_b_, incident_b_);
    std::map<uint64_t, int> count_a, count_b;
    for (auto& [n, c] : colours_a_) ++count_a[c];
    for (auto& [n, c] : colours_b_) ++count_b[c];
    if (count_a != count_b) {
      *why = "blank node structure differs";
      return false;
    }
    for (const Quad& q : b_) set_b_.insert(q);
    for (auto& [n, c] : colours_a_) order_.push_back(n);
    std::sort(order_.begin(), order_.end(), [&](const std::string& x, const std::string& y) {
      const int cx = count_a[colours_a_[x]], cy = count_a[colours_a_[y]];
      return cx != cy ? cx < cy : x < y;
    });
    if (!search(0)) {
      *why = "no blank node bijection";
      return false;
    }
    return true;
  }

 private:
  static std::vector<Quad> dedupe(std::vector<Quad> v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
  }
  static bool has_blank(const Quad& q) { return is_blank(q.s) || is_blank(q.o) || is_blank(q.g); }
  using Colours = std::unordered_map<std::string, uint64_t>;
  using Incident = std::unordered_map<std::string, std::vector<size_t>>;

  static uint64_t h(const std::string& s) { return std::hash<std::string>{}(s); }
  static uint64_t mix(uint64_t a, uint64_t b) {
    return a ^ (b + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
  }

  static void colour(const std::vector<Quad>& quads, Colours& c, Incident& inc) {
    for (size_t i = 0; i < quads.size(); ++i) {
      const Quad& q = quads[i];
      for (const std::string* t : {&q.s, &q.o, &q.g})
        if (is_blank(*t)) {
          c[*t] = 1;
          auto& v = inc[*t];
          if (v.empty() || v.back() != i) v.push_back(i);
        }
    }
    for (int round = 0; round < 6; ++round) {
      Colours next;
      for (auto& [node, col] : c) {
        std::vector<uint64_t> sig;
        for (size_t i : inc[node]) {
          const Quad& q = quads[i];
          auto term = [&](const std::string& t) -> uint64_t {
            if (t == node) return 7;
            return is_blank(t) ? mix(11, c[t]) : h(t);
          };
          sig.push_back(mix(mix(mix(term(q.s), h(q.p)), term(q.o)), term(q.g)));
        }
        std::sort(sig.begin(), sig.end());
        uint64_t v = col;
        for (uint64_t s : sig) v = mix(v, s);
        next[node] = v;
      }
      c.swap(next);
    }
  }

  std::string map_term(const std::string& t) const {
    if (!is_blank(t)) return t;
    auto it = mapping_.find(t);
    return it == mapping_.end() ? std::string() : it->second;
  }

  bool consistent(const std::string& node) const {
    for (size_t i : incident_a_.at(node)) {
      const Quad& q = a_[i];
      Quad m{map_term(q.s), q.p, map_term(q.o), map_term(q.g)};
      if ((is_blank(q.s) && m.s.empty()) || (is_blank(q.o) && m.o.empty()) ||
          (is_blank(q.g) && m.g.empty()))
        continue;  // not all of its blank nodes are mapped yet
      if (!set_b_.count(m)) return false;
    }
    return true;
  }

  bool search(size_t k) {
    if (k == order_.size()) return true;
    const std::string& node = order_[k];
    const uint64_t col = colours_a_[node];
    for (auto& [cand, ccol] : colours_b_) {
      if (ccol != col || used_.count(cand)) continue;
      mapping_[node] = cand;
      used_.insert(cand);
      if (consistent(node) && search(k + 1)) return true;
      used_.erase(cand);
      mapping_.erase(node);
    }
    return false;
  }

  std::vector<Quad> a_, b_;
  Colours colours_a_, colours_b_;
  Incident incident_a_, incident_b_;
  std::set<Quad> set_b_;
  std::vector<std::string> order_;
  std::unordered_map<std::string, std::string> mapping_;
  std::unordered_set<std::string> used_;
};

bool isomorphic(std::vector<Quad> a, std::vector<Quad> b, std::string* why) {
  Isomorphism iso(std::move(a), std::move(b));
  return iso.check(why);
}

// ---------------------------------------------------------------------------
// W3C suites

struct W3cTest {
  std::string suite, name, type, action, result, base, approval, id;
};

std::vector<W3cTest> load_index() {
  std::vector<W3cTest> tests;
  std::ifstream in(kData / "w3c-rdf11" / "index.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> cols;
    std::stringstream ss(line);
    std::string col;
    while (std::getline(ss, col, '\t')) cols.push_back(col);
    cols.resize(8);
    tests.push_back({cols[0], cols[1], cols[2], cols[3], cols[4], cols[5], cols[6], cols[7]});
  }
  return tests;
}

RdfFormat format_of_suite(const std::string& suite) {
  if (suite == "rdf-n-triples") return RdfFormat::NTriples;
  if (suite == "rdf-n-quads") return RdfFormat::NQuads;
  if (suite == "rdf-turtle") return RdfFormat::Turtle;
  if (suite == "rdf-trig") return RdfFormat::TriG;
  return RdfFormat::RdfXml;
}

// Runs one test through one entry point; returns "" on success.
std::string run_w3c_test(const W3cTest& t, bool via_file) {
  const fs::path action = kData / "w3c-rdf11" / t.action;
  const RdfFormat format = format_of_suite(t.suite);
  const ParseOutcome got = parse(action, format, t.base, via_file);
  const bool negative = t.type.find("Negative") != std::string::npos;
  if (negative && got.status) return "accepted a negative test";
  if (negative)
    return message(got.status).find(" at line ") == std::string::npos
               ? "no position: " + message(got.status)
               : "";
  if (!got.status) return "rejected: " + message(got.status);
  if (t.type.find("Eval") == std::string::npos) return "";
  const fs::path result = kData / "w3c-rdf11" / t.result;
  const RdfFormat result_format = result.extension() == ".nq" ? RdfFormat::NQuads
                                                              : RdfFormat::NTriples;
  const ParseOutcome expected = parse(result, result_format, "", false);
  if (!expected.status) return "expected result unreadable: " + message(expected.status);
  std::string why;
  if (!isomorphic(got.quads, expected.quads, &why)) return "not isomorphic: " + why;
  return "";
}

// Each test in memory, then through the file reader.
void run_suite(const std::string& suite) {
  QG_REQUIRE_SHARED_FILE(kData / "w3c-rdf11" / "index.tsv");
  int total = 0, passed = 0;
  int proposed_total = 0, proposed_passed = 0;
  for (const W3cTest& t : load_index()) {
    if (t.suite != suite) continue;
    ++total;
    const bool proposed = t.approval == "rdft:Proposed";
    if (proposed) ++proposed_total;
    std::string failure = run_w3c_test(t, false);
    if (failure.empty()) failure = run_w3c_test(t, true);
    if (failure.empty()) {
      ++passed;
      if (proposed) ++proposed_passed;
    } else {
      ADD_FAILURE() << suite << " " << t.id << " (" << t.type << "): " << failure;
    }
  }
  std::printf("[suite] %s: %d/%d passed (%d/%d Proposed)\n", suite.c_str(), passed, total,
              proposed_passed, proposed_total);
  EXPECT_GT(total, 0);
  EXPECT_EQ(passed, total);
}

TEST(RdfW3cSuite, NTriples) { run_suite("rdf-n-triples"); }
TEST(RdfW3cSuite, NQuads) { run_suite("rdf-n-quads"); }
TEST(RdfW3cSuite, Turtle) { run_suite("rdf-turtle"); }
TEST(RdfW3cSuite, TriG) { run_suite("rdf-trig"); }
TEST(RdfW3cSuite, RdfXml) { run_suite("rdf-xml"); }

TEST(RdfIsomorphism, MatchesBlankNodesByStructure) {
  std::vector<Quad> a = {{"_:a", "<p>", "_:b", ""}, {"_:b", "<p>", "<x>", ""}};
  std::vector<Quad> b = {{"_:y", "<p>", "<x>", ""}, {"_:z", "<p>", "_:y", ""}};
  std::vector<Quad> c = {{"_:y", "<p>", "<x>", ""}, {"_:y", "<p>", "_:z", ""}};
  std::string why;
  EXPECT_TRUE(isomorphic(a, b, &why)) << why;
  EXPECT_FALSE(isomorphic(a, c, &why));
}

// ---------------------------------------------------------------------------
// Real-world corpus

struct ManifestRow {
  std::string file, format, status, needs_base;
  uint64_t triples = 0;
};

std::vector<ManifestRow> load_manifest() {
  std::vector<ManifestRow> rows;
  std::ifstream in(kData / "rdf-real" / "MANIFEST.tsv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> cols;
    std::stringstream ss(line);
    std::string col;
    while (std::getline(ss, col, '\t')) cols.push_back(col);
    cols.resize(16);
    ManifestRow r;
    r.file = cols[0];
    r.format = cols[1];
    r.triples = std::stoull(cols[5]);
    r.status = cols[9];
    r.needs_base = cols[11];
    rows.push_back(r);
  }
  return rows;
}

RdfFormat format_of_manifest(const std::string& f) {
  if (f == "N-Quads") return RdfFormat::NQuads;
  if (f == "N-Triples") return RdfFormat::NTriples;
  if (f == "TriG") return RdfFormat::TriG;
  if (f == "Turtle") return RdfFormat::Turtle;
  return RdfFormat::RdfXml;
}

// The base the manifest suggests ("yes: <base>"), with a bundle path made
// absolute for the LV2 files, or "" when the file needs none.
std::string suggested_base(const ManifestRow& r) {
  if (r.needs_base.rfind("yes: ", 0) != 0) return "";
  std::string rest = r.needs_base.substr(5);
  const size_t eg = rest.find("e.g. ");
  if (eg != std::string::npos) rest = rest.substr(eg + 5);
  const size_t sp = rest.find_first_of(" ,");
  if (sp != std::string::npos) rest = rest.substr(0, sp);
  return rest;
}

TEST(RdfRealCorpus, EveryFileParsesWithItsManifestCount) {
  QG_REQUIRE_SHARED_FILE(kData / "rdf-real" / "MANIFEST.tsv");
  int files = 0;
  for (const ManifestRow& r : load_manifest()) {
    ++files;
    const fs::path path = kData / "rdf-real" / r.file;
    const RdfFormat format = format_of_manifest(r.format);
    const std::string base = suggested_base(r);
    uint64_t count = 0;
    ParseOptions options;
    options.base_iri = base;
    const qg::Status st = qg::rdf::parse_rdf_file(
        path.string(), format,
        [&](const Statement&) {
          ++count;
          return true;
        },
        options);
    if (r.status == "ok") {
      EXPECT_TRUE(st.has_value()) << r.file << ": " << message(st);
      EXPECT_EQ(count, r.triples) << r.file;
      if (!base.empty()) {
        // Without the base the relative references are refused.
        const qg::Status no_base = qg::rdf::parse_rdf_file(path.string(), format,
                                                           [](const Statement&) { return true; });
        EXPECT_FALSE(no_base.has_value()) << r.file << " parsed without a base";
      }
    } else {
      EXPECT_FALSE(st.has_value()) << r.file << " should be refused";
      if (!st) std::printf("[refused] %s: %s\n", r.file.c_str(), message(st).c_str());
    }
  }
  EXPECT_EQ(files, 40);
}

std::vector<Quad> triples_of(const fs::path& path, RdfFormat format, bool drop_graph) {
  ParseOutcome out = parse(path, format, "", true);
  EXPECT_TRUE(out.status.has_value()) << path << ": " << message(out.status);
  if (drop_graph)
    for (Quad& q : out.quads) q.g.clear();
  return out.quads;
}

TEST(RdfRealCorpus, EquivalentPairsAreIsomorphic) {
  QG_REQUIRE_SHARED_FILE(kData / "rdf-real" / "MANIFEST.tsv");
  const fs::path d = kData / "rdf-real";
  struct Pair {
    const char* a;
    RdfFormat fa;
    const char* b;
    RdfFormat fb;
  };
  const Pair pairs[] = {
      {"turtle/schemaorg-30.0-current-https.ttl", RdfFormat::Turtle,
       "rdfxml/schemaorg-30.0-current-https.rdf", RdfFormat::RdfXml},
      {"ntriples/schemaorg-30.0-all-https.nt", RdfFormat::NTriples,
       "nquads/schemaorg-30.0-all-https.nq", RdfFormat::NQuads},
      {"turtle/dbpedia-ontology-snapshot.ttl", RdfFormat::Turtle,
       "rdfxml/dbpedia-ontology-snapshot.owl", RdfFormat::RdfXml},
      {"turtle/w3c-dcat3.ttl", RdfFormat::Turtle, "rdfxml/w3c-dcat3.rdf", RdfFormat::RdfXml},
      {"turtle/w3c-dcat3-example-csiro-dap.ttl", RdfFormat::Turtle,
       "rdfxml/w3c-dcat3-example-csiro-dap.rdf", RdfFormat::RdfXml},
  };
  for (const Pair& p : pairs) {
    std::string why;
    EXPECT_TRUE(isomorphic(triples_of(d / p.a, p.fa, true), triples_of(d / p.b, p.fb, true), &why))
        << p.a << " vs " << p.b << ": " << why;
  }
}

}  // namespace
