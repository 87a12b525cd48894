// Bound on the bytes that IRI expansion writes while one document is read.
//
// Contract:
//  - A reader calls spend() for every expansion it makes: a prefixed name
//    (Turtle, TriG), a reference resolved against a base IRI (@base, BASE,
//    xml:base, the caller's base), an element or attribute name expanded by
//    its XML namespace, a namespace declaration rendered into an XML
//    literal. `bytes` is the length of what the expansion wrote, `read` the
//    number of document bytes read so far.
//  - spend() returns false once the total passes both kExpansionFloor and
//    kExpansionRatio times `read`; the reader then fails with
//    expansion_limit_message() and its usual position suffix. Real
//    documents expand a few times over; a short prefix used many times stays
//    under the ratio, and any use stays under the floor in a small document.
//  - So a short document cannot name a few huge IRIs many times over: the
//    time of a parse, and the memory of the IRIs it hands on, grow with the
//    document's own size, which is what max_bytes bounds.
#pragma once

#include <cstdint>
#include <string>

namespace qg::rdf {

inline constexpr uint64_t kExpansionFloor = uint64_t{8} << 20;
inline constexpr uint64_t kExpansionRatio = 100;

class ExpansionBudget {
 public:
  bool spend(uint64_t bytes, uint64_t read) {
    written_ += bytes;
    return written_ <= kExpansionFloor || written_ <= kExpansionRatio * read;
  }

 private:
  uint64_t written_ = 0;
};

// "Prefix, namespace and base IRI expansion passed 8 MiB and 100 times the
// bytes read", without a position.
std::string expansion_limit_message();

}  // namespace qg::rdf
