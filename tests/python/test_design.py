"""The compensator's design: its filter is the block's state-space chain, its seas are the sea
source's, `tavrel design` reproduces the shipped parameters, and a study over the peak period
draws the std ratios beside the design's limit."""
import os
import re
import subprocess

import numpy as np
import pandas
import pytest

import tavrel
from tavrel import design

SEA = os.path.join(os.environ.get("TAVREL_EXAMPLES", "examples"), "..", "scenarios",
                   "heave_compensation_sea.toml")


def test_laguerre_functions_are_the_blocks_chain():
    # x_k' = -a x_k - 2a (x_0 + ... + x_(k-1)) + sqrt(2a) m, as sea_compensator integrates it.
    pole, order, w = 0.7, 5, np.array([0.1, 0.6, 2.5])
    a = -pole * np.eye(order) - 2 * pole * np.tril(np.ones((order, order)), -1)
    b = np.sqrt(2 * pole) * np.ones(order)
    chain = np.array([np.linalg.solve(1j * x * np.eye(order) - a, b) for x in w]).T
    np.testing.assert_allclose(design.laguerre(w, pole, order), chain, rtol=1e-12)


@pytest.mark.parametrize("table, opening, move", [
    ([0.0, 1.0, 3.0], 0.25, 0.25),  # area 0.5 on slope 2
    ([0.0, 1.0, 3.0], 0.5, 0.25),  # at the kink the slope above: area 1 on slope 4
    ([0.0, 1.0, 3.0], 0.75, 0.5),  # area 2 on slope 4
    ([0.0, 0.0, 3.0], 0.25, None),  # shut: no relative change
])
def test_opening_per_relative_area(table, opening, move):
    if move is None:
        with pytest.raises(ValueError, match="flat or shut"):
            design.opening_per_relative_area(table, opening)
    else:
        assert design.opening_per_relative_area(table, opening) == pytest.approx(move, rel=1e-12)


@pytest.mark.parametrize("limit", [0.3, 1.0, 2.5])
def test_clip_moments_match_a_clipped_gaussian(limit):
    x = np.random.default_rng(1).standard_normal(2_000_000)
    clipped = np.clip(x, -limit, limit)
    gain, power = design._clip_moments(limit)
    assert gain == pytest.approx(np.mean(x * clipped), abs=2e-3)
    assert power == pytest.approx(np.mean(clipped**2), abs=2e-3)


def test_rate_limit_far_above_the_rate_asked_changes_nothing():
    w = design.FREQUENCIES
    lag = 1 / (1 + 1j * w)
    plant = design.Plant(w, np.ones(len(w)), -0.8 * lag, 0.5 * lag, np.ones(len(w)),
                         np.zeros(len(w)), 0.5)
    sea, f = (3.0, 12.0, 3.3), np.ones(len(w))
    free = design.Actuator(10.0)  # the plant's lag of 1 s, its rate never clipped
    free.rate_limit = 1e9
    assert design.through_rate_limit(plant, sea, f, free)[0] == pytest.approx(
        plant.ratio(sea, f)[0], rel=1e-9)
    slow = design.Actuator(10.0)
    assert design.through_rate_limit(plant, sea, 0 * f, slow)[0] == pytest.approx(1.0)
    assert design.through_rate_limit(plant, sea, f, slow)[0] > plant.ratio(sea, f)[0]


@pytest.mark.parametrize("hs, tp, gamma", [(3.0, 12.0, 3.3), (1.0, 6.0, 1.0), (5.0, 24.0, 7.0)])
def test_heave_spectrum_holds_the_significant_height(hs, tp, gamma):
    w = np.linspace(0.01, 6.0, 200000)
    spectrum = design.heave_spectrum(w, hs, tp, gamma)
    assert 4 * np.sqrt(np.trapz(spectrum, w)) == pytest.approx(hs, rel=0.01)
    assert w[np.argmax(spectrum)] == pytest.approx(2 * np.pi / tp, rel=0.01)


def test_design_command_reproduces_the_shipped_filter(tmp_path):
    out = tmp_path / "design"
    done = subprocess.run([os.environ["TAVREL_CLI"], "design", SEA, "-o", str(out)],
                          capture_output=True, text=True, check=True)
    limit = float(re.search(r"Limit.*?: ([0-9.]+) of", done.stdout).group(1))
    predicted = float(re.search(r"Design .*?: ([0-9.]+) of", done.stdout).group(1))
    assert limit <= predicted < 1.0
    table = np.genfromtxt(out / "design.csv", delimiter=",", names=True)
    nominal = table[table["peak_period_s"] == 12.0]
    assert nominal["limit_1"] == pytest.approx(limit, abs=5e-4)
    assert nominal["design_1"] == pytest.approx(predicted, abs=5e-4)
    assert list(table["peak_period_s"]) == list(np.arange(6.0, 24.5, 2.0))
    designed = tavrel.Scenario.load(str(out / "scenario.toml"))
    designed = designed.get("compensator", "filter_weights")
    shipped = tavrel.Scenario.load(SEA).get("compensator", "filter_weights")
    np.testing.assert_allclose(designed, shipped, rtol=1e-5)


def test_design_refuses_a_scenario_without_the_block(tmp_path):
    out = tmp_path / "design"
    default = os.path.join(os.path.dirname(SEA), "default.toml")
    done = subprocess.run([os.environ["TAVREL_CLI"], "design", default, "-o", str(out)],
                          capture_output=True, text=True)
    assert done.returncode == 1
    assert "no block runs the plug-in sea_compensator" in done.stderr
    assert not out.exists()


def test_std_ratio_figure_takes_each_case_over_its_fixed_choke(tmp_path):
    tp = ("rig.displacer_velocity.tp", "fixed.displacer_velocity.tp")
    seed = ("rig.displacer_velocity.seed", "fixed.displacer_velocity.seed")
    metrics = ["rig.bottom_pressure:std", "fixed.bottom_pressure:std"]
    study = tavrel.Study.build({tp: {"values": [8.0, 16.0]}, seed: {"values": [1.0, 2.0, 3.0]}},
                               metrics, scenario=SEA)
    # rig / fixed: 0.5, 0.7, 0.9 at 8 s; 0.6 and 1.2 at 16 s, its third case failed.
    cases = [(8.0, 1.0, 1.5e5, 3e5), (8.0, 2.0, 2.8e5, 4e5), (8.0, 3.0, 1.8e5, 2e5),
             (16.0, 1.0, 1.8e5, 3e5), (16.0, 2.0, 2.4e5, 2e5), (16.0, 3.0, np.nan, np.nan)]
    frame = pandas.DataFrame(
        [(k, p, p, s, s, rig, fixed, "failed" if np.isnan(rig) else "ok", "")
         for k, (p, s, rig, fixed) in enumerate(cases)],
        columns=["case", *tp, *seed, "rig.bottom_pressure:std [Pa]",
                 "fixed.bottom_pressure:std [Pa]", "status", "error"])
    drawn = tavrel.study.figures(study, frame, str(tmp_path))
    assert [os.path.basename(p) for p in drawn] == ["heat_map.png", "std_ratio.png"]
    table = pandas.read_csv(tmp_path / "std_ratio.csv")
    np.testing.assert_allclose(table["rig_median [1]"], [0.7, 0.9])
    np.testing.assert_allclose(table[["rig_min [1]", "rig_max [1]"]], [[0.5, 0.9], [0.6, 1.2]])
    assert list(table["cases"]) == [3, 2]
    # No linear feedforward within the design's rate does better than the limit.
    within = table["design_rms_rate [1/s]"] <= table["limit_rms_rate [1/s]"]
    assert within.any() and (table["limit [1]"] <= table["design [1]"])[within].all()
