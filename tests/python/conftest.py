import os
import re
import socket
import subprocess
import sys

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
        subprocess.run([cli, "run", *map(str, args), "-o", str(out), "-q", "--no-figures"],
                       check=True, capture_output=True, text=True)
        return out

    return run


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.fixture
def dask_cluster(tmp_path):
    """A scheduler and two single-threaded worker processes on 127.0.0.1, stopped afterwards."""
    pytest.importorskip("distributed")
    port = free_port()
    address = f"tcp://127.0.0.1:{port}"
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    dask = [sys.executable, "-m", "distributed.cli.dask_scheduler"]
    processes = [subprocess.Popen(dask + ["--host", "127.0.0.1", "--port", str(port),
                                          "--dashboard-address", "127.0.0.1:0"],
                                  env=env, cwd=tmp_path, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)]
    for _ in range(2):
        processes.append(subprocess.Popen(
            [sys.executable, "-m", "distributed.cli.dask_worker", address, "--host", "127.0.0.1",
             "--nthreads", "1", "--nworkers", "1", "--no-dashboard", "--local-directory",
             str(tmp_path)], env=env, cwd=tmp_path, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL))
    try:
        yield address
    finally:
        for process in reversed(processes):
            process.terminate()
        for process in processes:
            try:
                process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
