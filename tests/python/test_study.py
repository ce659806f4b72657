import os
import signal
import subprocess
import time

import pytest

import tavrel

CLI = os.environ.get("TAVREL_CLI", "")

# Short cases of the default well: a heave-period list long enough to stop a run in between.
STUDY = """
scenario = "default"
[simulation]
duration = {duration}
[summary]
period = {{ from = "rig.displacer_velocity" }}
periods = 1
[study]
metrics = ["rig.bottom_pressure:swing", "rig.bottom_pressure:amplitude", \
"rig.bottom_pressure:phase"]
[[study.vary]]
key = "rig.displacer_velocity.period"
values = [{periods}]
"""


def write_study(folder, duration=4.0, periods=(2.0, 3.0, 4.0, 5.0)):
    path = folder / "study.toml"
    path.write_text(STUDY.format(duration=duration, periods=", ".join(map(str, periods))))
    return path


def run_cli(*args, **options):
    return subprocess.run([CLI, "study", *map(str, args), "-q", "--no-figures"],
                          capture_output=True, text=True, timeout=300, **options)


def rows(folder):
    return (folder / "study.csv").read_text().splitlines()


@pytest.mark.parametrize("stop", [signal.SIGINT, signal.SIGKILL])
def test_stopped_study_resumes_without_duplicates(tmp_path, stop):
    study = write_study(tmp_path, duration=30.0, periods=[2.0 + 0.5 * k for k in range(10)])
    complete = tmp_path / "complete"
    assert run_cli(study, "-o", complete, "--jobs", "2").returncode == 0

    out = tmp_path / "stopped"
    process = subprocess.Popen([CLI, "study", str(study), "-o", str(out), "-q", "--jobs", "1",
                                "--no-figures"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    deadline = time.monotonic() + 120
    while (time.monotonic() < deadline
           and not ((out / "study.csv").exists() and len(rows(out)) >= 3)):
        time.sleep(0.02)
    process.send_signal(stop)
    _, stderr = process.communicate(timeout=60)
    assert process.returncode == (130 if stop == signal.SIGINT else -signal.SIGKILL)
    kept = rows(out)
    assert 3 <= len(kept) < 11, "stopped in between"
    assert kept == rows(complete)[: len(kept)]  # finished rows intact, none cut

    assert run_cli(study, "-o", out, "--resume").returncode == 0
    assert rows(out) == rows(complete)
    # A folder of another study is refused, and left as it was.
    (tmp_path / "other").mkdir()
    other = write_study(tmp_path / "other", periods=(7.0,))
    refused = run_cli(other, "-o", out, "--resume")
    assert refused.returncode == 1 and "different study" in refused.stderr
    assert rows(out) == rows(complete)


def test_bad_study_file_is_named_and_nothing_written(tmp_path):
    study = tmp_path / "bad.toml"
    study.write_text(STUDY.format(duration=4.0, periods="3.0, -1.0"))
    result = run_cli(study, "-o", tmp_path / "out")
    assert result.returncode == 1
    assert "bad.toml:12: rig.displacer_velocity.period = -1:" in result.stderr
    assert "must be positive" in result.stderr
    assert not (tmp_path / "out").exists()


def test_study_built_in_code_runs_and_draws(tmp_path):
    study = tavrel.Study.build(
        vary={"rig.displacer_velocity.period": {"values": [3.0, 6.0, 12.0]}},
        metrics=["rig.bottom_pressure:amplitude", "rig.displacer_velocity:amplitude"],
        simulation={"duration": 24.0})
    frame = study.run(jobs=2, output=tmp_path / "out")
    # The file heads every quantity with its SI unit; the frame names them bare, units beside.
    assert (tmp_path / "out" / "study.csv").read_text().startswith(
        "case,rig.displacer_velocity.period [s],rig.bottom_pressure:amplitude [Pa],"
        "rig.displacer_velocity:amplitude [m/s],status,error\n")
    assert list(frame.columns) == ["case", "rig.displacer_velocity.period",
                                   "rig.bottom_pressure:amplitude",
                                   "rig.displacer_velocity:amplitude", "status", "error"]
    assert frame.attrs["units"]["rig.displacer_velocity.period"] == "s"
    assert list(frame["status"]) == ["ok"] * 3
    assert frame["rig.displacer_velocity:amplitude [m/s]"].tolist() == pytest.approx([0.785] * 3)
    names = [os.path.basename(p) for p in tavrel.study.figures(study, frame, str(tmp_path))]
    assert names == ["metrics.png", "frequency_response.png"]


def test_dask_cluster_gives_the_same_rows(tmp_path, dask_cluster):
    from distributed import Client

    path = write_study(tmp_path)
    study = tavrel.Study.load(path)
    local = study.run(jobs=1, output=tmp_path / "local")
    with Client(dask_cluster, timeout=60) as client:
        client.wait_for_workers(2, timeout=90)
        remote = study.run(client=client, output=tmp_path / "dask", progress=False)
        assert len(client.scheduler_info()["workers"]) == 2
    assert rows(tmp_path / "dask") == rows(tmp_path / "local")
    assert remote.equals(local)
    # The same from the shell.
    shell = subprocess.run([CLI, "study", str(path), "-o", str(tmp_path / "shell"),
                            "--scheduler", dask_cluster, "--no-figures"],
                           capture_output=True, text=True, timeout=180)
    assert shell.returncode == 0, shell.stderr
    assert rows(tmp_path / "shell") == rows(tmp_path / "local")
