#!/usr/bin/env bash
# cmake --install into a scratch DESTDIR: files in place, the installed program converts the example as the build's does, man pages clean and complete.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$scratch/dest" cmake --install "$build" --prefix /usr >/dev/null
root="$scratch/dest/usr"
for f in bin/vexfcbl bin/vexfcbl-decode bin/vexfcbl-encode share/man/man1/vexfcbl.1 \
         share/man/man1/vexfcbl-decode.1 share/man/man1/vexfcbl-encode.1 share/man/man1/vexfcbl-dask.1 \
         share/vexfcbl/vexfcbl.xsd share/vexfcbl/vexfcbl-definitions.xsd \
         share/vexfcbl/layout.schema.json share/doc/vexfcbl/examples/CUSTREC.cpy; do
  [ -f "$root/$f" ] || fail "not installed: $f"
done
[ -x "$root/bin/vexfcbl" ] && [ -x "$root/bin/vexfcbl-decode" ] && [ -x "$root/bin/vexfcbl-encode" ] ||
  fail "programs not executable"

# The installed program on the installed example gives the build's document
# and messages, and the document follows the installed schema.
mkdir "$scratch/a" "$scratch/b"
cp "$root/share/doc/vexfcbl/examples/CUSTREC.cpy" "$scratch/a/"
cp "$root/share/doc/vexfcbl/examples/CUSTREC.cpy" "$scratch/b/"
(cd "$scratch/a" && "$root/bin/vexfcbl" -i CUSTREC.cpy -r -strict 2>err) || fail "installed vexfcbl failed"
(cd "$scratch/b" && "$build/vexfcbl" -i CUSTREC.cpy -r -strict 2>err) || fail "built vexfcbl failed"
cmp "$scratch/a/CUSTREC.gnv" "$scratch/b/CUSTREC.gnv" || fail "installed document differs"
cmp "$scratch/a/err" "$scratch/b/err" || fail "installed messages differ"
if command -v xmllint >/dev/null; then
  xmllint --noout --schema "$root/share/vexfcbl/vexfcbl.xsd" "$scratch/a/CUSTREC.gnv" 2>/dev/null ||
    fail "document does not follow the installed schema"
fi
[ "$("$root/bin/vexfcbl" --version)" = "$("$build/vexfcbl" --version)" ] || fail "--version differs"
grep -qE '^vexfcbl-decode [0-9]+\.[0-9]+\.[0-9]+( \(git [0-9a-f]+\))?$' <<<"$("$root/bin/vexfcbl-decode" --version)" ||
  fail "vexfcbl-decode --version: $("$root/bin/vexfcbl-decode" --version)"

# The installed encoder writes back what the installed decoder read.
mkdir "$scratch/e"
printf '       01  R.\n           05  R-A  PIC X(4).\n           05  R-N  PIC S9(5)V99 COMP-3.\n' >"$scratch/e/r.cpy"
printf 'ABCD\x00\x12\x34\x5dWXYZ\x99\x99\x99\x9c' >"$scratch/e/r.dat"
(cd "$scratch/e" && "$root/bin/vexfcbl-decode" -i r.cpy -q -codepage ASCII r.dat >r.jsonl &&
  "$root/bin/vexfcbl-encode" -i r.cpy -q -codepage ASCII r.jsonl -o back.dat) || fail "installed vexfcbl-encode failed"
cmp "$scratch/e/r.dat" "$scratch/e/back.dat" || fail "installed vexfcbl-encode does not give back the decoded file"

# vexfcbl-dask: the command finds its package and the decoder beside it; on
# a local cluster of one worker its parts are what the installed decoder writes.
[ -x "$root/bin/vexfcbl-dask" ] || fail "vexfcbl-dask not installed"
[ -f "$root/lib/python3/dist-packages/vexfcbl_dask/__init__.py" ] || fail "vexfcbl_dask not installed"
mkdir "$scratch/d"
printf '       01  R.\n           05  R-A  PIC X(4).\n           05  R-N  PIC 9(4).\n' >"$scratch/d/r.cpy"
printf 'ABCD0001EFGH0002IJKL00X3MNOP0004QRST0005' >"$scratch/d/r.dat"
(cd "$scratch/d" && "$root/bin/vexfcbl-decode" -i r.cpy -codepage ASCII -o single r.dat 2>single.err) ||
  fail "installed vexfcbl-decode failed"
(cd "$scratch/d" && env -u VEXFCBL_DECODE PYTHONDONTWRITEBYTECODE=1 "$root/bin/vexfcbl-dask" -i r.cpy \
  -codepage ASCII --local 1 --split-mb 0.00001 -o out r.dat 2>dask.err) ||
  fail "installed vexfcbl-dask failed: $(cat "$scratch/d/dask.err")"
[ "$(ls "$scratch/d/out" | tr '\n' ' ')" = "_SUCCESS part-00000.jsonl part-00001.jsonl part-00002.jsonl part-00003.jsonl part-00004.jsonl " ] ||
  fail "vexfcbl-dask parts: $(ls "$scratch/d/out")"
cat "$scratch/d"/out/part-* | cmp - "$scratch/d/single" || fail "vexfcbl-dask parts differ from one run"
grep -q 'r.dat: record 3, byte 20: R.R-N: invalid zoned decimal' "$scratch/d/dask.err" ||
  fail "vexfcbl-dask warnings: $(cat "$scratch/d/dask.err")"

# The Python module, when the build has it: the installed one, imported by
# Debian's python3 from the installed tree alone, lays out the installed
# example as the installed program's layout file does.
if [ -d "$build/python/vexfcbl" ]; then
  module=$root/lib/python3/dist-packages/vexfcbl
  for f in __init__.py __init__.pyi _vexfcbl.pyi py.typed; do
    [ -f "$module/$f" ] || fail "not installed: vexfcbl/$f"
  done
  ls "$module"/_vexfcbl.cpython-*.so >/dev/null 2>&1 || fail "the module's library is not installed"
  (cd "$scratch/a" && "$root/bin/vexfcbl" -i CUSTREC.cpy -o x.gnv -layout cust.json 2>/dev/null) ||
    fail "installed vexfcbl -layout failed"
  (cd "$scratch/a" && env -u PYTHONPATH PYTHONPATH="$root/lib/python3/dist-packages" PYTHONNOUSERSITE=1 \
    /usr/bin/python3 -c '
import json, sys, vexfcbl
assert vexfcbl.__file__.startswith(sys.argv[1]), vexfcbl.__file__
layout = vexfcbl.parse_file("CUSTREC.cpy").layout().to_dict()
assert layout == json.load(open("cust.json")), layout
' "$root") || fail "the installed module does not give the installed program's layout"
fi

# Man pages: no groff warning, and every option the programs' --help lists
# is described.
for page in vexfcbl vexfcbl-decode vexfcbl-encode vexfcbl-dask; do
  file="$root/share/man/man1/$page.1"
  warnings=$(groff -man -z -ww "$file" 2>&1)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
  text=$(LC_ALL=C MANWIDTH=200 man -l "$file" 2>/dev/null | col -b)
  grep -q "EXIT STATUS" <<<"$text" || fail "$page.1 has no EXIT STATUS"
  version=$("$root/bin/$page" --version | awk '{print $2}')
  grep -qF "vexfcbl $version" <<<"$text" || fail "$page.1 does not carry version $version"
  options=$("$root/bin/$page" --help | grep -oE '^[[:space:]]+-[-?a-z]+' | sed 's/^[[:space:]]*//' | tr '\n' ' ')
  [ -n "$options" ] || fail "no options read from $page --help"
  for option in $options; do
    pattern=$(sed 's/[?]/\\?/g' <<<"$option")
    grep -qE -- "(^|[[:space:],])$pattern([[:space:],]|\$)" <<<"$text" || fail "$page.1 does not describe $option"
  done
done
for status in 2 3 4; do
  grep -qE "^ +$status +With -strict" <<<"$(LC_ALL=C MANWIDTH=200 man -l "$root/share/man/man1/vexfcbl.1" | col -b)" ||
    fail "vexfcbl.1 does not describe status $status"
done
echo "install: ok"
