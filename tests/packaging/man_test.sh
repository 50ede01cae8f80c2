#!/usr/bin/env bash
# The manual pages against the programs and the README:
#   - every page renders without a warning, the way lintian renders it;
#   - kestrun-kit(1) has a subsection for every command `kestrun-kit --help`
#     lists, and each holds every option of `kestrun-kit COMMAND --help`;
#     its OPTIONS section holds every option of `kestrun-kit --help`;
#   - kestrun(1) gives every exit code, message and cause of the README's
#     table, word for word, and its example of a problem line.
# Usage: man_test.sh KESTRUN_KIT MAN_DIR README
set -uo pipefail
kit=$1 man_dir=$2 readme=$3

failures=0
fail() {
	echo "FAIL: $*" >&2
	failures=$((failures + 1))
}

# What a page says, as plain text on lines long enough never to break one.
render() { LC_ALL=C MANWIDTH=1000 man -l "$1" 2>/dev/null | sed 's/.\x08//g'; }
# Lower case, one space between words.
squeeze() { tr '[:upper:]' '[:lower:]' | tr -s ' \t\n' '   ' ; }

for page in "$man_dir"/*.1; do
	# lintian's manual page check: groff warnings fail it.
	warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
	[ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
	[ -n "$(render "$page")" ] || fail "$(basename "$page") renders as nothing"
done

# The options of a --help text: the first word of each line of its
# "Options:" list, -h,--help split at the comma.
help_options() {
	awk '/^[^ ]/ { in_options = ($0 == "Options:") } in_options && /^  +-/ { print $1 }' |
		tr ',' '\n'
}
# The commands of the top-level --help text.
help_commands() {
	awk '/^[^ ]/ { in_list = ($0 == "Subcommands:") } in_list && /^  +[a-z]/ { print $1 }'
}
# The lines of a rendered page from the heading that matches PATTERN to the
# next heading of the same or a higher level.
section() { # TEXT PATTERN
	awk -v pattern="$2" '
		found && (/^[^ ]/ || (subsection && /^   [^ ]/)) { exit }
		found { print }
		!found && $0 ~ pattern { found = 1; subsection = /^   [^ ]/ }
	' <<<"$1"
}
# Whether OPTION heads one of the section's option entries (a tagged
# paragraph: "       -o, --output DIR"), not just a mention in passing.
has_option() { # TEXT OPTION
	grep -E -- '^       -' <<<"$1" | grep -Eq -- "(^|[ ,])$2([ ,=]|$)"
}

kit_page=$man_dir/kestrun-kit.1
if [ -f "$kit_page" ]; then
	text=$(render "$kit_page")
	top_help=$("$kit" --help) || fail "kestrun-kit --help failed"
	options=$(section "$text" '^OPTIONS$')
	for option in $(help_options <<<"$top_help"); do
		has_option "$options" "$option" || fail "kestrun-kit(1) OPTIONS lacks $option of kestrun-kit --help"
	done
	commands=$(help_commands <<<"$top_help")
	[ -n "$commands" ] || fail "kestrun-kit --help lists no command"
	for command in $commands; do
		body=$(section "$text" "^   $command( |\$)")
		if [ -z "$body" ]; then
			fail "kestrun-kit(1) has no subsection for the command $command"
			continue
		fi
		for option in $(help_options <<<"$("$kit" "$command" --help)"); do
			has_option "$body" "$option" || fail "kestrun-kit(1), command $command, lacks $option of kestrun-kit $command --help"
		done
	done
	# And no subsection for a command the program lacks.
	for documented in $(section "$text" '^COMMANDS$' | awk '/^   [^ ]/ { print $1 }'); do
		grep -qx -- "$documented" <<<"$commands" || fail "kestrun-kit(1) documents $documented, which kestrun-kit --help does not list"
	done
else
	fail "no kestrun-kit.1 in $man_dir"
fi

page=$man_dir/kestrun.1
if [ -f "$page" ]; then
	text=$(render "$page" | squeeze)
	# The README's rows: | exit | `message` or nothing | when |
	rows=$(sed -n '/^### Messages and exit codes/,/^What makes a file fail/p' "$readme" | grep -E '^\| [0-9]+ \|')
	[ "$(wc -l <<<"$rows")" -ge 8 ] || fail "README: the table of messages and exit codes was not found"
	while IFS='|' read -r _ code message when _; do
		code=$(xargs <<<"$code")
		when=$(sed 's/`//g' <<<"$when" | squeeze | sed 's/^ *//;s/ *$//')
		message=$(sed 's/^ *//;s/ *$//' <<<"$message")
		if [[ $message == \`*\` ]]; then
			expected="$code \"${message:1:${#message}-2}\": $when"
		else
			expected="$code $message: $when"
		fi
		expected=$(squeeze <<<"$expected" | sed 's/ $//')
		grep -qF -- "$expected" <<<"$text" || fail "kestrun(1) EXIT STATUS lacks the README's row: $expected"
	done <<<"$rows"
	example=$(grep -o '`b\.dff: [^`]*`' "$readme" | head -1 | tr -d '`')
	[ -n "$example" ] || fail "README: the example of a problem line was not found"
	grep -qF -- "$(squeeze <<<"$example" | sed 's/ $//')" <<<"$text" || fail "kestrun(1) lacks the README's problem line: $example"
else
	fail "no kestrun.1 in $man_dir"
fi

if [ "$failures" -ne 0 ]; then
	echo "$failures failure(s)" >&2
	exit 1
fi
echo "manual pages: rendered without warnings, every option and message found"
