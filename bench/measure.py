#!/usr/bin/env python3
"""Runs commands side by side, alternating them, and prints a markdown
table of medians: wall and CPU seconds, peak resident memory, input MB/s,
and each command's time over the first one's.

    measure.py --input-bytes N --runs 5 --warmup 1 [--between CMD] NAME=COMMAND ...

--between runs, untimed, before every timed command (say, to remove the
outputs and flush dirty pages, so that one command's writeback does not
slow the next).

Each command runs through /bin/sh; its times are those wait4 reports for
that shell and everything it waited for. Its peak memory comes from GNU
time instead: a process forked from this script starts with the script's
own high-water mark, which would hide anything smaller.
"""
import argparse
import os
import statistics
import subprocess
import tempfile
import time

GNU_TIME = "/usr/bin/time"


def run_once(command):
    with tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        child = subprocess.Popen([GNU_TIME, "-f", "%M", "-o", peak.name, "/bin/sh", "-c", command],
                                 stdin=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
        code = os.waitstatus_to_exitcode(status)
        if code != 0:
            raise SystemExit("failed (%d): %s" % (code, command))
        return wall, usage.ru_utime + usage.ru_stime, int(peak.read().split()[-1]) * 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--input-bytes", type=int, required=True, help="0 leaves out the MB/s figures")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--warmup", type=int, default=1)
    parser.add_argument("--between", default="")
    parser.add_argument("commands", nargs="+", help="NAME=COMMAND")
    args = parser.parse_args()
    if not os.access(GNU_TIME, os.X_OK):
        raise SystemExit("%s is missing: apt-get install time" % GNU_TIME)
    commands = [c.split("=", 1) for c in args.commands]
    results = {name: [] for name, _ in commands}
    for round_ in range(args.warmup + args.runs):
        for name, command in commands:  # alternated, so drift hits all alike
            if args.between:
                subprocess.run(["/bin/sh", "-c", args.between], check=True)
            measured = run_once(command)
            if round_ >= args.warmup:
                results[name].append(measured)

    def median(name, i):
        return statistics.median(r[i] for r in results[name])

    first = commands[0][0]
    print("| command | wall s | CPU s | peak RSS MiB | input MB/s | time / %s |" % first)
    print("|---|---:|---:|---:|---:|---:|")
    for name, _ in commands:
        wall = median(name, 0)
        rate = "%.0f" % (args.input_bytes / 1e6 / wall) if args.input_bytes else "-"
        print("| %s | %.3f | %.3f | %.1f | %s | %.3f |" % (
            name, wall, median(name, 1), max(r[2] for r in results[name]) / 2**20, rate,
            wall / median(first, 0)))
    # machine-readable medians for the caller's checks
    with open(os.environ.get("MEASURE_OUT", os.devnull), "w") as out:
        for name, _ in commands:
            out.write("%s %.6f %.6f %d\n" % (name.replace(" ", "_"), median(name, 0), median(name, 1),
                                             max(r[2] for r in results[name])))


if __name__ == "__main__":
    main()
