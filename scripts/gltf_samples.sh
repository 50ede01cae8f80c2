#!/usr/bin/env bash
# gltf_samples.sh [BUILD]: exports every generated sample model (MODELS of them,
# default 100, the first twelve those of make demo, then the crate) to binary
# glTF with the sample dictionaries and runs the glTF validator over every file;
# fails on any error or warning. Each model is exported twice, from the
# console container and from kestrun's converted output, and both exports
# must be the same bytes. Uses the programs in BUILD (default build).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
start=$(date +%s%N)

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrun-gltf.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/kestrun-samples" . "${MODELS:-100}" >/dev/null
"$build/kestrun" '*' >/dev/null

"$build/kestrun-kit" gltf ./*.dff --txd ./*.txd -o console/ >/dev/null 2>warnings.txt
"$build/kestrun-kit" gltf output/*.dff --txd output/*.txd -o converted/ >/dev/null 2>>warnings.txt
for glb in console/*.glb; do
	cmp "$glb" "converted/${glb#console/}"
done

"$here/validate_gltf.sh" console/*.glb >/dev/null
models=$(ls console/*.glb | wc -l)
ms=$((($(date +%s%N) - start) / 1000000))
printf 'gltf samples: %d models exported twice, the same bytes, validator clean, in %d.%03d s\n' \
	"$models" $((ms / 1000)) $((ms % 1000))
