"""Studies: a scenario run many times with some of its values varied, each run reduced to a few
metrics, on the local cores or on a Dask cluster (their figures: tavrel.figures.study).

    study = tavrel.Study.load("studies/period_sweep.toml")
    frame = study.run(jobs=2)                      # pandas DataFrame, the rows of study.csv
    frame = study.run(client=dask_client, output="sweep")   # on a cluster, written as they come

    python3 -m tavrel.study STUDY.toml -o DIR [--jobs N] [--resume] [--scheduler tcp://HOST:PORT]

The cases, their validation, runs and metrics and the study.csv writer are the host library's
(the same as `tavrel study`), so a case gives the same numbers bit for bit wherever it runs.
A Dask worker needs this package importable (the same build or installation on its machine).
"""

import argparse
import math
import os
import shutil
import sys
import tempfile
import time
import tomllib

from . import _tavrel

_RANDOM = ("uniform", "normal", "lognormal")


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

    @property
    def random(self):
        """True when a varied key is drawn at random (a Monte Carlo study)."""
        vary = self._table().get("vary", [])
        return any(name in entry for entry in vary for name in _RANDOM)

    @property
    def mode(self):
        """"grid" (every combination) or "zip" (the lists side by side)."""
        return self._table().get("mode", "zip" if self.random else "grid")

    def _table(self):
        return tomllib.loads(self._core.__getstate__()[0]).get("study", {})

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
                _run_on_dask(self._core, writer, client, progress)
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
        return repr(value)
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


# A worker keeps the studies it has rebuilt, so each is validated once per worker, not per case.
_worker_studies = {}


def _run_case(core, index):
    study = _worker_studies.setdefault(core.fingerprint, core)
    return index, study.run_case(index)


def _run_on_dask(core, writer, client, progress):
    from distributed import as_completed

    missing = [i for i in range(len(core)) if not writer.done(i)]
    shared = client.scatter(core, broadcast=True)
    futures = [client.submit(_run_case, shared, i, pure=False, key=f"tavrel-case-{core.fingerprint}-{i}")
               for i in missing]
    bar = _ProgressBar(len(core), writer.done_count, progress and sys.stderr.isatty())
    failed = 0
    try:
        for future in as_completed(futures):
            index, (ok, values, error, seconds) = future.result()
            writer.write(index, ok, values, error, seconds)
            failed += not ok
            bar.update(writer.done_count, failed)
    except BaseException:
        client.cancel(futures)
        raise
    finally:
        bar.close()
    writer.finish()


class _ProgressBar:
    def __init__(self, total, done, on):
        self.total, self.start_done, self.on = total, done, on
        self.start = time.monotonic()

    def update(self, done, failed):
        if not self.on:
            return
        ran = done - self.start_done
        eta = (time.monotonic() - self.start) / ran * (self.total - done) if ran else float("nan")
        filled = int(30 * done / max(self.total, 1))
        eta_text = "?" if math.isnan(eta) else f"{int(eta) // 60}m{int(eta) % 60:02d}s"
        sys.stderr.write(f"\r  [{'#' * filled}{'.' * (30 - filled)}] {done}/{self.total} cases, "
                         f"{failed} failed, ETA {eta_text}   ")
        sys.stderr.flush()

    def close(self):
        if self.on:
            sys.stderr.write("\n")


def figures(study, frame, folder):
    """Draws the study's figures into `folder`; returns their paths."""
    from .figures.study import study_figures

    return study_figures(study, frame, folder)


def run_command(prog, work):
    """Runs a command's work; a tavrel error is one line on standard error (exit 1), Ctrl-C
    keeps what is done for --resume (exit 130). Returns the work's result and the exit code."""
    try:
        return work(), 0
    except _tavrel.TavrelError as error:
        print(f"{prog}: {error}", file=sys.stderr)
        return None, 1
    except KeyboardInterrupt:
        print(f"{prog}: stopped; --resume continues", file=sys.stderr)
        return None, 130


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m tavrel.study", description=__doc__.split("\n")[0])
    parser.add_argument("study", help="study file (TOML)")
    parser.add_argument("-o", "--output", default="study_out", help="folder for the results")
    parser.add_argument("-j", "--jobs", type=int, default=0, help="local worker processes")
    parser.add_argument("--scheduler", help="Dask scheduler address, e.g. tcp://HOST:8786")
    parser.add_argument("--resume", action="store_true", help="run only the cases DIR lacks")
    parser.add_argument("--keep-results", action="store_true",
                        help="(local runs) also keep each case's scenario.toml and results.csv")
    parser.add_argument("--no-figures", action="store_true")
    parser.add_argument("--figures-only", action="store_true", help="draw the figures of DIR")
    args = parser.parse_args(argv)

    def work():
        study = Study.load(args.study)
        if args.figures_only:
            return study, read_rows(os.path.join(args.output, "study.csv"))
        if args.scheduler:
            from distributed import Client

            with Client(args.scheduler) as client:
                return study, study.run(client=client, output=args.output, resume=args.resume)
        return study, study.run(jobs=args.jobs, output=args.output, resume=args.resume,
                                keep_results=args.keep_results)

    done, code = run_command("tavrel.study", work)
    if code:
        return code
    study, frame = done
    if not args.figures_only:
        failed = int((frame["status"] != "ok").sum())
        print(f"{len(frame)} cases, {failed} failed: {os.path.join(args.output, 'study.csv')}")
    if not args.no_figures:
        drawn = figures(study, frame, args.output)
        for path in drawn:
            print(f"Figure: {path}")
        from .figures.report import study_page

        print(f"Report: {study_page(study, frame, args.output, drawn)}")
    return 0


if __name__ == "__main__":
    # The package's own module, so that Dask sends its functions by reference, not by value.
    from tavrel.study import main as _main

    sys.exit(_main())
