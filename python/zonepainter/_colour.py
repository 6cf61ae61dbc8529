"""Colour management around a render, as the command line's --colorspace and --working-space:
the image converted from its colour space to the working space before the effect and back after
it, with OpenImageIO's conversion (the OpenColorIO config $OCIO names, otherwise OpenImageIO's
built-in linear, sRGB and Rec709), through its Python binding (Debian's python3-openimageio),
which only a colour-managed render loads.

The steps are the command line's own, so an array gives the bytes the same picture gives as a
file: samples become the world's values as fractions of full (16-bit ones through the host's
0..32768 scale), red, green and blue are converted in float (alpha never), the effect renders at
the image's depth, and the result is converted back and rounded to that depth.
"""

import numpy as np

_DEPTH = {np.dtype(np.uint8): 8, np.dtype(np.uint16): 16, np.dtype(np.float32): 32}


def _oiio():
    try:
        import OpenImageIO
    except ImportError as e:
        raise ImportError("colorspace and working_space need OpenImageIO's Python binding "
                          "(Debian's python3-openimageio)") from e
    return OpenImageIO


def check(colorspace, working_space):
    """Refuses, with ValueError, one space without the other and names the configuration
    doesn't know; True when there is something to convert."""
    if colorspace is None and working_space is None:
        return False
    if colorspace is None or working_space is None:
        raise ValueError("colorspace and working_space go together: the image's colour space "
                         "and the one the effect works in")
    config = _oiio().ColorConfig()
    names = config.getColorSpaceNames()
    for what, name in (("colorspace", colorspace), ("working_space", working_space)):
        if not isinstance(name, str):
            raise TypeError(f"{what} must be a str")
        if not any(n.lower() == name.lower() for n in names) and \
                not config.getColorSpaceNameByRole(name):
            raise ValueError(f"{what} {name!r}: no such colour space; known: "
                             + ", ".join(names))
    return colorspace != working_space


def _round(x, full):
    """Fractions of full to whole samples as the command line rounds them: nearest, clamped,
    NaN as 0."""
    x = np.nan_to_num(np.clip(x, np.float32(0), np.float32(1)), nan=0.0)
    return np.floor(x * np.float32(full) + np.float32(0.5))


def _to_world(image):
    """The image's samples as the world holds them, as float fractions of full."""
    depth = _DEPTH[image.dtype]
    if depth == 8:
        return image.astype(np.float32) / np.float32(255)
    if depth == 16:  # file values to the host's 0..32768, nearest
        host = (image.astype(np.uint32) * 32768 + 32767) // 65535
        return host.astype(np.float32) / np.float32(32768)
    return image.copy()


def _from_world(x, dtype):
    depth = _DEPTH[dtype]
    if depth == 8:
        return _round(x, 255).astype(np.uint8)
    if depth == 16:
        host = _round(x, 32768).astype(np.uint32)
        return np.where(host >= 32768, 65535, (host * 65535 + 16384) // 32768).astype(np.uint16)
    return x


def _convert(x, source, target):
    oiio = _oiio()
    height, width = x.shape[:2]
    buf = oiio.ImageBuf(oiio.ImageSpec(width, height, 3, "float"))
    buf.set_pixels(oiio.ROI(), np.ascontiguousarray(x[..., :3]))
    converted = oiio.ImageBufAlgo.colorconvert(buf, source, target, False)
    if converted.has_error:
        raise ValueError(f"cannot convert colour from {source} to {target}: "
                         f"{converted.geterror()}")
    out = x.copy()
    out[..., :3] = converted.get_pixels(oiio.FLOAT).reshape(height, width, 3)
    return out


def render(render_float, image, colorspace, working_space, depth, view):
    """`render_float(array, depth)` renders a float32 array at a world depth; images the module
    would refuse go to it unconverted, to be refused there. Views show the working-space
    picture the effect saw: only the rendered image is converted back."""
    if not (isinstance(image, np.ndarray) and image.dtype in _DEPTH and image.ndim == 3
            and image.shape[2] in (3, 4) and image.size > 0):
        return render_float(image, depth)
    working = _convert(_to_world(image), colorspace, working_space)
    out = render_float(working, depth or _DEPTH[image.dtype])
    if view == "image":
        out = _convert(out, working_space, colorspace)
    return _from_world(out, image.dtype)
