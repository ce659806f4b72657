"""What once passed without a word: a block that contradicts the well, and an earlier run's
figures left beside new results."""
import os
import subprocess

import pytest

CLI = os.environ.get("TAVREL_CLI", "")


def tavrel(*args):
    return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, timeout=600)


def numbered_top(tmp_path, short_scenario_file):
    """The short default with its top sensor written as metres from the bottom."""
    path = tmp_path / "numbered.toml"
    path.write_text(short_scenario_file.read_text().replace('"top"]', "3000.0]"))
    return path


@pytest.mark.parametrize("scenario,setting,code,stderr", [
    (None, "rig.annulus_length=5000", 0,
     "warning: blocks.rig.params.annulus_length = 5000 (--set rig.annulus_length=5000) differs "
     "from well.annulus_length = 3000"),
    (numbered_top, "rig.annulus_length=5000", 1,
     "blocks.observer.inputs.measured_top_pressure: expects the pressure at the top, but "
     "rig.sensor_pressure[3] is 3000 m from the bottom"),
    (numbered_top, "well.annulus_length=2000", 1,
     "entry 3 (3000) lies outside [0, annulus_length = 2000] (sensor_positions from "),
    (None, "well.annulus_length=4000", 0, ""),
])
def test_a_block_against_the_well(tmp_path, short_scenario_file, scenario, setting, code, stderr):
    path = scenario(tmp_path, short_scenario_file) if scenario else short_scenario_file
    result = tavrel("run", path, "-q", "--no-figures", "-o", tmp_path / "out", "--set", setting)
    assert result.returncode == code, result.stderr
    assert stderr in result.stderr if stderr else result.stderr == ""
    if code == 0:  # the summary, read without the terminal, says it too
        assert stderr in (tmp_path / "out" / "summary.txt").read_text()


def test_a_folder_holds_one_run(tmp_path, short_scenario_file):
    out = tmp_path / "out"
    assert tavrel("run", short_scenario_file, "-q", "-o", out).returncode == 0
    (out / "notes.txt").write_text("mine")
    assert tavrel("run", short_scenario_file, "-q", "--no-figures", "-o", out).returncode == 0
    assert sorted(os.listdir(out)) == ["notes.txt", "results.csv", "results.mat",
                                       "run_files.txt", "summary.json", "summary.txt"]
    # Files no run recorded as its own are a user's or another tool's: refused, or --force.
    (out / "run_files.txt").unlink()
    (out / "report.html").write_text("another run's page")
    refused = tavrel("run", short_scenario_file, "-q", "--no-figures", "-o", out)
    assert refused.returncode == 1, refused.stderr
    assert ("holds results.csv, results.mat, summary.txt, summary.json, report.html that no"
            in refused.stderr)
    assert tavrel("run", short_scenario_file, "-q", "--no-figures", "-o", out,
                  "--force").returncode == 0
    assert not (out / "report.html").exists() and (out / "notes.txt").exists()
