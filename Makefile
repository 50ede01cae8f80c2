# Wraps CMake. `make demo` and `make test` install what is missing first.
PREFIX ?= /usr/local
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all setup configure build test demo install clean fuzz bench

all: build

setup:
	@scripts/setup.sh

configure:
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: setup build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: setup build
	@scripts/demo.sh $(BUILD)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)

# Runs each libFuzzer harness for FUZZ_SECONDS (default 60) and prints the
# executions it made.
fuzz:
	@scripts/setup.sh clang libclang-rt-dev
	@scripts/fuzz.sh

# Builds the benchmarks, generates a corpus, and times the batch against the
# floor (inflating only) and a peer (lzop -d).
bench:
	@scripts/setup.sh libbenchmark-dev lzop time
	@scripts/bench.sh
