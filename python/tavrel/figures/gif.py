"""Animated GIF files from frames that share most of their pixels: one palette, the 256
commonest colours of the first frame taken exactly, so that the background, the grid and the
text keep their own colours in every frame; each frame maps only the pixels it changed over
the background."""

import numpy


def _rgb(codes):
    """Red, green and blue of pixels as canvas.pixels gives them (little-endian RGBA)."""
    return numpy.stack([codes & 255, (codes >> 8) & 255, (codes >> 16) & 255], axis=-1)


class Animation:
    def __init__(self, background, first):
        """`background` and `first`: the static picture and frame one (canvas.pixels)."""
        colours, counts = numpy.unique(first, return_counts=True)
        self._palette = numpy.sort(colours[numpy.argsort(-counts, kind="stable")[:256]])
        # Every colour met so far (sorted) and its palette entry: the palette's own, then
        # the anti-aliasing shades of later frames, each mapped once to its nearest entry.
        self._known = self._palette
        self._entry = numpy.arange(len(self._palette), dtype=numpy.uint8)
        self._background = background
        self._background_index = self._index(background.ravel()).reshape(background.shape)
        self._frames = []

    def _lookup(self, codes):
        at = numpy.minimum(numpy.searchsorted(self._known, codes), len(self._known) - 1)
        return at, self._known[at] == codes

    def _index(self, codes):
        """Palette entries of colour codes: the same colour where the palette has it, else the
        nearest one."""
        at, found = self._lookup(codes)
        if not found.all():
            new = numpy.unique(codes[~found])
            distance = ((_rgb(new)[:, None, :].astype(int)
                         - _rgb(self._palette)[None, :, :].astype(int)) ** 2).sum(-1)
            known = numpy.concatenate([self._known, new])
            nearest = numpy.argmin(distance, axis=1).astype(numpy.uint8)
            entry = numpy.concatenate([self._entry, nearest])
            order = numpy.argsort(known)
            self._known, self._entry = known[order], entry[order]
            at, _ = self._lookup(codes)
        return self._entry[at]

    def add(self, codes):
        """One frame (canvas.pixels): its pixels that differ from the background are mapped."""
        changed = codes != self._background
        index = self._background_index.copy()
        index[changed] = self._index(codes[changed])
        self._frames.append(index)

    def save(self, path, fps):
        from PIL import Image

        palette = _rgb(self._palette).astype(numpy.uint8).ravel().tolist()
        pictures = []
        for index in self._frames:
            picture = Image.fromarray(index, "P")
            picture.putpalette(palette)
            pictures.append(picture)
        pictures[0].save(path, save_all=True, append_images=pictures[1:],
                         duration=int(1000 / fps), loop=0)
        return path
