#!/usr/bin/env bash
# Installs what kestrun needs to build, test and run its demo, on Debian or
# Ubuntu; elsewhere it names the packages and stops.
set -euo pipefail

packages=(cmake g++ make pkg-config liblzo2-dev libgtest-dev libcli11-dev nlohmann-json3-dev libspng-dev libsquish-dev "$@")

missing=()
for p in "${packages[@]}"; do
	if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
		missing+=("$p")
	fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

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
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
