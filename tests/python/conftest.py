import os
import re
import subprocess

import pytest

import tavrel

# A short run of the default study keeps the comparisons quick; the command-line tool and the
# package both read it from the same file.
SHORT_DURATION = 6.0


@pytest.fixture
def short_scenario_file(tmp_path):
    text, count = re.subn(r"(?m)^duration\s*=.*$", f"duration = {SHORT_DURATION}",
                          tavrel.default_scenario_text())
    assert count == 1, "the default scenario has no duration line to shorten"
    path = tmp_path / "short.toml"
    path.write_text(text)
    return path


@pytest.fixture
def short_result(short_scenario_file):
    return tavrel.simulate(tavrel.Scenario.load(str(short_scenario_file)))


@pytest.fixture
def run_cli(tmp_path):
    """Runs `tavrel run` and returns its output folder."""
    cli = os.environ.get("TAVREL_CLI", "")
    if not os.path.isfile(cli):
        pytest.fail(f"command-line tool not found at TAVREL_CLI={cli!r}")

    def run(*args, folder="cli"):
        out = tmp_path / folder
        subprocess.run([cli, "run", *map(str, args), "-o", str(out), "-q"], check=True,
                       capture_output=True, text=True)
        return out

    return run
