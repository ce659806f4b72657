"""`tavrel eval` and `tavrel sizes` end to end: answers on standard output, failures as one
line on standard error with a non-zero exit and nothing on standard output. Files a user names
that are not regular files or are over their bounds are refused at once."""
import json
import os
import subprocess
import sys
import tempfile

TAVREL, REQUEST = sys.argv[1], sys.argv[2]
failures = []


def run(*args, stdin=None):
    return subprocess.run([TAVREL, *args], input=stdin, capture_output=True, text=True,
                          timeout=20)


def check(condition, what):
    if not condition:
        failures.append(what)


def expect_failure(what, *args, stdin=None, mentions=""):
    result = run(*args, stdin=stdin)
    check(result.returncode != 0, f"{what}: exit code {result.returncode}")
    check(result.stdout == "", f"{what}: printed {result.stdout!r}")
    lines = result.stderr.splitlines()
    check(len(lines) == 1 and mentions in lines[0], f"{what}: stderr {result.stderr!r}")


def write(folder, name, content):
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write(content if isinstance(content, str) else json.dumps(content))
    return path


with open(REQUEST) as f:
    request = json.load(f)

result = run("eval", "--json", REQUEST)
check(result.returncode == 0, f"eval: {result.stderr}")
response = json.loads(result.stdout)
check(list(response) == ["sizes", "initial_states", "first_outputs", "initial_choke_opening",
                         "console", "outputs", "derivatives"], f"keys {list(response)}")
check(response["sizes"][0] == 302 and len(response["sizes"]) == 40, "sizes")
check(response["console"].startswith("Initial choke opening: "), "console")
check(all(isinstance(v, float) or isinstance(v, int) for v in response["derivatives"]),
      "derivatives are numbers")

# The same request through standard input answers the same, to the last digit.
again = run("eval", "--json", "-", stdin=json.dumps(request))
check(again.stdout == result.stdout, "eval from standard input differs")

with tempfile.TemporaryDirectory() as folder:
    expect_failure("unreadable JSON", "eval", "--json", write(folder, "bad.json", "{\"block\":"),
                   mentions="not valid JSON")
    expect_failure("missing file", "eval", "--json", os.path.join(folder, "none.json"),
                   mentions="cannot read")
    expect_failure("wrong input count", "eval", "--json",
                   write(folder, "inputs.json", {**request, "inputs": [0.4]}),
                   mentions="\"inputs\" has 1 values")
    expect_failure("unknown block", "eval", "--json",
                   write(folder, "block.json", {**request, "block": "tavrel_nothing"}),
                   mentions="unknown block")
    expect_failure("block error", "eval", "--json",
                   write(folder, "params.json", {**request, "params": request["params"][:5]}),
                   mentions="dialog parameters")

    sizes = run("sizes", "tavrel")
    check(sizes.returncode == 0, f"sizes: {sizes.stderr}")
    values = [float(v) for v in sizes.stdout.split()]
    check(len(values) == 40 and values[0] == 302 and values[19] == 8480229 and
          values[23] == 8192, f"sizes {values}")
    params = request["params"]
    params[19] = [9]  # num_fixed_outputs: 9 + 4 sensors
    given = run("sizes", "tavrel", "--params", write(folder, "p.json", params))
    check(given.stdout.split()[2] == "13", f"sizes with --params: {given.stdout.split()[:4]}")
    expect_failure("sizes with too few parameters", "sizes", "tavrel", "--params",
                   write(folder, "few.json", [[1], [2]]),
                   mentions="needs at least 21 dialog parameters, but 2 were given")

    with open(os.path.join(os.path.dirname(REQUEST), "default.toml")) as f:
        default = f.read()
    setpoint = 'choke_setpoint = { hold = "rig.choke_opening" }'
    fifo = os.path.join(folder, "fifo")
    os.mkfifo(fifo)
    out = os.path.join(folder, "out")
    for what, args, mentions in [
        ("a device as the scenario", ["run", "/dev/zero"], "not a regular file"),
        ("a FIFO as the scenario", ["run", fifo], "not a regular file"),
        ("a device as a table", ["run", write(folder, "table.toml", default.replace(
            setpoint, 'choke_setpoint = { table = { file = "/dev/zero" } }'))],
         "/dev/zero: the table file is not a regular file"),
        ("a scenario of one long line", ["run", write(folder, "long.toml", "#" * (1 << 21))],
         "long.toml:1: a line of the scenario file is longer than 1 MiB"),
        ("a device as a request", ["eval", "--json", "/dev/zero"], "not a regular file"),
    ]:
        extra = ["-q", "-o", out] if args[0] == "run" else []
        expect_failure(what, *args, *extra, mentions=mentions)

for failure in failures:
    print("FAILED:", failure)
sys.exit(1 if failures else 0)
