"""Every plug-in exports exactly one symbol, mexFunction."""
import glob
import os
import subprocess
import sys

plugins = sorted(glob.glob(os.path.join(sys.argv[1], "*.mexa64")))
failures = []
for plugin in plugins:
    listing = subprocess.run(["nm", "-D", "--defined-only", plugin], capture_output=True,
                             text=True, check=True).stdout
    exported = sorted(line.split()[-1] for line in listing.splitlines() if line.strip())
    if exported != ["mexFunction"]:
        failures.append(f"{os.path.basename(plugin)} exports {exported}")
if not plugins:
    failures.append("no plug-ins found")
for failure in failures:
    print("FAILED:", failure)
sys.exit(1 if failures else 0)
