#!/usr/bin/python3
"""Linear analysis speed: the whole `tavrel linearize` process on the default scenario (rig and
observer, every input and output, 200 periods), with and without figures, and
LinearModel.freqresp of 1000 periods. Medians of several repeats.

    PYTHONPATH=build/python bench/linearize_bench.py [build/bin/tavrel]
"""
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import tavrel


def median_seconds(run, repeats):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    cli = sys.argv[1] if len(sys.argv) > 1 else "build/bin/tavrel"
    with tempfile.TemporaryDirectory() as folder:
        for extra, label in (([], "with figures"), (["--no-figures"], "without figures")):
            command = [cli, "linearize", "-o", folder, "--periods", "1:60:200", *extra]
            seconds = median_seconds(lambda: subprocess.run(command, check=True,
                                                            stdout=subprocess.DEVNULL), 5)
            print(f"tavrel linearize, {label}: {seconds:.3f} s whole process (target 0.5 s)")
    model = tavrel.linearize()
    periods = np.geomspace(1, 60, 1000)
    seconds = median_seconds(lambda: model.freqresp(periods), 5)
    print(f"LinearModel.freqresp, 1000 periods, {model.A.shape[0]} states, "
          f"{len(model.outputs)}x{len(model.inputs)} pairs: {seconds:.3f} s (target 0.2 s)")
    seconds = median_seconds(lambda: tavrel.linearize(), 5)
    print(f"tavrel.linearize (matrices only): {seconds:.3f} s")


if __name__ == "__main__":
    main()
