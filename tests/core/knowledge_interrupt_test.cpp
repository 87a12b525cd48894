// The graph builders of the knowledge operations poll for interruption: with
// a hook that always says stop, each throws qg::Interrupted. (The Python
// tests run them without a hook, to their end.)
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/common/interrupt.h"
#include "core/graph/graph_record.h"
#include "core/knowledge/merge.h"
#include "core/knowledge/triples.h"

namespace qg {
namespace {

TEST(Interrupt, MergeAndFromTriplesPoll) {
  constexpr int kNodes = 20000;
  std::vector<std::string> ids;
  for (int i = 0; i <= kNodes; ++i) ids.push_back("n" + std::to_string(i));
  GraphRecord chain(true, "c", false);
  std::vector<Triple> triples;
  for (int i = 0; i <= kNodes; ++i) (void)add_node_core(chain, ids[i], {});
  for (int i = 0; i < kNodes; ++i) {
    (void)add_edge_core(chain, ids[i], ids[i + 1], {});
    triples.push_back({ids[i], "p", ids[i + 1]});
  }
  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"merge", [&] { (void)merge_graphs_core(chain, chain, ConflictStrategy::Merge); }},
      {"from_triples", [&] { (void)from_triples_core(triples, true); }},
  };
  for (const auto& [name, call] : calls) {
    set_interrupt_hook([](bool) { return true; });
    interrupt_detail::thread_clock = {};
    EXPECT_THROW(call(), Interrupted) << name;
  }
  set_interrupt_hook(nullptr);
}

}  // namespace
}  // namespace qg
