// What bounds a read besides its syntax: every RDF reader polls for
// interruption (graph JSON: algorithms_interrupt_test), a file source
// counts its bytes against the cap as they arrive, and prefix, namespace and
// base expansion is bounded by the document's size. A long term read once
// and reused costs each use what reading the use costs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>

#include "core/common/interrupt.h"
#include "core/rdf/expansion_budget.h"
#include "core/rdf/load.h"
#include "core/rdf/rdf_parse.h"
#include "test_support.h"

namespace {

using qg::rdf::RdfFormat;

std::string repeated(const std::string& head, const std::string& item, const std::string& tail) {
  std::string s = head;
  for (int i = 0; i < 20000; ++i) s += item;
  return s + tail;
}

TEST(ReadingLimits, EveryReaderPolls) {
  const std::string triple = "<http://e/s> <http://e/p> <http://e/o> .\n";
  const std::string xml = repeated(
      "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#' xmlns:e='http://e/'>",
      "<rdf:Description rdf:about='http://e/s'><e:p rdf:resource='http://e/o'/></rdf:Description>",
      "</rdf:RDF>");
  const struct {
    RdfFormat format;
    std::string text;
  } docs[] = {
      {RdfFormat::NTriples, repeated("", triple, "")},
      {RdfFormat::NQuads, repeated("", triple, "")},
      {RdfFormat::Turtle, repeated("", triple, "")},
      {RdfFormat::TriG, repeated("{", triple, "}")},
      {RdfFormat::RdfXml, xml},
  };
  qg::set_interrupt_hook([](bool) noexcept { return true; });
  for (const auto& doc : docs) {
    qg::interrupt_detail::thread_clock = {};
    EXPECT_THROW((void)qg::rdf::parse_rdf_string(doc.text, doc.format,
                                                 [](const auto&) { return true; }),
                 qg::Interrupted)
        << static_cast<int>(doc.format);
  }
  qg::set_interrupt_hook(nullptr);
}

// A pipe holding `n` bytes, read through a FileSource capped at `cap`.
qg::rdf::FileSource piped(size_t n, uint64_t cap) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  const std::string bytes(n, 'x');
  EXPECT_EQ(::write(fds[1], bytes.data(), n), static_cast<ssize_t>(n));
  ::close(fds[1]);
  return qg::rdf::FileSource(fds[0], cap);
}

TEST(ReadingLimits, FileSourceCountsBytesAgainstTheCap) {
  for (uint64_t cap : {uint64_t{999}, uint64_t{1000}, uint64_t{5000}}) {
    qg::rdf::FileSource source = piped(1000, cap);
    char buf[300];
    uint64_t delivered = 0;
    while (size_t got = source.read(buf, sizeof buf)) delivered += got;
    EXPECT_EQ(source.over_cap(), cap < 1000) << cap;
    // The read that crosses the cap delivers nothing of what it got.
    EXPECT_EQ(delivered, cap < 1000 ? 900u : 1000u) << cap;
    EXPECT_EQ(source.bytes_read(), cap < 1000 ? cap + 1 : 1000u) << cap;
    EXPECT_EQ(source.error().empty(), cap >= 1000) << cap;
  }
}

// Each row expands a 64 KiB IRI once per use ("$" stands for the use's
// number): 120 uses stay under the 8 MiB floor, 129 pass it and are refused
// at the use that does, and 200 uses fit in 100 times a document whose
// first 200 KiB are a comment.
TEST(ReadingLimits, ExpansionPastTheBudgetIsRefused) {
  const std::string ns = "http://e/" + std::string(64 << 10, 'a') + "/";
  const std::string rdf = "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'";
  const std::string pad(200 << 10, 'x');
  const struct {
    RdfFormat format;
    std::string head, item, tail;
  } rows[] = {
      {RdfFormat::Turtle, "@prefix b: <" + ns + "> .\n", "b:s$ <a:p> <a:o> .\n", ""},
      {RdfFormat::Turtle, "PREFIX b: <" + ns + ">\n", "<a:s> <a:p> b:o$ .\n", ""},
      {RdfFormat::Turtle, "@base <" + ns + "> .\n", "<s$> <a:p> <a:o> .\n", ""},
      {RdfFormat::Turtle, "BASE <" + ns + ">\n", "<a:s> <a:p> <o$> .\n", ""},
      {RdfFormat::TriG, "@prefix b: <" + ns + "> .\n{\n", "b:s$ <a:p> <a:o> .\n", "}"},
      {RdfFormat::TriG, "PREFIX b: <" + ns + ">\n", "b:g$ { <a:s> <a:p> <a:o> }\n", ""},
      {RdfFormat::TriG, "@base <" + ns + "> .\n{\n", "<s$> <a:p> <a:o> .\n", "}"},
      {RdfFormat::TriG, "BASE <" + ns + ">\n", "<g$> { <a:s> <a:p> <a:o> }\n", ""},
      {RdfFormat::RdfXml, rdf + " xmlns:b='" + ns + "'>\n", "<b:T$ rdf:about='http://e/s'/>\n",
       "</rdf:RDF>"},
      {RdfFormat::RdfXml, rdf + " xmlns:b='" + ns + "'><rdf:Description rdf:about='http://e/s'>\n",
       "<b:p$>x</b:p$>\n", "</rdf:Description></rdf:RDF>"},
      {RdfFormat::RdfXml, rdf + " xml:base='" + ns + "'>\n", "<rdf:Description rdf:about='s$'/>\n",
       "</rdf:RDF>"},
  };
  for (const auto& row : rows) {
    auto doc = [&](int uses, bool padded) {
      std::string text = row.head;
      if (padded) text += row.format == RdfFormat::RdfXml ? "<!--" + pad + "-->" : "#" + pad + "\n";
      for (int i = 0; i < uses; ++i) {
        std::string item = row.item;
        for (size_t at; (at = item.find('$')) != std::string::npos;)
          item.replace(at, 1, std::to_string(i));
        text += item;
      }
      return text + row.tail;
    };
    auto parse = [&](int uses, bool padded) {
      return qg::rdf::parse_rdf_string(doc(uses, padded), row.format,
                                       [](const auto&) { return true; });
    };
    const std::string refused = qg::tests::message(parse(129, false));
    EXPECT_EQ(refused.substr(0, refused.find(" at line ")), qg::rdf::expansion_limit_message())
        << row.head.substr(0, 8) << row.item;
    EXPECT_NE(refused.find(" at line "), std::string::npos) << refused;
    for (auto [uses, padded] : {std::pair{120, false}, std::pair{200, true}})
      EXPECT_TRUE(parse(uses, padded))
          << row.item << uses << qg::tests::message(parse(uses, padded));
  }
}

// A 4 MiB subject or predicate read once and reused by 20,000 statements
// ("$" stands for the use's number): with ',' and ';', around nested blank
// nodes, and by the property elements of an RDF/XML node element. Comparing
// or hashing the term once per use took seconds to minutes here. Each use
// keeps its own subject and predicate: the rows count the distinct ones
// (a predicate's text is stored once per load: counted by its address).
TEST(ReadingLimits, AReusedLongTermIsLoadedOnceForAllItsUses) {
  constexpr uint64_t n = 20000;
  const std::string big = "http://e/" + std::string(4 << 20, 'a');
  const std::string s = "<" + big + ">", q = " <http://e/q> <http://e/o> ]";
  const struct {
    RdfFormat format;
    std::string head, item, tail;
    uint64_t nodes, edges, subjects, predicates;
  } rows[] = {
      {RdfFormat::Turtle, s + " <http://e/p> <http://e/o>", ", <http://e/o$>", ".", n + 2, n + 1, 1,
       1},
      {RdfFormat::Turtle, s + " <http://e/p> <http://e/o>", "; <http://e/p$> <http://e/o>", ".", 2,
       n + 1, 1, n + 1},
      {RdfFormat::Turtle, "<http://e/s> " + s + " <http://e/o>", ", <http://e/o$>", ".", n + 2,
       n + 1, 1, 1},
      {RdfFormat::Turtle, s + " <http://e/p> [" + q, ", [" + q, ".", n + 3, 2 * n + 2, n + 2, 2},
      {RdfFormat::TriG, "{ <http://e/s> " + s + " [" + q, ", [" + q, "}", n + 3, 2 * n + 2, n + 2,
       2},
      {RdfFormat::RdfXml,
       "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#' xmlns:e='http://e/'>"
       "<rdf:Description rdf:about='" +
           big + "'>",
       "<e:p><rdf:Description><e:q rdf:resource='http://e/o'/></rdf:Description></e:p>",
       "</rdf:Description></rdf:RDF>", n + 2, 2 * n, n + 1, 2},
  };
  for (const auto& row : rows) {
    std::string text = row.head;
    for (uint64_t i = 0; i < n; ++i) {
      const size_t at = row.item.find('$');
      text += at == std::string::npos
                  ? row.item
                  : row.item.substr(0, at) + std::to_string(i) + row.item.substr(at + 1);
    }
    text += row.tail;
    auto loaded = qg::rdf::load_rdf_string_core(text, row.format, UINT64_MAX, UINT64_MAX);
    ASSERT_TRUE(loaded) << qg::tests::message(loaded);
    const qg::GraphRecord& g = loaded->graph;
    std::set<qg::NodeIndex> subjects;
    std::set<const char*> predicates;
    bool big_predicate = false;
    for (const qg::EdgeView& e : g.storage().live_edges()) {
      const std::string_view predicate = e.properties.find("predicate")->as_string();
      subjects.insert(e.source);
      predicates.insert(predicate.data());
      big_predicate |= predicate.size() == big.size();
    }
    EXPECT_EQ(g.node_count(), row.nodes) << row.item;
    EXPECT_EQ(g.edge_count(), row.edges) << row.item;
    EXPECT_EQ(subjects.size(), row.subjects) << row.item;
    EXPECT_EQ(predicates.size(), row.predicates) << row.item;
    EXPECT_NE(g.find(big) != qg::END, big_predicate) << row.item;
  }
}

}  // namespace
