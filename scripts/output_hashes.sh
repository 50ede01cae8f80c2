#!/usr/bin/env bash
# Prints SHA-256 hashes of what the converter makes of a fixed set of
# inputs, one line each, so that two trees can be compared with diff:
#   - the hand-made worked example and every file of fuzz/corpus/convert,
#     converted as inflated streams (kestrun-convert-streams), and the
#     geometries each reports;
#   - the sample generator's files (kestrun-samples DIR 40) and every file of
#     fuzz/corpus/file taken as a model, through the kestrun binary, with its
#     console messages.
#   - what kestrun-kit makes of the samples' outputs: txd, png, gltf and fix
#     results, and the text and JSON of inspect and check, with exit codes.
# Uses BUILD (default build), building the programs it needs; with BIN set,
# the programs already in that folder (to hash an older tree's binaries).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
root=$PWD

if [ -z "${BIN:-}" ]; then
	cmake -S . -B "$build" >/dev/null
	cmake --build "$build" -j 2 --target kestrun kestrun-kit kestrun-samples kestrun-convert-streams >/dev/null
	BIN=$root/$build
fi
build=$BIN

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrun-hashes.XXXXXX")
trap 'rm -rf "$work"' EXIT

hashes() { (cd "$1" && find . -type f | LC_ALL=C sort | xargs -r sha256sum | sed "s|  \./|  $2/|"); }

"$build/kestrun-convert-streams" "$work/streams" fuzz/corpus/convert/* >"$work/streams.txt"
hashes "$work/streams" streams
echo "$(sha256sum <"$work/streams.txt" | cut -d' ' -f1)  streams: reports"

mkdir -p "$work/samples"
"$build/kestrun-samples" "$work/samples" 40 >/dev/null
(cd "$work/samples" && "$build/kestrun" '*' >"$work/samples.out" 2>"$work/samples.err") || true
hashes "$work/samples/output" samples
echo "$(cat "$work/samples.err" | sha256sum | cut -d' ' -f1)  samples: messages"

mkdir -p "$work/files"
for f in fuzz/corpus/file/*; do cp "$f" "$work/files/$(basename "$f").dff"; done
(cd "$work/files" && "$build/kestrun" '*' >"$work/files.out" 2>"$work/files.err") || true
hashes "$work/files/output" files
echo "$(sha256sum <"$work/files.err" | cut -d' ' -f1)  files: messages"

# The kit over the samples' outputs, each command's files, text and status.
kit=$build/kestrun-kit
k=$work/samples/output
hash_run() { # LABEL COMMAND...: the hash of a command's output and status
	local label=$1 status=0
	shift
	(cd "$k" && "$@" >"$work/run.out" 2>&1) || status=$?
	echo "$( (sed "s|$work|WORK|g" "$work/run.out"; echo "exit $status") | sha256sum | cut -d' ' -f1)  kit: $label"
}
hash_run "inspect" "$kit" inspect --depth 4 model00.dff textures00.txd
hash_run "inspect --json" "$kit" inspect --json model01.dff textures01.txd
mkdir -p "$work/kit"
hash_run "txd -o" "$kit" txd -o "$work/kit/pc" textures00.txd textures01.txd
hash_run "png" "$kit" png -o "$work/kit/png" --levels textures00.txd textures01.txd
hash_run "gltf" "$kit" gltf model00.dff model05.dff model08.dff --txd textures00.txd textures01.txd -o "$work/kit/glb/"
cp "$k"/model0*.dff "$work/kit/"
hash_run "fix" "$kit" fix "$work"/kit/model0*.dff
hash_run "check --json" "$kit" check --json "$work"/kit/model0*.dff "$work"/kit/pc/textures00.txd
hash_run "check" "$kit" check model01.dff model02.dff textures00.txd
hashes "$work/kit" kit
