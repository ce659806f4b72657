"""Linear models of a wired scenario: ``tavrel.linearize`` and ``LinearModel``.

    import tavrel
    model = tavrel.linearize("scenarios/default.toml")          # at t = 0
    G = model.freqresp([6.0, 12.0])                              # complex, (periods, outputs, inputs)
    model.modes()                                                # pandas DataFrame, by period
    model.bode("bode.png", overlay=study_frame)

``run_request`` writes modes.csv, frequency_response.csv, bode.png and poles.png of a saved
model (what ``tavrel linearize`` hands over through tavrel.command).
"""

import os

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
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt

        periods = np.geomspace(1, 60, 300) if periods is None else np.asarray(periods, float)
        G = self.freqresp(periods)
        chosen = [p for p in self.pairs() if pairs is None or p[2] in pairs]
        title = None
        if pairs is None and len(chosen) > 12:
            # Dozens of curves read as none: by default the pairs into the bottom pressures,
            # the quantity a heave study is about (every pair is in frequency_response.csv).
            bottom_pairs = [p for p in chosen if p[2].split("/")[0].endswith(".bottom_pressure")]
            chosen = (bottom_pairs or chosen)[:12]
            title = f"{len(chosen)} of {len(self.pairs())} pairs (all in frequency_response.csv)"
        figure, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(9, 7))
        if title:
            figure.suptitle(title, fontsize=9)
        for i, j, name in chosen:
            peak = np.max(np.abs(G[:, i, j]))
            if len(chosen) > 1 and not peak > 0:
                continue  # no response: nothing to draw on a log scale
            scale = peak if len(chosen) > 1 else 1.0
            top.loglog(periods, np.abs(G[:, i, j]) / scale, label=name)
            bottom.semilogx(periods, np.degrees(np.angle(G[:, i, j])))
        if overlay is not None:
            _overlay(top, bottom, overlay, chosen, self)
        for mark, label in ((self.wave_period, "2L/c"), (2 * self.wave_period, "4L/c")):
            if mark > 0:
                for axis in (top, bottom):
                    axis.axvline(mark, color="grey", linestyle=":")
                top.text(mark, top.get_ylim()[1], label, ha="center", va="bottom")
        top.set_ylabel("amplitude" + (" (each pair scaled to its peak)" if len(chosen) > 1 else
                                      f" [{self.output_units[chosen[0][0]]}/"
                                      f"{self.input_units[chosen[0][1]]}]" if chosen else ""))
        bottom.set_ylabel("phase [deg]")
        bottom.set_xlabel("period [s]")
        if len(chosen) <= 12:
            top.legend(fontsize="x-small")
        # Fixed margins: measuring every label (tight_layout) took longer than the rest of
        # the command.
        figure.subplots_adjust(left=0.1, right=0.97, bottom=0.08, top=0.9, hspace=0.08)
        figure.savefig(path, dpi=110)
        plt.close(figure)

    def plot_poles(self, path):
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt

        poles = self.poles()
        figure, axis = plt.subplots(figsize=(7, 6))
        axis.plot(poles.real, poles.imag, "x")
        axis.axvline(0, color="grey", linewidth=0.8)
        axis.set_xlabel("real part [1/s]")
        axis.set_ylabel("imaginary part [rad/s]")
        axis.set_title(f"{len(poles)} poles at t = {self.time:g} s")
        figure.subplots_adjust(left=0.13, right=0.97, bottom=0.09, top=0.94)
        figure.savefig(path, dpi=110)
        plt.close(figure)

    def save(self, path):
        data = {key: getattr(self, key) for key in _ARRAYS}
        data.update({key: np.array(getattr(self, key), dtype=str) for key in _NAMES})
        data.update(time=self.time, residual=self.residual, wave_period=self.wave_period)
        np.savez(path, **data)

    @classmethod
    def load(cls, path):
        with np.load(path, allow_pickle=False) as data:
            return cls({key: data[key] for key in data.files})


def _overlay(top, bottom, frame, chosen, model):
    """A study's first-harmonic points: the varied period, the amplitude ratio of the output
    to the input and their phase difference, where the study has those metrics."""
    def column(metric):
        return next((c for c in frame.columns if c == metric or c.startswith(metric + " [")), None)

    period = next((c for c in frame.columns if c.endswith(".period")), None)
    if period is None:
        return
    ok = frame[frame["status"] == "ok"] if "status" in frame.columns else frame
    for i, j, name in chosen:
        out_amp, in_amp = column(f"{model.outputs[i]}:amplitude"), column(f"{model.inputs[j]}:amplitude")
        if out_amp is None or in_amp is None:
            continue
        ratio = ok[out_amp].to_numpy(float) / ok[in_amp].to_numpy(float)
        scale = 1.0 if len(chosen) == 1 else np.max(np.abs(model.freqresp(ok[period])[:, i, j]))
        top.plot(ok[period], ratio / scale, "o", label=f"{name} (nonlinear)")
        out_phase, in_phase = column(f"{model.outputs[i]}:phase"), column(f"{model.inputs[j]}:phase")
        if out_phase is not None and in_phase is not None:
            phase = np.angle(np.exp(1j * (ok[out_phase].to_numpy(float) - ok[in_phase].to_numpy(float))))
            bottom.plot(ok[period], np.degrees(phase), "o")


def linearize(scenario=None, inputs=None, outputs=None, at=None, trim=False):
    """The linear model of a scenario (a Scenario, a file path or None for the default) at its
    initial state, at the run's own state at time `at`, or at the steady state (`trim`)."""
    from . import _scenario

    data = _tavrel._linearize(_scenario(scenario), list(inputs or []), list(outputs or []), at,
                              bool(trim))
    return LinearModel(data)


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
