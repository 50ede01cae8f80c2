#!/usr/bin/env bash
# Generates sample containers, converts them with kestrun '*', and shows what
# was written.
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
exit $status
