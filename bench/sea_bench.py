#!/usr/bin/python3
"""A 900 s irregular sea: the whole `tavrel run` process on scenarios/heave_compensation_sea.toml
(three rigs, the observer and the broadband compensator; results.csv and results.mat, no
figures), the median and best of several runs, the real-time factor and the solver's work.

    bench/sea_bench.py [build/bin/tavrel] [REPEATS]
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

SCENARIO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scenarios",
                        "heave_compensation_sea.toml")
DURATION = 900.0


def main():
    cli = sys.argv[1] if len(sys.argv) > 1 else "build/bin/tavrel"
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    times, work = [], ""
    with tempfile.TemporaryDirectory() as folder:
        for _ in range(repeats):
            start = time.perf_counter()
            done = subprocess.run([cli, "run", SCENARIO, "-o", folder, "--no-figures"], check=True,
                                  capture_output=True, text=True)
            times.append(time.perf_counter() - start)
            found = re.search(r"(\d+) solver steps, (\d+) right-hand sides", done.stdout)
            work = f"{found.group(1)} steps, {found.group(2)} right-hand sides" if found else ""
    median = statistics.median(times)
    print(f"tavrel run heave_compensation_sea.toml ({DURATION:g} s simulated): median "
          f"{median:.2f} s, best {min(times):.2f} s of {repeats}, real-time factor "
          f"{DURATION / median:.0f}; {work}")


if __name__ == "__main__":
    main()
