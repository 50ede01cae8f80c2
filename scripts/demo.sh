#!/usr/bin/env bash
# Generates sample containers, converts them with kestrun '*', shows what was
# written, makes the inflated texture dictionaries PC ones and exports their
# textures as PNG with kestrun-kit, inspects one converted model and checks
# every output, and exports the showcase crate as binary glTF; any failure
# or check error fails the demo. Last, the console files converted into a PC
# folder in one step with kestrun-kit convert.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"
"$build/kestrun-samples" "$demo"
cd "$demo"
echo
echo "\$ kestrun '*'"
status=0
"$build/kestrun" '*' || status=$?
echo "(exit status $status)"
echo
echo "Written to $demo/output:"
ls -l output
[ "$status" -eq 0 ] || exit $status

echo
echo "\$ kestrun-kit txd output/*.txd"
"$build/kestrun-kit" txd output/*.txd
echo
echo "\$ kestrun-kit png -o output/textures output/*.txd"
"$build/kestrun-kit" png -o output/textures output/*.txd

echo
echo "\$ kestrun-kit inspect --depth 3 output/model02.dff"
"$build/kestrun-kit" inspect --depth 3 output/model02.dff
echo
echo "\$ kestrun-kit check output/*.dff output/*.txd"
status=0
"$build/kestrun-kit" check output/*.dff output/*.txd || status=$?
echo "(exit status $status)"

# The crate, the one sample a person recognises, as binary glTF to look at.
echo
echo "\$ kestrun-kit gltf output/crate.dff --txd output/crate.txd -o glb/"
"$build/kestrun-kit" gltf output/crate.dff --txd output/crate.txd -o glb/ || status=$?
echo
echo "The crate is in $demo/glb/crate.glb. To look at it: Blender's"
echo "File > Import > glTF 2.0, any web glTF viewer (drop the file on the page),"
echo "or the operating system's 3D viewer. Each face reads its name the right"
echo "way round with its arrow pointing up (TOP's to the back); FRONT faces +Z,"
echo "RIGHT +X, and the wheel sits low on the right towards the front. The face"
echo "images are also in $demo/output/textures/crate_*.png."

# The one-step route: the console files, kept in a folder of their own, into
# a PC folder.
mkdir -p console
mv ./*.dff ./*.txd console/
echo
echo "\$ kestrun-kit convert -o pc console"
"$build/kestrun-kit" convert -o pc console || status=$?
echo
echo "Written to $demo/pc: $(find pc -name '*.dff' | wc -l) PC models and $(find pc -name '*.txd' | wc -l) PC dictionaries,"
echo "each made as kestrun '*' and then kestrun-kit fix (models) or kestrun-kit txd (dictionaries) make it."
exit $status
