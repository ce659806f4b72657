"""How a command's Python work ends: the same for every command that hands work to Python."""

import sys

from . import _tavrel


def run_command(prog, work):
    """Runs a command's work; a tavrel error is one line on standard error (exit 1), Ctrl-C
    keeps what is done for --resume (exit 130). Returns the work's result and the exit code."""
    try:
        return work(), 0
    except _tavrel.TavrelError as error:
        print(f"{prog}: {error}", file=sys.stderr)
        return None, 1
    except KeyboardInterrupt:
        print(f"{prog}: stopped; --resume continues", file=sys.stderr)
        return None, 130
