#include "core/graph/pickle_state.h"
#include "core/graph/graph_record.h"

#include <limits>

#include "core/common/utf8.h"
#include "core/graph/graph_json.h"

namespace qg {

void write_pickle_state(TextOut& out, const Graph& g) {
  out.put(kPickleMagic);
  write_graph_json(out, g);
}

Result<std::string> pickle_state_bytes(const Graph& g) {
  TextOut out(4 + graph_json_size_hint(g));
  write_pickle_state(out, g);
  return out.take();
}

std::string pickle_state_too_large(uint64_t size) {
  return "quor-graph pickle payload is " + std::to_string(size) +
         " bytes; refusing to deserialize above " + std::to_string(kPickleStateCap) +
         " bytes (audit A2-#4). Set state on a smaller graph or deserialize from a "
         "trusted source through Graph.from_json().";
}

Result<GraphRecord> graph_from_pickle_state(std::string_view state) {
  if (state.size() > kPickleStateCap)
    return Err(ErrorKind::Cap, pickle_state_too_large(state.size()));
  if (state.size() < kPickleMagic.size())
    return Err(ErrorKind::Parse, "quor-graph pickle payload too short to contain magic header.");
  if (state.substr(0, 4) != kPickleMagic) {
    std::string found = "[";
    for (size_t k = 0; k < 4; ++k) {
      if (k) found += ", ";
      found += std::to_string(static_cast<unsigned char>(state[k]));
    }
    found += "]";
    return Err(ErrorKind::Parse,
               "quor-graph pickle magic mismatch: expected b'QGR1', got " + found +
                   ". Pickled state from a different quor-graph release or format.");
  }
  std::string_view text = state.substr(4);
  Utf8Check utf8 = check_utf8(text);
  if (!utf8.ok) {
    std::string detail = utf8.error_len
                             ? "invalid utf-8 sequence of " + std::to_string(utf8.error_len) +
                                   " bytes from index " + std::to_string(utf8.valid_up_to)
                             : "incomplete utf-8 byte sequence from index " +
                                   std::to_string(utf8.valid_up_to);
    return Err(ErrorKind::Parse,
               "quor-graph pickle payload after magic header is not UTF-8: " + detail);
  }
  constexpr uint64_t kNoCap = std::numeric_limits<uint64_t>::max();
  return graph_from_json_checked(text, kNoCap, kNoCap, kNoCap);
}

}  // namespace qg
