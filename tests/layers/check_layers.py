#!/usr/bin/python3
"""The dependency rule of the tree: sdk <- models <- engine <- {fmi, python} <- apps.

A C++ file may include headers of its own folder group and of lower layers only. Headers are
named by their file name alone (the build puts each folder on the include path), so every
quoted include is resolved to the one file of the tree with that name. Exits 1 naming each
file and line that includes upward or sideways."""
import pathlib
import re
import sys

# (prefix, rank): a file belongs to the longest matching prefix. Groups of the same rank are
# peers and may not include one another (two blocks, the FMU runtime and the Python module).
LAYERS = [
    ("sdk/record/", 0),
    ("sdk/framework/", 1),
    ("models/annulus/", 2),
    ("models/", 3),
    ("engine/", 4),
    ("fmi/", 5),
    ("python/", 5),
    ("apps/", 6),
    ("testing/", 7),
]
SOURCES = (".h", ".cpp", ".in")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path):
    best = None
    for prefix, rank in LAYERS:
        if path.startswith(prefix) and (best is None or len(prefix) > len(best[0])):
            best = (prefix, rank)
    if best is None:
        return None
    prefix, rank = best
    # One group per folder under models/ (each block its own), else one per layer prefix.
    if prefix == "models/":
        group = "/".join(path.split("/")[:2])
    else:
        group = prefix
    return group, rank


def main(root):
    root = pathlib.Path(root)
    files = [p for p in root.rglob("*") if p.suffix in SOURCES and p.is_file()
             and not any(part.startswith("build") or part == ".git" for part in p.relative_to(root).parts)]
    by_name = {}
    for p in files:
        by_name.setdefault(p.name, []).append(p.relative_to(root).as_posix())
    faults = []
    for p in files:
        rel = p.relative_to(root).as_posix()
        own = layer_of(rel)
        if own is None:
            continue  # tests, benchmarks and examples may include anything
        for number, line in enumerate(p.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            for target in by_name.get(pathlib.PurePath(match.group(1)).name, []):
                theirs = layer_of(target)
                if theirs is None:
                    faults.append(f"{rel}:{number}: includes {target}, which is not product code")
                elif theirs[0] != own[0] and theirs[1] >= own[1]:
                    faults.append(f"{rel}:{number}: includes {target}, a layer at or above its own")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2]))
