// Labels for blank nodes that a document leaves unlabelled ([] , [ ... ],
// collection nodes, RDF/XML nodes without rdf:nodeID).
//
// Contract: every label is a valid Turtle/N-Triples blank-node label of the
// form "q" + 16 hex digits + "_" + counter. The 64-bit part is drawn from
// the system's random source once per generator (one generator per parse),
// so labels differ between loads and a document label matches one only by
// guessing that value.
#pragma once

#include <cstdint>
#include <string>

namespace qg::rdf {

class BlankIdGenerator {
 public:
  BlankIdGenerator();

  // Replaces the content of `out` with a fresh label.
  void next(std::string& out);

 private:
  char prefix_[18];  // "q" + 16 hex digits + "_"
  uint64_t counter_ = 0;
};

}  // namespace qg::rdf
