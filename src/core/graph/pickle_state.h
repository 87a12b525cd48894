// Pickle state of a graph: the four bytes "QGR1" followed by its graph JSON.
//
// The state read back is untrusted: it is refused above a fixed size, when
// the magic is wrong or the text is not UTF-8, and otherwise read with the
// graph JSON reader with unbounded node and edge caps. Nothing here touches
// the graph that the state is meant for; the caller swaps the new record in
// only on success.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/common/result.h"
#include "core/common/text_out.h"
#include "core/graph/graph.h"

namespace qg {

class GraphRecord;  // core/graph/graph_record.h

inline constexpr std::string_view kPickleMagic = "QGR1";
inline constexpr uint64_t kPickleStateCap = 67108864;  // 64 MiB, magic included

// "QGR1" + graph_to_json(graph).
Result<std::string> pickle_state_bytes(const Graph& graph);
// The same, written into `out`.
void write_pickle_state(TextOut& out, const Graph& graph);

// Checks the state (size, magic, UTF-8) and reads the record it holds.
Result<GraphRecord> graph_from_pickle_state(std::string_view state);

// The refusal of a state of `size` bytes, above kPickleStateCap.
std::string pickle_state_too_large(uint64_t size);

}  // namespace qg
