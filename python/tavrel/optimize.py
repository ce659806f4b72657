"""Optimisation: the values of some study keys that minimise a study metric, or the misfit of a
logged column against measured data, within bounds and subject to metric bounds.

    opt = tavrel.Optimization.load("studies/tune_choke_sinusoid.toml")
    outcome = opt.run(jobs=2, output="tune")        # or client=dask_client
    outcome.best, outcome.objective, outcome.evaluations   # dict, float, pandas DataFrame

    python3 -m tavrel.optimize FILE.toml -o DIR [--jobs N] [--resume] [--scheduler tcp://HOST:PORT]

SciPy searches (Nelder-Mead one point at a time, differential evolution a generation at a time);
each batch of points it asks for runs as a study of those points, on local worker processes or
as the tasks of a Dask client, so an evaluation gives the same numbers wherever it runs and the
same file and seed give the same search. DIR/evaluations.csv gets a row per evaluation as it
finishes; the same parameters are never run twice (a resumed search replays the rows it has).
"""

import argparse
import io
import json
import math
import os
import shutil
import sys
import tempfile
import time

import numpy

from . import _tavrel
from .study import Study, read_rows, run_command

# Scores the search sees for evaluations that cannot count: above any real objective, and a
# failed run above any infeasible point (whose score still falls as its violation shrinks).
_INFEASIBLE = 1e100
_FAILED = 1e110


class _BudgetSpent(Exception):
    pass


class Outcome:
    """What a search found: `best` (key -> value), its `objective`, every evaluation as a
    DataFrame (`evaluations`), and why it stopped."""

    def __init__(self, evaluations, best, objective, converged, message):
        self.evaluations, self.best, self.objective = evaluations, best, objective
        self.converged, self.message = converged, message

    def __repr__(self):
        return (f"Outcome(best={self.best}, objective={self.objective}, "
                f"evaluations={len(self.evaluations)}, message={self.message!r})")


class Optimization:
    """An optimisation file with its base scenario, validated when loaded."""

    def __init__(self, core):
        self._core = core

    @classmethod
    def load(cls, path):
        # An absolute name: Dask workers rebuild each batch from its texts and find the measured
        # files beside the optimisation file by it.
        return cls(_tavrel.Optimization.load(os.path.abspath(str(path))))

    keys = property(lambda self: list(self._core.keys))
    bounds = property(lambda self: [tuple(b) for b in self._core.bounds])
    start = property(lambda self: list(self._core.start))
    method = property(lambda self: self._core.method)
    fingerprint = property(lambda self: self._core.fingerprint)

    def run(self, jobs=None, client=None, progress=True, output=None, resume=False):
        """Runs the search; returns an Outcome. Files go to `output` (a temporary folder when
        not given); with `resume`, the evaluations already there are reused."""
        folder = output if output is not None else tempfile.mkdtemp(prefix="tavrel_optimize_")
        try:
            search = _Search(self._core, folder, jobs, client, resume,
                             progress and sys.stderr.isatty())
            return search.run()
        finally:
            if output is None:
                shutil.rmtree(folder, ignore_errors=True)


class _Search:
    def __init__(self, core, folder, jobs, client, resume, progress):
        self.core, self.folder, self.jobs, self.client = core, folder, jobs, client
        self.progress = progress
        self.keys = list(core.keys)
        self.lower = numpy.array([b[0] for b in core.bounds])
        self.upper = numpy.array([b[1] for b in core.bounds])
        self.objectives, self.weights = list(core.objectives), list(core.weights)
        self.constraints = list(core.constraints)
        self.rows = {}       # point -> its row, in the order first asked for
        self.headers = None  # the metrics' "METRIC [unit]" headings
        self.best = None
        self.csv = os.path.join(folder, "evaluations.csv")
        self.batch_dir = os.path.join(folder, ".running")
        self._open(resume)

    # Files -------------------------------------------------------------------------------------

    def _open(self, resume):
        state = os.path.join(self.folder, "result.json")
        if os.path.exists(state) or os.path.exists(self.csv):
            if not resume:
                raise _tavrel.StudyError(f"{self.folder}: holds an optimization already (--resume "
                                         "continues it; choose another folder for a new one)")
            with open(state, encoding="utf-8") as file:
                if json.load(file).get("fingerprint") != self.core.fingerprint:
                    raise _tavrel.StudyError(f"{self.folder}: was written by a different "
                                             "optimization file or scenario; resume refused")
            if os.path.exists(self.csv):
                self._reload()
        os.makedirs(self.folder, exist_ok=True)
        self._write_state(False, "running", "running")

    def _reload(self):
        with open(self.csv, encoding="utf-8") as file:
            text = file.read()
        if not text.endswith("\n"):  # a row cut by a kill: run again
            text = text[: text.rfind("\n") + 1]
        frame = read_rows(io.StringIO(text))
        self.headers = [c for c in frame.columns
                        if c not in ("evaluation", "objective", "status", "error", *self.keys)]
        for _, r in frame.iterrows():
            point = tuple(float(r[k]) for k in self.keys)
            metrics = [float(r[h]) for h in self.headers]
            self._record(point, metrics, r["status"] == "ok" or r["status"] == "infeasible",
                         r["error"], write=False)
        # The file is rewritten from the complete rows, so that a row cut by a kill goes.
        self._rewrite()

    def _header_line(self):
        return ",".join(["evaluation", *self.keys, "objective", *self.headers, "status", "error"])

    def _row_line(self, row):
        cells = [str(row["evaluation"]), *(repr(v) for v in row["point"]), repr(row["objective"]),
                 *(repr(v) for v in row["metrics"]), row["status"], _csv_text(row["error"])]
        return ",".join(cells)

    def _rewrite(self):
        temporary = self.csv + ".tmp"
        with open(temporary, "w", encoding="utf-8") as file:
            file.write(self._header_line() + "\n")
            for row in self.rows.values():
                file.write(self._row_line(row) + "\n")
        os.replace(temporary, self.csv)

    def _append(self, row):
        new = not os.path.exists(self.csv)
        with open(self.csv, "a", encoding="utf-8") as file:
            if new:
                file.write(self._header_line() + "\n")
            file.write(self._row_line(row) + "\n")
            file.flush()
            os.fsync(file.fileno())

    def _write_state(self, converged, message, stopped):
        best = self.best
        state = {
            "fingerprint": self.core.fingerprint,
            "method": self.core.method,
            "best": dict(zip(self.keys, best["point"])) if best else None,
            "objective": best["objective"] if best else None,
            "best_evaluation": best["evaluation"] if best else None,
            "evaluations": len(self.rows),
            "converged": bool(converged),
            "message": message,
            "stopped": stopped,
        }
        path = os.path.join(self.folder, "result.json")
        with open(path + ".tmp", "w", encoding="utf-8") as file:
            json.dump(state, file, indent=2)
            file.write("\n")
        os.replace(path + ".tmp", path)

    # Evaluations -------------------------------------------------------------------------------

    def _score(self, metrics, ran):
        values = dict(zip(self.core.metrics, metrics))
        objective = math.fsum(w * values[m] for w, m in zip(self.weights, self.objectives))
        if not ran or not math.isfinite(objective):
            return objective, "failed", _FAILED
        violation = math.fsum(_violation(values[metric], at_most, limit)
                              for _, metric, at_most, limit in self.constraints)
        if violation > 0 or not math.isfinite(violation):
            return objective, "infeasible", _INFEASIBLE * (1 + min(violation, 1e9))
        return objective, "ok", objective

    def _record(self, point, metrics, ran, error, write=True):
        objective, status, score = self._score(metrics, ran)
        if status == "failed" and ran and not error:
            error = "the objective is not finite"
        row = {"evaluation": len(self.rows), "point": point, "objective": objective,
               "metrics": metrics, "status": status, "error": error, "score": score}
        self.rows[point] = row
        if status == "ok" and (self.best is None or score < self.best["score"]):
            self.best = row
        if write:
            self._append(row)

    def evaluate(self, points):
        """Scores of `points` (each a sequence of values); runs those not evaluated yet."""
        points = [tuple(float(v) for v in p) for p in points]
        new = list(dict.fromkeys(p for p in points if p not in self.rows))
        room = self.core.max_evaluations - len(self.rows)
        spent = len(new) > room
        if new[:room]:
            self._run(new[:room])
            self._show()
        if spent or (not new and room <= 0):
            raise _BudgetSpent
        return [self.rows[p]["score"] for p in points]

    def _run(self, points):
        try:
            study = Study(self.core.batch([list(p) for p in points]))
        except _tavrel.StudyError as error:
            if len(points) > 1:  # find the refused points; the others run
                for p in points:
                    self._run([p])
                return
            self._record(points[0], [math.nan] * len(self.core.metrics), False, _one_line(error))
            return
        if self.headers is None:
            self.headers = list(study._core.metric_headers)
        frame = self._run_study(study)
        for i, p in enumerate(points):
            row = frame.iloc[i]
            metrics = [float(row[h]) for h in frame.columns[1 + len(self.keys):-2]]
            self._record(p, metrics, row["status"] == "ok", row["error"])
        shutil.rmtree(self.batch_dir, ignore_errors=True)

    def _run_study(self, study):
        # A batch cut short by a kill is resumed in its folder: the replayed search asks for the
        # same points, so the same study, and only its missing cases run.
        for attempt in (0, 1):
            try:
                return study.run(jobs=self.jobs, client=self.client, progress=False,
                                 output=self.batch_dir, resume=True)
            except _tavrel.StudyError:
                if attempt:
                    raise
                shutil.rmtree(self.batch_dir, ignore_errors=True)  # another batch's leftovers

    def _show(self):
        if self.progress:
            best = f"{self.best['objective']:.6g}" if self.best else "none feasible"
            sys.stderr.write(f"\r  {len(self.rows)}/{self.core.max_evaluations} evaluations, "
                             f"best {best}   ")
            sys.stderr.flush()

    # The search --------------------------------------------------------------------------------

    def run(self):
        from scipy import optimize

        converged, message = False, "stopped"
        try:
            try:
                if self.core.method == "differential-evolution":
                    result = self._differential_evolution(optimize)
                else:
                    result = self._nelder_mead(optimize)
                converged, message = bool(result.success), str(result.message)
            except _BudgetSpent:
                message = f"reached max_evaluations ({self.core.max_evaluations})"
        except KeyboardInterrupt:
            self._write_state(False, "interrupted", "interrupted")
            raise
        finally:
            if self.progress:
                sys.stderr.write("\n")
        self._write_state(converged, message, "finished")
        if self.best is not None:
            self._write_best()
        try:
            from .figures.optimize import convergence

            convergence(self.evaluations(), self.keys, self.bounds_list(),
                        os.path.join(self.folder, "convergence.png"))
        except ImportError:
            pass
        best = dict(zip(self.keys, self.best["point"])) if self.best else None
        return Outcome(self.evaluations(), best, self.best["objective"] if self.best else None,
                       converged, message)

    def bounds_list(self):
        return list(zip(self.lower, self.upper))

    def _point(self, z):
        """Values of a point given in the unit box (Nelder-Mead searches there, so that keys of
        very different scales move alike)."""
        return self.lower + numpy.clip(z, 0.0, 1.0) * (self.upper - self.lower)

    def _nelder_mead(self, optimize):
        start = (numpy.array(self.core.start) - self.lower) / (self.upper - self.lower)
        simplex = [start]
        for k in range(len(start)):
            vertex = start.copy()
            vertex[k] = vertex[k] + 0.1 if vertex[k] + 0.1 <= 1 else vertex[k] - 0.1
            simplex.append(vertex)
        return optimize.minimize(
            lambda z: self.evaluate([self._point(z)])[0], start, method="Nelder-Mead",
            bounds=[(0.0, 1.0)] * len(start),
            options={"maxfev": self.core.max_evaluations, "initial_simplex": numpy.array(simplex),
                     "xatol": 1e-4, "fatol": math.inf})

    def _differential_evolution(self, optimize):
        size = self.core.population * len(self.keys)
        generations = max(1, self.core.max_evaluations // size - 1)
        return optimize.differential_evolution(
            _unused, self.bounds_list(), seed=self.core.seed, popsize=self.core.population,
            maxiter=generations, polish=False, updating="deferred", x0=self.core.start,
            workers=lambda _function, population: self.evaluate(list(population)))

    def evaluations(self):
        import pandas

        columns = ["evaluation", *self.keys, "objective", *(self.headers or []), "status", "error"]
        data = [[r["evaluation"], *r["point"], r["objective"], *r["metrics"], r["status"], r["error"]]
                for r in self.rows.values()]
        return pandas.DataFrame(data, columns=columns)

    def _write_best(self):
        study = Study(self.core.batch([list(self.best["point"])]))
        text = study.case_text(0)
        header = (f"# Best point of {self.core.name}: objective {self.best['objective']!r} "
                  f"(evaluation {self.best['evaluation']})\n")
        path = os.path.join(self.folder, "best.toml")
        with open(path + ".tmp", "w", encoding="utf-8") as file:
            file.write(header + text)
        os.replace(path + ".tmp", path)


def _unused(x):
    raise AssertionError("evaluations go through the batch map")


def _violation(value, at_most, limit):
    if not math.isfinite(value):
        return math.inf
    return max(0.0, value - limit) if at_most else max(0.0, limit - value)


def _one_line(error):
    return " ".join(str(error).split())


def _csv_text(text):
    text = str(text)
    if any(c in text for c in ",\"\n"):
        return '"' + text.replace('"', '""') + '"'
    return text


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m tavrel.optimize",
                                     description=__doc__.split("\n")[0])
    parser.add_argument("file", help="optimization file (TOML)")
    parser.add_argument("-o", "--output", default="optimize_out", help="folder for the results")
    parser.add_argument("-j", "--jobs", type=int, default=0, help="local worker processes")
    parser.add_argument("--scheduler", help="Dask scheduler address, e.g. tcp://HOST:8786")
    parser.add_argument("--resume", action="store_true", help="reuse the evaluations in DIR")
    parser.add_argument("-q", "--quiet", action="store_true", help="no progress line")
    args = parser.parse_args(argv)
    start = time.monotonic()

    def work():
        opt = Optimization.load(args.file)
        if args.scheduler:
            from distributed import Client

            with Client(args.scheduler) as client:
                return opt.run(client=client, output=args.output, resume=args.resume,
                               progress=not args.quiet)
        return opt.run(jobs=args.jobs, output=args.output, resume=args.resume,
                       progress=not args.quiet)

    outcome, code = run_command("tavrel optimize", work)
    if code:
        return code
    print(f"{len(outcome.evaluations)} evaluations in {time.monotonic() - start:.1f} s: "
          f"{outcome.message}")
    if outcome.best is None:
        print("no feasible evaluation")
        return 1
    for key, value in outcome.best.items():
        print(f"  {key} = {value!r}")
    print(f"objective {outcome.objective!r}; best scenario: {os.path.join(args.output, 'best.toml')}")
    return 0


if __name__ == "__main__":
    from tavrel.optimize import main as _main

    sys.exit(_main())
