#!/usr/bin/env bash
# windows_deps.sh [TRIPLE...]
#
# Cross-builds the kit's compiled libraries, libspng and libsquish, for
# Windows from Debian's own source packages: static libraries and headers in
# build-deps/TRIPLE/ (lib/, include/), where cmake/mingw-w64.cmake looks.
# TRIPLE defaults to both x86_64-w64-mingw32 and i686-w64-mingw32.
#
# The version built is the one the Linux build links (the installed -dev
# package's source version), so both builds run the same library code; the
# release's own version when that package is not installed. The sources are
# fetched with `apt-get source` through an apt configuration of our own
# under build-deps/apt/ (one deb-src line for the release this machine runs,
# its own lists and cache), so the machine's apt setup is never touched.
# dpkg-source unpacks them with Debian's patches applied. A target whose
# libraries were built from these versions by this recipe is left alone, so
# a second run costs nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
deps=$root/build-deps

if [ $# -gt 0 ]; then
	triples=("$@")
else
	triples=(x86_64-w64-mingw32 i686-w64-mingw32)
fi

# Raised whenever the way the libraries are built changes: every target is
# then built afresh.
recipe=1
# source package, the -dev package the Linux build uses
packages=("libspng libspng-dev" "libsquish libsquish-dev")

installed_version() { # DEV_PACKAGE: its source version without epoch, or nothing
	local version
	version=$(dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || true)
	echo "${version#*:}"
}

# What each target is built from; compared with the stamp it was built with.
# A version that is not known yet (no -dev package) forces a fetch.
wanted_stamp() { # TRIPLE
	echo "recipe $recipe"
	echo "compiler $("$1-g++-posix" -dumpfullversion 2>/dev/null || echo none)"
	local entry source dev
	for entry in "${packages[@]}"; do
		read -r source dev <<<"$entry"
		echo "$source $(installed_version "$dev")"
	done
}

stale=()
for triple in "${triples[@]}"; do
	if ! command -v "$triple-g++-posix" >/dev/null 2>&1; then
		echo "windows_deps: $triple-g++-posix not found; run make windows, which installs it" >&2
		exit 1
	fi
	stamp=$(wanted_stamp "$triple")
	if [[ $stamp == *" "$'\n'* || $stamp == *" " ]] || [ "$(cat "$deps/$triple/versions.txt" 2>/dev/null)" != "$stamp" ]; then
		stale+=("$triple")
	else
		echo "windows_deps: $triple up to date ($(echo "$stamp" | tail -n +3 | tr '\n' ' '| sed 's/ $//'))"
	fi
done
[ ${#stale[@]} -gt 0 ] || exit 0

# The private apt setup: the release's sources only.
. /etc/os-release
codename=${VERSION_CODENAME:?/etc/os-release names no release}
case "${ID:-}" in
debian) mirror=${KESTRUN_DEBIAN_MIRROR:-http://deb.debian.org/debian} ;;
ubuntu) mirror=${KESTRUN_DEBIAN_MIRROR:-http://archive.ubuntu.com/ubuntu} ;;
*)
	echo "windows_deps: $PRETTY_NAME is neither Debian nor Ubuntu; set KESTRUN_DEBIAN_MIRROR" >&2
	[ -n "${KESTRUN_DEBIAN_MIRROR:-}" ] || exit 1
	mirror=$KESTRUN_DEBIAN_MIRROR
	;;
esac
components=main
[ "${ID:-}" = ubuntu ] && components="main universe"
apt_dir=$deps/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$deps/sources"
signed=
for keyring in /usr/share/keyrings/debian-archive-keyring.gpg /usr/share/keyrings/ubuntu-archive-keyring.gpg; do
	[ -f "$keyring" ] && [[ $keyring == *"${ID:-none}"* ]] && signed="[signed-by=$keyring] "
done
echo "deb-src $signed$mirror $codename $components" >"$apt_dir/sources.list"
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
	-o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
# Run as root, apt downloads as the _apt user, who cannot write here.
[ "$(id -u)" -eq 0 ] && apt_options+=(-o APT::Sandbox::User=root)

echo "windows_deps: fetching the source index of $codename"
apt-get "${apt_options[@]}" -qq update

# Fetches and unpacks SOURCE (at VERSION when given, and the release has
# it); prints the unpacked folder.
fetch() { # SOURCE VERSION
	local source=$1 version=$2 dsc
	cd "$deps/sources"
	if [ -z "$version" ] || [ ! -f "${source}_$version.dsc" ]; then
		if [ -z "$version" ] || ! apt-get "${apt_options[@]}" -qq source --download-only "$source=$version" >&2; then
			[ -n "$version" ] && echo "windows_deps: $source $version is not in $codename; taking the release's" >&2
			apt-get "${apt_options[@]}" -qq source --download-only "$source" >&2
		fi
	fi
	dsc=$(ls -t "${source}"_*.dsc | head -n 1)
	[ -z "$version" ] || [ ! -f "${source}_$version.dsc" ] || dsc=${source}_$version.dsc
	local folder=$deps/sources/${dsc%.dsc}
	if [ ! -d "$folder" ]; then
		rm -rf "$folder.tmp"
		dpkg-source --no-check -x "$dsc" "$folder.tmp" >/dev/null
		mv "$folder.tmp" "$folder"
	fi
	cd "$root"
	echo "$folder"
}

declare -A folder_of version_of
for entry in "${packages[@]}"; do
	read -r source dev <<<"$entry"
	folder_of[$source]=$(fetch "$source" "$(installed_version "$dev")")
	version_of[$source]=$(basename "${folder_of[$source]}" | cut -d_ -f2)
done

jobs=${JOBS:-2}
for triple in "${stale[@]}"; do
	case $triple in
	x86_64-*) toolchain=$root/cmake/mingw-w64-x86_64.cmake ;;
	i686-*) toolchain=$root/cmake/mingw-w64-i686.cmake ;;
	*) echo "windows_deps: no toolchain file for $triple" >&2; exit 1 ;;
	esac
	prefix=$deps/$triple
	rm -rf "$prefix" "$deps/build/$triple"
	# Each library through its own CMake build with our toolchain file, as
	# Debian configures it where that matters: libspng without its
	# processor-specific code paths, libsquish without OpenMP (which would
	# pull in a runtime DLL) and without SSE, as Debian's build of it.
	# Optimised as Debian's packages are.
	common=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -Wno-dev)
	build=$deps/build/$triple
	echo "windows_deps: $triple: libspng ${version_of[libspng]}"
	# Only its static library is built: the shared one would import zlib's
	# DLL. Its install rules expect both, so the two files are copied.
	cmake -S "${folder_of[libspng]}" -B "$build/libspng" "${common[@]}" -DCMAKE_C_FLAGS_RELEASE=-O2 -DENABLE_OPT=OFF -DBUILD_EXAMPLES=OFF >/dev/null
	cmake --build "$build/libspng" -j "$jobs" --target spng_static >/dev/null
	mkdir -p "$prefix/lib" "$prefix/include"
	cp "$build/libspng/libspng_static.a" "$prefix/lib/libspng.a"
	cp "${folder_of[libspng]}/spng/spng.h" "$prefix/include/"
	echo "windows_deps: $triple: libsquish ${version_of[libsquish]}"
	cmake -S "${folder_of[libsquish]}" -B "$build/libsquish" "${common[@]}" -DCMAKE_CXX_FLAGS_RELEASE=-O2 -DCMAKE_INSTALL_PREFIX="$prefix" \
		-DBUILD_SHARED_LIBS=OFF -DBUILD_SQUISH_WITH_OPENMP=OFF -DBUILD_SQUISH_WITH_SSE2=OFF -DBUILD_SQUISH_EXTRA=OFF >/dev/null
	cmake --build "$build/libsquish" -j "$jobs" >/dev/null
	cmake --install "$build/libsquish" >/dev/null
	# Stamped last: a build that stops half way is done again next time.
	# The versions built are kept for the release notes, which may differ
	# from the ones wanted when the release lacks those.
	for source in "${!version_of[@]}"; do echo "$source ${version_of[$source]}"; done | sort >"$prefix/built.txt"
	wanted_stamp "$triple" >"$prefix/versions.txt"
done
rm -rf "$deps/build"
echo "windows_deps: built ${stale[*]}"
