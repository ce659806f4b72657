import json
import os
import signal
import subprocess
import time

import pytest

import tavrel

CLI = os.environ.get("TAVREL_CLI", "")
STUDIES = os.path.join(os.path.dirname(__file__), "..", "..", "studies")

# A quick search: a heave-period choke sinusoid on a short run of the default well.
OPTIMIZATION = """
scenario = "default"
[simulation]
duration = 6.0
[summary]
period = 3.0
periods = 1
[optimize]
minimize = "rig.bottom_pressure:swing"
method = "{method}"
seed = 5
population = 4
max_evaluations = {budget}
subject_to = ["rig.choke_opening:max <= 0.95"]
[[optimize.vary]]
key = "rig.choke_setpoint"
bounds = [0.2, 0.8]
[[optimize.vary]]
key = "rig.displacer_velocity.amplitude"
bounds = [0.1, 0.5]
start = 0.4
"""


def write(folder, method="differential-evolution", budget=16):
    path = folder / "opt.toml"
    path.write_text(OPTIMIZATION.format(method=method, budget=budget))
    return path


def cli(*args):
    return subprocess.run([CLI, "optimize", *map(str, args), "-q"], capture_output=True,
                          text=True, timeout=300)


def evaluations(folder):
    return (folder / "evaluations.csv").read_text()


def test_same_search_with_one_job_two_jobs_and_dask(tmp_path, dask_cluster):
    from distributed import Client

    opt = tavrel.Optimization.load(write(tmp_path))
    one = opt.run(jobs=1, output=tmp_path / "one", progress=False)
    opt.run(jobs=2, output=tmp_path / "two", progress=False)
    with Client(dask_cluster, timeout=60) as client:
        opt.run(client=client, output=tmp_path / "dask", progress=False)
    assert len(one.evaluations) == 16
    assert (evaluations(tmp_path / "one") == evaluations(tmp_path / "two")
            == evaluations(tmp_path / "dask"))
    assert one.objective == one.evaluations["objective"][one.evaluations["status"] == "ok"].min()
    # The best scenario reproduces the best evaluation.
    run = subprocess.run([CLI, "run", str(tmp_path / "one" / "best.toml"), "-q", "--no-figures",
                          "-o", str(tmp_path / "best")], capture_output=True, text=True, check=True)
    swing = float(run.stdout.split("swing ")[1].split(" bar")[0]) * 1e5
    assert swing == pytest.approx(one.objective, abs=0.51e1)  # summary prints 4 decimals of bar


def test_killed_search_resumes_to_the_same_end(tmp_path):
    path = write(tmp_path, method="nelder-mead", budget=30)
    assert cli(path, "-o", tmp_path / "whole", "--jobs", "1").returncode == 0
    out = tmp_path / "cut"
    process = subprocess.Popen([CLI, "optimize", str(path), "-o", str(out), "-q", "--jobs", "1"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline:
        if (out / "evaluations.csv").exists() and len(evaluations(out).splitlines()) > 8:
            break
        time.sleep(0.02)
    process.send_signal(signal.SIGKILL)
    process.wait()
    assert cli(path, "-o", out).returncode != 0  # a used folder needs --resume
    resumed = cli(path, "-o", out, "--resume", "--jobs", "1")
    assert resumed.returncode == 0, resumed.stderr
    assert evaluations(out) == evaluations(tmp_path / "whole")
    assert json.loads((out / "result.json").read_text()) == json.loads(
        (tmp_path / "whole" / "result.json").read_text())


def test_bad_file_is_named_and_nothing_written(tmp_path):
    path = tmp_path / "opt.toml"
    path.write_text(OPTIMIZATION.format(method="nelder-mead", budget=5).replace(
        "bounds = [0.2, 0.8]", "bounds = [0.2, 0.8]\nstart = 0.9"))
    result = cli(path, "-o", tmp_path / "out")
    assert result.returncode == 1
    assert result.stderr.strip().endswith("optimize.vary[0].start: must lie within the bounds")
    assert str(path) + ":" in result.stderr and len(result.stderr.strip().splitlines()) == 1
    assert not (tmp_path / "out").exists()


def test_shipped_calibration_recovers_the_well(tmp_path):
    outcome = tavrel.Optimization.load(os.path.join(STUDIES, "calibrate_well.toml")).run(
        output=tmp_path / "calibrate", progress=False)
    assert outcome.converged and len(outcome.evaluations) <= 300
    assert outcome.best["well.friction_linear"] == pytest.approx(0.13, rel=0.02)
    assert outcome.best["well.sound_speed"] == pytest.approx(1080.0, rel=0.02)
    assert (tmp_path / "calibrate" / "convergence.png").stat().st_size > 0


@pytest.mark.parametrize("objective, unit, shown", [
    (35719.889, "Pa", "0.357199 bar (35719.889 Pa)"),
    (0.01, "m3/s", "600 L/min (0.01 m3/s)"),
    (0.5, "rad", "28.6479 ° (0.5 rad)"),
    (2.5, "m/s", "2.5 m/s"),
    (2.5, "", "2.5"),
])
def test_printed_objective_is_in_display_units_with_its_si_value(objective, unit, shown):
    from tavrel.optimize import Outcome

    outcome = Outcome(None, {}, objective, True, "", unit)
    assert outcome.objective_text() == shown
