#!/usr/bin/env bash
# The Windows builds held to the Linux tests, under wine: both cross-builds,
# their GoogleTest suites, the command-line tests against each kestrun.exe,
# and the end-to-end comparison with the Linux build. Expects `make windows`
# and the Linux build in build/ (BUILD) to be done.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build}
windows_builds=(build-win64 build-win32)

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEPREFIX=${WINEPREFIX:-$PWD/build-wine/prefix}

# A prefix made before every wine package was installed breaks later,
# silently; keep it only while the installed wine is the one it was made by.
stamp=$(dpkg-query -W wine wine64 wine32:i386 2>/dev/null || true)
if [ -d "$WINEPREFIX" ] && [ "$(cat "$WINEPREFIX/.kestrun-wine" 2>/dev/null)" != "$stamp" ]; then
	rm -rf "$WINEPREFIX"
fi
# The server starts first and detached, so that no test inherits its pipes.
(mkdir -p "$WINEPREFIX" && wineserver -p && wine cmd /c exit) </dev/null >/dev/null 2>&1
echo "$stamp" >"$WINEPREFIX/.kestrun-wine"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

for windows in "${windows_builds[@]}"; do
	echo "== $windows: unit tests under wine"
	(cd "$windows" && ctest --output-on-failure)
	echo "== $windows: command-line tests against kestrun.exe"
	KESTRUN_TEST_BINARY=$PWD/scripts/wine_kestrun.sh KESTRUN_WINDOWS_EXE=$PWD/$windows/kestrun.exe \
		KESTRUN_TEST_WINDOWS=1 "$build/tests/kestrun_cli_tests" --gtest_brief=1
done

echo "== end-to-end: Linux against ${windows_builds[*]}"
scripts/compare_windows.sh "$build" "${windows_builds[@]}"
