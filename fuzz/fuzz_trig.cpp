// libFuzzer target: the TriG reader (see fuzz_main.h).
#include "fuzz_main.h"

QG_FUZZ_RDF(TriG)
