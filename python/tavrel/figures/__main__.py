"""The pictures and pages of a command's outputs, one kind per command:

    python3 -m tavrel.figures run RESULTS.csv [--scenario FILE|default | --positions P ...]
        [-o FIG.png] [--profile FIG.png] [--times T ...] [--title TEXT] [--report] [--no-pictures]
    python3 -m tavrel.figures study STUDY.toml DIR

`run`: results.png beside the CSV and, with profile.csv beside it, the wave map and the GIF,
else with sensors the profile at six times; with --report, report.html of the folder; drawn in
two processes. `study`: the study's figures and report.html in DIR. The command-line tool
starts launched() instead, before its work, and tells it when to draw.

Exit code 77 (LACKING) when matplotlib is not there, so that the command says so in one line;
a page without plotly is skipped with one line here.
"""

import argparse
import json
import os
import select
import signal
import sys

import tavrel

from . import canvas, psd
from .report import run_page, study_page
from .series import blocks_with, profile_figure, sensor_columns, series_figure
from .study import study_figures
from .waves import wave_animation, wave_map_figure

LACKING = 77  # the code apps/cli/command_support.cpp reads as "a library is missing"


def _available(module):
    try:
        __import__(module)
        return True
    except ImportError:
        return False


def _read(path):
    if not path or not os.path.exists(path):
        return ""
    with open(path, encoding="utf-8") as file:
        return file.read()


def _result(args):
    """The run's result with its sensor positions from the scenario or the command line."""
    positions, lengths = {}, {}
    if args.scenario and not args.positions:
        scenario = (tavrel.Scenario.default() if args.scenario == "default"
                    else tavrel.Scenario.load(args.scenario))
        positions = tavrel._sensor_positions(scenario)
        lengths = tavrel._annulus_lengths(scenario)
    result = tavrel.Result.read_csv(args.results, positions, lengths)
    if args.positions:
        for rig in blocks_with(result, "choke_opening"):
            result.sensor_positions[rig] = list(args.positions)
    return result


def _summary(args):
    """summary.json beside the results, {} without one (a CSV from elsewhere)."""
    folder = os.path.dirname(os.path.abspath(args.results))
    return json.loads(_read(os.path.join(folder, "summary.json")) or "{}")


def _jobs(result, args, pictures, page):
    """The files to draw, in the order they are named: (file, draw(file)) pairs."""
    stem = os.path.splitext(args.results)[0]
    summary = _summary(args)
    jobs = []
    if pictures:
        jobs.append((args.output or stem + ".png",
                     lambda path: canvas.save(series_figure(result, title=args.title), path)))
        if psd.worth_drawing(result, summary):
            jobs.append((stem + "_psd.png", lambda path: canvas.save(
                psd.spectrum_figure(result, summary, title=args.title), path)))
        if result.profile is not None:  # the whole annulus: the waves themselves
            jobs.append((stem + "_wave_map.png",
                         lambda path: canvas.save(wave_map_figure(result, title=args.title), path)))
            jobs.append((stem + "_wave.gif", lambda path: wave_animation(result, path)))
        elif any(sensor_columns(result, b) for b in blocks_with(result, "choke_opening")):
            jobs.append((args.profile or stem + "_profile.png", lambda path: canvas.save(
                profile_figure(result, times=args.times, title=args.title), path)))
    if page:
        jobs.append((os.path.join(os.path.dirname(args.results), "report.html"),
                     lambda path: _page(result, args, summary, path, [p for p, _ in jobs])))
    return jobs


def _page(result, args, summary, path, drawn):
    scenario = (tavrel.default_scenario_text() if args.scenario in (None, "default")
                else _read(args.scenario))
    found = psd.densities(result, summary) if psd.worth_drawing(result, summary) else None
    files = list(args.files or []) + [os.path.basename(job) for job in drawn]
    run_page(result, path, summary=summary.get("text", ""), scenario_text=scenario,
             console=summary.get("console", ""), spectrum=found, files=files)


def _in_two(jobs):
    """Draws the jobs in two processes, the machine having two cores: the GIF (the longest)
    or else the first job here, the others in a forked child. A job that fails in the child
    fails the whole, its traceback on standard error."""
    alone = next((job for job in jobs if job[0].endswith(".gif")), jobs[0])
    others = [job for job in jobs if job is not alone]
    child = os.fork() if others else -1
    if child == 0:
        code = 1
        try:
            for path, draw in others:
                draw(path)
            code = 0
        finally:
            sys.stderr.flush()
            os._exit(code)
    try:
        alone[1](alone[0])
    finally:
        status = os.waitpid(child, 0)[1] if child > 0 else 0
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(1)


def run(args):
    pictures = args.pictures and _available("matplotlib")
    page = args.report and _available("plotly")
    if args.report and not page:
        print("tavrel run: no report.html (it takes the Python package plotly)", file=sys.stderr)
    if pictures or page:
        jobs = _jobs(_result(args), args, pictures, page)
        sys.stdout.flush()
        _in_two(jobs)
        print("\n".join(path for path, _ in jobs))
    return LACKING if args.pictures and not pictures else 0


def study(args):
    if not _available("matplotlib"):
        return LACKING
    # Here, not above: its TOML parser would load on every run's critical path.
    from tavrel.study import Study, read_rows

    plan = Study.load(args.study)
    frame = read_rows(os.path.join(args.folder, "study.csv"))
    drawn = study_figures(plan, frame, args.folder)
    for path in drawn:
        print(f"Figure: {path}")
    if _available("plotly"):
        print(f"Report: {study_page(plan, frame, args.folder, drawn)}")
    else:
        print("tavrel study: no report.html (it takes the Python package plotly)",
              file=sys.stderr)
    return 0


def _parser():
    parser = argparse.ArgumentParser(prog="python3 -m tavrel.figures",
                                     description=__doc__.split("\n")[0])
    kinds = parser.add_subparsers(dest="kind", required=True)
    of_run = kinds.add_parser("run", help="the figures and page of a run")
    of_run.add_argument("results", help="results CSV file of a run")
    of_run.add_argument("-o", "--output",
                        help="time-series figure (default: the CSV's name with .png)")
    of_run.add_argument("--profile",
                        help="pressure-profile figure (default: the CSV's name with _profile.png)")
    of_run.add_argument("--times", type=float, nargs="+",
                        help="times of the profile snapshots [s] (default: six across the run)")
    where = of_run.add_mutually_exclusive_group()
    where.add_argument("--scenario",
                       help="scenario file (or 'default') whose sensor positions and text to use")
    where.add_argument("--positions", type=float, nargs="+",
                       help="sensor positions [m from the bottom] of the rig block")
    of_run.add_argument("--title", help="figure title")
    of_run.add_argument("--report", action="store_true", help="also report.html beside the CSV")
    of_run.add_argument("--no-pictures", dest="pictures", action="store_false",
                        help="no PNG or GIF files (with --report: the page alone)")
    of_run.add_argument("--files", nargs="*",
                        help="the run's other files, which the page lists with its figures")
    of_study = kinds.add_parser("study", help="the figures and page of a study's folder")
    of_study.add_argument("study", help="study file (TOML)")
    of_study.add_argument("folder", help="the study's folder (study.csv)")
    return parser


def _load(args):
    """Imports what the kind draws with; while the command still computes, draws once to
    nowhere too. A library that fails here fails again when drawing, and is reported then."""
    try:
        import matplotlib.backends.backend_agg  # noqa: F401
        import matplotlib.figure  # noqa: F401
        import PIL.PngImagePlugin  # noqa: F401

        if args.kind == "run" and args.report:
            import plotly.offline  # noqa: F401
        if not select.select([sys.stdin], [], [], 0)[0]:  # no word yet: time to spare
            canvas.warm_up()
    except Exception:  # noqa: BLE001
        pass


def launched(argv):
    """What the command-line tool starts before its work: loads the libraries, then draws when
    the tool writes "go" on standard input (its results complete), or ends at the end of the
    input without drawing (the work failed)."""
    _load(_parser().parse_args(argv))
    if sys.stdin.readline().strip() != "go":
        return 0
    signal.signal(signal.SIGINT, signal.default_int_handler)
    code = main(argv)
    # Every file is closed: ending here spares the interpreter taking down its modules
    # and objects one by one, a tenth of a second after a run's figures.
    sys.stdout.flush()
    sys.stderr.flush()
    os._exit(code)


def main(argv=None):
    args = _parser().parse_args(argv)
    return run(args) if args.kind == "run" else study(args)


if __name__ == "__main__":
    sys.exit(main())
