// libFuzzer target: the NTriples reader (see fuzz_main.h).
#include "fuzz_main.h"

QG_FUZZ_RDF(NTriples, NQuads, Turtle, TriG)
