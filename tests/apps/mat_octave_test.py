"""results.mat of the default scenario loaded whole in Octave, as a user would: no warning, no
stray field, the column index readable beside one variable per column."""
import shutil
import subprocess
import sys
import tempfile

TAVREL = sys.argv[1]
CHECK = r"""
lastwarn("");
x = load("results.mat");
assert(lastwarn(), "");
names = cellstr(x.variables);
headers = cellstr(x.columns);
assert(sort(fieldnames(x)), sort([names; {"columns"; "variables"}]));
assert(headers{1}, "time [s]");
assert(numel(headers), numel(names));
assert(any(strcmp(headers, "rig.bottom_pressure [Pa]")));
assert(numel(x.time), numel(x.rig_bottom_pressure));
printf("ok %d columns\n", numel(names));
"""

if not shutil.which("octave-cli"):
    print("octave-cli not found: skipped")
    sys.exit(0)
with tempfile.TemporaryDirectory() as folder:
    subprocess.run([TAVREL, "run", "-q", "--no-figures", "-o", folder], check=True,
                   stdout=subprocess.DEVNULL, timeout=120)
    result = subprocess.run(["octave-cli", "--no-gui", "--norc", "--eval", CHECK], cwd=folder,
                            capture_output=True, text=True, timeout=120)
    print(result.stdout, result.stderr)
    sys.exit(0 if result.returncode == 0 and result.stdout.startswith("ok") else 1)
