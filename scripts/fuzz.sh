#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang (in FUZZ_BUILD, default
# build-fuzz) and runs each for FUZZ_SECONDS (default 60) on a scratch copy of
# its saved corpus, so a run never changes fuzz/corpus. Prints the executions
# of each harness and the total. Exits non-zero when a harness finds a crash,
# a leak, a timeout or a sanitizer report, and prints where the input is.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD:-build-fuzz}
harnesses=(container convert file tree texture gltf)

if ! command -v clang++ >/dev/null 2>&1; then
	echo "fuzz.sh needs clang (scripts/setup.sh clang libclang-rt-dev)" >&2
	exit 1
fi

# -O1 with assertions: the bounds asserts of the byte helpers stay armed.
CC=clang CXX=clang++ cmake -S . -B "$build" -DKESTRUN_FUZZ=ON -DKESTRUN_TESTS=OFF -DKESTRUN_WERROR=ON \
	-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${harnesses[@]/#/fuzz_}" >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrun-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
findings="$PWD/$build/findings"
mkdir -p "$findings"

total=0
failed=0
for h in "${harnesses[@]}"; do
	mkdir -p "$work/$h"
	cp fuzz/corpus/"$h"/* "$work/$h/"
	log="$findings/$h.log"
	status=0
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		"$build/fuzz/fuzz_$h" "$work/$h" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
		-max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/$h-" >"$log" 2>&1 || status=$?
	runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
	runs=${runs:-0}
	total=$((total + runs))
	if [ "$status" -ne 0 ]; then
		failed=1
		echo "fuzz_$h: FAILED after $runs executions (status $status); log: $log"
		grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written|.*broken promise)' "$log" || tail -n 20 "$log"
	else
		echo "fuzz_$h: $runs executions in ${seconds} s, no finding"
	fi
done
echo "total: $total executions"
exit "$failed"
