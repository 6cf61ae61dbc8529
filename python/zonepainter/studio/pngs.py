"""PNG bytes for the page, made for speed rather than size.

A slider move is answered with a whole frame, and on the machine the page runs on, deflating
6 MB of 1080p samples costs several times the render itself while the bytes cross the loopback
in a moment. So frames for a local page are stored uncompressed (deflate's "stored" blocks:
a copy and a checksum); a page on another machine gets the fastest real compression.
"""

import struct
import zlib

import numpy as np

_SIGNATURE = b"\x89PNG\r\n\x1a\n"
_COLOR_TYPES = {3: 2, 4: 6}  # RGB, RGBA


def _chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(data,
                                                                                    zlib.crc32(kind)))


def encode(pixels, level=0):
    """PNG of an H x W x 3 or 4 uint8 array; level is zlib's (0 stores, 1 is the fastest)."""
    if pixels.dtype != np.uint8 or pixels.ndim != 3 or pixels.shape[2] not in _COLOR_TYPES:
        raise ValueError("encode: expected H x W x 3 or 4 uint8 samples")
    h, w, c = pixels.shape
    rows = np.empty((h, 1 + w * c), np.uint8)
    rows[:, 0] = 0  # no filter: stored blocks gain nothing from one
    rows[:, 1:] = pixels.reshape(h, w * c)
    header = struct.pack(">IIBBBBB", w, h, 8, _COLOR_TYPES[c], 0, 0, 0)
    return b"".join((_SIGNATURE, _chunk(b"IHDR", header),
                     _chunk(b"IDAT", zlib.compress(rows.data, level)), _chunk(b"IEND", b"")))
