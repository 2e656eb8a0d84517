#!/usr/bin/env bash
# Throughput of vexfcbl-decode on a generated fixed-length file of mixed fields.
#
#   bench/decode.sh [DECODER [REFERENCE]]
#
# DECODER defaults to build/vexfcbl-decode (tools/build.sh build; the default
# build type is RelWithDebInfo). A copybook of 100-byte records (DISPLAY text,
# zoned signed and unsigned, packed, binary, an OCCURS table) and a file of
# DECODE_MB megabytes (default 200) are generated with python3 in a temporary
# folder removed at exit: 1000 distinct records repeated. Each run writes to
# /dev/null and prints the input MB/s (best of DECODE_RUNS, default 3) for
# JSON Lines, CSV and JSON Lines with -j 2 when the decoder accepts -j, Avro and
# Parquet when it writes them (each also as a percentage of DECODER's JSON Lines:
# the writers take the records as values, no JSON text between), and a
# 40-field record whole and with -select of 3 fields.
# DECODE_DIR=DIR generates into DIR and keeps the files.
# REFERENCE (or DECODE_REFERENCE) names another build of the decoder, such as
# main's: each measurement then runs both, turn about, on the same file, and
# prints the reference's MB/s and DECODER's as a percentage of it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
decoder=${1:-$root/build/vexfcbl-decode}
reference=${2:-${DECODE_REFERENCE:-}}
megabytes=${DECODE_MB:-200}
runs=${DECODE_RUNS:-3}
if [ -n "${DECODE_DIR:-}" ]; then
  work=$DECODE_DIR # kept, for profiling with perf
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

cat > "$work/bench.cpy" <<'COPY'
       01  BENCH-REC.
           05  B-ID         PIC 9(8).
           05  B-NAME       PIC X(20).
           05  B-CITY       PIC X(12).
           05  B-BAL        PIC S9(9)V99 COMP-3.
           05  B-LIMIT      PIC S9(7)V99 COMP-3.
           05  B-RATE       PIC S9(3)V9(4).
           05  B-COUNT      PIC S9(4) COMP.
           05  B-TOTAL      PIC S9(9) BINARY.
           05  B-FLAG       PIC X.
           05  B-MONTH OCCURS 4.
               10  B-M-AMT  PIC S9(5)V99 COMP-3.
               10  B-M-DAYS PIC 99.
           05  B-CODE       PIC X(11).
COPY

python3 - "$work/bench.dat" "$megabytes" <<'PY'
import random, struct, sys
random.seed(7)
def ebc(s): return s.encode('cp037')
def packed(v, digits):
    s = '%0*d' % (digits, abs(v)) + ('D' if v < 0 else 'C')
    if len(s) % 2: s = '0' + s
    return bytes.fromhex(s)
def zoned(v, digits):
    d = '%0*d' % (digits, abs(v))
    b = bytearray(ebc(d))
    b[-1] = (0xD0 if v < 0 else 0xC0) | (b[-1] & 0x0F)
    return bytes(b)
names = ['ALICE', 'BOB', 'CAROL "C"', 'DAVE, JR', 'EVE', 'MALLORY']
records = []
for i in range(1000):
    r = ebc('%08d' % i) + ebc(random.choice(names).ljust(20)) + ebc(random.choice(['BERLIN', 'PARIS', 'NEW YORK']).ljust(12))
    r += packed(random.randint(-10**11 + 1, 10**11 - 1), 11) + packed(random.randint(0, 10**9 - 1), 9)
    r += zoned(random.randint(-9999999, 9999999), 7) + struct.pack('>h', random.randint(-9999, 9999))
    r += struct.pack('>i', random.randint(-999999999, 999999999)) + ebc(random.choice('YN'))
    for _ in range(4):
        r += packed(random.randint(-9999999, 9999999), 7) + ebc('%02d' % random.randint(0, 31))
    r += ebc(('X%02d' % (i % 100)).ljust(11))
    assert len(r) == 100, len(r)
    records.append(r)
block = b''.join(records)
with open(sys.argv[1], 'wb') as out:
    for _ in range(int(sys.argv[2]) * 1000 * 1000 // len(block)):
        out.write(block)
PY

size=$(stat -c %s "$work/bench.dat")
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
echo "input: $((size / 1000000)) MB, 100-byte records"
# One run of a decoder, in MB/s.
one_run() {
  local program=$1; shift
  local start end
  start=$(date +%s.%N)
  "$program" -i "$work/bench.cpy" "$@" "$work/bench.dat" > /dev/null 2> "$work/err"
  end=$(date +%s.%N)
  awk -v s="$size" -v t="$(echo "$end - $start" | bc)" 'BEGIN { print s / 1e6 / t }'
}
measure() {
  local label=$1; shift
  local best=0 ref=0 r
  for _ in $(seq "$runs"); do
    # turn about, so that a busy moment of the machine hits both alike
    if [ -n "$reference" ]; then
      r=$(one_run "$reference" "$@")
      ref=$(awk -v r="$r" -v b="$ref" 'BEGIN { print (r > b ? r : b) }')
    fi
    r=$(one_run "$decoder" "$@")
    best=$(awk -v r="$r" -v b="$best" 'BEGIN { print (r > b ? r : b) }')
  done
  last=$best
  local share=""
  if [ -n "$jsonl" ]; then
    share=$(awk -v a="$best" -v b="$jsonl" 'BEGIN { printf "  %5.1f %% of JSON Lines", 100 * a / b }')
  fi
  if [ -n "$reference" ]; then
    printf '%-14s %8.1f MB/s  reference %8.1f MB/s  %5.1f %%%s\n' "$label" "$best" "$ref" \
      "$(awk -v a="$best" -v b="$ref" 'BEGIN { print 100 * a / b }')" "$share"
  else
    printf '%-14s %8.1f MB/s%s\n' "$label" "$best" "$share"
  fi
}
jsonl=""
measure "JSON Lines" -format jsonl
json_best=$last
measure "CSV" -format csv
if "$decoder" -? 2>&1 | grep -q -- '-j N'; then
  measure "JSON Lines -j 2" -format jsonl -j 2
fi
# The framings of vexfcbl-decode's own options, where the decoder has them:
# the same records behind a skipped file header (F's loop with -skip-bytes).
if [ -z "$reference" ] && "$decoder" -? 2>&1 | grep -q -- '-skip-bytes'; then
  measure "F -skip-bytes" -format jsonl -skip-bytes 100
fi
if "$decoder" -? 2>&1 | grep -q -- 'avro|parquet'; then
  jsonl=$json_best
  measure "Avro" -format avro
  measure "Avro snappy" -format avro -codec snappy
  measure "Parquet" -format parquet
  measure "Parquet zstd" -format parquet -codec zstd
  measure "Parquet -j 2" -format parquet -j 2
  jsonl=""
fi
# Projection: a record of 40 fields (10 each of text, packed, zoned, binary;
# 110 bytes), decoded whole and with -select of 3 of them, where the decoder
# has -select; the last line gives the speed-up.
if [ -z "$reference" ] && "$decoder" -? 2>&1 | grep -q -- '-select'; then
  python3 - "$work/wide.cpy" "$work/wide.dat" "$megabytes" <<'PY'
import random, struct, sys
random.seed(40)
lines = ['       01  WIDE-REC.']
for i in range(10):
    lines += ['           05  W-TEXT-%d  PIC X(3).' % i, '           05  W-PACK-%d  PIC S9(5) COMP-3.' % i,
              '           05  W-ZONE-%d  PIC 9(3).' % i, '           05  W-BIN-%d   PIC S9(4) COMP.' % i]
open(sys.argv[1], 'w').write('\n'.join(lines) + '\n')
def packed(v):
    return bytes.fromhex('%05d' % abs(v) + ('D' if v < 0 else 'C'))
records = []
for _ in range(1000):
    r = b''
    for i in range(10):
        r += random.choice(['ABC', 'XYZ', 'Q R']).encode('cp037') + packed(random.randint(-99999, 99999))
        r += ('%03d' % random.randint(0, 999)).encode('cp037') + struct.pack('>h', random.randint(-9999, 9999))
    assert len(r) == 110
    records.append(r)
block = b''.join(records)
with open(sys.argv[2], 'wb') as out:
    for _ in range(int(sys.argv[3]) * 1000 * 1000 // len(block)):
        out.write(block)
PY
  wide_run() {
    local start end
    start=$(date +%s.%N)
    "$decoder" -i "$work/wide.cpy" "$@" "$work/wide.dat" > /dev/null 2> "$work/err"
    end=$(date +%s.%N)
    awk -v s="$(stat -c %s "$work/wide.dat")" -v t="$(echo "$end - $start" | bc)" \
      'BEGIN { print s / 1e6 / t }'
  }
  all=0 three=0
  for _ in $(seq "$runs"); do
    r=$(wide_run -format jsonl); all=$(awk -v r="$r" -v b="$all" 'BEGIN { print (r > b ? r : b) }')
    r=$(wide_run -format jsonl -select W-TEXT-0,W-PACK-5,W-BIN-9)
    three=$(awk -v r="$r" -v b="$three" 'BEGIN { print (r > b ? r : b) }')
  done
  printf '%-14s %8.1f MB/s\n' "40 fields" "$all"
  printf '%-14s %8.1f MB/s  %4.1fx\n' "-select 3 of 40" "$three" \
    "$(awk -v a="$three" -v b="$all" 'BEGIN { print a / b }')"
fi
