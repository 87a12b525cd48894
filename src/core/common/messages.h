// The messages about nodes and edges that several units report, built in
// one place so that each text exists once:
//   "Node 'x' not found"           "Node 'x' already exists"
//   "Source node 'x' not found"    "Target node 'x' not found"
//   "Edge 'a' -> 'b' not found"    "Edge 'a' -> 'b' already exists"
#pragma once

#include <string>
#include <string_view>

namespace qg::msg {

inline std::string quoted(std::string_view before, std::string_view id, std::string_view after) {
  std::string s;
  s.reserve(before.size() + id.size() + after.size() + 2);
  s.append(before).append("'").append(id).append("'").append(after);
  return s;
}

inline std::string node_not_found(std::string_view id) { return quoted("Node ", id, " not found"); }
inline std::string node_exists(std::string_view id) {
  return quoted("Node ", id, " already exists");
}
inline std::string source_not_found(std::string_view id) {
  return quoted("Source node ", id, " not found");
}
inline std::string target_not_found(std::string_view id) {
  return quoted("Target node ", id, " not found");
}
// "Edge 'a' -> 'b'" followed by `after`.
inline std::string edge(std::string_view source, std::string_view target, std::string_view after) {
  return quoted("Edge ", source, quoted(" -> ", target, after));
}
inline std::string edge_not_found(std::string_view source, std::string_view target) {
  return edge(source, target, " not found");
}
inline std::string edge_exists(std::string_view source, std::string_view target) {
  return edge(source, target, " already exists");
}

}  // namespace qg::msg
