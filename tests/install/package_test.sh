#!/usr/bin/env bash
# CPack's .deb: the programs, man pages, schemas and example, and the runtime dependencies the programs link.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/log" 2>&1 || { cat "$scratch/log"; fail "cpack failed"; }
deb=$(ls "$scratch"/vexfcbl_*.deb)
info=$(dpkg-deb -I "$deb")
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/vexfcbl ./usr/bin/vexfcbl-decode ./usr/bin/vexfcbl-encode ./usr/bin/vexfcbl-dask \
         ./usr/lib/python3/dist-packages/vexfcbl_dask/__init__.py ./usr/share/man/man1/vexfcbl-dask.1 \
         ./usr/share/man/man1/vexfcbl.1 \
         ./usr/share/man/man1/vexfcbl-decode.1 ./usr/share/man/man1/vexfcbl-encode.1 \
         ./usr/share/vexfcbl/vexfcbl.xsd \
         ./usr/share/vexfcbl/vexfcbl-definitions.xsd ./usr/share/vexfcbl/layout.schema.json \
         ./usr/share/doc/vexfcbl/examples/CUSTREC.cpy; do
  grep -qxF "$f" <<<"$contents" || fail "not in the package: $f"
done
if [ -d "$build/python/vexfcbl" ]; then
  grep -qxF ./usr/lib/python3/dist-packages/vexfcbl/__init__.py <<<"$contents" ||
    fail "not in the package: the vexfcbl module"
  grep -qE '^\./usr/lib/python3/dist-packages/vexfcbl/_vexfcbl\.cpython-.*\.so$' <<<"$contents" ||
    fail "not in the package: the vexfcbl module's library"
fi
version=$("$build/vexfcbl" --version | awk '{print $2}')
grep -qE "^ Version: $version\$" <<<"$info" || fail "package version is not $version"
depends=$(grep '^ Depends:' <<<"$info") || fail "no Depends"
grep -q 'libstdc++6' <<<"$depends" || fail "libstdc++6 missing: $depends"
# Every library the programs link (besides the C and C++ runtimes) must be
# a dependency; Xerces no longer is.
# grep -q would stop reading early and pipefail would see ldd's SIGPIPE.
if ldd "$build/vexfcbl" | grep 'libmimalloc' >/dev/null; then
  grep -q 'libmimalloc2.0' <<<"$depends" || fail "libmimalloc2.0 missing: $depends"
else
  grep -q 'mimalloc' <<<"$depends" && fail "mimalloc not linked but a dependency: $depends"
fi
grep -qi 'xerces' <<<"$depends" && fail "Xerces is a dependency: $depends"
grep -qE '^ Recommends:.*python3-distributed' <<<"$info" || fail "python3-distributed not recommended"
echo "package: ok ($depends)"
