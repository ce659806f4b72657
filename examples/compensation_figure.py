"""The heave compensation figure: the bottom-pressure swing against the heave period with the
choke fixed, under the PI loop and under the compensator (retuned per period, and with its 12 s
tuning kept), and the bottom pressure over time with and without compensation.

    build/bin/tavrel study studies/heave_compensation_sweep.toml -o sweep
    build/bin/tavrel study studies/heave_compensation_sweep_12s_tuning.toml -o sweep12
    build/bin/tavrel run scenarios/heave_compensation.toml -o heave
    /usr/bin/python3 examples/compensation_figure.py sweep sweep12 heave -o compensation.png
"""

import argparse
import os

import pandas
from matplotlib.backends.backend_agg import FigureCanvasAgg
from matplotlib.figure import Figure

BAR = 1e5  # Pa
PERIOD = "rig.displacer_velocity.period"
SWINGS = [("fixed", "fixed choke", "tab:gray", "-"), ("pi", "PI loop", "tab:orange", "-"),
          ("rig", "compensator, retuned per period", "tab:blue", "-")]


def column(frame, name):
    """The column whose header starts with `name` (headers carry their unit in brackets)."""
    return frame[next(c for c in frame.columns if c.split(" [")[0] == name)]


def draw_swings(axis, sweep, sweep12):
    for block, label, color, style in SWINGS:
        axis.plot(column(sweep, PERIOD), column(sweep, block + ".bottom_pressure:swing") / BAR,
                  style, color=color, marker="o", label=label)
    if sweep12 is not None:
        axis.plot(column(sweep12, PERIOD), column(sweep12, "rig.bottom_pressure:swing") / BAR,
                  "--", color="tab:blue", marker=".", label="compensator, 12 s tuning")
    axis.set_xlabel("heave period [s]")
    axis.set_ylabel("bottom-pressure swing [bar]")
    axis.grid(True, alpha=0.3)
    axis.legend()


def draw_time(axis, results):
    time = column(results, "time")
    for block, label, color, _ in SWINGS:
        axis.plot(time, column(results, block + ".bottom_pressure") / BAR, color=color,
                  label=label.split(",")[0], linewidth=0.8)
    axis.set_xlabel("time [s]")
    axis.set_ylabel("bottom pressure [bar]")
    axis.grid(True, alpha=0.3)
    axis.legend()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("sweep", help="folder of the per-period retuned sweep")
    parser.add_argument("sweep12", help="folder of the sweep with the 12 s tuning ('-': none)")
    parser.add_argument("run", help="folder of a run of heave_compensation.toml")
    parser.add_argument("-o", "--output", default="compensation.png")
    args = parser.parse_args()
    sweep = pandas.read_csv(os.path.join(args.sweep, "study.csv"))
    sweep12 = None if args.sweep12 == "-" else pandas.read_csv(
        os.path.join(args.sweep12, "study.csv"))
    results = pandas.read_csv(os.path.join(args.run, "results.csv"))

    figure = Figure(figsize=(11, 4.5))
    FigureCanvasAgg(figure)
    left, right = figure.subplots(1, 2)
    draw_swings(left, sweep, sweep12)
    draw_time(right, results)
    figure.tight_layout()
    figure.savefig(args.output, dpi=120)
    print("Figure:", args.output)


if __name__ == "__main__":
    main()
