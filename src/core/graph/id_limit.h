// The longest node id a graph holds, and the refusal of a longer one.
//
// The id index keeps each id's length in 32 bits (id_index.h), so whatever
// makes a node (add_node_core, the graph JSON and RDF readers, the builders
// that make ids of their own) refuses an id longer than kMaxIdBytes with
// msg::id_too_long, before it reads the id's bytes or changes anything. A
// lookup of a longer id finds nothing without hashing it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qg {

inline constexpr size_t kMaxIdBytes = UINT32_MAX;

namespace msg {

// "Node id of {bytes} bytes is longer than the limit of 4294967295 bytes"
inline std::string id_too_long(size_t bytes) {
  return "Node id of " + std::to_string(bytes) + " bytes is longer than the limit of " +
         std::to_string(kMaxIdBytes) + " bytes";
}

}  // namespace msg
}  // namespace qg
