"""PNG bytes for the page, made for speed first and size second.

A frame is answered to every slider step, so encoding has to cost little beside a warm render,
yet 6 MB of 1080p samples per frame is more than a page should swallow several times a second.
A small frame (a proxy while the user drags, a small picture) for a page on this machine is
stored as it is: a copy and a checksum, well under a megabyte. Anything larger, or for a page
elsewhere, gets PNG's "Sub" filter (one NumPy subtraction, which leaves small numbers in smooth
areas) and zlib's fastest level with run-length matching only: about a third of the stored size
at 1080p. Large frames are deflated in pieces on two threads (zlib lets go of the interpreter
lock), joined as one stream the way pigz joins them: every piece but the last ends on a byte
boundary with a sync flush and no final-block mark.
"""

import concurrent.futures
import struct
import zlib

import numpy as np

_SIGNATURE = b"\x89PNG\r\n\x1a\n"
_COLOR_TYPES = {3: 2, 4: 6}  # RGB, RGBA
_SUB = 1  # PNG filter type: each byte minus the one a pixel to its left
_PIECE_BYTES = 1 << 20  # below this a frame is deflated in one go
STORE_BYTES = 1 << 20  # a local frame of at most this many samples is stored, not deflated
_PIECES = 2
_pool = concurrent.futures.ThreadPoolExecutor(max_workers=_PIECES, thread_name_prefix="png")


def _chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(data,
                                                                                    zlib.crc32(kind)))


def filtered_rows(pixels):
    """The rows as PNG stores them: a filter byte (Sub) before each row's differences."""
    h, w, c = pixels.shape
    flat = pixels.reshape(h, w * c)
    rows = np.empty((h, 1 + w * c), np.uint8)
    rows[:, 0] = _SUB
    rows[:, 1:1 + c] = flat[:, :c]
    np.subtract(flat[:, c:], flat[:, :-c], out=rows[:, 1 + c:])  # wraps modulo 256, as PNG's
    return rows


def _raw_deflate(data, level, last):
    compressor = zlib.compressobj(level, zlib.DEFLATED, -15, 8, zlib.Z_RLE)
    return compressor.compress(data) + compressor.flush(zlib.Z_FINISH if last else
                                                        zlib.Z_SYNC_FLUSH)


def deflate(data, level=1):
    """A zlib stream of `data` (bytes-like), deflated in pieces side by side when large."""
    view = memoryview(data).cast("B")
    size = len(view)
    if size < _PIECE_BYTES:
        pieces = [_raw_deflate(view, level, True)]
    else:
        step = -(-size // _PIECES)
        bounds = [(start, min(size, start + step)) for start in range(0, size, step)]
        jobs = [_pool.submit(_raw_deflate, view[a:b], level, b == size) for a, b in bounds]
        pieces = [job.result() for job in jobs]
    # zlib's header for a 32 KiB window and the fastest level; the Adler-32 of the whole.
    return b"\x78\x01" + b"".join(pieces) + struct.pack(">I", zlib.adler32(view))


def level_for(pixels, local):
    """zlib's level for a frame: 0 (stored) for a small one to this machine, else 1."""
    return 0 if local and pixels.size <= STORE_BYTES else 1


def encode(pixels, level=1):
    """PNG of an H x W x 3 or 4 uint8 array; level is zlib's (0 stores, 1 is the fastest)."""
    if pixels.dtype != np.uint8 or pixels.ndim != 3 or pixels.shape[2] not in _COLOR_TYPES:
        raise ValueError("encode: expected H x W x 3 or 4 uint8 samples")
    h, w, c = pixels.shape
    header = struct.pack(">IIBBBBB", w, h, 8, _COLOR_TYPES[c], 0, 0, 0)
    if level == 0:
        rows = np.empty((h, 1 + w * c), np.uint8)
        rows[:, 0] = 0  # no filter: stored blocks gain nothing from one
        rows[:, 1:] = pixels.reshape(h, w * c)
        idat = zlib.compress(rows.data, 0)
    else:
        idat = deflate(filtered_rows(np.ascontiguousarray(pixels)), level)
    return b"".join((_SIGNATURE, _chunk(b"IHDR", header), _chunk(b"IDAT", idat),
                     _chunk(b"IEND", b"")))
