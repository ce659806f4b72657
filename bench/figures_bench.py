#!/usr/bin/python3
"""Whole-process `tavrel run` of the default scenario with its figures, two builds side by side:
`run -o DIR` (results.png and the sensor profile) and `run --report -o DIR` (results.png, the
wave map, the GIF and report.html). The builds alternate, so that both see the same machine
load, one command after the other (a --report run leaves 20 MB to write back); the medians
of wall and CPU time (user + system, children included) are compared.

    bench/figures_bench.py [--runs N] OLD_TAVREL NEW_TAVREL
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

COMMANDS = {"run": ["run", "-q"], "run --report": ["run", "-q", "--report"]}


def timed(words, folder):
    """Wall and CPU seconds of one command, which must succeed and draw without a complaint."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run(words + ["-o", folder], capture_output=True, text=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0 or done.stderr.strip():
        sys.exit(f"{' '.join(words)} failed ({done.returncode}): {done.stderr.strip()}")
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    builds = {"old": os.path.abspath(args.old), "new": os.path.abspath(args.new)}
    times = {(b, c): [] for b in builds for c in COMMANDS}
    with tempfile.TemporaryDirectory(prefix="figures_bench_") as root:
        for command, words in COMMANDS.items():
            for run in range(args.runs + 1):  # the first round warms the caches, not counted
                for build, binary in builds.items():
                    folder = os.path.join(root, f"{build}-{command.replace(' ', '')}")
                    measured = timed([binary, *words], folder)
                    if run:
                        times[build, command].append(measured)
    print(f"medians of {args.runs} runs, whole process, default scenario")
    print(f"{'command':<14} {'old wall':>9} {'new wall':>9} {'speed-up':>9} "
          f"{'old CPU':>9} {'new CPU':>9} {'speed-up':>9}")
    for command in COMMANDS:
        old = [statistics.median(v) for v in zip(*times["old", command])]
        new = [statistics.median(v) for v in zip(*times["new", command])]
        print(f"{'tavrel ' + command:<14} {old[0]:8.3f}s {new[0]:8.3f}s {old[0] / new[0]:8.1f}x "
              f"{old[1]:8.3f}s {new[1]:8.3f}s {old[1] / new[1]:8.1f}x")


if __name__ == "__main__":
    main()
