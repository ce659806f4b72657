"""std_ratio.png and std_ratio.csv of a study over a sea's peak period: each rig's bottom-pressure
std over the reference rig's of the same case (the same sea), per peak period as the median and
the spread over the cases (the seeds), beside the limit of any linear causal feedforward from the
compensator's measurement through the choke's clipped rate and the compensator's own prediction
as the scenario stands, both on the well's linear model (tavrel.design_scenario).

Drawn when the study varies one peak period (a `*.displacer_velocity.tp` key, every other
varied key a seed), its base scenario runs a sea_compensator and a reference rig, and the
metrics hold both rigs' `bottom_pressure:std`."""

import os
import sys
import tomllib

import numpy

from . import canvas
from .units import metric_column

PEAK_PERIOD = ".displacer_velocity.tp"
STD = "{}.bottom_pressure:std"
PERIOD = "peak_period [s]"
# The linear curves of the compensated rig: column, line style, legend.
LINEAR = (
    ("limit [1]", {"color": "black", "linestyle": "--"},
     "limit: any linear causal feedforward, same measurement and choke"),
    ("design [1]", {"color": "dimgrey", "linestyle": ":", "marker": "s"},
     "compensator's prediction (linear model, clipped rate)"),
    ("design_backed_off [1]", {"color": "dimgrey", "linestyle": "-.", "marker": "^"},
     "the same, scaled by its back-off"))


def reference_rig(doc):
    """The rig the others are compared with: the first whose choke setpoint is held (a `hold`
    source), the fixed choke; None without one."""
    for name, block in doc.get("blocks", {}).items():
        setpoint = block.get("inputs", {}).get("choke_setpoint")
        if isinstance(setpoint, dict) and "hold" in setpoint:
            return name
    return None


def _kind(doc, block):
    """What drives a rig's choke: the plug-in of the block it comes from, or its source's kind."""
    setpoint = doc["blocks"][block].get("inputs", {}).get("choke_setpoint")
    if not isinstance(setpoint, dict):
        return "held"
    if "from" in setpoint:
        return os.path.basename(str(doc["blocks"][setpoint["from"].split(".")[0]]["plugin"]))
    return next(iter(setpoint))


def ratio_table(frame, key, reference, rigs):
    """Per value of `key`, each rig's std over the reference's of the same case: its median,
    min and max over the cases that ran; one row per peak period."""
    import pandas

    ok = frame[frame["status"] == "ok"]
    fixed = ok[metric_column(ok.columns, STD.format(reference))].to_numpy(dtype=float)
    columns = {}
    for rig in rigs:
        ratio = ok[metric_column(ok.columns, STD.format(rig))].to_numpy(dtype=float) / fixed
        spread = pandas.Series(ratio).groupby(ok[key].to_numpy(dtype=float))
        for name, values in (("median", spread.median()), ("min", spread.min()),
                             ("max", spread.max())):
            columns[f"{rig}_{name} [1]"] = values
        columns["cases"] = spread.size()
    table = pandas.DataFrame(columns)
    return table.rename_axis(PERIOD).reset_index()


def _plan(study, free):
    """(doc, peak-period key, compensator, reference, rigs compared) or None when not drawn."""
    from ..design_scenario import DesignError, compensated

    periods = [k for k in free if k.endswith(PEAK_PERIOD)]
    if study.random or len(periods) != 1 or any(
            k not in periods and not k.endswith(".seed") for k in free):
        return None
    doc = tomllib.loads(study.case_text(0))
    try:
        compensator, rig = compensated(doc)
    except DesignError:
        return None
    reference = reference_rig(doc)
    rigs = [b for b in doc["blocks"] if b != reference and STD.format(b) in study.metrics]
    if reference is None or STD.format(reference) not in study.metrics or rig not in rigs:
        return None
    rigs.sort(key=lambda b: b != rig)  # the compensated rig first
    return doc, periods[0], compensator, reference, rigs


def _linear(doc, periods):
    """The limit and the compensator's prediction per peak period; None, said on stderr, when
    the design cannot linearise the scenario's well (the ratios are drawn all the same)."""
    from .._tavrel import TavrelError
    from ..design_scenario import PERIOD_COLUMNS, DesignError, scenario_by_peak_period

    try:
        rows = scenario_by_peak_period(doc, periods)
    except (DesignError, TavrelError) as error:
        print(f"std_ratio.png without the limit: {error}", file=sys.stderr)
        return None
    return {column: [row[k] for row in rows] for k, column in enumerate(PERIOD_COLUMNS)}


def _draw(table, labels, reference):
    figure = canvas.figure(8, 6, layout="constrained")
    axis = figure.add_subplot(1, 1, 1)
    period = table[PERIOD].to_numpy()
    axis.axhline(1.0, color="black", linewidth=1, label=f"{reference}: choke held (1)")
    for rig, label in labels:
        line, = axis.plot(period, table[f"{rig}_median [1]"], "o-", label=f"{label}: median")
        axis.fill_between(period, table[f"{rig}_min [1]"], table[f"{rig}_max [1]"],
                          color=line.get_color(), alpha=0.2, label=f"{label}: min to max")
    for column, style, text in LINEAR:
        if column in table:
            axis.plot(period, table[column], markersize=4, label=text, **style)
    if len(period) <= 12:
        axis.set_xticks(period)
    axis.set_xlabel("peak period Tp [s]")
    axis.set_ylabel(f"bottom-pressure std / {reference}'s")
    axis.set_ylim(bottom=0)
    axis.grid(True, alpha=0.3)
    axis.legend(loc="upper center", bbox_to_anchor=(0.5, -0.13), ncol=2, fontsize="small")
    fewest, most = int(table["cases"].min()), int(table["cases"].max())
    seas = f"{most}" if fewest == most else f"{fewest} to {most}"
    canvas.title(axis, f"Bottom-pressure std over the held choke's ({reference}) on the same "
                       f"sea, {seas} seas per peak period")
    return figure


def std_ratio(study, frame, free, folder):
    """(figure, "std_ratio.png") with the numbers written to `folder`/std_ratio.csv, or None
    when the study is not one over a compensated sea's peak period."""
    plan = _plan(study, free)
    if plan is None:
        return None
    doc, key, compensator, reference, rigs = plan
    table = ratio_table(frame, key, reference, rigs)
    if table.empty:
        return None
    linear = _linear(doc, table[PERIOD].to_numpy())
    if linear is not None:
        table = table.assign(**{k: numpy.asarray(v) for k, v in linear.items() if k != PERIOD})
    table.to_csv(os.path.join(folder, "std_ratio.csv"), index=False, float_format="%.6g")
    labels = [(rig, rig if _kind(doc, rig) == rig else f"{rig} ({_kind(doc, rig)})")
              for rig in rigs]
    return _draw(table, labels, reference), "std_ratio.png"
