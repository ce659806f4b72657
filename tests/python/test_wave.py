import os
import re
import shutil
import subprocess
import tempfile

import numpy
import pytest

import tavrel

CLI = os.environ.get("TAVREL_CLI", "")
SCENARIOS = os.path.join(os.path.dirname(__file__), "..", "..", "scenarios")


def test_profile_at_the_sensors_is_the_sensor_columns(short_scenario_file):
    result = tavrel.simulate(str(short_scenario_file), profile=True)
    for block in ("rig", "observer"):
        positions, times, pressures = result.profile[block]
        assert numpy.array_equal(times, result.time)
        for i, x in enumerate(result.sensor_positions[block]):
            column = numpy.flatnonzero(positions == x)
            assert column.size == 1, f"{block}: no grid point at the sensor {x} m"
            assert numpy.array_equal(pressures[:, column[0]],
                                     result[f"{block}.sensor_pressure[{i}]"])


def _arrival(times, deviation, threshold):
    """First time the deviation falls below -threshold, interpolated between rows."""
    k = numpy.flatnonzero(deviation < -threshold)[0]
    share = (-threshold - deviation[k - 1]) / (deviation[k] - deviation[k - 1])
    return times[k - 1] + share * (times[k] - times[k - 1])


def test_the_choke_steps_front_runs_down_at_the_sound_speed():
    result = tavrel.simulate(os.path.join(SCENARIOS, "choke_step.toml"), profile=True)
    x, t, p = result.profile["rig"]
    # The well still drifts slowly from the first closing: take the drift of the last second
    # before the reopening at 60 s out, then time a 0.5 bar drop at each depth.
    before = (t >= 59) & (t <= 60)
    fit = numpy.linalg.lstsq(numpy.vstack([t[before] - 60, numpy.ones(before.sum())]).T,
                             p[before], rcond=None)[0]
    after = t > 60
    deviation = p[after] - (numpy.outer(t[after] - 60, fit[0]) + fit[1])
    depths = (x >= 500) & (x <= 2800)
    arrivals = [_arrival(t[after], deviation[:, k], 0.5e5) for k in numpy.flatnonzero(depths)]
    speed = -numpy.polyfit(arrivals, x[depths], 1)[0]
    assert speed == pytest.approx(_sound_speed(), rel=0.03)


def _sound_speed():
    scenario = tavrel.Scenario.load(os.path.join(SCENARIOS, "choke_step.toml"))
    return scenario.params("rig")["sound_speed"]


STUDY = """
scenario = "default"
[simulation]
duration = 4.0
[summary]
period = { from = "rig.displacer_velocity" }
periods = 1
[study]
metrics = ["rig.bottom_pressure:swing", "rig.bottom_pressure:amplitude"]
[[study.vary]]
key = "rig.displacer_velocity.period"
values = [2.0, 3.0]
"""


def _browse(page, folder):
    """The page's DOM after its scripts ran, and a screenshot, from headless Chromium."""
    flags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--virtual-time-budget=15000", "--window-size=1200,1600"]
    url = "file://" + os.path.abspath(page)
    profile = tempfile.mkdtemp(dir=folder)
    dom = subprocess.run(["chromium", *flags, f"--user-data-dir={profile}", "--dump-dom", url],
                         capture_output=True, text=True, timeout=120, check=True).stdout
    shot = os.path.join(folder, "shot.png")
    subprocess.run(["chromium", *flags, f"--user-data-dir={profile}", f"--screenshot={shot}", url],
                   capture_output=True, timeout=120, check=True)
    return dom, shot


@pytest.mark.skipif(not shutil.which("chromium"), reason="needs Debian's chromium")
def test_run_and_study_reports_draw_every_plot_in_a_browser(tmp_path, short_scenario_file):
    from PIL import Image

    subprocess.run([CLI, "run", str(short_scenario_file), "--report", "-q",
                    "-o", str(tmp_path / "run")],
                   check=True, capture_output=True, timeout=300)
    study = tmp_path / "study.toml"
    study.write_text(STUDY)
    subprocess.run([CLI, "study", str(study), "-q", "-o", str(tmp_path / "study")], check=True,
                   capture_output=True, timeout=300)
    for page, plots in ((tmp_path / "run" / "report.html", 3),
                        (tmp_path / "study" / "report.html", 2)):
        text = page.read_text()
        assert "<script src=" not in text and "https://" not in text.split("<body>")[1]
        dom, shot = _browse(page, tmp_path)
        assert re.search(r'<div id="page-errors"[^>]*></div>', dom), "a script failed on the page"
        divs = re.findall(r'<div id="[^"]+" class="plot[^"]*js-plotly-plot', dom)
        assert len(divs) >= plots and dom.count('class="main-svg"') >= plots
        colours = Image.open(shot).convert("L").getextrema()
        assert colours[1] - colours[0] > 100, "the screenshot is blank"
