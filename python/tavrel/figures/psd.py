"""results_psd.png and the report's spectrum: every rig's bottom pressure over the summary window
by Welch's estimate, so that a compensated rig is read against its fixed-choke reference band by
band: where the sea's energy lies, what the compensator takes out and what it adds."""

import numpy

from . import canvas
from .series import blocks_with

PORT = "bottom_pressure"
RESOLUTION = 0.005  # Hz: segments of 200 s resolve a sea's peak (0.04 to 0.2 Hz)
TOP = 0.5  # Hz: above, only the solver's and the sensors' fine structure


def worth_drawing(result, summary):
    """An irregular run: its summary window set by a start time, not by periods of one sine."""
    return bool(blocks_with(result, PORT)) and summary.get("window_from") == "from"


def densities(result, summary):
    """(frequency [Hz], [(rig, PSD [bar²/Hz], std [bar])]) over the summary window, from the
    first frequency above zero up to TOP; None when the window holds too few rows."""
    from scipy.signal import welch

    rows = result.time >= summary.get("from", result.time[0]) - 1e-9
    time = result.time[rows]
    if len(time) < 16:
        return None
    step = float(numpy.median(numpy.diff(time)))
    segment = min(len(time), max(16, int(round(1 / RESOLUTION / step))))
    curves = []
    for rig in blocks_with(result, PORT):
        bar = result[f"{rig}.{PORT}"][rows] * 1e-5
        frequency, density = welch(bar - bar.mean(), fs=1.0 / step, nperseg=segment)
        band = slice(1, max(2, int(numpy.searchsorted(frequency, TOP, side="right"))))
        curves.append((rig, density[band], float(numpy.std(bar))))
    return frequency[band], curves


def spectrum_figure(result, summary, title=None):
    figure = canvas.figure(9, 5, layout="constrained")
    axis = figure.add_subplot(1, 1, 1)
    found = densities(result, summary)
    if found:
        frequency, curves = found
        for rig, density, std in curves:
            axis.semilogy(frequency, density, label=f"{rig} (std {std:.2f} bar)")
        axis.set_xlim(0, frequency[-1])
        axis.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize="small")
    axis.set_xlabel("frequency [Hz]")
    axis.set_ylabel("bottom pressure PSD [bar²/Hz]")
    axis.grid(True, which="both", alpha=0.3)
    start = summary.get("from", result.time[0])
    canvas.title(axis, title or f"Bottom pressure spectrum from t = {start:g} s")
    return figure
