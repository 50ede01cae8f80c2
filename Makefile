# Wraps CMake. `make demo` and `make test` install what is missing first.
PREFIX ?= /usr/local
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all setup configure build test demo install clean distclean fuzz bench windows windows-test dist

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
	rm -rf $(BUILD) build-win64 build-win32 build-dist dist

# Also the Windows libraries built from Debian's sources, which take a
# network fetch to rebuild.
distclean: clean
	rm -rf build-deps build-wine

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

# Cross-builds kestrun.exe and kestrun-kit.exe into build-win64/ and
# build-win32/ with mingw-w64; the kit's libraries first, from Debian's
# sources (scripts/windows_deps.sh, cached in build-deps/).
WINDOWS_PACKAGES = g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev dpkg-dev
WINE_PACKAGES = wine wine64
windows:
	@scripts/setup.sh $(WINDOWS_PACKAGES)
	JOBS=$(JOBS) scripts/windows_deps.sh
	cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake $(CMAKE_FLAGS)
	cmake --build build-win64 -j $(JOBS) --target kestrun kestrun-kit
	cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake $(CMAKE_FLAGS)
	cmake --build build-win32 -j $(JOBS) --target kestrun kestrun-kit

# The Windows builds' tests under wine, and the comparison with the Linux
# build.
# Wine is installed before the builds are configured: it runs their tests.
windows-test: build
	@scripts/setup.sh $(WINDOWS_PACKAGES) $(WINE_PACKAGES)
	@# wine32 runs the 32-bit build; where its i386 packages cannot be had,
	@# windows_tests.sh says that build goes untested.
	@scripts/setup.sh wine32:i386 || echo "windows-test: wine32:i386 could not be installed" >&2
	JOBS=$(JOBS) scripts/windows_deps.sh
	cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake $(CMAKE_FLAGS)
	cmake --build build-win64 -j $(JOBS)
	cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake $(CMAKE_FLAGS)
	cmake --build build-win32 -j $(JOBS)
	BUILD=$(BUILD) scripts/windows_tests.sh

# The release packages in dist/: two Windows zips and a Debian package.
dist: windows
	@scripts/setup.sh dpkg-dev lintian
	JOBS=$(JOBS) scripts/dist.sh
