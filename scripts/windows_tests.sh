#!/usr/bin/env bash
# The Windows builds held to the Linux tests, under wine: both cross-builds,
# the DLLs their programs import, their GoogleTest suites, the command-line
# tests against each kestrun.exe and kestrun-kit.exe, and the end-to-end
# comparison with the Linux build. Expects `make windows` and the Linux
# build in build/ (BUILD) to be done. KESTRUN_WINDOWS_BUILDS names the
# builds to test, both by default.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build}
read -r -a windows_builds <<<"${KESTRUN_WINDOWS_BUILDS:-build-win64 build-win32}"
# The 32-bit build runs only where wine32 is installed; elsewhere it is
# checked for its DLLs but not run, and said so.
run_builds=()
for windows in "${windows_builds[@]}"; do
	if [ "$windows" = build-win32 ] && ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
		echo "== build-win32: NOT RUN: wine32:i386 is not installed (its packages could not be had)" >&2
		continue
	fi
	run_builds+=("$windows")
done

# Statically linked: each program imports only DLLs that every Windows has.
system_dlls="KERNEL32.dll msvcrt.dll"
for windows in "${windows_builds[@]}"; do
	objdump=$(grep -m1 '^CMAKE_OBJDUMP:' "$windows/CMakeCache.txt" | cut -d= -f2)
	for exe in kestrun.exe kestrun-kit.exe; do
		for dll in $("$objdump" -p "$windows/$exe" | sed -n 's/^\s*DLL Name: //p'); do
			if [[ " $system_dlls " != *" $dll "* ]]; then
				echo "$windows/$exe imports $dll, which is not a system DLL" >&2
				exit 1
			fi
		done
	done
	echo "== $windows: kestrun.exe and kestrun-kit.exe import only $system_dlls"
done

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

for windows in "${run_builds[@]}"; do
	echo "== $windows: unit tests under wine"
	(cd "$windows" && ctest --output-on-failure)
	echo "== $windows: command-line tests against kestrun.exe"
	KESTRUN_TEST_BINARY=$PWD/scripts/wine_kestrun.sh KESTRUN_WINDOWS_EXE=$PWD/$windows/kestrun.exe \
		KESTRUN_TEST_WINDOWS=1 "$build/tests/kestrun_cli_tests" --gtest_brief=1
	echo "== $windows: command-line tests against kestrun-kit.exe"
	KESTRUN_TEST_KIT_BINARY=$PWD/scripts/wine_kestrun_kit.sh KESTRUN_WINDOWS_KIT_EXE=$PWD/$windows/kestrun-kit.exe \
		KESTRUN_TEST_WINDOWS=1 "$build/tests/kestrun_kit_cli_tests" --gtest_brief=1
done

echo "== end-to-end: Linux against ${run_builds[*]}"
scripts/compare_windows.sh "$build" "${run_builds[@]}"
