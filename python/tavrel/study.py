"""Studies: a scenario run many times with some of its values varied, each run reduced to a few
metrics, on the local cores or on a Dask cluster (their figures: tavrel.figures.study).

    study = tavrel.Study.load("studies/period_sweep.toml")
    frame = study.run(jobs=2)                      # pandas DataFrame, the rows of study.csv
    frame = study.run(client=dask_client, output="sweep")   # on a cluster, written as they come

    tavrel study STUDY.toml -o DIR [--jobs N] [--resume] [--scheduler tcp://HOST:PORT]

The cases, their validation, runs and metrics, the study.csv writer and the progress bar are
the host library's (the same as `tavrel study`), so a case gives the same numbers bit for bit
wherever it runs. The Dask runner is tavrel.dask_runner; a Dask worker needs this package
importable (the same build or installation on its machine).
"""

import os
import shutil
import sys
import tempfile

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
        base_dir = (os.path.dirname(os.path.abspath(scenario)) if scenario != "default"
                    else os.getcwd())
        return cls(_tavrel.Study.from_source(text, "<study>", scenario_text, scenario_name,
                                             base_dir))

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
    """study.csv as a DataFrame; numbers read back to the same doubles. Columns by their bare
    names (the varied keys as written, the metrics), units in ``frame.attrs["units"]``; a
    heading "name [unit]" as the file writes it is taken too."""
    import pandas

    from ._frame import headed_frame

    frame = headed_frame(pandas.read_csv(csv_path, float_precision="round_trip"))
    frame["error"] = frame["error"].fillna("").astype(str)
    return frame


def figures(study, frame, folder):
    """Draws the study's figures into `folder`; returns their paths."""
    from .figures.study import study_figures

    return study_figures(study, frame, folder)
