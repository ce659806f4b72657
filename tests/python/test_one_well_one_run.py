"""What once passed without a word: a block that contradicts the well."""
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
