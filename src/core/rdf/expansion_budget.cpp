#include "core/rdf/expansion_budget.h"

namespace qg::rdf {

std::string expansion_limit_message() {
  return "Prefix, namespace and base IRI expansion passed " +
         std::to_string(kExpansionFloor >> 20) + " MiB and " + std::to_string(kExpansionRatio) +
         " times the bytes read";
}

}  // namespace qg::rdf
