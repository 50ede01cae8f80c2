#!/usr/bin/env bash
# Builds the release packages into dist/ and checks what each one holds:
#   dist/kestrun-VERSION-win64.zip, dist/kestrun-VERSION-win32.zip
#     kestrun.exe, kestrun-kit.exe, README.txt, LICENSE.txt,
#     THIRD-PARTY-NOTICES.txt, CHANGELOG.txt and each exe's manual page as
#     PROGRAM-manual.txt (CRLF lines)
#   dist/kestrun_VERSION_amd64.deb (CPack; its dependencies from the build),
#     which lintian must pass without an error or a warning
# Expects `make windows` to have configured build-win64 and build-win32.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc)}
rm -rf dist
mkdir -p dist

# Linux: a Release build without tests, packaged by CPack, with Debian's
# build flags (dpkg-buildflags: fortified functions, stack protector, full
# RELRO with immediate binding), as Debian's own packages are built.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build-dist -DCMAKE_BUILD_TYPE=Release -DKESTRUN_TESTS=OFF \
	-DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
	-DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
version=$(sed -n 1p build-dist/release.txt)
read -r -a linux_programs <<<"$(sed -n 2p build-dist/release.txt | tr ';' ' ')"
# One entry per release: the latest is this version's.
changelog_version=$(dpkg-parsechangelog -l CHANGELOG -S Version)
if [ "$changelog_version" != "$version" ]; then
	echo "dist: CHANGELOG's latest entry is for $changelog_version; add one for $version" >&2
	exit 1
fi
cmake --build build-dist -j "$jobs" --target "${linux_programs[@]}" kestrun_docs >/dev/null
(cd build-dist && cpack -G DEB >/dev/null)

crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }
# A manual page as plain text, 80 columns.
man_text() { LC_ALL=C MANWIDTH=80 man -l "$1" | sed 's/.\x08//g'; }

for target in win64 win32; do
	build=build-$target
	read -r -a programs <<<"$(sed -n 2p "$build/release.txt" | tr ';' ' ')"
	cmake --build "$build" -j "$jobs" --target "${programs[@]}" >/dev/null
	name=kestrun-$version-$target
	stage=dist/stage/$name
	mkdir -p "$stage"
	strip=$(grep -m1 '^CMAKE_STRIP:' "$build/CMakeCache.txt" | cut -d= -f2)
	for program in "${programs[@]}"; do
		"$strip" -o "$stage/$program.exe" "$build/$program.exe"
		man_text "$build/man/$program.1" >"$stage/$program-manual"
		crlf "$stage/$program-manual" "$stage/$program-manual.txt"
		rm "$stage/$program-manual"
	done
	crlf README.md "$stage/README.txt"
	crlf LICENSE "$stage/LICENSE.txt"
	crlf THIRD-PARTY-NOTICES "$stage/THIRD-PARTY-NOTICES.txt"
	crlf CHANGELOG "$stage/CHANGELOG.txt"
	(cd dist/stage && cmake -E tar cf "../$name.zip" --format=zip "$name")
done
rm -rf dist/stage

# What each package must hold, and nothing else.
fail=0
check() { # PACKAGE EXPECTED ACTUAL
	if [ "$2" != "$3" ]; then
		echo "dist: $1 holds:" >&2
		echo "$3" >&2
		echo "expected:" >&2
		echo "$2" >&2
		fail=1
	fi
}
# Both programs, whatever the builds were configured with.
windows_programs=(kestrun kestrun-kit)
for target in win64 win32; do
	name=kestrun-$version-$target
	expected=$( (echo "$name/"; for p in "${windows_programs[@]}"; do echo "$name/$p.exe"; echo "$name/$p-manual.txt"; done
		printf '%s\n' "$name/CHANGELOG.txt" "$name/LICENSE.txt" "$name/README.txt" "$name/THIRD-PARTY-NOTICES.txt") | sort)
	actual=$(cd dist && cmake -E tar tf "$name.zip" | sort)
	check "$name.zip" "$expected" "$actual"
	# Windows line ends in the texts.
	(cd dist && mkdir -p check && cd check && cmake -E tar xf "../$name.zip")
	grep -q $'\r$' "dist/check/$name/README.txt" || { echo "dist: $name README.txt lacks CRLF" >&2; fail=1; }
	for p in "${windows_programs[@]}"; do
		grep -q "^NAME"$'\r$' "dist/check/$name/$p-manual.txt" || { echo "dist: $name $p-manual.txt is not a manual page with CRLF" >&2; fail=1; }
	done
	grep -q $'^## Windows\r$' "dist/check/$name/README.txt" || { echo "dist: $name README.txt has no Windows section" >&2; fail=1; }
	for library in libspng libsquish zlib CLI11 nlohmann-json LZO; do
		grep -q "$library" "dist/check/$name/THIRD-PARTY-NOTICES.txt" ||
			{ echo "dist: $name THIRD-PARTY-NOTICES.txt does not name $library" >&2; fail=1; }
	done
	rm -rf dist/check
done

deb=dist/kestrun_${version}_amd64.deb
expected=$( (for p in "${linux_programs[@]}"; do echo "./usr/bin/$p"; echo "./usr/share/man/man1/$p.1.gz"; done
	if [[ " ${linux_programs[*]} " == *" kestrun-kit "* ]]; then
		echo ./usr/share/bash-completion/completions/kestrun-kit
		echo ./usr/share/doc/kestrun/kit.md
	fi
	printf '%s\n' ./usr/share/doc/kestrun/README.md ./usr/share/doc/kestrun/THIRD-PARTY-NOTICES \
		./usr/share/doc/kestrun/changelog.gz ./usr/share/doc/kestrun/copyright) | sort)
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort)
check "$deb" "$expected" "$actual"
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *liblzo2-2* ]] || { echo "dist: $deb does not depend on liblzo2-2: $depends" >&2; fail=1; }

# Debian's own checks: no error and no warning (info tags are shown, and
# are not failures).
lintian_start=$SECONDS
if ! lintian --display-info --fail-on error,warning "$deb" 2> >(grep -v 'running with root privileges' >&2); then
	echo "dist: lintian reports errors or warnings on $deb" >&2
	fail=1
fi
echo "dist: lintian took $((SECONDS - lintian_start)) s"

[ "$fail" = 0 ] || exit 1
echo "dist: $(cd dist && ls | tr '\n' ' ')(contents checked, lintian clean; $deb depends on: $depends)"
