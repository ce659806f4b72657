"""The display units of every figure, page and printed result: bar and litres per minute read
at a glance where Pa and m3/s do not, degrees where radians do not. Files keep SI."""

from .. import _tavrel

# SI unit of a column or metric -> (factor to the shown unit, shown unit): the engine's one
# table of display units, which its summary shows too.
DISPLAY = {si: (1 / size, shown) for si, shown, size in _tavrel.display_units()}


def display(unit):
    """(factor, shown unit) of an SI unit; an unlisted unit is shown as it is ("-" for none)."""
    return DISPLAY.get(unit, (1.0, unit or "-"))


def heading_unit(heading):
    """The unit in a heading "name [unit]", "" without one."""
    return heading[heading.rfind("[") + 1: -1] if heading.endswith("]") and "[" in heading else ""


def metric_column(columns, metric):
    """The heading among `columns` of a metric's column (its unit appended, "name [unit]")."""
    return next(c for c in columns if c == metric or c.startswith(metric + " ["))


def column_unit(frame, column):
    """A frame's column's SI unit: beside its bare name in ``frame.attrs["units"]`` (the
    package's frames), or in its heading (a frame read straight from a file)."""
    return frame.attrs.get("units", {}).get(column) or heading_unit(column)


def headed(frame, column):
    """The column as the files head it, "name [unit]"."""
    unit = column_unit(frame, column)
    return column if not unit or column.endswith("]") else f"{column} [{unit}]"


def ratio_unit(output_unit, input_unit):
    """(factor, shown unit) of a ratio output/input, each part in its display unit."""
    out_scale, out_shown = display(output_unit)
    in_scale, in_shown = display(input_unit)
    if in_shown in ("1", "-"):  # per unit of a plain number: the output's unit
        return out_scale / in_scale, out_shown
    return out_scale / in_scale, f"{out_shown}/{in_shown}"
