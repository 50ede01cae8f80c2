#!/usr/bin/env bash
# compare_windows.sh LINUX_BUILD WINDOWS_BUILD...
#
# First kestrun, then kestrun-kit.
#
# Runs the Linux kestrun and each Windows kestrun.exe (under wine) on copies
# of the same folders of generated samples: damaged files, a pattern, a name
# in another case, a non-ASCII name, paths longer than 260 characters, and a
# search that finds nothing. Each program runs twice in its copy, the second
# time over stale outputs it must replace. After every run the exit codes
# must match, standard output must be identical once CRs are removed,
# standard error must name the same files line by line, and the output
# folders must be byte-identical.
#
# Then each command of the Linux kestrun-kit and each kestrun-kit.exe, each
# in a copy of the samples, kestrun's outputs of them and a non-ASCII name:
# the Linux one with its patterns expanded by the shell, the Windows ones
# given them as typed, to expand themselves. Exit codes must match, standard
# output must be identical once CRs are removed and backslashes read as
# slashes, standard error must name the same files, and the files written
# must be byte-identical.
#
# Expects the wine environment of windows_tests.sh.
set -euo pipefail

linux_build=$(realpath "$1")
shift
windows_exes=()
windows_kits=()
for build in "$@"; do
	windows_exes+=("$(realpath "$build")/kestrun.exe")
	windows_kits+=("$(realpath "$build")/kestrun-kit.exe")
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

# ---------------------------------------------------------------------------
# kestrun-kit

# The inputs: the samples (containers), kestrun's conversions of them in
# converted/, a model under a non-ASCII name.
kit_input=$work/kit-input
cp -r "$input" "$kit_input"
rm -rf "$kit_input/output" "$kit_input/folder.dff" "$kit_input"/{cut,scrambled,UPPER}.* "$kit_input/empty.txd"
(cd "$kit_input" && "$linux_build/kestrun" '*' >/dev/null) || true
mv "$kit_input/output" "$kit_input/converted"

# name|arguments, split at spaces; patterns are left to the shell on Linux
# and to the program on Windows.
kit_scenarios=(
	# convert: the whole tree (its output folder inside it is left out), and
	# files named one by one.
	"convert|convert -o pc -j 2 ."
	"convert-files|convert -o pc model0?.dff $accented textures*.txd"
	"txd|txd -o pc textures*.txd"
	"txd-in-place|txd textures01.txd"
	"png|png -o png --levels textures0?.txd"
	"gltf|gltf model0?.dff $accented --txd textures00.txd --txd textures01.txd -o glb/"
	"fix|fix converted/*.dff"
	"check-json|check --json model*.dff $accented textures*.txd converted/model0?.dff absent.dff"
	"inspect-json|inspect --json model00.dff $accented textures00.txd converted/model01.dff"
	"check|check textures*.txd converted/*.dff"
	"no-match|check nothing*.dff"
)

run_kit() { # DIR PROGRAM ARGUMENTS: leaves rc, out, err beside DIR
	local dir=$1 program=$2 arguments=$3 rc=0
	local -a words
	set -f
	read -r -a words <<<"$arguments"
	set +f
	if [[ $program == *.exe ]]; then
		(cd "$dir" && wine "$program" "${words[@]}" >"$dir.out" 2>"$dir.err") || rc=$?
	else
		# The shell's expansion, sorted bytewise; the scenarios' names sort
		# the same by kestrun's rule.
		(cd "$dir" && LC_ALL=C bash -c 'exec "$0" '"$arguments" "$program" >"$dir.out" 2>"$dir.err") || rc=$?
	fi
	echo "$rc" >"$dir.rc"
}

# convert's closing line gives the time it took, which no two runs share.
plain_text() { tr -d '\r' <"$1" | tr '\\' / | sed -E 's/(failed), in [0-9.]+ s$/\1/'; }

kit_programs=("$linux_build/kestrun-kit" "${windows_kits[@]}")
for entry in "${kit_scenarios[@]}"; do
	IFS='|' read -r scenario arguments <<<"$entry"
	dirs=()
	for k in "${!kit_programs[@]}"; do
		dir=$work/${labels[$k]}/kit-$scenario
		cp -r "$kit_input" "$dir"
		dirs+=("$dir")
		run_kit "$dir" "${kit_programs[$k]}" "$arguments"
	done
	for k in "${!kit_programs[@]}"; do
		[ "$k" = 0 ] && continue
		ref=${dirs[0]} other=${dirs[$k]} what="kit $scenario, ${labels[$k]}"
		[ "$(cat "$ref.rc")" = "$(cat "$other.rc")" ] ||
			fail "$what: exit $(cat "$other.rc"), Linux $(cat "$ref.rc")"
		cmp -s <(plain_text "$ref.out") <(plain_text "$other.out") ||
			fail "$what: standard output differs: $(diff <(plain_text "$ref.out") <(plain_text "$other.out") | head -5)"
		cmp -s <(names_in "$ref.err") <(names_in "$other.err") ||
			fail "$what: standard error names other files: $(head -5 "$other.err")"
		diff -r "$ref" "$other" >/dev/null 2>&1 ||
			fail "$what: the files differ: $(diff -rq "$ref" "$other" 2>&1 | head -5)"
	done
	echo "kit $scenario: exit $(cat "${dirs[0]}.rc"), $(wc -l <"${dirs[0]}.out") line(s) out, $(wc -l <"${dirs[0]}.err") line(s) on standard error"
done

if [ "$failures" -gt 0 ]; then
	echo "compare_windows: $failures difference(s)" >&2
	exit 1
fi
echo "compare_windows: Linux and ${labels[*]:1} agree on every scenario of kestrun (twice) and kestrun-kit"
