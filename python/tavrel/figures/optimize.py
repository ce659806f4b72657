"""The figure of an optimisation (convergence.png): the best objective against the evaluation,
and each key's path within its bounds."""

import numpy

from . import canvas


def convergence(frame, keys, bounds, path):
    """`frame` holds the evaluations (evaluation, the keys, objective, status)."""
    figure = canvas.figure(7, 6, layout="constrained")
    top = figure.add_subplot(2, 1, 1)
    bottom = figure.add_subplot(2, 1, 2, sharex=top)
    ok = frame["status"] == "ok"
    objective = numpy.where(ok, frame["objective"].to_numpy(dtype=float), numpy.inf)
    best = numpy.minimum.accumulate(objective)
    shown = numpy.isfinite(best)
    top.plot(frame["evaluation"][ok], objective[ok], ".", color="0.6", label="evaluation")
    top.plot(frame["evaluation"][shown], best[shown], "-", label="best so far")
    if shown.any() and (best[shown] > 0).all():
        top.set_yscale("log")
    top.set_ylabel("objective")
    top.legend(fontsize=8)
    for key, (low, high) in zip(keys, bounds):
        bottom.plot(frame["evaluation"], (frame[key] - low) / (high - low), ".-", label=key,
                    markersize=3, linewidth=0.6)
    bottom.set_ylabel("share of the bounds")
    bottom.set_xlabel("evaluation")
    bottom.legend(fontsize=8)
    for axis in (top, bottom):
        axis.grid(True, alpha=0.3)
    return canvas.save(figure, path, dpi=110, bbox_inches="tight")
