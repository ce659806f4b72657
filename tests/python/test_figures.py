"""`tavrel run` and `tavrel study` draw their figures unless told not to; a machine without
matplotlib, or a drawing that fails, leaves the command's results and exit code as they are and
says so in one line."""
import os
import subprocess

import pytest

from test_study import write_study

CLI = os.environ.get("TAVREL_CLI", "")
RUN_FILES = {"results.csv", "results.mat", "summary.txt", "summary.json", "run_files.txt"}

# A matplotlib first on the path that is missing, or one that breaks while drawing.
BROKEN = {"missing": "raise ImportError('no matplotlib here')",
          "failing": "raise RuntimeError('a broken matplotlib')"}


def command(kind, tmp_path, short_scenario_file):
    if kind == "run":
        return [CLI, "run", str(short_scenario_file), "-q", "-o", str(tmp_path / "out")]
    return [CLI, "study", str(write_study(tmp_path, periods=(2.0, 3.0))), "-q", "-o",
            str(tmp_path / "out")]


@pytest.mark.parametrize("kind,extra,matplotlib,drawn,note", [
    ("run", [], None, {"results.png", "results_profile.png"}, None),
    ("run", ["--no-figures"], None, set(), None),
    ("run", [], "missing", set(),
     "tavrel run: no figures (they take /usr/bin/python3 with matplotlib"),
    ("run", [], "failing", set(),
     "tavrel run: drawing the figures failed (tavrel.figures run exited with 1); "
     "the results are complete"),
    ("study", [], "missing", set(),
     "tavrel study: no figures (they take /usr/bin/python3 with matplotlib"),
])
def test_figures_never_change_the_outcome(tmp_path, short_scenario_file, kind, extra, matplotlib,
                                          drawn, note):
    env = dict(os.environ)
    if matplotlib:
        fake = tmp_path / "fake" / "matplotlib"
        fake.mkdir(parents=True)
        (fake / "__init__.py").write_text(BROKEN[matplotlib] + "\n")
        env["PYTHONPATH"] = f"{fake.parent}{os.pathsep}{env.get('PYTHONPATH', '')}"
    result = subprocess.run(command(kind, tmp_path, short_scenario_file) + extra, env=env,
                            capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stderr
    files = set(os.listdir(tmp_path / "out"))
    if kind == "run":
        assert files == RUN_FILES | drawn
    else:
        assert "study.csv" in files and not any(f.endswith(".png") for f in files)
    lines = result.stderr.splitlines()
    if note is None:
        assert lines == []
    else:
        assert lines[-1].startswith(note), lines
        if matplotlib == "missing":
            assert len(lines) == 1, lines  # no traceback for a package that is simply not there
