"""The cost of the profile: `tavrel run` of the default scenario with --profile against without,
whole process, runs alternating so the machine's load falls on both alike. Target: <= 1.3x.

    /usr/bin/python3 bench/profile_bench.py build/bin/tavrel [--runs 11]
"""

import argparse
import statistics
import subprocess
import tempfile
import time

from compare_runs import run_words


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("tavrel")
    parser.add_argument("--runs", type=int, default=11)
    args = parser.parse_args()
    seconds = {False: [], True: []}
    run = run_words(args.tavrel)
    with tempfile.TemporaryDirectory() as folder:
        for _ in range(args.runs):
            for profile in (False, True):
                command = run + ["-q", "-o", folder] + (["--profile"] if profile else [])
                start = time.perf_counter()
                subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
                seconds[profile].append(time.perf_counter() - start)
    plain, profiled = statistics.median(seconds[False]), statistics.median(seconds[True])
    print(f"without the profile {plain:.3f} s, with it {profiled:.3f} s (medians of {args.runs}): "
          f"{profiled / plain:.2f}x (target <= 1.3x)")


if __name__ == "__main__":
    main()
