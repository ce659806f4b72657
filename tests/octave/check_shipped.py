#!/usr/bin/python3
"""Runs check_sizes.m in octave-cli on every shipped block's Octave MEX file, with the block's
default parameters and, as the sizes Octave must report, those our own host reports for them.
Arguments: octave-cli, the folder of the MEX files, a scratch folder."""
import pathlib
import subprocess
import sys

import tavrel


def octave_value(values):
    numbers = " ".join(f"{v:.17g}" for v in values)
    return f"[{numbers}]"


def blocks_function():
    """Rows of name, default parameters, sizes vector and the number of parameters the sizes
    call reads (a block with sensors reads up to its sensor positions)."""
    rows = []
    for name in tavrel.shipped_blocks:
        described = tavrel.describe(name)
        names = [p["name"] for p in described["params"]]
        params = [p["default"] for p in described["params"]]
        params = [p if isinstance(p, list) else [p] for p in params]
        sizes = tavrel.Block(name, params).sizes_vector
        read = names.index("sensor_positions") + 1 if "sensor_output" in described else 0
        rows.append(f"    '{name}', {{{', '.join(map(octave_value, params))}}}, "
                    f"{octave_value(sizes)}', {read};")
    return "function blocks = shipped_blocks()\n  blocks = {\n" + "\n".join(rows) + "\n  };\nend\n"


def main(octave, mex_dir, scratch):
    scratch = pathlib.Path(scratch)
    scratch.mkdir(parents=True, exist_ok=True)
    (scratch / "shipped_blocks.m").write_text(blocks_function())
    here = pathlib.Path(__file__).resolve().parent
    script = (f"addpath('{here}'); addpath('{scratch}'); "
              f"check_sizes('{mex_dir}', shipped_blocks())")
    return subprocess.run([octave, "--norc", "--quiet", "--no-window-system", "--eval", script]
                          ).returncode


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
