#!/usr/bin/python3
"""The dependency rule of the tree (the layer table cmake/layers.txt) on the sources' includes.

A C++ file may include headers of its own folder group and of lower layers only. Headers are
named by their file name alone (the build puts each folder on the include path), so every
quoted include is resolved to the one file of the tree with that name. Exits 1 naming each
file and line that includes upward or sideways."""
import pathlib
import re
import sys

SOURCES = (".h", ".cpp", ".in")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def read_layers(root):
    """The table of cmake/layers.txt: (prefix, rank) pairs, the build's link check's too."""
    layers = []
    for line in (root / "cmake" / "layers.txt").read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            prefix, rank = line.split()
            layers.append((prefix, int(rank)))
    return layers


def layer_of(path, layers):
    """(group, rank) of a path: its longest matching prefix; a "*/" prefix makes each folder
    there a group of its own. None outside every prefix."""
    best = None
    for prefix, rank in layers:
        literal = prefix.removesuffix("*/")
        if not path.startswith(literal) or (best and len(literal) <= best[0]):
            continue
        if prefix.endswith("*/"):
            folder = path[len(literal):].split("/")
            if len(folder) < 2:
                continue
            group = literal + folder[0] + "/"
        else:
            group = prefix
        best = (len(literal), group, rank)
    return None if best is None else best[1:]


def main(root):
    root = pathlib.Path(root)
    layers = read_layers(root)
    files = [p for p in root.rglob("*") if p.suffix in SOURCES and p.is_file()
             and not any(part.startswith("build") or part == ".git"
                         for part in p.relative_to(root).parts)]
    by_name = {}
    for p in files:
        by_name.setdefault(p.name, []).append(p.relative_to(root).as_posix())
    faults = []
    for p in files:
        rel = p.relative_to(root).as_posix()
        own = layer_of(rel, layers)
        if own is None:
            continue  # tests, benchmarks and examples may include anything
        for number, line in enumerate(p.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            for target in by_name.get(pathlib.PurePath(match.group(1)).name, []):
                theirs = layer_of(target, layers)
                if theirs is None:
                    faults.append(f"{rel}:{number}: includes {target}, which is not product code")
                elif theirs[0] != own[0] and theirs[1] >= own[1]:
                    faults.append(f"{rel}:{number}: includes {target}, a layer at or above its own")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1
                  else pathlib.Path(__file__).resolve().parents[2]))
