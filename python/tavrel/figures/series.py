"""results.png: pressures, flows, the choke and the displacer of a run over time; and the
pressure along the annulus at chosen times from the sensor columns (results_profile.png).

Both take any result with the logged columns by name ("rig.bottom_pressure"): a tavrel.Result,
or a results CSV file read back."""

import numpy

from . import canvas
from .decimate import min_max_rows
from .units import display


def blocks_with(result, port):
    """Block names that have a column `block.port`, in column order."""
    return [name[: -len(port) - 1] for name in result.names if name.endswith("." + port)]


def sensor_columns(result, block):
    prefix = block + ".sensor_pressure["
    return [name for name in result.names if name.startswith(prefix)]


def _sensor_label(result, block, column):
    """A sensor by its depth below the surface, as a driller reads it, where the annulus length
    is known; else by its distance from the bottom, or its index."""
    index = int(column[column.rindex("[") + 1: -1])
    positions = result.sensor_positions.get(block, [])
    if index >= len(positions):
        return f"{block} sensor {index}"
    length = result.annulus_lengths.get(block)
    if length is None:
        return f"{block} sensor {positions[index]:g} m above the bottom"
    return f"{block} sensor at {length - positions[index]:g} m depth"


LEGEND_ROOM = 2.6  # inches right of the axes for the legends


class _Panel:
    """One axis of the time-series figure: lines of one physical quantity."""

    def __init__(self, quantity, unit, limits=None, settled=False):
        self.quantity = quantity
        self.unit = unit
        self.limits = limits  # fixed range of the axis, e.g. 0..1 for an opening
        # Scaled to the lines' swing after the start, which a start-up transient would hide.
        self.settled = settled
        self.lines = []  # (column, label, style)

    def add(self, result, column, label, **style):
        if column in result:
            self.lines.append((column, label, style))

    def draw(self, axis, result):
        scale, unit = display(self.unit)
        for column, label, style in self.lines:
            # Each line keeps the extremes of every stretch of rows: the picture is the same,
            # drawn from a few thousand points instead of every logged row.
            values = result[column]
            rows = min_max_rows(values)
            axis.plot(result.time[rows], values[rows] * scale, label=label, **style)
        axis.set_ylabel(f"{self.quantity} [{unit}]")
        axis.ticklabel_format(axis="y", useOffset=False)
        limits = self.limits or (self._swing(result, scale) if self.settled else None)
        if limits:
            axis.set_ylim(*limits)
        axis.grid(True, alpha=0.3)
        # Beside the axes, never over the curves.
        axis.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize="small",
                    borderaxespad=0)

    def _swing(self, result, scale):
        """The lines' range after the first tenth of the run, with a margin; None when flat."""
        if len(result) < 10:
            return None
        later = slice(len(result) // 10, None)
        low = min(numpy.min(result[c][later]) for c, _, _ in self.lines) * scale
        high = max(numpy.max(result[c][later]) for c, _, _ in self.lines) * scale
        margin = 0.1 * (high - low)
        return (low - margin, high + margin) if margin > 0 else None


def _panels(result):
    rigs = blocks_with(result, "choke_opening")
    observers = blocks_with(result, "displacer_velocity_estimate")
    # The bottom pressure has a panel of its own: its swing is what a study is about, and it
    # would be lost on the scale of the whole well.
    bottom, pressures = _Panel("bottom pressure", "Pa", settled=True), _Panel("pressure", "Pa")
    flows = _Panel("flow", "m3/s")
    choke = _Panel("choke opening", "1", limits=(-0.03, 1.03))
    displacer = _Panel("displacer velocity", "m/s")
    # Every well's bottom pressure, a reference rig's that logs nothing else too; an observer's
    # is an estimate.
    for well in blocks_with(result, "bottom_pressure"):
        if well not in observers:
            bottom.add(result, f"{well}.bottom_pressure", f"{well} bottom", linewidth=2)
    for rig in rigs:
        pressures.add(result, f"{rig}.choke_pressure", f"{rig} choke", color="black",
                      linestyle="--", linewidth=1.5, zorder=3)
        for column in sensor_columns(result, rig):
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
    figure = canvas.figure(12, 2.2 * len(panels) + 0.8)
    axes = figure.subplots(len(panels), 1, sharex=True, squeeze=False)[:, 0]
    for panel, axis in zip(panels, axes):
        panel.draw(axis, result)
        canvas.title(axis)
    axes[-1].set_xlabel("time [s]")
    if len(result):
        axes[-1].set_xlim(result.time[0], result.time[-1])
    if title:
        figure.suptitle(title)
    canvas.place(figure, canvas.left_room(axes), right=LEGEND_ROOM,
                 top=canvas.TOP + (canvas.SUPTITLE if title else 0))
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
    blocks = [b for b in blocks_with(result, "choke_opening") if sensor_columns(result, b)]
    if not blocks:
        raise ValueError("the result has no sensor pressures of a rig block")
    rows = _snapshot_rows(result, times)
    figure = canvas.figure(4.5 * len(blocks) + 1, 5.5)
    axes = figure.subplots(1, len(blocks), sharey=True, squeeze=False)[0]
    scale, unit = display("Pa")
    for block, axis in zip(blocks, axes):
        columns = sensor_columns(result, block)
        positions = result.sensor_positions.get(block)
        known = positions is not None and len(positions) == len(columns)
        length = result.annulus_lengths.get(block) if known else None
        heights = numpy.asarray(positions if known else range(len(columns)), dtype=float)
        if length is not None:
            heights = length - heights  # depth below the surface
        order = numpy.argsort(heights)
        for row in rows:
            pressures = numpy.array([result[c][row] for c in columns]) * scale
            axis.plot(pressures[order], heights[order], marker="o",
                      label=f"t = {result.time[row]:g} s")
        axis.set_xlabel(f"pressure [{unit}]")
        canvas.title(axis, block)
        axis.grid(True, alpha=0.3)
        axis.legend(loc="upper right", fontsize="small")
        if axis is axes[0]:
            axis.set_ylabel("sensor" if not known else "distance from the bottom [m]"
                            if length is None else "depth below the surface [m]")
        if length is not None and not axis.yaxis_inverted():
            axis.invert_yaxis()  # the surface at the top
    if title:
        figure.suptitle(title)
    canvas.place(figure, canvas.left_room(axes[:1]), columns=len(blocks),
                 top=canvas.TITLE + (canvas.SUPTITLE if title else canvas.TOP))
    return figure
