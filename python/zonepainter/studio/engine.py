"""The studio's one contact with the zonepainter module's API.

Everything the server needs from the renderer goes through here, so a change in the module's
names or signatures touches this file alone.
"""

import json
import threading
from dataclasses import dataclass

import zonepainter

SceneError = zonepainter.SceneError
PluginError = zonepainter.PluginError

VIEWS = ("image", "strokes", "labels", "weights")


def parameter_list():
    """The effect's about text and parameters: {"about": str, "params": [dict, ...]}.

    Each parameter has group, name, type (slider, color, popup, checkbox, mask), range,
    default and choices, as the module's info() reports them.
    """
    described = zonepainter.info()
    params = []
    for p in described["params"]:
        entry = dict(p)
        if entry.get("range") is not None:
            entry["range"] = list(entry["range"])
        params.append(entry)
    return {"about": described["about"], "params": params}


def scene_text(scene):
    """The JSON text the session is given; also what tells two scenes apart."""
    return json.dumps(scene, ensure_ascii=False, separators=(",", ":"))


@dataclass
class Rendered:
    pixels: object  # NumPy array of the picture's shape and type
    stages: dict  # stage name -> milliseconds, in the order they ran
    reused: bool  # the kept label map served the frame


class Engine:
    """One effect instance (a session) with the scene it holds.

    The scene is handed over only when it differs from the one held, so a render whose masks
    are unchanged finds the label map of the previous one. Calls are serialised: a render and
    a scene check from the same client never interleave. The module lets go of the interpreter
    lock while it renders, so these calls belong on worker threads.
    """

    def __init__(self):
        self._lock = threading.Lock()
        self._session = zonepainter.Session({})
        self._held = scene_text({})

    def _hold(self, scene):
        if isinstance(scene, str):
            # The module takes text that does not open an object for a file path; text from a
            # file the page names must never lead it to another file.
            if not scene.lstrip("\ufeff \t\r\n").startswith("{"):
                raise SceneError("scene: malformed JSON: a scene is a JSON object ({...})")
            text = scene
        else:
            text = scene_text(scene)
        if text != self._held:
            self._session.set_scene(text)
            self._held = text

    def render(self, pixels, scene, view="image", proxy=1):
        """Renders pixels with the scene; proxy N says they are the picture reduced N times
        (the host's downsampling), so masks drawn at full resolution land where they belong."""
        with self._lock:
            self._hold(scene)
            out = self._session.render(pixels, view=view,
                                       downsample=(1, proxy) if proxy > 1 else None)
            timings = self._session.last_timings or {"stages": {}, "reused": False}
            return Rendered(out, dict(timings["stages"]), bool(timings["reused"]))

    def canonical(self, scene):
        """The scene (a dict or JSON text) as the host holds it once applied, as a scene file.

        Raises SceneError when the scene is refused.
        """
        with self._lock:
            self._hold(scene)
            return self._session.scene_json()

    def close(self):
        with self._lock:
            self._session.close()
