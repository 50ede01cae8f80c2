#!/usr/bin/env bash
# Regenerates the seed inputs under fuzz/corpus/ from the sample generator.
# Saved findings (regression-*) and the curated inputs the fuzzer evolved
# (evolved-*) are kept. Uses BUILD (default build) for the
# kestrun_fuzz_seeds program, building it if needed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}

cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target kestrun_fuzz_seeds -j "$(nproc)" >/dev/null

for h in container convert file tree texture gltf; do
	mkdir -p "fuzz/corpus/$h"
	find "fuzz/corpus/$h" -type f ! -name 'regression-*' ! -name 'evolved-*' -delete
done
"$build/tests/kestrun_fuzz_seeds" fuzz/corpus
du -sh fuzz/corpus
