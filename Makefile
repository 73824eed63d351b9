# Entry points:
#   make demo     - build the two programs (quillon, quillon-simulate) and run quillon on the
#                   example study in examples/
#   make test     - build everything, tests included, and run every test: unit, end-to-end,
#                   and the same tests under the address and undefined-behaviour sanitizers
#                   (all but those labelled `external`, which run other programs: R, PLINK
#                   1.9, Snakemake)
#   make install  - build the two programs and copy them to $(PREFIX)/bin (PREFIX=/usr/local;
#                   `make install PREFIX=$HOME/.local` needs no root)
# All install the missing Debian packages first (as root): demo, install and programs only
# what building the programs needs (tools/install-deps build); build, test and bench also
# what the tests and benchmarks need (tools/install-deps).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX     ?= /usr/local
PROGRAMS   := quillon quillon-simulate
# Answers to the three questions for the example study: 3 covariates (intercept + 2),
# additive effect on status, no genotype effect through the covariates.
DEMO_ANSWERS ?= 3 3 0

.PHONY: all deps deps-build configure configure-programs programs build demo install test test-release \
        test-sanitize bench clean

all: build

deps:
	@./tools/install-deps

deps-build:
	@./tools/install-deps build

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=ON >/dev/null

# Only the two programs: what the demo and the installation need (the tests are not
# configured, so their packages need not be installed).
configure-programs: deps-build
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=OFF >/dev/null

programs: configure-programs
	cmake --build $(BUILD) -j$(JOBS) --target $(PROGRAMS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The dialogue's answers from a pipe, and the p-values after the report.
demo: programs
	cd examples && printf '$(DEMO_ANSWERS)\n' | ../$(BUILD)/quillon --pvalues

install: programs
	cmake --install $(BUILD) --prefix $(PREFIX)

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j$(JOBS) -LE external

test: test-release test-sanitize

# Whole-run timings against the budgets (and PLINK 1.9's TDT); see bench/README.md.
bench: deps
	bench/run

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-bench
