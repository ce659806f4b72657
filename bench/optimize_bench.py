"""Differential evolution on 2 jobs against 1: evaluations per second of the shipped choke
sinusoid tuning (default well, 120 s runs), rounds alternating so that the machine's load falls
on both alike. Target: 2 jobs >= 1.7x the rate of 1 on a 2-core machine.

    PYTHONPATH=build/python /usr/bin/python3 bench/optimize_bench.py [--rounds 3]
"""

import argparse
import os
import re
import statistics
import tempfile
import time

import tavrel

HERE = os.path.dirname(os.path.abspath(__file__))
SHIPPED = os.path.join(HERE, "..", "studies", "tune_choke_sinusoid.toml")


def differential_evolution_file(folder):
    text = open(SHIPPED, encoding="utf-8").read()
    text = re.sub(r'method = "nelder-mead"',
                  'method = "differential-evolution"\nseed = 1\npopulation = 16', text)
    text = re.sub(r"max_evaluations = \d+", "max_evaluations = 96", text)
    text = text.replace('scenario = "../scenarios/',
                        f'scenario = "{os.path.join(HERE, "..", "scenarios")}/')
    path = os.path.join(folder, "de.toml")
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)
    return path


def rate(path, jobs, folder):
    opt = tavrel.Optimization.load(path)
    start = time.perf_counter()
    outcome = opt.run(jobs=jobs, output=os.path.join(folder, f"j{jobs}_{time.perf_counter_ns()}"),
                      progress=False)
    return len(outcome.evaluations) / (time.perf_counter() - start)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        path = differential_evolution_file(folder)
        rates = {1: [], 2: []}
        for _ in range(args.rounds):
            for jobs in (1, 2):
                rates[jobs].append(rate(path, jobs, folder))
    one, two = statistics.median(rates[1]), statistics.median(rates[2])
    print(f"1 job: {one:.1f} evaluations/s, 2 jobs: {two:.1f} evaluations/s (median of "
          f"{args.rounds} alternating rounds): {two / one:.2f}x (target >= 1.7x)")


if __name__ == "__main__":
    main()
