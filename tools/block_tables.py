#!/usr/bin/python3
"""The tables of a block README made from the block's description, never by hand.

A README marks each generated table with a line

    <!-- block-table BLOCK SECTION [from=NAME] -->

followed by the table and a closing `<!-- end block-table -->`. SECTION is params, inputs,
outputs or states; from=NAME starts the list at that entry. Without --write the tool checks
that every marked table equals the one the description gives and exits 1 naming each that
differs (the ctest block_tables runs it so); with --write it rewrites them. Needs the built
package on the path: PYTHONPATH=build/python tools/block_tables.py --write models/*/README.md"""
import argparse
import difflib
import pathlib
import re
import sys

import tavrel

MARK = re.compile(r"^<!-- block-table (\S+) (params|inputs|outputs|states)(?: from=(\S+))? -->$")
END = "<!-- end block-table -->"


def number(value):
    return f"{value:.15g}"


def cell(text):
    return str(text).replace("|", "\\|")


def row(fields):
    return "| " + " | ".join(cell(f) for f in fields) + " |"


def table(block, section, start=None):
    entries = tavrel.describe(block)[section]
    names = [e["name"] for e in entries]
    if start is not None:
        if start not in names:
            raise SystemExit(f"{block} has no {section} entry {start!r}")
        entries = entries[names.index(start):]
    if section == "params":
        lines = [row(["parameter", "unit", "default", "meaning"]), "|---|---|---|---|"]
        for e in entries:
            default = e["default"]
            default = ("[" + ", ".join(map(number, default)) + "]" if isinstance(default, list)
                       else number(default))
            meaning = e["meaning"] + ("" if e["read"] else " (not read by this block)")
            lines.append(row([f"`{e['name']}`", e["unit"], default, meaning]))
    else:
        heading = {"inputs": "input", "outputs": "output", "states": "state"}[section]
        feedthrough = section == "inputs"
        columns = [heading, "unit", "meaning"] + (["direct feed-through"] if feedthrough else [])
        lines = [row(columns), "|---" * len(columns) + "|"]
        for e in entries:
            fields = [f"`{e['name']}`", e["unit"], e["meaning"]]
            if feedthrough:
                fields.append("yes" if e["direct_feedthrough"] else "no")
            lines.append(row(fields))
    return lines


def regenerate(text, where):
    """The README with every marked table made afresh."""
    lines, out, i = text.split("\n"), [], 0
    while i < len(lines):
        out.append(lines[i])
        match = MARK.match(lines[i])
        i += 1
        if not match:
            continue
        end = next((j for j in range(i, len(lines)) if lines[j] == END), None)
        if end is None:
            raise SystemExit(f"{where}:{i}: block-table without {END}")
        out += table(*match.groups()) + [END]
        i = end + 1
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("readmes", nargs="+", type=pathlib.Path)
    parser.add_argument("--write", action="store_true", help="rewrite the tables in place")
    args = parser.parse_args()
    stale = []
    for readme in args.readmes:
        text = readme.read_text()
        fresh = regenerate(text, readme)
        if fresh == text:
            continue
        if args.write:
            readme.write_text(fresh)
        else:
            stale.append(readme)
            sys.stdout.writelines(difflib.unified_diff(
                text.splitlines(True), fresh.splitlines(True), str(readme), "from the description"))
    for readme in stale:
        print(f"{readme}: a table differs from the block's description; regenerate it with "
              f"tools/block_tables.py --write {readme}", file=sys.stderr)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
