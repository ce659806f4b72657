"""report.html: one self-contained page of a run or a study, with plotly.js inlined, so that it
opens offline and can be handed on as one file.

A run's page: the summary lines, the time series (zoom, hover values, traces toggled from the
legend), the space-time map of the pressure deviation along the annulus when the run recorded
the profile, the block console lines and the scenario text. Each trace keeps the lowest and the
highest point of each stretch of rows, at most 2000 points; the map is at most 300 times by 160
positions (every k-th row and column); numbers have 6 significant digits. A study's page: its
figures, the frequency response among them, each with the numbers it draws when they were
written beside it (std_ratio.csv under std_ratio.png), and a table of the cases (sortable by a
click on a heading; failed cases marked, links to kept case results).
"""

import base64
import html
import json
import math
import os

import numpy

from .. import _tavrel
from .decimate import every_kth, min_max_rows
from .units import column_unit, display, headed
from .waves import wave_deviation

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

MAP_TIMES, MAP_POSITIONS = 300, 160


class Numbers:
    """Numbers for the page, already JSON: 6 significant digits (a plot needs no more), null
    for a non-finite one."""

    def __init__(self, values):
        values = numpy.asarray(values, dtype=float).ravel()
        if numpy.isfinite(values).all():
            self.text = "[" + ",".join(map("{:.6g}".format, values.tolist())) + "]"
        else:
            self.text = "[" + ",".join(f"{v:.6g}" if math.isfinite(v) else "null"
                                       for v in values.tolist()) + "]"


# What JSON inside a script element must not show: "</script>" or "<!--" would end or change the
# element, and U+2028/9 end a line in older JavaScript. In JSON these characters stand only in
# strings, where their escapes mean the same characters.
_SCRIPT_SAFE = str.maketrans({"<": "\\u003c", ">": "\\u003e", "&": "\\u0026",
                              "\u2028": "\\u2028", "\u2029": "\\u2029"})


def _text_json(value):
    return json.dumps(value, allow_nan=False).translate(_SCRIPT_SAFE)


def _json(value):
    """JSON of plain values and Numbers, safe inside a script element whatever its texts hold."""
    if isinstance(value, Numbers):
        return value.text
    if isinstance(value, dict):
        return "{" + ",".join(f"{_text_json(k)}:{_json(v)}" for k, v in value.items()) + "}"
    if isinstance(value, (list, tuple)):
        return "[" + ",".join(_json(v) for v in value) + "]"
    return _text_json(value)


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
    return (f'<div id="{html.escape(div)}" class="plot" '
            f'style="height:{layout.pop("height", 450)}px"></div>'
            f"<script>Plotly.newPlot({_text_json(div)}, {_json(traces)}, {_json(layout)}, "
            "{responsive: true});</script>")


def _panel_of(result, name):
    """A column's panel: its unit's, but the bottom pressures have one of their own, where their
    swing is not lost on the scale of the whole well."""
    unit = result.units[name]
    return ("bottom pressure", unit) if name.endswith(".bottom_pressure") else ("", unit)


def _series(result):
    """Time series, one panel per unit (bar for pressures) and one for the bottom pressures,
    sharing the time axis."""
    panels = list(dict.fromkeys(_panel_of(result, name) for name in result.names))
    traces, layout = [], {"height": 230 * len(panels) + 60, "hovermode": "x unified",
                          "margin": {"t": 30}, "legend": {"font": {"size": 10}}}
    share = 1.0 / len(panels)
    for k, (quantity, unit) in enumerate(panels):
        scale, shown = display(unit)
        axis = "" if k == 0 else str(k + 1)
        for name in result.names:
            if _panel_of(result, name) == (quantity, unit):
                values = result[name]
                rows = min_max_rows(values)
                traces.append({"x": Numbers(result.time[rows]), "y": Numbers(values[rows] * scale),
                               "name": name, "type": "scatter", "mode": "lines",
                               "xaxis": "x", "yaxis": "y" + axis})
        title = f"{quantity} [{shown}]" if quantity else shown
        layout["yaxis" + axis] = {"title": {"text": title}, "domain":
                                  [1 - (k + 1) * share + 0.03, 1 - k * share - 0.03]}
    layout["xaxis"] = {"title": {"text": "time [s]"},
                       "anchor": "y" + (str(len(panels)) if len(panels) > 1 else "")}
    return _plot("series", traces, layout)


def _wave_map(result, block):
    positions, times, deviation = wave_deviation(result, block)
    rows, columns = every_kth(len(times), MAP_TIMES), every_kth(len(positions), MAP_POSITIONS)
    z = deviation[rows, columns].T
    trace = {"type": "heatmap", "x": Numbers(times[rows]), "y": Numbers(positions[columns]),
             "z": [Numbers(r) for r in z], "colorscale": "RdBu", "zmid": 0,
             "colorbar": {"title": {"text": display("Pa")[1]}},
             "hovertemplate": "t %{x:.2f} s<br>%{y:.0f} m from the bottom<br>"
                              "%{z:.3f} " + display("Pa")[1] + "<extra></extra>"}
    layout = {"height": 420, "margin": {"t": 40},
              "title": {"text": f"{block}: pressure deviation from the initial profile"},
              "xaxis": {"title": {"text": "time [s]"}},
              "yaxis": {"title": {"text": "distance from the bottom [m]"}}}
    return _plot(f"wave-{block}", [trace], layout)


def _pre(text):
    return f"<pre>{html.escape(text)}</pre>"


def _write(path, text):
    return _tavrel.write_file(str(path), text)


def _spectrum(found):
    frequency, curves = found
    traces = [{"x": Numbers(frequency), "y": Numbers(density), "type": "scatter",
               "mode": "lines", "name": f"{rig} (std {std:.2f} bar)"}
              for rig, density, std in curves]
    layout = {"height": 380, "margin": {"t": 30},
              "xaxis": {"title": {"text": "frequency [Hz]"}, "range": [0, 0.5]},
              "yaxis": {"title": {"text": "bar²/Hz"}, "type": "log"}}
    return _plot("spectrum", traces, layout)


def run_page(result, path, summary="", scenario_text="", console="", title="tavrel run",
             files=(), spectrum=None):
    """Writes the page of a run (a tavrel.Result, its profile when recorded); `files` names the
    files of the run, listed so that the page says which files are its own; `spectrum` as
    psd.densities gives it."""
    body = []
    if summary:
        body.append("<h2>Summary</h2>" + _pre(summary))
    if files:
        body.append("<h2>Files of this run</h2>" + _pre("\n".join(files)))
    body.append("<h2>Time series</h2>" + _series(result))
    if spectrum:
        body.append("<h2>Bottom pressure spectrum</h2>" + _spectrum(spectrum))
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
    alt = html.escape(os.path.basename(path))
    return f'<p><img alt="{alt}" src="data:image/png;base64,{data}"></p>'


def _figure(path):
    """A figure, and under it the numbers it draws when they were written beside it (its name
    with .csv: std_ratio.png's std_ratio.csv)."""
    numbers = os.path.splitext(path)[0] + ".csv"
    if not os.path.isfile(numbers):
        return _image(path)
    import pandas

    table = pandas.read_csv(numbers)
    head = "".join(f"<th>{html.escape(c)}</th>" for c in table.columns)
    rows = "".join("<tr>" + "".join(f"<td>{v:.4g}</td>" for v in row) + "</tr>"
                   for row in table.itertuples(index=False))
    return (_image(path) + f"<p>{html.escape(os.path.basename(numbers))}:</p>"
            f"<table><thead><tr>{head}</tr></thead><tbody>{rows}</tbody></table>")


def _case_table(frame, folder):
    head = "".join(f'<th onclick="sortTable(this)">{html.escape(headed(frame, c))}</th>'
                   for c in frame.columns)
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


def _metric_plots(study, frame):
    """Each metric against the one varied axis (in display units), when there is one axis."""
    if study.random or not (len(study.keys) == 1 or study.mode == "zip"):
        return []
    key = study.keys[0]
    ordered = frame[frame["status"] == "ok"].sort_values(key)
    plots = []
    for metric in study.metrics:
        column = next(c for c in frame.columns if c == metric or c.startswith(metric + " ["))
        scale, shown = display(column_unit(frame, column))
        plots.append(_plot(
            "metric-" + str(len(plots)),
            [{"x": Numbers(ordered[key]), "y": Numbers(ordered[column].to_numpy(float) * scale),
              "type": "scatter", "mode": "lines+markers", "name": metric}],
            {"height": 300, "margin": {"t": 40}, "title": {"text": f"{metric} [{shown}]"},
             "xaxis": {"title": {"text": headed(frame, key)}}}))
    return plots


def study_page(study, frame, folder, figures, path=None):
    """Writes the page of a study: its figures and its cases."""
    metric_plots = _metric_plots(study, frame)
    failed = int((frame["status"] != "ok").sum())
    body = [f"<p>{len(frame)} cases, {failed} failed; scenario "
            f"{html.escape(study.scenario(0).source_name)}</p>"]
    if metric_plots:
        body.append("<h2>Metrics</h2>" + "".join(metric_plots))
    if figures:
        body.append("<h2>Figures</h2>" + "".join(_figure(f) for f in figures))
    body.append("<h2>Cases</h2>" + _case_table(frame, folder))
    return _write(path or os.path.join(folder, "report.html"),
                  _page(f"tavrel study {study.name}", "".join(body)))
