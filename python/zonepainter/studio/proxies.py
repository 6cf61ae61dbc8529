"""Proxies: the picture reduced as a host hands a layer over while the user drags.

A host that previews at a lower resolution gives the effect the layer already reduced and says
by how much (its downsampling factors); the effect draws the full-resolution masks scaled down
and spreads the labels over the smaller frame. The studio does the host's part: each N x N block
of samples becomes its mean (rounded, for integer samples), the last row and column of blocks
repeating the picture's edge where it does not divide evenly. The result is kept per picture and
factor, so only the first frame of a drag pays for it.
"""

import numpy as np

MAX_FACTOR = 16


def reduce(pixels, factor):
    """The H x W x C samples averaged over factor x factor blocks, in their own type."""
    if factor == 1:
        return pixels
    h, w, c = pixels.shape
    rows, cols = -(-h // factor), -(-w // factor)
    padded = np.pad(pixels, ((0, rows * factor - h), (0, cols * factor - w), (0, 0)),
                    mode="edge")
    blocks = padded.reshape(rows, factor, cols, factor, c)
    if pixels.dtype == np.float32:
        return np.ascontiguousarray(blocks.mean(axis=(1, 3), dtype=np.float32))
    count = factor * factor
    total = blocks.sum(axis=(1, 3), dtype=np.uint64)
    return np.ascontiguousarray(((total + count // 2) // count).astype(pixels.dtype))


class Proxies:
    """The reduced copies of one picture, made when first asked for."""

    def __init__(self):
        self._picture = None
        self._made = {}

    def of(self, picture, factor):
        if picture is not self._picture:
            self._picture, self._made = picture, {}
        if factor not in self._made:
            self._made[factor] = reduce(picture.pixels, factor)
        return self._made[factor]
