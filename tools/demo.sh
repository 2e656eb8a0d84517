#!/usr/bin/env bash
# Installs what is missing, builds, and converts the bundled example copybook.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/deps.sh"
"$root/tools/build.sh" "$root/build"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cp "$root/examples/CUSTREC.cpy" "$out/"
cd "$out"
"$root/build/vexfcbl" -i CUSTREC.cpy || true
if [ -f CUSTREC.gnv ]; then cat CUSTREC.gnv; fi
