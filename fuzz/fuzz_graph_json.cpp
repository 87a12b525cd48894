// libFuzzer target: the graph JSON reader (see fuzz_main.h).
#include "fuzz_main.h"

QG_FUZZ_TARGET(qg::fuzz::graph_json_target(text))
