"""Figures of a run: pressures, flows, the choke and the displacer over time, and the pressure
along the annulus at chosen times.

    python3 -m tavrel.plot RESULTS.csv [-o FIG.png] [--profile FIG.png] [--times T ...]
                                       [--scenario FILE|default | --positions P ...]

Figures are drawn off-screen (Agg) and work on any result that has the logged columns by name
("rig.bottom_pressure"): a tavrel.Result, or a results CSV file read back.
"""

import argparse
import os
import sys

import numpy
from matplotlib.backends.backend_agg import FigureCanvasAgg
from matplotlib.figure import Figure

# Display units: bar and litres per minute read at a glance where Pa and m3/s do not.
_DISPLAY = {"Pa": (1e-5, "bar"), "m3/s": (60e3, "L/min")}


def _display(unit):
    return _DISPLAY.get(unit, (1.0, unit or "-"))


def _blocks_with(result, port):
    """Block names that have a column `block.port`, in column order."""
    return [name[: -len(port) - 1] for name in result.names if name.endswith("." + port)]


def _sensor_columns(result, block):
    prefix = block + ".sensor_pressure["
    return [name for name in result.names if name.startswith(prefix)]


def _sensor_label(result, block, column):
    index = int(column[column.rindex("[") + 1: -1])
    positions = result.sensor_positions.get(block, [])
    if index < len(positions):
        return f"{block} sensor at {positions[index]:g} m"
    return f"{block} sensor {index}"


class _Panel:
    """One axis of the time-series figure: lines of one physical quantity."""

    def __init__(self, quantity, unit, limits=None):
        self.quantity = quantity
        self.unit = unit
        self.limits = limits  # fixed range of the axis, e.g. 0..1 for an opening
        self.lines = []  # (column, label, style)

    def add(self, result, column, label, **style):
        if column in result:
            self.lines.append((column, label, style))

    def draw(self, axis, result):
        scale, unit = _display(self.unit)
        for column, label, style in self.lines:
            axis.plot(result.time, result[column] * scale, label=label, **style)
        axis.set_ylabel(f"{self.quantity} [{unit}]")
        axis.ticklabel_format(axis="y", useOffset=False)
        if self.limits:
            axis.set_ylim(*self.limits)
        axis.grid(True, alpha=0.3)
        axis.legend(loc="upper right", fontsize="small", ncol=2 if len(self.lines) > 4 else 1)


def _panels(result):
    rigs = _blocks_with(result, "choke_opening")
    observers = _blocks_with(result, "displacer_velocity_estimate")
    # The bottom pressure has a panel of its own: its swing is what a study is about, and it
    # would be lost on the scale of the whole well.
    bottom, pressures = _Panel("bottom pressure", "Pa"), _Panel("pressure", "Pa")
    flows = _Panel("flow", "m3/s")
    choke = _Panel("choke opening", "1", limits=(-0.03, 1.03))
    displacer = _Panel("displacer velocity", "m/s")
    for rig in rigs:
        bottom.add(result, f"{rig}.bottom_pressure", f"{rig} bottom", linewidth=2)
        pressures.add(result, f"{rig}.choke_pressure", f"{rig} choke", color="black",
                      linestyle="--", linewidth=1.5, zorder=3)
        for column in _sensor_columns(result, rig):
            pressures.add(result, column, _sensor_label(result, rig, column), linewidth=0.8)
        for port in ("choke_flow", "top_flow", "bottom_flow", "injection_flow"):
            if result.units.get(f"{rig}.{port}") == "m3/s":
                flows.add(result, f"{rig}.{port}", f"{rig} {port.replace('_', ' ')}")
        choke.add(result, f"{rig}.choke_setpoint", f"{rig} setpoint", linestyle="--")
        choke.add(result, f"{rig}.choke_opening", f"{rig} opening")
        displacer.add(result, f"{rig}.displacer_velocity", f"{rig} true", linewidth=2)
    for observer in observers:
        displacer.add(result, f"{observer}.displacer_velocity_estimate",
                      f"{observer} estimate", linestyle="--")
    if not observers:
        displacer.lines = []  # the true velocity alone is an input, not a finding
    return [panel for panel in (bottom, pressures, flows, choke, displacer) if panel.lines]


def series_figure(result, title=None):
    """Bottom pressure, choke and sensor pressures, flows, choke opening against its setpoint
    and, with an observer, the estimated against the true displacer velocity, on one shared
    time axis."""
    panels = _panels(result)
    if not panels:
        raise ValueError("the result has no columns of a rig or observer block to plot")
    figure = Figure(figsize=(10, 2.2 * len(panels) + 0.8), layout="constrained")
    FigureCanvasAgg(figure)
    axes = figure.subplots(len(panels), 1, sharex=True, squeeze=False)[:, 0]
    for panel, axis in zip(panels, axes):
        panel.draw(axis, result)
    axes[-1].set_xlabel("time [s]")
    if len(result):
        axes[-1].set_xlim(result.time[0], result.time[-1])
    if title:
        figure.suptitle(title)
    return figure


def _snapshot_rows(result, times):
    """Indices of the logged rows nearest to `times` (default: six across the run)."""
    if len(result) == 0:
        raise ValueError("the result has no rows")
    if times is None:
        times = numpy.linspace(result.time[0], result.time[-1], 6)
    rows = [int(numpy.argmin(numpy.abs(result.time - t))) for t in times]
    return sorted(set(rows))


def profile_figure(result, times=None, title=None):
    """Pressure along the annulus at chosen times [s], one panel per block with sensors.
    Positions come from the result's sensor positions (distance from the bottom); without
    them the sensors are shown by index."""
    blocks = [b for b in _blocks_with(result, "choke_opening") if _sensor_columns(result, b)]
    if not blocks:
        raise ValueError("the result has no sensor pressures of a rig block")
    rows = _snapshot_rows(result, times)
    figure = Figure(figsize=(4.5 * len(blocks) + 1, 5.5), layout="constrained")
    FigureCanvasAgg(figure)
    axes = figure.subplots(1, len(blocks), sharey=True, squeeze=False)[0]
    scale, unit = _display("Pa")
    for block, axis in zip(blocks, axes):
        columns = _sensor_columns(result, block)
        positions = result.sensor_positions.get(block)
        known = positions is not None and len(positions) == len(columns)
        heights = numpy.asarray(positions if known else range(len(columns)), dtype=float)
        order = numpy.argsort(heights)
        for row in rows:
            pressures = numpy.array([result[c][row] for c in columns]) * scale
            axis.plot(pressures[order], heights[order], marker="o",
                      label=f"t = {result.time[row]:g} s")
        axis.set_xlabel(f"pressure [{unit}]")
        axis.set_title(block)
        axis.grid(True, alpha=0.3)
        axis.legend(loc="upper right", fontsize="small")
        if axis is axes[0]:
            axis.set_ylabel("distance from the bottom [m]" if known else "sensor")
    if title:
        figure.suptitle(title)
    return figure


def _wave_block(result, block):
    if result.profile is None:
        raise ValueError("the run recorded no profile (tavrel run --profile, simulate(profile=True))")
    return block or result.profile.blocks[0]


def wave_deviation(result, block=None):
    """Positions [m], times [s] and the pressure along the annulus less the run's initial
    profile [bar]: the hydrostatic gradient taken out, the waves remain."""
    positions, times, pressures = result.profile[_wave_block(result, block)]
    return positions, times, (pressures - pressures[0]) * 1e-5


def _symmetric_limit(deviation):
    # The 99.5th percentile: an opening transient does not wash out the waves after it.
    return float(numpy.percentile(numpy.abs(deviation), 99.5)) or 1.0


def wave_map_figure(result, block=None, title=None):
    """Space-time map of the pressure deviation: wave fronts run as diagonal bands, down from
    the choke and up from the displacer, at the sound speed."""
    block = _wave_block(result, block)
    positions, times, deviation = wave_deviation(result, block)
    figure = Figure(figsize=(11, 4.8), constrained_layout=True)
    FigureCanvasAgg(figure)
    axis = figure.add_subplot(1, 1, 1)
    limit = _symmetric_limit(deviation)
    image = axis.pcolormesh(times, positions, deviation.T, shading="nearest", cmap="RdBu_r",
                            vmin=-limit, vmax=limit, rasterized=True)
    for x in result.sensor_positions.get(block, []):
        axis.axhline(x, color="0.2", linestyle=":", linewidth=0.8)
        axis.annotate(f"sensor {x:g} m", (1, x), xycoords=("axes fraction", "data"),
                      xytext=(-4, 2), textcoords="offset points", ha="right", fontsize=7)
    axis.set_xlabel("time [s]")
    axis.set_ylabel("distance from the bottom [m]")
    axis.set_title(title or f"{block}: pressure deviation from the initial profile")
    figure.colorbar(image, ax=axis, label="deviation [bar]")
    return figure


def wave_animation(result, path, block=None, seconds=36.0, frames=120):
    """An animated GIF of the deviation profile over the last `seconds` of the run."""
    from matplotlib.animation import FuncAnimation, PillowWriter

    block = _wave_block(result, block)
    positions, times, deviation = wave_deviation(result, block)
    rows = numpy.flatnonzero(times >= times[-1] - seconds)
    rows = rows[:: max(1, len(rows) // frames)]
    limit = float(numpy.abs(deviation[rows]).max()) or 1.0
    figure = Figure(figsize=(5, 6), constrained_layout=True)
    FigureCanvasAgg(figure)
    axis = figure.add_subplot(1, 1, 1)
    (line,) = axis.plot(deviation[rows[0]], positions, linewidth=2)
    axis.set_xlim(-1.05 * limit, 1.05 * limit)
    axis.axvline(0, color="0.5", linewidth=0.8)
    axis.set_xlabel("pressure deviation from the initial profile [bar]")
    axis.set_ylabel("distance from the bottom [m]")
    axis.grid(True, alpha=0.3)
    label = axis.set_title("")

    def draw(frame):
        line.set_xdata(deviation[rows[frame]])
        label.set_text(f"{block}, t = {times[rows[frame]]:.2f} s")
        return line, label

    FuncAnimation(figure, draw, frames=len(rows)).save(path, writer=PillowWriter(fps=15))
    return path


def save(figure, path):
    """Writes a figure; the format follows the file name (png, pdf, svg, ...)."""
    figure.savefig(os.fspath(path), dpi=120)


def _positions_from(args):
    if args.positions:
        return None, list(args.positions)
    if args.scenario:
        from . import Scenario, _sensor_positions
        scenario = Scenario.default() if args.scenario == "default" else Scenario.load(args.scenario)
        return _sensor_positions(scenario), None
    return {}, None


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m tavrel.plot",
        description="Figures of a results CSV file: pressures, flows, choke and displacer over "
                    "time, and the pressure along the annulus at chosen times.")
    parser.add_argument("results", help="results CSV file of a run")
    parser.add_argument("-o", "--output",
                        help="time-series figure (default: the CSV's name with .png)")
    parser.add_argument("--profile",
                        help="pressure-profile figure (default: the CSV's name with _profile.png)")
    parser.add_argument("--times", type=float, nargs="+",
                        help="times of the profile snapshots [s] (default: six across the run)")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scenario",
                       help="scenario file (or 'default') whose sensor positions to use")
    where.add_argument("--positions", type=float, nargs="+",
                       help="sensor positions [m from the bottom] of the rig block")
    parser.add_argument("--title", help="figure title")
    args = parser.parse_args(argv)

    from . import Result
    stem = os.path.splitext(args.results)[0]
    positions, listed = _positions_from(args)
    result = Result.read_csv(args.results, positions)
    if listed is not None:
        for rig in _blocks_with(result, "choke_opening"):
            result.sensor_positions[rig] = listed
    series_path = args.output or stem + ".png"
    save(series_figure(result, title=args.title), series_path)
    print(series_path)
    if result.profile is not None:  # the whole annulus: the waves themselves
        wave_path = stem + "_wave_map.png"
        save(wave_map_figure(result, title=args.title), wave_path)
        print(wave_path)
        print(wave_animation(result, stem + "_wave.gif"))
    elif any(_sensor_columns(result, b) for b in _blocks_with(result, "choke_opening")):
        profile_path = args.profile or stem + "_profile.png"
        save(profile_figure(result, times=args.times, title=args.title), profile_path)
        print(profile_path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
