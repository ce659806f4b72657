"""What `tavrel study` and `tavrel optimize` hand to Python: the command-line tool parses the
flags (CLI11) and runs `python3 -m tavrel.command REQUEST`, REQUEST being a JSON object of what
they asked for ({"command": "optimize", "file": ..., "output": ..., ...}). Python does only what
needs it: a study's cases on a Dask cluster, the optimisation's search (SciPy), a linear model's
modes (numpy); the pictures and pages come from tavrel.figures.
"""

import json
import os
import sys

from ._running import run_command


def study(request):
    """A study on the Dask cluster at request["scheduler"] (the command-line tool draws its
    figures after)."""
    from distributed import Client

    from .study import Study

    output = request["output"]

    def work():
        plan = Study.load(request["study"])
        with Client(request["scheduler"]) as client:
            return plan, plan.run(client=client, output=output, resume=request["resume"],
                                  progress=request["progress"])

    done, code = run_command("tavrel study", work)
    if code:
        return code
    _, frame = done
    failed = int((frame["status"] != "ok").sum())
    print(f"{len(frame)} cases, {failed} failed: {os.path.join(output, 'study.csv')}")
    return 0  # the command-line tool draws the figures


def optimize(request):
    from .optimize import run_request

    return run_request(request)


def linear(request):
    from .linear import run_request

    return run_request(request)


def design(request):
    from .design_scenario import DesignError, run_request

    try:
        return run_request(request)
    except DesignError as error:
        print(f"tavrel design: {error}", file=sys.stderr)
        return 1


_COMMANDS = {"study": study, "optimize": optimize, "linear": linear, "design": design}


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    request = json.loads(argv[0])
    return _COMMANDS[request["command"]](request)


if __name__ == "__main__":
    from tavrel.command import main as _main

    sys.exit(_main())
