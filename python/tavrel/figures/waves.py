"""The waves along the annulus, from a run's profile: the space-time map of the pressure
deviation (results_wave_map.png) and its animation over the run's last seconds
(results_wave.gif)."""

import numpy

from . import canvas
from .gif import Animation
from .units import display


def wave_block(result, block=None):
    if result.profile is None:
        raise ValueError("the run recorded no profile "
                         "(tavrel run --profile, simulate(profile=True))")
    return block or result.profile.blocks[0]


def wave_deviation(result, block=None):
    """Positions [m], times [s] and the pressure along the annulus less the run's initial
    profile [bar]: the hydrostatic gradient taken out, the waves remain."""
    positions, times, pressures = result.profile[wave_block(result, block)]
    return positions, times, (pressures - pressures[0]) * display("Pa")[0]


def _symmetric_limit(deviation):
    # The 99.5th percentile: an opening transient does not wash out the waves after it.
    return float(numpy.percentile(numpy.abs(deviation), 99.5)) or 1.0


def _evenly_spaced(values):
    steps = numpy.diff(values)
    return len(values) > 1 and numpy.allclose(steps, steps[0], rtol=1e-6, atol=0)


def _map_image(axis, times, positions, deviation, limit):
    """The deviation as cells centred on the logged times and grid positions. Evenly spaced
    ones (every shipped block and output interval) are one image, drawn at once; others a
    mesh of cells."""
    style = dict(cmap="RdBu_r", vmin=-limit, vmax=limit)
    if _evenly_spaced(times) and _evenly_spaced(positions):
        half_t, half_x = (times[1] - times[0]) / 2, (positions[1] - positions[0]) / 2
        return axis.imshow(deviation.T, origin="lower", aspect="auto", interpolation="nearest",
                           extent=(times[0] - half_t, times[-1] + half_t,
                                   positions[0] - half_x, positions[-1] + half_x), **style)
    return axis.pcolormesh(times, positions, deviation.T, shading="nearest", rasterized=True,
                           **style)


def wave_map_figure(result, block=None, title=None):
    """Space-time map of the pressure deviation: wave fronts run as diagonal bands, down from
    the choke and up from the displacer, at the sound speed."""
    block = wave_block(result, block)
    positions, times, deviation = wave_deviation(result, block)
    figure = canvas.figure(11, 4.8)
    axis = figure.add_subplot(1, 1, 1)
    image = _map_image(axis, times, positions, deviation, _symmetric_limit(deviation))
    for x in result.sensor_positions.get(block, []):
        axis.axhline(x, color="0.2", linestyle=":", linewidth=0.8)
        axis.annotate(f"sensor {x:g} m", (1, x), xycoords=("axes fraction", "data"),
                      xytext=(-4, 2), textcoords="offset points", ha="right", fontsize=7)
    axis.set_xlabel("time [s]")
    axis.set_ylabel("distance from the bottom [m]")
    canvas.title(axis, title or f"{block}: pressure deviation from the initial profile")
    bar = figure.colorbar(image, cax=figure.add_axes([0, 0, 1, 1]),
                          label=f"deviation [{display('Pa')[1]}]")
    _beside(figure, axis, bar.ax)
    return figure


def _beside(figure, axis, bar, bar_width=0.2, gap=0.25):
    """The map and its colour bar on its right placed by margins [in]."""
    width, height = figure.get_size_inches()
    bar_right = canvas.left_room([bar])  # its tick labels and label, on its right
    left, top = canvas.left_room([axis]), canvas.TITLE + canvas.TOP
    map_right = bar_right + bar_width + gap
    inner = height - canvas.BOTTOM - top
    axis.set_position([left / width, canvas.BOTTOM / height,
                       (width - left - map_right) / width, inner / height])
    bar.set_position([(width - bar_right - bar_width) / width, canvas.BOTTOM / height,
                      bar_width / width, inner / height])


def wave_animation(result, path, block=None, seconds=36.0, frames=120, fps=15):
    """An animated GIF of the deviation profile over the last `seconds` of the run.

    The axes, grid and labels are drawn once; each frame restores them and draws only the
    profile line and the time over them."""
    block = wave_block(result, block)
    positions, times, deviation = wave_deviation(result, block)
    rows = numpy.flatnonzero(times >= times[-1] - seconds)
    rows = rows[:: max(1, len(rows) // frames)]
    limit = float(numpy.abs(deviation[rows]).max()) or 1.0
    figure = canvas.figure(5, 6, dpi=100)
    axis = figure.add_subplot(1, 1, 1)
    (line,) = axis.plot(deviation[rows[0]], positions, linewidth=2, animated=True)
    axis.set_xlim(-1.05 * limit, 1.05 * limit)
    axis.axvline(0, color="0.5", linewidth=0.8)
    axis.set_xlabel(f"pressure deviation from the initial profile [{display('Pa')[1]}]")
    axis.set_ylabel("distance from the bottom [m]")
    axis.grid(True, alpha=0.3)
    label = canvas.title(axis, animated=True)
    canvas.place(figure, canvas.left_room([axis]), top=canvas.TITLE + canvas.TOP)
    figure.canvas.draw()
    background = figure.canvas.copy_from_bbox(figure.bbox)
    animation = None
    for row in rows:
        figure.canvas.restore_region(background)
        line.set_xdata(deviation[row])
        label.set_text(_frame_title(block, times[row]))
        axis.draw_artist(line)
        axis.draw_artist(label)
        frame = canvas.pixels(figure)
        if animation is None:
            animation = Animation(canvas.pixels(figure, background), frame)
        animation.add(frame)
    animation.save(path, fps)
    return path


def _frame_title(block, t):
    return f"{block}, t = {t:.2f} s"
