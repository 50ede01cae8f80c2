#!/usr/bin/env bash
# Installs what kestrun needs to build, test and run its demo, on Debian or
# Ubuntu; elsewhere it names the packages and stops. Then installs the pinned
# glTF validator into tools/node/ (git-ignored) with npm.
set -euo pipefail
cd "$(dirname "$0")/.."

# man-db renders the manual pages in the tests; gzip packs them.
packages=(cmake g++ make pkg-config liblzo2-dev libgtest-dev libcli11-dev nlohmann-json3-dev libspng-dev libsquish-dev man-db gzip "$@")

# Node.js and npm run the glTF validator. They are tested by command, not by
# package name: a machine may have them from elsewhere.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)
# python3 runs the third-party reader the tests load our outputs with.
command -v python3 >/dev/null 2>&1 || packages+=(python3)

missing=()
for p in "${packages[@]}"; do
	if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
		missing+=("$p")
	fi
done

install_packages() {
	if ! command -v apt-get >/dev/null 2>&1 || ! command -v dpkg-query >/dev/null 2>&1; then
		echo "kestrun needs these packages (Debian names): ${packages[*]}" >&2
		echo "This system has no apt-get: install their equivalents by hand, then run make again." >&2
		exit 1
	fi

	if [ "$(id -u)" -eq 0 ]; then
		sudo=()
	elif command -v sudo >/dev/null 2>&1; then
		sudo=(sudo)
	else
		echo "Missing packages: ${missing[*]}; run as root or install sudo." >&2
		exit 1
	fi

	echo "Installing: ${missing[*]}"
	# A package for 32-bit x86 (wine32:i386) needs that architecture enabled.
	if [[ " ${missing[*]}" == *":i386"* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
		"${sudo[@]}" dpkg --add-architecture i386
	fi
	# A mirror half way through a sync fails one index or another; the lists
	# already there still serve, and a package that cannot be had fails below.
	"${sudo[@]}" apt-get update -qq || echo "setup: apt-get update reported errors; going on with the lists there are" >&2
	DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}
[ ${#missing[@]} -eq 0 ] || install_packages

validator_version=2.0.0-dev.3.10
installed=$(node -p 'require("./tools/node/node_modules/gltf-validator/package.json").version' 2>/dev/null || true)
if [ "$installed" != "$validator_version" ]; then
	echo "Installing gltf-validator $validator_version into tools/node/"
	mkdir -p tools/node
	npm install --prefix tools/node --no-save --no-audit --no-fund --loglevel=error \
		"gltf-validator@$validator_version" >/dev/null
fi
