#!/usr/bin/python3
"""The project's style on every source file it tracks: C++ as its .clang-format lays it out
(`check_style.py cxx CLANG_FORMAT`), Python by flake8 with the settings of .flake8
(`check_style.py python FLAKE8`). Prints each place off the style and fails on any;
`tools/format` lays the C++ files out."""
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SUFFIXES = {"cxx": (".cpp", ".h", ".c"), "python": (".py",)}


def tracked(suffixes):
    listed = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, capture_output=True, check=True)
    names = [n for n in listed.stdout.decode().split("\0") if n.endswith(suffixes)]
    return [n for n in names if (ROOT / n).exists()]


def main(kind, tool):
    files = tracked(SUFFIXES[kind])
    command = [tool, "--dry-run", "--Werror"] if kind == "cxx" else [tool]
    failed = False
    for start in range(0, len(files), 200):
        result = subprocess.run(command + files[start:start + 200], cwd=ROOT)
        failed = failed or result.returncode != 0
    print(f"{len(files)} files checked" + (": some are off the style" if failed else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
