"""Studies: a scenario run many times with some of its values varied, each run reduced to a few
metrics, on the local cores or on a Dask cluster, and their figures.

    study = tavrel.Study.load("studies/period_sweep.toml")
    frame = study.run(jobs=2)                      # pandas DataFrame, the rows of study.csv
    frame = study.run(client=dask_client, output="sweep")   # on a cluster, written as they come

    tavrel study STUDY.toml -o DIR [--jobs N] [--resume] [--scheduler tcp://HOST:PORT]

The cases, their validation, runs and metrics, the study.csv writer and the progress bar are
the host library's (the same as `tavrel study`), so a case gives the same numbers bit for bit
wherever it runs. The Dask runner is tavrel.dask_runner; a Dask worker needs this package
importable (the same build or installation on its machine).
"""

import math
import os
import shutil
import sys
import tempfile

import numpy

from . import _tavrel


class Study:
    """A study file (or text) with its base scenario, validated when built."""

    def __init__(self, core):
        self._core = core

    @classmethod
    def load(cls, path):
        return cls(_tavrel.Study.load(str(path)))

    @classmethod
    def build(cls, vary, metrics, scenario="default", mode=None, samples=None, seed=None,
              simulation=None, summary=None):
        """A study made in code: `vary` maps a key (or a tuple of keys that move together) to
        its generator, e.g. ``{"rig.displacer_velocity.period": {"values": [6.0, 12.0]}}``."""
        lines = [f"scenario = {_toml(str(scenario))}"]
        for section, table in (("simulation", simulation), ("summary", summary)):
            if table:
                lines.append(f"[{section}]")
                lines += [f"{key} = {_toml(value)}" for key, value in table.items()]
        lines.append("[study]")
        lines.append(f"metrics = {_toml(list(metrics))}")
        for key, value in (("mode", mode), ("samples", samples), ("seed", seed)):
            if value is not None:
                lines.append(f"{key} = {_toml(value)}")
        for key, generator in vary.items():
            lines.append("[[study.vary]]")
            lines.append(f"key = {_toml(list(key) if isinstance(key, tuple) else key)}")
            lines += [f"{name} = {_toml(value)}" for name, value in generator.items()]
        text = "\n".join(lines) + "\n"
        if scenario == "default":
            scenario_text, scenario_name = _tavrel.default_scenario_text(), "<default scenario>"
        else:
            with open(scenario, encoding="utf-8") as file:
                scenario_text, scenario_name = file.read(), str(scenario)
        base_dir = os.path.dirname(os.path.abspath(scenario)) if scenario != "default" else os.getcwd()
        return cls(_tavrel.Study.from_source(text, "<study>", scenario_text, scenario_name, base_dir))

    keys = property(lambda self: list(self._core.keys), doc="Varied keys, as written.")
    metrics = property(lambda self: list(self._core.metrics), doc="Metrics, as written.")
    name = property(lambda self: self._core.name)

    def __len__(self):
        return len(self._core)

    def case_values(self, index):
        return list(self._core.case_values(index))

    def case_text(self, index):
        """The case as a scenario file; `tavrel run` on it gives the case's numbers."""
        return self._core.case_text(index)

    def scenario(self, index=0):
        return self._core.scenario(index)

    random = property(lambda self: self._core.random,
                      doc="True when a varied key is drawn at random (a Monte Carlo study).")
    mode = property(lambda self: self._core.mode,
                    doc='"grid" (every combination) or "zip" (the lists side by side).')

    def run(self, jobs=None, client=None, progress=True, output=None, resume=False,
            keep_results=False):
        """Runs the cases and returns the rows of study.csv as a pandas DataFrame.

        Without `client`, `jobs` worker processes on this machine (default: every core); with a
        dask.distributed Client, one task per case on its workers. Rows are written to
        `output`/study.csv as cases finish (a temporary folder when not given); with `resume`
        only the cases that folder lacks run."""
        folder = output if output is not None else tempfile.mkdtemp(prefix="tavrel_study_")
        try:
            writer = _tavrel.StudyOutput(self._core, str(folder), resume)
            if client is None:
                summary = _tavrel.run_local(self._core, writer, jobs or 0,
                                            progress and sys.stderr.isatty(), keep_results)
                if summary["interrupted"]:
                    raise KeyboardInterrupt
            else:
                from .dask_runner import run_on_dask

                run_on_dask(self._core, writer, client, progress and sys.stderr.isatty())
            return read_rows(writer.csv_path)
        finally:
            if output is None:
                shutil.rmtree(folder, ignore_errors=True)


def _toml(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        return _tavrel.number_text(value)
    if isinstance(value, str):
        return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
    if isinstance(value, (list, tuple)):
        return "[" + ", ".join(_toml(v) for v in value) + "]"
    if isinstance(value, dict):
        return "{ " + ", ".join(f"{k} = {_toml(v)}" for k, v in value.items()) + " }"
    raise TypeError(f"cannot write {value!r} into a study file")


def read_rows(csv_path):
    """study.csv as a DataFrame; numbers read back to the same doubles."""
    import pandas

    frame = pandas.read_csv(csv_path, float_precision="round_trip")
    frame["error"] = frame["error"].fillna("").astype(str)
    return frame


# Figures ---------------------------------------------------------------------------------------

_DISPLAY = {"Pa": (1e-5, "bar"), "rad": (180 / math.pi, "deg")}


def _header(frame, metric):
    return next(c for c in frame.columns if c == metric or c.startswith(metric + " ["))


def _scaled(frame, column):
    unit = column[column.find("[") + 1: -1] if column.endswith("]") else ""
    scale, shown = _DISPLAY.get(unit, (1.0, unit))
    return frame[column].to_numpy(dtype=float) * scale, shown


def _dimensions(study, frame):
    """The varied keys that move independently (keys tied to another are left out)."""
    free = []
    for key in study.keys:
        if not any(numpy.array_equal(frame[key].to_numpy(), frame[k].to_numpy()) for k in free):
            free.append(key)
    return free


def _figure(**options):
    """A figure drawn off-screen; matplotlib is loaded only when figures are drawn (a Dask
    worker never needs it)."""
    from matplotlib.figure import Figure as _Figure

    return _Figure(**options)


def _save(figure, path):
    from matplotlib.backends.backend_agg import FigureCanvasAgg

    FigureCanvasAgg(figure)
    figure.savefig(path, dpi=110, bbox_inches="tight")  # long axis labels stay whole
    return path


def _metric_figure(study, frame, draw, name):
    metrics = study.metrics
    figure = _figure(figsize=(7, 2.6 * len(metrics)), constrained_layout=True)
    for row, metric in enumerate(metrics):
        draw(figure.add_subplot(len(metrics), 1, row + 1), metric, _header(frame, metric))
    return figure, name


def _against_parameter(study, frame, key):
    ok = frame[frame["status"] == "ok"].sort_values(key)

    def draw(axis, metric, column):
        values, unit = _scaled(ok, column)
        axis.plot(ok[key], values, "o-")
        axis.set_title(metric, fontsize=9)
        axis.set_xlabel(key)
        axis.set_ylabel(unit or "-")
        axis.grid(True, alpha=0.3)

    return _metric_figure(study, frame, draw, "metrics.png")


def _heat_maps(study, frame, rows_key, columns_key):
    ok = frame[frame["status"] == "ok"]

    def draw(axis, metric, column):
        table = ok.assign(_v=_scaled(ok, column)[0]).pivot_table(index=rows_key, columns=columns_key,
                                                                  values="_v")
        image = axis.pcolormesh(table.columns, table.index, table.to_numpy(), shading="nearest")
        axis.set_xlabel(columns_key)
        axis.set_ylabel(rows_key)
        axis.set_title(metric, fontsize=9)
        axis.figure.colorbar(image, ax=axis, label=_scaled(ok, column)[1] or "-")

    return _metric_figure(study, frame, draw, "heat_map.png")


def _histograms(study, frame):
    ok = frame[frame["status"] == "ok"]

    def draw(axis, metric, column):
        values, unit = _scaled(ok, column)
        axis.hist(values, bins=max(5, int(math.sqrt(len(values)))))
        axis.set_xlabel(f"{metric} [{unit}]" if unit else metric)
        axis.set_ylabel("cases")
        axis.set_title(f"mean {numpy.mean(values):.4g}, std {numpy.std(values):.4g} {unit}",
                       fontsize=9)

    return _metric_figure(study, frame, draw, "histogram.png")


def _frequency_response(study, frame, key):
    """Amplitude per heave velocity and phase of the bottom pressure against the heave period,
    with the half-wave (2L/c) and quarter-wave (4L/c) periods of the well marked."""
    block = key.split(".")[0]
    amplitude = f"{block}.bottom_pressure:amplitude"
    if amplitude not in study.metrics:
        return None
    ok = frame[frame["status"] == "ok"].sort_values(key)
    period = ok[key].to_numpy(dtype=float)
    pressure = ok[_header(ok, amplitude)].to_numpy(dtype=float) * 1e-5
    velocity_metric = f"{block}.displacer_velocity:amplitude"
    velocity = (ok[_header(ok, velocity_metric)].to_numpy(dtype=float)
                if velocity_metric in study.metrics else None)
    figure = _figure(figsize=(7, 6), constrained_layout=True)
    top = figure.add_subplot(2, 1, 1)
    bottom = figure.add_subplot(2, 1, 2, sharex=top)
    top.set_title("bottom pressure against the heave period")
    if velocity is not None:
        top.plot(period, pressure / velocity, "o-")
        top.set_ylabel("amplitude [bar per m/s]")
    else:
        top.plot(period, pressure, "o-")
        top.set_ylabel("amplitude [bar]")
    phase_metric = f"{block}.bottom_pressure:phase"
    if phase_metric in study.metrics:
        phase = ok[_header(ok, phase_metric)].to_numpy(dtype=float)
        reference = f"{block}.displacer_velocity:phase"
        if reference in study.metrics:
            phase = phase - ok[_header(ok, reference)].to_numpy(dtype=float)
        bottom.plot(period, numpy.degrees(numpy.angle(numpy.exp(1j * phase))), "o-")
    bottom.set_ylabel("phase to the heave velocity [deg]")
    bottom.set_xlabel("heave period [s]")
    params = study.scenario(0).params(block)
    if "annulus_length" in params and "sound_speed" in params:
        wave = params["annulus_length"] / params["sound_speed"]
        for axis in (top, bottom):
            for factor, label in ((2, "2L/c"), (4, "4L/c")):
                axis.axvline(factor * wave, color="grey", linestyle="--")
                axis.annotate(label, (factor * wave, 1), xycoords=("data", "axes fraction"),
                              xytext=(3, -12), textcoords="offset points", color="grey")
    for axis in (top, bottom):
        axis.grid(True, alpha=0.3)
    return figure, "frequency_response.png"


def figures(study, frame, folder):
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
    return [_save(figure, os.path.join(folder, name)) for figure, name in filter(None, drawn)]
