#!/usr/bin/env bash
# Throughput of vexfcbl-encode on the decoder benchmark's layout: MB/s of records written.
#
#   bench/encode.sh [ENCODER [DECODER]]
#
# ENCODER and DECODER default to build/vexfcbl-encode and build/vexfcbl-decode
# (tools/build.sh build; RelWithDebInfo). bench/decode.sh's copybook and data
# (100-byte records: DISPLAY text, zoned, packed, binary, an OCCURS table) are
# generated with ENCODE_MB megabytes of records (default 200) in a temporary
# folder removed at exit, decoded once to JSON Lines and to CSV, and encoded
# back to /dev/null; each line prints the output MB/s (best of ENCODE_RUNS,
# default 3). The round trip is checked once: the encoded file must equal the
# generated one. ENCODE_DIR=DIR keeps the files in DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
encoder=${1:-$root/build/vexfcbl-encode}
decoder=${2:-$root/build/vexfcbl-decode}
runs=${ENCODE_RUNS:-3}
if [ -n "${ENCODE_DIR:-}" ]; then
  work=$ENCODE_DIR
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
# bench/decode.sh writes the copybook and the data and measures nothing with one quick run.
DECODE_DIR=$work DECODE_MB=${ENCODE_MB:-200} DECODE_RUNS=1 "$root/bench/decode.sh" "$decoder" >/dev/null
"$decoder" -i "$work/bench.cpy" -q "$work/bench.dat" > "$work/bench.jsonl"
"$decoder" -i "$work/bench.cpy" -q -format csv "$work/bench.dat" > "$work/bench.csv"
"$encoder" -i "$work/bench.cpy" -q "$work/bench.jsonl" -o "$work/back.dat"
cmp "$work/bench.dat" "$work/back.dat" || { echo "the round trip differs" >&2; exit 1; }
rm -f "$work/back.dat"

size=$(stat -c %s "$work/bench.dat")
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
echo "output: $((size / 1000000)) MB, 100-byte records; input: JSON Lines $(($(stat -c %s "$work/bench.jsonl") / 1000000)) MB, CSV $(($(stat -c %s "$work/bench.csv") / 1000000)) MB"
measure() {
  local label=$1 input=$2; shift 2
  local best=0
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s.%N)
    "$encoder" -i "$work/bench.cpy" -q "$@" "$input" -o /dev/null
    end=$(date +%s.%N)
    best=$(awk -v s="$size" -v t="$(echo "$end - $start" | bc)" -v b="$best" \
      'BEGIN { r = s / 1e6 / t; print (r > b ? r : b) }')
  done
  printf '%-18s %8.1f MB/s\n' "$label" "$best"
}
measure "JSON Lines" "$work/bench.jsonl"
measure "CSV" "$work/bench.csv" -format csv
measure "JSON Lines -j 2" "$work/bench.jsonl" -j 2
measure "JSON Lines -recfm V" "$work/bench.jsonl" -recfm V
