#!/usr/bin/env bash
# kestrun-kit's bash completion:
#   - its table holds exactly the commands of `kestrun-kit --help` and, for
#     each, exactly the options of `kestrun-kit COMMAND --help`, and its
#     global options are those of `kestrun-kit --help`;
#   - in a scratch folder, it completes commands, options, .dff and .txd
#     files in any case, folders, and option values.
# Usage: completion_test.sh KESTRUN_KIT COMPLETION_FILE
set -uo pipefail
kit=$1 completion=$(realpath "$2")

failures=0
fail() {
	echo "FAIL: $*" >&2
	failures=$((failures + 1))
}

# shellcheck source=/dev/null
source "$completion" || { echo "FAIL: $completion does not load" >&2; exit 1; }
declare -F _kestrun_kit >/dev/null || { echo "FAIL: no _kestrun_kit function" >&2; exit 1; }
[[ $(complete -p kestrun-kit 2>/dev/null) == *"-F _kestrun_kit kestrun-kit"* ]] || fail "kestrun-kit is not bound to _kestrun_kit"

help_options() {
	awk '/^[^ ]/ { in_options = ($0 == "Options:") } in_options && /^  +-/ { print $1 }' | tr ',' '\n' | sort
}
words() { tr ' ' '\n' | grep -v '^$' | sort; }

top_help=$("$kit" --help) || fail "kestrun-kit --help failed"
[ "$(help_options <<<"$top_help")" = "$(words <<<"$_kestrun_kit_global_options")" ] ||
	fail "global options: completion has '$_kestrun_kit_global_options', kestrun-kit --help has '$(help_options <<<"$top_help" | xargs)'"
commands=$(awk '/^[^ ]/ { in_list = ($0 == "Subcommands:") } in_list && /^  +[a-z]/ { print $1 }' <<<"$top_help" | sort)
table_commands=$(for line in "${_kestrun_kit_table[@]}"; do echo "${line%% *}"; done | sort)
[ "$commands" = "$table_commands" ] ||
	fail "commands: completion has '$(xargs <<<"$table_commands")', kestrun-kit --help has '$(xargs <<<"$commands")'"
for line in "${_kestrun_kit_table[@]}"; do
	command=${line%% *}
	grep -qx -- "$command" <<<"$commands" || continue
	expected=$(help_options <<<"$("$kit" "$command" --help)")
	[ "$(words <<<"${line#* }")" = "$expected" ] ||
		fail "$command: completion has '${line#* }', kestrun-kit $command --help has '$(xargs <<<"$expected")'"
done

# Completes the words given, the last being the one under the cursor, and
# compares the offers, sorted, with EXPECTED (space-separated).
check() { # EXPECTED WORD...
	local expected=$1
	shift
	COMP_WORDS=("$@")
	COMP_CWORD=$(($# - 1))
	COMP_LINE="$*"
	COMP_POINT=${#COMP_LINE}
	COMPREPLY=()
	_kestrun_kit kestrun-kit "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
	local got
	got=$(printf '%s\n' "${COMPREPLY[@]}" | grep -v '^$' | sort | xargs)
	[ "$got" = "$(words <<<"$expected" | xargs)" ] || fail "completing '$*': got '$got', expected '$expected'"
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
mkdir folder
touch car.dff BIKE.DFF cars.txd SHARED.TXD notes.txt
all_commands=$(xargs <<<"$commands")

check "$all_commands" kestrun-kit ""
check "inspect" kestrun-kit in
check "-h --help --version" kestrun-kit -
check "--json --strict --help" kestrun-kit check --
check "BIKE.DFF car.dff cars.txd SHARED.TXD folder" kestrun-kit check ""
check "car.dff cars.txd" kestrun-kit inspect --json c
check "cars.txd SHARED.TXD folder" kestrun-kit txd ""
check "folder" kestrun-kit txd -o ""
check "folder" kestrun-kit png --output ""
check "folder" kestrun-kit png --output = ""
check "" kestrun-kit inspect --depth ""
check "BIKE.DFF car.dff folder" kestrun-kit gltf ""
check "cars.txd SHARED.TXD folder" kestrun-kit gltf car.dff --txd ""
check "cars.txd SHARED.TXD folder" kestrun-kit gltf car.dff --txd cars.txd ""
check "BIKE.DFF car.dff cars.txd SHARED.TXD folder notes.txt" kestrun-kit gltf car.dff -o ""
check "BIKE.DFF car.dff folder" kestrun-kit gltf --txd cars.txd -o out.glb ""

if [ "$failures" -ne 0 ]; then
	echo "$failures failure(s)" >&2
	exit 1
fi
echo "bash completion: agrees with kestrun-kit --help, completes commands, options and files"
