"""What the Python package costs on the largest network the command
handles in constant memory: 2,000 dated state-vector acquisitions with all
1,999,000 pairs, through bperp.stack() against bperp-stack (CSV and JSON to
/dev/null). Wall time and peak memory, each run in a process of its own;
the package's memory counted above the interpreter's own (numpy and bperp
imported).

    PYTHONPATH=build/python /usr/bin/python3 bench/python_stack.py [BUILD_DIR]

The target: the package within 1.5 times the command's time (its faster
format) and under 150 MB above the interpreter's own.
"""
import datetime
import glob
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
REFERENCE = os.path.join(ROOT, "examples", "stack", "reference.txt")

PACKAGE = """
import glob, resource, sys, time
import numpy, bperp
files = sorted(glob.glob(sys.argv[2] + "/*.txt"))
own = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start = time.perf_counter()
result = bperp.stack(sys.argv[1], files, pairs=True)
seconds = time.perf_counter() - start
print(seconds, (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - own) / 1024, own / 1024, result.pairs.rows)
"""


def write_stack(folder):
    """State vectors a few metres from the reference, one a day from
    2000-01-01 (as bench/stack_scale.sh writes them)."""
    for k in range(1999):
        day = datetime.date(2000, 1, 1) + datetime.timedelta(days=k)
        with open(os.path.join(folder, "%06d.txt" % k), "w") as f:
            f.write("%s pass\n%.6f %.6f 4095.394502\n-1.721236851 4.285816268 -6.027058295\n"
                    % (day.isoformat(), -3992.201961 + 0.001 * (k % 100), 4155.954235 - 0.002 * (k % 100)))


def command(fmt, folder):
    """The command's wall time (s) and peak memory (MB)."""
    start = time.perf_counter()
    child = subprocess.Popen([os.path.join(BUILD, "bperp-stack"), "--pairs", "--format", fmt, REFERENCE]
                             + sorted(glob.glob(folder + "/*.txt")), stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    assert child.returncode == 0
    return seconds, usage.ru_maxrss / 1024


def main():
    with tempfile.TemporaryDirectory() as folder:
        write_stack(folder)
        seconds, above, own, pairs = map(float, subprocess.run(
            [sys.executable, "-c", PACKAGE, REFERENCE, folder], capture_output=True, text=True,
            check=True).stdout.split())
        print("2,000 acquisitions, %d pairs:" % pairs)
        print("  bperp.stack(pairs=True)     %6.2f s %7.1f MB above the interpreter's %.1f MB" % (seconds, above, own))
        fastest = None
        for fmt in ("csv", "json"):
            t, mb = command(fmt, folder)
            fastest = t if fastest is None else min(fastest, t)
            print("  bperp-stack --format %-5s  %6.2f s %7.1f MB" % (fmt, t, mb))
        ok = seconds <= 1.5 * fastest and above < 150.0
        print("target (<= 1.5 x the command's time, < 150 MB): %s (%.2f x)" % ("met" if ok else "MISSED",
                                                                             seconds / fastest))


main()
