"""The exact frequency response of the linearised continuum annulus (docs/linear_reference.md):
the lossy wave equation with the friction linearised at the operating flow, the displacer's
flow imposed at the bottom and the choke's linearised pressure-flow relation, with the
injection flow, at the top."""

import numpy as np


def bottom_pressure_response(periods, params, top_pressure, choke_flow, annulus_velocity=0.0):
    """Bottom pressure per displacer velocity [Pa per m/s], complex, at each period [s].

    `params` holds the well's dialog parameters by name (a rig block's); the operating point
    is the pressure ahead of the choke [Pa], the flow through it [m3/s] and the flow velocity
    in the annulus [m/s]."""
    s = 2j * np.pi / np.asarray(periods, dtype=float)
    first = lambda name: float(np.ravel(params[name])[0])  # noqa: E731
    L, A, rho, c = (first(n) for n in ("annulus_length", "annulus_area", "density_ref",
                                       "sound_speed"))
    F = first("friction_linear") + 2 * first("friction_quadratic") * abs(annulus_velocity)
    displaced = (first("displacer_area_outer") - first("displacer_area_inner")) / A
    # The choke's square law, p - p_d = rho_c (Q/Cv)^2, about its operating point.
    k_choke = choke_flow / (2 * (top_pressure - first("downstream_pressure")))
    gamma = np.sqrt(s * (s + F)) / c
    Y = A * gamma / (rho * (s + F))          # flow per pressure of a travelling wave
    ch, sh = np.cosh(gamma * L), np.sinh(gamma * L)
    # P = a cosh(gamma x) + b sinh(gamma x) from the bottom; the bottom velocity fixes b.
    b = rho * (s + F) * displaced / gamma
    return -b * (Y * ch + k_choke * sh) / (Y * sh + k_choke * ch)


def compare(scenarios, periods):
    """The bottom pressure per displacer velocity of each scenario's linearised model beside
    the exact one of its well: {name: (linear, exact)} at `periods`."""
    from .linear import linearize
    from ._scenarios import as_scenario

    out = {}
    for name, scenario in scenarios.items():
        scenario = as_scenario(scenario)
        model = linearize(scenario)
        y = dict(zip(model.outputs, model.y0))
        linear = model.freqresp(periods)[:, model.outputs.index("rig.bottom_pressure"),
                                         model.inputs.index("rig.displacer_velocity")]
        exact = bottom_pressure_response(periods, scenario.params("rig"),
                                         y["rig.choke_pressure"], y["rig.choke_flow"])
        out[name] = (linear, exact)
    return out


def figure(path, scenarios, periods=None):
    """Amplitude and phase of each model and of the exact reference against period."""
    from .figures import linear as figures

    periods = np.geomspace(1.5, 30, 3000) if periods is None else periods
    return figures.reference(path, periods, compare(scenarios, periods))
