#!/usr/bin/env bash
# Builds bench_scanner (optimised, in its own build folder), generates a
# fixed-format copybook of at least 20 MB and prints the scanner's MB/s.
#   bench/run.sh [BUILD_DIR] [MEGABYTES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
megabytes=${2:-24}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEX_BENCH=ON -DVEX_TESTS=OFF >/dev/null
fi
ninja -C "$build" -j2 bench_scanner >/dev/null

source=$(mktemp --suffix=.cpy)
trap 'rm -f "$source"' EXIT
# Everyday entries: sequence numbers, comments, pictures of every kind,
# usages, values, 88 levels, OCCURS, a continued literal, a few hundred
# distinct names that repeat as real copybooks do.
awk -v target=$((megabytes * 1000000)) 'BEGIN {
  size = 0; n = 0
  while (size < target) {
    g = n % 400
    lines[1] = sprintf("%06d* RECORD %d: customer master layout", n * 10 + 1, n)
    lines[2] = sprintf("%06d 01  CUST-REC-%d.", n * 10 + 2, g)
    lines[3] = sprintf("%06d     05  CUST-ID-%d          PIC 9(6) COMP-3.", n * 10 + 3, g)
    lines[4] = sprintf("%06d     05  CUST-NAME-%d        PIC X(30) VALUE SPACES.", n * 10 + 4, g)
    lines[5] = sprintf("%06d     05  CUST-BAL-%d         PIC S9(7)V99 USAGE COMP-3.", n * 10 + 5, g)
    lines[6] = sprintf("%06d     05  CUST-AMT-%d         PIC -ZZ,ZZ9.99CR.", n * 10 + 6, g)
    lines[7] = sprintf("%06d     05  CUST-TAB-%d OCCURS 1 TO 50 DEPENDING ON CUST-ID-%d.", n * 10 + 7, g, g)
    lines[8] = sprintf("%06d         10  CUST-FLAG-%d    PIC X VALUE \"N\".", n * 10 + 8, g)
    lines[9] = sprintf("%06d             88  FLAG-ON-%d  VALUE \"Y\" \"y\".", n * 10 + 9, g)
    lines[10] = sprintf("%06d     05  CUST-TEXT-%d PIC X(80) VALUE \"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", n * 10 + 10, g)
    lines[11] = sprintf("%06d-    \"REST OF THE TEXT\".", n * 10 + 11)
    for (i = 1; i <= 11; ++i) {
      line = sprintf("%-72sCUSTREC ", lines[i])
      print line
      size += length(line) + 1
    }
    ++n
  }
}' > "$source"
"$build/bench/bench_scanner" "$source"
