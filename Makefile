# make        build the module and the core tests
# make test   install what is missing, build, run every test
# make demo   build and run the example
# make bench  build and run the benchmarks against their peers
# make fuzz   build the libFuzzer targets with clang and run each for FUZZ_SECONDS
# make fuzz-smoke  build the fuzz targets with g++ (ASan + UBSan) and replay a
#                  fixed corpus through each (CI)
SHELL := /bin/bash
VENV := .venv
PY := $(VENV)/bin/python
BUILD := build
APT_PACKAGES := g++ libabsl-dev libgtest-dev libexpat1-dev
BENCH_APT_PACKAGES := serdi raptor2-utils

.PHONY: all build test demo bench sanitize fuzz fuzz-build fuzz-smoke deps venv clean

all: build

# System libraries: apt-get, only when something is missing.
$(BUILD)/.apt-stamp:
	@mkdir -p $(BUILD)
	@if ! dpkg -s $(APT_PACKAGES) >/dev/null 2>&1; then \
	  echo "Installing $(APT_PACKAGES)"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $(APT_PACKAGES); \
	fi
	@touch $@

# CPython 3.13 from pyenv, with the pinned packages.
$(VENV)/.stamp: requirements-test.txt
	@if [ ! -x $(PY) ]; then \
	  root=$$(pyenv root 2>/dev/null || echo "$$HOME/.pyenv"); \
	  base=$$(ls -d $$root/versions/3.13* 2>/dev/null | sort -V | tail -1); \
	  if [ -z "$$base" ]; then echo "error: no CPython 3.13 under $$root/versions (pyenv install 3.13)"; exit 1; fi; \
	  echo "Creating $(VENV) with $$base"; \
	  $$base/bin/python3 -m venv $(VENV); \
	fi
	$(PY) -m pip install -q --disable-pip-version-check -r requirements-test.txt
	@touch $@

deps: $(BUILD)/.apt-stamp $(VENV)/.stamp

build: deps
	PATH=$(CURDIR)/$(VENV)/bin:$$PATH cmake -S . -B $(BUILD) -G Ninja \
	  -DPython_EXECUTABLE=$(CURDIR)/$(PY) -DQG_WERROR=ON >/dev/null
	PATH=$(CURDIR)/$(VENV)/bin:$$PATH ninja -C $(BUILD)

test: build
	@set -e; for t in $(BUILD)/*_tests; do echo "== $$t"; $$t --gtest_brief=1; done
	PYTHONPATH=$(BUILD)/pkg $(VENV)/bin/pytest -q tests/python
	PYTHONPATH=$(BUILD)/pkg $(PY) examples/demo.py >/dev/null

demo: build
	PYTHONPATH=$(BUILD)/pkg $(PY) examples/demo.py

$(VENV)/.bench-stamp: requirements-bench.txt $(VENV)/.stamp
	@if ! dpkg -s $(BENCH_APT_PACKAGES) >/dev/null 2>&1; then \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $(BENCH_APT_PACKAGES); \
	fi
	$(PY) -m pip install -q --disable-pip-version-check -r requirements-bench.txt
	@touch $@

bench: build $(VENV)/.bench-stamp
	@echo "== $(BUILD)/rdf_parse_bench"; $(BUILD)/rdf_parse_bench
	@set -e; for b in bench/bench_*.py; do echo "== $$b"; PYTHONPATH=$(BUILD)/pkg $(PY) $$b; done

# make format        clang-format src/, tests/core and fuzz/ in place (.clang-format)
# make format-check  fail when clang-format would change any of them
.PHONY: format format-check format-deps
CLANG_FORMAT := clang-format-16
FORMAT_FILES = $(shell find src tests/core $(wildcard fuzz) -type f \
                 \( -name '*.h' -o -name '*.cpp' -o -name '*.cc' \) | sort)

format-deps:
	@if ! command -v $(CLANG_FORMAT) >/dev/null; then \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $(CLANG_FORMAT); \
	fi

format: format-deps
	$(CLANG_FORMAT) -i $(FORMAT_FILES)

format-check: format-deps
	$(CLANG_FORMAT) --dry-run -Werror $(FORMAT_FILES)

# Every test again on an AddressSanitizer + UBSan build. -O1 -g1: with the
# sanitizers, -O2 -g takes twice the compile time (the test files up to four
# times), which matters more here than the speed of the tests.
# (make fuzz-smoke builds in the same directory, configured the same way.)
SAN_FLAGS := -fsanitize=address,undefined -fno-omit-frame-pointer
SAN_BUILD := $(BUILD)-asan
SAN_CONFIGURE = PATH=$(CURDIR)/$(VENV)/bin:$$PATH cmake -S . -B $(SAN_BUILD) -G Ninja \
	  -DPython_EXECUTABLE=$(CURDIR)/$(PY) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
	  -DCMAKE_CXX_FLAGS="$(SAN_FLAGS)" -DCMAKE_SHARED_LINKER_FLAGS="$(SAN_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(SAN_FLAGS)" >/dev/null
sanitize: deps
	$(SAN_CONFIGURE)
	PATH=$(CURDIR)/$(VENV)/bin:$$PATH ninja -C $(SAN_BUILD)
	@set -e; for t in $(BUILD)-asan/*_tests; do echo "== $$t"; UBSAN_OPTIONS=halt_on_error=1 $$t --gtest_brief=1; done
	LD_PRELOAD="$$(gcc -print-file-name=libasan.so) $$(gcc -print-file-name=libubsan.so)" \
	  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1 \
	  PYTHONPATH=$(BUILD)-asan/pkg $(VENV)/bin/pytest -q -p no:cacheprovider tests/python

# One libFuzzer target per reader (fuzz/), built with clang into build-fuzz/.
# `make fuzz FUZZ_SECONDS=60` runs each for a minute, `make fuzz-turtle` one of
# them. Each target starts from its seeds below (fuzz/corpus/<target>/, the
# shared conformance data, read in place) and, under libFuzzer, the shared
# real-world documents; new corpus entries go to build-fuzz/corpus/<target>/
# and failing inputs to build-fuzz/crashes/.
FUZZ_APT_PACKAGES := clang-16 libfuzzer-16-dev libclang-rt-16-dev
FUZZ_CXX := clang++-16
FUZZ_SECONDS := 10
FUZZ_MAX_LEN := 16384
FUZZ_TARGETS := turtle trig ntriples nquads rdfxml graph_json pickle_state
FUZZ := $(BUILD)-fuzz
DATA := $(CURDIR)/../shared/data
W3C := $(DATA)/w3c-rdf11
# Where the graph JSON seeds are written (one file per line of
# fuzz/graph_json_seeds.txt, and the same again as pickle states).
SEEDS = $(FUZZ)/seeds
seeds_turtle = fuzz/corpus/turtle $(W3C)/rdf-turtle
seeds_trig = fuzz/corpus/trig $(W3C)/rdf-trig
seeds_ntriples = fuzz/corpus/ntriples $(W3C)/rdf-n-triples
seeds_nquads = fuzz/corpus/nquads $(W3C)/rdf-n-quads
seeds_rdfxml = fuzz/corpus/rdfxml $(W3C)/rdf-xml
seeds_graph_json = $(SEEDS)/graph_json
seeds_pickle_state = $(SEEDS)/pickle_state fuzz/corpus/pickle_state
real_turtle = $(DATA)/rdf-real/turtle
real_trig = $(DATA)/rdf-real/trig
real_ntriples = $(DATA)/rdf-real/ntriples
real_nquads = $(DATA)/rdf-real/nquads
real_rdfxml = $(DATA)/rdf-real/rdfxml
define write_json_seeds
rm -rf $(SEEDS) && mkdir -p $(seeds_graph_json) $(SEEDS)/pickle_state
awk -v j=$(SEEDS)/graph_json -v p=$(SEEDS)/pickle_state \
  '{ f = j "/" NR ".json"; printf "%s", $$0 > f; close(f); \
     f = p "/" NR ".state"; printf "QGR1%s", $$0 > f; close(f) }' fuzz/graph_json_seeds.txt
endef

$(FUZZ)/.apt-stamp:
	@mkdir -p $(FUZZ)
	@if ! dpkg -s $(FUZZ_APT_PACKAGES) >/dev/null 2>&1; then \
	  echo "Installing $(FUZZ_APT_PACKAGES)"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $(FUZZ_APT_PACKAGES); \
	fi
	@touch $@

fuzz-build: $(BUILD)/.apt-stamp $(FUZZ)/.apt-stamp
	cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQG_FUZZ=ON -DQG_BUILD_MODULE=OFF -DQG_BUILD_TESTS=OFF >/dev/null
	ninja -C $(FUZZ)
	@$(write_json_seeds)

fuzz: $(FUZZ_TARGETS:%=fuzz-%)
.PHONY: $(FUZZ_TARGETS:%=fuzz-%)
$(FUZZ_TARGETS:%=fuzz-%): fuzz-%: fuzz-build
	@mkdir -p $(FUZZ)/corpus/$* $(FUZZ)/crashes
	$(FUZZ)/fuzz/fuzz_$* -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) -timeout=10 \
	  -print_final_stats=1 -artifact_prefix=$(FUZZ)/crashes/$*- $(FUZZ)/corpus/$* $(seeds_$*) \
	  $(real_$*)

# The same targets built with g++ in the sanitizer build, each with a replay
# main (fuzz/fuzz_replay.cpp) instead of libFuzzer, run once over its seeds:
# it fails when a target crashes, a sanitizer reports, or a check in the
# target fails. After `make sanitize` this only compiles the targets.
FUZZ_SMOKE_TIMEOUT := 300
fuzz-smoke: SEEDS = $(SAN_BUILD)/fuzz-seeds
fuzz-smoke: deps
	$(SAN_CONFIGURE)
	PATH=$(CURDIR)/$(VENV)/bin:$$PATH ninja -C $(SAN_BUILD) fuzz_targets
	@$(write_json_seeds)
	@set -e; $(foreach t,$(FUZZ_TARGETS), \
	  UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1 timeout $(FUZZ_SMOKE_TIMEOUT) \
	    $(SAN_BUILD)/fuzz/fuzz_$(t) $(seeds_$(t));)

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(FUZZ)
