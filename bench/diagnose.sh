#!/usr/bin/env bash
# Time of vexfcbl-decode -diagnose on the files of its test, against decoding the same file.
#
#   bench/diagnose.sh [DECODER]
#
# DECODER defaults to build/vexfcbl-decode. The files are the generated cases of
# tests/decoder/diagnose_test.py (written by tests/tools/cobdata.py: F, V, VB,
# L, headers, trailers, code pages, a copybook that lacks an item, record
# types); those whose records repeat cleanly (no header, trailer or cut record)
# are repeated to DIAGNOSE_MB megabytes (default 8), more than the default
# 4 MB sample. Each line prints the CPU seconds of -diagnose (best of
# DIAGNOSE_RUNS, default 3), those of decoding the sample's 4 MB with the right
# options to /dev/null, and their ratio.
# The goal is under 2 s on one core for the default sample.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
decoder=${1:-$root/build/vexfcbl-decode}
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
DIAGNOSE_RUNS=${DIAGNOSE_RUNS:-3} /usr/bin/python3 - "$root" "$decoder" <<'PY'
import os, resource, subprocess, sys, tempfile
from pathlib import Path
root, decoder = Path(sys.argv[1]), sys.argv[2]
sys.path.insert(0, str(root / "tests" / "decoder"))
import diagnose_test  # noqa: E402  (its case generator; nothing of the tests runs)

def cpu(args, folder):
    best = None
    for _ in range(int(os.environ["DIAGNOSE_RUNS"])):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(args, cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        spent = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
        best = spent if best is None else min(best, spent)
    return best

with tempfile.TemporaryDirectory() as tmp:
    print(f"{'case':<24} {'MB':>5} {'diagnose s':>11} {'decode s':>9} {'ratio':>6}")
    slowest = ("", 0.0)
    target = float(os.environ.get("DIAGNOSE_MB", "8")) * 1e6
    for case in diagnose_test.generated_cases(Path(tmp)):
        if case.name in ("f-header", "f-trailer", "f-cut-last-record", "v-little-omits-word", "v-big-omits-word"):
            continue
        path = case.folder / case.data
        one = path.read_bytes()
        path.write_bytes(one * max(1, int(target // len(one)) + 1))
        size = path.stat().st_size / 1e6
        (case.folder / "sample.bin").write_bytes(path.read_bytes()[:4 << 20])
        diagnose = cpu([decoder, "-diagnose", "-i", case.copybook, case.data], case.folder)
        decode = cpu([decoder, "-i", case.copybook, *case.right, "-q", "-o", os.devnull, "sample.bin"], case.folder)
        print(f"{case.name:<24} {size:5.1f} {diagnose:11.2f} {decode:9.2f} {diagnose / max(decode, 1e-3):6.1f}")
        if diagnose > slowest[1]:
            slowest = (case.name, diagnose)
    print(f"slowest: {slowest[0]}, {slowest[1]:.2f} s of CPU (goal: under 2 s)")
PY
