"""Figures of a linear model (a tavrel.LinearModel): the Bode plot against period with a
study's first harmonics laid over it (bode.png), the poles (poles.png), and the bottom pressure
response of linearised scenarios beside the exact one of the continuum (tavrel.reference)."""

import numpy as np

from . import canvas
from .units import ratio_unit

MOST_PAIRS = 12  # more curves than this read as none


def _chosen_pairs(model, pairs):
    """The pairs drawn, and a title when only some of them are."""
    chosen = [p for p in model.pairs() if pairs is None or p[2] in pairs]
    if pairs is not None or len(chosen) <= MOST_PAIRS:
        return chosen, None
    # By default the pairs into the bottom pressures, the quantity a heave study is about
    # (every pair is in frequency_response.csv).
    bottom_pairs = [p for p in chosen if p[2].split("/")[0].endswith(".bottom_pressure")]
    chosen = (bottom_pairs or chosen)[:MOST_PAIRS]
    return chosen, f"{len(chosen)} of {len(model.pairs())} pairs (all in frequency_response.csv)"


def bode(model, path, periods=None, pairs=None, overlay=None):
    """Amplitude and phase against period of the pairs (all, or "out/in" names), with
    2L/c and 4L/c marked; `overlay`, a study's frame, adds its first-harmonic points. One pair
    is drawn in display units; several are each scaled to their peak."""
    periods = np.geomspace(1, 60, 300) if periods is None else np.asarray(periods, float)
    G = model.freqresp(periods)
    chosen, title = _chosen_pairs(model, pairs)
    figure = canvas.figure(9, 7)
    top, bottom = figure.subplots(2, 1, sharex=True)
    if title:
        figure.suptitle(title, fontsize=9)
    scales = {}
    for i, j, name in chosen:
        peak = np.max(np.abs(G[:, i, j]))
        if len(chosen) > 1 and not peak > 0:
            continue  # no response: nothing to draw on a log scale
        scales[i, j] = 1 / peak if len(chosen) > 1 else ratio_unit(model.output_units[i],
                                                                   model.input_units[j])[0]
        top.loglog(periods, np.abs(G[:, i, j]) * scales[i, j], label=name)
        bottom.semilogx(periods, np.degrees(np.angle(G[:, i, j])))
    if overlay is not None:
        _overlay(top, bottom, overlay, chosen, model, scales)
    for mark, label in ((model.wave_period, "2L/c"), (2 * model.wave_period, "4L/c")):
        if mark > 0:
            for axis in (top, bottom):
                axis.axvline(mark, color="grey", linestyle=":")
            top.text(mark, top.get_ylim()[1], label, ha="center", va="bottom")
    if len(chosen) == 1:
        unit = ratio_unit(model.output_units[chosen[0][0]], model.input_units[chosen[0][1]])[1]
        top.set_ylabel(f"amplitude [{unit}]")
    else:
        top.set_ylabel("amplitude" + (" (each pair scaled to its peak)" if chosen else ""))
    bottom.set_ylabel("phase [deg]")
    bottom.set_xlabel("period [s]")
    if len(chosen) <= MOST_PAIRS:
        top.legend(fontsize="x-small")
    # Fixed margins: measuring every label (tight_layout) took longer than the rest of
    # the command.
    figure.subplots_adjust(left=0.1, right=0.97, bottom=0.08, top=0.9, hspace=0.08)
    return canvas.save(figure, path, dpi=110)


def _overlay(top, bottom, frame, chosen, model, scales):
    """A study's first-harmonic points: the varied period, the amplitude ratio of the output
    to the input and their phase difference, where the study has those metrics."""
    def column(metric):
        return next((c for c in frame.columns if c == metric or c.startswith(metric + " [")), None)

    period = next((c for c in frame.columns if c.endswith(".period")), None)
    if period is None:
        return
    ok = frame[frame["status"] == "ok"] if "status" in frame.columns else frame
    for i, j, name in chosen:
        out_amp = column(f"{model.outputs[i]}:amplitude")
        in_amp = column(f"{model.inputs[j]}:amplitude")
        if out_amp is None or in_amp is None or (i, j) not in scales:
            continue
        ratio = ok[out_amp].to_numpy(float) / ok[in_amp].to_numpy(float)
        top.plot(ok[period], ratio * scales[i, j], "o", label=f"{name} (nonlinear)")
        out_phase = column(f"{model.outputs[i]}:phase")
        in_phase = column(f"{model.inputs[j]}:phase")
        if out_phase is not None and in_phase is not None:
            difference = ok[out_phase].to_numpy(float) - ok[in_phase].to_numpy(float)
            phase = np.angle(np.exp(1j * difference))
            bottom.plot(ok[period], np.degrees(phase), "o")


def poles(model, path):
    values = model.poles()
    figure = canvas.figure(7, 6)
    axis = figure.add_subplot(1, 1, 1)
    axis.plot(values.real, values.imag, "x")
    axis.axvline(0, color="grey", linewidth=0.8)
    axis.set_xlabel("real part [1/s]")
    axis.set_ylabel("imaginary part [rad/s]")
    axis.set_title(f"{len(values)} poles at t = {model.time:g} s")
    figure.subplots_adjust(left=0.13, right=0.97, bottom=0.09, top=0.94)
    return canvas.save(figure, path, dpi=110)


def reference(path, periods, responses):
    """Amplitude and phase of each linearised model and of the exact reference against period;
    `responses` maps a name to (linear, exact) bottom pressure per displacer velocity [Pa per
    m/s], as tavrel.reference.compare gives them."""
    scale, unit = ratio_unit("Pa", "m/s")
    figure = canvas.figure(9, 7, layout="tight")
    top, bottom = figure.subplots(2, 1, sharex=True)
    exact = next(iter(responses.values()))[1]
    top.loglog(periods, np.abs(exact) * scale, "k", linewidth=2, label="exact (continuum)")
    bottom.semilogx(periods, np.degrees(np.angle(exact)), "k", linewidth=2)
    for name, (linear, _) in responses.items():
        top.loglog(periods, np.abs(linear) * scale, label=name)
        bottom.semilogx(periods, np.degrees(np.angle(linear)))
    top.set_ylabel(f"bottom pressure [{unit.replace('/', ' per ')}]")
    bottom.set_ylabel("phase [deg]")
    bottom.set_xlabel("period [s]")
    top.legend()
    return canvas.save(figure, path, dpi=110)
