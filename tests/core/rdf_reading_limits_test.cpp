// What bounds a read besides its syntax: every RDF reader polls for
// interruption (graph JSON: algorithms_interrupt_test), and a file source
// counts its bytes against the cap as they arrive.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "core/common/interrupt.h"
#include "core/rdf/rdf_parse.h"

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

}  // namespace
