"""Optimisation: the values of some study keys that minimise a study metric, or the misfit of a
logged column against measured data, within bounds and subject to metric bounds.

    opt = tavrel.Optimization.load("studies/tune_choke_sinusoid.toml")
    outcome = opt.run(jobs=2, output="tune")        # or client=dask_client
    outcome.best, outcome.objective, outcome.evaluations   # dict, float, pandas DataFrame

    tavrel optimize FILE.toml -o DIR [--jobs N] [--resume] [--scheduler tcp://HOST:PORT]

SciPy searches (Nelder-Mead one point at a time, differential evolution a generation at a time);
each batch of points it asks for runs as a study of those points, on local worker processes or
as the tasks of a Dask client, so an evaluation gives the same numbers wherever it runs and the
same file and seed give the same search. The folder is the engine's (EvaluationLog):
DIR/evaluations.csv gets a row per evaluation as it finishes, result.json and best.toml the
outcome; the same parameters are never run twice (a resumed search replays the rows it has).
"""

import math
import os
import shutil
import sys
import tempfile
import time

import numpy

from . import _tavrel
from ._running import run_command
from .study import Study

# Scores the search sees for evaluations that cannot count: above any real objective, and a
# failed run above any infeasible point (whose score still falls as its violation shrinks).
_INFEASIBLE = 1e100
_FAILED = 1e110


class _BudgetSpent(Exception):
    pass


class Outcome:
    """What a search found: `best` (key -> value), its `objective` (SI, in `unit`), every
    evaluation as a DataFrame (`evaluations`), and why it stopped."""

    def __init__(self, evaluations, best, objective, converged, message, unit=""):
        self.evaluations, self.best, self.objective = evaluations, best, objective
        self.converged, self.message, self.unit = converged, message, unit

    def objective_text(self):
        """The objective as a person reads it: "0.357 bar (35719.889 Pa)"."""
        from .figures.units import display

        unit = "" if self.unit == "1" else self.unit
        scale, shown = display(unit)
        exact = f"{self.objective!r} {unit}".strip()
        if shown in (unit, "-"):
            return exact
        return f"{self.objective * scale:.6g} {shown} ({exact})"

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
        self.keys = list(core.keys)
        self.lower = numpy.array([b[0] for b in core.bounds])
        self.upper = numpy.array([b[1] for b in core.bounds])
        self.objectives, self.weights = list(core.objectives), list(core.weights)
        self.constraints = list(core.constraints)
        self.rows = {}  # point -> its row, in the order first asked for
        self.batch_dir = os.path.join(folder, ".running")
        # The folder's files are the engine's: evaluations.csv, result.json, best.toml.
        self.log = _tavrel.EvaluationLog(core, str(folder), resume, progress)
        for point, metrics, status, error in self.log.kept:  # a resumed search replays these
            self._record(tuple(point), metrics, status in ("ok", "infeasible"), error, write=False)

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
        self.rows[point] = {"point": point, "objective": objective, "metrics": metrics,
                            "status": status, "error": error, "score": score}
        if write:
            self.log.append(list(point), objective, list(metrics), status, str(error))

    def evaluate(self, points):
        """Scores of `points` (each a sequence of values); runs those not evaluated yet."""
        points = [tuple(float(v) for v in p) for p in points]
        new = list(dict.fromkeys(p for p in points if p not in self.rows))
        room = self.core.max_evaluations - len(self.rows)
        spent = len(new) > room
        if new[:room]:
            self._run(new[:room])
            self.log.show_progress()
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
            self.log.write_state(False, "interrupted", "interrupted")
            raise
        finally:
            self.log.close_progress()
        self.log.write_state(converged, message, "finished")
        self.log.write_best()
        try:
            from .figures.optimize import convergence

            convergence(self.evaluations(), self.keys, self.bounds_list(),
                        os.path.join(self.folder, "convergence.png"))
        except ImportError:
            pass
        best = list(self.rows.values())[self.log.best] if self.log.best >= 0 else None
        return Outcome(self.evaluations(), dict(zip(self.keys, best["point"])) if best else None,
                       best["objective"] if best else None, converged, message,
                       self.objective_unit())

    def objective_unit(self):
        """The unit the objectives share, as evaluations.csv heads the objective ("" when they
        differ)."""
        from ._frame import split_heading

        return split_heading(self.log.columns[1 + len(self.keys)])[1]

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

        from ._frame import headed_frame

        data = [[n, *r["point"], r["objective"], *r["metrics"], r["status"], r["error"]]
                for n, r in enumerate(self.rows.values())]
        return headed_frame(pandas.DataFrame(data, columns=list(self.log.columns)))


def _unused(x):
    raise AssertionError("evaluations go through the batch map")


def _violation(value, at_most, limit):
    if not math.isfinite(value):
        return math.inf
    return max(0.0, value - limit) if at_most else max(0.0, limit - value)


def _one_line(error):
    return " ".join(str(error).split())


def run_request(request):
    """`tavrel optimize`: the request its flags make (file, output, jobs, resume, progress,
    scheduler); prints the outcome, returns the exit code."""
    start = time.monotonic()
    output = request["output"]

    def work():
        opt = Optimization.load(request["file"])
        options = dict(output=output, resume=request["resume"], progress=request["progress"])
        if request.get("scheduler"):
            from distributed import Client

            with Client(request["scheduler"]) as client:
                return opt.run(client=client, **options)
        return opt.run(jobs=request["jobs"], **options)

    outcome, code = run_command("tavrel optimize", work)
    if code:
        return code
    print(f"{len(outcome.evaluations)} evaluations in {time.monotonic() - start:.1f} s: "
          f"{outcome.message}")
    if outcome.best is None:
        print("no feasible evaluation")
        return 1
    units = outcome.evaluations.attrs.get("units", {})
    for key, value in outcome.best.items():
        unit = units.get(key, "")
        print(f"  {key} = {value!r} {'' if unit == '1' else unit}".rstrip())
    print(f"objective {outcome.objective_text()}; best scenario: "
          f"{os.path.join(output, 'best.toml')}")
    return 0
