"""rusage.py RESULT COMMAND...: runs COMMAND, waits for it with wait4() and
writes "user_s system_s wall_s maxrss_kb exit_status" (128 + N for signal N)
to the file RESULT: times in microseconds from the kernel's rusage and a
monotonic clock, for the benchmarks (never the tests)."""
import os, sys, time
start = time.monotonic()
pid = os.fork()
if pid == 0:
    try:
        os.execvp(sys.argv[2], sys.argv[2:])
    finally:
        os._exit(127)
_, status, usage = os.wait4(pid, 0)
wall = time.monotonic() - start
code = os.waitstatus_to_exitcode(status)
code = 128 - code if code < 0 else code
with open(sys.argv[1], "w") as result:
    print(f"{usage.ru_utime:.6f} {usage.ru_stime:.6f} {wall:.6f} {usage.ru_maxrss} {code}", file=result)
