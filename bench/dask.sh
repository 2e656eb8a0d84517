#!/usr/bin/env bash
# vexfcbl-decode -j 2 against vexfcbl-dask --local 2 on a generated fixed-length
# file, and the costs that decide how the cluster scales (a benchmark, not a test).
#
#   bench/dask.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build/ (tools/build.sh build). The copybook and the
# 100-byte records are those of bench/decode.sh; the file is DASK_MB megabytes
# (default 1200), generated with /usr/bin/python3 in a temporary folder removed
# at exit (DASK_DIR=DIR keeps it). Both runs write JSON Lines into that folder,
# so both pay for writing the output; the parts are checked to equal the
# single run. Then, measured on their own: starting and stopping a local
# cluster of 2 workers forked as vexfcbl-dask --local forks them
# (DASK_DISTRIBUTED__WORKER__MULTIPROCESSING_METHOD=spawn spawns them, in
# both runs), the scheduler's cost per task (2000 empty tasks), the fixed
# cost of one split (vexfcbl-decode -range over an empty range: process
# start and copybook), and one worker's rate on one 128 MB split.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
megabytes=${DASK_MB:-1200}
split_mb=${DASK_SPLIT_MB:-128}
if [ -n "${DASK_DIR:-}" ]; then
  work=$DASK_DIR
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
export VEXFCBL_DECODE=$build/vexfcbl-decode PYTHONDONTWRITEBYTECODE=1
decoder=$VEXFCBL_DECODE

# The copybook and the generator of bench/decode.sh, run by /usr/bin/python3.
sed -n "/^cat > \"\$work\/bench.cpy\" <<'COPY'/,/^COPY\$/p" "$root/bench/decode.sh" | sed '1d;$d' >"$work/bench.cpy"
sed -n "/^python3 - \"\$work\/bench.dat\" \"\$megabytes\" <<'PY'/,/^PY\$/p" "$root/bench/decode.sh" | sed '1d;$d' >"$work/generate.py"
[ -s "$work/bench.cpy" ] && [ -s "$work/generate.py" ] || { echo "bench/decode.sh changed: no generator" >&2; exit 1; }
[ -f "$work/bench.dat" ] || /usr/bin/python3 "$work/generate.py" "$work/bench.dat" "$megabytes"
size=$(stat -c %s "$work/bench.dat")
mb=$(awk -v s="$size" 'BEGIN { printf "%.0f", s / 1e6 }')

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
echo "input: $mb MB, 100-byte records, JSON Lines written to $work"
seconds() { local start=$1; awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.2f", e - s }'; }

rm -rf "$work/single.jsonl" "$work/parts"
start=$(date +%s.%N)
"$decoder" -i "$work/bench.cpy" -j 2 -o "$work/single.jsonl" "$work/bench.dat" 2>/dev/null
single=$(seconds "$start")
start=$(date +%s.%N)
"$root/python/vexfcbl-dask" -i "$work/bench.cpy" --local 2 --split-mb "$split_mb" -o "$work/parts" \
  "$work/bench.dat" 2>"$work/dask.err"
dask=$(seconds "$start")
parts=$(ls "$work/parts" | grep -c '^part-')
cat "$work"/parts/part-* | cmp -s - "$work/single.jsonl" || { echo "the parts differ from the single run" >&2; exit 1; }
rm -f "$work/single.jsonl"
rm -rf "$work/parts"
printf '%-34s %7s s %8.1f MB/s\n' "vexfcbl-decode -j 2" "$single" "$(awk -v m="$mb" -v t="$single" 'BEGIN { print m / t }')"
printf '%-34s %7s s %8.1f MB/s  (%d parts of %s MB)\n' "vexfcbl-dask --local 2" "$dask" \
  "$(awk -v m="$mb" -v t="$dask" 'BEGIN { print m / t }')" "$parts" "$split_mb"

# A file, not standard input: the cluster's worker processes are spawned and
# import the main module again.
cat >"$work/overheads.py" <<'PY'
import os, subprocess, sys, time, logging
from distributed import Client, LocalCluster


def nothing(i):
    return i


def main(work, decoder, split_mb):
    import dask
    # Forked workers, as vexfcbl-dask --local starts them.
    dask.config.set({"distributed.worker.multiprocessing-method":
                     os.environ.get("DASK_DISTRIBUTED__WORKER__MULTIPROCESSING_METHOD", "fork")})
    start = time.perf_counter()
    cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                           silence_logs=logging.ERROR)
    client = Client(cluster)
    started = time.perf_counter() - start

    client.gather(client.map(nothing, range(200), pure=False))  # warm
    start = time.perf_counter()
    client.gather(client.map(nothing, range(2000), pure=False))
    per_task = (time.perf_counter() - start) / 2000
    start = time.perf_counter()
    client.close()
    cluster.close()
    stopped = time.perf_counter() - start

    copybook = os.path.join(work, "bench.cpy")
    data = os.path.join(work, "bench.dat")
    start = time.perf_counter()
    for _ in range(50):
        subprocess.run([decoder, "-i", copybook, "-range", "0:0", data], capture_output=True, check=True)
    per_split = (time.perf_counter() - start) / 50
    end = split_mb * 1000000 // 100 * 100
    start = time.perf_counter()
    subprocess.run([decoder, "-i", copybook, "-range", f"0:{end}", "-o", os.path.join(work, "one.jsonl"),
                    data], capture_output=True, check=True)
    one = time.perf_counter() - start
    os.remove(os.path.join(work, "one.jsonl"))
    print(f"{'local cluster of 2: start, stop':34} {started:7.2f} s {stopped:7.2f} s")
    print(f"{'scheduler, per empty task':34} {per_task * 1000:7.2f} ms")
    print(f"{'fixed cost of one split':34} {per_split * 1000:7.2f} ms  (process start, copybook)")
    print(f"{'one worker, one split of %d MB' % split_mb:34} {one:7.2f} s {end / 1e6 / one:8.1f} MB/s")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(float(sys.argv[3])))
PY
/usr/bin/python3 "$work/overheads.py" "$work" "$decoder" "$split_mb"
