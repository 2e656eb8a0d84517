#!/usr/bin/env bash
# Converts a generated copybook of many entries end to end and reports the
# time and peak memory of the run: bench/convert.sh [BINARY] [ENTRIES]
# (defaults: build/vexfcbl, 100000). The copybook is a sequence of records of
# 50 entries each: groups, packed, binary, zoned and edited numbers, strings,
# OCCURS tables, REDEFINES and level-88 conditions, as in everyday layouts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
binary=$(realpath "${1:-$root/build/vexfcbl}")
entries=${2:-100000}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One record: the 01 entry, six groups of eight entries, an edited total.
awk -v entries="$entries" '
function line(text) { if (n < entries) { print text; n++ } }
BEGIN {
  n = 0
  for (r = 1; n < entries; r++) {
    line(sprintf("       01  REC-%06d.", r))
    for (g = 1; g <= 6; g++) {
      line(sprintf("           05  G%d-%06d.", g, r))
      line(sprintf("               10  ID-%d-%06d        PIC 9(8).", g, r))
      line(sprintf("               10  AMT-%d-%06d       PIC S9(9)V99 COMP-3.", g, r))
      line(sprintf("               10  CNT-%d-%06d       PIC S9(4) COMP OCCURS 3.", g, r))
      line(sprintf("               10  NAME-%d-%06d      PIC X(30).", g, r))
      line(sprintf("               10  NAMR-%d-%06d      REDEFINES NAME-%d-%06d PIC 9(30).", g, r, g, r))
      line(sprintf("               10  ST-%d-%06d        PIC X.", g, r))
      line(sprintf("                   88  OK-%d-%06d    VALUE \"Y\".", g, r))
    }
    line(sprintf("           05  TOTAL-%06d          PIC ZZZ,ZZZ,ZZ9.99-.", r))
  }
}' >"$work/big.cpy"
echo "entries: $(grep -c '^ ' "$work/big.cpy"), bytes: $(wc -c <"$work/big.cpy")"

cd "$work"
/usr/bin/time -v "$binary" -i big.cpy -o big.gnv 2>time.log >/dev/null || true
grep -E 'Elapsed|Maximum resident|Exit status' time.log
grep -c "Info: Definition exported" time.log | sed 's/^/definitions exported: /'
if [ -f big.gnv ]; then echo "output bytes: $(wc -c <big.gnv)"; else echo "no output written"; fi
