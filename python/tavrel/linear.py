"""Linear models of a wired scenario: ``tavrel.linearize`` and ``LinearModel``.

    import tavrel
    model = tavrel.linearize("scenarios/default.toml")   # at t = 0
    G = model.freqresp([6.0, 12.0])                       # complex, (periods, outputs, inputs)
    model.modes()                                         # pandas DataFrame, by period
    model.bode("bode.png", overlay=tavrel.Study.load("studies/period_sweep.toml").run())

``run_request`` writes modes.csv, frequency_response.csv, bode.png and poles.png of a saved
model (what ``tavrel linearize`` hands over through tavrel.command).
"""

import os
import warnings

import numpy as np

from . import _tavrel

_NAMES = ("states", "state_blocks", "inputs", "outputs", "input_units", "output_units")
_ARRAYS = ("A", "B", "C", "D", "x0", "u0", "y0")


class LinearModel:
    """d(dx)/dt = A dx + B du, dy = C dx + D du about the operating point x0, u0, y0."""

    def __init__(self, data):
        for key in _ARRAYS:
            setattr(self, key, np.asarray(data[key], dtype=float))
        for key in _NAMES:
            setattr(self, key, [str(v) for v in data[key]])
        self.time = float(data["time"])
        self.residual = float(data["residual"])
        self.steady = bool(float(data.get("steady", 1.0)))  # files from before it: trimmed
        self.wave_period = float(data.get("wave_period", 0.0))

    def freqresp(self, periods):
        """G(j 2 pi / period) for each period [s]: complex array (periods, outputs, inputs),
        by a solve per frequency on the Hessenberg form of A."""
        omegas = 2 * np.pi / np.asarray(periods, dtype=float).ravel()
        return _tavrel._frequency_response(self.A, self.B, self.C, self.D, omegas.tolist())

    def poles(self):
        return np.linalg.eigvals(self.A)

    def modes(self):
        """One row per oscillating pair or real pole: eigenvalue, period [s], damping ratio and
        the block whose states carry most of the mode, sorted by period (longest first)."""
        import pandas as pd

        return pd.DataFrame(self._mode_columns())

    def _mode_columns(self):
        values, vectors = np.linalg.eig(self.A)
        keep = values.imag >= 0  # one of each complex pair
        values, vectors = values[keep], vectors[:, keep]
        magnitude = np.abs(values)
        with np.errstate(divide="ignore", invalid="ignore"):
            period = np.where(values.imag > 0, 2 * np.pi / values.imag, np.inf)
            damping = np.where(magnitude > 0, -values.real / magnitude, 1.0)
        blocks = np.array(self.state_blocks)
        names = sorted(set(self.state_blocks))
        # Each state's share measured in units of its own size, so that a state in large
        # units (a controller's integral in Pa s) does not carry every mode.
        scaled = np.abs(vectors) / np.maximum(np.abs(self.x0), 1.0)[:, None]
        weight = np.array([np.sum(scaled[blocks == b] ** 2, axis=0) for b in names])
        dominant = np.array([names[k] for k in np.argmax(weight, axis=0)] if names
                            else [""] * len(values))
        order = np.argsort(-period, kind="stable")
        return {"real": values.real[order], "imag": values.imag[order],
                "period [s]": period[order], "damping_ratio": damping[order],
                "dominant_block": dominant[order]}

    def to_scipy(self):
        from scipy import signal

        return signal.StateSpace(self.A, self.B, self.C, self.D)

    def pairs(self):
        """(output index, input index, "output/input") for every pair."""
        return [(i, j, f"{o}/{u}") for i, o in enumerate(self.outputs)
                for j, u in enumerate(self.inputs)]

    def response_table(self, periods):
        """period, then amplitude (output unit per input unit) and phase [deg] of each pair."""
        import pandas as pd

        return pd.DataFrame(self._response_columns(periods))

    def _response_columns(self, periods):
        periods = np.asarray(periods, dtype=float)
        G = self.freqresp(periods)
        columns = {"period [s]": periods}
        for i, j, name in self.pairs():
            unit = f"{self.output_units[i]}/{self.input_units[j]}"
            columns[f"{name}:amplitude [{unit}]"] = np.abs(G[:, i, j])
            columns[f"{name}:phase [deg]"] = np.degrees(np.angle(G[:, i, j]))
        return columns

    def bode(self, path, periods=None, pairs=None, overlay=None):
        """Amplitude and phase against period of the pairs (all, or "out/in" names), with
        2L/c and 4L/c marked; `overlay`, a study's frame, adds its first-harmonic points."""
        from .figures import linear

        linear.bode(self, path, periods=periods, pairs=pairs, overlay=overlay)

    def plot_poles(self, path):
        from .figures import linear

        linear.poles(self, path)

    def save(self, path):
        data = {key: getattr(self, key) for key in _ARRAYS}
        data.update({key: np.array(getattr(self, key), dtype=str) for key in _NAMES})
        data.update(time=self.time, residual=self.residual, steady=float(self.steady),
                    wave_period=self.wave_period)
        np.savez(path, **data)

    @classmethod
    def load(cls, path):
        with np.load(path, allow_pickle=False) as data:
            return cls({key: data[key] for key in data.files})


def linearize(scenario=None, inputs=None, outputs=None, at=None, trim=False):
    """The linear model of a scenario (a Scenario, a file path or None for the default) at its
    initial state, at the run's own state at time `at`, or at the steady state (`trim`)."""
    from ._scenarios import as_scenario

    data = _tavrel._linearize(as_scenario(scenario), list(inputs or []), list(outputs or []), at,
                              bool(trim))
    model = LinearModel(data)
    if not model.steady:
        warnings.warn(f"the operating point at t = {model.time:g} s is not steady "
                      f"(||dx/dt|| = {model.residual:.3g}); trim=True finds a steady one",
                      stacklevel=2)
    return model


def _periods(text):
    start, stop, count = text.split(":")
    return np.geomspace(float(start), float(stop), int(count))


def write_outputs(model, folder, periods, figures=True):
    """modes.csv, frequency_response.csv and (with `figures`) bode.png and poles.png."""
    modes = model._mode_columns()
    _write_csv(os.path.join(folder, "modes.csv"), modes)
    _write_csv(os.path.join(folder, "frequency_response.csv"), model._response_columns(periods))
    if figures:
        model.bode(os.path.join(folder, "bode.png"), periods=periods)
        model.plot_poles(os.path.join(folder, "poles.png"))
    return modes


def _write_csv(path, columns):
    """Columns of equal length as CSV (numbers in their shortest exact spelling), written whole
    by the engine."""
    names = list(columns)
    _tavrel.write_columns(path, names, [[v if isinstance(v, str) else float(v) for v in columns[n]]
                                        for n in names])


def run_request(request):
    """`tavrel linearize`: modes, frequency response and figures of the model it saved, as its
    request gives them (model, output, periods, figures); returns the exit code."""
    model = LinearModel.load(request["model"])
    output, figures = request["output"], request["figures"]
    modes = write_outputs(model, output, _periods(request["periods"]), figures=figures)
    shown = 0
    for period, damping, block in zip(modes["period [s]"], modes["damping_ratio"],
                                      modes["dominant_block"]):
        if np.isfinite(period) and shown < 4:
            print(f"mode: period {period:.4g} s, damping ratio {damping:.3g} ({block})")
            shown += 1
    print(f"Files: {output}/modes.csv, frequency_response.csv"
          + (", bode.png, poles.png" if figures else ""))
    return 0
