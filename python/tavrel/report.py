"""report.html: one self-contained page of a run or a study, with plotly.js inlined, so that it
opens offline and can be handed on as one file.

    python3 -m tavrel.report run DIR [--scenario FILE]     # DIR of `tavrel run` (results.csv, ...)
    python3 -m tavrel.report study STUDY.toml DIR          # DIR of `tavrel study`

A run's page: the summary lines, the time series (zoom, hover values, traces toggled from the
legend), the space-time map of the pressure deviation along the annulus when the run recorded
the profile, the block console lines and the scenario text. The map is decimated for the page
to at most 300 times and 160 positions (every k-th row and column) and the time series to at
most 800 rows, numbers with 6 significant digits: a default run's data takes 0.7 MB of its page, the
plotly.js that Debian ships 8.7 MB. A study's page: its figures, the frequency response among them, and a table of the
cases (sortable by a click on a heading; failed cases marked, links to kept case results).
"""

import argparse
import base64
import html
import json
import math
import os
import sys

import numpy

from . import _tavrel

# Errors of the page's own scripts are shown on it (and found there by the browser test).
_ERROR_HOOK = """<div id="page-errors" style="color:#b00"></div>
<script>window.addEventListener("error", function (e) {
  document.getElementById("page-errors").textContent += "script error: " + e.message + "\\n";
});</script>"""

_STYLE = """<style>
body { font-family: sans-serif; margin: 1.5em; color: #222; }
h1 { font-size: 1.4em; } h2 { font-size: 1.15em; margin-top: 1.6em; }
pre { background: #f6f6f6; padding: 0.7em; overflow-x: auto; font-size: 0.85em; }
table { border-collapse: collapse; font-size: 0.85em; }
th, td { border: 1px solid #ccc; padding: 0.2em 0.5em; text-align: right; }
th { background: #eee; cursor: pointer; } tr.failed td { background: #fde2e2; }
img { max-width: 100%; }
</style>"""

_SORT = """<script>
function sortTable(th) {
  var table = th.closest("table"), index = Array.from(th.parentNode.children).indexOf(th);
  var rows = Array.from(table.tBodies[0].rows), up = th.dataset.up !== "1";
  rows.sort(function (a, b) {
    var x = a.cells[index].dataset.v, y = b.cells[index].dataset.v;
    var nx = parseFloat(x), ny = parseFloat(y);
    var c = (isNaN(nx) || isNaN(ny)) ? x.localeCompare(y) : nx - ny;
    return up ? c : -c;
  });
  th.dataset.up = up ? "1" : "0";
  rows.forEach(function (r) { table.tBodies[0].appendChild(r); });
}
</script>"""


def _plotly_js():
    from plotly.offline import get_plotlyjs

    return get_plotlyjs()


def _page(title, body):
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
            f"<title>{html.escape(title)}</title>{_STYLE}"
            f"<script>{_plotly_js()}</script></head><body>{_ERROR_HOOK}"
            f"<h1>{html.escape(title)}</h1>{body}{_SORT}</body></html>\n")


def _plot(div, traces, layout):
    """A plotly figure drawn into its own div when the page loads."""
    data = json.dumps(traces, allow_nan=False)
    return (f'<div id="{div}" class="plot" style="height:{layout.pop("height", 450)}px"></div>'
            f"<script>Plotly.newPlot({json.dumps(div)}, {data}, {json.dumps(layout)}, "
            "{responsive: true});</script>")


def _finite(values):
    """Numbers for the page: 6 significant digits (a plot needs no more), gaps for non-finite."""
    return [float(f"{v:.6g}") if math.isfinite(v) else None
            for v in numpy.asarray(values, dtype=float).tolist()]


def _series(result):
    """Time series, one panel per unit (bar for pressures), sharing the time axis."""
    from .plot import _display

    units = []
    for name in result.names:
        if result.units[name] not in units:
            units.append(result.units[name])
    traces, layout = [], {"height": 230 * len(units) + 60, "hovermode": "x unified",
                          "margin": {"t": 30}, "legend": {"font": {"size": 10}}}
    share = 1.0 / len(units)
    rows = slice(None, None, max(1, math.ceil(len(result.time) / 800)))
    for k, unit in enumerate(units):
        scale, shown = _display(unit)
        axis = "" if k == 0 else str(k + 1)
        for name in result.names:
            if result.units[name] == unit:
                traces.append({"x": _finite(result.time[rows]), "y": _finite(result[name][rows] * scale),
                               "name": name, "type": "scatter", "mode": "lines",
                               "xaxis": "x", "yaxis": "y" + axis})
        layout["yaxis" + axis] = {"title": {"text": shown or "-"}, "domain":
                                  [1 - (k + 1) * share + 0.03, 1 - k * share - 0.03]}
    layout["xaxis"] = {"title": {"text": "time [s]"}, "anchor": "y" + (str(len(units)) if len(units) > 1 else "")}
    return _plot("series", traces, layout)


def _wave_map(result, block):
    from .plot import wave_deviation

    positions, times, deviation = wave_deviation(result, block)
    every_row = max(1, math.ceil(len(times) / 300))
    every_column = max(1, math.ceil(len(positions) / 160))
    z = deviation[::every_row, ::every_column].T
    trace = {"type": "heatmap", "x": _finite(times[::every_row]),
             "y": _finite(positions[::every_column]), "z": [_finite(r) for r in z],
             "colorscale": "RdBu", "zmid": 0,
             "colorbar": {"title": {"text": "bar"}},
             "hovertemplate": "t %{x:.2f} s<br>%{y:.0f} m from the bottom<br>%{z:.3f} bar<extra></extra>"}
    layout = {"height": 420, "margin": {"t": 40},
              "title": {"text": f"{block}: pressure deviation from the initial profile"},
              "xaxis": {"title": {"text": "time [s]"}},
              "yaxis": {"title": {"text": "distance from the bottom [m]"}}}
    return _plot(f"wave-{block}", [trace], layout)


def _pre(text):
    return f"<pre>{html.escape(text)}</pre>"


def _write(path, text):
    return _tavrel.write_file(str(path), text)


def run_report(result, path, summary="", scenario_text="", console="", title="tavrel run"):
    """Writes the page of a run (a tavrel.Result, its profile when recorded)."""
    body = []
    if summary:
        body.append("<h2>Summary</h2>" + _pre(summary))
    body.append("<h2>Time series</h2>" + _series(result))
    if result.profile is not None:
        body.append("<h2>The waves along the annulus</h2>")
        body += [_wave_map(result, block) for block in result.profile.blocks]
    if console:
        body.append("<h2>Block console</h2>" + _pre(console))
    if scenario_text:
        body.append("<h2>Scenario</h2>" + _pre(scenario_text))
    return _write(path, _page(title, "".join(body)))


def _image(path):
    with open(path, "rb") as file:
        data = base64.b64encode(file.read()).decode("ascii")
    return f'<p><img alt="{html.escape(os.path.basename(path))}" src="data:image/png;base64,{data}"></p>'


def _case_table(frame, folder):
    head = "".join(f'<th onclick="sortTable(this)">{html.escape(c)}</th>' for c in frame.columns)
    rows = []
    for _, row in frame.iterrows():
        cells = []
        for column in frame.columns:
            value = row[column]
            text = "" if isinstance(value, float) and math.isnan(value) else str(value)
            shown = html.escape(text)
            if column == "case":
                case = os.path.join("cases", str(value))
                if os.path.isdir(os.path.join(folder, case)):
                    shown = f'<a href="{html.escape(case)}/results.csv">{shown}</a>'
            cells.append(f'<td data-v="{html.escape(text)}">{shown}</td>')
        failed = ' class="failed"' if row["status"] != "ok" else ""
        rows.append(f"<tr{failed}>{''.join(cells)}</tr>")
    return f"<table><thead><tr>{head}</tr></thead><tbody>{''.join(rows)}</tbody></table>"


def study_report(study, frame, folder, figures, path=None):
    """Writes the page of a study: its figures and its cases."""
    metric_plots = []
    ok = frame[frame["status"] == "ok"]
    if not study.random and (len(study.keys) == 1 or study.mode == "zip"):  # one axis
        key = study.keys[0]
        ordered = ok.sort_values(key)
        for metric in study.metrics:
            column = next(c for c in frame.columns if c == metric or c.startswith(metric + " ["))
            metric_plots.append(_plot(
                "metric-" + str(len(metric_plots)),
                [{"x": _finite(ordered[key]), "y": _finite(ordered[column]), "type": "scatter",
                  "mode": "lines+markers", "name": metric}],
                {"height": 300, "margin": {"t": 40}, "title": {"text": column},
                 "xaxis": {"title": {"text": key}}}))
    failed = int((frame["status"] != "ok").sum())
    body = [f"<p>{len(frame)} cases, {failed} failed; scenario {html.escape(study.scenario(0).source_name)}</p>"]
    if metric_plots:
        body.append("<h2>Metrics</h2>" + "".join(metric_plots))
    if figures:
        body.append("<h2>Figures</h2>" + "".join(_image(f) for f in figures))
    body.append("<h2>Cases</h2>" + _case_table(frame, folder))
    return _write(path or os.path.join(folder, "report.html"),
                  _page(f"tavrel study {study.name}", "".join(body)))


def _read(path):
    if not path or not os.path.exists(path):
        return ""
    with open(path, encoding="utf-8") as file:
        return file.read()


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m tavrel.report", description=__doc__.split("\n")[0])
    kinds = parser.add_subparsers(dest="kind", required=True)
    run = kinds.add_parser("run", help="the page of a run's folder")
    run.add_argument("folder")
    run.add_argument("--scenario", help="scenario file (or 'default') shown on the page")
    study = kinds.add_parser("study", help="the page of a study's folder")
    study.add_argument("study")
    study.add_argument("folder")
    args = parser.parse_args(argv)
    from . import Result, default_scenario_text
    from .study import Study, figures, read_rows

    if args.kind == "run":
        result = Result.read_csv(os.path.join(args.folder, "results.csv"))
        summary = _read(os.path.join(args.folder, "summary.txt"))
        console = "".join(line for line in summary.splitlines(True) if not line.startswith(("Summary", "  ")))
        scenario = default_scenario_text() if args.scenario in (None, "default") else _read(args.scenario)
        print(run_report(result, os.path.join(args.folder, "report.html"), summary=summary,
                         scenario_text=scenario, console=console))
    else:
        plan = Study.load(args.study)
        frame = read_rows(os.path.join(args.folder, "study.csv"))
        drawn = [os.path.join(args.folder, n) for n in sorted(os.listdir(args.folder)) if n.endswith(".png")]
        print(study_report(plan, frame, args.folder, drawn or figures(plan, frame, args.folder)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
