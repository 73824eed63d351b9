# Two entry points:
#   make demo  - build quillon and run it on the example study in examples/
#   make test  - build and run every test: unit, end-to-end, and the same tests under
#                the address and undefined-behaviour sanitizers (all but those labelled
#                `external`, which run other programs: R, PLINK 1.9, Snakemake)
# Both install missing Debian build dependencies first (as root).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
# Answers to the three questions for the example study: 3 covariates (intercept + 2),
# additive effect on status, no genotype effect through the covariates.
DEMO_ANSWERS ?= 3 3 0

.PHONY: all deps build demo test test-release test-sanitize bench clean

all: build

deps:
	@./tools/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	cd examples && printf '$(DEMO_ANSWERS)\n' | ../$(BUILD)/quillon

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
