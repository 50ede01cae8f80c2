#!/usr/bin/env bash
# Prints SHA-256 hashes of what the converter makes of a fixed set of
# inputs, one line each, so that two trees can be compared with diff:
#   - the hand-made worked example and every file of fuzz/corpus/convert,
#     converted as inflated streams (kestrun-convert-streams), and the
#     geometries each reports;
#   - the sample generator's files (kestrun-samples DIR 40) and every file of
#     fuzz/corpus/file taken as a model, through the kestrun binary, with its
#     console messages.
# Uses BUILD (default build), building the three programs it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
root=$PWD

cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j 2 --target kestrun kestrun-samples kestrun-convert-streams >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrun-hashes.XXXXXX")
trap 'rm -rf "$work"' EXIT

hashes() { (cd "$1" && find . -type f | LC_ALL=C sort | xargs -r sha256sum | sed "s|  \./|  $2/|"); }

"$build/kestrun-convert-streams" "$work/streams" fuzz/corpus/convert/* >"$work/streams.txt"
hashes "$work/streams" streams
echo "$(sha256sum <"$work/streams.txt" | cut -d' ' -f1)  streams: reports"

mkdir -p "$work/samples"
"$build/kestrun-samples" "$work/samples" 40 >/dev/null
(cd "$work/samples" && "$root/$build/kestrun" '*' >"$work/samples.out" 2>"$work/samples.err") || true
hashes "$work/samples/output" samples
echo "$(cat "$work/samples.err" | sha256sum | cut -d' ' -f1)  samples: messages"

mkdir -p "$work/files"
for f in fuzz/corpus/file/*; do cp "$f" "$work/files/$(basename "$f").dff"; done
(cd "$work/files" && "$root/$build/kestrun" '*' >"$work/files.out" 2>"$work/files.err") || true
hashes "$work/files/output" files
echo "$(sha256sum <"$work/files.err" | cut -d' ' -f1)  files: messages"
