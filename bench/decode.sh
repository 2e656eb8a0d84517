#!/usr/bin/env bash
# Throughput of vexfcbl-decode on generated files, beside iconv's.
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
# Without REFERENCE, `iconv -f IBM037 -t UTF-8` over the same file runs in the
# same minutes, and each line gives the decoder's speed as a multiple of
# iconv's ("x iconv"): JSON Lines, CSV, a packed-decimal record (20 fields
# S9(9)V99 COMP-3), the 40-field record and -select 3 of 40. Then -j 2
# against -j 1 on F, V, VB (the same records behind descriptor words) and L
# files (text lines): wall time, and CPU time (user + system) as a ratio.
# Wall-time ratios mean something only on a quiet machine: the load average
# is printed before and after.
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
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "input: $((size / 1000000)) MB, 100-byte records"
# One run of a command over FILE, stdout to /dev/null: "WALL CPU" seconds.
# Timed by bench/rusage.py (/usr/bin/python3), which waits with wait4(): the
# wall clock from a monotonic clock, user + system from the kernel's rusage,
# both in microseconds. /usr/bin/time's hundredths were a tenth of a -j 2
# run of the 200 MB, so its ratios moved by several percent on rounding.
timed() {
  local file=$1; shift
  /usr/bin/python3 "$root/bench/rusage.py" "$work/time" "$@" "$file" > /dev/null 2> "$work/err"
  # A run that failed has no rate: stop with its messages.
  if [ "$(awk '{ print $5 }' "$work/time")" != 0 ]; then
    { echo "bench/decode.sh: failed: $*"; cat "$work/err"; } >&2
    exit 1
  fi
  awk '{ print $3, $1 + $2 }' "$work/time"
}
# One run of a decoder, in MB/s.
one_run() {
  local program=$1; shift
  timed "$work/bench.dat" "$program" -i "$work/bench.cpy" "$@" |
    awk -v s="$size" '{ print s / 1e6 / ($1 > 0 ? $1 : 0.001) }'
}
best_of() { awk -v r="$1" -v b="$2" 'BEGIN { print (r > b ? r : b) }'; }
# iconv's MB/s over FILE (best of the runs): the yardstick of the ratios.
iconv_speed() {
  local file=$1 best=0 r
  for _ in $(seq "$runs"); do
    r=$(timed "$file" iconv -f IBM037 -t UTF-8 |
      awk -v s="$(stat -c %s "$file")" '{ print s / 1e6 / ($1 > 0 ? $1 : 0.001) }')
    best=$(best_of "$r" "$best")
  done
  echo "$best"
}
iconv_mbs=0
if [ -z "$reference" ]; then
  iconv_mbs=$(iconv_speed "$work/bench.dat")
  printf '%-16s %8.1f MB/s\n' "iconv IBM037" "$iconv_mbs"
fi
# MB/s, with " N.NNx iconv" when iconv ran.
shown() {
  if [ "$iconv_mbs" != 0 ]; then
    printf '%-16s %8.1f MB/s  %5.2fx iconv%s\n' "$1" "$2" "$(awk -v a="$2" -v b="$iconv_mbs" 'BEGIN { print a / b }')" "${3:-}"
  else
    printf '%-16s %8.1f MB/s%s\n' "$1" "$2" "${3:-}"
  fi
}
measure() {
  local label=$1; shift
  local best=0 ref=0 r
  for _ in $(seq "$runs"); do
    # turn about, so that a busy moment of the machine hits both alike
    if [ -n "$reference" ]; then
      r=$(one_run "$reference" "$@")
      ref=$(best_of "$r" "$ref")
    fi
    r=$(one_run "$decoder" "$@")
    best=$(best_of "$r" "$best")
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
    shown "$label" "$best" "$share"
  fi
}
jsonl=""
# What the decoder offers (read once: grep -q on a pipe may stop the decoder
# early, and the pipeline then fails under pipefail).
help=$("$decoder" -? 2>&1 || true)
measure "JSON Lines" -format jsonl
json_best=$last
measure "CSV" -format csv
if grep -q -- '-j N' <<< "$help"; then
  measure "JSON Lines -j 2" -format jsonl -j 2
fi
# The framings of vexfcbl-decode's own options, where the decoder has them:
# the same records behind a skipped file header (F's loop with -skip-bytes).
if [ -z "$reference" ] && grep -q -- '-skip-bytes' <<< "$help"; then
  measure "F -skip-bytes" -format jsonl -skip-bytes 100
fi
if grep -q -- 'avro|parquet' <<< "$help"; then
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
if [ -z "$reference" ] && grep -q -- '-select' <<< "$help"; then
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
    timed "$work/wide.dat" "$decoder" -i "$work/wide.cpy" "$@" |
      awk -v s="$(stat -c %s "$work/wide.dat")" '{ print s / 1e6 / ($1 > 0 ? $1 : 0.001) }'
  }
  all=0 three=0
  for _ in $(seq "$runs"); do
    all=$(best_of "$(wide_run -format jsonl)" "$all")
    three=$(best_of "$(wide_run -format jsonl -select W-TEXT-0,W-PACK-5,W-BIN-9)" "$three")
  done
  iconv_mbs=$(iconv_speed "$work/wide.dat")
  shown "40 fields" "$all"
  shown "-select 3 of 40" "$three"
  printf '%-16s %8.1fx the whole record\n' "" "$(awk -v a="$three" -v b="$all" 'BEGIN { print a / b }')"
fi
[ -n "$reference" ] && exit 0

# Packed decimal: records of 20 S9(9)V99 COMP-3 fields (120 bytes).
python3 - "$work/packed.cpy" "$work/packed.dat" "$megabytes" <<'PY'
import random, sys
random.seed(20)
open(sys.argv[1], 'w').write('       01  PACK-REC.\n' + ''.join(
    '           05  P-%02d  PIC S9(9)V99 COMP-3.\n' % i for i in range(20)))
def packed(v):
    return bytes.fromhex('%011d' % abs(v) + ('D' if v < 0 else 'C'))
block = b''.join(packed(random.randint(-10**11 + 1, 10**11 - 1)) for _ in range(20 * 1000))
with open(sys.argv[2], 'wb') as out:
    for _ in range(int(sys.argv[3]) * 1000 * 1000 // len(block)):
        out.write(block)
PY
best=0
for _ in $(seq "$runs"); do
  r=$(timed "$work/packed.dat" "$decoder" -i "$work/packed.cpy" -format jsonl |
    awk -v s="$(stat -c %s "$work/packed.dat")" '{ print s / 1e6 / ($1 > 0 ? $1 : 0.001) }')
  best=$(best_of "$r" "$best")
done
iconv_mbs=$(iconv_speed "$work/packed.dat")
shown "20 x COMP-3" "$best"

# Threads: the benchmark's records as F, behind descriptor words as V and VB
# (blocks of at most 27998 bytes), and text lines of a copybook of display
# fields as L (-codepage ASCII).
python3 - "$work" <<'PY'
import random, struct, sys
work = sys.argv[1]
data = open(work + '/bench.dat', 'rb').read()
with open(work + '/bench.v', 'wb') as v, open(work + '/bench.vb', 'wb') as vb:
    rdw = struct.pack('>HH', 104, 0)
    v.write(b''.join(rdw + data[i:i + 100] for i in range(0, len(data), 100)))
    per_block = 27994 // 104
    step = per_block * 100
    for at in range(0, len(data), step):
        records = [rdw + data[i:i + 100] for i in range(at, min(at + step, len(data)), 100)]
        vb.write(struct.pack('>HH', 4 + 104 * len(records), 0) + b''.join(records))
open(work + '/lines.cpy', 'w').write(
    '       01  LINE-REC.\n           05  L-ID    PIC 9(8).\n'
    '           05  L-NAME  PIC X(20).\n           05  L-AMT   PIC S9(7)V99 SIGN TRAILING SEPARATE.\n'
    '           05  L-CITY  PIC X(12).\n           05  L-QTY   PIC 9(5).\n')
random.seed(9)
lines = []
for i in range(1000):
    amount = random.randint(-10**9 + 1, 10**9 - 1)
    line = '%08d%-20s%09d%s%-12s%05d' % (i, random.choice(['ALICE', 'BOB', 'CAROL']), abs(amount),
                                         '-' if amount < 0 else '+', random.choice(['BERLIN', 'PARIS']),
                                         random.randint(0, 99999))
    lines.append(line.rstrip() + '\n')
block = ''.join(lines).encode('ascii')
with open(work + '/lines.txt', 'wb') as out:
    for _ in range(len(data) // len(block)):
        out.write(block)
PY
echo "threads: -j 2 against -j 1 (wall: best of $runs; CPU: user + system, least of $runs)"
for kind in F V VB L; do
  case $kind in
    F) file=$work/bench.dat args=(-i "$work/bench.cpy") ;;
    V) file=$work/bench.v args=(-i "$work/bench.cpy" -recfm V) ;;
    VB) file=$work/bench.vb args=(-i "$work/bench.cpy" -recfm VB) ;;
    L) file=$work/lines.txt args=(-i "$work/lines.cpy" -recfm L -codepage ASCII) ;;
  esac
  declare -A wall=() cpu=()
  for _ in $(seq "$runs"); do
    for jobs in 1 2; do
      read -r w c < <(timed "$file" "$decoder" "${args[@]}" -format jsonl -j "$jobs")
      wall[$jobs]=$(awk -v r="$w" -v b="${wall[$jobs]:-1e9}" 'BEGIN { print (r < b ? r : b) }')
      cpu[$jobs]=$(awk -v r="$c" -v b="${cpu[$jobs]:-1e9}" 'BEGIN { print (r < b ? r : b) }')
    done
  done
  awk -v k="$kind" -v w1="${wall[1]}" -v w2="${wall[2]}" -v c1="${cpu[1]}" -v c2="${cpu[2]}" \
    -v s="$(stat -c %s "$file")" 'BEGIN {
      printf "%-3s -j 1 %7.1f MB/s  -j 2 %7.1f MB/s  -j 2 / -j 1: %4.2fx wall, CPU %4.2fx\n",
        k, s / 1e6 / w1, s / 1e6 / w2, w1 / w2, c2 / c1 }'
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
