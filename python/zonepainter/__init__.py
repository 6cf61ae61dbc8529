"""Zonepainter's colour correction on NumPy arrays.

The effect runs in this process, in the same headless host the ``zonepainter`` command line
uses, so a picture gives the same bytes here as through ``zonepainter render``::

    import zonepainter
    out = zonepainter.render(image, "scene.json")          # one picture, one scene

    with zonepainter.Session("scene.json") as s:           # one sequence kept alive
        a = s.render(image)                                # propagates the labels
        b = s.render(image, params={"Adjust 1": {"Hue": 30}})
        s.last_timings["reused"]                           # True: the label map was kept

Images are NumPy arrays of height x width x 3 (RGB) or 4 (RGBA) samples, ``uint8``,
``uint16`` (0..65535, as 16-bit files hold them) or ``float32`` (1.0 is full); results come back
with the same shape and type. Grey pictures (height x width, or x 1; x 2 with alpha) are taken
as the command line takes grey files, red, green and blue alike, and come back as RGB (RGBA with
alpha), since the effect colours them. ``float64`` samples are rounded to ``float32``, which the
effect works in, and come back as ``float32``. Scenes are described in docs/scene-format.md; the
Python API in docs/shots.md.
"""

import json
import os
from collections.abc import Mapping

from ._errors import PluginError, SceneError
from . import _native

__all__ = ["render", "info", "Session", "SceneError", "PluginError"]

#: The project's version, as the native part was built with it.
__version__ = _native.__version__


def info():
    """The effect's about text and parameters, read from its real commands.

    Returns ``{"about": str, "params": [...]}``; each parameter is a dict with ``index`` (the
    host's parameter index), ``group`` (``"Adjust 1"``, ..., or None outside any group),
    ``name``, ``type`` (``"slider"``, ``"color"``, ``"popup"``, ``"checkbox"`` or ``"mask"``),
    ``range`` (a slider's ``(min, max)``), ``default`` (number, ``"#rrggbb"``, choice text,
    bool, or None for a mask) and ``choices`` (a popup's texts). Groups and names are those a
    scene's and a session's ``params`` use.
    """
    return _native.info()


def _json_value(value):
    # NumPy scalars and arrays, which settings computed in a notebook often are.
    if hasattr(value, "tolist"):
        return value.tolist()
    raise SceneError(f"scene: {value!r} ({type(value).__name__}) has no JSON form")


def _shown(value, limit=60):
    """The value as an error message shows it: its repr, shortened."""
    text = repr(value)
    return text if len(text) <= limit else text[:limit] + "..."


def _scene_text(scene):
    """(text, source) for a scene given as a path, JSON text or a dict."""
    if isinstance(scene, Mapping):
        return json.dumps(scene, default=_json_value), "scene"
    if isinstance(scene, str) and scene.lstrip("\ufeff \t\r\n").startswith("{"):
        return scene, "scene"
    if isinstance(scene, str) and not os.path.lexists(scene):
        # A typo in a file name and a JSON snippet that lost its braces look alike; say both.
        raise SceneError(f"scene={_shown(scene)}: neither an existing scene file nor scene JSON "
                         "(a JSON object, which starts with '{')")
    if isinstance(scene, (str, os.PathLike)):
        path = os.fspath(scene)
        return _native.read_scene_file(path), path
    raise TypeError(
        f"scene={_shown(scene)}: expected a path, JSON text or a dict, got {type(scene).__name__}")


def _params_text(params):
    if params is None:
        return "{}"
    if not isinstance(params, Mapping):
        raise TypeError(f"params={_shown(params)}: expected a dict, got {type(params).__name__}")
    return json.dumps(params, default=_json_value)


def _factor_text(factor):
    if isinstance(factor, str):
        return factor
    if isinstance(factor, int) and not isinstance(factor, bool):
        return str(factor)
    if isinstance(factor, (tuple, list)) and len(factor) == 2:
        return f"{factor[0]}/{factor[1]}"
    raise ValueError(f"downsample={factor!r}: expected \"N/D\", (N, D) or ((NX, DX), (NY, DY))")


def _downsample_text(downsample):
    """The text "N/D" or "NX/DX,NY/DY" for "1/2", (1, 2) or ((1, 2), (1, 4))."""
    if downsample is None:
        return ""
    if (isinstance(downsample, (tuple, list)) and len(downsample) == 2
            and all(isinstance(f, (tuple, list, str)) for f in downsample)):
        return f"{_factor_text(downsample[0])},{_factor_text(downsample[1])}"
    return _factor_text(downsample)


class Session:
    """One effect instance (one sequence) kept alive with a scene.

    Renders of the same picture whose settings leave the masks alone (colour, tone, effects
    amounts) reuse the sequence's label map instead of spreading the labels again, which is what
    makes a slider interactive. A session is safe to use from several threads: it renders one
    call at a time. Close it (or use it in a ``with`` block) to give its memory back.
    """

    def __init__(self, scene, *, _fail_host_call=""):
        # _fail_host_call: a testing aid, as the command line's hidden --fail-host-call NAME.
        text, source = _scene_text(scene)
        self._native = _native.Session(text, source, _fail_host_call)

    def set_scene(self, scene):
        """Replaces the scene (masks and settings). A refused scene changes nothing."""
        text, source = _scene_text(scene)
        self._native.set_scene(text, source)

    def render(self, image, params=None, depth=None, downsample=None, view="image"):
        """Renders ``image`` with the scene, its settings overridden by ``params``.

        ``params`` has the shape of a scene's ``"params"``: ``{"Adjust 1": {"Hue": 30},
        "Blur": {"Amount": 5}, "Force update": 1}``, names as ``info()`` lists them. It is
        merged over the session's scene, a group's controls one by one, and checked as a
        scene's values are; it applies to this render only. ``depth`` (8, 16 or 32) renders
        at another depth than the samples' own, ``downsample`` (``"1/2"``, ``(1, 2)``,
        ``"1/2,1/4"`` or ``((1, 2), (1, 4))``) says the image is the layer reduced by that
        factor, and ``view`` (``"image"``, ``"strokes"``, ``"labels"``, ``"weights"``) picks
        what comes back, as the command line's options of those names do. Returns a new array
        of the image's height, width and sample type with its RGB or RGBA channels (grey comes
        back as RGB, grey with alpha as RGBA, ``float64`` as ``float32``); the views have full
        alpha.
        """
        return self._native.render(image, _params_text(params), 0 if depth is None else depth,
                                   _downsample_text(downsample), view)

    def scene_json(self):
        """The state the last render used (the scene with its overrides), as scene JSON."""
        return self._native.scene_json()

    @property
    def last_timings(self):
        """The last render's stages, ``{"stages": {name: ms, ...}, "reused": bool,
        "blend_reused": bool}``.

        ``reused`` is True when the sequence's kept label map served the frame, and
        ``blend_reused`` when the blend kept with it did (only the zones whose settings changed
        were blended again). None before the first render and after a failed one.
        """
        return self._native.last_timings

    def close(self):
        """Tears the effect instance down; the session renders no more."""
        self._native.close()

    @property
    def closed(self):
        """True once :meth:`close` has run (or the ``with`` block has ended)."""
        return self._native.closed

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def render(image, scene, depth=None, downsample=None, view="image", colorspace=None,
           working_space=None):
    """Renders one picture with one scene, as ``zonepainter render`` does (a one-shot session).

    ``scene`` is a path to a scene file, scene JSON text (an object) or a dict of the same
    shape; a string that is neither an existing file nor JSON raises :class:`SceneError`.
    ``colorspace`` and ``working_space`` (both or neither), when given, convert the input from
    this colour space to the working space before the effect and back after it (OpenImageIO
    names; OCIO config from ``$OCIO``; needs OpenImageIO's Python binding). See
    :meth:`Session.render` for the other arguments and what comes back.
    """
    from . import _colour

    with Session(scene) as session:
        if not _colour.check(colorspace, working_space):
            return session.render(image, depth=depth, downsample=downsample, view=view)
        return _colour.render(
            lambda a, d: session.render(a, depth=d, downsample=downsample, view=view),
            image, colorspace, working_space, depth, view)
