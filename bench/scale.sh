#!/usr/bin/env bash
# How vexfcbl's time and memory grow with the size of its input.
#
#   bench/scale.sh [BINARY]
#
# Without BINARY, builds an optimised vexfcbl in its own build folder
# (build-scale: Release, tests off) and measures that; with BINARY, measures
# the given executable instead. Inputs are generated with awk in a temporary
# folder that is removed at exit. Each run goes through a timing wrapper and
# timeout (600 s); each input and size prints one row: input, entries, bytes,
# seconds per run (wall, or CPU with SCALE_CLOCK=cpu), peak RSS (MB), the
# number of "Info: Definition exported" lines, the status (ok, FAILED with the
# exit status, or TIMEOUT) and a note (the 10x growth factor time(10N)/time(N),
# or the ratio to cobc).
#
# Inputs, each at two sizes ten times apart:
#   mixed     records of 50 mixed entries (groups, packed, binary, zoned and
#             edited numbers, strings, OCCURS, REDEFINES, level 88), fixed
#             format; 100 000 and 1 000 000 entries (growth goal <= 11)
#   flat      one 01 record of 20 000 / 200 000 elementary members
#   level88   one item with 1 000 / 10 000 level-88 values, without and
#             with -r (restriction list)
#   occurs    10 000 / 100 000 entries of nested OCCURS and REDEFINES
#   free      the mixed entries in free format, run with -f, 100 000 and
#             1 000 000 entries, compared with the fixed-format runs
#   cobc      the mixed 100 000 entries wrapped as a program and checked with
#             `cobc -std=ibm -fsyntax-only` (skipped when cobc is absent);
#             ratio vexfcbl time / cobc time on the same entries, and the
#             goal: the 1 000 000 mixed entries in <= 0.5 of cobc's time for
#             the 100 000 (peak memory for them: goal <= 300 MB)
#
# Trial runs: SCALE_DIVISOR=N divides every size by N (SCALE_DIVISOR=100 takes
# seconds); SCALE_LIMIT=S allows S seconds per run instead of 600.
# SCALE_CLOCK=cpu times each run by its user + system seconds instead of the
# wall clock: on a machine that other work keeps busy, wall times (and every
# ratio of them) say more about the load than about the program.
#
# How a time is taken: each run is started by a small /usr/bin/python3 wrapper
# that waits for it with wait4(), so user and system time come from the
# kernel's rusage in microseconds (not /usr/bin/time's hundredths) and the
# wall clock from a monotonic clock. Each input runs at least SCALE_RUNS
# times (default 3) and until its runs together take SCALE_MIN_S seconds
# (default 2) on the chosen clock, and the time printed is the fastest run:
# other work on a shared machine only ever adds time (CPU time too, through
# the caches it shares), so the best of several runs is the steadiest figure
# of the program's own cost, and a 0.03 s run measured as the best of about
# 70 makes a growth ratio that is not a quotient of hundredths. The note
# gives the number of runs (" [N runs]"). Peak RSS is the largest of the
# runs; the last run's output gives the exported count and the status (any
# run that fails or times out stops the repetition and is reported).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
limit=${SCALE_LIMIT:-600}     # seconds allowed to each run
divisor=${SCALE_DIVISOR:-1}   # every size is divided by this
clock=${SCALE_CLOCK:-wall}    # wall, or cpu: user + system seconds
min_s=${SCALE_MIN_S:-2}       # a size's runs together take at least this long
min_runs=${SCALE_RUNS:-3}     # and are at least this many

# --- the program under test -------------------------------------------------

if [ $# -ge 1 ]; then
  binary=$(realpath "$1")
else
  build=$root/build-scale
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEX_TESTS=OFF >/dev/null
  fi
  ninja -C "$build" -j2 vexfcbl >/dev/null
  binary=$build/vexfcbl
fi
[ -x "$binary" ] || { echo "no executable at $binary" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- generators: each writes a copybook on standard output ------------------

# Records of 50 entries: the 01 entry, six groups of eight entries, an edited
# total; one comment line before each record. Stops after exactly $1 entries.
# $2 is "fixed" (seven columns of sequence and indicator area, comments
# marked in column 7) or "free" (no such area, comments start with *>).
gen_mixed() {
  awk -v entries="$1" -v format="$2" '
  function emit(text) {
    if (format == "free") {
      if (substr(text, 7, 1) == "*") print "*>" substr(text, 8)
      else print substr(text, 8)
    } else print text
  }
  function line(text) { if (n < entries) { emit(text); n++ } }
  BEGIN {
    n = 0
    for (r = 1; n < entries; r++) {
      emit(sprintf("      * RECORD %d: mixed layout", r))
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
  }'
}

# One 01 record of $1 elementary members.
gen_flat() {
  awk -v members="$1" 'BEGIN {
    print "       01  FLAT."
    for (i = 1; i <= members; i++) printf "           05  F-%06d PIC X(10).\n", i
  }'
}

# One item followed by $1 level-88 conditions of one value each.
gen_level88() {
  awk -v values="$1" 'BEGIN {
    print "           05  ST PIC X(5)."
    for (i = 1; i <= values; i++) printf "               88  V-%05d VALUE \"%05d\".\n", i, i
  }'
}

# Records of 10 entries: a group that REDEFINES a string and holds a table
# whose members REDEFINE each other, a packed table inside it, and a table of
# tables whose leaf is redefined. Stops after exactly $1 entries.
gen_occurs() {
  awk -v entries="$1" '
  function line(text) { if (n < entries) { print text; n++ } }
  BEGIN {
    n = 0
    for (r = 1; n < entries; r++) {
      line(sprintf("       01  OR-%06d.", r))
      line(sprintf("           05  OA-%06d              PIC X(40).", r))
      line(sprintf("           05  OB-%06d              REDEFINES OA-%06d.", r, r))
      line(sprintf("               10  OC-%06d          OCCURS 4.", r))
      line(sprintf("                   15  OD-%06d      PIC X(6).", r))
      line(sprintf("                   15  OE-%06d      REDEFINES OD-%06d PIC 9(6).", r, r))
      line(sprintf("                   15  OF-%06d      PIC S9(3) COMP-3 OCCURS 2.", r))
      line(sprintf("           05  OI-%06d              OCCURS 3.", r))
      line(sprintf("               10  OK-%06d          PIC X(2).", r))
      line(sprintf("               10  OL-%06d          REDEFINES OK-%06d PIC 99.", r, r))
    }
  }'
}

# A fixed-format copybook $1 wrapped as a whole program.
wrap_program() {
  printf '       IDENTIFICATION DIVISION.\n       PROGRAM-ID. BIG.\n'
  printf '       DATA DIVISION.\n       WORKING-STORAGE SECTION.\n'
  cat "$1"
  printf '       PROCEDURE DIVISION.\n           STOP RUN.\n'
}

# --- measuring ---------------------------------------------------------------

# Data description entries in a copybook: lines whose first word is a level
# number (comment lines in either format start otherwise).
count_entries() {
  grep -Ec '^ *[0-9]+ ' "$1" || true
}

# The timing wrapper bench/rusage.py RESULT COMMAND... runs COMMAND, waits for
# it with wait4() and writes "user_s system_s wall_s maxrss_kb exit_status"
# (128 + N for signal N) to the file RESULT.
cp "$root/bench/rusage.py" "$work/rusage.py"

# measure LOG COMMAND...: runs COMMAND under timeout, its standard output and
# error into LOG, repeated at least SCALE_RUNS times and until the runs take
# SCALE_MIN_S seconds together (see the header). Sets secs (the fastest run,
# in microseconds), runs, rss_mb (largest), status (ok, FAILED (rc N) or
# TIMEOUT) and exit_code.
measure() {
  local log=$1; shift
  local rc user sys wall kb this total=0 best='' peak=0
  runs=0
  while :; do
    /usr/bin/python3 "$work/rusage.py" "$work/rusage.txt" timeout -k 10 "$limit" "$@" >"$log" 2>&1
    read -r user sys wall kb rc <"$work/rusage.txt"
    runs=$((runs + 1))
    if [ "$clock" = cpu ]; then
      this=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.6f", u + s }')
    else
      this=$wall
    fi
    total=$(awk -v t="$total" -v x="$this" 'BEGIN { printf "%.6f", t + x }')
    best=$(awk -v b="$best" -v x="$this" 'BEGIN { printf "%.6f", (b == "" || x < b) ? x : b }')
    peak=$(( kb > peak ? kb : peak ))
    if [ "$rc" != 0 ] || { [ "$runs" -ge "$min_runs" ] &&
        awk -v t="$total" -v m="$min_s" 'BEGIN { exit !(t >= m) }'; }; then
      break
    fi
  done
  exit_code=$rc
  secs=$best
  rss_mb=$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')
  case $rc in
    0) status=ok ;;
    124|137) status=TIMEOUT ;;
    *) status="FAILED (rc $rc)" ;;
  esac
}

# One row per input and size: input, entries, bytes, seconds per run, peak
# RSS, exported definitions, status, note.
row_format='%-22s %10s %12s %9s %9s %9s  %-14s %s\n'
header() {
  # shellcheck disable=SC2059
  printf "$row_format" input entries bytes "${clock}_s" rss_MB exported status note
}

# The results of each run, by name.
declare -A entries_of bytes_of times states rss_of exported_of runs_of

# run_vex NAME FILE OPTIONS...: converts FILE and keeps the results.
run_vex() {
  local name=$1 file=$2; shift 2
  entries_of[$name]=$(count_entries "$file")
  bytes_of[$name]=$(wc -c <"$file")
  measure "$work/run.log" "$binary" "$@" -i "$file" -o "$work/out.xml"
  exported_of[$name]=$(grep -c 'Info: Definition exported' "$work/run.log" || true)
  times[$name]=$secs
  runs_of[$name]=$runs
  states[$name]=$status
  rss_of[$name]=$rss_mb
  rm -f "$work/out.xml" "$work/run.log"
}

# row NAME [NOTE]: prints the results of run NAME.
row() {
  local name=$1 note=${2:-}
  note="$note${note:+ }[${runs_of[$name]} runs]"
  # Printed to the millisecond; the ratios use the microseconds.
  # shellcheck disable=SC2059
  printf "$row_format" "$name" "${entries_of[$name]}" "${bytes_of[$name]}" \
    "$(awk -v t="${times[$name]}" 'BEGIN { printf "%.3f", t }')" \
    "${rss_of[$name]}" "${exported_of[$name]}" "${states[$name]}" "$note"
}

# ratio A B TEXT: "TEXT = time(A)/time(B)", or why it cannot be given. A
# timed-out A gives a lower bound.
ratio() {
  local a=$1 b=$2 text=$3
  if [ "${states[$b]}" != ok ]; then
    echo "$text: n/a ($b ${states[$b]})"
  elif [ "${states[$a]}" = TIMEOUT ]; then
    awk -v x="${times[$a]}" -v y="${times[$b]}" -v t="$text" 'BEGIN { printf "%s >= %.1f (timed out)\n", t, x / y }'
  elif [ "${states[$a]}" != ok ]; then
    echo "$text: n/a ($a ${states[$a]})"
  else
    awk -v x="${times[$a]}" -v y="${times[$b]}" -v t="$text" 'BEGIN { printf "%s = %.2f\n", t, (y > 0 ? x / y : 0) }'
  fi
}

# memory_goal NAME: run NAME's peak RSS against the 300 MB goal for the
# 1 000 000 mixed entries; trial sizes only print it (the program's own few
# megabytes dominate a small run).
memory_goal() {
  awk -v mb="${rss_of[$1]}" -v d="$divisor" 'BEGIN {
    if (d == 1) printf "%.0f MB (goal <= 300 MB: %s)", mb, (mb <= 300 ? "met" : "not met")
    else printf "%.0f MB", mb
  }'
}

# --- the inputs ---------------------------------------------------------------

# The sizes, divided for trial runs; label N names a size as 100k, 1M...
sized() { echo $(( $1 / divisor > 0 ? $1 / divisor : 1 )); }
label() {
  awk -v n="$1" 'BEGIN {
    if (n >= 1000000 && n % 1000000 == 0) printf "%dM", n / 1000000
    else if (n >= 1000 && n % 1000 == 0) printf "%dk", n / 1000
    else printf "%d", n
  }'
}

mixed_small=$(sized 100000) mixed_large=$(sized 1000000)
mixed_s=mixed-$(label "$mixed_small") mixed_l=mixed-$(label "$mixed_large")

bench_mixed() {
  gen_mixed "$mixed_small" fixed >"$work/mixed.cpy"
  run_vex "$mixed_s" "$work/mixed.cpy"
  row "$mixed_s"
  gen_mixed "$mixed_large" fixed >"$work/mixed.cpy"
  run_vex "$mixed_l" "$work/mixed.cpy"
  row "$mixed_l" "$(ratio "$mixed_l" "$mixed_s" 'growth (goal <= 11)'); peak $(memory_goal "$mixed_l")"
  rm -f "$work/mixed.cpy"
}

bench_flat() {
  local small large s l
  small=$(sized 20000) large=$(sized 200000)
  s=flat-$(label "$small") l=flat-$(label "$large")
  gen_flat "$small" >"$work/flat.cpy"
  run_vex "$s" "$work/flat.cpy"
  row "$s"
  gen_flat "$large" >"$work/flat.cpy"
  run_vex "$l" "$work/flat.cpy"
  row "$l" "$(ratio "$l" "$s" growth)"
  rm -f "$work/flat.cpy"
}

bench_level88() {
  local small large s l
  small=$(sized 1000) large=$(sized 10000)
  s=level88-$(label "$small") l=level88-$(label "$large")
  gen_level88 "$small" >"$work/l88-small.cpy"
  gen_level88 "$large" >"$work/l88-large.cpy"
  run_vex "$s" "$work/l88-small.cpy"
  row "$s"
  run_vex "$l" "$work/l88-large.cpy"
  row "$l" "$(ratio "$l" "$s" growth)"
  run_vex "$s-r" "$work/l88-small.cpy" -r
  row "$s-r" "-r"
  run_vex "$l-r" "$work/l88-large.cpy" -r
  row "$l-r" "-r; $(ratio "$l-r" "$s-r" growth)"
  rm -f "$work/l88-small.cpy" "$work/l88-large.cpy"
}

bench_occurs() {
  local small large s l
  small=$(sized 10000) large=$(sized 100000)
  s=occurs-$(label "$small") l=occurs-$(label "$large")
  gen_occurs "$small" >"$work/occurs.cpy"
  run_vex "$s" "$work/occurs.cpy"
  row "$s"
  gen_occurs "$large" >"$work/occurs.cpy"
  run_vex "$l" "$work/occurs.cpy"
  row "$l" "$(ratio "$l" "$s" growth)"
  rm -f "$work/occurs.cpy"
}

# The mixed entries again, in free format; compared with the fixed runs.
bench_free() {
  local s l
  s=free-$(label "$mixed_small") l=free-$(label "$mixed_large")
  gen_mixed "$mixed_small" free >"$work/free.cpy"
  run_vex "$s" "$work/free.cpy" -f
  row "$s" "-f; $(ratio "$s" "$mixed_s" 'free/fixed')"
  gen_mixed "$mixed_large" free >"$work/free.cpy"
  run_vex "$l" "$work/free.cpy" -f
  row "$l" "-f; $(ratio "$l" "$s" growth); $(ratio "$l" "$mixed_l" 'free/fixed')"
  rm -f "$work/free.cpy"
}

# The small mixed copybook as a program, checked by cobc; compared with the
# fixed-format vexfcbl run on the same entries.
bench_cobc() {
  local name
  name=cobc-$(label "$mixed_small")
  if ! command -v cobc >/dev/null; then
    echo "$name: skipped, cobc is not installed"
    return
  fi
  gen_mixed "$mixed_small" fixed >"$work/mixed.cpy"
  wrap_program "$work/mixed.cpy" >"$work/big.cbl"
  entries_of[$name]=$(count_entries "$work/mixed.cpy")
  bytes_of[$name]=$(wc -c <"$work/big.cbl")
  measure "$work/cobc.log" cobc -std=ibm -fsyntax-only "$work/big.cbl"
  times[$name]=$secs
  runs_of[$name]=$runs
  states[$name]=$status
  rss_of[$name]=$rss_mb
  exported_of[$name]=-
  row "$name" "cobc exit status $exit_code; $(ratio "$mixed_s" "$name" 'vexfcbl/cobc, same entries')"
  ratio "$mixed_l" "$name" "goal: vexfcbl $mixed_l / cobc $name (goal <= 0.5)"
  if [ "$status" != ok ]; then
    head -n 5 "$work/cobc.log" | sed 's/^/    cobc: /'
  fi
  rm -f "$work/mixed.cpy" "$work/big.cbl" "$work/cobc.log"
}

# --- the report -----------------------------------------------------------------

machine() {
  echo "machine: $(nproc) cores; $(lscpu 2>/dev/null | grep 'Model name' | sed 's/ \{2,\}/ /g' || echo 'Model name: unknown')"
  awk '/MemTotal/ { printf "memory: %.1f GB\n", $2 / 1048576 }' /proc/meminfo
  echo "binary: $binary"
  echo "commit: $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
  echo "limit: $limit s per run; sizes divided by $divisor; times: $clock, best of >= $min_runs runs and >= $min_s s per input"
  echo
}

machine
header
bench_mixed
bench_flat
bench_level88
bench_occurs
bench_free
bench_cobc
