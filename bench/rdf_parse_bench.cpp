// Throughput of the N-Triples and Turtle parsers alone (no graph is built),
// on generated documents of about 100 MB each, parsed from memory and from a
// file. `make bench` runs it; QG_BENCH_MB sets the size of each document.
//
//   build/rdf_parse_bench

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/rdf/rdf_parse.h"

namespace {

using qg::rdf::RdfFormat;
using qg::rdf::Statement;

size_t target_bytes() {
  const char* env = std::getenv("QG_BENCH_MB");
  const size_t mb = env != nullptr ? std::strtoull(env, nullptr, 10) : 100;
  return mb * 1000 * 1000;
}

std::string make_ntriples(size_t bytes) {
  std::string out;
  out.reserve(bytes + 512);
  for (size_t i = 0; out.size() < bytes; ++i) {
    const std::string s = "<http://example.org/resource/R" + std::to_string(i) + ">";
    out += s +
           " <http://www.w3.org/1999/02/22-rdf-syntax-ns#type> <http://example.org/ontology/Thing> "
           ".\n";
    out += s + " <http://example.org/ontology/name> \"Resource number " + std::to_string(i) +
           "\"@en .\n";
    out += s + " <http://example.org/ontology/related> <http://example.org/resource/R" +
           std::to_string(i * 7919 % 1000003) + "> .\n";
    out += s + " <http://example.org/ontology/count> \"" + std::to_string(i % 977) +
           "\"^^<http://www.w3.org/2001/XMLSchema#integer> .\n";
    out += s +
           " <http://example.org/ontology/comment> \"A longer description with an escape \\\" and "
           "some more text to make the literal realistic.\" .\n";
  }
  return out;
}

std::string make_turtle(size_t bytes) {
  std::string out =
      "@prefix ex: <http://example.org/resource/> .\n"
      "@prefix o: <http://example.org/ontology/> .\n"
      "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";
  out.reserve(bytes + 512);
  for (size_t i = 0; out.size() < bytes; ++i) {
    out += "ex:R" + std::to_string(i) + " a o:Thing ;\n";
    out += "    o:name \"Resource number " + std::to_string(i) + "\"@en ;\n";
    out += "    o:related ex:R" + std::to_string(i * 7919 % 1000003) + ", ex:R" +
           std::to_string(i + 1) + " ;\n";
    out += "    o:count " + std::to_string(i % 977) + " ;\n";
    out +=
        "    o:comment \"A longer description with an escape \\\" and some more text to make "
        "the literal realistic.\" .\n";
  }
  return out;
}

// Parses `text` from memory, then from a temporary file (one per process, so
// that runs side by side do not share it), and prints both rates.
bool bench(const char* label, const std::string& text, RdfFormat format) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("qg_rdf_bench_" + std::string(label) + "." +
                                      std::to_string(::getpid()));
  std::ofstream(path, std::ios::binary) << text;
  bool ok = true;
  for (int file_mode = 0; file_mode < 2; ++file_mode) {
    uint64_t count = 0;
    auto sink = [&](const Statement&) {
      ++count;
      return true;
    };
    const auto t0 = std::chrono::steady_clock::now();
    const qg::Status st = file_mode ? qg::rdf::parse_rdf_file(path.string(), format, sink)
                                    : qg::rdf::parse_rdf_string(text, format, sink);
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!st) {
      std::fprintf(stderr, "%s: %s\n", label, st.error().message.c_str());
      ok = false;
      break;
    }
    std::printf("[bench] %-9s %-6s %8.1f MB in %6.3f s = %7.1f MB/s, %.2f M statements/s\n", label,
                file_mode ? "file" : "string", text.size() / 1e6, secs, text.size() / 1e6 / secs,
                count / 1e6 / secs);
  }
  std::filesystem::remove(path);
  return ok;
}

}  // namespace

int main() {
  const bool ok = bench("ntriples", make_ntriples(target_bytes()), RdfFormat::NTriples) &&
                  bench("turtle", make_turtle(target_bytes()), RdfFormat::Turtle);
  return ok ? 0 : 1;
}
