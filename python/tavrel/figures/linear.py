"""Figures of a linear model (a tavrel.LinearModel): the Bode plot against period with a
study's first harmonics laid over it (bode.png), the poles (poles.png), and the bottom pressure
response of linearised scenarios beside the exact one of the continuum (tavrel.reference)."""

import numpy as np

from . import canvas
from .units import display, ratio_unit

MOST_PAIRS = 12  # more curves than this read as none
# The inputs a heave study is about, whose responses in the bottom pressure the default shows.
DEFAULT_INPUTS = (".displacer_velocity", ".choke_setpoint")


def _chosen_pairs(model, pairs):
    """The pairs drawn, and a title when only some of them are. By default the heave and the
    choke setpoint into the bottom pressures, where the model has them (every pair is in
    frequency_response.csv)."""
    every = model.pairs()
    if pairs is not None:
        return [p for p in every if p[2] in pairs], None
    chosen = [p for p in every if model.outputs[p[0]].endswith(".bottom_pressure")
              and model.inputs[p[1]].endswith(DEFAULT_INPUTS)
              and _block(model.outputs[p[0]]) == _block(model.inputs[p[1]])]
    if not chosen:
        chosen = every[:MOST_PAIRS]
    if len(chosen) == len(every):
        return chosen, None
    return chosen, f"{len(chosen)} of {len(every)} pairs (all in frequency_response.csv)"


def _block(port):
    return port.partition(".")[0]


def _columns(model, chosen):
    """The pairs grouped by their unit (one column of axes each, in physical units)."""
    columns = {}
    for i, j, name in chosen:
        columns.setdefault(ratio_unit(model.output_units[i], model.input_units[j]), []).append(
            (i, j, name))
    return columns


def bode(model, path, periods=None, pairs=None, overlay=None):
    """bode_figure saved to `path`."""
    return canvas.save(bode_figure(model, periods, pairs, overlay), path, dpi=110)


def bode_figure(model, periods=None, pairs=None, overlay=None):
    """Amplitude and unwrapped phase against period of the pairs (by default the heave and the
    choke setpoint into the bottom pressure), in display units, one column per unit, with
    2L/c and 4L/c marked; `overlay`, a study's frame, adds its first-harmonic points."""
    periods = np.geomspace(1, 60, 300) if periods is None else np.asarray(periods, float)
    G = model.freqresp(periods)
    chosen, title = _chosen_pairs(model, pairs)
    # A pair without any response (another rig's input) has nothing to show on a log scale.
    chosen = [p for p in chosen if np.max(np.abs(G[:, p[0], p[1]])) > 0] or chosen
    columns = _columns(model, chosen)
    figure = canvas.figure(5 + 4 * max(len(columns), 1), 7)
    axes = figure.subplots(2, max(len(columns), 1), sharex=True, squeeze=False)
    if title:
        figure.suptitle(title, fontsize=9)
    scales, phases = {}, {}
    for k, ((scale, unit), members) in enumerate(columns.items()):
        top, bottom = axes[0, k], axes[1, k]
        for i, j, name in members:
            scales[i, j] = scale
            response = G[:, i, j]
            top.loglog(periods, np.abs(response) * scale, label=name)
            # Unwrapped from the longest period, where the response is nearly static, towards
            # the shorter ones, so that a lag growing past 180 deg is one curve.
            order = np.argsort(-periods)
            phases[i, j] = np.empty(len(periods))
            phases[i, j][order] = np.unwrap(np.angle(response[order]))
            bottom.semilogx(periods, np.degrees(phases[i, j]))
        if overlay is not None:
            _overlay(top, bottom, overlay, members, model, scales, (periods, phases))
        top.set_ylabel(f"amplitude [{unit}]")
        inputs = sorted({model.inputs[j].partition(".")[2] for _, j, _ in members})
        canvas.title(top, "from " + ", ".join(i.replace("_", " ") for i in inputs), fontsize=10,
                     pad=16)
        bottom.set_ylabel(f"phase [{display('rad')[1]}]")
        bottom.set_xlabel("period [s]")
        if len(members) <= MOST_PAIRS:
            # Below the axes, never over the curves.
            top.legend(fontsize="x-small", loc="upper center", bbox_to_anchor=(0.5, -1.3))
        _marks(model, top, bottom)
    # Fixed margins: measuring every label (tight_layout) took longer than the rest of
    # the command; the room at the bottom holds the legends.
    legend_rows = max((len(m) for m in columns.values()), default=0)
    bottom_room = (0.65 + 0.18 * min(legend_rows, MOST_PAIRS)) / 7
    figure.subplots_adjust(left=0.1 / len(axes[0]) + 0.04, right=0.97, bottom=bottom_room,
                           top=0.87, hspace=0.08, wspace=0.3)
    return figure


def _marks(model, top, bottom):
    for mark, label in ((model.wave_period, "2L/c"), (2 * model.wave_period, "4L/c")):
        if mark > 0:
            for axis in (top, bottom):
                axis.axvline(mark, color="grey", linestyle=":")
            top.text(mark, top.get_ylim()[1], label, ha="center", va="bottom")


def _overlay(top, bottom, frame, chosen, model, scales, curves):
    """A study's first-harmonic points: the varied period, the amplitude ratio of the output
    to the input and their phase difference, where the study has those metrics."""
    def column(metric):
        return next((c for c in frame.columns if c == metric or c.startswith(metric + " [")), None)

    period = next((c for c in frame.columns if c.split(" [")[0].endswith(".period")), None)
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
            # On the branch of the unwrapped curve nearest to each point.
            periods, phases = curves
            order = np.argsort(periods)
            curve = np.interp(np.log(ok[period].to_numpy(float)), np.log(periods[order]),
                              phases[i, j][order])
            phase = curve + np.angle(np.exp(1j * (difference - curve)))
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
    bottom.set_ylabel(f"phase [{display('rad')[1]}]")
    bottom.set_xlabel("period [s]")
    top.legend()
    return canvas.save(figure, path, dpi=110)
