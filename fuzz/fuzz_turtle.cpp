// libFuzzer target: the Turtle reader (see fuzz_main.h).
#include "fuzz_main.h"

QG_FUZZ_RDF(Turtle, TriG)
