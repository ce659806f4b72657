"""`tavrel design SCENARIO -o DIR`: the well of a scenario linearised at the compensator's
operating point, the `sea_compensator` designed for it (tavrel.design) and written into
DIR/scenario.toml, with the design's linear prediction and the limit of any linear causal
feedforward from the same measurement printed beside it, and both per peak period in
DIR/design.csv.
"""

import os
import re
import tomllib
import warnings

import numpy as np

from . import design as d

# What the block's back-off lets pass before it scales the feedforward down, as a fraction of
# the actuator's rate limit (1/stroke time): above any row's budget, for seas higher than the
# design's. It is also the largest RMS rate a row may ask, unless the request names a lower.
RATE_FRACTION = 1.0
# The Laguerre filter's poles tried; its order is the block's (its Laguerre states). The well's
# wave travels 6 s up and back; the filter needs that long a memory at a resolution fine enough
# for the resonance near 1 rad/s. A signal from the top of the well carries the choke's own
# echo, which a faster pole feeds on; the design keeps the pole whose schedule does best on the
# nominal sea through the clip.
POLES = (2.0, 2.5, 3.0, 3.5)
# The leaky integral of the block's period estimate.
DISPLACEMENT_TIME = 30.0
# DIR/design.csv: the limit and the design per peak period, on seas of the scenario's height and
# peak enhancement (the study figure std_ratio.png draws the same numbers).
PERIOD_COLUMNS = ("peak_period [s]", "limit [1]", "limit_rms_rate [1/s]", "design [1]",
                  "design_rms_rate [1/s]", "design_backed_off [1]")
PERIODS = np.arange(6.0, 24.5, 2.0)  # s


class DesignError(Exception):
    pass


def compensated(doc):
    """(compensator, rig): the sea_compensator block and the block whose choke it drives."""
    blocks = doc.get("blocks", {})
    for name, block in blocks.items():
        if os.path.basename(str(block.get("plugin", ""))).startswith("sea_compensator"):
            wanted = {"from": f"{name}.choke_setpoint"}
            for rig, other in blocks.items():
                if other.get("inputs", {}).get("choke_setpoint") == wanted:
                    return name, rig
            raise DesignError(f"no block's choke_setpoint is {{ from = "
                              f"\"{name}.choke_setpoint\" }}")
    raise DesignError("no block runs the plug-in sea_compensator")


def _sea(doc, rig):
    source = doc["blocks"][rig].get("inputs", {}).get("displacer_velocity")
    if not isinstance(source, dict) or "sea" not in source:
        raise DesignError(f"blocks.{rig}.inputs.displacer_velocity: the design needs a "
                          "{ sea = {...} } source")
    sea = source["sea"]
    gamma = 1.0 if sea.get("spectrum") == "pierson_moskowitz" else sea.get("gamma", 3.3)
    return float(sea["hs"]), float(sea["tp"]), float(gamma)


def _terms(source):
    """(ports, noise std, noise bandwidth) of a measurement source: `from`, a number, `noise`
    or a `sum` of them."""
    if isinstance(source, (int, float)):
        return [], 0.0, 1.0
    if "from" in source:
        return [source["from"]], 0.0, 1.0
    if "noise" in source:
        return [], float(source["noise"]["std"]), float(source["noise"]["bandwidth"])
    if "sum" in source:
        ports, var, band = [], 0.0, 1.0
        for term in source["sum"]:
            p, std, bw = _terms(term)
            ports += p
            var += std**2
            band = bw if std > 0 else band
        return ports, float(np.sqrt(var)), band
    raise DesignError(f"measurement source {source}: expected from, a number, noise or sum")


def _operating_point(doc, rig, extra, setpoint, inputs, outputs):
    """The linear model of the well alone with its choke held where the bottom pressure settles
    at `setpoint` (Newton's method on the opening, each step a 200 s run and its linear model)."""
    from ._tavrel import Scenario
    from .linear import linearize

    opening = 0.4
    for _ in range(8):
        text = "[simulation]\nduration = 200.0\n" + d.plant_text(doc, rig, opening, extra)
        model = linearize(Scenario.parse(text, "<the well of the design>", "."), inputs=inputs,
                          outputs=outputs, at=200.0)
        # At a period of a day: the other blocks' integrators make A singular at 0.
        static = model.freqresp([86400.0])[0, 0, 1].real
        miss = model.y0[0] - setpoint
        if abs(miss) < 1e3:
            return model, opening
        opening = float(np.clip(opening - miss / static, 0.02, 0.98))
    raise DesignError("no choke opening holds the bottom pressure at the compensator's setpoint")


def plant_of(doc):
    """The design's Plant, the nominal sea, the stroke time and the names involved."""
    comp, rig = compensated(doc)
    block = doc["blocks"][comp]
    params, inputs = block.get("params", {}), block.get("inputs", {})
    ports, std, band = _terms(inputs.get("heave_measurement", 0.0))
    reference, _, _ = _terms(inputs.get("heave_reference", 0.0))
    heave = f"{rig}.displacer_velocity"
    measured = [p for p in ports + reference if p != heave]
    extra = sorted({p.split(".")[0] for p in measured} - {rig})
    model, opening = _operating_point(
        doc, rig, extra, float(params.get("pressure_setpoint", 412e5)),
        [heave, f"{rig}.choke_setpoint"],
        [f"{rig}.bottom_pressure", f"{rig}.choke_opening"] + measured)
    w = d.FREQUENCIES
    g = model.freqresp(2 * np.pi / w)
    m = np.zeros(len(w), dtype=complex)
    for sign, names in ((1, ports), (-1, reference)):
        for port in names:
            m += sign * (1.0 if port == heave else g[:, 2 + measured.index(port), 0])
    # The block takes the measurement's mean out over its mean_time: a high-pass on it.
    mean_time = float(params.get("mean_time", 60.0))
    high_pass = 1j * w / (1j * w + 1 / mean_time)
    # The block moves the choke's area by the fraction its filter gives: the opening moves by
    # area / slope per unit of that fraction at the operating point.
    move = d.opening_per_relative_area(block_params(doc, rig)["choke_characteristic"], opening)
    plant = d.Plant(w, g[:, 0, 0], g[:, 0, 1] * move, g[:, 1, 1] * move, m * high_pass,
                    d.noise_spectrum(w, std, band) * np.abs(high_pass) ** 2, move)
    stroke = float(doc["blocks"][rig].get("params", {}).get("choke_stroke_time", 10.0))
    return plant, _sea(doc, rig), stroke, comp, opening


def _value_text(value):
    """TOML of a parameter's value; a list of rows flattened, one row a line."""
    if isinstance(value, list) and value and isinstance(value[0], list):
        return "[\n" + "".join("    " + ", ".join(d.toml_value(v) for v in row) + ",\n"
                               for row in value) + "]"
    return d.toml_value(value)


def filter_order(plugin):
    """The Laguerre states of the compensator plug-in `plugin`: the longest row it weights."""
    from ._tavrel import describe

    return sum(1 for s in describe(plugin)["states"] if s["name"].startswith("laguerre_"))


def block_params(doc, block):
    """The block's parameters in `doc`, its plug-in's defaults for those not written."""
    from ._tavrel import describe

    entry = doc["blocks"][block]
    return {**{p["name"]: p["default"] for p in describe(entry["plugin"])["params"]},
            **entry.get("params", {})}


def by_peak_period(plant, sea, opening, params, schedule, periods, actuator):
    """Rows of PERIOD_COLUMNS, one per peak period of `periods` on seas of `sea`'s height and
    peak enhancement: the limit through the clipped `actuator` with the RMS rate it asks, the
    schedule's prediction through it with the RMS rate it asks, and that prediction with the
    block's back-off (its `params`, the mean opening at the operating point `opening`)."""
    hs, _, gamma = sea
    rate_limit = params["rate_fraction"] / params["stroke_time"]
    swing_limit = params["swing_fraction"] * max(min(opening, 1.0 - opening), 0.0)
    rows = []
    for tp in periods:
        one = (hs, float(tp), gamma)
        response = schedule.response(one)
        best, best_rate = d.limit(plant, one, actuator)
        scale = d.back_off(plant, one, response, rate_limit, swing_limit)
        rows.append((float(tp), best, best_rate, schedule.through_rate_limit(one, actuator),
                     plant.ratio(one, response)[1],
                     schedule.through_rate_limit(one, actuator, scale)))
    return rows


def scenario_by_peak_period(doc, periods):
    """by_peak_period for the compensator of the scenario `doc` as it stands."""
    with warnings.catch_warnings():
        # The Newton steps' runs settle only roughly; the design takes them as they are.
        warnings.simplefilter("ignore", UserWarning)
        plant, sea, stroke, comp, opening = plant_of(doc)
    params = block_params(doc, comp)
    return by_peak_period(plant, sea, opening, params, d.Schedule.of_block(plant, params), periods,
                          d.Actuator(stroke))


def write_rows(path, columns, rows):
    """A CSV file of numbers, each written back to the same double."""
    with open(path, "w") as f:
        f.write(",".join(columns) + "\n")
        f.writelines(",".join(repr(float(v)) for v in row) + "\n" for row in rows)


def set_params(text, block, values):
    """The scenario text with `values` written into [blocks.BLOCK.params], each replacing its
    line or added after the table's heading."""
    header = re.search(rf"^\[blocks\.{re.escape(block)}\.params\][^\n]*\n", text, re.M)
    if not header:
        raise DesignError(f"the scenario has no [blocks.{block}.params] table")
    end = re.search(r"^\[", text[header.end():], re.M)
    stop = header.end() + (end.start() if end else len(text) - header.end())
    table = text[header.end():stop]
    for key, value in values.items():
        line = f"{key} = {_value_text(value)}"
        table, found = re.subn(rf"^{key}\s*=\s*(\[[^\]]*\]|[^\n]*)[^\n]*", lambda _: line, table,
                               flags=re.M)
        if not found:
            table = line + "\n" + table
    return text[:header.end()] + table + text[stop:]


def run_request(request):
    """`tavrel design`: returns the exit code."""
    from ._tavrel import Scenario

    path, output = request["scenario"], request["output"]
    with open(path, "rb") as f:
        raw = f.read()
    doc = tomllib.loads(raw.decode())
    plant, sea, stroke, comp, opening = plant_of(doc)
    rig = compensated(doc)[1]
    actuator = d.Actuator(stroke)
    top = min(float(request.get("rate_budget", RATE_FRACTION)), RATE_FRACTION) / stroke
    order = filter_order(doc["blocks"][comp]["plugin"])
    schedule = min((d.design_schedule(plant, sea, actuator, top, pole, order, DISPLACEMENT_TIME)
                    for pole in POLES), key=lambda one: one.through_rate_limit(sea, actuator))
    linear, rate = schedule.ratio(sea)
    values = {"basis_pole": schedule.pole,
              "filter_weights": [[float(f"{c:.8g}") for c in row] for row in schedule.rows],
              "schedule_periods": [round(float(p), 4) for p in schedule.periods],
              "displacement_time": DISPLACEMENT_TIME,
              "stroke_time": stroke, "rate_fraction": RATE_FRACTION,
              "choke_characteristic": block_params(doc, rig)["choke_characteristic"]}
    rows = by_peak_period(plant, sea, opening, {**block_params(doc, comp), **values}, schedule,
                          sorted({*PERIODS, sea[1]}), actuator)
    best, best_rate, ratio = next(row[1:4] for row in rows if row[0] == sea[1])
    text = set_params(raw.decode(), comp, values)
    Scenario.parse(text, os.path.join(output, "scenario.toml"), os.path.dirname(path) or ".")
    os.makedirs(output, exist_ok=True)
    with open(os.path.join(output, "scenario.toml"), "w") as f:
        f.write(text)
    write_rows(os.path.join(output, "design.csv"), PERIOD_COLUMNS, rows)
    hs, tp, gamma = sea
    print(f"Well linearised with the choke at {opening:.4f}; sea Hs {hs:g} m, Tp {tp:g} s, "
          f"gamma {gamma:g}; the choke's rate clipped at {actuator.rate_limit:.4g} 1/s "
          f"(1/stroke time), rows asking at most {top:.4g} 1/s RMS")
    # The bottom pressure's std with the choke held, in the linear model [bar].
    fixed = np.sqrt(plant.terms(sea)[1]) / 1e5
    print(f"Limit, any linear causal feedforward from this measurement: "
          f"{best:.3f} of the fixed choke's std, {best * fixed:.2f} of {fixed:.2f} bar "
          f"(asking an RMS rate of {best_rate:.4f} 1/s)")
    print(f"Design ({len(schedule.rows)} rows of {order} Laguerre weights, pole "
          f"{schedule.pole:g} rad/s, by the estimated period): {ratio:.3f} of the fixed "
          f"choke's std, {ratio * fixed:.2f} bar, {ratio / best:.2f} times the limit "
          f"(asking an RMS rate of {rate:.4f} 1/s; {linear:.3f} were the choke's rate free)")
    print("Same design on other peak periods: "
          + ", ".join(f"{row[0]:g} s {row[3]:.2f}" for row in rows if row[0] != tp))
    print(f"Scenario: {os.path.join(output, 'scenario.toml')}")
    print(f"Limit and design per peak period: {os.path.join(output, 'design.csv')}")
    return 0
