"""`tavrel run` when stopped or when its folder cannot be written: a stop signal ends the run
within a second with the signal's exit code (128 + its number), complete rows and a summary
naming the time, also while a stiff block holds the solver inside one output interval; a run
that stiff ends by itself naming the block; a folder that cannot be written gives one error
line, exit 1 and no result file."""
import os
import resource
import signal
import subprocess
import sys
import tempfile
import time

TAVREL, DEFAULT_SCENARIO = sys.argv[1], sys.argv[2]
RESULTS = ("results.csv", "results.mat", "summary.txt", "summary.json", "run_files.txt")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def one_error_line(result, what, mentions):
    lines = result.stderr.decode().splitlines()
    check(result.returncode == 1, f"{what}: exit code {result.returncode}")
    check(len(lines) == 1 and mentions in lines[0], f"{what}: stderr {lines}")


# An observer this stiff makes the explicit solver crawl inside the first output intervals.
STIFF = ["--set", "observer.displacer_velocity_gain=1e13"]


def interrupted_run(folder, scenario, sig, extra=(), written=100000):
    what = f"{sig.name} {' '.join(extra)}"
    out = os.path.join(folder, f"{sig.name}{len(extra)}")
    run = subprocess.Popen([TAVREL, "run", scenario, "-q", "-o", out, *extra],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    part = os.path.join(out, "results.csv.part")
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and (not os.path.exists(part) or
                                           os.path.getsize(part) < written):
        time.sleep(0.02)
    time.sleep(0.3)
    sent = time.monotonic()
    run.send_signal(sig)
    _, stderr = run.communicate(timeout=30)
    stopped = time.monotonic() - sent
    check(stopped < 1.0, f"{what}: stopped {stopped:.2f} s after the signal")
    check(run.returncode == 128 + sig, f"{what}: exit code {run.returncode}")
    lines = stderr.decode().splitlines()
    check(len(lines) == 1 and f"interrupted by {sig.name} at t = " in lines[0],
          f"{what}: stderr {lines}")
    check(sorted(os.listdir(out)) == sorted(RESULTS), f"{what}: files {os.listdir(out)}")
    with open(os.path.join(out, "results.csv")) as f:
        rows = f.read().split("\n")
    check(rows[-1] == "", f"{what}: the last row is not ended")
    width = rows[0].count(",") + 1
    for row in rows[1:-1]:
        values = row.split(",")
        if len(values) != width or not all(v.strip() for v in values):
            check(False, f"{what}: incomplete row {row!r}")
            break
        [float(v) for v in values]
    last_time = rows[-2].split(",")[0]
    with open(os.path.join(out, "summary.txt")) as f:
        first = f.readline()
    check(first.startswith(f"Run interrupted by {sig.name} at t = {float(last_time):.6g} s"),
          f"{what}: summary {first!r}, last row at {last_time}")
    with open(os.path.join(out, "results.mat"), "rb") as f:
        check(f.read(19) == b"MATLAB 7.3 MAT-file", f"{what}: results.mat header")


with tempfile.TemporaryDirectory() as folder:
    with open(DEFAULT_SCENARIO) as f:
        text = f.read().replace("duration = 120.0", "duration = 36000.0")
    long_scenario = os.path.join(folder, "long.toml")
    with open(long_scenario, "w") as f:
        f.write(text)
    for sig in (signal.SIGINT, signal.SIGTERM):
        interrupted_run(folder, long_scenario, sig)
    interrupted_run(folder, DEFAULT_SCENARIO, signal.SIGINT, STIFF, written=0)

    stiff = subprocess.run([TAVREL, "run", "-q", "-o", os.path.join(folder, "stiff"), *STIFF],
                           capture_output=True, timeout=120)
    one_error_line(stiff, "a stiff observer", "the stiffest part is observer.")
    check(b'solver = "bdf"' in stiff.stderr, f"a stiff observer: {stiff.stderr}")

    a_file = os.path.join(folder, "a_file")
    open(a_file, "w").close()
    for what, out in [("a file in the folder's place", a_file),
                      ("a folder below a file", os.path.join(a_file, "sub"))]:
        one_error_line(subprocess.run([TAVREL, "run", "-q", "-o", out], capture_output=True),
                       what, "Not a directory")

    # A full disk, as a file-size limit: every write past 200 kB fails.
    full = os.path.join(folder, "full")

    def limit():
        resource.setrlimit(resource.RLIMIT_FSIZE, (200000, 200000))

    result = subprocess.run([TAVREL, "run", "-q", "-o", full], capture_output=True,
                            preexec_fn=limit)
    one_error_line(result, "a full disk", "File too large")
    check(os.listdir(full) == [], f"a full disk: files {os.listdir(full)}")

for failure in failures:
    print("FAILED:", failure)
sys.exit(1 if failures else 0)
