"""The linear model against small nonlinear runs, and its files from the command line."""
import re

import numpy as np
import pytest

import tavrel


def _heave_scenario(period, amplitude=0.01, duration=None, rtol=1e-9):
    """The default well heaving `amplitude` m/s at `period` s, solved tightly."""
    text = tavrel.default_scenario_text()
    text = re.sub(r"displacer_velocity = \{ sine = \{ amplitude = [^,]+, period = [^ ]+ \} \}",
                  "displacer_velocity = "
                  f"{{ sine = {{ amplitude = {amplitude}, period = {period} }} }}",
                  text)
    text = re.sub(r"(?m)^duration\s*=.*$", f"duration = {duration or 8 * period}", text)
    text = re.sub(r"(?m)^rtol\s*=.*$", f"rtol = {rtol}", text)
    text = re.sub(r"(?m)^atol\s*=.*$", "atol = 1e-9", text)
    return tavrel.Scenario.parse(text)


def _first_harmonic(time, values, period, periods=3):
    """Complex amplitude of the first harmonic over the last `periods` periods."""
    keep = time >= time[-1] - periods * period - 1e-9
    t, v = time[keep], values[keep]
    w = 2 * np.pi / period
    basis = np.column_stack([np.ones_like(t), np.sin(w * t), np.cos(w * t)])
    _, s, c = np.linalg.lstsq(basis, v, rcond=None)[0]
    return complex(s, c)  # v ~ Re/Im of s*sin + c*cos: A e^{j phase} as s + j c


def nonlinear_response(period):
    """Bottom pressure per displacer velocity, first harmonics, of a small nonlinear run."""
    scenario = _heave_scenario(period)
    result = tavrel.simulate(scenario)
    p = _first_harmonic(result.time, result["rig.bottom_pressure"], period)
    v = _first_harmonic(result.time, result["rig.displacer_velocity"], period)
    return p / v


@pytest.fixture(scope="module")
def default_model():
    return tavrel.linearize()


@pytest.mark.parametrize("period", [4.0, 9.0, 16.0])
def test_response_matches_small_nonlinear_runs(default_model, period):
    m = default_model
    G = m.freqresp([period])[0, m.outputs.index("rig.bottom_pressure"),
                             m.inputs.index("rig.displacer_velocity")]
    measured = nonlinear_response(period)
    assert abs(abs(G) / abs(measured) - 1) < 0.10
    assert abs(np.degrees(np.angle(G / measured))) < 5.0


def test_default_bode_shows_heave_and_choke_into_the_bottom_pressure(default_model):
    from tavrel.figures.linear import bode_figure

    figure = bode_figure(default_model)
    amplitude = [axis for axis in figure.axes if axis.get_ylabel().startswith("amplitude")]
    assert [axis.get_ylabel() for axis in amplitude] == ["amplitude [bar]",
                                                         "amplitude [bar/m/s]"]
    assert [line.get_label() for axis in amplitude for line in axis.lines
            if not line.get_label().startswith("_")] == [
        "rig.bottom_pressure/rig.choke_setpoint", "rig.bottom_pressure/rig.displacer_velocity"]
    for axis in figure.axes:
        if axis.get_ylabel() == "phase [°]":  # unwrapped: no jump of a full turn
            assert np.max(np.abs(np.diff(axis.lines[0].get_ydata()))) < 90


def test_modes_and_files(default_model, tmp_path):
    modes = default_model.modes()
    rig = modes[(modes["dominant_block"] == "rig") & (modes["damping_ratio"] < 0.5)]
    for k in (1, 2, 3):
        nearest = np.min(np.abs(rig["period [s]"].to_numpy() / (6.0 / k) - 1))
        assert nearest < 5e-3, k
    path = tmp_path / "model.npz"
    default_model.save(path)
    again = tavrel.LinearModel.load(path)
    assert np.array_equal(again.A, default_model.A) and again.states == default_model.states
    assert again.to_scipy().A.shape == default_model.A.shape


def test_closed_loop_plugin_is_stable_and_follows_a_step(tmp_path):
    """The PI plug-in's loop, trimmed: stable poles, and a small step of the controller's bias
    input (its one outside input) answered like the nonlinear loop."""
    text = (_scenarios() / "closed_loop_plugin.toml").read_text()
    text = text.replace("amplitude = 0.785", "amplitude = 0.0")
    quiet = tmp_path / "quiet.toml"
    quiet.write_text(text)
    model = tavrel.linearize(str(quiet), inputs=["controller.u1"],
                             outputs=["rig.bottom_pressure"], trim=True)
    assert np.all(model.poles().real < 1e-9)
    step, horizon = 1e-3, 60.0
    times = np.linspace(0, horizon, 601)
    _, linear, _ = model.to_scipy().output(np.full_like(times, step), times)

    # The nonlinear loop still drifts towards its steady state: the step's effect is the
    # difference of two runs from the same state, one with the step and one without.
    runs = [tavrel.Simulation(str(quiet), log=False) for _ in range(2)]
    for sim in runs:
        sim.advance_to(120.0)
    runs[1].set_input("controller", "u1", runs[1].input("controller", "u1") + step)
    start = runs[0].time
    nonlinear = []
    for t in times[1:]:
        for sim in runs:
            sim.advance_to(start + t)
        nonlinear.append(runs[1].output("rig", "bottom_pressure") -
                         runs[0].output("rig", "bottom_pressure"))
    nonlinear = np.array(nonlinear)
    peak = np.max(np.abs(linear))
    assert np.max(np.abs(linear[1:] - nonlinear)) < 0.05 * peak


def _scenarios():
    import pathlib

    return pathlib.Path(__file__).resolve().parents[2] / "scenarios"


def _linearize_cli(*args):
    import os
    import subprocess

    return subprocess.run([os.environ["TAVREL_CLI"], "linearize", *args], capture_output=True,
                          text=True)


def test_command_writes_its_files_or_nothing(tmp_path):
    folder = tmp_path / "lin"
    assert _linearize_cli("-o", str(folder), "--periods", "2:30:20", "--no-figures").returncode == 0
    model = tavrel.LinearModel.load(folder / "linear.npz")
    assert model.inputs == ["rig.choke_setpoint", "rig.displacer_velocity", "rig.injection_flow"]
    assert (folder / "linear.mat").exists() and (folder / "modes.csv").exists()
    header = (folder / "frequency_response.csv").read_text().splitlines()[0].split(",")
    assert len(header) == 1 + 2 * len(model.inputs) * len(model.outputs)
    for bad, named in ((["--input", "observer.measured_top_flow"], "observer.measured_top_flow"),
                       (["--output", "rig.nope"], "rig.nope"), (["--at", "1e6"], "--at")):
        empty = tmp_path / "bad"
        result = _linearize_cli("-o", str(empty), *bad)
        assert result.returncode == 1 and named in result.stderr
        assert len(result.stderr.strip().splitlines()) == 1 and not empty.exists()


def test_first_resonance_of_the_discretised_models_is_the_exact_one():
    from tavrel import reference

    periods = np.linspace(5.0, 7.0, 2001)
    scenarios = {name: str(_scenarios() / name) for name in ("default.toml", "linear.toml")}
    for name, (linear, exact) in reference.compare(scenarios, periods).items():
        peak, exact_peak = periods[np.argmax(abs(linear))], periods[np.argmax(abs(exact))]
        assert abs(peak / exact_peak - 1) < 0.01, name
        assert abs(exact_peak / 6.0 - 1) < 0.01
