#!/usr/bin/python3
"""Whole-process `tavrel run` of two builds side by side: the runs alternate (so that both see
the same machine load) and the medians of wall and CPU time (user + system) are compared.

    bench/compare_runs.py [--runs N] [--without BLOCK] OLD_TAVREL NEW_TAVREL [SCENARIO]

SCENARIO defaults to scenarios/default.toml; --without drops a block's tables from it (e.g.
--without observer for the rig alone). Each build's results.csv is left in a temporary folder
and compared as numbers with tools/csv_same_values.py."""
import argparse
import os
import re
import resource
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def without_block(text, block):
    kept, skipping = [], False
    for line in text.splitlines(keepends=True):
        header = re.match(r"\s*\[([^\]]+)\]", line)
        if header:
            name = header.group(1)
            skipping = name == f"blocks.{block}" or name.startswith(f"blocks.{block}.")
        if not skipping:
            kept.append(line)
    return "".join(kept)


def run_words(binary):
    """`BINARY run`, without the figures where the build draws them: the run is what is timed."""
    help_text = subprocess.run([binary, "run", "--help"], capture_output=True, text=True).stdout
    return [binary, "run"] + (["--no-figures"] if "--no-figures" in help_text else [])


def timed_run(binary, scenario, folder):
    words = run_words(binary)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(words + [scenario, "-o", folder], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--without")
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("scenario", nargs="?",
                        default=os.path.join(ROOT, "scenarios", "default.toml"))
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="tavrel_compare_")
    scenario = args.scenario
    if args.without:
        scenario = os.path.join(work, "scenario.toml")
        with open(args.scenario) as source, open(scenario, "w") as out:
            out.write(without_block(source.read(), args.without))
    builds = {"old": args.old, "new": args.new}
    walls = {name: [] for name in builds}
    cpus = {name: [] for name in builds}
    for _ in range(args.runs):
        for name, binary in builds.items():
            wall, cpu = timed_run(binary, scenario, os.path.join(work, name))
            walls[name].append(wall)
            cpus[name].append(cpu)
    for name in builds:
        print(f"{name}: wall median {statistics.median(walls[name]):.4f} s, CPU median "
              f"{statistics.median(cpus[name]):.4f} s  (walls: "
              f"{' '.join(f'{w:.3f}' for w in walls[name])})")
    print(f"speed-up of the medians: wall "
          f"{statistics.median(walls['old']) / statistics.median(walls['new']):.2f}x, CPU "
          f"{statistics.median(cpus['old']) / statistics.median(cpus['new']):.2f}x")
    same = subprocess.run([sys.executable, os.path.join(ROOT, "tools", "csv_same_values.py"),
                           os.path.join(work, "old", "results.csv"),
                           os.path.join(work, "new", "results.csv")])
    return same.returncode


if __name__ == "__main__":
    sys.exit(main())
