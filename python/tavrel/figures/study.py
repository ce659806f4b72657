"""The figures of a study: each metric against the varied key (metrics.png), a heat map for two
keys (heat_map.png), a histogram for random draws (histogram.png), for a varied heave
period the frequency response of the bottom pressure (frequency_response.png) and, for a
compensated sea's varied peak period, each rig's std over the fixed choke's (std_ratio.png).

They take a tavrel.Study (its keys, metrics, mode and base scenario) and the rows of its
study.csv as a DataFrame."""

import math
import os

import numpy

from . import canvas
from .std_ratio import std_ratio
from .units import column_unit, display, metric_column


def _scaled(frame, column):
    scale, shown = display(column_unit(frame, column))
    return frame[column].to_numpy(dtype=float) * scale, shown


def _axis(frame, key):
    """A varied key's values in its display unit, and its label "well.pressure_ref [bar]"."""
    values, shown = _scaled(frame, key)
    return values, key if shown in ("-", "1") else f"{key} [{shown}]"


def _dimensions(study, frame):
    """The varied keys that move independently (keys tied to another are left out)."""
    free = []
    for key in study.keys:
        if not any(numpy.array_equal(frame[key].to_numpy(), frame[k].to_numpy()) for k in free):
            free.append(key)
    return free


def _metric_figure(study, frame, draw, name):
    metrics = study.metrics
    figure = canvas.figure(7, 2.6 * len(metrics), layout="constrained")
    for row, metric in enumerate(metrics):
        draw(figure.add_subplot(len(metrics), 1, row + 1), metric,
             metric_column(frame.columns, metric))
    return figure, name


def _against_parameter(study, frame, key):
    ok = frame[frame["status"] == "ok"].sort_values(key)

    x, label = _axis(ok, key)

    def draw(axis, metric, column):
        values, unit = _scaled(ok, column)
        axis.plot(x, values, "o-")
        axis.set_title(metric, fontsize=9)
        axis.set_xlabel(label)
        axis.set_ylabel(unit)
        axis.grid(True, alpha=0.3)

    return _metric_figure(study, frame, draw, "metrics.png")


def _heat_maps(study, frame, rows_key, columns_key):
    ok = frame[frame["status"] == "ok"]

    (y, y_label), (x, x_label) = _axis(ok, rows_key), _axis(ok, columns_key)

    def draw(axis, metric, column):
        values, unit = _scaled(ok, column)
        table = ok.assign(_v=values, _y=y, _x=x).pivot_table(index="_y", columns="_x", values="_v")
        image = axis.pcolormesh(table.columns, table.index, table.to_numpy(), shading="nearest")
        axis.set_xlabel(x_label)
        axis.set_ylabel(y_label)
        axis.set_title(metric, fontsize=9)
        axis.figure.colorbar(image, ax=axis, label=unit)

    return _metric_figure(study, frame, draw, "heat_map.png")


def _histograms(study, frame):
    ok = frame[frame["status"] == "ok"]

    def draw(axis, metric, column):
        values, unit = _scaled(ok, column)
        axis.hist(values, bins=max(5, int(math.sqrt(len(values)))))
        axis.set_xlabel(f"{metric} [{unit}]")
        axis.set_ylabel("cases")
        axis.set_title(f"mean {numpy.mean(values):.4g}, std {numpy.std(values):.4g} {unit}",
                       fontsize=9)

    return _metric_figure(study, frame, draw, "histogram.png")


def _mark_wave_periods(study, block, axes):
    """The half-wave (2L/c) and quarter-wave (4L/c) periods of the block's well."""
    params = study.scenario(0).params(block)
    if "annulus_length" not in params or "sound_speed" not in params:
        return
    wave = params["annulus_length"] / params["sound_speed"]
    for axis in axes:
        for factor, label in ((2, "2L/c"), (4, "4L/c")):
            axis.axvline(factor * wave, color="grey", linestyle="--")
            axis.annotate(label, (factor * wave, 1), xycoords=("data", "axes fraction"),
                          xytext=(3, -12), textcoords="offset points", color="grey")


def _frequency_response(study, frame, key):
    """Amplitude per heave velocity and phase of the bottom pressure against the heave period,
    with the half-wave (2L/c) and quarter-wave (4L/c) periods of the well marked."""
    block = key.split(".")[0]
    amplitude = f"{block}.bottom_pressure:amplitude"
    if amplitude not in study.metrics:
        return None
    ok = frame[frame["status"] == "ok"].sort_values(key)
    period = ok[key].to_numpy(dtype=float)
    pressure, pressure_unit = _scaled(ok, metric_column(ok.columns, amplitude))
    velocity_metric = f"{block}.displacer_velocity:amplitude"
    velocity = (_scaled(ok, metric_column(ok.columns, velocity_metric))
                if velocity_metric in study.metrics else None)
    figure = canvas.figure(7, 6, layout="constrained")
    top = figure.add_subplot(2, 1, 1)
    bottom = figure.add_subplot(2, 1, 2, sharex=top)
    top.set_title("bottom pressure against the heave period")
    if velocity is not None:
        top.plot(period, pressure / velocity[0], "o-")
        top.set_ylabel(f"amplitude [{pressure_unit} per {velocity[1]}]")
    else:
        top.plot(period, pressure, "o-")
        top.set_ylabel(f"amplitude [{pressure_unit}]")
    phase_metric = f"{block}.bottom_pressure:phase"
    if phase_metric in study.metrics:
        phase = ok[metric_column(ok.columns, phase_metric)].to_numpy(dtype=float)
        reference = f"{block}.displacer_velocity:phase"
        if reference in study.metrics:
            phase = phase - ok[metric_column(ok.columns, reference)].to_numpy(dtype=float)
        bottom.plot(period, numpy.degrees(numpy.angle(numpy.exp(1j * phase))), "o-")
    bottom.set_ylabel("phase to the heave velocity [deg]")
    bottom.set_xlabel("heave period [s]")
    _mark_wave_periods(study, block, (top, bottom))
    for axis in (top, bottom):
        axis.grid(True, alpha=0.3)
    return figure, "frequency_response.png"


def study_figures(study, frame, folder):
    """Draws the study's figures into `folder`; returns their paths."""
    free = _dimensions(study, frame)
    if study.mode == "zip":
        free = free[:1]  # the keys move together: one axis
    drawn = []
    if study.random:
        drawn.append(_histograms(study, frame))
    elif len(free) == 1:
        drawn.append(_against_parameter(study, frame, free[0]))
    elif len(free) == 2:
        drawn.append(_heat_maps(study, frame, free[0], free[1]))
    for key in free:
        if len(free) == 1 and key.endswith(".period") and key.count(".") == 2:
            drawn.append(_frequency_response(study, frame, key))
    drawn.append(std_ratio(study, frame, free, folder))
    # Long axis labels stay whole.
    return [canvas.save(figure, os.path.join(folder, name), dpi=110, bbox_inches="tight")
            for figure, name in filter(None, drawn)]
