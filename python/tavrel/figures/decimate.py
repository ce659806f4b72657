"""Fewer points for what a screen shows: a trace of tens of thousands of rows keeps, in each of
about a thousand stretches, its lowest and its highest point, so that every peak and every
trough stays where it was while the page or the picture carries a few thousand numbers."""

import numpy

TRACE_POINTS = 2000  # points per trace at most: more than a wide screen has pixels across


def min_max_rows(values, points=TRACE_POINTS):
    """Sorted row indices of `values` keeping each stretch's minimum and maximum, the first
    and the last row: all rows when there are no more than `points`."""
    values = numpy.asarray(values, dtype=float)
    count = len(values)
    if count <= points:
        return numpy.arange(count)
    size = -(-count // max(1, (points - 2) // 2))  # rows per stretch, rounded up
    whole = -(-count // size)
    padded = numpy.full(whole * size, numpy.nan)
    padded[:count] = values
    stretches = padded.reshape(whole, size)
    base = numpy.arange(whole) * size
    # A NaN neither wins the minimum nor the maximum; a stretch of NaN keeps its first row.
    low = numpy.argmin(numpy.where(numpy.isnan(stretches), numpy.inf, stretches), axis=1)
    high = numpy.argmax(numpy.where(numpy.isnan(stretches), -numpy.inf, stretches), axis=1)
    return numpy.unique(numpy.concatenate([base + low, base + high, [0, count - 1]]))


def every_kth(count, most):
    """A slice taking every k-th of `count` items, k the least that leaves at most `most`."""
    return slice(None, None, max(1, -(-count // most)))
