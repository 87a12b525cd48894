// libFuzzer target: the RdfXml reader (see fuzz_main.h).
#include "fuzz_main.h"

QG_FUZZ_RDF(RdfXml)
