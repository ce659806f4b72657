"""The one place matplotlib is imported: off-screen (Agg) figures and their files. Importing
this module costs nothing; matplotlib loads with the first figure, so that a Dask worker or a
page without pictures never pays for it."""

import os


def figure(width, height, **options):
    """An empty figure of `width` x `height` inches on its own Agg canvas."""
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.figure import Figure

    drawn = Figure(figsize=(width, height), **options)
    FigureCanvasAgg(drawn)
    return drawn


def save(drawn, path, dpi=120, **options):
    """Writes a figure to a file name or a binary file; the format follows the name (png,
    pdf, svg, ...) or `format`."""
    named = isinstance(path, (str, os.PathLike))
    name = options.get("format") or (os.fspath(path) if named else "")
    if name.endswith("png"):
        # The least compression: half the time of the default for a tenth more bytes.
        options.setdefault("pil_kwargs", {"compress_level": 1})
    drawn.savefig(path, dpi=dpi, **options)
    return path


def warm_up():
    """Draws a small figure to nowhere, so that the fonts, the text layout and the PNG writer
    have loaded before the first figure that counts (while the command still computes)."""
    import io

    drawn = figure(2, 2)
    axis = drawn.add_subplot(1, 1, 1)
    axis.plot([0, 1], [0, 1], label="0")
    axis.legend(loc="upper right")
    title(axis, "0")
    axis.set_ylabel("0")
    save(drawn, io.BytesIO(), dpi=20, format="png")


def title(axis, text="", **style):
    """Sets the axes' title at its place above them. Left to matplotlib, every draw measures
    the tick labels of every axes to move each title, shown or empty, clear of them."""
    return axis.set_title(text, y=1.0, **style)


def pixels(drawn, region=None):
    """The canvas as last drawn (or a region saved by copy_from_bbox of the whole figure) as
    an H x W array of its own, a pixel's red, green, blue and alpha bytes in one integer."""
    import numpy

    if region is not None:
        drawn.canvas.restore_region(region)
    return numpy.asarray(drawn.canvas.buffer_rgba()).view("<u4")[..., 0].copy()


# Fixed margins in inches, the room the labels take estimated from their characters: measuring
# every label, as a layout engine does, took longer than drawing the figure.
_FONT = 10 / 72  # the default font size [in]
EDGE, LABEL = 0.08, 1.25 * _FONT  # the figure's edge, one line of an axis label
TICKS = 0.1  # a tick and its gap to the tick label


def _ticklabel_width(axis, which):
    from matplotlib import rcParams
    from matplotlib.font_manager import FontProperties

    ticks = getattr(axis, which)
    labels = ticks.major.formatter.format_ticks(list(ticks.get_majorticklocs()))
    size = FontProperties(size=rcParams[f"{which[0]}tick.labelsize"]).get_size_in_points()
    return max(map(len, labels), default=1) * 0.62 * size / 72


def left_room(axes):
    """Inches left of the axes for their y tick labels and y label."""
    return EDGE + LABEL + TICKS + max(_ticklabel_width(axis, "yaxis") for axis in axes)


BOTTOM = EDGE + LABEL + TICKS + 1.3 * _FONT  # x tick labels and the x label below the axes
RIGHT = 0.2  # half the last x tick label
TOP = EDGE  # half the top y tick label
TITLE = 0.25  # an axes title (12 pt) above the axes
SUPTITLE = 0.3  # a figure title above all


def place(drawn, left, bottom=BOTTOM, right=RIGHT, top=TOP, gap=0.16, columns=1):
    """The figure's grid of axes placed by margins [in]; `gap` between rows and columns [in]."""
    width, height = drawn.get_size_inches()
    rows = max(1, len(drawn.axes) // columns)
    inner_height = height - top - bottom - gap * (rows - 1)
    inner_width = width - left - right - gap * (columns - 1)
    drawn.subplots_adjust(left=left / width, right=1 - right / width, bottom=bottom / height,
                          top=1 - top / height, hspace=gap * rows / max(inner_height, 1e-3),
                          wspace=gap * columns / max(inner_width, 1e-3))
