// libFuzzer target: the pickle state reader (see fuzz_main.h).
#include "fuzz_main.h"

QG_FUZZ_TARGET(qg::fuzz::pickle_state_target(text))
