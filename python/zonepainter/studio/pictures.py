"""Pictures in and out of the studio, through OpenImageIO's Python binding.

Files are read as the command line reads them (alpha left as stored; 8-bit files as uint8,
16-bit files as uint16, anything else as float32; grey made RGB), so the same file gives the
module the same samples it gives the tool, and a scene saved here renders to the same pixels
there. Size limits are checked on the header, before any pixel memory is taken.
"""

import os
import threading
from dataclasses import dataclass

import numpy as np
import OpenImageIO as oiio

# The command line's limit on a side; the studio adds one on the pixel count (--max-pixels).
MAX_SIDE = 30000

DTYPES = {8: np.uint8, 16: np.uint16, 32: np.float32}
FULL = {np.uint8: 255, np.uint16: 65535}


class PictureError(Exception):
    """A picture that can't be read or written; the message is shown in the page."""


@dataclass
class Picture:
    pixels: np.ndarray  # H x W x 3 or 4, uint8 / uint16 / float32
    name: str  # what the page shows: a file name
    bits: int  # 8, 16 or 32: the sample type of the file
    source: str = None  # the real path of the file it was read from; None for an upload

    @property
    def width(self):
        return self.pixels.shape[1]

    @property
    def height(self):
        return self.pixels.shape[0]

    @property
    def has_alpha(self):
        return self.pixels.shape[2] == 4

    def describe(self):
        return {"name": self.name, "width": self.width, "height": self.height,
                "bits": self.bits, "alpha": self.has_alpha}


# OpenImageIO 2.4 decodes ICC profiles (PNG, JPEG, TIFF ... while a file is opened, ICO while
# its pixels are read) through tables it grows as it meets new tags; two threads at them at once
# corrupt them. The binding holds the GIL while it opens a file, but not while it reads pixels,
# and the studio reads uploads on a pool of threads: files are opened, and ICO pixels read, under
# this lock, which leaves nothing to the binding's habits.
#
# NumPy is imported above before OpenImageIO on purpose: otherwise the binding imports it on its
# first read_image, and two threads making that first read at once deadlock (one holds the
# binding's one-time set-up and waits for the GIL, the other holds the GIL and waits for it).
_PROFILE_DECODING = threading.Lock()


def _one_line(message):
    return " ".join(message.split()) or "unknown error"


def read_picture(path, name=None, max_pixels=None):
    """Reads a file into a Picture; PictureError says why one is refused."""
    shown = name or os.path.basename(path)
    config = oiio.ImageSpec()
    config.attribute("oiio:UnassociatedAlpha", 1)
    with _PROFILE_DECODING:
        inp = oiio.ImageInput.open(path, config)
    if not inp:
        raise PictureError(f"cannot read {shown}: {_one_line(oiio.geterror())}")
    try:
        spec = inp.spec()
        w, h, channels = spec.width, spec.height, spec.nchannels
        if w > MAX_SIDE or h > MAX_SIDE:
            raise PictureError(f"{shown} is {w}x{h} pixels; at most {MAX_SIDE} pixels on a "
                               "side are supported")
        if w < 1 or h < 1 or spec.depth > 1:
            raise PictureError(f"{shown} holds no two-dimensional image")
        if max_pixels is not None and w * h > max_pixels:
            raise PictureError(f"{shown} is {w}x{h} = {w * h} pixels; the studio takes at most "
                               f"{max_pixels}")
        if (spec.x, spec.y, w, h) != (spec.full_x, spec.full_y, spec.full_width,
                                      spec.full_height):
            raise PictureError(f"{shown}: the pixel data does not match the image size; crop "
                               "it to its display window")
        if not 1 <= channels <= 4:
            raise PictureError(f"{shown} has {channels} channels; 1 to 4 (grey, grey + alpha, "
                               "RGB, RGBA) are supported")
        bits = {"uint8": 8, "uint16": 16}.get(str(spec.format), 32)
        kind = {8: "uint8", 16: "uint16", 32: "float"}[bits]
        if inp.format_name() == "ico":
            with _PROFILE_DECODING:
                pixels = inp.read_image(0, 0, 0, channels, kind)
        else:
            pixels = inp.read_image(0, 0, 0, channels, kind)
        if pixels is None or not hasattr(pixels, "shape"):
            raise PictureError(f"cannot read {shown}: {_one_line(inp.geterror())}")
    finally:
        inp.close()
    pixels = np.asarray(pixels, dtype=DTYPES[bits]).reshape(h, w, channels)
    if channels <= 2:
        grey = pixels[:, :, :1]
        pixels = np.concatenate([grey, grey, grey, pixels[:, :, 1:]], axis=2)
    return Picture(np.ascontiguousarray(pixels), shown, bits, os.path.realpath(path))


def at_depth(pixels, bits):
    """The samples as the given sample type, converted as the command line's --depth converts.

    uint8 v becomes v * 257 in uint16 (the module maps that to the host value nearest
    v * 32768 / 255, as the tool does) and v / 255 in float32.
    """
    target = DTYPES[bits]
    if pixels.dtype == target:
        return pixels
    if pixels.dtype == np.float32:
        full = FULL[target]
        scaled = np.nan_to_num(np.clip(pixels, 0.0, 1.0), nan=0.0) * full
        return np.rint(scaled).astype(target)
    as_float = pixels.astype(np.float32) / np.float32(FULL[pixels.dtype.type])
    if target == np.float32:
        return as_float
    return np.rint(as_float * FULL[target]).astype(target)


def for_display(pixels):
    """8-bit samples for the page (a preview; exports keep the picture's own depth)."""
    if pixels.dtype == np.uint8:
        return pixels
    return at_depth(pixels, 8)


# What each format holds: bits asked -> the sample type stored (EXR's 16 bits are half floats).
_STORED = {
    "png": {8: "uint8", 16: "uint16"},
    "tif": {8: "uint8", 16: "uint16", 32: "float"},
    "exr": {16: "half", 32: "float"},
}


def export_format(path, bits):
    """The format of path ("png", "tif", "exr") once it is known to hold `bits`."""
    ext = os.path.splitext(path)[1].lower()
    kind = {".png": "png", ".tif": "tif", ".tiff": "tif", ".exr": "exr"}.get(ext)
    if kind is None:
        raise PictureError(f"{path}: exports are .png, .tif, .tiff or .exr")
    if bits not in _STORED[kind]:
        held = " or ".join(str(b) for b in _STORED[kind])
        raise PictureError(f"{path}: {kind.upper()} holds {held} bits, not {bits}")
    return kind


def sample_bits(kind, bits):
    """The sample type (8, 16, 32) the pixels handed to write_picture must have."""
    return 32 if _STORED[kind][bits] in ("half", "float") else bits


def write_picture(path, pixels, kind, bits):
    """Writes pixels of sample_bits(kind, bits) in the format `kind`, alpha as stored."""
    h, w, channels = pixels.shape
    spec = oiio.ImageSpec(w, h, channels, _STORED[kind][bits])
    if channels == 4:
        spec.alpha_channel = 3
        spec.attribute("oiio:UnassociatedAlpha", 1)
    out = oiio.ImageOutput.create(path)
    if not out:
        raise PictureError(f"cannot write {path}: {_one_line(oiio.geterror())}")
    try:
        if not out.open(path, spec) or not out.write_image(np.ascontiguousarray(pixels)):
            raise PictureError(f"cannot write {path}: {_one_line(out.geterror())}")
    finally:
        out.close()
