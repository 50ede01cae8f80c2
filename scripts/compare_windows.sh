#!/usr/bin/env bash
# compare_windows.sh LINUX_BUILD WINDOWS_BUILD...
#
# Runs the Linux kestrun and each Windows kestrun.exe (under wine) on copies
# of the same folders of generated samples: damaged files, a pattern, a name
# in another case, a non-ASCII name, paths longer than 260 characters, and a
# search that finds nothing. Each program runs twice in its copy, the second
# time over stale outputs it must replace. After every run the exit codes
# must match, standard output must be identical once CRs are removed,
# standard error must name the same files line by line, and the output
# folders must be byte-identical. Expects the wine environment of
# windows_tests.sh.
set -euo pipefail

linux_build=$(realpath "$1")
shift
windows_exes=()
for build in "$@"; do
	windows_exes+=("$(realpath "$build")/kestrun.exe")
done

work=$(mktemp -d /tmp/kestrun-compare-XXXXXX)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
failures=0

fail() {
	echo "FAIL: $*" >&2
	failures=$((failures + 1))
}

# The inputs: samples, damaged copies, a file whose name is a model's in
# upper case (inflated only), a non-ASCII name, a folder named like a model.
input=$work/input
"$linux_build/kestrun-samples" "$input" 8 >/dev/null
(
	cd "$input"
	head -c 100 model01.dff >cut.dff
	cp model02.dff scrambled.dff
	printf '\377\377\377\377\377\377\377\377\377\377\377\377' | dd of=scrambled.dff bs=1 seek=400 conv=notrunc 2>/dev/null
	: >empty.txd
	cp model03.dff UPPER.DFF
	cp model04.dff "mod$(printf '\303\250')le.dff"
	mkdir folder.dff
)
accented="mod$(printf '\303\250')le.dff"

# A folder whose Windows form (Z:\...) stays under the 260 characters a
# program can start in, holding names that take every full path past 260.
long_name=$(printf 'n%.0s' $(seq 70))
make_long() { # DIR: the deep folder below DIR
	local dir=$1 pad=$((235 - ${#1}))
	while [ "$pad" -gt 1 ]; do
		local part=$((pad > 61 ? 60 : pad - 1))
		dir=$dir/$(printf 'd%.0s' $(seq "$part"))
		pad=$((pad - part - 1))
	done
	echo "$dir"
}

# scenario name, argument, folder kind
scenarios=(
	"all|*|plain"
	"pattern|model0?.dff|plain"
	"other-case|MODEL01.DFF|plain"
	"non-ascii|$accented|plain"
	"none|nothing*|plain"
	"long|*|long"
)

prepare() { # KIND DIR: the scenario's copy of the inputs; prints its folder
	local kind=$1 dir=$2
	if [ "$kind" = long ]; then
		dir=$(make_long "$dir")
		mkdir -p "$dir"
		cp "$input/model00.dff" "$dir/$long_name.dff"
		cp "$input/textures00.txd" "$dir/$long_name.txd"
		cp "$input/cut.dff" "$dir/${long_name}-cut.dff"
	else
		mkdir -p "$dir"
		cp -r "$input/." "$dir"
	fi
	echo "$dir"
}

run_one() { # DIR PROGRAM ARGUMENT: leaves rc, out, err beside DIR's parent entry
	local dir=$1 program=$2 argument=$3 rc=0
	if [[ $program == *.exe ]]; then
		(cd "$dir" && wine "$program" "$argument" >"$dir.out" 2>"$dir.err") || rc=$?
	else
		(cd "$dir" && "$program" "$argument" >"$dir.out" 2>"$dir.err") || rc=$?
	fi
	echo "$rc" >"$dir.rc"
}

# Stale outputs that the second run must replace.
spoil_outputs() {
	local file
	[ -d "$1/output" ] || return 0
	for file in "$1"/output/*; do
		[ -f "$file" ] && printf 'stale' >"$file"
	done
	return 0
}

names_in() { tr -d '\r' <"$1" | sed 's/: .*//'; }

compare() { # SCENARIO ROUND REFERENCE_DIR OTHER_DIR LABEL
	local scenario=$1 round=$2 ref=$3 other=$4 label=$5
	local what="$scenario, run $round, $label"
	[ "$(cat "$ref.rc")" = "$(cat "$other.rc")" ] ||
		fail "$what: exit $(cat "$other.rc"), Linux $(cat "$ref.rc")"
	head -n 1 "$other.out" | tr -d '\r' | grep -qx 'kestrun starting...' ||
		fail "$what: no banner on standard output"
	cmp -s <(tr -d '\r' <"$ref.out") <(tr -d '\r' <"$other.out") ||
		fail "$what: standard output differs: $(diff <(tr -d '\r' <"$ref.out") <(tr -d '\r' <"$other.out") | head -5)"
	cmp -s <(names_in "$ref.err") <(names_in "$other.err") ||
		fail "$what: standard error names other files: $(cat "$other.err" | head -5)"
	if [ -d "$ref/output" ] || [ -d "$other/output" ]; then
		diff -r "$ref/output" "$other/output" >/dev/null 2>&1 ||
			fail "$what: output folders differ"
	fi
}

programs=("$linux_build/kestrun" "${windows_exes[@]}")
labels=(linux)
for exe in "${windows_exes[@]}"; do
	labels+=("$(basename "$(dirname "$exe")")")
done

for entry in "${scenarios[@]}"; do
	IFS='|' read -r scenario argument kind <<<"$entry"
	dirs=()
	for k in "${!programs[@]}"; do
		dirs+=("$(prepare "$kind" "$work/${labels[$k]}/$scenario")")
	done
	for round in 1 2; do
		for k in "${!programs[@]}"; do
			[ "$round" = 2 ] && spoil_outputs "${dirs[$k]}"
			run_one "${dirs[$k]}" "${programs[$k]}" "$argument"
		done
		for k in "${!programs[@]}"; do
			[ "$k" = 0 ] && continue
			compare "$scenario" "$round" "${dirs[0]}" "${dirs[$k]}" "${labels[$k]}"
		done
	done
	# The Linux run itself must have done what the scenario is for.
	echo "$scenario: exit $(cat "${dirs[0]}.rc"), $(grep -c '^Processing' "${dirs[0]}.out" || true) file(s), $(wc -l <"${dirs[0]}.err") problem line(s)"
done

if [ "$failures" -gt 0 ]; then
	echo "compare_windows: $failures difference(s)" >&2
	exit 1
fi
echo "compare_windows: Linux and ${labels[*]:1} agree on every scenario, twice"
