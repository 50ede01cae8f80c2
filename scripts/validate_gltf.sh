#!/usr/bin/env bash
# validate_gltf.sh FILE...: runs the pinned glTF validator on each file and
# fails (exit 1) on any error or warning; infos and hints are allowed. The
# validator is installed by scripts/setup.sh into tools/node/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -f "$here/../tools/node/node_modules/gltf-validator/index.js" ]; then
	echo "validate_gltf.sh: the glTF validator is not installed; run scripts/setup.sh" >&2
	exit 2
fi
exec node "$here/validate_gltf.cjs" "$@"
