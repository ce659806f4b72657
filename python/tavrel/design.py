"""Broadband heave feedforward for the `sea_compensator` block, designed on a well's linear model.

At the operating point the bottom pressure's deviation is e = Hv v + Hu u for the heave velocity
v and the filter's output u, a relative change of the choke's area (the block moves the opening
by A/A' per unit of it there); the block sets u = F m from a measurement m = M v + n of the
heave (a motion reference unit: M = 1; the top of the well: the upgoing wave, M carries the
travel time) with sensor noise n. Over a sea of heave-velocity spectrum S,

    var e = integral S |Hv + Hu F M|^2 + N |Hu F|^2 dw
    var rate = integral (S |M|^2 + N) |w Z F|^2 dw

(Z the opening per unit of u). F is a Laguerre filter,
F = sum_k c_k sqrt(2a)/(s + a) ((s - a)/(s + a))^k: causal by construction, a chain of
first-order states in the block, and linear in its weights c, so the design is a least-squares
problem: var e over the fixed choke's plus a penalty on the rate's variance, raised until the
RMS rate sits at a budget.

The choke's rate limit is no RMS bound: the actuator closes on its setpoint at 1/lag times the
distance, and that rate is clipped at 1/stroke time. A filter that asks more than the limit
now and then loses what it asked beyond it. The design replaces the clip by its statistical
linearisation for a Gaussian drive of RMS sigma (the random-input describing function): a gain
N = erf(L / (sigma sqrt 2)) on the rate, so a lag of lag/N, and the clip's remainder as a
disturbance of the opening's rate, uncorrelated with the drive, of variance sigma^2 (P - N^2),
P = E[clip^2] / sigma^2; N and sigma are found together. Each row's budget is the one among
a few up to the block's back-off bound whose filter does best through that clip.

One set of weights cannot be best on every sea (a filter that serves 6 s seas wastes the rate
at 12 s), so the design makes one row of weights per sea of a family (peak periods 6 to 24 s),
and the block picks and interpolates the rows by the heave's mean period, which it estimates
from the measurement itself.

The limit printed beside it is the same problem for one sea with a long FIR filter (any causal
linear feedforward from the same measurement, as closely as 50 s of taps get) through the same
clipped actuator, at its best budget: what no linear feedforward on this measurement can beat.
"""

from math import erf, exp, pi, sqrt

import numpy as np

FREQUENCIES = np.geomspace(0.02, 8.0, 1200)  # rad/s


def heave_spectrum(w, hs, tp, gamma=3.3):
    """JONSWAP heave spectrum [m2 s] as the `sea` source makes it (DNV's form, its band of 0.5
    to 5 times the peak frequency)."""
    wp = 2 * np.pi / tp
    width = np.where(w <= wp, 0.07, 0.09)
    pm = 5.0 / 16.0 * hs**2 * wp**4 * w**-5.0 * np.exp(-1.25 * (wp / w) ** 4)
    shape = np.exp(-0.5 * ((w - wp) / (width * wp)) ** 2)
    s = (1 - 0.287 * np.log(gamma)) * pm * gamma**shape
    return np.where((w >= 0.5 * wp) & (w <= 5 * wp), s, 0.0)


def velocity_spectrum(w, hs, tp, gamma=3.3):
    return w**2 * heave_spectrum(w, hs, tp, gamma)


def noise_spectrum(w, std, bandwidth):
    """One-sided density [unit^2 s] of the `noise` source: flat over 0 to `bandwidth` Hz."""
    top = 2 * np.pi * bandwidth
    return np.where(w <= top, std**2 / top, 0.0) if std > 0 else np.zeros_like(w)


def laguerre(w, pole, order):
    """Laguerre functions sqrt(2a)/(s + a) ((s - a)/(s + a))^k at s = jw: (order, len(w))."""
    s = 1j * w
    first = np.sqrt(2 * pole) / (s + pole)
    turn = (s - pole) / (s + pole)
    return np.array([first * turn**k for k in range(order)])


def fir(w, delays):
    """Delays e^{-jw d} for each d of `delays` [s]: (len(delays), len(w))."""
    return np.exp(-1j * np.outer(delays, w))


# The limit's FIR filter: 50 s of taps, 0.01 s apart over the first second, 0.05 s up to 5 s and
# 0.25 s after. The best filter has fast features early on, where a uniform 0.25 s placed the
# limit 0.015 above what finer taps reach; finer than this moves it by less than 0.002.
LIMIT_DELAYS = np.concatenate((np.arange(0.0, 1.0, 0.01), np.arange(1.0, 5.0, 0.05),
                               np.arange(5.0, 50.0, 0.25)))


def _steps(w):
    edges = np.concatenate(([w[0]], 0.5 * (w[1:] + w[:-1]), [w[-1]]))
    return np.diff(edges)


class Plant:
    """Frequency responses of the well at the operating point on the grid `w`, per unit of the
    filter's output where the choke is concerned: Hv (bottom pressure per heave velocity), Hu
    (per unit of the filter's output), Z (opening per unit of it, through the choke's lag) and M
    (measurement per heave velocity), with the measurement's noise density and `move`, the
    setpoint's move per unit of the filter's output."""

    def __init__(self, w, hv, hu, z, m, noise, move=1.0):
        self.w, self.hv, self.hu, self.z, self.m, self.noise = w, hv, hu, z, m, noise
        self.move = move
        self.dw = _steps(w)

    def terms(self, sea):
        """The least-squares rows of one sea: (error rows, rate rows, fixed variance) with
        F = basis^T c, each as (matrix over c, constant)."""
        s = velocity_spectrum(self.w, *sea)
        fixed = float(np.sum(s * np.abs(self.hv) ** 2 * self.dw))
        return s, fixed

    def variances(self, sea, f):
        """(var e, var e with the choke held, var of the opening's rate) for the filter's
        response f on the grid."""
        s, fixed = self.terms(sea)
        error = (np.sum(s * np.abs(self.hv + self.hu * f * self.m) ** 2 * self.dw)
                 + np.sum(self.noise * np.abs(self.hu * f) ** 2 * self.dw))
        rate = np.sum((s * np.abs(self.m) ** 2 + self.noise) * np.abs(self.w * self.z * f) ** 2
                      * self.dw)
        return float(error), fixed, float(rate)

    def ratio(self, sea, f):
        """The design's std of the bottom pressure over the fixed choke's, and its RMS rate."""
        error, fixed, rate = self.variances(sea, f)
        return np.sqrt(error / fixed), np.sqrt(rate)


class Actuator:
    """The choke's actuator as the rig has it: towards its setpoint with a lag of `lag` s, its
    rate clipped at `rate_limit`."""

    def __init__(self, stroke_time):
        self.lag, self.rate_limit = 0.1 * stroke_time, 1.0 / stroke_time


def _clip_moments(a):
    """For a unit Gaussian x clipped at +-a: (E[x clip(x)], E[clip(x)^2])."""
    gain = erf(a / sqrt(2))
    return gain, gain - 2 * a * exp(-a * a / 2) / sqrt(2 * pi) + a * a * (1 - gain)


def through_rate_limit(plant, sea, f, actuator):
    """The std ratio of the filter's response f on `sea` with the actuator's rate clipped, by
    the clip's statistical linearisation (module docstring), and the rate's gain N."""
    w, lag = plant.w, actuator.lag
    seen = (velocity_spectrum(w, *sea) * np.abs(plant.m) ** 2 + plant.noise) * plant.dw
    gain, sigma, power, slower = 1.0, 0.0, 1.0, np.ones(len(w))
    for _ in range(60):
        # The model's Hu and Z carry the lag; the clip's gain stretches it to lag/N.
        slower = (1 + 1j * w * lag) / (1 + 1j * w * lag / gain)
        drive = (plant.move - plant.z * slower) * f / lag
        sigma = float(np.sqrt(np.sum(seen * np.abs(drive) ** 2)))
        if sigma <= 0:
            break
        new, power = _clip_moments(actuator.rate_limit / sigma)
        if abs(new - gain) < 1e-9:
            break
        gain = 0.5 * (gain + new)
    s, fixed = plant.terms(sea)
    hu = plant.hu * slower
    error = (np.sum(s * plant.dw * np.abs(plant.hv + hu * f * plant.m) ** 2)
             + np.sum(plant.noise * plant.dw * np.abs(hu * f) ** 2))
    if sigma > 0:
        # The clip's remainder, shaped as the drive, reaches the opening through the lag.
        shape = seen * np.abs(drive) ** 2 / sigma**2
        per_opening = plant.hu / plant.z / (1j * w + gain / lag)
        error += sigma**2 * (power - gain**2) * np.sum(shape * np.abs(per_opening) ** 2)
    return float(np.sqrt(error / fixed)), gain


# The RMS rates a design tries, as fractions of the actuator's rate limit.
BUDGETS = np.arange(0.3, 1.55, 0.1)


def best_through_rate_limit(plant, basis, sea, actuator, top):
    """The weights that do best on `sea` through the clipped actuator among the rate-bounded
    designs of BUDGETS up to `top` (1/s), or at `top` below them all: (weights, their std ratio
    through the clip)."""
    quadratic = _quadratic(plant, basis, [sea])
    budgets = [b for b in BUDGETS * actuator.rate_limit if b <= top * (1 + 1e-9)] or [top]
    best = None
    for budget in budgets:
        c = rate_bounded(plant, basis, quadratic, sea, budget)
        ratio = through_rate_limit(plant, sea, c @ basis, actuator)[0]
        if best is None or ratio < best[1]:
            best = (c, ratio)
    return best


def _quadratic(plant, basis, seas):
    """The cost as quadratic forms in the real weights c: sum over `seas` of var e / var fixed
    is c' Qe c + 2 c' qe + const, and the sum of the opening's rate variances c' Qr c."""
    n = basis.shape[0]
    qe_matrix, qe_vector, qr_matrix = np.zeros((n, n)), np.zeros(n), np.zeros((n, n))
    for sea in seas:
        s, fixed = plant.terms(sea)
        g = plant.hu * plant.m * basis  # the error per weight
        h = plant.hu * basis  # the noise's error per weight
        r = plant.w * plant.z * basis  # the opening's rate per weight
        weight = s * plant.dw / fixed
        qe_matrix += ((g * weight) @ g.conj().T).real
        qe_matrix += ((h * (plant.noise * plant.dw / fixed)) @ h.conj().T).real
        qe_vector += ((g * weight) @ plant.hv.conj()).real
        qr_matrix += ((r * ((s * np.abs(plant.m) ** 2 + plant.noise) * plant.dw)) @ r.conj().T).real
    return qe_matrix, qe_vector, qr_matrix


def _solve(quadratic, rho, ridge=1e-9):
    qe_matrix, qe_vector, qr_matrix = quadratic
    matrix = qe_matrix + rho * qr_matrix
    matrix = matrix + ridge * np.trace(matrix) / len(matrix) * np.eye(len(matrix))
    return -np.linalg.solve(matrix, qe_vector)


def opening_per_relative_area(table, opening):
    """The opening's move per relative change of a choke's area at `opening`: area / slope of
    the characteristic (entries at the openings 0, 1/(n-1), .. 1, linear between), the slope of
    the segment above `opening` (the one a small opening move up goes through)."""
    table = np.asarray(table, dtype=float)
    n = len(table) - 1
    k = min(int(opening * n), n - 1)
    slope = (table[k + 1] - table[k]) * n
    area = table[k] + (opening * n - k) * (table[k + 1] - table[k])
    if slope <= 0 or area <= 0:
        raise ValueError(f"the choke's characteristic is flat or shut at the opening {opening:g}")
    return float(area / slope)


# The peak periods a schedule is designed at: the seas of 6 to 24 s, every 2 s.
SCHEDULE = np.arange(6.0, 25.0, 2.0)


def estimated_period(plant, sea, displacement_time):
    """The heave's mean period the block estimates on `sea`: 2 pi sqrt(E[d^2] / E[m^2]) for the
    measurement m (heave through M, plus noise) and d its leaky integral, m/(s + 1/T_d)."""
    power = velocity_spectrum(plant.w, *sea) * np.abs(plant.m) ** 2 + plant.noise
    displacement = power / (plant.w**2 + displacement_time**-2)
    return float(2 * np.pi * np.sqrt(np.sum(displacement * plant.dw) / np.sum(power * plant.dw)))


def rate_bounded(plant, basis, quadratic, sea, budget):
    """The weights whose RMS opening rate on `sea` is `budget` (1/s), by bisection on the rate
    penalty in its logarithm; the unpenalised ones when they stay within."""
    lo, hi = np.log(1e-3), np.log(1e10)
    c = _solve(quadratic, np.exp(lo))
    if plant.ratio(sea, c @ basis)[1] <= budget:
        return c
    for _ in range(50):
        mid = 0.5 * (lo + hi)
        if plant.ratio(sea, _solve(quadratic, np.exp(mid)) @ basis)[1] > budget:
            lo = mid
        else:
            hi = mid
    return _solve(quadratic, np.exp(hi))


class Schedule:
    """Rows of Laguerre weights (pole `pole`) for a family of seas and the block's period
    estimate on each of those seas, by which the block picks and interpolates them."""

    def __init__(self, plant, pole, rows, periods, displacement_time):
        self.plant, self.pole, self.displacement_time = plant, pole, displacement_time
        self.rows, self.periods = np.atleast_2d(rows), np.asarray(periods, dtype=float)
        self.basis = laguerre(plant.w, pole, self.rows.shape[1])

    @classmethod
    def of_block(cls, plant, params):
        """The schedule a sea_compensator's parameters hold."""
        periods = np.atleast_1d(params["schedule_periods"])
        rows = np.reshape(params["filter_weights"], (len(periods), -1))
        return cls(plant, params["basis_pole"], rows, periods, params["displacement_time"])

    def weights(self, sea):
        """The weights the block uses on `sea`: the rows around its estimated period,
        interpolated, the nearer row beyond the ends."""
        period = estimated_period(self.plant, sea, self.displacement_time)
        return np.array([np.interp(period, self.periods, column) for column in self.rows.T])

    def response(self, sea):
        """The filter's frequency response on the plant's grid on `sea`."""
        return self.weights(sea) @ self.basis

    def ratio(self, sea):
        """The linear prediction on `sea`: std over the fixed choke's, and the RMS rate."""
        return self.plant.ratio(sea, self.response(sea))

    def through_rate_limit(self, sea, actuator, scale=1.0):
        """The prediction on `sea` through the clipped actuator, the feedforward times `scale`."""
        return through_rate_limit(self.plant, sea, scale * self.response(sea), actuator)[0]


def design_schedule(plant, sea, actuator, top, pole, order, displacement_time,
                    periods=SCHEDULE):
    """One row of weights for each sea of a family (peak periods `periods` at the nominal sea's
    height and peak enhancement), each the best for its own sea through the clipped actuator
    with the opening's RMS rate there within `top` (1/s)."""
    hs, _, gamma = sea
    basis = laguerre(plant.w, pole, order)
    rows = []
    for p in periods:
        one = (hs, float(p), gamma)
        rows.append(best_through_rate_limit(plant, basis, one, actuator, top)[0])
    estimates = [estimated_period(plant, (hs, float(p), gamma), displacement_time)
                 for p in periods]
    return Schedule(plant, pole, rows, estimates, displacement_time)


def laguerre_response(w, pole, weights):
    return np.asarray(weights) @ laguerre(w, pole, len(weights))


def limit(plant, sea, actuator, delays=LIMIT_DELAYS):
    """The best std ratio any causal linear feedforward from the measurement reaches on `sea`
    through the clipped actuator, and the RMS rate it asks: a long FIR design (its taps at
    `delays`) at its best budget."""
    basis = fir(plant.w, delays)
    c, ratio = best_through_rate_limit(plant, basis, sea, actuator, np.inf)
    return ratio, plant.ratio(sea, c @ basis)[1]


def back_off(plant, sea, f, rate_limit, swing_limit):
    """The factor the sea_compensator's back-off puts on the feedforward f on `sea`, from the
    linear model's RMS rate and RMS swing of the opening it asks: 1 within `rate_limit` (1/s)
    and `swing_limit`, else the factor that brings the larger of them to its limit."""
    s = velocity_spectrum(plant.w, *sea)
    seen = (s * np.abs(plant.m) ** 2 + plant.noise) * plant.dw
    rate = np.sqrt(np.sum(seen * np.abs(plant.w * plant.z * f) ** 2))
    swing = np.sqrt(np.sum(seen * np.abs(plant.move * f) ** 2))
    return float(min(1.0, rate_limit / max(rate, 1e-300), swing_limit / max(swing, 1e-300)))


def toml_value(value):
    """A value of a parsed scenario written back as TOML (numbers exactly)."""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (int, float)):
        return repr(value) if isinstance(value, int) else repr(float(value))
    if isinstance(value, str):
        return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
    if isinstance(value, dict):
        return "{ " + ", ".join(f"{k} = {toml_value(v)}" for k, v in value.items()) + " }"
    return "[" + ", ".join(toml_value(v) for v in value) + "]"


def _table(name, entries):
    return [f"[{name}]"] + [f"{k} = {toml_value(v)}" for k, v in entries.items()] + [""]


def plant_text(doc, rig, opening, extra_blocks=()):
    """Scenario text of the well alone: block `rig` of the parsed scenario `doc` (and the blocks
    in `extra_blocks`, such as an observer) with its heave at rest and its choke setpoint the
    constant `opening`, for the linear model at a steady state."""
    from ._tavrel import describe

    names = (rig, *extra_blocks)
    declared = {p["name"] for n in names for p in describe(doc["blocks"][n]["plugin"])["params"]}
    lines = _table("well", {k: v for k, v in doc.get("well", {}).items() if k in declared})
    for name in names:
        block = doc["blocks"][name]
        inputs = dict(block.get("inputs", {}))
        if name == rig:
            inputs["choke_setpoint"] = opening
            inputs["displacer_velocity"] = 0.0
        lines += _table(f"blocks.{name}", {"plugin": block["plugin"]})
        lines += _table(f"blocks.{name}.params", block.get("params", {}))
        lines += _table(f"blocks.{name}.inputs", inputs)
    return "\n".join(lines)
