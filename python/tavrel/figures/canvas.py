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
    """Writes a figure; the format follows the file name (png, pdf, svg, ...)."""
    drawn.savefig(os.fspath(path), dpi=dpi, **options)
    return os.fspath(path)


def rgb_frame(drawn):
    """The canvas as a Pillow image (RGB), as last drawn."""
    from PIL import Image

    buffer = drawn.canvas.buffer_rgba()
    return Image.frombuffer("RGBA", (buffer.shape[1], buffer.shape[0]), buffer, "raw", "RGBA",
                            0, 1).convert("RGB")
