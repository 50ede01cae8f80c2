#!/usr/bin/env bash
# Measures kestrun: builds a Release tree with the benchmarks, runs the micro
# benchmarks, generates a corpus and times six batch runs over it, RUNS
# times each, reporting the median:
#
#   1. kestrun '*' over the models and texture dictionaries;
#   2. the floor: the same containers with the models renamed .txd, so that
#      kestrun only inflates and writes them;
#   3. a peer: lzop -d inflating the same LZO1X blocks, stored as .lzo files,
#      into a folder;
#   4. the three-command route to PC files: kestrun '*', then kestrun-kit fix
#      on the models and kestrun-kit txd on the dictionaries it wrote;
#   5. and 6. kestrun-kit convert -j 1 and -j 2 over the same containers
#      spread over a tree of folders three deep.
#
# They take turns, round by round, after one warm-up round. Then each
# runs once more for its peak memory, kestrun once alone on the file with the
# largest output for the memory a single file takes, and the peer's output is
# compared with the floor's.
#
# Settings (environment):
#   BENCH_BUILD   build folder (default build-bench)
#   SCRATCH       where the corpus and the outputs go (default: a folder in
#                 /dev/shm when it has 3 GB free, so that the disk's writeback
#                 does not blur the figures; else one in the build folder).
#                 A folder given here is kept; the default one is removed.
#   RUNS          timed rounds (default 7)
#   MIN_TIME      --benchmark_min_time of the micro benchmarks (default 0.2)
#   MICRO         0 skips the micro benchmarks
#   MICRO_FILTER  --benchmark_filter of the micro benchmarks (default all)
#   MODELS, DICTIONARIES   corpus size (default 300 and 150)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BENCH_BUILD:-build-bench}
runs=${RUNS:-7}
min_time=${MIN_TIME:-0.2}
models=${MODELS:-300}
dictionaries=${DICTIONARIES:-150}

for tool in cmake lzop; do
	command -v "$tool" >/dev/null || { echo "bench: $tool is missing (make bench installs it)" >&2; exit 1; }
done

echo "== Building (Release, benchmarks on) in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKESTRUN_BENCH=ON -DKESTRUN_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target kestrun kestrun-kit kestrun-bench kestrun-corpus >/dev/null
build=$(cd "$build" && pwd)
kestrun="$build/kestrun"
kit="$build/kestrun-kit"

if [ -n "${SCRATCH:-}" ]; then
	mkdir -p "$SCRATCH"
	work=$(cd "$SCRATCH" && pwd)
	rm -rf "$work/corpus" "$work/peer-output"
else
	if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR==2 {print $4}')" -gt 3000000 ]; then
		work=$(mktemp -d /dev/shm/kestrun-bench.XXXXXX)
	else
		work=$(mktemp -d "$build/bench-scratch.XXXXXX")
	fi
	trap 'rm -rf "$work"' EXIT
fi
corpus="$work/corpus"
peer_out="$work/peer-output"
log="$work/log"
mkdir -p "$log"

echo
echo "== Machine"
echo "$(uname -srm); $(nproc) cores; $(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | sed 's/.*: //')"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null)"
echo "scratch: $work ($(df -PT "$work" | awk 'NR==2 {print $2}'))"

linear=""
if [ "${MICRO:-1}" != 0 ]; then
	echo
	echo "== Micro benchmarks (bytes of inflated stream a second)"
	micro_args=(--benchmark_min_time="$min_time" --benchmark_color=false)
	[ -n "${MICRO_FILTER:-}" ] && micro_args+=(--benchmark_filter="$MICRO_FILTER")
	"$build/bench/kestrun-bench" "${micro_args[@]}" 2>&1 | tee "$log/micro.txt"
	linear=$(grep '^linear ratio' "$log/micro.txt" || true)
fi

echo
echo "== Corpus"
"$build/bench/kestrun-corpus" "$corpus" "$models" "$dictionaries" | tee "$log/corpus.txt"
inflated_mb=$(awk '{for (i = 1; i < NF; i++) if ($(i + 1) == "MB" && $(i + 2) == "inflated") s += $i} END {print s}' \
	"$log/corpus.txt")

# The same containers as a tree three folders deep, for convert.
tree="$corpus/tree"
i=0
for f in "$corpus"/kestrun/*; do
	sub="$tree/set$((i % 3))/part$((i % 5))/$( [ $((i % 2)) = 0 ] && echo even || echo odd)"
	mkdir -p "$sub"
	cp "$f" "$sub/"
	i=$((i + 1))
done

cp -r "$corpus/kestrun" "$corpus/route"

# The batch commands, each with what clears its output beforehand.
names=(kestrun floor peer route convert1 convert2)
commands=(
	"cd '$corpus/kestrun' && '$kestrun' '*' >/dev/null"
	"cd '$corpus/floor' && '$kestrun' '*' >/dev/null"
	"cd '$corpus/peer' && lzop -d -f -q -p'$peer_out' *.lzo"
	"cd '$corpus/route' && '$kestrun' '*' >/dev/null && '$kit' fix output/*.dff >/dev/null && '$kit' txd output/*.txd >/dev/null"
	"cd '$corpus' && '$kit' convert -j 1 -o '$work/pc1' tree >/dev/null"
	"cd '$corpus' && '$kit' convert -j 2 -o '$work/pc2' tree >/dev/null"
)
prepares=(
	"rm -rf '$corpus/kestrun/output'"
	"rm -rf '$corpus/floor/output'"
	"rm -rf '$peer_out' && mkdir '$peer_out'"
	"rm -rf '$corpus/route/output'"
	"rm -rf '$work/pc1'"
	"rm -rf '$work/pc2'"
)

echo
echo "== Batch: one warm-up round, then $runs timed rounds; outputs cleared before each run"
# The three runs take turns within each round, so that a change in the
# machine's load during the measurement falls on all three alike.
gnu_time=""
[ -x /usr/bin/time ] && /usr/bin/time -f '%U' true >/dev/null 2>&1 && gnu_time=/usr/bin/time
declare -A median cpu peak walls cpus
now() { date +%s.%N; }
for round in $(seq 0 "$runs"); do
	for i in "${!names[@]}"; do
		n=${names[$i]}
		bash -c "${prepares[$i]}"
		start=$(now)
		if [ -n "$gnu_time" ]; then
			"$gnu_time" -f '%U %S' -o "$log/cpu.txt" bash -c "${commands[$i]}"
		else
			bash -c "${commands[$i]}"
		fi
		end=$(now)
		[ "$round" -eq 0 ] && continue
		walls[$n]+="$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f", b - a}') "
		[ -n "$gnu_time" ] && cpus[$n]+="$(awk '{printf "%.2f", $1 + $2}' "$log/cpu.txt") "
	done
done
middle() { tr ' ' '\n' | grep . | sort -g | awk '{v[NR] = $1} END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
for n in "${names[@]}"; do
	median[$n]=$(echo "${walls[$n]}" | middle)
	cpu[$n]=$([ -n "$gnu_time" ] && echo "${cpus[$n]}" | middle || echo -)
	printf '%-8s wall s: %s\n' "$n" "${walls[$n]}"
	[ -n "$gnu_time" ] && printf '%-8s CPU s:  %s\n' "$n" "${cpus[$n]}"
done

echo
echo "== Peak memory (one more run each)"
for i in "${!names[@]}"; do
	bash -c "${prepares[$i]}"
	if [ -n "$gnu_time" ]; then
		"$gnu_time" -v -o "$log/time-${names[$i]}.txt" bash -c "${commands[$i]}"
		kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log/time-${names[$i]}.txt")
		peak[${names[$i]}]=$(awk -v k="$kb" 'BEGIN {printf "%.1f MB", k / 1024}')
	else
		bash -c "${commands[$i]}"
		peak[${names[$i]}]="-"
	fi
done
# Per file: kestrun alone on the model with the largest output, against the
# stream buffer plus three times the larger of its inflated and converted
# streams, over what kestrun holds before any file (run where nothing
# matches).
largest_model=$(cd "$corpus/kestrun/output" && ls -S -- *.dff | head -1)
largest_out=$(stat -c %s "$corpus/kestrun/output/$largest_model")
largest_in=$(stat -c %s "$corpus/floor/output/${largest_model%.dff}.txd")
capacity=2228291
mkdir -p "$work/empty"
if [ -n "$gnu_time" ]; then
	(cd "$work/empty" && "$gnu_time" -v -o "$log/time-empty.txt" "$kestrun" '*' >/dev/null) || true
	(cd "$corpus/kestrun" && "$gnu_time" -v -o "$log/time-one.txt" "$kestrun" "$largest_model" >/dev/null)
fi

# The peer and the floor must have written the same bytes.
mismatches=0
for f in "$peer_out"/*; do
	name=$(basename "$f")
	case $name in
	*.dff) other="$corpus/floor/output/${name%.dff}.txd" ;;
	*) other="$corpus/floor/output/$name" ;;
	esac
	cmp -s "$f" "$other" || mismatches=$((mismatches + 1))
done

# convert must have written what the route wrote, the same for -j 1 and -j 2.
convert_mismatches=0
while IFS= read -r f; do
	{ cmp -s "$work/pc1/$f" "$corpus/route/output/${f##*/}" && cmp -s "$work/pc1/$f" "$work/pc2/$f"; } ||
		convert_mismatches=$((convert_mismatches + 1))
done < <(cd "$work/pc1" && find . -type f | sed 's|^\./||')

mb_s() { awk -v b="$inflated_mb" -v t="$1" 'BEGIN {printf "%.0f", b / t}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

echo
echo "== Result ($(date +%Y-%m-%d), ${inflated_mb} MB inflated in $((models + dictionaries)) files)"
echo
echo "| run | median wall s | MB/s inflated | median CPU s (user+sys) | peak RSS |"
echo "|---|---:|---:|---:|---:|"
labels=("1. \`kestrun '*'\`" "2. floor: models renamed .txd (inflate + write)" "3. peer: \`lzop -d\` on the same blocks"
	"4. route: \`kestrun '*'\` + \`fix\` + \`txd\`" "5. \`kestrun-kit convert -j 1\`" "6. \`kestrun-kit convert -j 2\`")
for i in "${!names[@]}"; do
	n=${names[$i]}
	printf '| %s | %.3f | %s | %s | %s |\n' "${labels[$i]}" "${median[$n]}" "$(mb_s "${median[$n]}")" "${cpu[$n]}" "${peak[$n]}"
done
echo
echo "ratio 1/2 (conversion over the floor): $(ratio "${median[kestrun]}" "${median[floor]}")   (target at most 1.15)"
echo "ratio 2/3 (floor over the peer):       $(ratio "${median[floor]}" "${median[peer]}")   (target at most 1.00)"
if [ -n "$gnu_time" ]; then
	echo "the same on median CPU time: 1/2 $(ratio "${cpu[kestrun]}" "${cpu[floor]}"), 2/3 $(ratio "${cpu[floor]}" "${cpu[peer]}")"
fi
echo "convert -j 2 over -j 1, wall:              $(ratio "${median[convert2]}" "${median[convert1]}")   (target at most 0.60)"
if [ -n "$gnu_time" ]; then
	echo "convert -j 1 over the route, CPU:          $(ratio "${cpu[convert1]}" "${cpu[route]}")   (target at most 1.10)"
	# The bound: N times the largest input and its output, plus a few MB,
	# over what the kit holds before any file (a convert of an empty folder).
	largest_pair=$(cd "$tree" && find . -type f -printf '%s %P\n' | while read -r size name; do
		echo "$((size + $(stat -c %s "$work/pc1/$name"))) $name"
	done | sort -n | tail -1)
	kit_start=$(cd "$work/empty" && "$gnu_time" -f '%M' "$kit" convert -o "$work/empty-pc" . 2>&1 >/dev/null | tail -1)
	awk -v pair="${largest_pair%% *}" -v name="${largest_pair#* }" -v b="$kit_start" -v p1="${peak[convert1]% MB}" -v p2="${peak[convert2]% MB}" 'BEGIN {
		one = pair / 1048576; start = b / 1024
		printf "convert peak memory above the kit'"'"'s %.1f MB at start: -j 1 %.1f MB, -j 2 %.1f MB; largest input and its output (%s) %.2f MB: N x that is %.2f and %.2f MB\n", start, p1 - start, p2 - start, name, one, one, 2 * one }'
fi
[ -n "$linear" ] && echo "$linear"
if [ -n "$gnu_time" ]; then
	rss() { awk -F': ' '/Maximum resident set size/ {print $2}' "$log/time-$1.txt"; }
	awk -v p="$(rss one)" -v b="$(rss empty)" -v c="$capacity" -v i="$largest_in" -v o="$largest_out" -v f="$largest_model" 'BEGIN {
		l = i > o ? i : o
		printf "peak memory for one file (%s alone, %.2f MB inflated, %.2f MB converted): %.2f MB above the %.2f MB kestrun holds at start; bound: buffer %.2f MB + 3 x %.2f MB = %.2f MB\n",
			f, i / 1048576, o / 1048576, (p - b) / 1024, b / 1024, c / 1048576, l / 1048576, (c + 3 * l) / 1048576 }'
fi
if [ "$mismatches" -ne 0 ]; then
	echo "WARNING: $mismatches peer outputs differ from the floor's: the comparison is not like for like" >&2
	exit 1
fi
echo "peer outputs equal the floor's byte for byte"
if [ "$convert_mismatches" -ne 0 ]; then
	echo "WARNING: $convert_mismatches convert outputs differ from the route's or between -j 1 and -j 2" >&2
	exit 1
fi
echo "convert's outputs equal the route's byte for byte, for -j 1 and -j 2"
